// Disk files beside their partition files (sdz beside sdz1): the engine
// takes a disk file for a partition's disk only when its MBR lists the
// partition, under the partition's number and with its size.
#ifndef TEST_SUPPORT_DISK_TABLE_H
#define TEST_SUPPORT_DISK_TABLE_H

#include <cstdint>
#include <cstring>
#include <vector>

namespace testsupport {

// Makes `disk` (at least one sector) list primary partition `number` (1-4)
// of `partitionBytes` from sector `startSector`, with the 0x55AA mark.
inline void ListPartition(std::vector<uint8_t>* disk, unsigned number, uint32_t startSector,
                          uint64_t partitionBytes)
{
    if (disk->size() < 512)
        disk->resize(512, 0);
    uint8_t* entry = disk->data() + 446 + (number - 1) * 16;
    entry[4] = 0x07;
    const uint32_t sectors = static_cast<uint32_t>(partitionBytes / 512);
    std::memcpy(entry + 8, &startSector, 4);
    std::memcpy(entry + 12, &sectors, 4);
    (*disk)[510] = 0x55;
    (*disk)[511] = 0xAA;
}

}  // namespace testsupport

#endif
