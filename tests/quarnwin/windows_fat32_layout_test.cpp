// The FAT32 layout a restore chooses in the Windows build: 1 sector per
// cluster below 0x10400000 bytes, else 8; targets that FAT32 cannot hold
// with 8-sector clusters are refused before anything is written.
#include "quarn/fat32/part_fat32_restore.h"
#include "quarn/io/device_system.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t kMiB = 1ull << 20;
constexpr uint64_t kGiB = 1ull << 30;

TEST(WindowsFat32Layout, ClusterSizeByTargetSize)
{
    struct Case {
        uint64_t bytes;
        uint32_t sectorsPerCluster;
    } cases[] = {{200 * kMiB, 1}, {0x10400000 - 512, 1}, {0x10400000, 8},
                 {4 * kGiB, 8},   {12 * kGiB, 8},        {100 * kGiB, 8}};
    for (const Case& c : cases) {
        EXPECT_EQ(DeviceSystem::Fat32SectorsPerCluster(c.bytes), c.sectorsPerCluster) << c.bytes;
        Fat32NewLayout layout;
        ASSERT_EQ(PlanFat32Layout(c.bytes / 512, layout), 0) << c.bytes;
        EXPECT_EQ(layout.sectorsPerCluster, c.sectorsPerCluster) << c.bytes;
        EXPECT_LE(layout.clusterCount, Fat32::kMaxClusterCount) << c.bytes;
    }
}

TEST(WindowsFat32Layout, TargetsTooLargeForEightSectorClustersAreRefused)
{
    // 0x0FFFFFF5 clusters of 4 KiB is just under 1 TiB.
    for (uint64_t bytes : {1100 * kGiB, 1536 * kGiB, uint64_t(0xFFFFFFFFu) * 512}) {
        Fat32NewLayout layout;
        EXPECT_EQ(PlanFat32Layout(bytes / 512, layout), ERR_PART_INFO) << bytes;
    }
}

}  // namespace
