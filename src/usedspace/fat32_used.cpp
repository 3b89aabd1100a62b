// FAT32 used space: the clusters whose FAT entry is not 0 (files,
// directories and clusters marked bad) times the cluster size.
#include "usedspace/usedspace.h"

#include "usedspace/device_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct FatGeometry {
    uint32_t clusterBytes = 0;
    uint64_t fatOffset = 0;
    uint64_t clusterCount = 0;  // data clusters, numbered from 2
};

template <typename T>
T Field(const uint8_t* boot, size_t offset)
{
    T value;
    std::memcpy(&value, boot + offset, sizeof value);
    return value;
}

bool ReadFatGeometry(const uint8_t* boot, FatGeometry* out)
{
    uint32_t sectorBytes = Field<uint16_t>(boot, 11);
    uint32_t perCluster = boot[13];
    uint32_t reserved = Field<uint16_t>(boot, 14);
    uint32_t fats = boot[16];
    uint32_t total = Field<uint16_t>(boot, 19);
    if (total == 0)
        total = Field<uint32_t>(boot, 32);
    uint32_t fatSectors = Field<uint32_t>(boot, 36);
    if (sectorBytes < 512 || sectorBytes > 4096 || (sectorBytes & (sectorBytes - 1)) != 0)
        return false;
    if (perCluster == 0 || (perCluster & (perCluster - 1)) != 0)
        return false;
    // A FAT32 volume keeps its FAT size at 36, never in the 16-bit field.
    if (reserved == 0 || fats == 0 || fatSectors == 0 || Field<uint16_t>(boot, 22) != 0)
        return false;
    uint64_t metaSectors = uint64_t(reserved) + uint64_t(fats) * fatSectors;
    if (metaSectors >= total)
        return false;
    out->clusterBytes = sectorBytes * perCluster;
    out->fatOffset = uint64_t(reserved) * sectorBytes;
    out->clusterCount = (total - metaSectors) / perCluster;
    // The FAT must have an entry for every cluster.
    uint64_t fatEntries = uint64_t(fatSectors) * sectorBytes / 4;
    return out->clusterCount != 0 && out->clusterCount + 2 <= fatEntries;
}

}  // namespace

int fat32_used(const char* device, unsigned long long* used)
{
    if (used == nullptr)
        return -1;
    DeviceReader reader(device);
    uint8_t boot[512];
    FatGeometry geometry;
    if (!reader.ReadAt(0, boot, sizeof boot) || boot[510] != 0x55 || boot[511] != 0xAA ||
        !ReadFatGeometry(boot, &geometry))
        return -1;

    const uint64_t entries = geometry.clusterCount + 2;  // entries 0 and 1 are reserved
    std::vector<uint32_t> chunk(1 << 14);
    uint64_t allocated = 0;
    for (uint64_t first = 0; first < entries; first += chunk.size()) {
        uint64_t count = std::min<uint64_t>(chunk.size(), entries - first);
        if (!reader.ReadAt(geometry.fatOffset + first * 4, chunk.data(), count * 4))
            return -1;
        for (uint64_t i = 0; i < count; ++i) {
            if (first + i >= 2 && (chunk[i] & 0x0FFFFFFF) != 0)
                ++allocated;
        }
    }
    *used = allocated * geometry.clusterBytes;
    return 0;
}
