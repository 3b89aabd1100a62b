// CCompressData and its two coders, driven the way the data-set writers and
// readers drive them: chunks of at most 0x20000 plain bytes, drained while
// `more` is set, closed by a final call.
#include "quarn/compression/compress_data.h"
#include "quarn/compression/deflate_stream.h"
#include "quarn/compression/quicklz_codec.h"
#include "quarn/compression/quicklz_stream.h"
#include "support/test_support.h"
#include "support/zlib_raw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

using testsupport::PatternBytes;
using testsupport::ZlibRaw;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr size_t kChunk = 0x20000;

Bytes TextBytes(size_t size)
{
    static const char kWords[] = "partition image volume cluster record bitmap sector restore backup ";
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(kWords[(i * 7 + i / 61) % (sizeof kWords - 1)]);
    return bytes;
}

// About 1.1 MiB of text, zeros, random bytes and short repeats, in pieces
// whose edges do not line up with blocks or chunks.
Bytes MixedCorpus()
{
    Bytes all;
    auto add = [&all](const Bytes& part) { all.insert(all.end(), part.begin(), part.end()); };
    add(TextBytes(300001));
    add(Bytes(200003, 0));
    add(PatternBytes(250007, 5));
    add(TextBytes(1000));
    add(Bytes(70000, 0xE5));
    add(PatternBytes(33333, 6));
    Bytes repeats(200000);
    for (size_t i = 0; i < repeats.size(); ++i)
        repeats[i] = static_cast<uint8_t>((i % 13) * (i / 4096));
    add(repeats);
    return all;
}

struct StreamStats {
    int calls = 0;
    int drains = 0;  // calls made because the previous one set more
};

enum class Coding { Compress, Decompress };

// One call of a calling order, then the calls without input that drain the
// coder while it says more; the output is appended.
int CallAndDrain(CCompressData& coder, Coding coding, const uint8_t* data, size_t length, bool final,
                 Bytes* output, StreamStats& s)
{
    bool more = false;
    bool first = true;
    do {
        unsigned char* in = first ? const_cast<uint8_t*>(data) : nullptr;
        const unsigned inLength = first ? static_cast<unsigned>(length) : 0;
        unsigned char* out = nullptr;
        unsigned long outLength = 0;
        int result = coding == Coding::Compress
                         ? coder.Compress(in, inLength, final, &out, &outLength, more)
                         : coder.Decompress(in, inLength, final, &out, &outLength, more);
        ++s.calls;
        if (!first)
            ++s.drains;
        first = false;
        if (result != 0)
            return result;
        if ((out == nullptr) != (outLength == 0))
            return -100;
        if (outLength > 0)
            output->insert(output->end(), out, out + outLength);
    } while (more);
    return 0;
}

// The writer's calling order. chunkSizes are used in turn.
int CompressStream(CCompressData& coder, const Bytes& plain, const std::vector<size_t>& chunkSizes,
                   Bytes* stored, StreamStats* stats = nullptr)
{
    StreamStats local;
    StreamStats& s = stats ? *stats : local;
    size_t done = 0;
    for (size_t k = 0; done < plain.size(); ++k) {
        size_t length = std::min(chunkSizes[k % chunkSizes.size()], plain.size() - done);
        if (int result = CallAndDrain(coder, Coding::Compress, plain.data() + done, length, false, stored, s))
            return result;
        done += length;
    }
    return CallAndDrain(coder, Coding::Compress, nullptr, 0, true, stored, s);
}

// The reader's mirror image, feeding the stored bytes in pieces.
int DecompressStream(CCompressData& coder, const Bytes& stored, size_t pieceSize, Bytes* plain,
                     StreamStats* stats = nullptr)
{
    StreamStats local;
    StreamStats& s = stats ? *stats : local;
    for (size_t done = 0; done < stored.size(); done += pieceSize) {
        size_t length = std::min(pieceSize, stored.size() - done);
        if (int result =
                CallAndDrain(coder, Coding::Decompress, stored.data() + done, length, false, plain, s))
            return result;
    }
    return CallAndDrain(coder, Coding::Decompress, nullptr, 0, true, plain, s);
}

// Counts the QuickLZ packets in a stream; -1 when they do not tile it.
int CountPackets(const Bytes& stream)
{
    int count = 0;
    size_t at = 0;
    while (at < stream.size()) {
        size_t c = 0;
        size_t n = 0;
        if (qlz_read_header(reinterpret_cast<const char*>(stream.data() + at), stream.size() - at, &c, &n) !=
            1)
            return -1;
        at += c;
        ++count;
    }
    return at == stream.size() ? count : -1;
}

}  // namespace

TEST(CompressDataEdgeCases, QuickLzChunkOf0x20000GivesFourPacketsThenNothing)
{
    for (const Bytes& plain : {TextBytes(kChunk), PatternBytes(kChunk, 1), Bytes(kChunk, 0)}) {
        CCompressData coder(1);
        ASSERT_TRUE(coder.IsReady());
        unsigned char* out = nullptr;
        unsigned long outLength = 0;
        bool more = true;
        Bytes copy = plain;
        ASSERT_EQ(coder.Compress(copy.data(), kChunk, false, &out, &outLength, more), 0);
        EXPECT_FALSE(more);
        ASSERT_NE(out, nullptr);
        Bytes stream(out, out + outLength);
        EXPECT_EQ(CountPackets(stream), 4);

        ASSERT_EQ(coder.Compress(nullptr, 0, true, &out, &outLength, more), 0);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(outLength, 0u);
        EXPECT_FALSE(more);

        CCompressData reader(1);
        Bytes back;
        ASSERT_EQ(DecompressStream(reader, stream, kChunk, &back), 0);
        EXPECT_EQ(back, plain);
    }
}

TEST(CompressDataEdgeCases, QuickLz100BytesWaitForTheFinalCall)
{
    CCompressData coder(1);
    Bytes plain = TextBytes(100);
    unsigned char* out = reinterpret_cast<unsigned char*>(1);
    unsigned long outLength = 7;
    bool more = true;
    ASSERT_EQ(coder.Compress(plain.data(), 100, false, &out, &outLength, more), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outLength, 0u);
    EXPECT_FALSE(more);

    ASSERT_EQ(coder.Compress(nullptr, 0, true, &out, &outLength, more), 0);
    EXPECT_FALSE(more);
    ASSERT_NE(out, nullptr);
    Bytes stream(out, out + outLength);
    EXPECT_EQ(CountPackets(stream), 1);
    EXPECT_EQ(qlz_size_decompressed(reinterpret_cast<const char*>(stream.data())), 100u);

    CCompressData reader(1);
    Bytes back;
    ASSERT_EQ(DecompressStream(reader, stream, 1, &back), 0);
    EXPECT_EQ(back, plain);
}

TEST(CompressDataEdgeCases, EmptyDeflateSetIsAValidEmptyStream)
{
    ZlibRaw zlib;
    ASSERT_TRUE(zlib.Loaded());
    for (unsigned char type : {2, 3}) {
        SCOPED_TRACE(int(type));
        CCompressData coder(type);
        ASSERT_TRUE(coder.IsReady());
        unsigned char* out = nullptr;
        unsigned long outLength = 0;
        bool more = true;
        ASSERT_EQ(coder.Compress(nullptr, 0, true, &out, &outLength, more), 0);
        EXPECT_FALSE(more);
        ASSERT_GT(outLength, 0u);
        Bytes stream(out, out + outLength);
        Bytes plain;
        EXPECT_TRUE(zlib.Inflate(stream, &plain));
        EXPECT_TRUE(plain.empty());

        // The same coder then makes a normal set, a stream of its own.
        Bytes text = TextBytes(5000);
        Bytes second;
        ASSERT_EQ(CompressStream(coder, text, {kChunk}, &second), 0);
        plain.clear();
        EXPECT_TRUE(zlib.Inflate(second, &plain));
        EXPECT_EQ(plain, text);

        CCompressData reader(type);
        Bytes back;
        EXPECT_EQ(DecompressStream(reader, stream, kChunk, &back), 0);
        EXPECT_TRUE(back.empty());
    }
}

TEST(CompressDataEdgeCases, TypesWithoutCoderReturnOne)
{
    for (unsigned char type : {0, 4, 200}) {
        SCOPED_TRACE(int(type));
        CCompressData coder(type);
        EXPECT_TRUE(coder.IsReady());
        Bytes data(10, 'a');
        unsigned char* out = reinterpret_cast<unsigned char*>(1);
        unsigned long outLength = 5;
        bool more = true;
        EXPECT_EQ(coder.Compress(data.data(), 10, false, &out, &outLength, more), 1);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(outLength, 0u);
        EXPECT_FALSE(more);
        EXPECT_EQ(coder.Compress(nullptr, 0, true, &out, &outLength, more), 1);
        EXPECT_EQ(coder.Decompress(data.data(), 10, false, &out, &outLength, more), 1);
    }
}

TEST(CompressDataRoundTrip, ChunkedStreamsOfEveryType)
{
    const Bytes corpus = MixedCorpus();
    const std::vector<std::vector<size_t>> schedules = {
        {kChunk}, {0x8000}, {1, 0x7FFF, 0x8001, kChunk, 100, 77777, 0x10000}};
    for (unsigned char type : {1, 2, 3}) {
        for (size_t s = 0; s < schedules.size(); ++s) {
            SCOPED_TRACE("type " + std::to_string(type) + " schedule " + std::to_string(s));
            CCompressData writer(type);
            Bytes stored;
            ASSERT_EQ(CompressStream(writer, corpus, schedules[s], &stored), 0);
            EXPECT_LT(stored.size(), corpus.size());
            for (size_t piece : {kChunk, size_t(4093), size_t(0x40000)}) {
                SCOPED_TRACE("pieces of " + std::to_string(piece));
                CCompressData reader(type);
                Bytes back;
                StreamStats stats;
                ASSERT_EQ(DecompressStream(reader, stored, piece, &back, &stats), 0);
                EXPECT_TRUE(back == corpus);
                if (type != 1 || piece >= kChunk) {
                    EXPECT_GT(stats.drains, 0) << "the output buffer never filled";
                }
            }
        }
    }
}

TEST(CompressDataRoundTrip, OneCoderServesManyDataSets)
{
    const std::vector<Bytes> sets = {TextBytes(1), Bytes(0x20000, 0), PatternBytes(0x30001, 9),
                                     TextBytes(4097)};
    for (unsigned char type : {1, 2, 3}) {
        SCOPED_TRACE(int(type));
        CCompressData writer(type);
        CCompressData reader(type);
        std::vector<Bytes> stored(sets.size());
        for (size_t k = 0; k < sets.size(); ++k)
            ASSERT_EQ(CompressStream(writer, sets[k], {kChunk}, &stored[k]), 0);
        for (size_t k = 0; k < sets.size(); ++k) {
            Bytes back;
            ASSERT_EQ(DecompressStream(reader, stored[k], 5000, &back), 0);
            EXPECT_TRUE(back == sets[k]) << "set " << k;
        }
    }
}

TEST(CompressDataRoundTrip, DeflateStreamsAreReadByZlibItself)
{
    ZlibRaw zlib;
    ASSERT_TRUE(zlib.Loaded());
    const Bytes corpus = MixedCorpus();
    for (unsigned char type : {2, 3}) {
        CCompressData writer(type);
        Bytes stored;
        ASSERT_EQ(CompressStream(writer, corpus, {kChunk, 1000}, &stored), 0);
        Bytes plain;
        EXPECT_TRUE(zlib.Inflate(stored, &plain));
        EXPECT_TRUE(plain == corpus);
    }
}

TEST(CompressDataRoundTrip, StreamsZlibWroteForEarlierImagesAreRead)
{
    ZlibRaw zlib;
    ASSERT_TRUE(zlib.Loaded());
    const std::vector<Bytes> sets = {{}, TextBytes(1), MixedCorpus(), PatternBytes(0x60001, 4)};
    struct Writer {
        unsigned char type;
        int level;
    };
    for (const Writer writer : {Writer{2, 1}, Writer{3, -1}}) {
        for (size_t blockBytes : {size_t(0), kChunk}) {
            for (size_t k = 0; k < sets.size(); ++k) {
                SCOPED_TRACE(testing::Message()
                             << "type " << int(writer.type) << ", blocks of " << blockBytes << ", set " << k);
                const Bytes stored = zlib.Deflate(sets[k], writer.level, blockBytes);
                ASSERT_FALSE(stored.empty());
                for (size_t piece : {kChunk, size_t(777), size_t(61)}) {
                    CCompressData reader(writer.type);
                    Bytes back;
                    ASSERT_EQ(DecompressStream(reader, stored, piece, &back), 0);
                    EXPECT_TRUE(back == sets[k]);
                }
            }
        }
    }
}

TEST(CompressDataMore, QuickLzFullOutputBufferKeepsTheRestPending)
{
    // 16 blocks of random data become stored packets of 0x8009 bytes; after
    // 15 of them the next one might not fit at its worst-case size, so the
    // last block waits for the drain.
    const Bytes plain = PatternBytes(CQuick_LZ::kWorkBytes, 3);
    CCompressData writer(1);
    Bytes copy = plain;
    unsigned char* out = nullptr;
    unsigned long outLength = 0;
    bool more = false;
    ASSERT_EQ(writer.Compress(copy.data(), static_cast<unsigned>(copy.size()), false, &out, &outLength, more),
              0);
    EXPECT_TRUE(more);
    EXPECT_LE(outLength, CQuick_LZ::kOutputBytes);
    Bytes stored(out, out + outLength);
    EXPECT_EQ(CountPackets(stored), 15);
    ASSERT_EQ(writer.Compress(nullptr, 0, false, &out, &outLength, more), 0);
    EXPECT_FALSE(more);
    stored.insert(stored.end(), out, out + outLength);
    EXPECT_EQ(CountPackets(stored), 16);
    ASSERT_EQ(writer.Compress(nullptr, 0, true, &out, &outLength, more), 0);
    EXPECT_EQ(outLength, 0u);

    CCompressData reader(1);
    Bytes back;
    ASSERT_EQ(DecompressStream(reader, stored, kChunk, &back), 0);
    EXPECT_TRUE(back == plain);
}

TEST(CompressDataMore, QuickLzRefusesMoreThanItsWorkBuffer)
{
    Bytes big = PatternBytes(CQuick_LZ::kWorkBytes + 1, 4);
    CCompressData writer(1);
    unsigned char* out = nullptr;
    unsigned long outLength = 0;
    bool more = false;
    EXPECT_NE(writer.Compress(big.data(), static_cast<unsigned>(big.size()), false, &out, &outLength, more),
              0);
    // Pending bytes plus new input count together.
    ASSERT_EQ(writer.Compress(big.data(), 100, false, &out, &outLength, more), 0);
    EXPECT_NE(writer.Compress(big.data(), CQuick_LZ::kWorkBytes - 99, false, &out, &outLength, more), 0);
    // After a failure the coder starts clean.
    Bytes stored;
    const Bytes text = TextBytes(1000);
    ASSERT_EQ(CompressStream(writer, text, {kChunk}, &stored), 0);
    CCompressData reader(1);
    Bytes back;
    ASSERT_EQ(DecompressStream(reader, stored, kChunk, &back), 0);
    EXPECT_EQ(back, text);
}

TEST(CompressDataMore, DeflateOutputBeyondItsBufferIsDrained)
{
    const Bytes plain = PatternBytes(0x80000, 8);
    for (unsigned char type : {2, 3}) {
        CCompressData writer(type);
        Bytes stored;
        StreamStats stats;
        ASSERT_EQ(CompressStream(writer, plain, {plain.size()}, &stored, &stats), 0);
        EXPECT_GT(stats.drains, 0);
        CCompressData reader(type);
        Bytes back;
        ASSERT_EQ(DecompressStream(reader, stored, 0x40000, &back), 0);
        EXPECT_TRUE(back == plain);
    }
}

TEST(CompressDataMore, DeflateRefusesNewInputWhileDraining)
{
    const Bytes plain = PatternBytes(0x80000, 8);
    CCompressData writer(2);
    Bytes copy = plain;
    unsigned char* out = nullptr;
    unsigned long outLength = 0;
    bool more = false;
    ASSERT_EQ(writer.Compress(copy.data(), static_cast<unsigned>(copy.size()), false, &out, &outLength, more),
              0);
    ASSERT_TRUE(more);
    testing::internal::CaptureStderr();
    EXPECT_NE(writer.Compress(copy.data(), 10, false, &out, &outLength, more), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Compress data error"), std::string::npos);
}

namespace {

Bytes StoredStream(unsigned char type, const Bytes& plain)
{
    CCompressData writer(type);
    Bytes stored;
    EXPECT_EQ(CompressStream(writer, plain, {kChunk}, &stored), 0);
    return stored;
}

}  // namespace

TEST(CompressDataRoundTrip, EveryPieceSizeOfASmallStreamIsRead)
{
    // The inflater reads ahead of what it has decoded; however the stored
    // bytes are cut, the stream ends where it ends and nothing is left over.
    ZlibRaw zlib;
    ASSERT_TRUE(zlib.Loaded());
    Bytes plain = TextBytes(20000);
    const Bytes noise = PatternBytes(3000, 12);
    plain.insert(plain.end(), noise.begin(), noise.end());
    struct Case {
        const char* what;
        unsigned char type;
        Bytes stored;
    };
    const Case cases[] = {
        {"zlib level 1", 2, zlib.Deflate(plain, 1, 0)},
        {"zlib's default level in blocks", 3, zlib.Deflate(plain, -1, 0x2000)},
        {"type 2 as written now", 2, StoredStream(2, plain)},
        {"type 3 as written now", 3, StoredStream(3, plain)},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.stored.empty()) << c.what;
        for (size_t piece = 1; piece <= 64; ++piece) {
            SCOPED_TRACE(testing::Message() << c.what << ", pieces of " << piece);
            CCompressData reader(c.type);
            Bytes back;
            ASSERT_EQ(DecompressStream(reader, c.stored, piece, &back), 0);
            EXPECT_TRUE(back == plain);
            // One byte more is refused, wherever the pieces fall.
            Bytes longer = c.stored;
            longer.push_back(0);
            CCompressData strict(c.type);
            Bytes ignored;
            testing::internal::CaptureStderr();
            EXPECT_NE(DecompressStream(strict, longer, piece, &ignored), 0);
            testing::internal::GetCapturedStderr();
        }
    }
}

TEST(CompressDataDamage, BrokenStreamsFailWithoutStrayAccess)
{
    const Bytes plain = MixedCorpus();
    struct Case {
        const char* what;
        unsigned char type;
        Bytes stored;
    };
    std::vector<Case> cases;
    for (unsigned char type : {1, 2, 3}) {
        const Bytes good = StoredStream(type, plain);
        cases.push_back({"cut by one byte", type, Bytes(good.begin(), good.end() - 1)});
        cases.push_back({"cut in the middle", type, Bytes(good.begin(), good.begin() + good.size() / 2)});
        Bytes trailing = good;
        trailing.insert(trailing.end(), {0x45, 0x20});
        cases.push_back({"trailing bytes", type, trailing});
        Bytes garbage = PatternBytes(5000, type);
        garbage[0] = 0xFF;  // neither a packet flag nor a valid first deflate block
        cases.push_back({"garbage", type, garbage});
    }
    const Bytes quick = StoredStream(1, plain);
    Bytes hugePacket = quick;
    hugePacket[0] = 0x47;
    hugePacket[1] = hugePacket[2] = hugePacket[3] = hugePacket[4] = 0xFF;
    cases.push_back({"packet claims 4 GiB", 1, hugePacket});
    // The second packet's flag byte turned into a level-3 flag.
    Bytes secondFlag = quick;
    secondFlag[qlz_size_compressed(reinterpret_cast<const char*>(quick.data()))] = 0x4F;
    cases.push_back({"bad flag in the second packet", 1, secondFlag});
    Bytes matchFirst = quick;
    // The first group's first item turned into a match of an empty slot.
    matchFirst[9] |= 1;
    cases.push_back({"match before the start of the output", 1, matchFirst});
    const Bytes deflated = StoredStream(2, plain);
    Bytes badBlock = deflated;
    badBlock[0] |= 0x06;  // block type 3 does not exist
    cases.push_back({"reserved block type", 2, badBlock});

    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", type " + std::to_string(c.type));
        for (size_t piece : {kChunk, size_t(777)}) {
            CCompressData reader(c.type);
            Bytes back;
            testing::internal::CaptureStderr();
            int result = DecompressStream(reader, c.stored, piece, &back);
            testing::internal::GetCapturedStderr();
            EXPECT_NE(result, 0);
        }
    }
}

TEST(CompressDataDamage, EveryByteChangeOfASmallStreamIsSafe)
{
    ZlibRaw zlib;
    ASSERT_TRUE(zlib.Loaded());
    const Bytes plain = TextBytes(3000);
    struct Case {
        const char* what;
        unsigned char type;
        Bytes good;
        // Streams of images without checksums, where the coder's own
        // checks are all that finds damage: most changes must be found.
        bool mostFound;
    };
    const Case cases[] = {
        {"QuickLZ", 1, StoredStream(1, plain), true},
        {"deflate level 1 as zlib stored it", 2, zlib.Deflate(plain, 1, 0), true},
        // The denser streams written now leave fewer bytes whose change
        // breaks the stream's structure; their images carry checksums,
        // which find every change (image_damage_campaign_test).
        {"deflate as written now", 2, StoredStream(2, plain), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.good.empty());
        size_t refused = 0;
        for (size_t at = 0; at < c.good.size(); ++at) {
            Bytes damaged = c.good;
            damaged[at] ^= 0x5A;
            CCompressData reader(c.type);
            Bytes back;
            testing::internal::CaptureStderr();
            int result = DecompressStream(reader, damaged, 500, &back);
            testing::internal::GetCapturedStderr();
            if (result != 0) {
                ++refused;
                continue;
            }
            // Neither coder keeps a checksum, so a changed literal passes;
            // but QuickLZ packets state their sizes, and a deflate stream
            // cannot grow far from a few changed bits.
            if (c.type == 1) {
                EXPECT_EQ(back.size(), plain.size()) << "byte " << at;
            }
            EXPECT_LE(back.size(), 2 * plain.size()) << "byte " << at;
        }
        // Headers, sizes and codes: most changes are found.
        if (c.mostFound) {
            EXPECT_GE(refused * 4, c.good.size() * 3)
                << refused << " of " << c.good.size() << " changes refused";
        }
    }
}

TEST(CLibzReports, OneLineNamingTheSourceFile)
{
    CLibz coder;  // never initialised
    unsigned char* out = nullptr;
    unsigned long outLength = 0;
    bool more = false;
    testing::internal::CaptureStderr();
    EXPECT_EQ(coder.compress(nullptr, 0, true, &out, &outLength, more), -1);
    std::string text = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(
        std::regex_match(text, std::regex("Invalid handle,last_error = -1,file : zcomp,line : [0-9]+\n")))
        << text;

    ASSERT_EQ(coder.init(false), 0);
    Bytes garbage(100, 0xFF);
    testing::internal::CaptureStderr();
    EXPECT_EQ(coder.decompress(garbage.data(), 100, false, &out, &outLength, more), Z_DATA_ERROR);
    text = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::regex_match(
        text, std::regex("Decompress data error,last_error = -3,file : zcomp,line : [0-9]+\n")))
        << text;
}

TEST(CQuickLzCoder, InitialisationAndPendingRules)
{
    CQuick_LZ coder;
    unsigned char* out = nullptr;
    unsigned long outLength = 0;
    bool more = false;
    Bytes data = TextBytes(100);
    EXPECT_EQ(coder.compress(data.data(), 100, false, &out, &outLength, more), -1);
    ASSERT_EQ(coder.init(), 0);
    ASSERT_EQ(coder.compress(data.data(), 100, false, &out, &outLength, more), 0);
    EXPECT_EQ(outLength, 0u);
    EXPECT_EQ(coder.init(), -1) << "input is pending";
    EXPECT_EQ(coder.deinit(), -1) << "input is pending";
    ASSERT_EQ(coder.reset(), 0);
    ASSERT_EQ(coder.compress(nullptr, 0, true, &out, &outLength, more), 0);
    EXPECT_EQ(outLength, 0u) << "reset dropped the pending bytes";
    EXPECT_EQ(coder.deinit(), 0);
    EXPECT_EQ(coder.compress(nullptr, 0, true, &out, &outLength, more), -1);
}

namespace {

struct MemoryReader {
    const Bytes* stored;
    size_t at = 0;
    size_t largestPiece = 0;
};

long ReadPiece(void* user, unsigned char* buffer, unsigned long length)
{
    auto* reader = static_cast<MemoryReader*>(user);
    size_t n = std::min<size_t>(length, reader->stored->size() - reader->at);
    std::memcpy(buffer, reader->stored->data() + reader->at, n);
    reader->at += n;
    reader->largestPiece = std::max(reader->largestPiece, n);
    return static_cast<long>(n);
}

int WritePiece(void* writeArg, unsigned char* data, unsigned long length)
{
    auto* plain = static_cast<Bytes*>(writeArg);
    plain->insert(plain->end(), data, data + length);
    return 0;
}

}  // namespace

TEST(CQuickLzCoder, PullDecoding)
{
    const Bytes plain = MixedCorpus();
    const Bytes stored = StoredStream(1, plain);
    CQuick_LZ coder;
    ASSERT_EQ(coder.init(), 0);
    MemoryReader reader{&stored};
    uint64_t count = stored.size();
    Bytes back;
    ASSERT_EQ(coder.decompres(ReadPiece, WritePiece, &reader, &count, true, &back), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_LE(reader.largestPiece, CQuick_LZ::kPendingBytes);
    EXPECT_TRUE(back == plain);

    // A count beyond the stream's end: the read callback fails.
    reader.at = 0;
    count = stored.size() + 1;
    back.clear();
    EXPECT_NE(coder.decompres(ReadPiece, WritePiece, &reader, &count, true, &back), 0);
}
