// The Windows answers: volumes by drive letter, physical drives, the
// system's disk check; all through the Windows platform layer.
#include "quarn/io/device_system.h"

#include "platform/windows/platform.h"
#include "quarn/api/quarn.h"
#include "platform/windows/text.h"
#include "platform/windows_engine/volume_helpers.h"

#include <cctype>
#include <cstdio>

namespace {

constexpr int kLockAttempts = 3;
// FAT32 volumes from this size on get 8 sectors per cluster, smaller ones 1.
constexpr uint64_t kEightSectorClusterBytes = 0x10400000;
constexpr uint32_t kSectorBytes = 512;

// The drive index (A = 1) of a partition string, which begins with its
// drive letter; -1 when it does not.
int DriveIndexOf(const std::string& partition)
{
    if (partition.empty())
        return -1;
    wchar_t root[4];
    return upperDriveLetter(partition[0], root, 4);
}

}  // namespace

namespace DeviceSystem {

bool FileExists(const std::string& path)
{
    CFerrin file;
    return file.Open(path, CDeviceIo::ModeRead) == 0;
}

int ReplaceFile(const std::string& from, const std::string& to)
{
    const winplat::Error error =
        winplat::currentPlatform()->replaceFile(winplat::utf16(from), winplat::utf16(to));
    if (error == winplat::err::kSuccess)
        return 0;
    DEBUG_TRACE("rename %s failed! --- %u\n", from.c_str(), static_cast<unsigned>(error));
    return -1;
}

int RemoveFile(const std::string& path)
{
    const winplat::Error error = winplat::currentPlatform()->removeFile(winplat::utf16(path));
    return error == winplat::err::kSuccess || error == winplat::err::kFileNotFound ? 0 : -1;
}

int SyncFolder(const std::string&)
{
    // ReplaceFile returns only once the new name is on the disk.
    return 0;
}

bool FileBytes(CDeviceIo& file, uint64_t* bytes)
{
    return file.File() != nullptr && file.File()->Size(bytes);
}

bool TargetBytes(CDeviceIo& target, uint64_t* bytes)
{
    // The position after a seek to the end is the size (the driver's
    // length for a volume); the target is left at its start.
    const int64_t was = target.GetCurrentPos();
    if (target.Seek(0, SEEK_END) != 0)
        return false;
    const int64_t end = target.GetCurrentPos();
    if (target.Seek(was < 0 ? 0 : was, SEEK_SET) != 0 || end < 0)
        return false;
    *bytes = static_cast<uint64_t>(end);
    return true;
}

std::string DiskOfPartition(const std::string& partition)
{
    const int drive = DriveIndexOf(partition);
    const int number = drive < 0 ? -1 : getVolumeDeviceNumber(drive);
    if (number < 0)
        return std::string();
    char path[64];
    std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%d", number);
    return path;
}

std::string DiskHoldingPartition(CDeviceIo&, const std::string& partition)
{
    // The system tells which physical drive holds a volume.
    return DiskOfPartition(partition);
}

bool SameDevice(const std::string& a, const std::string& b)
{
    // Volume paths name a device each; case does not tell them apart.
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

int HoldPartition(const std::string&, int* handle)
{
    // The volume lock of ClaimTarget keeps a Windows volume the job's own.
    *handle = -1;
    return 0;
}

void ReleasePartition(int)
{}

int ClaimTarget(CDeviceIo& target, const std::string& path)
{
    // A mounted file system that Windows still writes to would be
    // destroyed under it: without the lock the restore does not start.
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (target.Volume() != nullptr && target.Volume()->LockVolume() != 0)
            return 0;
        target.Close();
        if (target.Open(path, CDeviceIo::ModeUpdate) != 0)
            return ERR_OPEN_PART;
    }
    DEBUG_TRACE("Lock volume %s failed!\n", path.c_str());
    return ERR_OPEN_PART;
}

bool DriveGeometry(CDeviceIo& target, uint16_t* heads, uint16_t* sectorsPerTrack)
{
    winplat::DiskGeometry geometry;
    if (target.Volume() == nullptr ||
        target.Volume()->GetHandle()->geometry(geometry) != winplat::err::kSuccess ||
        geometry.sectorsPerTrack == 0 || geometry.tracksPerCylinder == 0 ||
        geometry.sectorsPerTrack > 0xFFFF || geometry.tracksPerCylinder > 0xFFFF)
        return false;
    *heads = static_cast<uint16_t>(geometry.tracksPerCylinder);
    *sectorsPerTrack = static_cast<uint16_t>(geometry.sectorsPerTrack);
    return true;
}

uint32_t PartitionStartSector(CDeviceIo& target, const std::string&)
{
    // The boot sector counts the sectors before the partition: a volume
    // that claims none cannot be started from its disk.
    winplat::PartitionInfo info;
    if (target.Volume() == nullptr ||
        target.Volume()->GetHandle()->partitionInfo(info) != winplat::err::kSuccess)
        return 0;
    const uint64_t start = info.start / kSectorBytes;
    return start > 0xFFFFFFFFull ? 0 : static_cast<uint32_t>(start);
}

uint32_t Fat32SectorsPerCluster(uint64_t targetBytes)
{
    return targetBytes < kEightSectorClusterBytes ? 1 : 8;
}

int CheckFat32(const std::string& partition)
{
    const int drive = DriveIndexOf(partition);
    unsigned int status = 0;
    const unsigned int ran = drive < 0 ? 3 : runChkdsk(drive, &status);
    if (ran != 0) {
        DEBUG_TRACE("The disk check of %s could not run: %u\n", partition.c_str(), ran);
        return 2;
    }
    DEBUG_TRACE("Disk check exit status %u\n", status);
    return 0;
}

}  // namespace DeviceSystem
