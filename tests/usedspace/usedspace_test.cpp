// ntfs_used and fat32_used against ntfs-3g's and dosfstools' own figures,
// and on damaged sources.
#include "support/fsck_fat.h"
#include "support/ntfs_fixture.h"
#include "support/test_support.h"
#include "usedspace/usedspace.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testsupport;

namespace {

using Counter = int (*)(const char* device, unsigned long long* used);

// A fresh 16 MiB NTFS partition (4 KiB clusters, 1 KiB records): its bytes
// and the offset of its MFT.
bool MakeSmallNtfs(const std::string& path, std::vector<uint8_t>* bytes, uint64_t* mftOffset)
{
    std::string log;
    if (!MakeNtfsPartition(path, 16 << 20, &log)) {
        ADD_FAILURE() << log;
        return false;
    }
    *bytes = ReadFileBytes(path);
    uint64_t lcn;
    std::memcpy(&lcn, bytes->data() + 48, 8);
    *mftOffset = lcn * 4096;
    return true;
}

// Expects the counter to measure the partition as the oracle did.
void ExpectAgrees(Counter count, const std::string& path, uint64_t expected, const std::string& what)
{
    ASSERT_NE(expected, 0u) << what << ": the oracle gave no figure";
    unsigned long long used = 0;
    ASSERT_EQ(count(path.c_str(), &used), 0) << what;
    EXPECT_EQ(used, expected) << what;
}

// Writes a damaged copy of a partition and expects the counter to refuse
// it without touching its result.
void ExpectRefused(Counter count, const std::string& path, const std::vector<uint8_t>& bytes,
                   const std::string& what)
{
    WriteFileBytes(path, bytes);
    unsigned long long used = 12345;
    EXPECT_NE(count(path.c_str(), &used), 0) << what;
    EXPECT_EQ(used, 12345u) << what;
}

struct NtfsCase {
    const char* name;
    const char* mkntfsOptions;
    int files;
    size_t fileBytes;
};

}  // namespace

TEST(NtfsUsed, MatchesNtfsClusterOnFreshAndFilledVolumes)
{
    if (!HaveNtfsTools() || !HaveProgram("ntfscluster"))
        SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
    const NtfsCase cases[] = {
        {"empty 4K clusters", "", 0, 0},
        {"files 4K clusters", "", 6, 300000},
        {"files 1K clusters", "-c 1024", 5, 123457},
        {"files 64K clusters", "-c 65536", 3, 70000},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::string part = dir.file("sdz1");
        std::string log;
        ASSERT_TRUE(MakeNtfsPartition(part, 24 << 20, &log, c.mkntfsOptions)) << c.name << log;
        for (int i = 0; i < c.files; ++i) {
            ASSERT_TRUE(NtfsCopyIn(part, dir.path(), "/f" + std::to_string(i),
                                   PatternBytes(c.fileBytes * (i + 1) / 2 + 1, i), &log))
                << c.name << log;
        }
        ExpectAgrees(ntfs_used, part, NtfsUsedBytesByNtfsCluster(part), c.name);
    }
}

TEST(NtfsUsed, DamagedSourcesFailWithoutTouchingTheResult)
{
    if (!HaveNtfsTools())
        SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
    TempDir dir;
    const std::string pristine = dir.file("pristine");
    std::vector<uint8_t> image;
    uint64_t mftOffset = 0;
    ASSERT_TRUE(MakeSmallNtfs(pristine, &image, &mftOffset));
    struct Damage {
        const char* name;
        void (*apply)(std::vector<uint8_t>& bytes, uint64_t mft);
    } damages[] = {
        {"no NTFS signature", [](std::vector<uint8_t>& b, uint64_t) { std::memset(b.data() + 3, 'X', 8); }},
        {"zero sectors per cluster", [](std::vector<uint8_t>& b, uint64_t) { b[13] = 0; }},
        {"volume larger than the device", [](std::vector<uint8_t>& b, uint64_t) { b[47] = 0x40; }},
        {"MFT past the volume", [](std::vector<uint8_t>& b, uint64_t) { b[55] = 0x7F; }},
        {"MFT record without FILE", [](std::vector<uint8_t>& b, uint64_t m) { b[m] = 'X'; }},
        {"MFT update sequence broken", [](std::vector<uint8_t>& b, uint64_t m) { b[m + 510] ^= 0xFF; }},
        {"bitmap record without FILE", [](std::vector<uint8_t>& b, uint64_t m) { b[m + 6 * 1024] = 0; }},
        {"truncated device", [](std::vector<uint8_t>& b, uint64_t) { b.resize(b.size() / 2); }},
        {"empty device", [](std::vector<uint8_t>& b, uint64_t) { b.clear(); }},
    };
    for (const auto& damage : damages) {
        std::vector<uint8_t> bytes = image;
        damage.apply(bytes, mftOffset);
        ExpectRefused(ntfs_used, dir.file("sdz1"), bytes, damage.name);
    }
    unsigned long long used = 0;
    EXPECT_NE(ntfs_used(dir.file("missing").c_str(), &used), 0);
    EXPECT_NE(ntfs_used(nullptr, &used), 0);
    EXPECT_NE(ntfs_used(pristine.c_str(), nullptr), 0);
}

TEST(NtfsUsed, HostileRunListsOfTheBitmapAreRefused)
{
    if (!HaveNtfsTools())
        SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
    TempDir dir;
    std::vector<uint8_t> image;
    uint64_t mftOffset = 0;
    ASSERT_TRUE(MakeSmallNtfs(dir.file("sdz1"), &image, &mftOffset));
    uint64_t record = mftOffset + 6 * 1024;
    // Find the $DATA attribute of $Bitmap and its run list.
    uint16_t attrOffset;
    std::memcpy(&attrOffset, &image[record + 20], 2);
    uint64_t at = record + attrOffset;
    while (true) {
        uint32_t type, length;
        std::memcpy(&type, &image[at], 4);
        std::memcpy(&length, &image[at + 4], 4);
        ASSERT_NE(type, 0xFFFFFFFFu);
        if (type == 0x80)
            break;
        at += length;
    }
    uint16_t runOffset;
    std::memcpy(&runOffset, &image[at + 32], 2);
    uint64_t runs = at + runOffset;
    const std::vector<std::vector<uint8_t>> badRuns = {
        {0x9F, 1, 2, 3},                                         // length and offset fields too wide
        {0x41, 0x01, 0x00, 0x00, 0x00, 0x40},                    // first run far past the volume
        {0x21, 0x01, 0x00, 0x80},                                // negative first LCN
        {0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},  // huge sparse run
    };
    for (const auto& bad : badRuns) {
        std::vector<uint8_t> bytes = image;
        std::copy(bad.begin(), bad.end(), bytes.begin() + static_cast<long>(runs));
        bytes[runs + bad.size()] = 0;
        ExpectRefused(ntfs_used, dir.file("damaged"), bytes, "run header " + std::to_string(bad[0]));
    }
}

TEST(Fat32Used, MatchesFsckFat)
{
    REQUIRE_PROGRAM("mkfs.fat");
    REQUIRE_PROGRAM("mcopy");
    REQUIRE_PROGRAM("fsck.fat");
    // mtools wants at least 65525 clusters, hence the larger (sparse) 4K case.
    struct Case {
        const char* name;
        const char* options;
        uint64_t bytes;
        int files;
    } cases[] = {
        {"empty 512-byte clusters", "-s 1", 40 << 20, 0},
        {"files 512-byte clusters", "-s 1", 40 << 20, 5},
        {"files 4K clusters", "-s 8", 300 << 20, 7},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::string part = dir.file("sdz1");
        MakeSparseFile(part, c.bytes);
        CommandResult made = testsupport::Run(std::string("mkfs.fat -F 32 ") + c.options + " " + Quote(part));
        ASSERT_EQ(made.exitCode, 0) << made.output;
        for (int i = 0; i < c.files; ++i) {
            std::string source = dir.file("src" + std::to_string(i));
            WriteFileBytes(source, PatternBytes(size_t(40000) * (i + 1) + 7, i));
            CommandResult copied = testsupport::Run("mcopy -i " + Quote(part) + " " + Quote(source) +
                                                    " ::/F" + std::to_string(i));
            ASSERT_EQ(copied.exitCode, 0) << copied.output;
        }
        testsupport::Run("mmd -i " + Quote(part) + " ::/DIR");
        ExpectAgrees(fat32_used, part, FsckFatUsedBytes(part), c.name);
    }
}

TEST(Fat32Used, DamagedSourcesFail)
{
    REQUIRE_PROGRAM("mkfs.fat");
    TempDir dir;
    std::string pristine = dir.file("pristine");
    MakeSparseFile(pristine, 40 << 20);
    ASSERT_EQ(testsupport::Run("mkfs.fat -F 32 " + Quote(pristine)).exitCode, 0);
    std::vector<uint8_t> image = ReadFileBytes(pristine);
    struct Damage {
        const char* name;
        void (*apply)(std::vector<uint8_t>& bytes);
    } damages[] = {
        {"no boot signature", [](std::vector<uint8_t>& b) { b[510] = 0; }},
        {"zero sectors per cluster", [](std::vector<uint8_t>& b) { b[13] = 0; }},
        {"odd sector size", [](std::vector<uint8_t>& b) { b[11] = 1; }},
        {"no FATs", [](std::vector<uint8_t>& b) { b[16] = 0; }},
        {"FAT smaller than the clusters",
         [](std::vector<uint8_t>& b) {
             b[36] = 1;
             b[37] = 0;
             b[38] = 0;
             b[39] = 0;
         }},
        {"FAT16 layout", [](std::vector<uint8_t>& b) { b[22] = 1; }},
        {"truncated device", [](std::vector<uint8_t>& b) { b.resize(8192); }},
        {"empty device", [](std::vector<uint8_t>& b) { b.clear(); }},
    };
    for (const auto& damage : damages) {
        std::vector<uint8_t> bytes = image;
        damage.apply(bytes);
        ExpectRefused(fat32_used, dir.file("sdz1"), bytes, damage.name);
    }
    unsigned long long used = 0;
    EXPECT_NE(fat32_used(dir.file("missing").c_str(), &used), 0);
}
