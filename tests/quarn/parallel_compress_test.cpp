// Data sets compressed on worker threads: the stored stream is one that the
// single coder decodes, QuickLZ's bytes are the single coder's, and a backup
// on several threads restores to the same files as one on a single thread.
// Faults of a worker and a cancel end the job with their code and every
// thread joined.
#include "quarn/compression/compress_data.h"
#include "quarn/compression/parallel_compressor.h"
#include "quarn/image/data_set_reader.h"
#include "quarn/io/device_io.h"
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/reseal_volume.h"
#include "support/test_support.h"
#include "support/zlib_raw.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <dirent.h>

using namespace testsupport;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes TextBytes(size_t size)
{
    Bytes text;
    for (int i = 0; text.size() < size; ++i) {
        const std::string line = "record " + std::to_string(i * 7919 % 100003) + " state ok\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    text.resize(size);
    return text;
}

// A pool whose sink appends to *stored.
struct Pool {
    Pool(int type, unsigned threads)
        : compressor(type, threads, [this](const unsigned char* data, uint64_t length) {
              stored.insert(stored.end(), data, data + length);
              return 0;
          })
    {}
    Bytes stored;
    CParallelCompressor compressor;
};

// Compresses `plain` through the pool as one set, handing it over in
// pieces of `piece` bytes.
int CompressInParallel(CParallelCompressor& pool, const Bytes& plain, size_t piece)
{
    for (size_t done = 0; done < plain.size(); done += piece) {
        const uint32_t n = static_cast<uint32_t>(std::min(piece, plain.size() - done));
        const int result = pool.Append(plain.data() + done, n);
        if (result != 0)
            return result;
    }
    return pool.Finish(true);
}

// The single coder, called as the backup calls it, in chunks of 0x20000 bytes.
Bytes CompressSingle(int type, const Bytes& plain)
{
    CCompressData coder(static_cast<unsigned char>(type));
    Bytes stored;
    auto drain = [&](unsigned char* data, unsigned length, bool final) {
        bool more = false;
        do {
            unsigned char* out = nullptr;
            unsigned long outLength = 0;
            EXPECT_EQ(coder.Compress(more ? nullptr : data, more ? 0 : length, final, &out, &outLength, more),
                      0);
            if (outLength != 0)
                stored.insert(stored.end(), out, out + outLength);
        } while (more);
    };
    for (size_t done = 0; done < plain.size(); done += ImageFormat::kChunkBytes) {
        const unsigned n =
            static_cast<unsigned>(std::min<size_t>(ImageFormat::kChunkBytes, plain.size() - done));
        drain(const_cast<uint8_t*>(plain.data() + done), n, false);
    }
    drain(nullptr, 0, true);
    return stored;
}

// Decodes a stored set with the single coder, as the restore does.
Bytes Decompress(int type, const Bytes& stored, bool* ok)
{
    CCompressData coder(static_cast<unsigned char>(type));
    Bytes plain;
    *ok = true;
    auto drain = [&](unsigned char* data, unsigned length, bool final) {
        bool more = false;
        do {
            unsigned char* out = nullptr;
            unsigned long outLength = 0;
            if (coder.Decompress(more ? nullptr : data, more ? 0 : length, final, &out, &outLength, more) !=
                0) {
                *ok = false;
                return;
            }
            if (outLength != 0)
                plain.insert(plain.end(), out, out + outLength);
        } while (more);
    };
    for (size_t done = 0; done < stored.size() && *ok; done += 0x4000) {
        const unsigned n = static_cast<unsigned>(std::min<size_t>(0x4000, stored.size() - done));
        drain(const_cast<uint8_t*>(stored.data() + done), n, false);
    }
    if (*ok)
        drain(nullptr, 0, true);
    return plain;
}

// Sets QUARN_THREADS for the object's lifetime.
class ThreadsSetting {
public:
    explicit ThreadsSetting(unsigned threads)
    {
        const char* old = std::getenv("QUARN_THREADS");
        m_had = old != nullptr;
        if (m_had)
            m_old = old;
        setenv("QUARN_THREADS", std::to_string(threads).c_str(), 1);
    }
    ~ThreadsSetting()
    {
        if (m_had)
            setenv("QUARN_THREADS", m_old.c_str(), 1);
        else
            unsetenv("QUARN_THREADS");
    }

private:
    bool m_had = false;
    std::string m_old;
};

size_t ThreadCount()
{
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        closedir(dir);
    }
    return count;
}

TEST(ParallelCompressor, StreamsDecodeWithTheSingleCoder)
{
    struct Case {
        const char* what;
        Bytes plain;
    };
    const Case contents[] = {
        {"empty", {}},
        {"100 bytes", TextBytes(100)},
        {"one block", TextBytes(CParallelCompressor::kBlockBytes)},
        {"one block and a byte", TextBytes(CParallelCompressor::kBlockBytes + 1)},
        {"five packets and 7 bytes", TextBytes(0x8000 * 5 + 7)},
        {"3 MiB of text", TextBytes(3 << 20)},
        {"3 MiB of noise", PatternBytes(3 << 20, 11)},
    };
    for (int type : {1, 2, 3}) {
        Pool pool(type, 4);
        ASSERT_TRUE(pool.compressor.IsReady());
        for (const Case& c : contents) {
            for (size_t piece : {size_t(ImageFormat::kChunkBytes), size_t(1000), size_t(0x30001)}) {
                SCOPED_TRACE(testing::Message()
                             << "type " << type << ", " << c.what << ", pieces of " << piece);
                pool.stored.clear();
                ASSERT_EQ(CompressInParallel(pool.compressor, c.plain, piece), 0);
                const Bytes& stored = pool.stored;
                bool ok = false;
                EXPECT_EQ(Decompress(type, stored, &ok), c.plain);
                EXPECT_TRUE(ok);
                const Bytes single = CompressSingle(type, c.plain);
                // QuickLZ's packets are the single coder's; so is any set
                // of one block, whatever the type.
                if (type == 1 || c.plain.size() <= CParallelCompressor::kBlockBytes) {
                    EXPECT_TRUE(stored == single) << "differs from the single coder's stream";
                }
            }
        }
    }
}

TEST(ParallelCompressor, DeflateSetsAreStandardStreamsThatZlibReads)
{
    ZlibRaw zlib;
    ASSERT_TRUE(zlib.Loaded());
    const Bytes contents[] = {{},
                              TextBytes(100),
                              TextBytes(CParallelCompressor::kBlockBytes + 1),
                              TextBytes(3 << 20),
                              PatternBytes(3 << 20, 11)};
    for (int type : {2, 3}) {
        Pool pool(type, 4);
        ASSERT_TRUE(pool.compressor.IsReady());
        for (const Bytes& plain : contents) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << plain.size() << " bytes");
            pool.stored.clear();
            ASSERT_EQ(CompressInParallel(pool.compressor, plain, ImageFormat::kChunkBytes), 0);
            Bytes back;
            EXPECT_TRUE(zlib.Inflate(pool.stored, &back));
            EXPECT_TRUE(back == plain);
            // The single coder's stream too.
            back.clear();
            EXPECT_TRUE(zlib.Inflate(CompressSingle(type, plain), &back));
            EXPECT_TRUE(back == plain);
        }
    }
}

TEST(ParallelCompressor, SinkFailureEndsTheSetAndTheNextSetStartsClean)
{
    Bytes stored;
    int calls = 0;
    bool failing = true;
    CParallelCompressor pool(2, 3, [&](const unsigned char* data, uint64_t length) {
        if (failing && ++calls == 2)
            return int(ERR_WRITE_FILE);
        stored.insert(stored.end(), data, data + length);
        return 0;
    });
    ASSERT_TRUE(pool.IsReady());
    const Bytes plain = TextBytes(2 << 20);
    EXPECT_EQ(CompressInParallel(pool, plain, ImageFormat::kChunkBytes), ERR_WRITE_FILE);
    EXPECT_EQ(calls, 2) << "nothing more went out after the failure";
    EXPECT_TRUE(pool.Idle());

    failing = false;
    stored.clear();
    ASSERT_EQ(CompressInParallel(pool, plain, ImageFormat::kChunkBytes), 0);
    bool ok = false;
    EXPECT_EQ(Decompress(2, stored, &ok), plain);
}

// Sets queued without waiting and the actions between them come out in
// their order; an action's failure ends everything after it.
TEST(ParallelCompressor, ActionsKeepTheirPlaceBetweenSets)
{
    std::vector<std::string> events;
    Bytes stored;
    CParallelCompressor pool(2, 4, [&](const unsigned char* data, uint64_t length) {
        stored.insert(stored.end(), data, data + length);
        return 0;
    });
    ASSERT_TRUE(pool.IsReady());
    std::vector<Bytes> sets = {TextBytes(700000), PatternBytes(5000, 2), TextBytes(0),
                               PatternBytes(400000, 3)};
    std::vector<size_t> ends;
    for (size_t i = 0; i < sets.size(); ++i) {
        ASSERT_EQ(pool.Later([&, i] {
            events.push_back("head " + std::to_string(i));
            return 0;
        }),
                  0);
        if (!sets[i].empty()) {
            ASSERT_EQ(pool.Append(sets[i].data(), static_cast<uint32_t>(sets[i].size())), 0);
        }
        ASSERT_EQ(pool.Finish(false), 0);
        ASSERT_EQ(pool.Later([&, i] {
            events.push_back("end " + std::to_string(i));
            ends.push_back(stored.size());
            return 0;
        }),
                  0);
    }
    ASSERT_EQ(pool.Drain(), 0);
    EXPECT_TRUE(pool.Idle());
    EXPECT_EQ(events, (std::vector<std::string>{"head 0", "end 0", "head 1", "end 1", "head 2", "end 2",
                                                "head 3", "end 3"}));
    ASSERT_EQ(ends.size(), sets.size());
    size_t from = 0;
    for (size_t i = 0; i < sets.size(); ++i) {
        bool ok = false;
        EXPECT_EQ(Decompress(2, Bytes(stored.begin() + long(from), stored.begin() + long(ends[i])), &ok),
                  sets[i])
            << i;
        EXPECT_TRUE(ok);
        from = ends[i];
    }

    // A failing action: what was queued after it never runs.
    events.clear();
    ASSERT_EQ(pool.Append(sets[0].data(), static_cast<uint32_t>(sets[0].size())), 0);
    ASSERT_EQ(pool.Finish(false), 0);
    int result = pool.Later([] { return int(ERR_WRITE_FILE); });
    if (result == 0)
        result = pool.Later([&] {
            events.push_back("after");
            return 0;
        });
    if (result == 0)
        result = pool.Drain();
    EXPECT_EQ(result, ERR_WRITE_FILE);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(pool.Idle());
}

TEST(ParallelCompressor, WorkerFaultsGiveTheirCodes)
{
    for (int code : {int(ERR_COMPRESS), int(ERR_NO_MEMORY)}) {
        SCOPED_TRACE(code);
        Pool pool(3, 4);
        ASSERT_TRUE(pool.compressor.IsReady());
        CParallelCompressor::FailBlockForTests(3, code);
        EXPECT_EQ(CompressInParallel(pool.compressor, PatternBytes(4 << 20, 3), ImageFormat::kChunkBytes),
                  code);
        CParallelCompressor::FailBlockForTests(0, 0);
    }
}

TEST(ParallelCompressor, ThreadsFromEnvironment)
{
    {
        ThreadsSetting one(1);
        EXPECT_EQ(CParallelCompressor::ThreadsFromEnvironment(), 1u);
    }
    {
        ThreadsSetting six(6);
        EXPECT_EQ(CParallelCompressor::ThreadsFromEnvironment(), 6u);
    }
    setenv("QUARN_THREADS", "none", 1);
    EXPECT_GE(CParallelCompressor::ThreadsFromEnvironment(), 1u) << "a bad value means one per core";
    unsetenv("QUARN_THREADS");
}

// An NTFS source with large compressible and incompressible files, so that
// its data sets span many blocks.
class ParallelBackupTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveNtfsTools())
            SKIP_OR_FAIL_IN_CI("ntfs-3g's tools are missing");
        files.push_back({"logs.txt", TextBytes(5 << 20)});
        files.push_back({"noise.bin", PatternBytes((3 << 20) + 4321, 21)});
        files.push_back({"small.txt", TextBytes(3000)});
        std::string why;
        bool needsMount = false;
        ASSERT_TRUE(MakeNtfsPartition(part, 64 << 20, &why)) << why;
        if (!FillNtfsPartition(part, dir.path(), files, &why, &needsMount))
            FAIL() << why;
    }

    // The image's bytes without the start time (block start clock, chain id)
    // and what depends on it or on chance (the check record's image id, the
    // digest of the end records and the record's own digest).
    static Bytes ImageWithoutTimes(const std::string& volume)
    {
        Bytes bytes = ReadFileBytes(volume);
        if (bytes.size() < sizeof(tagBLOCK_END))
            return bytes;
        const size_t end = bytes.size() - sizeof(tagBLOCK_END);
        tagBLOCK_END trailer;
        std::memcpy(&trailer, &bytes[end], sizeof trailer);
        std::fill_n(bytes.begin() + static_cast<long>(end + offsetof(tagBLOCK_END, chainId)), 4, 0);
        const uint64_t start = trailer.blkStartLow | (uint64_t(trailer.blkStartHigh) << 32);
        if (start != 0 && start + sizeof(tagBLOCK_START) <= end) {
            std::fill(bytes.begin() + static_cast<long>(start + offsetof(tagBLOCK_START, year)),
                      bytes.begin() + static_cast<long>(start + offsetof(tagBLOCK_START, mftBitmapSize)), 0);
        }
        MaskCheckRecordChance(bytes);
        return bytes;
    }

    TempDir dir;
    std::string part = dir.file("sdy1");
    std::vector<NtfsFileSpec> files;
};

TEST_F(ParallelBackupTest, EveryThreadCountRestoresTheSameFiles)
{
    for (int type : {1, 2, 3}) {
        for (uint64_t split : {ImageFormat::kNeverSplit, uint64_t(1500000)}) {
            std::vector<Bytes> firstVolumes;
            for (unsigned threads : {1u, 4u}) {
                SCOPED_TRACE(testing::Message()
                             << "type " << type << ", split " << split << ", threads " << threads);
                ThreadsSetting setting(threads);
                // The same base name: the volumes store their own names.
                TempDir out;
                const std::string base = out.file("img");
                ASSERT_EQ(BackupNtfsImage(part, base, type, split), 0);
                firstVolumes.push_back(ImageWithoutTimes(base + "_0_0.bkp"));
                const std::string target = dir.file("sdx1");
                MakeSparseFile(target, 64 << 20);
                ASSERT_EQ(RestoreNtfsImage(base + "_0_0.bkp", target), 0);
                EXPECT_EQ(NtfsCheckProblems(target), "");
                EXPECT_EQ(CompareNtfsFiles(target, files), "");
            }
            if (type == 1) {
                const Bytes& a = firstVolumes[0];
                const Bytes& b = firstVolumes[1];
                size_t at = 0;
                while (at < a.size() && at < b.size() && a[at] == b[at])
                    ++at;
                EXPECT_TRUE(a == b) << "QuickLZ images differ between thread counts, from byte " << at
                                    << " of " << a.size() << " and " << b.size();
            }
        }
    }
}

TEST_F(ParallelBackupTest, WorkerFaultEndsTheJobWithItsCode)
{
    ThreadsSetting setting(4);
    for (int code : {int(ERR_COMPRESS), int(ERR_NO_MEMORY)}) {
        SCOPED_TRACE(code);
        const std::string base = dir.file("fault" + std::to_string(code));
        CParallelCompressor::FailBlockForTests(5, code);
        EXPECT_EQ(BackupNtfsImage(part, base, 2), code);
        CParallelCompressor::FailBlockForTests(0, 0);
        // The failed job takes back its volume: nothing is left that a
        // reader could take for an image.
        EXPECT_FALSE(FileExists(base + "_0_0.bkp"));
        EXPECT_FALSE(FileExists(UnfinishedVolumeName(base + "_0_0.bkp")));
        const std::string target = dir.file("sdx1");
        MakeSparseFile(target, 64 << 20);
        EXPECT_NE(RestoreNtfsImage(base + "_0_0.bkp", target), 0);
    }
}

TEST_F(ParallelBackupTest, CancelReturnsPromptlyWithEveryThreadJoined)
{
    ThreadsSetting setting(8);
    // A whole job first, so that threads a sanitizer's runtime starts on
    // its own are there before the count.
    ASSERT_EQ(BackupNtfsImage(part, dir.file("whole"), 3), 0);
    const size_t threadsBefore = ThreadCount();
    tagCallBackFunc callbacks;
    callbacks.onProgress = [](int step, void*) { return step >= 10 ? 1 : 0; };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(BackupNtfsImage(dir.file("sdy1"), dir.file("cancelled"), 3, ImageFormat::kNeverSplit,
                              std::string(), callbacks),
              ERR_CANCELLED);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(ThreadCount(), threadsBefore) << "a worker thread outlived the job";
    // Not a speed target: a hang or a wait for the whole partition shows here.
    EXPECT_LT(seconds, 60.0);
}

// Volumes of data set parts, as a restore reads them: each volume file holds
// heads and stored bytes; OpenNextVolume moves to the next file.
class VolumeFiles : public DataSetSource {
public:
    VolumeFiles(const TempDir& dir, uint8_t type, const std::vector<Bytes>& volumes) : m_type(type)
    {
        for (size_t i = 0; i < volumes.size(); ++i) {
            m_paths.push_back(dir.file("vol" + std::to_string(i)));
            WriteFileBytes(m_paths.back(), volumes[i]);
        }
        m_io.Open(m_paths[0], CDeviceIo::ModeRead);
    }
    int64_t ReadImage(void* into, int64_t length) override { return m_io.Read(into, length); }
    int SkipImage(uint64_t length) override
    {
        return m_io.Seek(int64_t(length), SEEK_CUR) == 0 ? 0 : ERR_SEEK_FILE;
    }
    uint64_t ImageBytesLeft() const override
    {
        return FileSize(m_paths[m_index]) - uint64_t(m_io.GetCurrentPos());
    }
    int OpenNextVolume() override
    {
        if (m_index + 1 >= m_paths.size())
            return ERR_FILE_NOT_FOUND;
        m_io.Close();
        return m_io.Open(m_paths[++m_index], CDeviceIo::ModeRead) == 0 ? 0 : ERR_OPEN_FILE;
    }
    uint8_t CompressType() const override { return m_type; }

private:
    uint8_t m_type;
    std::vector<std::string> m_paths;
    size_t m_index = 0;
    CDeviceIo m_io;
};

void AppendPart(Bytes& volume, const Bytes& stored, size_t from, size_t to, bool continued)
{
    tagDATA_SET_HEAD head{};
    head.dataBytes = to - from;
    head.continued = continued ? 1 : 0;
    const auto* raw = reinterpret_cast<const uint8_t*>(&head);
    volume.insert(volume.end(), raw, raw + sizeof head);
    volume.insert(volume.end(), stored.begin() + long(from), stored.begin() + long(to));
}

// Reads every set of the volumes through a reader; the plain bytes of each,
// or the first failure's code.
int ReadSets(DataSetSource& source, size_t sets, std::vector<Bytes>* plain)
{
    CDataSetReader reader(source);
    int result = reader.Init();
    for (size_t i = 0; i < sets && result == 0; ++i) {
        result = reader.Begin();
        Bytes bytes;
        unsigned char chunk[5000];
        for (uint32_t got = sizeof chunk; result == 0 && got == sizeof chunk;) {
            result = reader.Read(chunk, sizeof chunk, &got);
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        uint64_t extra = 0;
        if (result == 0)
            result = reader.Finish(&extra);
        plain->push_back(bytes);
    }
    return result;
}

// A restore reads the same bytes whether it decodes on the job's thread or
// ahead on a worker (sets split over volumes or above a mebibyte), also
// across volumes; damaged streams fail alike and never hang, even one that
// gives nothing for a long run of stored bytes.
TEST(DecodeAhead, ReadsWhatTheJobThreadReads)
{
    TempDir dir;
    for (int type : {1, 2, 3}) {
        const std::vector<Bytes> sets = {TextBytes(900000), PatternBytes(300000, 8), TextBytes(10),
                                         PatternBytes(1500000, 12)};
        std::vector<Bytes> stored;
        for (const Bytes& set : sets)
            stored.push_back(CompressSingle(type, set));
        // Set 0 split over three volumes, set 1 over two, set 2 in the last.
        std::vector<Bytes> volumes(3);
        const size_t a = stored[0].size() / 3, b = stored[0].size() * 2 / 3;
        AppendPart(volumes[0], stored[0], 0, a, true);
        AppendPart(volumes[1], stored[0], a, b, true);
        AppendPart(volumes[2], stored[0], b, stored[0].size(), false);
        AppendPart(volumes[2], stored[1], 0, 1000, true);
        volumes.push_back({});
        AppendPart(volumes[3], stored[1], 1000, stored[1].size(), false);
        AppendPart(volumes[3], stored[2], 0, stored[2].size(), false);
        AppendPart(volumes[3], stored[3], 0, stored[3].size(), false);
        for (unsigned threads : {1u, 4u}) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", threads " << threads);
            ThreadsSetting setting(threads);
            VolumeFiles source(dir, static_cast<uint8_t>(type), volumes);
            std::vector<Bytes> plain;
            ASSERT_EQ(ReadSets(source, sets.size(), &plain), 0);
            EXPECT_TRUE(plain == sets);
        }
    }

    struct Damage {
        const char* what;
        int type;
        Bytes stored;
        int expected;
    };
    Bytes garbage = PatternBytes(200000, 9);
    Bytes truncated = CompressSingle(2, TextBytes(500000));
    truncated.resize(truncated.size() / 2);
    // 60000 empty stored deflate blocks: 300000 stored bytes, no plain byte.
    Bytes empties;
    for (int i = 0; i < 60000; ++i)
        empties.insert(empties.end(), {0x00, 0x00, 0x00, 0xff, 0xff});
    empties.insert(empties.end(), {0x03, 0x00});
    const Damage damages[] = {
        {"noise as deflate", 2, garbage, ERR_COMPRESS},
        {"noise as QuickLZ", 1, garbage, ERR_COMPRESS},
        {"deflate cut in half", 2, truncated, ERR_COMPRESS},
        {"a long run of empty deflate blocks", 3, empties, 0},
    };
    // Each set goes on into a second volume: a set that small is decoded
    // ahead only when it is split.
    for (const Damage& d : damages) {
        std::vector<Bytes> volumes(2);
        AppendPart(volumes[0], d.stored, 0, d.stored.size() / 2, true);
        AppendPart(volumes[1], d.stored, d.stored.size() / 2, d.stored.size(), false);
        for (unsigned threads : {1u, 4u}) {
            SCOPED_TRACE(testing::Message() << d.what << ", threads " << threads);
            ThreadsSetting setting(threads);
            VolumeFiles source(dir, static_cast<uint8_t>(d.type), volumes);
            std::vector<Bytes> plain;
            EXPECT_EQ(ReadSets(source, 1, &plain), d.expected);
        }
    }

    // A set whose stored bytes end before its head says: a short read.
    std::vector<Bytes> volumes(2);
    const Bytes stored = CompressSingle(2, TextBytes(400000));
    AppendPart(volumes[0], stored, 0, 1000, true);
    AppendPart(volumes[1], stored, 1000, stored.size(), false);
    volumes[1].resize(volumes[1].size() - 100);
    for (unsigned threads : {1u, 4u}) {
        SCOPED_TRACE(testing::Message() << "short volume, threads " << threads);
        ThreadsSetting setting(threads);
        VolumeFiles source(dir, 2, volumes);
        std::vector<Bytes> plain;
        EXPECT_EQ(ReadSets(source, 1, &plain), ERR_READ_FILE);
    }
}

}  // namespace
