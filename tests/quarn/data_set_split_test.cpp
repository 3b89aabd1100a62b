// Data sets written by the backup's splitting writer and read back by the
// restore's data-set reader, byte for byte: every compression type, sets
// stored raw, sets of exact multiples of the chunk and packet sizes, empty
// sets, and split sizes that fall exactly on, just before and just after a
// chunk, or below one chunk. Between the sets stand fixed-size records, as
// the NTFS record stream has them, so that the reader must stop exactly at
// each set's end, also when the set ended in an earlier volume.
#include "quarn/compression/compress_data.h"
#include "quarn/image/compressed_file_types.h"
#include "quarn/image/data_set_reader.h"
#include "quarn/image/part_backup.h"
#include "quarn/image/part_restore.h"
#include "quarn/api/image_format.h"
#include "support/plain_partition_backup.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using testsupport::MakeSparseFile;
using testsupport::PatternBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint32_t kChunk = ImageFormat::kChunkBytes;
constexpr uint32_t kRecordBytes = 64;
constexpr uint32_t kStreamEnd = ImageFormat::kRecordStreamEnd;

struct FileSpec {
    uint64_t offset;     // in the source partition
    uint64_t length;     // 0: an empty set
    const char* name;    // its extension decides storedRaw
    bool noise = false;  // incompressible: QuickLZ stores it raw from one whole chunk on
};

bool ExpectStoredRaw(const FileSpec& file, int compressType)
{
    return IsCompressFile(file.name) != 0 || (compressType == 1 && file.noise && file.length >= kChunk);
}

Bytes Record(size_t index)
{
    return PatternBytes(kRecordBytes, static_cast<uint32_t>(1000 + index));
}

// Writes, for each file, a record then the file's data set; then a stream
// end mark. Records count towards the volume as NTFS file records do.
class SplitJob : public testsupport::PlainPartitionBackup {
public:
    SplitJob(const tagBackupArgument& arg, std::vector<FileSpec> files, bool recordsInEveryVolume)
        : PlainPartitionBackup(arg, tagCallBackFunc{}, nullptr, 0), m_files(std::move(files)),
          m_recordsInEveryVolume(recordsInEveryVolume)
    {
        if (recordsInEveryVolume)
            EndEveryVolumeWithRecords();
    }
    uint64_t dataSectionPos = 0;

protected:
    int BackupFiles() override
    {
        if (ImagePosition(&dataSectionPos) != 0)
            return ERR_SEEK_FILE;
        for (size_t i = 0; i < m_files.size(); ++i) {
            const FileSpec& file = m_files[i];
            Bytes record = Record(i);
            int result = WriteToVolume(record.data(), record.size(), record.size());
            if (result != 0)
                return result;
            result = BeginDataSet(IsCompressFile(file.name) != 0);
            for (uint64_t done = 0; result == 0 && done < file.length;) {
                uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunk, file.length - done));
                if (Source().pRead(int64_t(file.offset + done), ChunkBuffer(), n) != n)
                    return ERR_READ_PART;
                result = WriteDataChunk(ChunkBuffer(), n);
                done += n;
            }
            if (result == 0)
                result = EndDataSet();
            if (result != 0)
                return result;
        }
        return WriteToVolume(&kStreamEnd, sizeof kStreamEnd, 0);
    }
    int GetPartNumOfUsedBytes() override { return ERR_PART_INFO; }
    uint64_t GetMftBitmapAllocSize() const override { return m_recordsInEveryVolume ? 0 : 8; }
    int WriteMFTBitmap() override
    {
        if (m_recordsInEveryVolume)
            return 0;
        const Bytes bitmap(8, 0xFF);
        return WriteToVolume(bitmap.data(), 8, 0);
    }
    void WritePartInfoDiff(tagPARTITION_INFO* info) override
    {
        info->dataSectionPos = dataSectionPos;
        info->recordCount = static_cast<uint32_t>(m_files.size());
        info->fileRecordSize = 1024;
        info->bootAreaSize =
            m_recordsInEveryVolume ? ImageFormat::kFat32BootAreaBytes : ImageFormat::kNtfsBootAreaBytes;
    }

private:
    std::vector<FileSpec> m_files;
    bool m_recordsInEveryVolume;
};

// The shared half of a restore, reading the image's records and then the
// stream through CDataSetReader.
class StreamRestore : public CPartRestore {
public:
    using CPartRestore::CPartRestore;
    uint64_t dataSectionPos = 0;

protected:
    int SetMFTBitmapBuf(unsigned int size) override
    {
        Bytes skip(size);
        return m_image->Read(skip.data(), size) == int64_t(size) ? 0 : ERR_READ_FILE;
    }
    void SetPartInfo(tagPARTITION_INFO info) override { dataSectionPos = info.dataSectionPos; }
};

struct Source {
    TempDir dir;
    std::string part = dir.file("sdz1");
    Bytes bytes;

    Source()
    {
        // Incompressible, compressible and zero stretches.
        bytes = PatternBytes(3 << 20, 5);
        for (size_t i = 0x100000; i < 0x180000; ++i)
            bytes[i] = static_cast<uint8_t>("some text that repeats\n"[i % 23]);
        std::fill(bytes.begin() + 0x200000, bytes.begin() + 0x260000, 0);
        WriteFileBytes(part, bytes);
    }
};

std::vector<FileSpec> Files()
{
    return {
        {0x000000, kChunk, "exact-chunk.bin", true},
        {0x100000, 2 * kChunk, "two-chunks.log"},
        {0x010000, 1, "one.txt"},
        {0x200000, 0, "empty.bin"},
        {0x210000, 0x8000, "one-packet.dat"},
        {0x040000, 2 * kChunk + 1, "movie.mkv"},  // stored raw
        {0x220000, kChunk, "zeros.zip"},          // stored raw, crosses volumes too
        {0x120000, 300000, "text.txt"},
    };
}

// Reads the image back: each record, each set exactly, the end mark, and
// nothing after it in the last volume but its records.
std::string ReadBack(const std::string& firstVolume, const std::string& target, const Bytes& source,
                     const std::vector<FileSpec>& files, int compressType)
{
    tagRestoreArgument arg;
    arg.imagePath = firstVolume;
    arg.targetPartition = target;
    StreamRestore job(arg, tagCallBackFunc{});
    int result = job.RestoreInit();
    if (result != 0)
        return "RestoreInit " + std::to_string(result);
    CDataSetReader reader(job);
    result = reader.Init();
    if (result != 0)
        return "reader Init " + std::to_string(result);
    if (job.Image()->Seek(int64_t(job.dataSectionPos), SEEK_SET) != 0)
        return "seek to the data section";
    for (size_t i = 0; i < files.size(); ++i) {
        const FileSpec& file = files[i];
        Bytes record(kRecordBytes);
        if (job.Image()->Read(record.data(), kRecordBytes) != kRecordBytes || record != Record(i))
            return std::string("record before ") + file.name + " is not where it belongs";
        result = reader.Begin();
        if (result != 0)
            return std::string("Begin ") + file.name + ": " + std::to_string(result);
        if ((reader.Head().storedRaw != 0) != ExpectStoredRaw(file, compressType))
            return std::string("storedRaw of ") + file.name;
        Bytes plain(file.length);
        result = reader.ReadExactly(plain.data(), static_cast<uint32_t>(file.length));
        if (result != 0)
            return std::string("ReadExactly ") + file.name + ": " + std::to_string(result);
        if (!std::equal(plain.begin(), plain.end(), source.begin() + long(file.offset)))
            return std::string(file.name) + " differs from the source";
    }
    uint32_t end = 0;
    if (job.Image()->Read(&end, sizeof end) != sizeof end || end != kStreamEnd)
        return "the stream end mark is not behind the last set";
    return "";
}

struct SplitCase {
    int compressType;
    uint64_t volumeSize;
};

std::string Describe(const SplitCase& c, bool everyVolume)
{
    return "type " + std::to_string(c.compressType) + " split " + std::to_string(c.volumeSize) +
           (everyVolume ? " (records in every volume)" : " (records in the first volume)");
}

std::string RunCase(const Source& source, const SplitCase& c, bool everyVolume, size_t* volumes)
{
    TempDir out;
    tagBackupArgument arg;
    arg.srcPartition = source.part;
    arg.imagePath = out.file("img");
    arg.fsType = everyVolume ? FS_TYPE_FAT32 : FS_TYPE_NTFS;
    arg.compressType = c.compressType;
    arg.volumeSize = c.volumeSize;
    const std::vector<FileSpec> files = Files();
    SplitJob job(arg, files, everyVolume);
    testing::internal::CaptureStderr();
    int result = job.BackupPartition();
    std::string log = testing::internal::GetCapturedStderr();
    if (result != 0)
        return "backup " + std::to_string(result) + "\n" + log;
    *volumes = 0;
    while (testsupport::FileExists(VolumeFileName(arg.imagePath, unsigned(*volumes), 0)))
        ++*volumes;
    const std::string target = out.file("sdy1");
    MakeSparseFile(target, source.bytes.size());
    testing::internal::CaptureStderr();
    std::string error =
        ReadBack(VolumeFileName(arg.imagePath, 0, 0), target, source.bytes, files, c.compressType);
    log = testing::internal::GetCapturedStderr();
    return error.empty() ? "" : error + "\n" + log;
}

// Volume sizes at and around the chunk boundaries of an uncompressed
// image: the first volume's reserve plus the record and set head before the
// first chunk, then whole chunks.
std::vector<uint64_t> BoundarySizes(bool everyVolume)
{
    const uint64_t reserve = everyVolume ? 0 : 1024;
    const uint64_t beforeFirstChunk = reserve + kRecordBytes;  // heads are not counted
    std::vector<uint64_t> sizes;
    for (uint64_t chunks : {1, 2, 3})
        for (int64_t delta : {-1, 0, 1})
            sizes.push_back(uint64_t(int64_t(beforeFirstChunk + chunks * kChunk) + delta));
    return sizes;
}

}  // namespace

TEST(DataSetSplit, WriterAndReaderAgreeOnEverySplit)
{
    Source source;
    for (bool everyVolume : {false, true}) {
        std::vector<SplitCase> cases;
        for (int type : {0, 1, 2, 3}) {
            cases.push_back({type, ImageFormat::kNeverSplit});
            cases.push_back({type, 5000});  // below one chunk: a volume per chunk
            cases.push_back({type, 1});     // every stored byte run changes volume
            for (uint64_t size : BoundarySizes(everyVolume))
                cases.push_back({type, size});
        }
        for (const SplitCase& c : cases) {
            if (c.compressType != 0 && !CCompressData(static_cast<unsigned char>(c.compressType)).IsReady())
                continue;
            size_t volumes = 0;
            EXPECT_EQ(RunCase(source, c, everyVolume, &volumes), "") << Describe(c, everyVolume);
            if (c.volumeSize == ImageFormat::kNeverSplit)
                EXPECT_EQ(volumes, 1u) << Describe(c, everyVolume);
            else
                EXPECT_GE(volumes, 2u) << Describe(c, everyVolume);
        }
    }
}
