#include "platform/windows_engine/used_bytes.h"

#include "fslayout/ntfs/ntfs_used_clusters.h"
#include "quarn/api/quarn.h"
#include "usedspace/usedspace.h"
#include "platform/windows_engine/volume_helpers.h"

#include <vector>

namespace {

class DeviceSource : public Ntfs::VolumeSource {
public:
    explicit DeviceSource(CDeviceIo& part) : m_part(part) {}
    bool ReadAt(uint64_t offset, void* buffer, uint64_t length) const override
    {
        return offset <= uint64_t(INT64_MAX) && length <= uint64_t(INT64_MAX) &&
               m_part.ReadAt(int64_t(offset), buffer, int64_t(length)) == int64_t(length);
    }

private:
    CDeviceIo& m_part;
};

}  // namespace

int NtfsUsedBytes(CNtfsVolumeReader& volume, uint64_t* used)
{
    std::vector<uint8_t> record;
    int result = volume.ReadRecord(Ntfs::kBitmapRecord, &record);
    if (result != 0)
        return result;
    const Ntfs::BootGeometry& g = volume.Geometry();
    const DeviceSource source(volume.Device());
    uint64_t clusters = 0;
    switch (Ntfs::CountUsedClusters(source, g, record.data(), uint32_t(record.size()), &clusters)) {
    case Ntfs::UsedStatus::Ok:
        *used = clusters * g.clusterBytes;
        return 0;
    case Ntfs::UsedStatus::NoBitmapData:
        return -1;
    case Ntfs::UsedStatus::BadRunList:
        return ERR_PART_INFO;
    case Ntfs::UsedStatus::ReadFailed:
    default:
        return ERR_READ_PART;
    }
}

int Fat32UsedBytes(const std::string& partition, uint64_t* used)
{
    wchar_t root[4];
    if (partition.empty() || upperDriveLetter(partition[0], root, 4) < 0)
        return -1;
    unsigned long long total = 0;
    unsigned long long free = 0;
    if (getDiskFreeSpace(root, &total, &free) == 0 || free > total)
        return ERR_PART_INFO;
    *used = total - free;
    return 0;
}

int ntfs_used(const char* device, unsigned long long* used)
{
    CDeviceIo part;
    if (device == nullptr || part.Open(device, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_PART;
    CNtfsVolumeReader volume(part);
    uint64_t bytes = 0;
    int result = volume.Open();
    if (result == 0)
        result = NtfsUsedBytes(volume, &bytes);
    if (result == 0)
        *used = bytes;
    return result;
}

int fat32_used(const char* device, unsigned long long* used)
{
    uint64_t bytes = 0;
    const int result = device == nullptr ? -1 : Fat32UsedBytes(device, &bytes);
    if (result == 0)
        *used = bytes;
    return result;
}
