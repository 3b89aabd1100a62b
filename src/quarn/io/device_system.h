// What the engine asks of the system beyond the bytes of its devices. Each
// build of the engine brings its own answers: io/linux_device_system.cpp
// (block devices, sysfs, dosfsck) and the Windows build's win_device_system.cpp (volumes,
// physical drives, the system's disk check).
#ifndef QUARN_IO_DEVICE_SYSTEM_H
#define QUARN_IO_DEVICE_SYSTEM_H

#include "quarn/io/device_io.h"

#include <cstdint>
#include <string>

namespace DeviceSystem {

// True when an image volume exists at `path`.
bool FileExists(const std::string& path);
// Bytes of the open image file; false when unknown.
bool FileBytes(CDeviceIo& file, uint64_t* bytes);
// Gives the closed file `from` the name `to`, replacing a file of that
// name in one step: 0, or -1 when it cannot.
int ReplaceFile(const std::string& from, const std::string& to);
// Removes a closed file: 0, or -1 when it is there and cannot be removed.
int RemoveFile(const std::string& path);
// Puts the folder's entries (names just given) on their device: 0, or -1.
int SyncFolder(const std::string& folder);
// Bytes of the open restore target; false when unknown.
bool TargetBytes(CDeviceIo& target, uint64_t* bytes);
// The whole disk that holds a partition, as a path the engine opens; the
// partition itself or "" when none is known.
std::string DiskOfPartition(const std::string& partition);
// The whole disk known to hold the open partition `target` (opened from
// `partition`), as a path the engine opens; "" when no disk is known to hold
// it, so that nothing meant for a disk's first sector goes to another file.
std::string DiskHoldingPartition(CDeviceIo& target, const std::string& partition);
// Makes the freshly opened restore target (`path`) the restore's own:
// 0, or a result code when the restore must not write to it.
int ClaimTarget(CDeviceIo& target, const std::string& path);
// True when the two paths name one device or one file (the same path,
// the same block device, the same inode): a clone onto its own source.
bool SameDevice(const std::string& a, const std::string& b);
// Before a clone writes its destination: keeps the partition at `path`
// for the job alone while *handle (-1 when nothing is held, as for a
// regular file, which cannot tell) stays open. ERR_PART_IN_USE when the
// system holds it (a mounted file system), ERR_OPEN_PART when it cannot be
// opened at all.
int HoldPartition(const std::string& path, int* handle);
void ReleasePartition(int handle);
// Boot-sector values of a restore target: heads and sectors per track
// (false: unknown; FAT32), and the partition's first sector on its disk
// (0 when it is not a partition of a disk; FAT32 and NTFS).
bool DriveGeometry(CDeviceIo& target, uint16_t* heads, uint16_t* sectorsPerTrack);
uint32_t PartitionStartSector(CDeviceIo& target, const std::string& partition);
// Sectors per cluster of a FAT32 volume of `targetBytes` bytes laid out by
// a restore.
uint32_t Fat32SectorsPerCluster(uint64_t targetBytes);
// Checks a restored FAT32 volume without changing it: 0 when the checker
// finds it whole, ERR_FS_CHECK when it finds a fault, 2 when it cannot be
// run or dies.
int CheckFat32(const std::string& partition);

}  // namespace DeviceSystem

#endif
