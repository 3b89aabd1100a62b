// NTFS counts clusters in 32 bits: a target that would need more of them
// (512-byte clusters on a partition past 2 TiB) gets the largest volume
// that fits instead. The target is a sparse file: only what the restore
// writes takes room.
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "fslayout/ntfs_layout.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/skip_or_fail.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kTiB = 1ull << 40;
constexpr uint64_t kMaxClusters = 0xFFFFFFFFull;

std::vector<uint8_t> ReadAt(const std::string& path, uint64_t offset, size_t length)
{
    std::vector<uint8_t> bytes(length, 0xEE);
    std::ifstream file(path, std::ios::binary);
    file.seekg(std::streamoff(offset));
    file.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(length));
    return bytes;
}

}  // namespace

TEST(NtfsRestoreClusterLimit, ThreeTiBOfSmallClustersGetsTheLargestVolumeThatFits)
{
    TempDir dir;
    const std::string source = dir.file("sdy1");
    const std::string base = dir.file("img");
    const std::string target = dir.file("sdx1");
    std::string why;
    const std::vector<NtfsFileSpec> files = {{"data.bin", PatternBytes(300000, 11)}};
    if (!HaveNtfsTools() || !HaveProgram("ntfsfix") || !MakeNtfsPartition(source, 16 * kMiB, &why, "-c 512"))
        SKIP_OR_FAIL_IN_CI("no NTFS tools: " << why);
    ASSERT_TRUE(NtfsCopyIn(source, dir.path(), "/data.bin", files[0].data, &why)) << why;
    ASSERT_EQ(BackupNtfsImage(source, base, 1), 0);

    const uint64_t targetBytes = 3 * kTiB;
    MakeSparseFile(target, targetBytes);
    ASSERT_EQ(RestoreNtfsImage(VolumeFileName(base, 0, 0), target), 0);
    ASSERT_EQ(FileSize(target), targetBytes);

    tagNTFS_BOOT_SECTOR boot;
    const std::vector<uint8_t> first = ReadAt(target, 0, sizeof boot);
    std::memcpy(&boot, first.data(), sizeof boot);
    // The fields of the packed record, copied out.
    const unsigned sectorBytes = boot.bytesPerSector;
    const unsigned sectorsPerCluster = boot.sectorsPerCluster;
    const uint64_t totalSectors = boot.totalSectors;
    const uint64_t mirrorLcn = boot.mftMirrLcn;
    ASSERT_EQ(sectorBytes, 512u);
    ASSERT_EQ(sectorsPerCluster, 1u);
    // Exactly the largest count, not one cluster of the target more.
    EXPECT_EQ(totalSectors, kMaxClusters);
    EXPECT_LT(mirrorLcn, kMaxClusters);
    // The backup boot sector right behind the volume's last sector.
    EXPECT_EQ(ReadAt(target, totalSectors * 512, 512), first);
    // And in the partition's last sector, where ntfs-3g looks for it.
    EXPECT_EQ(ReadAt(target, targetBytes - 512, 512), first);

    EXPECT_EQ(NtfsCheckProblems(target), "");
    EXPECT_EQ(CompareNtfsFiles(target, files), "");
}
