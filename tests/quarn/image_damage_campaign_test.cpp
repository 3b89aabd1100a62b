// Single-bit flips across every part of real split images, NTFS and FAT32,
// uncompressed, QuickLZ and deflate: each restore either fails with a code
// or gives back the source's exact files. A flip that restores with 0 and
// other files is the fault this guards against.
#include "support/fat_fixture.h"
#include "support/fat_jobs.h"
#include "support/golden_images.h"
#include "quarn/image/volume_check.h"
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <sys/stat.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1ull << 20;
constexpr uint64_t kVolumeBytes = 400 * 1024;

struct Campaign {
    uint8_t fsType;
    int compressType;
};

void PrintTo(const Campaign& c, std::ostream* out)
{
    *out << (c.fsType == FS_TYPE_NTFS ? "NTFS" : "FAT32") << " compression " << c.compressType;
}

// The parts of one volume, as its own records place them.
struct Region {
    std::string what;
    uint64_t from, to;
};

std::vector<Region> RegionsOf(const std::vector<uint8_t>& v, bool firstVolume)
{
    std::vector<Region> regions;
    tagBLOCK_END end{};
    if (v.size() < sizeof end)
        return regions;
    std::memcpy(&end, v.data() + v.size() - sizeof end, sizeof end);
    const uint64_t namesAt = v.size() - sizeof end - end.prevNameSize - end.nextNameSize;
    const uint64_t blockStart = uint64_t(end.blkStartHigh) << 32 | end.blkStartLow;
    const uint64_t recordEnd = VolumeCheck::RecordEnd(v.size(), end);
    tagVOLUME_CHECK_TAIL tail{};
    std::memcpy(&tail, v.data() + recordEnd - sizeof tail, sizeof tail);
    const uint64_t checkAt = recordEnd - tail.recordBytes;
    uint64_t dataAt = 0;
    if (firstVolume && blockStart != 0) {
        tagBLOCK_START start{};
        std::memcpy(&start, v.data() + blockStart, sizeof start);
        tagPARTITION_INFO info{};
        std::memcpy(&info, v.data() + blockStart + sizeof start + start.mftBitmapSize, sizeof info);
        dataAt = info.dataSectionPos;
        if (info.recordSectionPos < dataAt)
            regions.push_back({"MFT record section", info.recordSectionPos, dataAt});
    }
    regions.push_back({"data section (records, directory entries, data sets)", dataAt, checkAt});
    regions.push_back({"check record", checkAt, recordEnd});
    if (blockStart != 0)
        regions.push_back({"end records", blockStart, namesAt});
    regions.push_back({"trailer", namesAt, v.size()});
    return regions;
}

class ImageDamageCampaign : public ::testing::TestWithParam<Campaign> {
protected:
    TempDir dir;
    std::string source = dir.file("sdy1");
    std::string base = dir.file("img");
    std::string target = dir.file("sdz1");
    uint64_t targetBytes = 0;
    Manifest want;

    bool Ntfs() const { return GetParam().fsType == FS_TYPE_NTFS; }

    void MakeSource()
    {
        std::string why;
        if (Ntfs()) {
            if (!HaveNtfsTools())
                SKIP_OR_FAIL_IN_CI("ntfs-3g's tools are not installed");
            const std::vector<NtfsFileSpec> files = {
                {"docs", {}, true},
                {"docs/readme.txt", std::vector<uint8_t>(3000, 'r')},
                {"docs/random.bin", PatternBytes(500 * 1024, 3)},
                {"log.txt", std::vector<uint8_t>(300 * 1024, 'l')},
                {"tiny.txt", {'h', 'i', '\n'}},
            };
            ASSERT_TRUE(MakeNtfsPartition(source, 12 * kMiB, &why)) << why;
            ASSERT_TRUE(FillNtfsPartition(source, dir.path(), files, &why)) << why;
            ASSERT_EQ(BackupNtfsImage(source, base, GetParam().compressType, kVolumeBytes), 0);
            ASSERT_TRUE(NtfsManifest(source, "", &want, &why)) << why;
            targetBytes = 14 * kMiB;
        } else {
            if (!HaveProgram("mcopy") || !HaveProgram("mkfs.fat"))
                SKIP_OR_FAIL_IN_CI("mtools or dosfstools are not installed");
            FatImage fat(source, 34 * kMiB, 1, "CAMPAIGN", dir.path());
            fat.MakeDir("/Sub");
            fat.AddFile("/Sub/random.bin", PatternBytes(500 * 1024, 4));
            fat.AddFile("/A long name.txt", std::vector<uint8_t>(300 * 1024, 'l'));
            fat.AddFile("/SHORT.TXT", {'o', 'k', '\n'});
            ASSERT_EQ(BackupFat32Image(source, base, GetParam().compressType, kVolumeBytes), 0);
            ASSERT_TRUE(TreeOf(source, dir.file("want"), &want));
            targetBytes = 40 * kMiB;
        }
    }

    bool TreeOf(const std::string& partition, const std::string& out, Manifest* m)
    {
        if (mkdir(out.c_str(), 0700) != 0 || !ExtractFatTree(partition, out))
            return false;
        HostManifest(out, "", m);
        return true;
    }

    // 0 and the source's files, or a code: nothing else passes.
    int RestoreAndJudge(const std::string& what)
    {
        std::remove(target.c_str());
        MakeSparseFile(target, targetBytes);
        tagRestoreArgument arg;
        arg.imagePath = VolumeFileName(base, 0, 0);
        arg.targetPartition = target;
        const int result =
            Ntfs() ? restore_ntfs(arg, tagCallBackFunc{}) : restore_fat32(arg, tagCallBackFunc{});
        EXPECT_EQ(FileSize(target), targetBytes) << what << ": written beyond the target";
        if (result != 0)
            return result;
        Manifest got;
        std::string why;
        static int extracted = 0;
        const bool read = Ntfs() ? NtfsManifest(target, "", &got, &why)
                                 : TreeOf(target, dir.file("got" + std::to_string(++extracted)), &got);
        EXPECT_TRUE(read) << what << ": restored with 0 into a target that cannot be read " << why;
        EXPECT_EQ(FormatManifest(got), FormatManifest(want)) << what << ": restored with 0 and other files";
        return result;
    }
};

TEST_P(ImageDamageCampaign, EveryFlipIsRefusedOrHarmless)
{
    MakeSource();
    if (HasFatalFailure() || IsSkipped())
        return;
    std::vector<std::string> volumes;
    for (unsigned v = 0; FileExists(VolumeFileName(base, v, 0)); ++v)
        volumes.push_back(VolumeFileName(base, v, 0));
    ASSERT_GE(volumes.size(), 2u) << "the image should be split";

    unsigned flips = 0, refused = 0;
    for (size_t v = 0; v < volumes.size(); ++v) {
        const std::vector<uint8_t> good = ReadFileBytes(volumes[v]);
        for (const Region& region : RegionsOf(good, v == 0)) {
            ASSERT_LT(region.from, region.to) << region.what;
            // A few spread-out bits of each part, more of the large ones.
            const uint64_t length = region.to - region.from;
            const unsigned samples = length > 4096 ? 6 : 3;
            for (unsigned i = 0; i < samples; ++i) {
                const uint64_t at = region.from + (length * (2 * i + 1)) / (2 * samples);
                std::vector<uint8_t> bad = good;
                bad[at] ^= uint8_t(1u << ((at + i) % 8));
                WriteFileBytes(volumes[v], bad);
                const std::string what =
                    "volume " + std::to_string(v) + ", " + region.what + ", byte " + std::to_string(at);
                ++flips;
                if (RestoreAndJudge(what) != 0)
                    ++refused;
                else
                    ADD_FAILURE() << what
                                  << ": every byte is covered by a checksum, yet the flip was not seen";
            }
            WriteFileBytes(volumes[v], good);
        }
    }
    EXPECT_GT(flips, 20u);
    EXPECT_EQ(refused, flips);
    // The untouched image still restores to the source's files.
    EXPECT_EQ(RestoreAndJudge("the image undamaged"), 0);
}

INSTANTIATE_TEST_SUITE_P(Images, ImageDamageCampaign,
                         ::testing::Values(Campaign{FS_TYPE_NTFS, 0}, Campaign{FS_TYPE_NTFS, 1},
                                           Campaign{FS_TYPE_NTFS, 3}, Campaign{FS_TYPE_FAT32, 0},
                                           Campaign{FS_TYPE_FAT32, 1}, Campaign{FS_TYPE_FAT32, 3}),
                         [](const ::testing::TestParamInfo<Campaign>& info) {
                             return std::string(info.param.fsType == FS_TYPE_NTFS ? "Ntfs" : "Fat32") +
                                    "Compression" + std::to_string(info.param.compressType);
                         });

}  // namespace
