// A restored boot sector counts the sectors before the target partition on
// its disk (hidden sectors, offset 0x1C), which the system starts by: the
// target's own place, not the source's. Partition files stand next to their
// disk files (sdz1 beside sdz), whose MBR table sfdisk writes.
#include "support/fat_fixture.h"
#include "support/fat_jobs.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kPartitionBytes = 40 * kMiB;  // enough clusters for FAT32
constexpr uint32_t kSourceStart = 2048;
constexpr uint32_t kTargetStart = 133120;

// A disk file `disk` with one primary partition at `start` of
// kPartitionBytes, and its partition file `disk` + "1" beside it.
std::string MakeDiskWithPartition(const std::string& disk, uint32_t start, const std::string& type)
{
    MakeSparseFile(disk, uint64_t(start) * 512 + kPartitionBytes + kMiB);
    const CommandResult table = Run("printf 'label: dos\\nstart=" + std::to_string(start) +
                                    ", size=" + std::to_string(kPartitionBytes / 512) + ", type=" + type +
                                    "\\n' | sfdisk --no-reread --no-tell-kernel " + Quote(disk));
    EXPECT_EQ(table.exitCode, 0) << table.output;
    const std::string partition = disk + "1";
    MakeSparseFile(partition, kPartitionBytes);
    return partition;
}

uint32_t HiddenSectors(const std::string& partition, uint64_t offset = 0)
{
    return Le32(ReadFileHead(partition, 512, offset), 0x1C);
}

class RestoredBootSectorStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveProgram("sfdisk"))
            SKIP_OR_FAIL_IN_CI("sfdisk is not installed");
    }
    TempDir m_dir;
};

TEST_F(RestoredBootSectorStart, NtfsNamesTheTargetsFirstSectorOrNoneOnAWholeDisk)
{
    if (!HaveNtfsTools() || !HaveProgram("ntfsfix") || !HaveProgram("ntfsresize"))
        SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
    const std::string source = m_dir.file("sdy1");
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(source, kPartitionBytes, &log, "-p " + std::to_string(kSourceStart)))
        << log;
    ASSERT_EQ(HiddenSectors(source), kSourceStart);
    const std::vector<uint8_t> data = PatternBytes(300000, 7);
    ASSERT_TRUE(NtfsCopyIn(source, m_dir.path(), "data.bin", data, &log)) << log;
    ASSERT_EQ(BackupNtfsImage(source, m_dir.file("img")), 0);

    struct Case {
        const char* what;
        std::string target;
        uint32_t hidden;
    };
    const Case cases[] = {
        {"a partition further on its disk", MakeDiskWithPartition(m_dir.file("sdz"), kTargetStart, "7"),
         kTargetStart},
        {"a whole disk", m_dir.file("sdw"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!FileExists(c.target))
            MakeSparseFile(c.target, kPartitionBytes);
        ASSERT_EQ(RestoreNtfsImage(m_dir.file("img_0_0.bkp"), c.target), 0);
        EXPECT_EQ(HiddenSectors(c.target), c.hidden);
        // The backup boot sector in the volume's last sector says the same.
        EXPECT_EQ(HiddenSectors(c.target, kPartitionBytes - 512), c.hidden);
        EXPECT_EQ(NtfsCheckProblems(c.target), "");
        EXPECT_EQ(CompareNtfsFiles(c.target, {{"data.bin", data}}), "");
    }
}

TEST_F(RestoredBootSectorStart, Fat32NamesTheTargetsFirstSector)
{
    for (const char* tool : {"mkfs.fat", "mcopy", "fsck.fat"}) {
        if (!HaveProgram(tool))
            SKIP_OR_FAIL_IN_CI(tool << " is not installed");
    }
    FatImage source(m_dir.file("sdy1"), kPartitionBytes, 1, "START", m_dir.file("scratch"));
    source.AddFile("/DATA.BIN", PatternBytes(100000, 8));
    ASSERT_EQ(BackupFat32Image(source.path(), m_dir.file("img")), 0);

    const std::string target = MakeDiskWithPartition(m_dir.file("sdz"), kTargetStart, "c");
    {
        FakeDosfsckOnPath quiet(m_dir.file("bin"));
        tagRestoreArgument arg;
        arg.imagePath = m_dir.file("img_0_0.bkp");
        arg.targetPartition = target;
        ASSERT_EQ(restore_fat32(arg, tagCallBackFunc{}), 0);
    }
    EXPECT_EQ(HiddenSectors(target), kTargetStart);
    const CommandResult check = CheckFat(target);
    EXPECT_EQ(check.exitCode, 0) << check.output;
}

}  // namespace
