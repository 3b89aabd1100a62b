// The restore job's shared half: the records that end an image, the checks
// on volumes and sizes, the target's size, the MBR restore and the data-set
// reader, on hand-made images.
#include "quarn/image/data_set_reader.h"
#include "quarn/image/part_restore.h"
#include "support/disk_table.h"
#include "support/image_builder.h"
#include "quarn/api/quarn.h"
#include "support/recording_callbacks.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testsupport;

namespace {

// A restore with nothing file-system specific, so that the shared half can
// be driven alone.
class PlainRestore : public CPartRestore {
public:
    using CPartRestore::CPartRestore;
    using CPartRestore::OpenNextVolume;
    int bitmapCalls = 0;
    tagPARTITION_INFO info{};
    std::vector<std::string> asked;
    std::string answer;  // non-empty: the path given when a volume is missing

protected:
    int SetMFTBitmapBuf(unsigned int size) override
    {
        ++bitmapCalls;
        std::vector<uint8_t> skip(size);
        return m_image->Read(skip.data(), size) == int64_t(size) ? 0 : ERR_READ_FILE;
    }
    void SetPartInfo(tagPARTITION_INFO i) override { info = i; }
    bool AskForNextVolume(std::string& path) override
    {
        asked.push_back(path);
        if (answer.empty())
            return false;
        path = answer;
        answer.clear();
        return true;
    }
};

struct Fixture {
    TempDir dir;
    std::string image = dir.file("img_0_0.bkp");
    std::string part = dir.file("sdz1");
    std::string disk = dir.file("sdz");

    explicit Fixture(uint64_t partBytes = 16 << 20) { MakeSparseFile(part, partBytes); }

    tagRestoreArgument Arg() const
    {
        tagRestoreArgument arg;
        arg.imagePath = image;
        arg.targetPartition = part;
        return arg;
    }
};

// A single NTFS volume whose data section holds the given bytes.
void WriteVolume(const std::string& path, VolumeEnd end, const std::vector<uint8_t>& data = {})
{
    ByteSink sink;
    sink.Put(data);
    end.info.dataSectionPos = 0;
    if (end.mftBitmap.empty() && end.end.fsType == FS_TYPE_NTFS)
        end.mftBitmap.assign(8, 0xFF);
    end.AppendTo(sink);
    WriteFileBytes(path, sink.bytes);
}

}  // namespace

TEST(RestoreJob, DiskOfPartition)
{
    struct Case {
        const char* partition;
        const char* disk;
    } cases[] = {
        {"/dev/sda12", "/dev/sda"},
        {"/dev/sdb5", "/dev/sdb"},
        {"/dev/nvme0n1p1", "/dev/nvme0n1"},
        {"/dev/mmcblk0p12", "/dev/mmcblk0"},
        {"/dev/loop0p3", "/dev/loop0"},
        {"/tmp/t/sdz1", "/tmp/t/sdz"},
        {"/dev/sdp1", "/dev/sdp"},
        {"/dev/sda", "/dev/sda"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CPartRestore::DiskOfPartition(c.partition), c.disk) << c.partition;
}

TEST(RestoreJob, ReadsRecordsAndTargetSize)
{
    Fixture f(24 << 20);
    VolumeEnd end;
    end.info.usedBytes = 5 << 20;
    end.info.clusterBytes = 2048;
    end.info.recordCount = 77;
    end.mbr = PatternBytes(512, 1);
    end.bootArea = PatternBytes(0x1200, 2);
    end.passwordHash = PatternBytes(16, 3);
    end.fileName = "img_0_0.bkp";
    WriteVolume(f.image, end);
    std::vector<uint8_t> disk = PatternBytes(4096, 4);
    ListPartition(&disk, 1, 2048, 24 << 20);
    WriteFileBytes(f.disk, disk);
    RecordingCallbacks calls;
    PlainRestore job(f.Arg(), calls.Bind());
    ASSERT_EQ(job.RestoreInit(), 0);
    EXPECT_EQ(job.bitmapCalls, 1);
    EXPECT_EQ(job.info.recordCount, 77u);
    EXPECT_EQ(calls.totals, std::vector<uint64_t>{uint64_t(5) << 20});
    EXPECT_EQ(job.TargetBytes(), uint64_t(24) << 20);
    EXPECT_EQ(job.TargetSectors(), uint64_t(24) << 11);
    EXPECT_EQ(job.TargetClusters(), uint64_t(24) << 9);
    EXPECT_EQ(job.FreeBytes(), uint64_t(19) << 20);
    EXPECT_EQ(job.DiskPath(), f.disk);
}

TEST(RestoreJob, OpenFailures)
{
    Fixture f;
    tagRestoreArgument arg = f.Arg();
    arg.targetPartition = f.dir.file("missing1");
    EXPECT_EQ(restore_ntfs(arg, {}), ERR_OPEN_PART);  // image missing too: the partition is first
    EXPECT_EQ(restore_ntfs(f.Arg(), {}), ERR_OPEN_FILE);
}

TEST(RestoreJob, SizeCheckAllowsTenMiBOfSlack)
{
    const uint64_t target = 16 << 20;
    struct Case {
        uint64_t used;
        int result;
    } cases[] = {
        {target + 0xA00000, ERR_PART_TOO_SMALL},
        {target + 0xA00000 - 1, 0},
        {target, 0},
        {0, 0},
    };
    for (const auto& c : cases) {
        Fixture f(target);
        VolumeEnd end;
        end.info.usedBytes = c.used;
        WriteVolume(f.image, end);
        PlainRestore job(f.Arg(), {});
        EXPECT_EQ(job.RestoreInit(), c.result) << c.used;
        if (c.result == 0) {
            EXPECT_EQ(job.FreeBytes(), c.used < target ? target - c.used : 0);  // never wraps
        }
    }
}

TEST(RestoreJob, DamagedRecordsGiveTheirCodes)
{
    struct Case {
        const char* what;
        void (*damage)(VolumeEnd&);
        int result;
    } cases[] = {
        {"second volume first", [](VolumeEnd& e) { e.end.volumeIndex = 1; }, ERR_NOT_FIRST_VOLUME},
        {"trailer magic", [](VolumeEnd& e) { e.end.magic = 0; }, ERR_BAD_MAGIC},
        {"block start magic", [](VolumeEnd& e) { e.start.magic = 1; }, ERR_BAD_MAGIC},
        {"partition info magic", [](VolumeEnd& e) { e.info.magic = 2; }, ERR_BAD_MAGIC},
        {"no bitmap outside NTFS",
         [](VolumeEnd& e) {
             e.mftBitmap.clear();
             e.end.fsType = 3;
             e.bootArea.resize(ImageFormat::kFat32BootAreaBytes);
         },
         0},
        {"MBR area of two sectors", [](VolumeEnd& e) { e.mbr.resize(1024); }, ERR_DAMAGED_IMAGE},
        {"boot area of a FAT32 image in an NTFS one",
         [](VolumeEnd& e) { e.bootArea.resize(ImageFormat::kFat32BootAreaBytes); }, ERR_DAMAGED_IMAGE},
        {"no boot area", [](VolumeEnd& e) { e.bootArea.clear(); }, ERR_DAMAGED_IMAGE},
        {"oversized name", [](VolumeEnd& e) { e.nextName.assign(1024, 'n'); }, ERR_DAMAGED_IMAGE},
        {"oversized file name", [](VolumeEnd& e) { e.fileName.assign(2000, 'f'); }, ERR_BAD_MAGIC},
        {"block start past the end",
         [](VolumeEnd& e) {
             e.withRecords = false;
             e.end.blkStartLow = 1 << 30;
         },
         ERR_VOLUME_TRUNCATED},
    };
    for (const auto& c : cases) {
        Fixture f;
        VolumeEnd end;
        c.damage(end);
        WriteVolume(f.image, end);
        PlainRestore job(f.Arg(), {});
        EXPECT_EQ(job.RestoreInit(), c.result) << c.what;
    }
}

TEST(RestoreJob, EmptyMftBitmapOfNtfsImageIs31)
{
    Fixture f;
    VolumeEnd end;
    ByteSink sink;
    end.AppendTo(sink);  // no bitmap at all
    WriteFileBytes(f.image, sink.bytes);
    PlainRestore job(f.Arg(), {});
    EXPECT_EQ(job.RestoreInit(), ERR_BAD_MAGIC);
    EXPECT_EQ(job.bitmapCalls, 0);
}

TEST(RestoreJob, TruncatedImages)
{
    Fixture f;
    VolumeEnd end;
    ByteSink sink;
    end.mftBitmap.assign(8, 1);
    end.mbr = PatternBytes(512, 9);
    end.AppendTo(sink);
    // Every cut of the file must give a code, never a crash.
    for (size_t keep : {size_t(0), size_t(10), size_t(26), sink.size() - 1, sink.size() / 2}) {
        std::vector<uint8_t> cut(sink.bytes.begin(), sink.bytes.begin() + keep);
        WriteFileBytes(f.image, cut);
        PlainRestore job(f.Arg(), {});
        EXPECT_NE(job.RestoreInit(), 0) << keep;
    }
}

TEST(RestoreMbr, WritesOnlyTheBootCode)
{
    Fixture f(1 << 20);
    VolumeEnd end;
    end.mbr = PatternBytes(512, 5);
    WriteVolume(f.image, end);
    std::vector<uint8_t> disk = PatternBytes(1 << 20, 6);
    ListPartition(&disk, 1, 2048, 1 << 20);
    WriteFileBytes(f.disk, disk);
    std::vector<uint8_t> partBefore = ReadFileBytes(f.part);
    ASSERT_EQ(restore_mbr(f.Arg(), {}), 0);
    std::vector<uint8_t> after = ReadFileBytes(f.disk);
    ASSERT_EQ(after.size(), disk.size());
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 440, end.mbr.begin()));
    EXPECT_TRUE(std::equal(after.begin() + 440, after.end(), disk.begin() + 440));
    EXPECT_EQ(ReadFileBytes(f.part), partBefore);
}

TEST(RestoreMbr, WithoutSavedDiskStartTouchesNothing)
{
    Fixture f;
    WriteVolume(f.image, VolumeEnd());
    // No disk file at all: it is not even opened.
    EXPECT_EQ(restore_mbr(f.Arg(), {}), 0);
    EXPECT_FALSE(FileExists(f.disk));
}

// Boot code goes only to a disk known to hold the target: a disk file
// beside the partition file whose table lists the partition with its size.
// Any other file that the partition's name suggests is left as it was, and
// so is the target, whatever the job.
TEST(RestoreMbr, BootCodeGoesOnlyToADiskKnownToHoldTheTarget)
{
    const uint64_t partBytes = 16 << 20;
    struct Case {
        const char* what;
        const char* partName;
        const char* diskName;
        bool table;
        uint64_t listedBytes;
        unsigned listedAs;
        int expected;
    } cases[] = {
        {"the disk lists the partition", "sdz1", "sdz", true, partBytes, 1, 0},
        {"no disk file", "sdz1", "", false, 0, 1, ERR_NO_DISK},
        {"an unrelated file of the stripped name", "vg-data1", "vg-data", false, 0, 1, ERR_NO_DISK},
        {"the disk lists another size", "sdz1", "sdz", true, partBytes / 2, 1, ERR_NO_DISK},
        {"the disk lists it under another number", "sdz1", "sdz", true, partBytes, 2, ERR_NO_DISK},
        {"a logical partition", "sdz5", "sdz", true, partBytes, 1, ERR_NO_DISK},
        {"no partition number", "volume", "", false, 0, 1, ERR_NO_DISK},
    };
    using Job = int (*)(tagRestoreArgument, tagCallBackFunc);
    const struct {
        const char* name;
        Job job;
    } jobs[] = {
        {"restore_mbr", restore_mbr}, {"restore_ntfs", restore_ntfs}, {"restore_fat32", restore_fat32}};
    for (const auto& c : cases) {
        for (const auto& j : jobs) {
            SCOPED_TRACE(std::string(c.what) + ", " + j.name);
            TempDir dir;
            const std::string part = dir.file(c.partName);
            MakeSparseFile(part, partBytes);
            const std::vector<uint8_t> partBefore = ReadFileBytes(part);
            std::string diskPath;
            std::vector<uint8_t> diskBefore = PatternBytes(64 * 1024, 7);
            if (*c.diskName != '\0') {
                diskPath = dir.file(c.diskName);
                if (c.table)
                    ListPartition(&diskBefore, c.listedAs, 2048, c.listedBytes);
                WriteFileBytes(diskPath, diskBefore);
            }
            VolumeEnd end;
            end.mbr = PatternBytes(512, 5);
            end.end.fsType = j.job == restore_fat32 ? FS_TYPE_FAT32 : FS_TYPE_NTFS;
            end.bootArea = PatternBytes(end.end.fsType == FS_TYPE_FAT32 ? ImageFormat::kFat32BootAreaBytes
                                                                        : ImageFormat::kNtfsBootAreaBytes,
                                        3);
            const std::string image = dir.file("img_0_0.bkp");
            WriteVolume(image, end);
            tagRestoreArgument arg;
            arg.imagePath = image;
            arg.targetPartition = part;
            arg.hasMbr = 1;
            testing::internal::CaptureStderr();
            const int result = j.job(arg, {});
            const std::string stderrText = testing::internal::GetCapturedStderr();
            if (c.expected == 0) {
                // The hand-made image holds no file system to restore: only
                // the disk start alone succeeds.
                if (j.job == restore_mbr) {
                    EXPECT_EQ(result, 0) << stderrText;
                    const std::vector<uint8_t> after = ReadFileBytes(diskPath);
                    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 440, end.mbr.begin()));
                    EXPECT_TRUE(std::equal(after.begin() + 440, after.end(), diskBefore.begin() + 440));
                }
                EXPECT_NE(result, ERR_NO_DISK) << stderrText;
                continue;
            }
            EXPECT_EQ(result, c.expected) << stderrText;
            EXPECT_TRUE(ReadFileBytes(part) == partBefore) << "the target was written";
            if (!diskPath.empty()) {
                EXPECT_TRUE(ReadFileBytes(diskPath) == diskBefore)
                    << "a file that is no disk of it was written";
            }
        }
    }
}

TEST(RestoreMbr, AFailedWriteToTheDisk)
{
    Fixture f;
    VolumeEnd end;
    end.mbr = PatternBytes(512, 5);
    WriteVolume(f.image, end);
    std::vector<uint8_t> disk = PatternBytes(4096, 6);
    ListPartition(&disk, 1, 2048, 16 << 20);
    WriteFileBytes(f.disk, disk);
    // Known to hold the target, then gone, or a device that takes no byte,
    // when the boot code is written.
    PlainRestore job(f.Arg(), {});
    ASSERT_EQ(job.RestoreInit(), 0);
    ASSERT_EQ(unlink(f.disk.c_str()), 0);
    EXPECT_EQ(job.OnlyRestoreMbr(), ERR_OPEN_DISK);
    EXPECT_FALSE(FileExists(f.disk));
    if (access("/dev/full", W_OK) != 0)
        SKIP_OR_FAIL_IN_CI("no /dev/full");
    ASSERT_EQ(symlink("/dev/full", f.disk.c_str()), 0);
    EXPECT_EQ(job.OnlyRestoreMbr(), ERR_WRITE_MBR);
}

// --- the data-set reader across volumes ------------------------------------

namespace {

struct SplitImage {
    Fixture f;
    std::vector<uint8_t> plain = PatternBytes(100000, 11);
    std::string vol1 = f.dir.file("img_1_0.bkp");
    std::string vol2 = f.dir.file("img_2_0.bkp");

    // The set is divided 30000 / 50000 / 20000 over three volumes; a second
    // set of 10 bytes follows in the last volume.
    void Write(uint32_t chain1 = 0x12345678, uint8_t index1 = 1, uint8_t index2 = 2)
    {
        ByteSink v0;
        std::vector<uint8_t> a(plain.begin(), plain.begin() + 30000);
        std::vector<uint8_t> b(plain.begin() + 30000, plain.begin() + 80000);
        std::vector<uint8_t> c(plain.begin() + 80000, plain.end());
        v0.PutDataSet(a, 0, 1);
        VolumeEnd e0;
        e0.mftBitmap.assign(8, 0xFF);
        e0.bootArea.assign(ImageFormat::kNtfsBootAreaBytes, 0);
        e0.end.singleVolume = 0;
        e0.nextName = "img_1_0.bkp";
        e0.AppendTo(v0);
        WriteFileBytes(f.image, v0.bytes);

        ByteSink v1;
        v1.PutDataSet(b, 0, 1);
        VolumeEnd e1;
        e1.withRecords = false;
        e1.end.singleVolume = 0;
        e1.end.volumeIndex = index1;
        e1.end.chainId = chain1;
        e1.nextName = "img_2_0.bkp";
        e1.AppendTo(v1);
        WriteFileBytes(vol1, v1.bytes);

        ByteSink v2;
        v2.PutDataSet(c, 0, 0);
        v2.PutDataSet(PatternBytes(10, 12), 0, 0);
        VolumeEnd e2;
        e2.withRecords = false;
        e2.end.singleVolume = 0;
        e2.end.volumeIndex = index2;
        e2.AppendTo(v2);
        WriteFileBytes(vol2, v2.bytes);
    }
};

// Sets the reader up and begins the set at the start of the first volume.
int BeginFirstSet(PlainRestore& job, CDataSetReader& reader)
{
    int result = reader.Init();
    if (result == 0)
        result = job.Image()->Seek(0, SEEK_SET) == 0 ? 0 : ERR_SEEK_FILE;
    if (result == 0)
        result = reader.Begin();
    return result;
}

int ReadWholeSet(PlainRestore& job, std::vector<uint8_t>* out)
{
    CDataSetReader reader(job);
    int result = BeginFirstSet(job, reader);
    out->assign(100000, 0);
    if (result == 0)
        result = reader.ReadExactly(out->data(), 100000);
    if (result == 0) {
        std::vector<uint8_t> second(10);
        result = reader.Begin();
        if (result == 0)
            result = reader.ReadExactly(second.data(), 10);
        if (result == 0 && second != PatternBytes(10, 12))
            result = -1;
    }
    return result;
}

}  // namespace

TEST(DataSetReader, FollowsASetAcrossVolumes)
{
    SplitImage s;
    s.Write();
    PlainRestore job(s.f.Arg(), {});
    ASSERT_EQ(job.RestoreInit(), 0);
    std::vector<uint8_t> got;
    ASSERT_EQ(ReadWholeSet(job, &got), 0);
    EXPECT_EQ(got, s.plain);
}

TEST(DataSetReader, SkipFollowsVolumesToo)
{
    SplitImage s;
    s.Write();
    PlainRestore job(s.f.Arg(), {});
    ASSERT_EQ(job.RestoreInit(), 0);
    CDataSetReader reader(job);
    ASSERT_EQ(BeginFirstSet(job, reader), 0);
    ASSERT_EQ(reader.Skip(), 0);
    std::vector<uint8_t> second(10);
    ASSERT_EQ(reader.Begin(), 0);
    ASSERT_EQ(reader.ReadExactly(second.data(), 10), 0);
    EXPECT_EQ(second, PatternBytes(10, 12));
}

TEST(DataSetReader, ForeignOrMisorderedVolumes)
{
    struct Case {
        uint32_t chain;
        uint8_t i1;
        uint8_t i2;
        int result;
    } cases[] = {
        {0x1111, 1, 2, ERR_VOLUME_CHAIN},
        {0x12345678, 2, 3, ERR_VOLUME_ORDER},
        {0x12345678, 1, 1, ERR_VOLUME_ORDER},  // the same volume twice
        {0x12345678, 1, 2, 0},
    };
    for (const auto& c : cases) {
        SplitImage s;
        s.Write(c.chain, c.i1, c.i2);
        PlainRestore job(s.f.Arg(), {});
        ASSERT_EQ(job.RestoreInit(), 0);
        std::vector<uint8_t> got;
        EXPECT_EQ(ReadWholeSet(job, &got), c.result) << c.chain << " " << int(c.i1) << int(c.i2);
    }
}

TEST(DataSetReader, MissingVolumeIsAskedFor)
{
    SplitImage s;
    s.Write();
    std::string moved = s.f.dir.file("elsewhere.bkp");
    ASSERT_EQ(rename(s.vol1.c_str(), moved.c_str()), 0);
    {
        PlainRestore job(s.f.Arg(), {});
        ASSERT_EQ(job.RestoreInit(), 0);
        std::vector<uint8_t> got;
        EXPECT_EQ(ReadWholeSet(job, &got), ERR_FILE_NOT_FOUND);
        ASSERT_EQ(job.asked.size(), 1u);
        EXPECT_EQ(job.asked[0], s.vol1);
    }
    PlainRestore job(s.f.Arg(), {});
    job.answer = moved;
    ASSERT_EQ(job.RestoreInit(), 0);
    std::vector<uint8_t> got;
    ASSERT_EQ(ReadWholeSet(job, &got), 0);
    EXPECT_EQ(got, s.plain);
}

TEST(DataSetReader, SetsThatLieAboutTheirSize)
{
    struct Case {
        size_t stored;
        uint32_t asked;
    } cases[] = {{99, 100}, {101, 100}};
    for (const auto& c : cases) {
        Fixture f;
        ByteSink data;
        data.PutDataSet(PatternBytes(c.stored, 1), 0, 0);
        VolumeEnd end;
        WriteVolume(f.image, end, data.bytes);
        PlainRestore job(f.Arg(), {});
        ASSERT_EQ(job.RestoreInit(), 0);
        CDataSetReader reader(job);
        ASSERT_EQ(BeginFirstSet(job, reader), 0);
        std::vector<uint8_t> out(c.asked);
        EXPECT_EQ(reader.ReadExactly(out.data(), c.asked), ERR_READ_FILE) << c.stored;
    }
    // A head whose size runs past the volume's end.
    Fixture f;
    ByteSink data;
    tagDATA_SET_HEAD head{0, uint64_t(1) << 62, 0};
    data.PutValue(head);
    WriteVolume(f.image, VolumeEnd(), data.bytes);
    PlainRestore job(f.Arg(), {});
    ASSERT_EQ(job.RestoreInit(), 0);
    CDataSetReader reader(job);
    ASSERT_EQ(BeginFirstSet(job, reader), 0);
    EXPECT_EQ(reader.Skip(), ERR_READ_FILE);
}
