// The file-system-independent backup job, driven by a small job of the
// tests' own whose "file system" is a list of byte ranges of a partition
// file (sdz1, next to its disk file sdz). The volumes it writes are read
// back record by record.
#include "quarn/compression/compress_data.h"
#include "quarn/image/compressed_file_types.h"
#include "quarn/image/part_backup.h"
#include "quarn/api/image_format.h"
#include "support/ntfs_image_reader.h"
#include "support/plain_partition_backup.h"
#include "support/recording_callbacks.h"
#include "support/reseal_volume.h"
#include "support/test_support.h"
#include "support/zlib_raw.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::FileExists;
using testsupport::PatternBytes;
using testsupport::ReadFileBytes;
using testsupport::RecordingCallbacks;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<uint8_t>;

namespace {

// One file of the fake file system: a byte range of the partition.
struct FakeFile {
    uint64_t offset;
    uint64_t length;
    const char* name;
    bool noise = false;  // its bytes do not compress
};

struct FakeFsOptions {
    bool recordsInEveryVolume = false;  // FAT32-like: every volume ends with its records
    uint32_t mftBitmapBytes = 0;
    uint16_t bootAreaBytes = ImageFormat::kNtfsBootAreaBytes;
    uint64_t usedBytes = 0;  // 0: the used-size query fails
    uint32_t chunkBytes = ImageFormat::kChunkBytes;
    std::vector<FakeFile> files;
    int sourceCheck = 0;  // non-zero: the boot sector holds no file system of the job's
};

Bytes MftBitmap(uint32_t size)
{
    return PatternBytes(size, 77);
}

class FakeFsBackup : public testsupport::PlainPartitionBackup {
public:
    FakeFsBackup(const tagBackupArgument& arg, const tagCallBackFunc& cb, const uint8_t* head, int headLength,
                 const FakeFsOptions& options)
        : PlainPartitionBackup(arg, cb, reinterpret_cast<tagBackupImageHeadInfo*>(const_cast<uint8_t*>(head)),
                               headLength),
          m_options(options)
    {
        if (options.recordsInEveryVolume)
            EndEveryVolumeWithRecords();
    }
    FakeFsBackup(const tagBackupArgument& arg, const tagCallBackFunc& cb, const Bytes* head,
                 const FakeFsOptions& options)
        : FakeFsBackup(arg, cb, head ? head->data() : nullptr, head ? static_cast<int>(head->size()) : 0,
                       options)
    {}

    uint64_t ReserveAtStart() const { return VolumeBytesCounted(); }

protected:
    int GetBootCodeInfo() override
    {
        const int result = PlainPartitionBackup::GetBootCodeInfo();
        return m_options.sourceCheck != 0 ? m_options.sourceCheck : result;
    }

    int BackupFiles() override
    {
        if (ImagePosition(&m_dataSectionPos) != 0)
            return ERR_SEEK_FILE;
        for (const auto& file : m_options.files) {
            Progress().ProcessName(file.name);
            int result = BeginDataSet(IsCompressFile(file.name) != 0);
            // One seek per file, then sequential reads, as a cluster-chain
            // walk does.
            if (Source().Seek(static_cast<int64_t>(file.offset), SEEK_SET) != 0)
                return ERR_SEEK_PART;
            for (uint64_t done = 0; result == 0 && done < file.length;) {
                uint32_t n =
                    static_cast<uint32_t>(std::min<uint64_t>(m_options.chunkBytes, file.length - done));
                if (Source().Read(ChunkBuffer(), n) != n)
                    return ERR_READ_PART;
                result = WriteDataChunk(ChunkBuffer(), n);
                if (result == 0)
                    result = Progress().ProgressFunc(n);
                done += n;
            }
            if (result == 0)
                result = EndDataSet();
            if (result != 0)
                return result;
        }
        return 0;
    }

    int GetPartNumOfUsedBytes() override
    {
        if (m_options.usedBytes == 0)
            return ERR_PART_INFO;
        SetUsedBytes(m_options.usedBytes);
        return 0;
    }

    uint64_t GetMftBitmapAllocSize() const override { return m_options.mftBitmapBytes; }

    int WriteMFTBitmap() override
    {
        Bytes bitmap = MftBitmap(m_options.mftBitmapBytes);
        return WriteToVolume(bitmap.data(), bitmap.size(), 0);
    }

    void WritePartInfoDiff(tagPARTITION_INFO* info) override
    {
        info->dataSectionPos = m_dataSectionPos;
        info->recordCount = static_cast<uint32_t>(m_options.files.size());
        info->fileRecordSize = 1024;
        info->reservedFs = ImageFormat::kNtfsReservedFs;
        info->bootAreaSize = m_options.bootAreaBytes;
    }

private:
    FakeFsOptions m_options;
    uint64_t m_dataSectionPos = 0;
};

// ---- Reading an image back -------------------------------------------------

template <class T>
bool ReadAt(const Bytes& bytes, uint64_t pos, T& out)
{
    if (pos > bytes.size() || bytes.size() - pos < sizeof(T))
        return false;
    std::memcpy(&out, bytes.data() + pos, sizeof(T));
    return true;
}

Bytes Slice(const Bytes& bytes, uint64_t pos, uint64_t length)
{
    return Bytes(bytes.begin() + static_cast<long>(pos), bytes.begin() + static_cast<long>(pos + length));
}

std::string Text(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// tagBLOCK_START, the MFT bitmap, tagPARTITION_INFO and its five blobs.
struct EndRecords {
    uint64_t pos = 0;
    tagBLOCK_START start{};
    Bytes mftBitmap;
    tagPARTITION_INFO info{};
    Bytes mbr, boot, digest, description;
    std::string fileName;
};

struct Volume {
    std::string name;
    Bytes bytes;
    tagBLOCK_END end{};
    std::string prevName, nextName;
    uint64_t trailerPos = 0;  // where name 1 starts
    bool hasRecords = false;
    EndRecords records;
    uint64_t dataBytes = 0;  // stored data-set bytes in this volume (heads excluded)
    uint64_t dataEnd = 0;    // where the check record, and so the data, ends
};

struct DataSet {
    bool storedRaw = false;
    Bytes stored;
    std::vector<uint64_t> parts;  // dataBytes of each head
    std::vector<size_t> volumes;  // volume of each head
};

// The check record stands just before the end records (or the trailer's
// names) and covers everything before it: dataEnd is its start.
std::string ParseCheckRecord(Volume& v, bool withRecords)
{
    const Bytes& b = v.bytes;
    const uint64_t end =
        withRecords ? (v.end.blkStartLow | (uint64_t(v.end.blkStartHigh) << 32)) : v.trailerPos;
    if ((v.end.spare1 & ImageFormat::kFormatFlagVolumeCheck) == 0)
        return v.name + ": the trailer announces no check record";
    tagVOLUME_CHECK_TAIL tail{};
    if (end < sizeof tail || end > b.size() || !ReadAt(b, end - sizeof tail, tail) ||
        tail.magic != ImageFormat::kVolumeCheckMagic || tail.recordBytes > end)
        return v.name + ": no check record before the end records";
    v.dataEnd = end - tail.recordBytes;
    tagVOLUME_CHECK_HEAD head{};
    if (!ReadAt(b, v.dataEnd, head) || head.coveredBytes != v.dataEnd ||
        tail.recordBytes != ImageFormat::VolumeCheckBytes(v.dataEnd))
        return v.name + ": the check record does not cover the bytes before it";
    return "";
}

// Reads the trailer and, when present, the records before it. "" on success.
std::string ParseVolume(const std::string& path, bool withRecords, Volume& v)
{
    v.name = SplitFileName(path);
    v.bytes = ReadFileBytes(path);
    const Bytes& b = v.bytes;
    if (b.size() < sizeof(tagBLOCK_END))
        return v.name + ": shorter than a trailer";
    ReadAt(b, b.size() - sizeof(tagBLOCK_END), v.end);
    if (v.end.magic != ImageFormat::kBlockEndMagic)
        return v.name + ": no BLKE";
    uint64_t names = uint64_t(v.end.prevNameSize) + v.end.nextNameSize + sizeof(tagBLOCK_END);
    if (names > b.size())
        return v.name + ": trailer names overrun the file";
    v.trailerPos = b.size() - names;
    v.prevName = Text(Slice(b, v.trailerPos, v.end.prevNameSize));
    v.nextName = Text(Slice(b, v.trailerPos + v.end.prevNameSize, v.end.nextNameSize));
    v.hasRecords = withRecords;
    const std::string check = ParseCheckRecord(v, withRecords);
    if (!check.empty() || !withRecords)
        return check;

    EndRecords& r = v.records;
    r.pos = v.end.blkStartLow | (uint64_t(v.end.blkStartHigh) << 32);
    uint64_t pos = r.pos;
    if (!ReadAt(b, pos, r.start) || r.start.magic != ImageFormat::kBlockStartMagic)
        return v.name + ": no BLKS at the trailer's offset";
    pos += sizeof r.start;
    if (pos + r.start.mftBitmapSize > v.trailerPos)
        return v.name + ": MFT bitmap overruns";
    r.mftBitmap = Slice(b, pos, r.start.mftBitmapSize);
    pos += r.start.mftBitmapSize;
    if (!ReadAt(b, pos, r.info) || r.info.magic != ImageFormat::kPartitionInfoMagic)
        return v.name + ": no PIFO after the block start";
    pos += sizeof r.info;
    for (auto blob : {std::make_pair(&r.mbr, uint64_t(r.info.mbrSize)),
                      std::make_pair(&r.boot, uint64_t(r.info.bootAreaSize)),
                      std::make_pair(&r.digest, uint64_t(r.info.passwordHashSize)),
                      std::make_pair(&r.description, uint64_t(r.info.descriptionSize))}) {
        if (pos + blob.second > v.trailerPos)
            return v.name + ": blob overruns";
        *blob.first = Slice(b, pos, blob.second);
        pos += blob.second;
    }
    if (pos + r.info.fileNameSize != v.trailerPos)
        return v.name + ": the records do not end where the trailer starts";
    r.fileName = Text(Slice(b, pos, r.info.fileNameSize));
    return "";
}

// Walks the data-set heads of [from, to) and appends to the sets.
std::string ParseDataSets(Volume& v, size_t volumeNumber, uint64_t from, uint64_t to,
                          std::vector<DataSet>& sets, bool& continuing)
{
    uint64_t pos = from;
    while (pos < to) {
        tagDATA_SET_HEAD head;
        if (!ReadAt(v.bytes, pos, head) || pos + sizeof head + head.dataBytes > to)
            return v.name + ": data-set head overruns at " + std::to_string(pos);
        if (continuing) {
            if (sets.back().storedRaw != (head.storedRaw != 0))
                return v.name + ": continued set changed storedRaw";
        } else {
            sets.emplace_back();
            sets.back().storedRaw = head.storedRaw != 0;
        }
        DataSet& set = sets.back();
        Bytes part = Slice(v.bytes, pos + sizeof head, head.dataBytes);
        set.stored.insert(set.stored.end(), part.begin(), part.end());
        const uint64_t partBytes = head.dataBytes;
        set.parts.push_back(partBytes);
        set.volumes.push_back(volumeNumber);
        v.dataBytes += partBytes;
        continuing = head.continued != 0;
        pos += sizeof head + head.dataBytes;
    }
    return "";
}

struct Image {
    std::vector<Volume> volumes;
    std::vector<DataSet> sets;
};

// Follows the chain of volumes from <base>_0_<generation>.bkp by name 2.
std::string ReadImage(const std::string& base, unsigned generation, bool recordsInEveryVolume,
                      uint64_t dataStart, Image& image)
{
    const std::string dir = GetFileNamePath(base);
    std::string next = SplitFileName(VolumeFileName(base, 0, generation));
    bool continuing = false;
    for (size_t i = 0; !next.empty(); ++i) {
        if (i > 300)
            return "too many volumes";
        if (next != SplitFileName(VolumeFileName(base, static_cast<unsigned>(i), generation)))
            return "volume " + std::to_string(i) + " is named " + next;
        image.volumes.emplace_back();
        Volume& v = image.volumes.back();
        std::string error = ParseVolume(dir + next, i == 0 || recordsInEveryVolume, v);
        if (!error.empty())
            return error;
        uint64_t from = i == 0 ? dataStart : 0;
        uint64_t to = v.dataEnd;
        if (i > 0 && !continuing)
            return v.name + ": a later volume must begin inside a data set";
        error = ParseDataSets(v, i, from, to, image.sets, continuing);
        if (!error.empty())
            return error;
        next = v.nextName;
    }
    if (continuing)
        return "the last data set is marked as continued";
    return "";
}

// Undoes the compressor in the order a reader follows.
Bytes Decompress(int type, const Bytes& stored)
{
    Bytes plain;
    EXPECT_TRUE(testsupport::DecodeDataSet(type, stored, &plain)) << "decompress failed";
    return plain;
}

std::string Md5Hex(const std::string& text)
{
    auto r = testsupport::Run("printf %s " + testsupport::Quote(text) + " | md5sum");
    return r.output.substr(0, 32);
}

std::string Hex(const Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()))
        .toHex()
        .toStdString();
}

// ---- The fixture: a disk file with an MBR and its partition file ----------

class PartBackupTest : public testing::Test {
protected:
    static constexpr uint64_t kPartitionBytes = 2 << 20;

    void SetUp() override
    {
        disk = dir.file("sdz");
        partition = dir.file("sdz1");
        base = dir.file("img");
        Bytes mbr = PatternBytes(512, 1);
        mbr[510] = 0x55;
        mbr[511] = 0xAA;
        Bytes diskBytes = mbr;
        diskBytes.resize(64 * 1024, 0);
        WriteFileBytes(disk, diskBytes);
        partitionBytes = PatternBytes(kPartitionBytes, 2);
        // A run of zeros gives the compressors something to shrink.
        std::fill(partitionBytes.begin() + 0x100000, partitionBytes.begin() + 0x140000, 0);
        WriteFileBytes(partition, partitionBytes);

        arg.srcPartition = partition;
        arg.imagePath = base;
        arg.mbrSource = disk;
        arg.fsType = FS_TYPE_NTFS;
        arg.saveMbr = true;
        arg.mbrSize = 512;
        arg.password = "secret1";
        arg.description = "Weekly backup of the system partition";
        options.mftBitmapBytes = 40;
        options.files = {
            {0x2000, 300000, "system.dat", true},
            {0x60000, 1, "tiny.txt"},
            {0x80000, 0x20000, "MOVIE.MKV"},
            {0x100000, 0x50001, "zeros.log"},
        };
    }

    int RunJob(const Bytes* head = nullptr, tagCallBackFunc* cb = nullptr)
    {
        tagCallBackFunc callbacks = cb ? *cb : recorder.Bind();
        FakeFsBackup job(arg, callbacks, head, options);
        reserve = job.ReserveAtStart();
        before = time(nullptr);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int result = job.BackupPartition();
        stdoutText = testing::internal::GetCapturedStdout();
        stderrText = testing::internal::GetCapturedStderr();
        after = time(nullptr);
        return result;
    }

    Bytes PlainOf(const FakeFile& f) const { return Slice(partitionBytes, f.offset, f.length); }

    void ExpectSetsMatchFiles(const Image& image, int compressType = 0)
    {
        ASSERT_EQ(image.sets.size(), options.files.size());
        for (size_t i = 0; i < options.files.size(); ++i) {
            const FakeFile& file = options.files[i];
            SCOPED_TRACE(file.name);
            const DataSet& set = image.sets[i];
            // QuickLZ also stores raw a set whose first whole chunk does not shrink.
            const bool noiseStoredRaw =
                compressType == 1 && file.noise && file.length >= ImageFormat::kChunkBytes;
            EXPECT_EQ(set.storedRaw, IsCompressFile(file.name) != 0 || noiseStoredRaw);
            Bytes plain =
                (compressType == 0 || set.storedRaw) ? set.stored : Decompress(compressType, set.stored);
            EXPECT_TRUE(plain == PlainOf(options.files[i])) << "set " << i << " differs from its file";
        }
    }

    TempDir dir;
    std::string disk, partition, base;
    Bytes partitionBytes;
    tagBackupArgument arg;
    FakeFsOptions options;
    RecordingCallbacks recorder;
    uint64_t reserve = 0;
    time_t before = 0, after = 0;
    std::string stdoutText, stderrText;
};

TEST_F(PartBackupTest, FirstVolumeLayout)
{
    struct Case {
        const char* what;
        bool head, mbr, password, description;
        uint64_t usedBytes, bytesToProcess, expectedTotal;
    };
    const Case cases[] = {
        {"everything, used bytes known", true, true, true, true, 777777, 5, 777777},
        {"nothing stored, request's total", false, false, false, false, 0, 123456, 123456},
        {"head only, device size as total", true, false, false, false, 0, 0, kPartitionBytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        base = out.file("img");
        arg.imagePath = base;
        const Bytes head = PatternBytes(300, 3);
        if (!c.mbr) {
            arg.mbrSize = 0;
            arg.mbrSource = "/nonexistent/disk";
        }
        if (!c.password)
            arg.password.clear();
        if (!c.description)
            arg.description.clear();
        options.usedBytes = c.usedBytes;
        arg.bytesToProcess = c.bytesToProcess;
        recorder = RecordingCallbacks();

        ASSERT_EQ(RunJob(c.head ? &head : nullptr), 0) << stderrText;
        EXPECT_EQ(stdoutText, "");
        EXPECT_NE(stderrText.find("Backup Time: "), std::string::npos);
        EXPECT_FALSE(FileExists(VolumeFileName(base, 1, 0)));

        Image image;
        const uint64_t dataStart = c.head ? head.size() : 0;
        ASSERT_EQ(ReadImage(base, 0, false, dataStart, image), "");
        ASSERT_EQ(image.volumes.size(), 1u);
        const Volume& v = image.volumes[0];
        if (c.head) {
            EXPECT_TRUE(Slice(v.bytes, 0, head.size()) == head) << "head block at offset 0";
        }
        ExpectSetsMatchFiles(image);
        for (const auto& set : image.sets)
            EXPECT_EQ(set.parts.size(), 1u);

        // tagBLOCK_START and the MFT bitmap.
        const EndRecords& r = v.records;
        EXPECT_EQ(Text(Slice(v.bytes, r.pos, 4)), "BLKS");
        struct tm local {};
        time_t chain = v.end.chainId;
        localtime_r(&chain, &local);
        EXPECT_EQ(+r.start.year, local.tm_year + 1900);
        EXPECT_EQ(+r.start.month, local.tm_mon + 1);
        EXPECT_EQ(+r.start.day, local.tm_mday);
        EXPECT_EQ(+r.start.hour, local.tm_hour);
        EXPECT_EQ(+r.start.minute, local.tm_min);
        EXPECT_EQ(+r.start.second, local.tm_sec);
        EXPECT_EQ(+r.start.mftBitmapSize, 40u);
        EXPECT_TRUE(r.mftBitmap == MftBitmap(40));

        // tagPARTITION_INFO.
        EXPECT_EQ(Text(Slice(v.bytes, r.pos + 15 + 40, 4)), "PIFO");
        EXPECT_EQ(+r.info.recordSectionPos, 0u);
        EXPECT_EQ(+r.info.dataSectionPos, dataStart);
        EXPECT_EQ(+r.info.recordCount, options.files.size());
        EXPECT_EQ(+r.info.fileRecordSize, 1024u);
        EXPECT_EQ(+r.info.reservedFs, 0xFFFFFFFFu);
        EXPECT_EQ(+r.info.partitionBytes, kPartitionBytes);
        EXPECT_EQ(+r.info.usedBytes, c.expectedTotal);
        EXPECT_EQ(+r.info.clusterBytes, 4096u);
        EXPECT_EQ(+r.info.sectorBytes, 512u);
        EXPECT_EQ(+r.info.compressType, 0);
        EXPECT_EQ(+r.info.mbrSize, c.mbr ? 512u : 0u);
        EXPECT_EQ(+r.info.bootAreaSize, ImageFormat::kNtfsBootAreaBytes);

        // The five blobs.
        EXPECT_TRUE(r.mbr == (c.mbr ? Slice(ReadFileBytes(disk), 0, 512) : Bytes()))
            << "MBR area from the disk file";
        EXPECT_TRUE(r.boot == Slice(partitionBytes, 0, ImageFormat::kNtfsBootAreaBytes)) << "boot area";
        EXPECT_EQ(Hex(r.digest), c.password ? Md5Hex("secret1") : "");
        if (c.description) {
            QByteArray stored(reinterpret_cast<const char*>(r.description.data()),
                              static_cast<int>(r.description.size()));
            EXPECT_EQ(qUncompress(stored).toStdString(), arg.description);
        } else {
            EXPECT_TRUE(r.description.empty());
        }
        EXPECT_EQ(r.fileName, "img_0_0.bkp");

        // The trailer.
        EXPECT_EQ(Text(Slice(v.bytes, v.bytes.size() - 27, 4)), "BLKE");
        EXPECT_GE(+v.end.chainId, static_cast<uint32_t>(before));
        EXPECT_LE(+v.end.chainId, static_cast<uint32_t>(after));
        EXPECT_EQ(+v.end.blkStartLow, r.pos);
        EXPECT_EQ(+v.end.blkStartHigh, 0u);
        EXPECT_EQ(+v.end.volumeIndex, 0);
        EXPECT_EQ(+v.end.singleVolume, 1);
        EXPECT_EQ(+v.end.generation, 0);
        EXPECT_EQ(+v.end.spare1, ImageFormat::kFormatFlagVolumeCheck);
        EXPECT_EQ(+v.end.fsType, FS_TYPE_NTFS);
        EXPECT_EQ(+v.end.spare2, 2);
        EXPECT_EQ(+v.end.spare3, 0);
        EXPECT_EQ(+v.end.prevNameSize, 0);
        EXPECT_EQ(+v.end.nextNameSize, 0);

        // What the caller heard.
        EXPECT_EQ(recorder.totals, std::vector<uint64_t>{c.expectedTotal});
        EXPECT_EQ(recorder.states, (std::vector<QString>{"Initializing ...", "Finish"}));
        EXPECT_EQ(recorder.names, (std::vector<QString>{"system.dat", "tiny.txt", "MOVIE.MKV", "zeros.log"}));
        uint64_t processed = ImageFormat::kNtfsBootAreaBytes;
        for (const auto& f : options.files)
            processed += f.length;
        // Bytes and steps stop at the total: the caller's bar never runs past its end.
        EXPECT_EQ(recorder.BytesDoneSum(), std::min(processed, c.expectedTotal));
        const uint64_t fullSteps = processed / (c.expectedTotal / 95);
        const uint64_t expectedSteps = std::min<uint64_t>(95, fullSteps);
        ASSERT_GE(recorder.steps.size(), expectedSteps);
        for (size_t i = 0; i < expectedSteps; ++i)
            EXPECT_EQ(recorder.steps[i], static_cast<int>(i + 1));
        // Past the total the caller is still asked (a cancel is heard there),
        // at the last step.
        for (size_t i = expectedSteps; i < recorder.steps.size(); ++i)
            EXPECT_EQ(recorder.steps[i], 95);
        EXPECT_EQ(recorder.steps.size() > expectedSteps, fullSteps > 95);
    }
}

TEST_F(PartBackupTest, SplitVolumes)
{
    struct Case {
        const char* what;
        bool recordsInEveryVolume;
    };
    const Case cases[] = {{"records in the first volume (NTFS)", false},
                          {"records in every volume (FAT32)", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        base = out.file("img");
        arg.imagePath = base;
        arg.volumeSize = 300000;
        arg.fsType = c.recordsInEveryVolume ? FS_TYPE_FAT32 : FS_TYPE_NTFS;
        options.recordsInEveryVolume = c.recordsInEveryVolume;
        options.bootAreaBytes =
            c.recordsInEveryVolume ? ImageFormat::kFat32BootAreaBytes : ImageFormat::kNtfsBootAreaBytes;
        options.mftBitmapBytes = c.recordsInEveryVolume ? 0 : 40;
        const Bytes head = PatternBytes(200, 4);

        ASSERT_EQ(RunJob(&head), 0) << stderrText;
        EXPECT_EQ(stdoutText, "");

        Image image;
        ASSERT_EQ(ReadImage(base, 0, c.recordsInEveryVolume, head.size(), image), "");
        ExpectSetsMatchFiles(image);
        ASSERT_GE(image.volumes.size(), 3u);
        EXPECT_TRUE(FileExists(base + "_1_0.bkp"));
        EXPECT_TRUE(FileExists(base + "_2_0.bkp"));
        EXPECT_FALSE(FileExists(VolumeFileName(base, static_cast<unsigned>(image.volumes.size()), 0)));
        EXPECT_TRUE(Slice(image.volumes[0].bytes, 0, head.size()) == head);

        const uint64_t firstReserve = c.recordsInEveryVolume ? 0 : reserve;
        for (size_t i = 0; i < image.volumes.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "volume " << i);
            const Volume& v = image.volumes[i];
            const bool last = i + 1 == image.volumes.size();
            EXPECT_EQ(+v.end.volumeIndex, i);
            EXPECT_EQ(+v.end.singleVolume, 0);
            EXPECT_EQ(+v.end.generation, 0);
            EXPECT_EQ(+v.end.chainId, +image.volumes[0].end.chainId);
            EXPECT_EQ(+v.end.fsType, arg.fsType);
            EXPECT_EQ(+v.end.prevNameSize, 0);
            EXPECT_EQ(v.nextName,
                      last ? "" : SplitFileName(VolumeFileName(base, static_cast<unsigned>(i + 1), 0)));
            if (i == 0 || c.recordsInEveryVolume) {
                EXPECT_NE(+v.end.blkStartLow, 0u);
                EXPECT_EQ(v.records.fileName, v.name) << "the records name their own volume";
                EXPECT_EQ(+v.records.info.dataSectionPos, head.size())
                    << "always points into the first volume";
                EXPECT_TRUE(v.records.boot == Slice(partitionBytes, 0, options.bootAreaBytes));
            } else {
                EXPECT_EQ(+v.end.blkStartLow, 0u);
                EXPECT_EQ(+v.end.blkStartHigh, 0u);
            }
            // Stored bytes plus the first volume's reserve stay within the
            // split size, and a volume is only left when the next chunk
            // would not fit.
            const uint64_t counted = v.dataBytes + (i == 0 ? firstReserve : 0);
            EXPECT_LE(counted, arg.volumeSize);
            if (!last) {
                EXPECT_GT(counted + options.chunkBytes, arg.volumeSize);
            }
            if (i > 0) {
                EXPECT_NE(stderrText.find("Create a new volume file --- " +
                                          VolumeFileName(base, static_cast<unsigned>(i), 0) + "\n"),
                          std::string::npos);
            }
        }
        bool someSetSpansVolumes = false;
        for (const auto& set : image.sets)
            someSetSpansVolumes |= set.parts.size() > 1;
        EXPECT_TRUE(someSetSpansVolumes);
    }
}

TEST_F(PartBackupTest, IncrementalOnGeneration3)
{
    // The previous image lives elsewhere; only its file name is stored.
    TempDir old;
    const std::string prev = old.file("old_0_3.bkp");
    Bytes prevBytes = PatternBytes(1000, 5);
    tagBLOCK_END prevEnd{};
    prevEnd.magic = ImageFormat::kBlockEndMagic;
    prevEnd.chainId = 0x12345678;
    prevEnd.generation = 3;
    prevEnd.fsType = FS_TYPE_NTFS;
    const auto* raw = reinterpret_cast<const uint8_t*>(&prevEnd);
    prevBytes.insert(prevBytes.end(), raw, raw + sizeof prevEnd);
    WriteFileBytes(prev, prevBytes);

    arg.incremental = true;
    arg.prevImage = prev;
    arg.volumeSize = 400000;
    ASSERT_EQ(RunJob(), 0) << stderrText;

    EXPECT_FALSE(FileExists(base + "_0_0.bkp"));
    EXPECT_TRUE(FileExists(base + "_0_4.bkp"));
    EXPECT_TRUE(FileExists(base + "_1_4.bkp"));
    Image image;
    ASSERT_EQ(ReadImage(base, 4, false, 0, image), "");
    ExpectSetsMatchFiles(image);
    ASSERT_GE(image.volumes.size(), 2u);
    for (const auto& v : image.volumes) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(+v.end.generation, 4);
        EXPECT_EQ(+v.end.chainId, 0x12345678u);
        EXPECT_EQ(v.prevName, "old_0_3.bkp");
    }
    EXPECT_EQ(image.volumes[0].records.fileName, "img_0_4.bkp");
    EXPECT_EQ(ReadFileBytes(prev), prevBytes) << "the previous image is only read";
}

TEST_F(PartBackupTest, FullJobIgnoresPreviousImage)
{
    arg.incremental = false;
    arg.prevImage = dir.file("missing_0_0.bkp");
    ASSERT_EQ(RunJob(), 0) << stderrText;
    Image image;
    ASSERT_EQ(ReadImage(base, 0, false, 0, image), "");
    EXPECT_EQ(+image.volumes[0].end.prevNameSize, 0);
    EXPECT_EQ(+image.volumes[0].end.generation, 0);
}

TEST_F(PartBackupTest, ResultCodes)
{
    auto writePrev = [&](uint32_t magic, uint8_t generation) {
        tagBLOCK_END end{};
        end.magic = magic;
        end.generation = generation;
        const auto* raw = reinterpret_cast<const uint8_t*>(&end);
        WriteFileBytes(dir.file("prev_0_0.bkp"), Bytes(raw, raw + sizeof end));
        arg.incremental = true;
        arg.prevImage = dir.file("prev_0_0.bkp");
    };
    const std::string firstVolume = VolumeFileName(base, 0, 0);
    const std::string unfinished = UnfinishedVolumeName(firstVolume);
    // The first volume is written under its unfinished name.
    auto volumeIs = [&](const std::string& target) {
        return symlink(target.c_str(), unfinished.c_str()) == 0;
    };
    auto present = [](const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0;
    };
    const bool haveDevFull = FileExists("/dev/full");

    struct Case {
        const char* what;
        std::function<bool()> setUp;  // false: the machine cannot set the case up
        int expected;
        bool withHead;
        bool refusedBeforeVolume;  // refused before the source is measured: no total reported
    };
    const Case cases[] = {
        {"previous image missing",
         [&] {
             arg.incremental = true;
             arg.prevImage = dir.file("none_0_0.bkp");
             return true;
         },
         ERR_FILE_NOT_FOUND, false, true},
        {"previous image without BLKE",
         [&] {
             writePrev(0x11223344, 0);
             return true;
         },
         ERR_BAD_MAGIC, false, true},
        {"previous image shorter than a trailer",
         [&] {
             WriteFileBytes(dir.file("p"), Bytes(5, 0));
             arg.incremental = true;
             arg.prevImage = dir.file("p");
             return true;
         },
         ERR_SEEK_FILE, false, true},
        {"chain already at generation 255",
         [&] {
             writePrev(ImageFormat::kBlockEndMagic, 255);
             return true;
         },
         ERR_CHAIN_FULL, false, true},
        {"previous image not the newest of its chain",
         [&] {
             writePrev(ImageFormat::kBlockEndMagic, 0);
             WriteFileBytes(dir.file("prev_0_1.bkp"), Bytes(100, 3));
             return true;
         },
         ERR_NOT_NEWEST_IMAGE, false, true},
        {"source without the job's file system",
         [&] {
             options.sourceCheck = ERR_PART_INFO;
             return true;
         },
         ERR_PART_INFO, false, true},
        {"image folder missing",
         [&] {
             arg.imagePath = dir.file("no/such/dir/img");
             return true;
         },
         ERR_OPEN_FILE, false, true},
        {"source partition missing",
         [&] {
             arg.srcPartition = dir.file("sdz9");
             return true;
         },
         ERR_OPEN_PART, false, true},
        {"MBR disk missing",
         [&] {
             arg.mbrSource = dir.file("sdy");
             return true;
         },
         ERR_OPEN_DISK, false, false},
        {"MBR disk too short",
         [&] {
             WriteFileBytes(dir.file("sdy"), Bytes(100, 1));
             arg.mbrSource = dir.file("sdy");
             return true;
         },
         ERR_READ_MBR, false, false},
        {"partition shorter than its boot area",
         [&] {
             WriteFileBytes(dir.file("sdz2"), Bytes(1000, 1));
             arg.srcPartition = dir.file("sdz2");
             options.files.clear();
             return true;
         },
         ERR_READ_PART, false, false},
        {"volume cannot be sought", [&] { return mkfifo(unfinished.c_str(), 0600) == 0; }, ERR_SEEK_FILE,
         false, false},
        // Small writes wait in the volume's buffer: a full device shows when
        // the first data chunk goes out after them, or at the volume's end.
        {"full volume, head block and first chunk", [&] { return haveDevFull && volumeIs("/dev/full"); },
         ERR_WRITE_FILE, true, false},
        {"full volume, first chunk", [&] { return haveDevFull && volumeIs("/dev/full"); }, ERR_WRITE_FILE,
         false, false},
        {"full volume, only small records",
         [&] {
             options.files.clear();
             return haveDevFull && volumeIs("/dev/full");
         },
         ERR_WRITE_FILE, false, false},
        {"full volume, small chunks only",
         [&] {
             options.chunkBytes = 1000;
             return haveDevFull && volumeIs("/dev/full");
         },
         ERR_WRITE_FILE, true, false},
        {"cancelled at the first step",
         [&] {
             recorder.cancelAtStep = 1;
             return true;
         },
         ERR_CANCELLED, false, false},
        {"description too long for its 16-bit size",
         [&] {
             Bytes noise = PatternBytes(70000, 9);
             arg.description.assign(noise.begin(), noise.end());
             return true;
         },
         ERR_FIELD_TOO_LONG, false, true},
        {"compression type without a coder",
         [&] {
             arg.compressType = 4;
             return CCompressData(4).IsReady();
         },
         ERR_COMPRESS, false, false},
    };
    const tagBackupArgument original = arg;
    const FakeFsOptions originalOptions = options;
    const Bytes earlier = PatternBytes(500, 8);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        arg = original;
        options = originalOptions;
        recorder = RecordingCallbacks();
        unlink(unfinished.c_str());
        unlink(dir.file("prev_0_1.bkp").c_str());
        // An image written earlier under the same names survives every failure.
        WriteFileBytes(firstVolume, earlier);
        if (!c.setUp()) {
            std::fprintf(stderr, "case \"%s\" cannot be set up here; skipped\n", c.what);
            continue;
        }
        const Bytes head = PatternBytes(100, 6);
        EXPECT_EQ(RunJob(c.withHead ? &head : nullptr), c.expected) << stderrText;
        EXPECT_EQ(stdoutText, "");
        EXPECT_EQ(ReadFileBytes(firstVolume), earlier) << "an earlier volume was overwritten";
        EXPECT_FALSE(present(unfinished)) << "the failed job left its unfinished volume";
        EXPECT_FALSE(FileExists(VolumeFileName(base, 0, 1)));
        if (c.refusedBeforeVolume) {
            EXPECT_TRUE(recorder.totals.empty());
        }
    }
}

// A description is stored when its bytes are within the limit that every
// reader takes, and refused before anything is written when they are not.
TEST_F(PartBackupTest, DescriptionWithinTheLimitIsStoredALongerOneIsRefused)
{
    Bytes noise = PatternBytes(ImageFormat::kMaxDescriptionBytes, 13);
    for (auto& byte : noise)
        byte = static_cast<uint8_t>(byte | 0x20);  // no zero byte in the text
    struct Case {
        const char* what;
        std::string description;
        int expected;
    } cases[] = {
        {"at the limit, incompressible", std::string(noise.begin(), noise.end()), 0},
        {"one byte over", std::string(ImageFormat::kMaxDescriptionBytes + 1, 'd'), ERR_FIELD_TOO_LONG},
        {"3,500 characters that compress well", std::string(3500, 'x'), ERR_FIELD_TOO_LONG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        base = out.file("img");
        arg.imagePath = base;
        arg.description = c.description;
        recorder = RecordingCallbacks();
        ASSERT_EQ(RunJob(), c.expected) << stderrText;
        if (c.expected != 0) {
            EXPECT_FALSE(FileExists(VolumeFileName(base, 0, 0)));
            EXPECT_FALSE(FileExists(UnfinishedVolumeName(VolumeFileName(base, 0, 0))));
            EXPECT_TRUE(recorder.totals.empty()) << "refused before the source was read";
            continue;
        }
        Image image;
        ASSERT_EQ(ReadImage(base, 0, false, 0, image), "");
        const auto& records = image.volumes[0].records;
        const uint32_t blobBytes = records.info.descriptionSize;
        EXPECT_LE(blobBytes, ImageFormat::kMaxBlobBytes);
        const QByteArray plain = qUncompress(reinterpret_cast<const uchar*>(records.description.data()),
                                             static_cast<int>(records.description.size()));
        EXPECT_EQ(plain.toStdString(), c.description);
    }
}

TEST_F(PartBackupTest, NegativeSizesStoreNothing)
{
    arg.mbrSize = -5;
    const Bytes head = PatternBytes(64, 10);
    FakeFsBackup job(arg, recorder.Bind(), head.data(), -64, options);
    testing::internal::CaptureStderr();
    const int result = job.BackupPartition();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(result, 0);
    Image image;
    ASSERT_EQ(ReadImage(base, 0, false, 0, image), "");
    EXPECT_EQ(+image.volumes[0].records.info.dataSectionPos, 0u) << "no head block";
    EXPECT_EQ(+image.volumes[0].records.info.mbrSize, 0u);
    EXPECT_TRUE(image.volumes[0].records.mbr.empty());
    ExpectSetsMatchFiles(image);
}

TEST_F(PartBackupTest, DataChunkShortWrite)
{
    // Past the file-size limit a write fails with EFBIG (SIGXFSZ ignored):
    // the data-set head fits, its first chunk does not.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    if (old.rlim_max != RLIM_INFINITY && old.rlim_max < 4096)
        SKIP_OR_FAIL_IN_CI("file-size limit already below 4 KiB");
    struct rlimit small = old;
    small.rlim_cur = 4096;
    auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = RunJob();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(result, ERR_WRITE_FILE) << stderrText;
    EXPECT_NE(stderrText.find("Write the data error! \n"), std::string::npos);
}

TEST_F(PartBackupTest, AVolumeThatCannotBeWrittenOutStopsTheJobAtTheVolumeChange)
{
    if (!FileExists("/dev/full"))
        SKIP_OR_FAIL_IN_CI("/dev/full is missing");
    // Every byte of the first volume is small enough to wait in its buffer
    // until the volume is ended; the next volume must not be begun.
    ASSERT_EQ(symlink("/dev/full", UnfinishedVolumeName(VolumeFileName(base, 0, 0)).c_str()), 0);
    arg.volumeSize = 1;
    options.chunkBytes = 16;
    options.files = {{0x4000, 64, "small.bin"}};
    EXPECT_EQ(RunJob(), ERR_WRITE_FILE) << stderrText;
    EXPECT_NE(stderrText.find("Write the data error! \n"), std::string::npos);
    EXPECT_FALSE(FileExists(VolumeFileName(base, 1, 0)));
    EXPECT_FALSE(FileExists(UnfinishedVolumeName(VolumeFileName(base, 1, 0))));
}

TEST_F(PartBackupTest, RefusesA257thVolume)
{
    struct Case {
        unsigned chunks;
        int expected;
    } cases[] = {{255, 0}, {256, ERR_TOO_MANY_VOLUMES}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chunks);
        TempDir out;
        base = out.file("img");
        arg.imagePath = base;
        // Every chunk overflows a volume of one byte: chunk k lands in volume k.
        arg.volumeSize = 1;
        options.chunkBytes = 16;
        options.files = {{0x4000, 16ULL * c.chunks, "many.bin"}};
        ASSERT_EQ(RunJob(), c.expected) << stderrText;
        EXPECT_FALSE(FileExists(VolumeFileName(base, 256, 0)));
        EXPECT_FALSE(FileExists(UnfinishedVolumeName(VolumeFileName(base, 256, 0))));

        if (c.expected == 0) {
            EXPECT_TRUE(FileExists(VolumeFileName(base, 255, 0)));
            Volume first;
            ASSERT_EQ(ParseVolume(VolumeFileName(base, 0, 0), true, first), "");
            EXPECT_EQ(+first.end.volumeIndex, 0);
            EXPECT_EQ(first.nextName, "img_1_0.bkp");
            tagDATA_SET_HEAD head;
            ASSERT_TRUE(ReadAt(first.bytes, 0, head));
            EXPECT_EQ(+head.dataBytes, 0u) << "the split left the first volume's part empty";
            EXPECT_EQ(+head.continued, 1);

            Image image;
            ASSERT_EQ(ReadImage(base, 0, false, 0, image), "");
            ASSERT_EQ(image.volumes.size(), 256u);
            EXPECT_EQ(+image.volumes.back().end.volumeIndex, 255);
            ExpectSetsMatchFiles(image);
        } else {
            // The refused job takes back every volume it wrote.
            for (unsigned v = 0; v < 256; ++v) {
                EXPECT_FALSE(FileExists(VolumeFileName(base, v, 0))) << v;
                EXPECT_FALSE(FileExists(UnfinishedVolumeName(VolumeFileName(base, v, 0)))) << v;
            }
        }
    }
}

// The image format is fixed: images of the same source are the same byte
// for byte, apart from the start time (the block start's clock fields and
// the trailers' chain id, and what the check record holds by chance or by
// the clock), whatever the writer does inside. The digests were taken when
// volumes first carried check records; the bytes before the check record
// are those of the images this job wrote before its writes were buffered.
TEST_F(PartBackupTest, ImageBytesArePinned)
{
    struct Case {
        const char* what;
        int compressType;
        uint64_t volumeSize;
        bool head;
        std::vector<std::string> digests;  // MD5 of each volume, times zeroed
    } cases[] = {
        {"one volume with a head block",
         0,
         ImageFormat::kNeverSplit,
         true,
         {"d1ad493ca6341991bb417ed8ff50a787"}},
        {"split every 64 KiB",
         0,
         0x10000,
         false,
         {"70c47f59b12febc19f9c31d3a9903f53", "5b2f3f94ecfded79d298c3144ac6e76c",
          "2f55cd2154d631e1a555c6ed9d4737ce", "243cebe4cd143b5bf5c93f1ca80bb252",
          "6f761f34cd1db2d4f206365c701671eb", "5efd071f2c43b79ddf8a5461f166c130",
          "aabe6d46653f19dceabf1ccfe518a499", "30dada92d65ca7aa063cd753ec9e6145"}},
        {"QuickLZ, split every 100000 bytes",
         1,
         100000,
         true,
         // system.dat is noise: stored raw, its head says so.
         {"1b1c423e95020b57836d31c143513c7e", "6e89e9a7436ce6812097ba1aa8fb3c98",
          "1ea4a2e2438f518715c0cb01dbcdcd23", "47c2ef47f2c9be21a5dd7dcbb2d6c00e",
          "6f761f34cd1db2d4f206365c701671eb", "b0e9f2931dd212915bd91b26fc3c6a7f"}},
    };
    // Only the compressors of our own make: zlib's bytes may differ between
    // its versions.
    arg.description.clear();
    const tagBackupArgument original = arg;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        arg = original;
        base = out.file("img");
        arg.imagePath = base;
        arg.compressType = c.compressType;
        arg.volumeSize = c.volumeSize;
        const Bytes head = PatternBytes(100, 6);
        ASSERT_EQ(RunJob(c.head ? &head : nullptr), 0) << stderrText;
        std::vector<std::string> digests;
        for (unsigned v = 0; FileExists(VolumeFileName(base, v, 0)); ++v) {
            Bytes bytes = ReadFileBytes(VolumeFileName(base, v, 0));
            ASSERT_GE(bytes.size(), sizeof(tagBLOCK_END));
            const size_t end = bytes.size() - sizeof(tagBLOCK_END);
            tagBLOCK_END trailer;
            std::memcpy(&trailer, &bytes[end], sizeof trailer);
            std::fill_n(bytes.begin() + static_cast<long>(end + offsetof(tagBLOCK_END, chainId)), 4, 0);
            const uint64_t start = trailer.blkStartLow | (uint64_t(trailer.blkStartHigh) << 32);
            if (start != 0) {
                ASSERT_LE(start + sizeof(tagBLOCK_START), end);
                std::fill(bytes.begin() + static_cast<long>(start + offsetof(tagBLOCK_START, year)),
                          bytes.begin() + static_cast<long>(start + offsetof(tagBLOCK_START, mftBitmapSize)),
                          0);
            }
            testsupport::MaskCheckRecordChance(bytes);
            QByteArray raw(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
            digests.push_back(QCryptographicHash::hash(raw, QCryptographicHash::Md5).toHex().toStdString());
        }
        EXPECT_EQ(digests, c.digests);
    }
}

TEST_F(PartBackupTest, NullCallbacksAreSkipped)
{
    tagCallBackFunc empty;
    options.usedBytes = 95 * 1000;  // many steps, none of them reported
    ASSERT_EQ(RunJob(nullptr, &empty), 0) << stderrText;
    Image image;
    ASSERT_EQ(ReadImage(base, 0, false, 0, image), "");
    ExpectSetsMatchFiles(image);
}

TEST_F(PartBackupTest, CompressedDataSets)
{
    // Every coder the image format names is built: one that is not ready
    // is a fault, not a reason to test less.
    for (int type : {1, 2, 3})
        ASSERT_TRUE(CCompressData(static_cast<unsigned char>(type)).IsReady()) << "coder " << type;
    for (int type : {1, 2, 3}) {
        for (uint64_t volumeSize : {ImageFormat::kNeverSplit, uint64_t(120000)}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " split " << volumeSize);
            TempDir out;
            base = out.file("img");
            arg.imagePath = base;
            arg.compressType = type;
            arg.volumeSize = volumeSize;
            ASSERT_EQ(RunJob(), 0) << stderrText;
            Image image;
            ASSERT_EQ(ReadImage(base, 0, false, 0, image), "");
            EXPECT_EQ(+image.volumes[0].records.info.compressType, type);
            EXPECT_EQ(image.volumes.size() > 1, volumeSize != ImageFormat::kNeverSplit);
            ExpectSetsMatchFiles(image, type);
            // The run of zeros shrinks; the stored-raw movie does not pass the coder.
            EXPECT_LT(image.sets[3].stored.size(), options.files[3].length);
            EXPECT_TRUE(image.sets[2].stored == PlainOf(options.files[2]));
        }
    }
}

TEST_F(PartBackupTest, DeflateSetsOfTheImageAreReadByZlib)
{
    // Whatever library the engine deflates with, an image it writes must
    // restore with zlib's own inflate too, split or not, on one thread or many.
    testsupport::ZlibRaw zlib;
    ASSERT_TRUE(zlib.Loaded());
    const char* given = std::getenv("QUARN_THREADS");
    const std::string before = given != nullptr ? given : "";
    struct Restore {
        const std::string& value;
        bool had;
        ~Restore() { had ? setenv("QUARN_THREADS", value.c_str(), 1) : unsetenv("QUARN_THREADS"); }
    } restore{before, given != nullptr};
    for (const char* threads : {"1", "4"}) {
        setenv("QUARN_THREADS", threads, 1);
        for (int type : {2, 3}) {
            for (uint64_t volumeSize : {ImageFormat::kNeverSplit, uint64_t(120000)}) {
                SCOPED_TRACE(testing::Message()
                             << threads << " threads, type " << type << " split " << volumeSize);
                TempDir out;
                base = out.file("img");
                arg.imagePath = base;
                arg.compressType = type;
                arg.volumeSize = volumeSize;
                ASSERT_EQ(RunJob(), 0) << stderrText;
                Image image;
                ASSERT_EQ(ReadImage(base, 0, false, 0, image), "");
                ASSERT_EQ(image.sets.size(), options.files.size());
                for (size_t i = 0; i < options.files.size(); ++i) {
                    SCOPED_TRACE(options.files[i].name);
                    if (image.sets[i].storedRaw)
                        continue;
                    Bytes plain;
                    EXPECT_TRUE(zlib.Inflate(image.sets[i].stored, &plain));
                    EXPECT_TRUE(plain == PlainOf(options.files[i]));
                }
            }
        }
    }
}

TEST_F(PartBackupTest, QuickLzStoresRawTheSetsItCannotShrink)
{
    // Noise of one chunk and more, noise shorter than a chunk, noise after a
    // compressible first chunk, and text; the extension knows none of them.
    std::fill(partitionBytes.begin() + 0x180000, partitionBytes.begin() + 0x1A0000, 'a');
    WriteFileBytes(partition, partitionBytes);
    options.files = {
        {0x2000, 300000, "noise.bin", true},
        {0x60000, ImageFormat::kChunkBytes, "one chunk of noise.bin", true},
        {0x90000, ImageFormat::kChunkBytes - 1, "short noise.bin", true},
        {0x180000, 0x40000, "text then noise.bin"},
        {0x100000, 0x50001, "zeros.log"},
    };
    struct Case {
        int type;
        std::vector<bool> storedRaw;
    };
    const Case cases[] = {
        {1, {true, true, false, false, false}},
        // The deflate types compress every set as before.
        {2, {false, false, false, false, false}},
        {3, {false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        for (uint64_t volumeSize : {ImageFormat::kNeverSplit, uint64_t(120000)}) {
            SCOPED_TRACE(testing::Message() << "type " << c.type << " split " << volumeSize);
            TempDir out;
            base = out.file("img");
            arg.imagePath = base;
            arg.compressType = c.type;
            arg.volumeSize = volumeSize;
            ASSERT_EQ(RunJob(), 0) << stderrText;
            Image image;
            ASSERT_EQ(ReadImage(base, 0, false, 0, image), "");
            ASSERT_EQ(image.sets.size(), options.files.size());
            for (size_t i = 0; i < options.files.size(); ++i) {
                SCOPED_TRACE(options.files[i].name);
                const DataSet& set = image.sets[i];
                EXPECT_EQ(set.storedRaw, c.storedRaw[i]);
                const Bytes plain = set.storedRaw ? set.stored : Decompress(c.type, set.stored);
                EXPECT_TRUE(plain == PlainOf(options.files[i]));
            }
        }
    }
}

}  // namespace
