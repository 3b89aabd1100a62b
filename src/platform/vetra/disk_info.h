// The disk inventory's records: a linked list of physical disks, each with a
// linked list of its partitions. A list is owned by whoever built it (the
// CVetra that hands it out); freeDiskList frees one, copyDiskList makes an
// independent copy.
#pragma once

#include <cstdint>
#include <string>

struct _PartInfo;

// One physical disk, as WMI's Win32_DiskDrive lists it.
struct _DiskInfo {
    int Index = 0;                // N of \\.\PHYSICALDRIVEN
    unsigned long long Size = 0;  // bytes
    std::u16string Name;          // "\\.\PHYSICALDRIVE0"
    std::u16string Model;
    int MediaType = 0;              // see VetraMediaType
    int Partitions = 0;             // partition count WMI reports
    _PartInfo* PartList = nullptr;  // first partition
    _DiskInfo* Next = nullptr;      // next disk
};

// One partition of a disk, with the volume it carries.
struct _PartInfo {
    int LetterIndex = 0;           // drive letter - 'a' + 1 ('c' is 3); 0 without a letter
    char Letter = 0;               // lower-case drive letter, 0 without one
    std::u16string Label;          // volume label; a single blank when unknown
    unsigned char Active = 0;      // boot indicator
    unsigned char System = 0;      // 1 on the drive of the Windows system folder
    int Kind = 0;                  // see VetraPartitionKind
    unsigned long long Start = 0;  // byte offset on the disk
    unsigned long long Capacity = 0;
    unsigned long long Used = 0;
    std::string FsName;            // "NTFS", "FAT32", "FAT16" or "UNKNOWN"
    unsigned PartitionNumber = 0;  // the disk driver's partition number (1-based)
    _DiskInfo* Disk = nullptr;     // the disk it belongs to
    _PartInfo* Next = nullptr;     // next partition of the disk
};

enum VetraMediaType { kMediaOther = 0, kMediaRemovable = 1, kMediaExternal = 2, kMediaFixed = 3 };
enum VetraPartitionKind { kPartitionPrimary = 1, kPartitionLogical = 2 };

void freeDiskList(_DiskInfo* list);
_DiskInfo* copyDiskList(const _DiskInfo* list);
