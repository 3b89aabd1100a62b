// Used space of FAT and NTFS images, judged by the file systems' own tools
// (fsck.fat, ntfsinfo/ntfscluster, ntfsresize), and the choice between the
// used-space library and the tools, seen through fake tools on PATH.
#include "support/ntfs_fixture.h"
#include "storage/probe_fixtures.h"
#include "usedspace/usedspace.h"

#include <gtest/gtest.h>

using namespace probetest;
using testsupport::Quote;
using testsupport::TempDir;

namespace {

uint64_t ntfsresizeSectors(const std::string& image)
{
    std::string output = MustRun("ntfsresize --info --force --no-progress-bar " + Quote(image));
    long long bytes = FirstNumber(output, "resize at (\\d+) bytes");
    EXPECT_GT(bytes, 0);
    return uint64_t(bytes) / 512;
}

// A FAT image holding a few files of different sizes in two folders.
std::string filledFatImage(const TempDir& dir, int bits, int sizeMiB)
{
    const std::string image =
        MakeFatImage(dir.file("fat" + std::to_string(bits)), bits, sizeMiB, "USED", "12345678");
    testsupport::WriteFileBytes(dir.file("a.bin"), testsupport::PatternBytes(300000, 1));
    testsupport::WriteFileBytes(dir.file("b.bin"), testsupport::PatternBytes(70001, 2));
    MustRun("mmd -i " + Quote(image) + " ::/sub");
    MustRun("mcopy -i " + Quote(image) + " " + Quote(dir.file("a.bin")) + " ::/a.bin");
    MustRun("mcopy -i " + Quote(image) + " " + Quote(dir.file("b.bin")) + " ::/sub/b.bin");
    return image;
}

class UsedSpaceProbeTest : public ::testing::Test {
protected:
    UsedSpaceProbeTest()
    {
        MakeDirs(m_tools.path());
        m_log = m_dir.file("tool.log");
    }

    // A fake tool that logs its arguments and prints the given text.
    void fakeTool(const std::string& name, const std::string& output, const std::string& extra = "")
    {
        WriteText(m_dir.file(name + ".out"), output);
        WriteScript(m_tools.file(name), "echo \"" + name + " $*\" >> " + Quote(m_log) + "\n" + "cat " +
                                            Quote(m_dir.file(name + ".out")) + "\n" + extra);
    }

    std::string log() const { return ReadText(m_log); }

    // A file that no library or checker takes for a file system.
    std::string notAFileSystem()
    {
        std::string path = m_dir.file("garbage");
        testsupport::WriteFileBytes(path, testsupport::PatternBytes(1 << 16, 9));
        return path;
    }

    TempDir m_dir;
    TempDir m_tools;
    std::string m_log;
};

TEST_F(UsedSpaceProbeTest, Fat32AgreesWithFsckFat)
{
    REQUIRE_PROGRAMS("mkfs.fat", "mcopy", "fsck.fat");
    std::string image = filledFatImage(m_dir, 32, 40);
    uint64_t expected = FsckFatUsedSectors(image);
    unsigned long long libraryBytes = 0;
    ASSERT_EQ(fat32_used(image.c_str(), &libraryBytes), 0);
    EXPECT_EQ(libraryBytes / 512, expected) << "the used-space library disagrees";
    EXPECT_EQ(partitionUsedSectors(image.c_str(), "fat32"), expected);
    EXPECT_EQ(partitionUsedSectors(image.c_str(), "FAT32"), expected);
    EXPECT_EQ(usedSectorsByTool(image.c_str(), "Fat32"), expected);
}

TEST_F(UsedSpaceProbeTest, Fat16IsMeasuredByTheCheckerOnlyWhenNamedInLowerCase)
{
    REQUIRE_PROGRAMS("mkfs.fat", "mcopy", "fsck.fat");
    std::string image = filledFatImage(m_dir, 16, 16);
    uint64_t expected = FsckFatUsedSectors(image);
    ASSERT_GT(expected, 0u);
    EXPECT_EQ(partitionUsedSectors(image.c_str(), "fat16"), expected);
    EXPECT_EQ(usedSectorsByTool(image.c_str(), "fat16"), expected);
    // A whole-disk volume reports "FAT16": it is measured by neither path.
    EXPECT_EQ(partitionUsedSectors(image.c_str(), "FAT16"), 0u);
    EXPECT_EQ(usedSectorsByTool(image.c_str(), "FAT16"), 0u);
}

TEST_F(UsedSpaceProbeTest, NtfsAgreesWithTheNtfsTools)
{
    REQUIRE_PROGRAMS("mkntfs", "ntfscp", "ntfsinfo", "ntfscluster", "ntfsresize");
    std::string image = MakeNtfsImage(m_dir.file("ntfs"), 16, "USED");
    testsupport::WriteFileBytes(m_dir.file("a.bin"), testsupport::PatternBytes(700000, 3));
    MustRun("ntfscp -q " + Quote(image) + " " + Quote(m_dir.file("a.bin")) + " a.bin");

    uint64_t byBitmap = testsupport::NtfsUsedBytesByNtfsCluster(image) / 512;
    ASSERT_GT(byBitmap, 0u);
    uint64_t byResizer = ntfsresizeSectors(image);
    EXPECT_EQ(usedSectorsByTool(image.c_str(), "ntfs"), byResizer);
    EXPECT_EQ(usedSectorsByTool(image.c_str(), "NTFS"), byResizer);

    unsigned long long libraryBytes = 0;
    ASSERT_EQ(ntfs_used(image.c_str(), &libraryBytes), 0);
    EXPECT_EQ(libraryBytes / 512, byBitmap);
    uint64_t measured = partitionUsedSectors(image.c_str(), "ntfs");
    EXPECT_EQ(measured, byBitmap);
    EXPECT_GE(measured, 700000u / 512);
}

TEST_F(UsedSpaceProbeTest, TheFatCheckerRunsReadOnly)
{
    REQUIRE_PROGRAM("mkfs.fat");
    REQUIRE_PROGRAM("dosfsck");
    std::string image = MakeFatImage(m_dir.file("fat12"), 12, 2, "BROKEN", "12345678");
    // A label the checker would remove, and the dirty flag it would clear,
    // in repair mode.
    PatchFatLabel(image, "BROKEN", "\x01\x02?*");
    std::vector<uint8_t> bytes = testsupport::ReadFileBytes(image);
    bytes[37] |= 1;
    testsupport::WriteFileBytes(image, bytes);

    usedSectorsByTool(image.c_str(), "fat16");
    EXPECT_TRUE(testsupport::ReadFileBytes(image) == bytes) << "the checker changed the image";
}

TEST_F(UsedSpaceProbeTest, FatCheckerArgumentsAndFigures)
{
    ScopedPathPrefix path(m_tools.path());
    std::string image = notAFileSystem();
    fakeTool("dosfsck", "Boot sector contents:\n"
                        "      4096 bytes per cluster\n"
                        "/dev/sdz1: 12 files, 1000/20000 clusters\n"
                        "/dev/sdz1: 13 files, 7/20000 clusters\n");
    EXPECT_EQ(partitionUsedSectors(image.c_str(), "fat32"), 1000u * 4096 / 512);
    EXPECT_EQ(log(), "dosfsck -n -v " + image + "\n");
}

TEST_F(UsedSpaceProbeTest, NtfsFallsBackToTheResizer)
{
    ScopedPathPrefix path(m_tools.path());
    std::string image = notAFileSystem();
    fakeTool("ntfsresize", "Checking filesystem consistency ...\n"
                           "You might resize at 1048576 bytes or 2 MB (freeing 14 MB).\n");
    EXPECT_EQ(partitionUsedSectors(image.c_str(), "ntfs"), 2048u);
    EXPECT_EQ(log(), "ntfsresize --info --force --no-progress-bar " + image + "\n");
}

TEST_F(UsedSpaceProbeTest, UnexpectedOrFailingToolsGiveZero)
{
    ScopedPathPrefix path(m_tools.path());
    std::string image = notAFileSystem();
    struct Case {
        const char* tool;
        const char* fsName;
        std::string output;
        std::string extra;
    } cases[] = {
        {"dosfsck", "fat32", "512 bytes per cluster\n", ""},
        {"dosfsck", "fat32", "x: 3 files, 99/100 clusters\n", ""},
        {"dosfsck", "fat16", "x: 3 files, 99/100 clusters\n512 Bytes per cluster\n", ""},
        {"dosfsck", "fat32", "x: 3 files, 99/100 clusters\n512 bytes per cluster\n", "kill -SEGV $$\n"},
        {"ntfsresize", "ntfs", "ERROR: not an NTFS volume\n", "exit 1\n"},
        {"ntfsresize", "ntfs", "You might resize at 100 bytes\n", ""},  // below one sector
        {"ntfsresize", "ntfs", "You might resize at 1048576 bytes\n", "kill -KILL $$\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output + c.extra);
        fakeTool(c.tool, c.output, c.extra);
        EXPECT_EQ(partitionUsedSectors(image.c_str(), c.fsName), 0u);
    }
}

TEST_F(UsedSpaceProbeTest, OtherFileSystemsAreNotMeasured)
{
    ScopedPathPrefix path(m_tools.path());
    fakeTool("dosfsck", "x: 1 files, 10/100 clusters\n512 bytes per cluster\n");
    fakeTool("ntfsresize", "You might resize at 1048576 bytes\n");
    std::string image = notAFileSystem();
    for (const char* name : {"linux-swap", "ext3", "fat12", "FAT12", "vfat", "", "ntfs-3g"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(partitionUsedSectors(image.c_str(), name), 0u);
        EXPECT_EQ(usedSectorsByTool(image.c_str(), name), 0u);
    }
    EXPECT_EQ(partitionUsedSectors(image.c_str(), nullptr), 0u);
    EXPECT_EQ(partitionUsedSectors(nullptr, "fat32"), 0u);
    EXPECT_EQ(log(), "");
}

TEST_F(UsedSpaceProbeTest, MissingToolGivesZero)
{
    ScopedEnv path("PATH", m_tools.path().c_str());
    std::string image = notAFileSystem();
    EXPECT_EQ(partitionUsedSectors(image.c_str(), "fat32"), 0u);
    EXPECT_EQ(partitionUsedSectors(image.c_str(), "ntfs"), 0u);
}

}  // namespace
