// Used bytes of the source partition in the Windows build: NTFS from the
// volume bitmap ($Bitmap), FAT32 from the system's free-space query. The
// build's ntfs_used and fat32_used (usedspace.h) answer through these.
#pragma once

#include "platform/windows_engine/ntfs_volume_reader.h"

#include <cstdint>
#include <string>

// 0 with the bytes of the clusters set in $Bitmap; ERR_READ_PART (17) for a
// short read, ERR_PART_INFO (47) without "FILE", ERR_NO_MEMORY (64), -1
// when $Bitmap has no $DATA, or the attribute reader's failure.
int NtfsUsedBytes(CNtfsVolumeReader& volume, uint64_t* used);
// 0 with total minus free bytes of the partition's drive; ERR_PART_INFO
// when the system cannot tell, -1 when the string names no drive.
int Fat32UsedBytes(const std::string& partition, uint64_t* used);
