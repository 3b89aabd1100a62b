// verify_image: a whole image proves itself, any changed byte is refused
// without a byte of the image changing, volumes elsewhere are asked for,
// images of the engines before checksums are checked for their structure
// and say so, and the caller can cancel.
#include "support/fat_fixture.h"
#include "support/fat_jobs.h"
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "quarn/api/quarn.h"
#include "support/recording_callbacks.h"
#include "support/reseal_volume.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <thread>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

std::vector<uint8_t> TextBytes(size_t size)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; out.size() < size; ++i) {
        std::string line = "line " + std::to_string(i) + " of a text that compresses\n";
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(size);
    return out;
}

int Verify(const std::string& firstVolume, const tagCallBackFunc& cb = tagCallBackFunc())
{
    tagRestoreArgument arg;
    arg.imagePath = firstVolume;
    return verify_image(arg, cb);
}

// Every volume of the image `base` of `generation`, in order.
std::vector<std::string> Volumes(const std::string& base, unsigned generation = 0)
{
    std::vector<std::string> paths;
    for (unsigned i = 0; FileExists(VolumeFileName(base, i, generation)); ++i)
        paths.push_back(VolumeFileName(base, i, generation));
    return paths;
}

std::map<std::string, std::vector<uint8_t>> Snapshot(const std::vector<std::string>& paths)
{
    std::map<std::string, std::vector<uint8_t>> bytes;
    for (const std::string& path : paths)
        bytes[path] = ReadFileBytes(path);
    return bytes;
}

// Where the records of a volume stand, read from its own trailer.
struct VolumeLayout {
    tagBLOCK_END end{};
    uint64_t blockStart = 0;
    uint64_t partitionInfoAt = 0;
    tagPARTITION_INFO info{};
};

VolumeLayout LayoutOf(const std::vector<uint8_t>& b)
{
    VolumeLayout l;
    std::memcpy(&l.end, b.data() + b.size() - sizeof l.end, sizeof l.end);
    l.blockStart = (uint64_t(l.end.blkStartHigh) << 32) | l.end.blkStartLow;
    if (l.blockStart == 0)
        return l;
    tagBLOCK_START start{};
    std::memcpy(&start, b.data() + l.blockStart, sizeof start);
    l.partitionInfoAt = l.blockStart + sizeof start + start.mftBitmapSize;
    std::memcpy(&l.info, b.data() + l.partitionInfoAt, sizeof l.info);
    return l;
}

size_t FindData(const std::vector<uint8_t>& volume, const std::vector<uint8_t>& data)
{
    auto at = std::search(volume.begin(), volume.end(), data.begin(), data.begin() + 64);
    return at == volume.end() ? 0 : size_t(at - volume.begin());
}

// The partitions the images are made of: an NTFS one with a text file
// written by ntfs-3g's ntfscp, a FAT32 one with a text file and a folder
// written by mtools.
struct Sources {
    TempDir dir;
    std::string ntfs = dir.file("sdy1");
    std::string fat = dir.file("sdw1");
    std::vector<uint8_t> text = TextBytes(700000);
    std::string why;

    bool MakeNtfs()
    {
        return MakeNtfsPartition(ntfs, 16 * kMiB, &why) &&
               NtfsCopyIn(ntfs, dir.path(), "/text.txt", text, &why);
    }
    void MakeFat()
    {
        FatImage image(fat, 40 * kMiB, 1, "SRC", dir.path());
        image.AddFile("/TEXT.TXT", text);
        image.MakeDir("/DOCS");
        image.AddFile("/DOCS/NOTE.TXT", TextBytes(5000));
    }
    int Backup(int fsType, const std::string& base, int compressType,
               uint64_t volumeSize = ImageFormat::kNeverSplit)
    {
        return fsType == FS_TYPE_NTFS ? BackupNtfsImage(ntfs, base, compressType, volumeSize)
                                      : BackupFat32Image(fat, base, compressType, volumeSize);
    }
};

#define REQUIRE_SOURCE(s, fsType)                                                                            \
    do {                                                                                                     \
        if ((fsType) == FS_TYPE_NTFS) {                                                                      \
            if (!HaveNtfsTools())                                                                            \
                SKIP_OR_FAIL_IN_CI("ntfs-3g's tools are not installed");                                     \
            ASSERT_TRUE((s).MakeNtfs()) << (s).why;                                                          \
        } else {                                                                                             \
            REQUIRE_PROGRAM("mkfs.fat");                                                                     \
            REQUIRE_PROGRAM("mcopy");                                                                        \
            (s).MakeFat();                                                                                   \
        }                                                                                                    \
    } while (0)

struct WholeCase {
    const char* name;
    int fsType;
    int compressType;
    uint64_t volumeSize;
};

TEST(VerifyImage, WholeImagesProveThemselvesWithProgressOverEveryByte)
{
    const WholeCase cases[] = {
        {"NTFS, uncompressed", FS_TYPE_NTFS, 0, ImageFormat::kNeverSplit},
        {"NTFS, QuickLZ", FS_TYPE_NTFS, 1, ImageFormat::kNeverSplit},
        {"NTFS, deflate", FS_TYPE_NTFS, 3, ImageFormat::kNeverSplit},
        {"NTFS, uncompressed, split", FS_TYPE_NTFS, 0, 300000},
        {"FAT32, uncompressed", FS_TYPE_FAT32, 0, ImageFormat::kNeverSplit},
        {"FAT32, QuickLZ", FS_TYPE_FAT32, 1, ImageFormat::kNeverSplit},
        {"FAT32, deflate", FS_TYPE_FAT32, 3, ImageFormat::kNeverSplit},
        {"FAT32, uncompressed, split", FS_TYPE_FAT32, 0, 200000},
    };
    for (int fsType : {FS_TYPE_NTFS, FS_TYPE_FAT32}) {
        Sources s;
        REQUIRE_SOURCE(s, fsType);
        for (const WholeCase& c : cases) {
            if (c.fsType != fsType)
                continue;
            SCOPED_TRACE(c.name);
            const std::string base = s.dir.file(std::string("img") + std::to_string(c.compressType) +
                                                (c.volumeSize == ImageFormat::kNeverSplit ? "" : "s"));
            ASSERT_EQ(s.Backup(fsType, base, c.compressType, c.volumeSize), 0);
            const std::vector<std::string> volumes = Volumes(base);
            ASSERT_EQ(volumes.size() > 1, c.volumeSize != ImageFormat::kNeverSplit);
            const auto before = Snapshot(volumes);
            uint64_t bytes = 0;
            for (const auto& [path, content] : before)
                bytes += content.size();

            RecordingCallbacks r;
            EXPECT_EQ(Verify(volumes.front(), r.Bind()), 0);
            EXPECT_EQ(r.totals, std::vector<uint64_t>{bytes});
            EXPECT_EQ(r.BytesDoneSum(), bytes);
            ASSERT_FALSE(r.steps.empty());
            EXPECT_EQ(r.steps.back(), 95);
            EXPECT_TRUE(r.askedFiles.empty());
            ASSERT_FALSE(r.states.empty());
            EXPECT_EQ(r.states.back(), QStringLiteral("Finish"));
            EXPECT_EQ(Snapshot(volumes), before);
        }
    }
}

// Where a test flips a byte of a volume of an uncompressed image.
enum class Where { Data, Record, EndRecords, Trailer };

size_t OffsetOf(Where where, const std::vector<uint8_t>& b, const std::vector<uint8_t>& text, int fsType)
{
    const VolumeLayout l = LayoutOf(b);
    switch (where) {
    case Where::Data:
        return FindData(b, text) + 1000;
    case Where::Record:
        // NTFS: a time of $MFT's record, the stream's first (after the
        // count and its number); FAT32: a byte of the first entry's name.
        return fsType == FS_TYPE_NTFS ? size_t(l.info.dataSectionPos + 8 + 0x58)
                                      : size_t(l.info.dataSectionPos + 3);
    case Where::EndRecords:
        return size_t(l.partitionInfoAt + offsetof(tagPARTITION_INFO, usedBytes));
    case Where::Trailer:
        return b.size() - sizeof(tagBLOCK_END) + offsetof(tagBLOCK_END, chainId);
    }
    return 0;
}

struct FlipCase {
    const char* name;
    Where where;
};

const FlipCase kFlips[] = {
    {"a data byte", Where::Data},
    {"a file record or directory entry", Where::Record},
    {"the partition record", Where::EndRecords},
    {"the trailer", Where::Trailer},
};

TEST(VerifyImage, AFlippedByteIsRefusedAndTheImageStaysAsItWas)
{
    for (int fsType : {FS_TYPE_NTFS, FS_TYPE_FAT32}) {
        Sources s;
        REQUIRE_SOURCE(s, fsType);
        const std::string base = s.dir.file("img");
        ASSERT_EQ(s.Backup(fsType, base, 0), 0);
        const std::string volume = VolumeFileName(base, 0, 0);
        const std::vector<uint8_t> whole = ReadFileBytes(volume);
        for (const FlipCase& c : kFlips) {
            SCOPED_TRACE(std::string(fsType == FS_TYPE_NTFS ? "NTFS: " : "FAT32: ") + c.name);
            std::vector<uint8_t> bytes = whole;
            const size_t at = OffsetOf(c.where, bytes, s.text, fsType);
            ASSERT_GT(at, 0u);
            ASSERT_LT(at, bytes.size());
            bytes[at] ^= 0x10;
            WriteFileBytes(volume, bytes);
            EXPECT_EQ(Verify(volume), ERR_DAMAGED_IMAGE);
            EXPECT_EQ(ReadFileBytes(volume), bytes);
        }
        WriteFileBytes(volume, whole);
        EXPECT_EQ(Verify(volume), 0);
    }
}

TEST(VerifyImage, AMissingMiddleVolumeIsAskedForAndFoundElsewhere)
{
    Sources s;
    REQUIRE_SOURCE(s, FS_TYPE_NTFS);
    const std::string base = s.dir.file("img");
    ASSERT_EQ(s.Backup(FS_TYPE_NTFS, base, 0, 200000), 0);
    const std::vector<std::string> volumes = Volumes(base);
    ASSERT_GE(volumes.size(), 3u);
    const std::string elsewhere = s.dir.file("moved.bkp");
    WriteFileBytes(elsewhere, ReadFileBytes(volumes[1]));
    ASSERT_EQ(std::remove(volumes[1].c_str()), 0);

    RecordingCallbacks giveUp;
    EXPECT_EQ(Verify(volumes.front(), giveUp.Bind()), ERR_FILE_NOT_FOUND);
    ASSERT_EQ(giveUp.askedFiles.size(), 1u);
    EXPECT_EQ(giveUp.askedFiles[0].toStdString(), volumes[1]);

    RecordingCallbacks answer;
    answer.nextFileChoices = {QString::fromStdString(elsewhere)};
    EXPECT_EQ(Verify(volumes.front(), answer.Bind()), 0);
    EXPECT_EQ(answer.askedFiles.size(), 1u);
}

// Two backups started in the same second share their chain id; the image
// id still tells their volumes apart.
TEST(VerifyImage, AVolumeOfAnotherImageIsRefused)
{
    Sources s;
    REQUIRE_SOURCE(s, FS_TYPE_NTFS);
    const std::string a = s.dir.file("a");
    const std::string b = s.dir.file("b");
    ASSERT_EQ(s.Backup(FS_TYPE_NTFS, a, 0, 300000), 0);
    ASSERT_EQ(s.Backup(FS_TYPE_NTFS, b, 0, 300000), 0);
    ASSERT_TRUE(FileExists(VolumeFileName(a, 1, 0)));
    std::vector<uint8_t> other = ReadFileBytes(VolumeFileName(b, 1, 0));
    tagBLOCK_END end = LayoutOf(other).end;
    end.chainId = LayoutOf(ReadFileBytes(VolumeFileName(a, 1, 0))).end.chainId;
    std::memcpy(other.data() + other.size() - sizeof end, &end, sizeof end);
    WriteFileBytes(VolumeFileName(a, 1, 0), other);
    EXPECT_EQ(Verify(VolumeFileName(a, 0, 0)), ERR_OTHER_IMAGE);
}

void StripAll(const std::vector<std::string>& volumes)
{
    for (const std::string& path : volumes)
        ASSERT_TRUE(StripVolumeCheck(path)) << path;
}

TEST(VerifyImage, AnImageWithoutChecksumsIsCheckedForStructureAndSaysSo)
{
    const WholeCase cases[] = {
        {"NTFS, QuickLZ", FS_TYPE_NTFS, 1, ImageFormat::kNeverSplit},
        {"NTFS, uncompressed, split", FS_TYPE_NTFS, 0, 300000},
        {"FAT32, deflate", FS_TYPE_FAT32, 3, ImageFormat::kNeverSplit},
        {"FAT32, uncompressed, split", FS_TYPE_FAT32, 0, 200000},
    };
    for (int fsType : {FS_TYPE_NTFS, FS_TYPE_FAT32}) {
        Sources s;
        REQUIRE_SOURCE(s, fsType);
        for (const WholeCase& c : cases) {
            if (c.fsType != fsType)
                continue;
            SCOPED_TRACE(c.name);
            const std::string base = s.dir.file(std::string("old") + std::to_string(c.compressType));
            ASSERT_EQ(s.Backup(fsType, base, c.compressType, c.volumeSize), 0);
            const std::vector<std::string> volumes = Volumes(base);
            StripAll(volumes);
            RecordingCallbacks r;
            EXPECT_EQ(Verify(volumes.front(), r.Bind()), VERIFY_NO_DATA_CHECKSUMS);
            ASSERT_FALSE(r.steps.empty());
            EXPECT_EQ(r.steps.back(), 95);
        }
    }
}

// What a flipped byte does to an image without checksums: the structure
// and, for NTFS, the record digests still find it.
struct OldDamage {
    const char* name;
    int fsType;
    // Changes the first volume of an uncompressed image.
    void (*change)(std::vector<uint8_t>& b);
    // Only a record's summary shows it, which an image with check records
    // does not need: those prove the record's bytes, and its summaries may
    // lag a live volume's record.
    bool onlyTheSummaryShows = false;
};

const OldDamage kOldDamage[] = {
    {"a time in $MFT's file record", FS_TYPE_NTFS,
     [](std::vector<uint8_t>& b) { b[LayoutOf(b).info.dataSectionPos + 8 + 0x58] ^= 0x01; }, true},
    {"the record stream's count", FS_TYPE_NTFS,
     [](std::vector<uint8_t>& b) { b[LayoutOf(b).info.dataSectionPos] ^= 0x01; }},
    {"a data set's length", FS_TYPE_NTFS,
     [](std::vector<uint8_t>& b) {
         // The text's data set: its head stands just before its bytes.
         const std::vector<uint8_t> text = TextBytes(700000);
         b[FindData(b, text) - sizeof(tagDATA_SET_HEAD) + offsetof(tagDATA_SET_HEAD, dataBytes)] ^= 0x01;
     }},
    {"the directory entries counted", FS_TYPE_FAT32,
     [](std::vector<uint8_t>& b) {
         b[LayoutOf(b).partitionInfoAt + offsetof(tagPARTITION_INFO, recordCount)] += 3;
     }},
    {"a file's size in its directory entry", FS_TYPE_FAT32,
     [](std::vector<uint8_t>& b) {
         const std::vector<uint8_t> text = TextBytes(700000);
         const size_t entry = FindData(b, text) - sizeof(tagDATA_SET_HEAD) - 32;
         b[entry + 28] ^= 0x01;
     }},
    {"the partition record's file-system fields", FS_TYPE_FAT32,
     [](std::vector<uint8_t>& b) {
         b[LayoutOf(b).partitionInfoAt + offsetof(tagPARTITION_INFO, bootAreaSize)] ^= 0x01;
     }},
};

// Without checksums (an old image) the structure still shows the damage;
// with checksums made to agree with it (as a faulty writer would leave
// them) the structure's checks refuse it all the same.
TEST(VerifyImage, DamageTheStructureShowsIsRefusedWithOrWithoutChecksums)
{
    for (int fsType : {FS_TYPE_NTFS, FS_TYPE_FAT32}) {
        Sources s;
        REQUIRE_SOURCE(s, fsType);
        const std::string base = s.dir.file("img");
        ASSERT_EQ(s.Backup(fsType, base, 0), 0);
        const std::string volume = VolumeFileName(base, 0, 0);
        const std::vector<uint8_t> checked = ReadFileBytes(volume);
        StripAll({volume});
        const std::vector<uint8_t> old = ReadFileBytes(volume);
        for (const OldDamage& c : kOldDamage) {
            if (c.fsType != fsType)
                continue;
            SCOPED_TRACE(c.name);
            std::vector<uint8_t> bytes = old;
            c.change(bytes);
            ASSERT_NE(bytes, old);
            WriteFileBytes(volume, bytes);
            EXPECT_EQ(Verify(volume), ERR_DAMAGED_IMAGE) << "without checksums";
            EXPECT_EQ(ReadFileBytes(volume), bytes);

            bytes = checked;
            c.change(bytes);
            WriteFileBytes(volume, bytes);
            ASSERT_TRUE(ResealVolume(volume));
            EXPECT_EQ(Verify(volume), c.onlyTheSummaryShows ? 0 : ERR_DAMAGED_IMAGE)
                << "with checksums that agree";
        }
        WriteFileBytes(volume, old);
        EXPECT_EQ(Verify(volume), VERIFY_NO_DATA_CHECKSUMS);
        WriteFileBytes(volume, checked);
        EXPECT_EQ(Verify(volume), 0);
    }
}

TEST(VerifyImage, AnIncrementalChainIsReadWholeDownToItsFullImage)
{
    Sources s;
    REQUIRE_SOURCE(s, FS_TYPE_NTFS);
    const std::string base = s.dir.file("chain");
    ASSERT_EQ(BackupNtfsImage(s.ntfs, base, 1), 0);
    ASSERT_TRUE(NtfsCopyIn(s.ntfs, s.dir.path(), "/more.txt", TextBytes(90000), &s.why)) << s.why;
    ASSERT_EQ(BackupNtfsImage(s.ntfs, base, 1, ImageFormat::kNeverSplit, VolumeFileName(base, 0, 0)), 0);
    const std::string newest = VolumeFileName(base, 0, 1);
    ASSERT_TRUE(FileExists(newest));
    const uint64_t bytes = FileSize(newest) + FileSize(VolumeFileName(base, 0, 0));

    RecordingCallbacks r;
    EXPECT_EQ(Verify(newest, r.Bind()), 0);
    EXPECT_EQ(r.totals, std::vector<uint64_t>{bytes});

    // The full image damaged: the chain is.
    std::vector<uint8_t> full = ReadFileBytes(VolumeFileName(base, 0, 0));
    full[full.size() / 2] ^= 0x01;
    WriteFileBytes(VolumeFileName(base, 0, 0), full);
    EXPECT_EQ(Verify(newest), ERR_DAMAGED_IMAGE);
}

TEST(VerifyImage, TheCallerCancelsAtAProgressStep)
{
    Sources s;
    REQUIRE_SOURCE(s, FS_TYPE_FAT32);
    const std::string base = s.dir.file("img");
    ASSERT_EQ(s.Backup(FS_TYPE_FAT32, base, 0), 0);
    for (int step : {1, 3, RecordingCallbacks::kCancelAtAnyStep}) {
        SCOPED_TRACE(step);
        RecordingCallbacks r;
        r.cancelAtStep = step;
        EXPECT_EQ(Verify(VolumeFileName(base, 0, 0), r.Bind()), ERR_CANCELLED);
        ASSERT_FALSE(r.steps.empty());
        EXPECT_EQ(r.steps.back(), step == RecordingCallbacks::kCancelAtAnyStep ? 1 : step);
    }
}

TEST(VerifyImage, AMissingFirstVolumeIsNotFound)
{
    TempDir dir;
    RecordingCallbacks r;
    EXPECT_EQ(Verify(dir.file("none_0_0.bkp"), r.Bind()), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(r.askedFiles.size(), 1u);
    EXPECT_TRUE(r.totals.empty());
}

}  // namespace

namespace {

// Images an earlier engine wrote, before volumes carried checksums: whole,
// and said to be so only as far as their structure tells.
TEST(VerifyImage, TheGoldenImagesOfEarlierEnginesAreWholeWithoutDataChecksums)
{
    const char* const images[] = {"ntfs_split_0_0.bkp", "ntfs_chain_0_1.bkp", "ntfs_pass_0_0.bkp",
                                  "fat32_0_0.bkp"};
    const char* const volumes[] = {"ntfs_split_0_0.bkp", "ntfs_split_1_0.bkp", "ntfs_split_2_0.bkp",
                                   "ntfs_chain_0_0.bkp", "ntfs_chain_0_1.bkp", "ntfs_pass_0_0.bkp",
                                   "fat32_0_0.bkp"};
    TempDir dir;
    for (const char* name : volumes)
        WriteFileBytes(dir.file(name), ReadFileBytes(std::string(QUARN_GOLDEN_DIR) + name));
    for (const char* name : images) {
        SCOPED_TRACE(name);
        RecordingCallbacks r;
        EXPECT_EQ(Verify(dir.file(name), r.Bind()), VERIFY_NO_DATA_CHECKSUMS);
        EXPECT_TRUE(r.askedFiles.empty());
    }
}

}  // namespace

namespace {

// The oldest images kept two times in each record summary where a digest
// now stands, the record's own creation and modification times: summaries
// that hold other times prove no record, whichever kind they seem to be.
TEST(VerifyImage, SummariesOfTheOldestKindMustHoldTheRecordsTimes)
{
    Sources s;
    REQUIRE_SOURCE(s, FS_TYPE_NTFS);
    const std::string base = s.dir.file("old");
    ASSERT_EQ(s.Backup(FS_TYPE_NTFS, base, 0), 0);
    const std::string volume = VolumeFileName(base, 0, 0);
    StripAll({volume});
    std::vector<uint8_t> bytes = ReadFileBytes(volume);
    const VolumeLayout l = LayoutOf(bytes);
    const size_t section = l.info.recordSectionPos + 4;
    for (uint32_t n = 0; n < l.info.recordCount; ++n) {
        tagFileRecordInfo info{};
        std::memcpy(&info, bytes.data() + section + n * sizeof info, sizeof info);
        if (info.recordDigest == 0)
            continue;
        info.recordDigest = 0x01D7000000000000ull + n;      // a creation time
        info.formerDataDigest = 0x01D8000000000000ull + n;  // a modification time
        std::memcpy(bytes.data() + section + n * sizeof info, &info, sizeof info);
    }
    WriteFileBytes(volume, bytes);
    EXPECT_EQ(Verify(volume), ERR_DAMAGED_IMAGE);

    // One system record's summary of the digest kind among them: the
    // section is taken for digests, and the times refuse it.
    tagFileRecordInfo first{};
    std::memcpy(&first, bytes.data() + section, sizeof first);
    first.formerDataDigest = 0;
    std::memcpy(bytes.data() + section, &first, sizeof first);
    WriteFileBytes(volume, bytes);
    EXPECT_EQ(Verify(volume), ERR_DAMAGED_IMAGE);
}

}  // namespace

namespace {

// The volumes are read on a thread beside the walk; the callbacks still
// come on the caller's thread only, as with every job.
TEST(VerifyImage, CallbacksComeOnTheCallersThread)
{
    Sources s;
    REQUIRE_SOURCE(s, FS_TYPE_NTFS);
    const std::string base = s.dir.file("img");
    ASSERT_EQ(s.Backup(FS_TYPE_NTFS, base, 1, 300000), 0);
    struct Seen {
        std::thread::id caller = std::this_thread::get_id();
        int calls = 0;
        int elsewhere = 0;
        void Note()
        {
            ++calls;
            if (std::this_thread::get_id() != caller)
                ++elsewhere;
        }
    } seen;
    tagCallBackFunc cb;
    cb.onProgress = [](int, void* c) {
        static_cast<Seen*>(c)->Note();
        return 0;
    };
    cb.onBytesDone = [](uint64_t, void* c) { static_cast<Seen*>(c)->Note(); };
    cb.onState = [](QString, void* c) { static_cast<Seen*>(c)->Note(); };
    cb.onTotalBytes = [](uint64_t, void* c) { static_cast<Seen*>(c)->Note(); };
    cb.context = &seen;
    EXPECT_EQ(Verify(VolumeFileName(base, 0, 0), cb), 0);
    EXPECT_GT(seen.calls, 95);
    EXPECT_EQ(seen.elsewhere, 0);
}

}  // namespace
