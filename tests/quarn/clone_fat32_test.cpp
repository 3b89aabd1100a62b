// clone_fat32 of a mkfs.fat-made partition onto larger and smaller
// partition files, judged by fsck.fat -n and mcopy: every file read back
// with its bytes, the root's page file with its data or (filtered) empty,
// the refusals that leave the destination untouched, and a cancel that
// leaves it holding no file system.
#include "support/clone_checks.h"
#include "support/fat_fixture.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"
#include "usedspace/usedspace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

struct Source {
    TempDir dir;
    std::string part = dir.file("sdz1");
    std::string files = dir.file("source-files");
    uint64_t used = 0;

    void Make()
    {
        BuildRichFatSource(part, dir.file("scratch"));
        ASSERT_TRUE(ExtractFatTree(part, files));
        unsigned long long bytes = 0;
        ASSERT_EQ(fat32_used(part.c_str(), &bytes), 0);
        used = bytes;
    }
};

#define MAKE_SOURCE(source)                                                                                  \
    REQUIRE_FAT_TOOLS();                                                                                     \
    REQUIRE_PROGRAM("fsck.fat");                                                                             \
    Source source;                                                                                           \
    ASSERT_NO_FATAL_FAILURE(source.Make())

int Clone(const std::string& source, const std::string& dest, bool filterPage = false)
{
    tagCloneArgument arg;
    arg.srcPartition = source;
    arg.destPartition = dest;
    arg.filterPageFile = filterPage;
    return clone_fat32(arg, tagCallBackFunc());
}

// Sizes of destinations: one larger than the source, one that holds
// little more than its used data (but as many clusters as FAT32 needs).
std::vector<uint64_t> DestinationSizes(const Source& source)
{
    return {kRichSourceBytes + 24 * kMiB, std::max<uint64_t>(source.used + 4 * kMiB, 34 * kMiB)};
}

// fsck.fat -n's judgement of a partition: empty when it finds it sound.
std::string FatProblems(const std::string& partition)
{
    const CommandResult check = CheckFat(partition);
    return check.exitCode == 0 ? std::string() : "fsck.fat -n: " + check.output;
}

// clone_fat32 for the checks every clone passes, onto 48 MiB destinations.
const CloneUnderTest kFat32Clone = {clone_fat32, CheckFat, FatProblems, 48 * kMiB};

class CloneFat32Filter : public ::testing::TestWithParam<bool> {};

TEST_P(CloneFat32Filter, CopiesEveryFileOntoLargerAndSmallerDestinations)
{
    MAKE_SOURCE(source);
    const bool filterPage = GetParam();
    const std::vector<uint8_t> sourceBefore = ReadFileBytes(source.part);
    // What the clone must hold: the source's files, the page file empty
    // when it is filtered (as a restore of an image gives it).
    const std::string expected = source.dir.file("expected");
    ASSERT_EQ(CopyKeepingHoles(source.files, expected), "");
    if (filterPage)
        MakeSparseFile(expected + "/PAGEFILE.SYS", 0);
    for (uint64_t size : DestinationSizes(source)) {
        SCOPED_TRACE("destination of " + std::to_string(size) + " bytes");
        TempDir dir;
        const std::string dest = dir.file("sdx1");
        MakeSparseFile(dest, size);
        ASSERT_EQ(Clone(source.part, dest, filterPage), 0);
        EXPECT_EQ(FileSize(dest), size) << "written beyond the destination";
        const CommandResult check = CheckFat(dest);
        EXPECT_EQ(check.exitCode, 0) << check.output;
        ASSERT_TRUE(ExtractFatTree(dest, dir.file("out")));
        std::string differences;
        EXPECT_TRUE(SameTree(expected, dir.file("out"), &differences)) << differences;
    }
    EXPECT_EQ(ReadFileBytes(source.part), sourceBefore) << "the source changed";
}

INSTANTIATE_TEST_SUITE_P(Options, CloneFat32Filter, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "PageOut" : "PageIn");
                         });

TEST(CloneFat32, ReportsProgressAndStates)
{
    MAKE_SOURCE(source);
    ExpectProgressAndStates(kFat32Clone, source.part, source.used,
                            {"Initializing ...", "Cloning partition ...", "Finish restore partition",
                             "Checking partition ... ", "Finish"});
}

TEST(CloneFat32, CancelLeavesNoFileSystem)
{
    MAKE_SOURCE(source);
    ExpectCancelLeavesNoFileSystem(kFat32Clone, source.part, {1, 50});
}

TEST(CloneFat32, RefusalsLeaveTheDestinationAsItWas)
{
    MAKE_SOURCE(source);
    RefusalFiles files;
    ASSERT_NO_FATAL_FAILURE(MakeRefusalFiles(kFat32Clone, source.part, source.used - 64 * 1024, &files));
    ExpectRefusalsWriteNothing(kFat32Clone, RefusalsOfEveryClone(source.part, files),
                               {files.dest, files.small, source.part});
}

// A destination that holds the source's used bytes but, once formatted
// (its FATs and reserved sectors taken), not its used clusters: refused
// before anything is written rather than running out half way.
TEST(CloneFat32, DestinationWithoutRoomForTheUsedClustersIsRefused)
{
    REQUIRE_FAT_TOOLS();
    TempDir dir;
    const std::string source = dir.file("sdz1");
    FatImage image(source, 64 * kMiB, 1, "FULL", dir.file("scratch"));
    image.AddFile("/BIG.BIN", PatternBytes(40 * kMiB, 9));
    unsigned long long used = 0;
    ASSERT_EQ(fat32_used(source.c_str(), &used), 0);
    const std::string dest = dir.file("sdx1");
    MakeSparseFile(dest, used + 64 * 1024);
    const std::vector<uint8_t> before = ReadFileBytes(dest);
    EXPECT_EQ(Clone(source, dest), ERR_PART_TOO_SMALL);
    EXPECT_EQ(ReadFileBytes(dest), before);
}

uint32_t Le32At(const std::vector<uint8_t>& bytes, uint64_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

// A source whose file's cluster chain loops back onto itself, or runs out
// before the file's size: found before anything is written, not when the
// walk comes to the file.
TEST(CloneFat32, DamagedChainsAreRefusedBeforeAnythingIsWritten)
{
    REQUIRE_FAT_TOOLS();
    TempDir dir;
    const std::string source = dir.file("sdz1");
    {
        FatImage image(source, 40 * kMiB, 1, "CHAINS", dir.file("scratch"));
        image.AddFile("/FIRST.BIN", PatternBytes(100000, 1));
        image.AddFile("/A.BIN", PatternBytes(8 * 512, 2));
    }
    const std::vector<uint8_t> sound = ReadFileBytes(source);
    uint16_t sectorBytes = 0;
    uint16_t reserved = 0;
    std::memcpy(&sectorBytes, sound.data() + 11, 2);
    std::memcpy(&reserved, sound.data() + 14, 2);
    const uint64_t fatPos = uint64_t(reserved) * sectorBytes;
    const uint64_t dataPos = fatPos + uint64_t(sound[16]) * Le32At(sound, 36) * sectorBytes;
    const uint64_t clusterBytes = uint64_t(sound[13]) * sectorBytes;
    const uint64_t root = dataPos + (Le32At(sound, 44) - 2) * clusterBytes;
    uint32_t first = 0;
    for (uint64_t at = root; at < root + clusterBytes; at += 32) {
        if (std::memcmp(sound.data() + at, "A       BIN", 11) == 0) {
            uint16_t high = 0;
            uint16_t low = 0;
            std::memcpy(&high, sound.data() + at + 20, 2);
            std::memcpy(&low, sound.data() + at + 26, 2);
            first = uint32_t(high) << 16 | low;
        }
    }
    ASSERT_GE(first, 2u) << "A.BIN is not in the root";

    struct Case {
        const char* what;
        uint32_t next;  // the new FAT entry of the file's first cluster
    };
    for (const Case& c : {Case{"the chain loops", first}, Case{"the chain ends early", 0x0FFFFFFF}}) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> damaged = sound;
        std::memcpy(damaged.data() + fatPos + uint64_t(first) * 4, &c.next, 4);
        WriteFileBytes(source, damaged);
        const std::string dest = dir.file("sdx1");
        MakeSparseFile(dest, 48 * kMiB);
        EXPECT_EQ(Clone(source, dest), ERR_PART_INFO);
        EXPECT_EQ(ReadFileBytes(dest), std::vector<uint8_t>(48 * kMiB, 0));
    }
}

TEST(CloneFat32, BootSectorCarriesTheDestinationsHiddenSectors)
{
    MAKE_SOURCE(source);
    ExpectBootSectorCarriesTheDestinationsHiddenSectors(kFat32Clone, source.part);
}

}  // namespace
