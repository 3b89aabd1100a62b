// Used bytes of an NTFS or FAT32 partition, read from its allocation
// structures (the NTFS volume bitmap, the FAT).
#ifndef USEDSPACE_USEDSPACE_H
#define USEDSPACE_USEDSPACE_H

#include <cstdint>

// Both return 0 and set *usedBytes on success, non-zero on failure.
int ntfs_used(const char* device, uint64_t* usedBytes);
int fat32_used(const char* device, uint64_t* usedBytes);

#endif
