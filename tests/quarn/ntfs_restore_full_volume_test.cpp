// A nearly full NTFS volume restores onto a target of its own size (most
// restores go back onto the partition that was backed up) and onto any
// target that holds its clusters: the fresh layout leaves room free in
// several places (the MFT's reserve, before and after the mirror), and the
// data must be able to take all of it. Only a target that truly lacks
// clusters is refused, and then within its own size.
#include "support/ntfs_fixture.h"
#include "support/ntfs_full_volume.h"
#include "support/ntfs_jobs.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <random>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

#define REQUIRE_NTFS_TOOLS()                                                                                 \
    do {                                                                                                     \
        if (!HaveNtfsTools() || !HaveProgram("ntfsresize") || !HaveProgram("ntfsfix") ||                     \
            !HaveProgram("ntfscluster") || !HaveProgram("ntfsls"))                                           \
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");                                           \
    } while (0)

struct FullSource {
    TempDir dir;
    std::string part = dir.file("sdy1");
    uint64_t clusterBytes = 0;
    std::vector<NtfsFileSpec> files;
    std::string tree;
    int64_t clusters = 0;
    int64_t free = 0;
};

// Takes the source's measures once its files are written.
void Measure(FullSource* source)
{
    source->tree = NtfsTree(source->part);
    source->clusters = NtfsVolumeClusters(source->part);
    source->free = NtfsFreeClusters(source->part);
    ASSERT_FALSE(source->tree.empty());
    ASSERT_GT(source->clusters, 0);
}

// Restores `image` onto a new target of `size` bytes, which must pass
// ntfs-3g's checks, list the source's tree, hold its bytes, and have every
// cluster free that the source had free or that it has beyond the source's.
void ExpectRestoresOnto(const FullSource& source, const std::string& image, uint64_t size)
{
    SCOPED_TRACE("target of " + std::to_string(size) + " bytes");
    TempDir out;
    std::string target = out.file("sdx1");
    MakeSparseFile(target, size);
    ASSERT_EQ(RestoreNtfsImage(image, target), 0);
    EXPECT_EQ(FileSize(target), size);
    EXPECT_EQ(NtfsCheckProblems(target), "");
    EXPECT_EQ(NtfsTree(target), source.tree);
    EXPECT_EQ(CompareNtfsFiles(target, source.files), "");
    // The volume bitmap grows with the volume.
    auto bitmapClusters = [&source](int64_t clusters) {
        int64_t c = int64_t(source.clusterBytes);
        return ((clusters + 7) / 8 + c - 1) / c;
    };
    int64_t clusters = NtfsVolumeClusters(target);
    EXPECT_EQ(NtfsFreeClusters(target), source.free + (clusters - source.clusters) -
                                            (bitmapClusters(clusters) - bitmapClusters(source.clusters)));
}

// Bytes from an eight-letter alphabet: NTFS compression packs them to about
// two thirds, so a compressed file still takes many clusters.
std::vector<uint8_t> LetterBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<uint8_t>("abcdefgh"[random() % 8]);
    return bytes;
}

}  // namespace

namespace {

// One case per cluster size: each fills a volume to its last clusters and
// restores it three times, so they run side by side.
struct FullVolumeCase {
    uint64_t bytes;
    uint32_t clusterBytes;
    uint64_t leave;
    int compress;
};

void PrintTo(const FullVolumeCase& c, std::ostream* out)
{
    *out << "ClustersOf" << c.clusterBytes;
}

class NtfsFullVolumeRestoreOnto : public ::testing::TestWithParam<FullVolumeCase> {};

}  // namespace

TEST_P(NtfsFullVolumeRestoreOnto, ItsOwnSizeAndAnyTargetHoldingItsClusters)
{
    REQUIRE_NTFS_TOOLS();
    const FullVolumeCase& c = GetParam();
    FullSource source;
    source.clusterBytes = c.clusterBytes;
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source.part, c.bytes, &why, "-c " + std::to_string(c.clusterBytes))) << why;
    ASSERT_TRUE(FillNtfsToFreeClusters(source.part, source.dir.path(), c.leave, &source.files, &why)) << why;
    ASSERT_NO_FATAL_FAILURE(Measure(&source));
    TempDir images;
    ASSERT_EQ(BackupNtfsImage(source.part, images.file("img"), c.compress), 0);
    std::string image = images.file("img_0_0.bkp");
    // Its own size; a little larger (the layout's reserves grow with the
    // room); two free clusters smaller, leaving two free.
    for (uint64_t size : {c.bytes, c.bytes + kMiB, c.bytes - (c.leave - 2) * c.clusterBytes})
        ExpectRestoresOnto(source, image, size);
}

INSTANTIATE_TEST_SUITE_P(NtfsFullVolumeRestore, NtfsFullVolumeRestoreOnto,
                         ::testing::Values(FullVolumeCase{8 * kMiB, 512, 4, 1},
                                           FullVolumeCase{32 * kMiB, 4096, 4, 0},
                                           FullVolumeCase{32 * kMiB, 65536, 3, 3}),
                         [](const ::testing::TestParamInfo<FullVolumeCase>& info) {
                             return "ClustersOf" + std::to_string(info.param.clusterBytes);
                         });

TEST(NtfsFullVolumeRestore, FileThatMayNotBeSplitLeavesNoRoomUnused)
{
    REQUIRE_NTFS_TOOLS();
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: compressed files are made through one");
    FullSource source;
    source.clusterBytes = 4096;
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source.part, 32 * kMiB, &why)) << why;
    {
        NtfsMount mount(source.part, source.dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        std::string packed = mount.path() + "/packed";
        ASSERT_EQ(testsupport::Run("mkdir " + Quote(packed)).exitCode, 0);
        ASSERT_TRUE(SetNtfsAttributes(packed, 0x800));
        // The first file leaves a few MiB before the mirror; the compressed
        // one cannot be split there and goes behind the mirror whole.
        source.files.push_back({"first.bin", PatternBytes(12 * kMiB, 81)});
        source.files.push_back({"packed/letters.txt", LetterBytes(9 * kMiB, 82)});
        for (const auto& file : source.files) {
            WriteFileBytes(mount.path() + "/" + file.path, file.data);
            ASSERT_EQ(FileSize(mount.path() + "/" + file.path), file.data.size()) << file.path;
        }
        ASSERT_TRUE(mount.Unmount()) << mount.log();
    }
    CommandResult info = testsupport::Run("ntfsinfo -F /packed/letters.txt " + Quote(source.part));
    ASSERT_NE(info.output.find("COMPRESSED"), std::string::npos) << info.output;
    ASSERT_TRUE(FillNtfsToFreeClusters(source.part, source.dir.path(), 4, &source.files, &why)) << why;
    ASSERT_NO_FATAL_FAILURE(Measure(&source));

    TempDir images;
    ASSERT_EQ(BackupNtfsImage(source.part, images.file("img"), 2), 0);
    TempDir out;
    std::string target = out.file("sdx1");
    MakeSparseFile(target, 32 * kMiB);
    ASSERT_EQ(RestoreNtfsImage(images.file("img_0_0.bkp"), target), 0);
    EXPECT_EQ(NtfsCheckProblems(target), "");
    EXPECT_EQ(NtfsTree(target), source.tree);
    EXPECT_EQ(CompareNtfsFiles(target, source.files), "");
    EXPECT_EQ(NtfsFreeClusters(target), source.free);
    // The layout the case is about: the compressed file behind the mirror.
    std::vector<NtfsDataRun> runs = NtfsDataRunsOf(target, "/packed/letters.txt");
    ASSERT_FALSE(runs.empty());
    EXPECT_GT(runs[0].lcn, 32 * kMiB / 2 / 4096);
}

TEST(NtfsFullVolumeRestore, TargetShortOfClustersIsRefusedWithinItsSize)
{
    REQUIRE_NTFS_TOOLS();
    FullSource source;
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source.part, 32 * kMiB, &why)) << why;
    ASSERT_TRUE(FillNtfsToFreeClusters(source.part, source.dir.path(), 4, &source.files, &why)) << why;
    TempDir images;
    ASSERT_EQ(BackupNtfsImage(source.part, images.file("img"), 1), 0);
    // One cluster short, and a whole MiB short (both within the 10 MiB the
    // size check lets through).
    for (uint64_t size : {32 * kMiB - 5 * 4096, 31 * kMiB}) {
        SCOPED_TRACE(size);
        TempDir out;
        std::string target = out.file("sdx1");
        MakeSparseFile(target, size);
        EXPECT_EQ(RestoreNtfsImage(images.file("img_0_0.bkp"), target), ERR_PART_TOO_SMALL);
        EXPECT_EQ(FileSize(target), size) << "written past the target's end";
    }
}

TEST(NtfsFullVolumeRestore, NewestImageOfAChainOntoItsOwnSize)
{
    REQUIRE_NTFS_TOOLS();
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: an incremental image sees changes made through one");
    FullSource source;
    source.clusterBytes = 4096;
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source.part, 32 * kMiB, &why)) << why;
    ASSERT_TRUE(FillNtfsToFreeClusters(source.part, source.dir.path(), 6, &source.files, &why)) << why;
    std::string base = source.dir.file("chain");
    ASSERT_EQ(BackupNtfsImage(source.part, base, 1), 0);
    // Changes that keep the volume as full: one file rewritten, another
    // shrunk by two clusters and a third grown by as much.
    {
        NtfsMount mount(source.part, source.dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        auto rewrite = [&](size_t index, size_t size, uint32_t seed) {
            NtfsFileSpec& file = source.files[index];
            file.data = PatternBytes(size, seed);
            WriteFileBytes(mount.path() + "/" + file.path, file.data);
        };
        rewrite(3, source.files[3].data.size(), 91);
        rewrite(0, source.files[0].data.size() - 2 * 4096, 92);
        rewrite(7, source.files[7].data.size() + 2 * 4096, 93);
        ASSERT_TRUE(mount.Unmount()) << mount.log();
    }
    ASSERT_EQ(BackupNtfsImage(source.part, base, 0, ~0ULL, base + "_0_0.bkp"), 0);
    ASSERT_NO_FATAL_FAILURE(Measure(&source));
    ASSERT_LE(source.free, 8);
    ExpectRestoresOnto(source, base + "_0_1.bkp", 32 * kMiB);
}

TEST(NtfsFullVolumeRestore, MftReachingPastTheMiddleOfItsOwnSize)
{
    REQUIRE_NTFS_TOOLS();
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: the small files are made through one");
    FullSource source;
    source.clusterBytes = 512;
    const uint64_t size = 8 * kMiB;
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source.part, size, &why, "-c 512")) << why;
    {
        // Small files stay in their MFT records: 4,500 of them make an MFT
        // larger than half the volume.
        NtfsMount mount(source.part, source.dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        for (int d = 0; d < 9; ++d) {
            std::string dir = "d" + std::to_string(d);
            ASSERT_EQ(::mkdir((mount.path() + "/" + dir).c_str(), 0755), 0);
            for (int i = 0; i < 500; ++i) {
                NtfsFileSpec file{dir + "/f" + std::to_string(i), PatternBytes(100, uint32_t(d * 1000 + i))};
                WriteFileBytes(mount.path() + "/" + file.path, file.data);
                if (i % 125 == 0)
                    source.files.push_back(file);
            }
        }
        ASSERT_TRUE(mount.Unmount()) << mount.log();
    }
    ASSERT_TRUE(FillNtfsToFreeClusters(source.part, source.dir.path(), 4, &source.files, &why)) << why;
    ASSERT_NO_FATAL_FAILURE(Measure(&source));
    TempDir images;
    ASSERT_EQ(BackupNtfsImage(source.part, images.file("img"), 1), 0);
    ExpectRestoresOnto(source, images.file("img_0_0.bkp"), size);

    // The case is the one meant: the MFT reaches past the middle, and the
    // mirror (its LCN at 0x38 of the boot sector) follows it.
    TempDir out;
    std::string target = out.file("sdx1");
    MakeSparseFile(target, size);
    ASSERT_EQ(RestoreNtfsImage(images.file("img_0_0.bkp"), target), 0);
    std::vector<uint8_t> boot = ReadFileBytes(target);
    ASSERT_GE(boot.size(), 0x40u);
    uint64_t mftLcn = 0, mirrorLcn = 0;
    std::memcpy(&mftLcn, boot.data() + 0x30, 8);
    std::memcpy(&mirrorLcn, boot.data() + 0x38, 8);
    EXPECT_GT(mirrorLcn * 512, size / 2);
    EXPECT_GT(mirrorLcn, mftLcn);
}
