// Images written by an earlier build of the engine, checked in with the tree
// each must restore to: a change that can no longer read yesterday's images
// fails here. The checked-in bytes are the reference; the tests never remake
// them (tests/quarn/data/golden/make.sh shows how they were made, by hand).
#include "support/fat_fixture.h"
#include "support/golden_images.h"
#include "quarn/image/volume_check.h"
#include "quarn/io/device_io.h"
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCryptographicHash>

#include <cstring>
#include <ostream>
#include <sys/stat.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1ull << 20;

std::string GoldenDir()
{
    return QUARN_GOLDEN_DIR;
}

void ExpectSameManifest(const Manifest& got, const Manifest& want)
{
    EXPECT_EQ(FormatManifest(got), FormatManifest(want));
}

bool NeedTools(const std::vector<std::string>& tools, std::string* missing)
{
    for (const auto& tool : tools) {
        if (!HaveProgram(tool)) {
            *missing = tool;
            return false;
        }
    }
    return true;
}

#define REQUIRE_TOOLS(...)                                                                                   \
    do {                                                                                                     \
        std::string missing;                                                                                 \
        if (!NeedTools({__VA_ARGS__}, &missing))                                                             \
            SKIP_OR_FAIL_IN_CI(missing << " is not installed");                                              \
    } while (0)

struct NtfsGolden {
    const char* what;
    const char* image;     // first volume of the image restored
    const char* manifest;  // the tree it restores to
    uint64_t targetBytes;  // differs from the source's 12 MiB
};

void PrintTo(const NtfsGolden& g, std::ostream* out)
{
    *out << g.image << " (" << g.what << ")";
}

class GoldenNtfs : public ::testing::TestWithParam<NtfsGolden> {};

TEST_P(GoldenNtfs, RestoresToItsManifest)
{
    REQUIRE_TOOLS("ntfsls", "ntfscat", "ntfsfix");
    const NtfsGolden& g = GetParam();
    TempDir tmp;
    const std::string target = tmp.file("sdz1");
    MakeSparseFile(target, g.targetBytes);
    ASSERT_EQ(RestoreNtfsImage(GoldenDir() + g.image, target), 0) << g.what;
    EXPECT_EQ(NtfsCheckProblems(target), "") << g.what;
    Manifest got;
    std::string why;
    ASSERT_TRUE(NtfsManifest(target, "", &got, &why)) << why;
    ExpectSameManifest(got, ReadManifest(GoldenDir() + g.manifest));
}

INSTANTIATE_TEST_SUITE_P(
    Images, GoldenNtfs,
    ::testing::Values(NtfsGolden{"full, QuickLZ, split into volumes", "ntfs_split_0_0.bkp",
                                 "ntfs_split.manifest", 16 * kMiB},
                      NtfsGolden{"full image of a chain, deflate", "ntfs_chain_0_0.bkp",
                                 "ntfs_chain_0.manifest", 14 * kMiB},
                      NtfsGolden{"incremental image of a chain", "ntfs_chain_0_1.bkp",
                                 "ntfs_chain_1.manifest", 20 * kMiB},
                      NtfsGolden{"password, description and head block", "ntfs_pass_0_0.bkp",
                                 "ntfs_pass.manifest", 13 * kMiB},
                      NtfsGolden{"with checksums: full, QuickLZ, split into volumes",
                                 "checked_ntfs_split_0_0.bkp", "checked_ntfs_split.manifest", 16 * kMiB},
                      NtfsGolden{"with checksums: full image of a chain, deflate",
                                 "checked_ntfs_chain_0_0.bkp", "checked_ntfs_chain_0.manifest", 14 * kMiB},
                      NtfsGolden{"with checksums: incremental image of a chain", "checked_ntfs_chain_0_1.bkp",
                                 "checked_ntfs_chain_1.manifest", 20 * kMiB},
                      NtfsGolden{"with checksums: password, description and head block",
                                 "checked_ntfs_pass_0_0.bkp", "checked_ntfs_pass.manifest", 13 * kMiB}),
    [](const ::testing::TestParamInfo<NtfsGolden>& info) {
        std::string name = info.param.image;
        name = name.substr(0, name.find(".bkp"));
        return name;
    });

// A volume's trailer and the two names before it.
struct Trailer {
    tagBLOCK_END end{};
    std::string prevName, nextName;
};

bool ReadTrailer(const std::string& path, Trailer* t)
{
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.size() < sizeof t->end)
        return false;
    std::memcpy(&t->end, bytes.data() + bytes.size() - sizeof t->end, sizeof t->end);
    const size_t names = size_t(t->end.prevNameSize) + t->end.nextNameSize;
    if (bytes.size() < sizeof t->end + names)
        return false;
    const char* at = reinterpret_cast<const char*>(bytes.data()) + bytes.size() - sizeof t->end - names;
    t->prevName.assign(at, t->end.prevNameSize);
    t->nextName.assign(at + t->end.prevNameSize, t->end.nextNameSize);
    return true;
}

struct TrailerCase {
    const char* volume;
    unsigned fsType, volumeIndex, generation, singleVolume;
    const char* prevName;
    const char* nextName;
};

// Every volume's trailer: its numbers, the previous image's first volume and
// the next volume by name, one chain id per image chain.
TEST(GoldenImages, EveryVolumeTrailerNamesItsNeighbours)
{
    const TrailerCase cases[] = {
        {"ntfs_split_0_0.bkp", FS_TYPE_NTFS, 0, 0, 0, "", "ntfs_split_1_0.bkp"},
        {"ntfs_split_1_0.bkp", FS_TYPE_NTFS, 1, 0, 0, "", "ntfs_split_2_0.bkp"},
        {"ntfs_split_2_0.bkp", FS_TYPE_NTFS, 2, 0, 0, "", ""},
        {"ntfs_chain_0_0.bkp", FS_TYPE_NTFS, 0, 0, 1, "", ""},
        {"ntfs_chain_0_1.bkp", FS_TYPE_NTFS, 0, 1, 1, "ntfs_chain_0_0.bkp", ""},
        {"ntfs_pass_0_0.bkp", FS_TYPE_NTFS, 0, 0, 1, "", ""},
        {"fat32_0_0.bkp", FS_TYPE_FAT32, 0, 0, 1, "", ""},
        {"checked_ntfs_split_0_0.bkp", FS_TYPE_NTFS, 0, 0, 0, "", "checked_ntfs_split_1_0.bkp"},
        {"checked_ntfs_split_1_0.bkp", FS_TYPE_NTFS, 1, 0, 0, "", "checked_ntfs_split_2_0.bkp"},
        {"checked_ntfs_split_2_0.bkp", FS_TYPE_NTFS, 2, 0, 0, "", ""},
        {"checked_ntfs_chain_0_0.bkp", FS_TYPE_NTFS, 0, 0, 1, "", ""},
        {"checked_ntfs_chain_0_1.bkp", FS_TYPE_NTFS, 0, 1, 1, "checked_ntfs_chain_0_0.bkp", ""},
        {"checked_ntfs_pass_0_0.bkp", FS_TYPE_NTFS, 0, 0, 1, "", ""},
        {"checked_fat32_0_0.bkp", FS_TYPE_FAT32, 0, 0, 1, "", ""},
    };
    for (const TrailerCase& c : cases) {
        SCOPED_TRACE(c.volume);
        Trailer t;
        ASSERT_TRUE(ReadTrailer(GoldenDir() + c.volume, &t));
        EXPECT_EQ(uint32_t(t.end.magic), 0x454B4C42u);
        EXPECT_EQ(unsigned(t.end.fsType), c.fsType);
        EXPECT_EQ(unsigned(t.end.volumeIndex), c.volumeIndex);
        EXPECT_EQ(unsigned(t.end.generation), c.generation);
        EXPECT_EQ(unsigned(t.end.singleVolume), c.singleVolume);
        EXPECT_EQ(t.prevName, c.prevName);
        EXPECT_EQ(t.nextName, c.nextName);
    }
    Trailer full, incremental;
    ASSERT_TRUE(ReadTrailer(GoldenDir() + "ntfs_chain_0_0.bkp", &full));
    ASSERT_TRUE(ReadTrailer(GoldenDir() + "ntfs_chain_0_1.bkp", &incremental));
    EXPECT_EQ(uint32_t(full.end.chainId), uint32_t(incremental.end.chainId));
}

// The password image's first volume: the caller's head block at offset 0,
// and in its trailer's partition record the password's digest and the
// compressed description.
TEST(GoldenImages, ThePasswordImageKeepsItsHeadDigestAndDescription)
{
    const std::vector<uint8_t> volume = ReadFileBytes(GoldenDir() + "ntfs_pass_0_0.bkp");
    ASSERT_GT(volume.size(), sizeof(tagBLOCK_END));
    ASSERT_EQ(std::memcmp(volume.data(), kGoldenHead, sizeof kGoldenHead), 0);

    tagBLOCK_END end;
    std::memcpy(&end, volume.data() + volume.size() - sizeof end, sizeof end);
    EXPECT_EQ(uint32_t(end.magic), 0x454B4C42u);
    EXPECT_EQ(uint32_t(end.fsType), FS_TYPE_NTFS);
    EXPECT_EQ(uint32_t(end.singleVolume), 1);
    const uint64_t blockStart = uint64_t(end.blkStartHigh) << 32 | end.blkStartLow;
    ASSERT_LT(blockStart + sizeof(tagBLOCK_START), volume.size());
    tagBLOCK_START start;
    std::memcpy(&start, volume.data() + blockStart, sizeof start);
    EXPECT_EQ(uint32_t(start.magic), 0x534B4C42u);
    const uint64_t infoAt = blockStart + sizeof start + start.mftBitmapSize;
    ASSERT_LT(infoAt + sizeof(tagPARTITION_INFO), volume.size());
    tagPARTITION_INFO info;
    std::memcpy(&info, volume.data() + infoAt, sizeof info);
    EXPECT_EQ(uint32_t(info.magic), 0x4F464950u);
    EXPECT_EQ(uint32_t(info.compressType), 3);
    ASSERT_EQ(uint32_t(info.passwordHashSize), 16);

    const uint64_t digestAt = infoAt + sizeof info + info.mbrSize + info.bootAreaSize;
    ASSERT_LE(digestAt + 16 + info.descriptionSize, volume.size());
    const QByteArray digest(reinterpret_cast<const char*>(volume.data() + digestAt), 16);
    // Compared without printing either digest.
    EXPECT_TRUE(digest == QCryptographicHash::hash(QByteArray(kGoldenPassword), QCryptographicHash::Md5))
        << "the stored digest is not the test password's";
    const QByteArray description(reinterpret_cast<const char*>(volume.data() + digestAt + 16),
                                 int(info.descriptionSize));
    EXPECT_EQ(qUncompress(description), QByteArray(kGoldenDescription));
}

// The check record of each volume of the later set, found through the
// trailer's flag: one image id in every volume of one image, a new one for
// each image, and the incremental naming its base's.
TEST(GoldenImages, TheCheckedSetCarriesItsCheckRecordsAndImageIds)
{
    auto idsOf = [](const std::string& volume, uint64_t* imageId, uint64_t* baseImageId) {
        const std::vector<uint8_t> bytes = ReadFileBytes(GoldenDir() + volume);
        tagBLOCK_END end{};
        ASSERT_GT(bytes.size(), sizeof end) << volume;
        std::memcpy(&end, bytes.data() + bytes.size() - sizeof end, sizeof end);
        CDeviceIo io;
        ASSERT_EQ(io.Open(GoldenDir() + volume, CDeviceIo::ModeRead), 0) << volume;
        EXPECT_NE(end.spare1 & ImageFormat::kFormatFlagVolumeCheck, 0) << volume;
        VolumeCheck::Record record;
        bool present = false;
        ASSERT_EQ(VolumeCheck::ReadRecord(io, end, &record, &present), 0) << volume;
        ASSERT_TRUE(present) << volume;
        uint64_t bad = 0;
        EXPECT_EQ(VolumeCheck::VerifyBlocks(io, record, &bad), 0) << volume;
        EXPECT_EQ(VolumeCheck::VerifyEndRecords(io, record), 0) << volume;
        *imageId = record.head.imageId;
        *baseImageId = record.head.baseImageId;
    };
    uint64_t split[3], base[3];
    for (int i = 0; i < 3; ++i)
        idsOf("checked_ntfs_split_" + std::to_string(i) + "_0.bkp", &split[i], &base[i]);
    EXPECT_EQ(split[0], split[1]);
    EXPECT_EQ(split[0], split[2]);
    EXPECT_EQ(base[0], 0u);
    uint64_t full, fullBase, incremental, incrementalBase, fat, fatBase;
    idsOf("checked_ntfs_chain_0_0.bkp", &full, &fullBase);
    idsOf("checked_ntfs_chain_0_1.bkp", &incremental, &incrementalBase);
    idsOf("checked_fat32_0_0.bkp", &fat, &fatBase);
    EXPECT_NE(full, incremental);
    EXPECT_EQ(incrementalBase, full);
    EXPECT_NE(full, split[0]);
    EXPECT_NE(fat, full);
}

class GoldenFat32 : public ::testing::TestWithParam<const char*> {};

TEST_P(GoldenFat32, RestoresToItsManifest)
{
    REQUIRE_TOOLS("mcopy", "fsck.fat");
    const std::string name = GetParam();
    TempDir tmp;
    const std::string target = tmp.file("sdz1");
    MakeSparseFile(target, 48 * kMiB);
    tagRestoreArgument arg;
    arg.imagePath = GoldenDir() + name + "_0_0.bkp";
    arg.targetPartition = target;
    ASSERT_EQ(restore_fat32(arg, tagCallBackFunc{}), 0);
    const CommandResult check = CheckFat(target);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const std::string out = tmp.file("out");
    ASSERT_EQ(mkdir(out.c_str(), 0700), 0);
    ASSERT_TRUE(ExtractFatTree(target, out));
    Manifest got;
    HostManifest(out, "", &got);
    ExpectSameManifest(got, ReadManifest(GoldenDir() + name + ".manifest"));
}

INSTANTIATE_TEST_SUITE_P(Images, GoldenFat32, ::testing::Values("fat32", "checked_fat32"));

}  // namespace
