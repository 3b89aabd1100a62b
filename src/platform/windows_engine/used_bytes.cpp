#include "used_bytes.h"

#include "quarn.h"
#include "usedspace.h"
#include "volume_helpers.h"

#include <vector>

namespace {

uint64_t SetBitsBelow(const std::vector<uint8_t>& bits, uint64_t count)
{
    uint64_t set = 0;
    const uint64_t whole = std::min<uint64_t>(count / 8, bits.size());
    for (uint64_t i = 0; i < whole; ++i)
        set += uint64_t(__builtin_popcount(bits[i]));
    // Bits past the last cluster say nothing about the volume.
    for (uint64_t n = whole * 8; n < count && n / 8 < bits.size(); ++n)
        set += (bits[n / 8] >> (n % 8)) & 1;
    return set;
}

}  // namespace

int NtfsUsedBytes(CNtfsVolumeReader& volume, uint64_t* used)
{
    std::vector<uint8_t> record;
    int result = volume.ReadRecord(Ntfs::kBitmapRecord, &record);
    if (result != 0)
        return result;
    Ntfs::AttributeWalker walker(record.data(), uint32_t(record.size()));
    const tagRECORD_ATTR* data = nullptr;
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type == Ntfs::ATTR_DATA && attr->nameLength == 0) {
            data = attr;
            break;
        }
    }
    if (data == nullptr)
        return -1;
    std::vector<uint8_t> bitmap;
    result = volume.ReadValue(data, &bitmap);
    if (result != 0)
        return result;
    const Ntfs::BootGeometry& g = volume.Geometry();
    *used = SetBitsBelow(bitmap, g.clusterCount) * g.clusterBytes;
    return 0;
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
