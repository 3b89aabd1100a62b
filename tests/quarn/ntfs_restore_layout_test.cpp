// The pieces of the NTFS layout (run-list encoding, the volume bitmap) and
// the placement rules seen on real restored volumes.
#include "quarn/ntfs/run_list_encoder.h"
#include "quarn/ntfs/volume_bitmap.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "fslayout/ntfs_layout.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/disk_table.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

#define REQUIRE_NTFS_TOOLS()                                                                                 \
    do {                                                                                                     \
        if (!HaveNtfsTools() || !HaveProgram("ntfsresize") || !HaveProgram("ntfsfix"))                       \
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");                                           \
    } while (0)

}  // namespace

TEST(RunListEncoding, NumberLengths)
{
    struct Case {
        long long v;
        int bytes;
    } cases[] = {
        {0, 0},
        {1, 1},
        {127, 1},
        {128, 2},
        {32767, 2},
        {32768, 3},
        {(1LL << 23) - 1, 3},
        {1LL << 23, 4},
        {(1LL << 31) - 1, 4},
        {1LL << 31, 5},
        {1LL << 39, 6},
        {1LL << 47, 7},
        {1LL << 55, 8},
        {-1, 1},
        {-128, 1},
        {-129, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetNumLength(c.v), c.bytes) << c.v;
}

TEST(RunListEncoding, SparseZeroAndRelativeRuns)
{
    // 16 clusters at LCN 0x1000, a sparse run of 8, 200 clusters right behind.
    std::vector<uint8_t> list = CResSetRunList::Encode({{0x1000, 16}, {-1, 8}, {0x1010, 200}});
    std::vector<uint8_t> want = {0x21, 16, 0x00, 0x10, 0x01, 8, 0x12, 200, 0, 0x10, 0};
    EXPECT_EQ(list, want);
    // $Boot at LCN 0 must not read as sparse.
    EXPECT_EQ(CResSetRunList::Encode({{0, 2}}), (std::vector<uint8_t>{0x11, 2, 0, 0}));
    EXPECT_TRUE(CResSetRunList::Encode({{5, 0}}).empty());
}

namespace {

// A record with one non-resident attribute whose run list has `room` bytes,
// followed by a resident attribute and the end marker.
std::vector<uint8_t> RecordWithRoom(uint32_t room, uint32_t* attrOffset)
{
    std::vector<uint8_t> record(1024, 0);
    auto* header = reinterpret_cast<tagFILE_RECORD_HEADER*>(record.data());
    header->magic = 0x454C4946;
    header->attrsOffset = 56;
    header->bytesAllocated = 1024;
    *attrOffset = 56;
    auto* attr = reinterpret_cast<tagRECORD_ATTR*>(record.data() + 56);
    attr->type = 0x80;
    attr->nonResident = 1;
    attr->length = 64 + room;
    attr->nonRes.runListOffset = 64;
    uint32_t next = 56 + attr->length;
    auto* tail = reinterpret_cast<tagRECORD_ATTR*>(record.data() + next);
    tail->type = 0x10;
    tail->length = 24;
    std::memset(record.data() + next + 24, 0xFF, 4);
    header->bytesInUse = next + 24 + 8;
    return record;
}

}  // namespace

TEST(RunListEncoding, GrowsTheAttributeOrRefuses)
{
    uint32_t offset = 0;
    std::vector<uint8_t> record = RecordWithRoom(8, &offset);
    auto* attr = reinterpret_cast<tagRECORD_ATTR*>(record.data() + offset);
    auto* header = reinterpret_cast<tagFILE_RECORD_HEADER*>(record.data());
    uint32_t inUse = header->bytesInUse;
    std::vector<tagNewRun> runs = {{1LL << 40, 3}, {-1, 5}, {(1LL << 40) + 3, 70000}};
    ASSERT_EQ(CResSetRunList::SetRuns(record.data(), 1024, offset, runs), 0);
    std::vector<uint8_t> list = CResSetRunList::Encode(runs);
    uint32_t grown = uint32_t((list.size() - 8 + 7) / 8 * 8);
    EXPECT_EQ(attr->length, 72u + grown);
    EXPECT_EQ(header->bytesInUse, inUse + grown);
    EXPECT_EQ(0, std::memcmp(record.data() + offset + 64, list.data(), list.size()));
    // The attribute behind it moved up intact.
    EXPECT_EQ(reinterpret_cast<tagRECORD_ATTR*>(record.data() + offset + attr->length)->type, 0x10u);

    // A list that cannot fit leaves the record as it was.
    std::vector<tagNewRun> many;
    for (int i = 0; i < 300; ++i)
        many.push_back({i % 2 ? -1 : (1LL << 40) + i * (1LL << 33), 100});
    std::vector<uint8_t> before = record;
    EXPECT_EQ(CResSetRunList::SetRuns(record.data(), 1024, offset, many), ERR_PART_INFO);
    EXPECT_EQ(record, before);
}

TEST(ResBitmap, SizesTailBitsAndBounds)
{
    CResBitmap bitmap;
    ASSERT_EQ(bitmap.Initialize(100, 512), 0);
    EXPECT_EQ(bitmap.AllocatedSize(), 512u);
    EXPECT_EQ(bitmap.UsedSize(), 16u);
    EXPECT_FALSE(bitmap.IsSet(99));
    EXPECT_EQ(bitmap.Bytes()[12], 0xF0);  // clusters 100-103 do not exist
    EXPECT_EQ(bitmap.Bytes()[15], 0xFF);
    EXPECT_EQ(bitmap.Bytes()[16], 0x00);
    ASSERT_EQ(bitmap.SetBitMap(3, 20), 0);
    for (uint64_t c = 0; c < 30; ++c)
        EXPECT_EQ(bitmap.IsSet(c), c >= 3 && c < 23) << c;
    EXPECT_EQ(bitmap.SetBitMap(90, 11), ERR_PART_TOO_SMALL);
    EXPECT_FALSE(bitmap.IsSet(90));
    EXPECT_EQ(bitmap.SetBitMap(90, 10), 0);
    EXPECT_EQ(bitmap.SetSmallBitMap(40, 9), ERR_PART_INFO);
}

TEST(NtfsRestoreLayout, FileReachingTheMirrorIsSplitAtA32KiBBoundary)
{
    REQUIRE_NTFS_TOOLS();
    TempDir dir;
    std::string source = dir.file("sdy1");
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source, 32 * kMiB, &why)) << why;
    std::vector<uint8_t> huge = PatternBytes(14 * kMiB, 21);
    ASSERT_TRUE(NtfsCopyIn(source, dir.path(), "/huge.bin", huge, &why)) << why;
    ASSERT_EQ(BackupNtfsImage(source, dir.file("img"), 1), 0);
    std::string target = dir.file("sdx1");
    const uint64_t size = 20 * kMiB + 12 * 4096;  // the mirror at an odd cluster
    MakeSparseFile(target, size);
    ASSERT_EQ(RestoreNtfsImage(dir.file("img_0_0.bkp"), target), 0);
    EXPECT_EQ(NtfsCheckProblems(target), "");
    std::vector<uint8_t> back;
    ASSERT_TRUE(NtfsCat(target, "/huge.bin", &back));
    EXPECT_TRUE(back == huge);

    std::vector<NtfsDataRun> runs = NtfsDataRunsOf(target, "/huge.bin");
    ASSERT_EQ(runs.size(), 2u);
    const uint64_t mirror = size / 2 / 4096;
    EXPECT_LE(runs[0].lcn + runs[0].length, mirror);
    EXPECT_GT(runs[0].lcn + runs[0].length + 8, mirror);  // less than 32 KiB left unused
    EXPECT_EQ(runs[0].length * 4096 % 0x8000, 0u);
    EXPECT_GT(runs[1].lcn, mirror);
}

TEST(NtfsRestoreLayout, MftLargerThanHalfTheTargetIsRefused)
{
    REQUIRE_NTFS_TOOLS();
    TempDir dir;
    std::string source = dir.file("sdy1");
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source, 16 * kMiB, &why)) << why;
    ASSERT_EQ(BackupNtfsImage(source, dir.file("img"), 1), 0);
    CommandResult info = testsupport::Run("ntfsinfo -v -i 0 " + Quote(source));
    std::smatch m;
    std::regex alloc("Allocated size:\\s+(\\d+)");
    ASSERT_TRUE(std::regex_search(info.output, m, alloc)) << info.output;
    uint64_t mft = std::stoull(m[1]);
    // An MFT past the middle of a target that holds everything else gets the
    // mirror behind it (see ntfs_restore_full_volume_test); these targets
    // are refused for lack of room for the rest.
    for (uint64_t size : {mft * 2 - 4096, mft * 2 + 4096 * 4}) {
        std::string target = dir.file("sdx1");
        MakeSparseFile(target, size);
        int result = RestoreNtfsImage(dir.file("img_0_0.bkp"), target);
        if (size < mft * 2)
            EXPECT_EQ(result, ERR_PART_TOO_SMALL) << size;
        else
            EXPECT_NE(result, 0) << size;  // fits the MFT, not the data
        EXPECT_EQ(FileSize(target), size);
    }
}

TEST(NtfsRestoreLayout, PagefileGetsClustersButNoData)
{
    REQUIRE_NTFS_TOOLS();
    TempDir dir;
    std::string source = dir.file("sdy1");
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source, 24 * kMiB, &why)) << why;
    std::vector<uint8_t> page = PatternBytes(2 * kMiB, 31), other = PatternBytes(50000, 32);
    ASSERT_TRUE(NtfsCopyIn(source, dir.path(), "/PAGEFILE.SYS", page, &why)) << why;
    ASSERT_TRUE(NtfsCopyIn(source, dir.path(), "/after.bin", other, &why)) << why;
    ASSERT_EQ(BackupNtfsImage(source, dir.file("img"), 1), 0);
    std::string target = dir.file("sdx1");
    MakeSparseFile(target, 24 * kMiB);
    ASSERT_EQ(RestoreNtfsImage(dir.file("img_0_0.bkp"), target), 0);
    EXPECT_EQ(NtfsCheckProblems(target), "");
    std::vector<uint8_t> back;
    ASSERT_TRUE(NtfsCat(target, "/PAGEFILE.SYS", &back));
    EXPECT_EQ(back.size(), page.size());
    EXPECT_TRUE(back != page);  // its data was never stored
    ASSERT_TRUE(NtfsCat(target, "/after.bin", &back));
    EXPECT_TRUE(back == other);
}

namespace {

// Backs up a fresh NTFS partition "sdy1" into "img", saving the first 512
// bytes of its disk file "sdy", which holds diskBytes.
void BackupWithDiskStart(TempDir& dir, const std::vector<uint8_t>& diskBytes)
{
    std::string source = dir.file("sdy1");
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source, 16 * kMiB, &why)) << why;
    WriteFileBytes(dir.file("sdy"), diskBytes);
    tagBackupArgument arg;
    arg.srcPartition = source;
    arg.imagePath = dir.file("img");
    arg.fsType = FS_TYPE_NTFS;
    arg.mbrSource = dir.file("sdy");
    arg.mbrSize = 512;
    arg.saveMbr = true;
    ASSERT_EQ(backup_ntfs(arg, tagCallBackFunc(), nullptr, 0), 0);
}

}  // namespace

TEST(NtfsRestoreLayout, DiskBootCodeRestoredWithThePartitionWhenAsked)
{
    REQUIRE_NTFS_TOOLS();
    TempDir dir;
    std::vector<uint8_t> sourceDisk = PatternBytes(4096, 51);
    ASSERT_NO_FATAL_FAILURE(BackupWithDiskStart(dir, sourceDisk));

    std::vector<uint8_t> targetDisk = PatternBytes(4096, 52);
    ListPartition(&targetDisk, 1, 2048, 16 * kMiB);
    for (int withMbr : {0, 1}) {
        WriteFileBytes(dir.file("sdx"), targetDisk);
        MakeSparseFile(dir.file("sdx1"), 16 * kMiB);
        tagRestoreArgument restore;
        restore.imagePath = dir.file("img_0_0.bkp");
        restore.targetPartition = dir.file("sdx1");
        restore.hasMbr = withMbr;
        ASSERT_EQ(restore_ntfs(restore, tagCallBackFunc()), 0);
        EXPECT_EQ(NtfsCheckProblems(dir.file("sdx1")), "");
        std::vector<uint8_t> disk = ReadFileBytes(dir.file("sdx"));
        std::vector<uint8_t> want = targetDisk;
        if (withMbr)
            std::copy(sourceDisk.begin(), sourceDisk.begin() + 440, want.begin());
        EXPECT_TRUE(disk == want) << "hasMbr " << withMbr;
    }
}

TEST(NtfsRestoreLayout, DiskBootCodeNeverLandsOnATargetThatNamesNoPartition)
{
    REQUIRE_NTFS_TOOLS();
    TempDir dir;
    std::vector<uint8_t> sourceDisk = PatternBytes(512, 53);
    ASSERT_NO_FATAL_FAILURE(BackupWithDiskStart(dir, sourceDisk));

    // Without a partition number no disk is known to hold the target: the
    // boot code asked for has nowhere to go, and nothing is written.
    std::string target = dir.file("volume");
    MakeSparseFile(target, 16 * kMiB);
    const std::vector<uint8_t> before = ReadFileBytes(target);
    tagRestoreArgument restore;
    restore.imagePath = dir.file("img_0_0.bkp");
    restore.targetPartition = target;
    restore.hasMbr = 1;
    ASSERT_EQ(restore_ntfs(restore, tagCallBackFunc()), ERR_NO_DISK);
    EXPECT_TRUE(ReadFileBytes(target) == before) << "the target was written";
}

TEST(NtfsRestoreLayout, BootSectorLeavesTheLastSectorToItsBackupCopy)
{
    REQUIRE_NTFS_TOOLS();
    TempDir dir;
    std::string source = dir.file("sdy1");
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source, 16 * kMiB, &why)) << why;
    std::vector<uint8_t> file = PatternBytes(300000, 41);
    ASSERT_TRUE(NtfsCopyIn(source, dir.path(), "/file.bin", file, &why)) << why;
    ASSERT_EQ(BackupNtfsImage(source, dir.file("img"), 2), 0);

    // Whole clusters; whole sectors but not clusters; not even whole sectors.
    for (uint64_t size : {20 * kMiB, 20 * kMiB + 3 * 4096 + 5 * 512, 20 * kMiB + 4096 + 700}) {
        SCOPED_TRACE(size);
        TempDir out;
        std::string target = out.file("sdx1");
        MakeSparseFile(target, size);
        ASSERT_EQ(RestoreNtfsImage(dir.file("img_0_0.bkp"), target), 0);
        EXPECT_EQ(FileSize(target), size);
        const uint64_t lastSector = size / 512 - 1;
        std::vector<uint8_t> all = ReadFileBytes(target);
        std::vector<uint8_t> boot(all.begin(), all.begin() + 512);
        uint64_t totalSectors = 0;
        std::memcpy(&totalSectors, boot.data() + 0x28, 8);
        EXPECT_EQ(totalSectors, lastSector) << "the volume must end before the partition's last sector";
        std::vector<uint8_t> backup(all.begin() + long(lastSector * 512),
                                    all.begin() + long(lastSector * 512 + 512));
        EXPECT_TRUE(backup == boot) << "no backup boot sector in the last sector";
        EXPECT_EQ(NtfsCheckProblems(target), "");
        std::vector<uint8_t> back;
        ASSERT_TRUE(NtfsCat(target, "/file.bin", &back));
        EXPECT_TRUE(back == file);
    }
}
