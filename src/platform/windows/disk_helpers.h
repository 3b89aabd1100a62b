// Small helpers of the desktop program: file-system codes (4 NTFS, 3 FAT32,
// 2 FAT16, 1 FAT12, 0 other) from names and volumes, and names of Windows
// version codes.
#pragma once

#include <string>

// The code of a file-system name (UTF-8), compared in upper case: "NTFS" 4,
// "FAT32" 3, "FAT16" 2, "FAT12" 1, anything else (also "FAT") 0.
int fileSystemCode(const std::string& name);

// The code of the volume that holds `path` ("D:\Images" asks D:\): "NTFS" 4,
// "FAT32" 3, "FAT16" and "FAT" 2, anything else or no volume 0.
int volumeFileSystemCode(const wchar_t* path);

// "Windows 9X" for 0 ... "Windows 7" for 8, then the releases after it up
// to "Windows server 2016 or later" for 15; "" for any other code.
std::string windowsVersionName(unsigned int code);
