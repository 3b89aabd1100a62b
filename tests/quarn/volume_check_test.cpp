// The volumes' check records: what the writer digests is what a reader of
// the finished file finds, any changed byte is found and named, and a
// restore refuses a damaged image or a volume of another image.
#include "support/fat_fixture.h"
#include "support/fat_jobs.h"
#include "quarn/image/volume_check.h"
#include "quarn/image/volume_reader.h"
#include "quarn/image/volume_writer.h"
#include "quarn/api/image_format.h"
#include "quarn/io/device_io.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

tagBLOCK_END TrailerOf(const std::vector<uint8_t>& volume)
{
    tagBLOCK_END end{};
    std::memcpy(&end, volume.data() + volume.size() - sizeof end, sizeof end);
    return end;
}

// Checks a volume file as a restore does: its record, then all its bytes.
int CheckVolumeFile(const std::string& path, uint64_t* badOffset = nullptr)
{
    CDeviceIo io;
    if (io.Open(path, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    const tagBLOCK_END end = TrailerOf(ReadFileBytes(path));
    VolumeCheck::Record record;
    bool present = false;
    int result = VolumeCheck::ReadRecord(io, end, &record, &present);
    if (result != 0)
        return result;
    if (!present)
        return -1;
    uint64_t offset = 0;
    result = VolumeCheck::VerifyBlocks(io, record, &offset);
    if (badOffset != nullptr)
        *badOffset = offset;
    return result != 0 ? result : VolumeCheck::VerifyEndRecords(io, record);
}

// A volume written through CVolumeWriter: pattern bytes in pieces of many
// sizes, placeholders (some across a block boundary) rewritten later, and
// end records with a trailer that announces the check record.
void WriteSampleVolume(const std::string& path, uint64_t bytes)
{
    CVolumeWriter writer;
    ASSERT_EQ(writer.Open(path, CDeviceIo::ModeCreate), 0);
    writer.BufferWrites();
    const std::vector<uint8_t> pattern = PatternBytes(3 * kMiB, 7);
    std::vector<std::pair<int64_t, std::vector<uint8_t>>> placeholders;
    uint64_t written = 0;
    size_t piece = 1;
    while (written < bytes) {
        // Put a placeholder just before each block boundary now and then.
        const uint64_t toBoundary = ImageFormat::kCheckBlockBytes - written % ImageFormat::kCheckBlockBytes;
        if (toBoundary > 4 && toBoundary < 4000) {
            const size_t lead = size_t(toBoundary - 4);
            ASSERT_EQ(writer.Write(pattern.data(), int64_t(lead)), int64_t(lead));
            written += lead;
        }
        std::vector<uint8_t> placeholder(10, 0);
        const int64_t at = writer.GetCurrentPos();
        ASSERT_EQ(writer.WritePlaceholder(placeholder.data(), 10), 10);
        written += 10;
        placeholders.push_back({at, PatternBytes(10, uint32_t(at))});
        piece = piece * 7 % 300007 + 1;
        const size_t n = size_t(std::min<uint64_t>(piece, bytes - std::min(bytes, written)));
        ASSERT_EQ(writer.Write(pattern.data() + written % kMiB, int64_t(n)), int64_t(n));
        written += n;
        // Every second placeholder is rewritten later, after more bytes.
        if (placeholders.size() % 2 == 0) {
            for (auto& [offset, final] : placeholders)
                ASSERT_EQ(writer.WriteAt(offset, final.data(), 10), 10);
            placeholders.clear();
        }
    }
    for (auto& [offset, final] : placeholders)
        ASSERT_EQ(writer.WriteAt(offset, final.data(), 10), 10);
    writer.BeginEndRecords();
    // The end records stand for a tagBLOCK_START and what follows it; the
    // trailer points there, as a first volume's does.
    const int64_t blockStart = writer.GetCurrentPos();
    const std::vector<uint8_t> records = PatternBytes(5000, 9);
    ASSERT_EQ(writer.Write(records.data(), int64_t(records.size())), int64_t(records.size()));
    tagBLOCK_END end{};
    end.magic = ImageFormat::kBlockEndMagic;
    end.spare1 = ImageFormat::kFormatFlagVolumeCheck;
    end.blkStartLow = uint32_t(blockStart);
    ASSERT_EQ(writer.Write(&end, sizeof end), int64_t(sizeof end));
    ASSERT_EQ(writer.FinishVolume(0x1234, 0), 0);
    ASSERT_EQ(writer.Close(), 0);
}

TEST(VolumeCheck, TheFinishedFileProvesItselfAndAnyFlipIsFoundWhereItIs)
{
    TempDir dir;
    const std::string path = dir.file("v_0_0.bkp");
    WriteSampleVolume(path, 3 * kMiB + 12345);
    ASSERT_EQ(CheckVolumeFile(path), 0);

    const std::vector<uint8_t> good = ReadFileBytes(path);
    struct Flip {
        const char* where;
        uint64_t offset;
    };
    const uint64_t covered =
        good.size() - 5000 - sizeof(tagBLOCK_END) - ImageFormat::VolumeCheckBytes(3 * kMiB + 12345);
    const Flip flips[] = {
        {"first byte", 0},
        {"inside the second block", kMiB + 77},
        {"last covered byte", covered - 1},
        {"check record", covered + 20},
        {"a block digest", covered + sizeof(tagVOLUME_CHECK_HEAD) + 3},
        {"end records", good.size() - 100},
        {"trailer's flag", good.size() - sizeof(tagBLOCK_END) + 15},
    };
    for (const Flip& flip : flips) {
        std::vector<uint8_t> bad = good;
        bad[flip.offset] ^= 0x10;
        WriteFileBytes(path, bad);
        uint64_t found = 0;
        EXPECT_EQ(CheckVolumeFile(path, &found), ERR_DAMAGED_IMAGE) << flip.where;
        if (flip.offset < covered) {
            EXPECT_EQ(found, flip.offset / ImageFormat::kCheckBlockBytes * ImageFormat::kCheckBlockBytes)
                << flip.where;
        }
    }
}

TEST(VolumeCheck, AVolumeWithoutItsFlagButWithARecordIsDamaged)
{
    TempDir dir;
    const std::string path = dir.file("v_0_0.bkp");
    WriteSampleVolume(path, 100000);
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    bytes[bytes.size() - sizeof(tagBLOCK_END) + 15] &= uint8_t(~ImageFormat::kFormatFlagVolumeCheck);
    WriteFileBytes(path, bytes);
    EXPECT_EQ(CheckVolumeFile(path), ERR_DAMAGED_IMAGE);
}

TEST(VolumeCheck, APlaceholderNeverRewrittenFailsTheVolume)
{
    TempDir dir;
    CVolumeWriter writer;
    ASSERT_EQ(writer.Open(dir.file("v"), CDeviceIo::ModeCreate), 0);
    const uint8_t head[10] = {};
    ASSERT_EQ(writer.WritePlaceholder(head, 10), 10);
    EXPECT_EQ(writer.WriteAt(3, head, 4), 0) << "a rewrite of another range cannot be followed";
    writer.BeginEndRecords();
    EXPECT_EQ(writer.FinishVolume(1, 0), ERR_DAMAGED_IMAGE);
}

// How a restore may read a volume: front to back, stepping over data
// sets, going back, and reading the end records through the device.
enum class ReadPattern { FrontToBack, StepOverTheMiddle, BackAndForth, EndRecordsFirst, NothingRead };

// Reads the covered bytes of `path` in `pattern` through a CVolumeReader
// checking them, then finishes the check: its verdict. Every byte handed
// out must be the one in `good`; *stoppedEarly tells whether a read failed
// before the volume's covered end.
int ReadVolumeChecked(const std::string& path, ReadPattern pattern, uint64_t covered,
                      const std::vector<uint8_t>& good, bool* stoppedEarly)
{
    CVolumeReader reader;
    if (reader.Open(path, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    const std::vector<uint8_t> file = ReadFileBytes(path);
    VolumeCheck::Record record;
    bool present = false;
    int result = VolumeCheck::ReadRecord(reader.Device(), TrailerOf(file), &record, &present);
    if (result != 0 || !present)
        return result != 0 ? result : -1;
    if (reader.BeginReadAhead(0, &record) != 0)
        return -2;
    *stoppedEarly = false;
    std::vector<uint8_t> piece(4000);
    // Reads [from, to) in pieces; the bytes must be the file's.
    auto readRange = [&](uint64_t from, uint64_t to) {
        if (reader.Seek(int64_t(from), SEEK_SET) != 0)
            return false;
        for (uint64_t at = from; at < to;) {
            const int64_t n = int64_t(std::min<uint64_t>(piece.size(), to - at));
            if (reader.Read(piece.data(), n) != n) {
                *stoppedEarly = true;
                return false;
            }
            EXPECT_TRUE(std::equal(piece.begin(), piece.begin() + n, good.begin() + int64_t(at))) << at;
            at += uint64_t(n);
        }
        return true;
    };
    switch (pattern) {
    case ReadPattern::FrontToBack:
        readRange(0, covered);
        break;
    case ReadPattern::StepOverTheMiddle:
        if (readRange(0, 100000) && reader.Seek(2 * kMiB, SEEK_CUR) == 0)
            readRange(100000 + 2 * kMiB, covered);
        break;
    case ReadPattern::BackAndForth:
        if (readRange(2 * kMiB, 2 * kMiB + 100000))
            readRange(0, covered);
        break;
    case ReadPattern::EndRecordsFirst: {
        std::vector<uint8_t> end(5000);
        reader.Device().ReadAt(int64_t(file.size() - 6000), end.data(), 5000);
        reader.Device().Seek(0, SEEK_END);
        EXPECT_EQ(reader.Seek(int64_t(covered + 10), SEEK_SET), 0);
        EXPECT_EQ(reader.Read(end.data(), 100), 100);
        EXPECT_TRUE(std::equal(end.begin(), end.begin() + 100, file.begin() + int64_t(covered + 10)));
        readRange(5000, covered);
        break;
    }
    case ReadPattern::NothingRead:
        break;
    }
    return reader.FinishCheck();
}

// The restore's reading checks the volume: whatever it reads, skips or
// reads twice, every covered byte and the end records are compared, it is
// never handed a byte of a damaged block, and its reading stops there.
TEST(VolumeCheck, TheRestoresReadingChecksEveryByteHoweverItReads)
{
    TempDir dir;
    const std::string path = dir.file("v_0_0.bkp");
    const uint64_t data = 3 * kMiB + 12345;
    WriteSampleVolume(path, data);
    const std::vector<uint8_t> good = ReadFileBytes(path);
    const uint64_t covered = good.size() - 5000 - sizeof(tagBLOCK_END) - ImageFormat::VolumeCheckBytes(data);
    struct Flip {
        const char* where;
        int64_t offset;          // -1: none
        bool foundWhileReading;  // by a front-to-back reading, before its end
    };
    const Flip flips[] = {
        {"no flip", -1, false},
        {"first block", 10, true},
        {"in the part a restore steps over", int64_t(kMiB + 500000), true},
        {"last covered byte", int64_t(covered - 1), true},
        {"end records", int64_t(good.size() - 2000), false},
    };
    const std::pair<ReadPattern, const char*> patterns[] = {
        {ReadPattern::FrontToBack, "front to back"},
        {ReadPattern::StepOverTheMiddle, "stepping over the middle"},
        {ReadPattern::BackAndForth, "back and forth"},
        {ReadPattern::EndRecordsFirst, "end records first"},
        {ReadPattern::NothingRead, "nothing read"},
    };
    for (const Flip& flip : flips) {
        std::vector<uint8_t> bytes = good;
        if (flip.offset >= 0)
            bytes[size_t(flip.offset)] ^= 0x04;
        WriteFileBytes(path, bytes);
        for (const auto& [pattern, name] : patterns) {
            bool stoppedEarly = false;
            const int verdict = ReadVolumeChecked(path, pattern, covered, good, &stoppedEarly);
            EXPECT_EQ(verdict, flip.offset < 0 ? 0 : ERR_DAMAGED_IMAGE) << flip.where << ", " << name;
            if (pattern == ReadPattern::FrontToBack) {
                EXPECT_EQ(stoppedEarly, flip.foundWhileReading) << flip.where;
            }
        }
    }
}

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

// Offset of a run of bytes of a file's data in an image volume.
size_t FindData(const std::vector<uint8_t>& volume, const std::vector<uint8_t>& data)
{
    auto at = std::search(volume.begin(), volume.end(), data.begin(), data.begin() + 64);
    return at == volume.end() ? 0 : size_t(at - volume.begin());
}

struct NtfsSource {
    TempDir dir;
    std::string source = dir.file("sdy1");
    std::string target = dir.file("sdx1");
    std::vector<uint8_t> text = TextBytes(700000);
    std::string why;
    bool ready = false;
    NtfsSource()
    {
        ready = HaveNtfsTools() && MakeNtfsPartition(source, 16 * kMiB, &why) &&
                NtfsCopyIn(source, dir.path(), "/text.txt", text, &why);
    }
};

// One flipped byte in an uncompressed data set used to restore into a
// wrong file with 0: the restore now refuses the image.
TEST(VolumeCheckRestore, AFlippedDataByteRefusesTheRestore)
{
    NtfsSource s;
    if (!HaveNtfsTools())
        SKIP_OR_FAIL_IN_CI("ntfs-3g's tools are not installed");
    ASSERT_TRUE(s.ready) << s.why;
    const std::string base = s.dir.file("img");
    ASSERT_EQ(BackupNtfsImage(s.source, base, 0), 0);
    const std::string volume = VolumeFileName(base, 0, 0);
    std::vector<uint8_t> bytes = ReadFileBytes(volume);
    const size_t at = FindData(bytes, s.text);
    ASSERT_NE(at, 0u);
    bytes[at + 1000] ^= 0x01;
    WriteFileBytes(volume, bytes);
    MakeSparseFile(s.target, 20 * kMiB);
    EXPECT_EQ(RestoreNtfsImage(volume, s.target), ERR_DAMAGED_IMAGE);
}

TEST(VolumeCheckRestore, AFlippedDataByteRefusesAFat32Restore)
{
    REQUIRE_PROGRAM("mkfs.fat");
    REQUIRE_PROGRAM("mcopy");
    TempDir dir;
    const std::string source = dir.file("sdy1");
    FatImage image(source, 40 * kMiB, 1, "SRC", dir.path());
    const std::vector<uint8_t> text = TextBytes(300000);
    image.AddFile("/TEXT.TXT", text);
    const std::string base = dir.file("fat");
    ASSERT_EQ(BackupFat32Image(source, base, 0), 0);
    const std::string volume = VolumeFileName(base, 0, 0);
    std::vector<uint8_t> bytes = ReadFileBytes(volume);
    const size_t at = FindData(bytes, text);
    ASSERT_NE(at, 0u);
    bytes[at + 5] ^= 0x40;
    WriteFileBytes(volume, bytes);
    const std::string target = dir.file("sdx1");
    MakeSparseFile(target, 40 * kMiB);
    tagRestoreArgument arg;
    arg.imagePath = volume;
    arg.targetPartition = target;
    EXPECT_EQ(restore_fat32(arg, tagCallBackFunc{}), ERR_DAMAGED_IMAGE);
}

// Two backups started in the same second share their chain id; the image
// id still tells their volumes apart.
TEST(VolumeCheckRestore, AVolumeOfAnotherImageIsRefused)
{
    NtfsSource s;
    if (!HaveNtfsTools())
        SKIP_OR_FAIL_IN_CI("ntfs-3g's tools are not installed");
    ASSERT_TRUE(s.ready) << s.why;
    const std::string a = s.dir.file("a");
    const std::string b = s.dir.file("b");
    ASSERT_EQ(BackupNtfsImage(s.source, a, 0, 300000), 0);
    ASSERT_EQ(BackupNtfsImage(s.source, b, 0, 300000), 0);
    ASSERT_TRUE(FileExists(VolumeFileName(a, 1, 0)));
    // Volume 1 of b under a's name: same chain id when both began in the
    // same second, always another image id.
    std::vector<uint8_t> other = ReadFileBytes(VolumeFileName(b, 1, 0));
    tagBLOCK_END end = TrailerOf(other);
    end.chainId = TrailerOf(ReadFileBytes(VolumeFileName(a, 1, 0))).chainId;
    std::memcpy(other.data() + other.size() - sizeof end, &end, sizeof end);
    WriteFileBytes(VolumeFileName(a, 1, 0), other);
    MakeSparseFile(s.target, 20 * kMiB);
    EXPECT_EQ(RestoreNtfsImage(VolumeFileName(a, 0, 0), s.target), ERR_OTHER_IMAGE);
}

}  // namespace
