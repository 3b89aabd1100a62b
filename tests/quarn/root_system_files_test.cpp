// The page and hibernation files whose data a backup leaves out are the
// system's own, in the root folder: files of those names in any other
// folder round-trip whole, on NTFS and FAT32. Images made before that rule
// (data/root_system_files/, see its README) are still read by the rule
// they were written with, alone and under a newer incremental image.
#include "support/fat_fixture.h"
#include "support/fat_jobs.h"
#include "support/fsck_fat.h"
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

std::string DataDir()
{
    return QUARN_TEST_DATA_DIR "/root_system_files/";
}

tagBLOCK_END TrailerOf(const std::string& volume)
{
    const std::vector<uint8_t> bytes = ReadFileBytes(volume);
    tagBLOCK_END end{};
    if (bytes.size() >= sizeof end)
        std::memcpy(&end, bytes.data() + bytes.size() - sizeof end, sizeof end);
    return end;
}

bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& data)
{
    const std::vector<uint8_t> marker(data.begin() + 4096, data.begin() + 4096 + 64);
    return std::search(haystack.begin(), haystack.end(), marker.begin(), marker.end()) != haystack.end();
}

void RequireNtfsTools()
{
    if (!HaveNtfsTools() || !HaveProgram("ntfsfix") || !HaveProgram("ntfsresize"))
        SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
}

// What the checked-in old image holds (data/root_system_files/README).
struct OldFixture {
    std::vector<uint8_t> keep = PatternBytes(3000, 60);
    std::vector<uint8_t> page = PatternBytes(64 * 1024, 61);
    std::vector<uint8_t> hiber = PatternBytes(64 * 1024, 62);
    std::vector<uint8_t> after = PatternBytes(20000, 63);
};
constexpr uint64_t kOldPartitionBytes = 2 * kMiB;

TEST(RootSystemFiles, AnImageOfTheOlderRuleRestoresAsItAlwaysDid)
{
    RequireNtfsTools();
    TempDir dir;
    const std::string image = dir.file("oldrule_0_0.bkp");
    std::filesystem::copy_file(DataDir() + "oldrule_0_0.bkp", image);
    // The fixture is what it claims: an image without the root-only mark.
    EXPECT_EQ(TrailerOf(image).spare1 & ImageFormat::kFormatFlagRootSystemFiles, 0);

    const std::string target = dir.file("sdx1");
    MakeSparseFile(target, kOldPartitionBytes);
    ASSERT_EQ(RestoreNtfsImage(image, target), 0);
    EXPECT_EQ(NtfsCheckProblems(target), "");
    const OldFixture files;
    // The older rule left the data of the first files of those names out,
    // wherever they were: they come back as long as ever, as zeros.
    EXPECT_EQ(CompareNtfsFiles(target, {{"keep.txt", files.keep},
                                        {"sub/after.bin", files.after},
                                        {"sub/pagefile.sys", std::vector<uint8_t>(files.page.size(), 0)},
                                        {"sub/hiberfil.sys", std::vector<uint8_t>(files.hiber.size(), 0)}}),
              "");
}

TEST(RootSystemFiles, AnIncrementalImageOverAnOlderRuleFullImageRestoresEachByItsOwnRule)
{
    RequireNtfsTools();
    if (!HaveProgram("gzip"))
        SKIP_OR_FAIL_IN_CI("gzip is not installed");
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: the source is changed through one");
    TempDir dir;
    const std::string source = dir.file("sdz1");
    ASSERT_EQ(
        testsupport::Run("gzip -dc " + Quote(DataDir() + "source.ntfs.gz") + " > " + Quote(source)).exitCode,
        0);
    const std::string full = dir.file("oldrule_0_0.bkp");
    std::filesystem::copy_file(DataDir() + "oldrule_0_0.bkp", full);

    // The page file changes and goes into the new image, by the new rule
    // with its data. The records the new image leaves to the old one (after
    // the old rule's page and hibernation files in its stream) come back
    // only if that stream is read by its own rule.
    const OldFixture files;
    const std::vector<uint8_t> newPage = PatternBytes(64 * 1024, 71);
    const std::vector<uint8_t> added = PatternBytes(30000, 72);
    {
        NtfsMount mount(source, dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        WriteFileBytes(mount.path() + "/sub/pagefile.sys", newPage);
        WriteFileBytes(mount.path() + "/sub/added.bin", added);
        ASSERT_TRUE(mount.Unmount());
    }
    ASSERT_EQ(BackupNtfsImage(source, dir.file("oldrule"), 2, ImageFormat::kNeverSplit, full), 0);
    const std::string incremental = dir.file("oldrule_0_1.bkp");
    ASSERT_NE(TrailerOf(incremental).spare1 & ImageFormat::kFormatFlagRootSystemFiles, 0);

    const std::string target = dir.file("sdx1");
    MakeSparseFile(target, kOldPartitionBytes);
    ASSERT_EQ(RestoreNtfsImage(incremental, target), 0);
    EXPECT_EQ(NtfsCheckProblems(target), "");
    EXPECT_EQ(CompareNtfsFiles(target, {{"keep.txt", files.keep},
                                        {"sub/after.bin", files.after},
                                        {"sub/added.bin", added},
                                        {"sub/pagefile.sys", newPage}}),
              "");
    // The hibernation file's record is in the new image when its summary
    // changed with the rule (its data now counts), else only in the old one:
    // whole or zeros, never anything in between.
    std::vector<uint8_t> hiber;
    ASSERT_TRUE(NtfsCat(target, "sub/hiberfil.sys", &hiber));
    EXPECT_TRUE(hiber == files.hiber || hiber == std::vector<uint8_t>(files.hiber.size(), 0));
}

TEST(RootSystemFiles, NtfsSubfolderFilesOfTheSystemNamesRoundTripWhole)
{
    RequireNtfsTools();
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: the fixture has a subfolder");
    TempDir dir;
    const std::string source = dir.file("sdz1");
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(source, 24 * kMiB, &log)) << log;
    const std::vector<uint8_t> rootPage = PatternBytes(kMiB, 81);
    const std::vector<uint8_t> rootHiber = PatternBytes(kMiB, 82);
    const std::vector<uint8_t> subPage = PatternBytes(kMiB, 83);
    const std::vector<uint8_t> subHiber = PatternBytes(kMiB, 84);
    const std::vector<uint8_t> other = PatternBytes(300000, 85);
    const std::vector<NtfsFileSpec> files = {
        {"sub", {}, true},          {"sub/pagefile.sys", subPage}, {"sub/hiberfil.sys", subHiber},
        {"pagefile.sys", rootPage}, {"hiberfil.sys", rootHiber},   {"other.bin", other},
    };
    ASSERT_TRUE(FillNtfsPartition(source, dir.path(), files, &log)) << log;

    for (int compress : {0, 2}) {
        SCOPED_TRACE(testing::Message() << "compression " << compress);
        const std::string base = dir.file("img" + std::to_string(compress));
        ASSERT_EQ(BackupNtfsImage(source, base, compress), 0);
        const tagBLOCK_END end = TrailerOf(base + "_0_0.bkp");
        EXPECT_NE(end.spare1 & ImageFormat::kFormatFlagRootSystemFiles, 0);
        EXPECT_EQ(+end.spare3, ImageFormat::kExtentLayoutEveryExtent);
        if (compress == 0) {
            const std::vector<uint8_t> image = ReadFileBytes(base + "_0_0.bkp");
            EXPECT_FALSE(Contains(image, rootPage));
            EXPECT_FALSE(Contains(image, rootHiber));
            EXPECT_TRUE(Contains(image, subPage));
            EXPECT_TRUE(Contains(image, subHiber));
        }
        const std::string target = dir.file("sdx1");
        MakeSparseFile(target, 24 * kMiB);
        ASSERT_EQ(RestoreNtfsImage(base + "_0_0.bkp", target), 0);
        EXPECT_EQ(NtfsCheckProblems(target), "");
        EXPECT_EQ(CompareNtfsFiles(target, {{"sub/pagefile.sys", subPage},
                                            {"sub/hiberfil.sys", subHiber},
                                            {"other.bin", other},
                                            {"pagefile.sys", std::vector<uint8_t>(kMiB, 0)},
                                            {"hiberfil.sys", std::vector<uint8_t>(kMiB, 0)}}),
                  "");
        std::filesystem::remove(target);
    }
}

// FAT32 leaves out only the root's page file (its hibernation file was
// always stored); the restore empties a page-file entry without clusters
// wherever it stands, as older images have one in any folder.
TEST(RootSystemFiles, Fat32SubfolderPageFileRoundTripsWhileTheRootOneStaysOut)
{
    for (const char* tool : {"mkfs.fat", "mcopy", "fsck.fat"}) {
        if (!HaveProgram(tool))
            SKIP_OR_FAIL_IN_CI(tool << " is not installed");
    }
    TempDir dir;
    const std::vector<uint8_t> rootPage = PatternBytes(kMiB, 91);
    const std::vector<uint8_t> rootHiber = PatternBytes(kMiB, 92);
    const std::vector<uint8_t> subPage = PatternBytes(kMiB, 93);
    const std::vector<uint8_t> subHiber = PatternBytes(kMiB, 94);
    const std::vector<uint8_t> after = PatternBytes(100000, 95);
    FatImage source(dir.file("sdz1"), 40 * kMiB, 1, "SYSFILES", dir.file("scratch"));
    source.AddFile("/PAGEFILE.SYS", rootPage);
    source.AddFile("/HIBERFIL.SYS", rootHiber);
    source.MakeDir("/SUB");
    source.AddFile("/SUB/PAGEFILE.SYS", subPage);
    source.AddFile("/SUB/HIBERFIL.SYS", subHiber);
    source.AddFile("/SUB/AFTER.BIN", after);

    for (int compress : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "compression " << compress);
        const std::string base = dir.file("img" + std::to_string(compress));
        ASSERT_EQ(BackupFat32Image(source.path(), base, compress), 0);
        if (compress == 0) {
            const std::vector<uint8_t> image = ReadFileBytes(base + "_0_0.bkp");
            EXPECT_FALSE(Contains(image, rootPage));
            EXPECT_TRUE(Contains(image, subPage));
        }
        const std::string target = dir.file("sdx1");
        MakeSparseFile(target, 40 * kMiB);
        {
            FakeDosfsckOnPath quiet(dir.file("bin"));
            tagRestoreArgument arg;
            arg.imagePath = base + "_0_0.bkp";
            arg.targetPartition = target;
            ASSERT_EQ(restore_fat32(arg, tagCallBackFunc{}), 0);
        }
        const CommandResult check = CheckFat(target);
        EXPECT_EQ(check.exitCode, 0) << check.output;
        const std::string out = dir.file("out" + std::to_string(compress));
        ASSERT_TRUE(ExtractFatTree(target, out));
        EXPECT_EQ(FileSize(out + "/PAGEFILE.SYS"), 0u);
        EXPECT_TRUE(ReadFileBytes(out + "/HIBERFIL.SYS") == rootHiber);
        EXPECT_TRUE(ReadFileBytes(out + "/SUB/PAGEFILE.SYS") == subPage);
        EXPECT_TRUE(ReadFileBytes(out + "/SUB/HIBERFIL.SYS") == subHiber);
        EXPECT_TRUE(ReadFileBytes(out + "/SUB/AFTER.BIN") == after);
        std::filesystem::remove(target);
    }
}

}  // namespace
