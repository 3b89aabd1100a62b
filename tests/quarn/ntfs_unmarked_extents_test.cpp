// Images written before continuation extents got data sets: their trailer's
// byte 18 is 0 and a file spread over extension records has a set for its
// first extent only. The restore gives the later extents sparse runs: the
// file reads zeros there, and no run points at clusters of someone else.
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_fragmented_file.h"
#include "support/ntfs_image_reader.h"
#include "support/ntfs_jobs.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/reseal_volume.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace testsupport;

namespace {

struct Range {
    uint64_t begin;
    uint64_t end;
};

// Rewrites an unsplit image as the earlier backups wrote it: the data sets
// of continuation extents cut out, the block start moved back by what was
// cut, the trailer's byte 18 cleared. *holes receives the byte ranges of
// the file data those sets held.
bool StripContinuationSets(const std::string& imagePath, const NtfsImage& image, uint32_t inode,
                           std::vector<Range>* holes, std::string* error)
{
    if (!StripVolumeCheck(imagePath)) {
        *error = "the image carries no check record";
        return false;
    }
    std::vector<uint8_t> bytes = ReadFileBytes(imagePath);
    std::vector<Range> cuts;
    for (const auto& record : image.records) {
        for (const auto& set : record.sets) {
            if (set.lowestVcn == 0)
                continue;
            if (set.firstVolume != 0 || set.lastVolume != 0) {
                *error = "the image is split";
                return false;
            }
            cuts.push_back({set.firstOffset, set.endOffset});
            uint64_t base;
            std::memcpy(&base, record.raw.data() + 32, 8);
            if ((base & 0xFFFFFFFFFFFFull) == inode)
                holes->push_back({set.lowestVcn * image.info.clusterBytes,
                                  (set.highestVcn + 1) * image.info.clusterBytes});
        }
    }
    if (cuts.empty()) {
        *error = "no continuation extent has a data set";
        return false;
    }
    uint64_t removed = 0;
    for (auto it = cuts.rbegin(); it != cuts.rend(); ++it) {
        bytes.erase(bytes.begin() + long(it->begin), bytes.begin() + long(it->end));
        removed += it->end - it->begin;
    }
    tagBLOCK_END end;
    std::memcpy(&end, bytes.data() + bytes.size() - sizeof end, sizeof end);
    uint64_t blockStart = (uint64_t(end.blkStartHigh) << 32 | end.blkStartLow) - removed;
    end.blkStartLow = uint32_t(blockStart);
    end.blkStartHigh = uint32_t(blockStart >> 32);
    end.spare3 = 0;
    std::memcpy(bytes.data() + bytes.size() - sizeof end, &end, sizeof end);
    WriteFileBytes(imagePath, bytes);
    return true;
}

}  // namespace

TEST(NtfsUnmarkedExtents, ContinuationExtentsOfAnUnmarkedImageReadAsZeros)
{
    if (!HaveNtfsTools() || !HaveProgram("ntfsresize") || !HaveProgram("ntfsfix"))
        SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: the fragmented file is written through one");
    TempDir dir;
    const std::string source = dir.file("sdz1");
    std::string log;
    ASSERT_TRUE(MakeFragmentedFilePartition(source, dir.path(), &log)) << log;
    const int64_t inode = NtfsInodeOf(source, "/fragmented.bin");
    ASSERT_GT(inode, 15);
    std::vector<uint8_t> original;
    ASSERT_TRUE(NtfsCatInode(source, uint64_t(inode), &original));

    for (int type : {0, 2}) {
        SCOPED_TRACE("compression type " + std::to_string(type));
        TempDir out;
        const std::string image = out.file("img_0_0.bkp");
        ASSERT_EQ(BackupNtfsImage(source, out.file("img"), type), 0);
        NtfsImage parsed;
        std::string error;
        ASSERT_TRUE(ReadNtfsImage(image, &parsed, &error)) << error;
        std::vector<Range> holes;
        ASSERT_TRUE(StripContinuationSets(image, parsed, uint32_t(inode), &holes, &error)) << error;
        ASSERT_FALSE(holes.empty());
        // The rewritten image reads as an earlier backup's would.
        NtfsImage unmarked;
        ASSERT_TRUE(ReadNtfsImage(image, &unmarked, &error)) << error;
        ASSERT_EQ(+unmarked.volumes[0].end.spare3, 0);

        std::vector<uint8_t> expected = original;
        for (const Range& hole : holes) {
            for (uint64_t at = hole.begin; at < std::min<uint64_t>(hole.end, expected.size()); ++at)
                expected[size_t(at)] = 0;
        }
        ASSERT_NE(expected, original) << "the holes cover none of the file's data";

        // A target full of old bytes: a cluster given to the file but never
        // written would show them.
        std::string target = out.file("sdy1");
        WriteFileBytes(target, PatternBytes(12 << 20, 99));
        ASSERT_EQ(RestoreNtfsImage(image, target), 0);
        EXPECT_EQ(NtfsCheckProblems(target), "");
        std::vector<uint8_t> restored;
        ASSERT_TRUE(NtfsCat(target, "/fragmented.bin", &restored));
        EXPECT_EQ(restored.size(), expected.size());
        EXPECT_TRUE(restored == expected) << "the file does not read as zeros in its continuation extents";
        // Only the first extent's data takes clusters: the used space
        // stays below the source's by about the continuation extents' data.
        uint64_t holeBytes = 0;
        for (const Range& hole : holes)
            holeBytes += hole.end - hole.begin;
        EXPECT_LT(NtfsUsedBytesByNtfsCluster(target) + holeBytes / 4, NtfsUsedBytesByNtfsCluster(source));
    }
}
