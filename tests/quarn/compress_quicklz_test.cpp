// The QuickLZ packet coder: packets made by the published library decode
// exactly, our packets are byte for byte the same, and damaged packets are
// refused without touching memory outside the buffers.
#include "quarn/compression/quicklz_codec.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using testsupport::PatternBytes;
using testsupport::ReadFileBytes;
using Bytes = std::vector<uint8_t>;

namespace {

std::string VectorDir()
{
    return QUARN_TEST_DATA_DIR "/quicklz/";
}

Bytes LcgBytes(size_t size, uint32_t seed)
{
    Bytes bytes(size);
    uint32_t x = seed;
    for (auto& b : bytes) {
        x = 1103515245u * x + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

const char kLighthouse[] =
    "The old lighthouse keeper climbed the narrow stairs every evening at dusk. He trimmed the wick, "
    "polished the great lens, and watched the grey ships slide past the rocks toward the harbour. Nobody "
    "in the village remembered when he had first arrived, and he never spoke of the years before. On "
    "stormy nights the beam swept across the water like a slow white hand, and the fishermen said that as "
    "long as it turned, the sea would let them home.\n";

Bytes LighthouseText(size_t size)
{
    Bytes bytes(size);
    const size_t period = sizeof kLighthouse - 1;
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(kLighthouse[i % period]);
    return bytes;
}

// The plain input of a vector: stored for the small ones, made here for the
// three 0x8000-byte ones.
Bytes PlainOf(const std::string& name)
{
    if (name == "zeros_32k")
        return Bytes(0x8000, 0);
    if (name == "random_32k")
        return LcgBytes(0x8000, 12345);
    if (name == "text_32k")
        return LighthouseText(0x8000);
    return ReadFileBytes(VectorDir() + name + ".plain");
}

const char* const kVectors[] = {"one_byte",  "short_10",  "short_14",           "text_100",
                                "random_42", "random_44", "run_after_literals", "zeros_215",
                                "zeros_216", "zeros_32k", "random_32k",         "text_32k"};

struct Scratch {
    std::vector<char> compress = std::vector<char>(QLZ_SCRATCH_COMPRESS);
    std::vector<char> decompress = std::vector<char>(QLZ_SCRATCH_DECOMPRESS);
};

Bytes Compress(const Bytes& plain)
{
    Scratch scratch;
    Bytes packet(qlz_max_packet(plain.size()));
    size_t size = qlz_compress(plain.data(), reinterpret_cast<char*>(packet.data()), plain.size(),
                               scratch.compress.data());
    packet.resize(size);
    return packet;
}

// Decodes with buffers exactly as large as the packet and its plain size
// claim, so that AddressSanitizer sees any access beyond them.
size_t DecodeExact(const Bytes& packet, size_t capacity, Bytes* plain)
{
    Scratch scratch;
    std::vector<char> source(packet.begin(), packet.end());
    std::vector<uint8_t> out(capacity);
    size_t n = qlz_decompress_bounded(source.data(), source.size(), out.data(), out.size(),
                                      scratch.decompress.data());
    if (plain != nullptr)
        plain->assign(out.begin(), out.begin() + n);
    return n;
}

}  // namespace

TEST(QuickLzVectors, GeneratedInputsMatchTheirDescription)
{
    EXPECT_EQ(sizeof kLighthouse - 1, 441u);
    const Bytes random = LcgBytes(8, 12345);
    EXPECT_EQ(random, (Bytes{0xdc, 0x04, 0x65, 0xaa, 0x1f, 0xad, 0x1d, 0x5a}));
    // The stored 42-byte input is the start of the seed-99 stream.
    EXPECT_EQ(PlainOf("random_42"), LcgBytes(42, 99));
}

TEST(QuickLzVectors, EveryPacketDecodesToItsPlainBytes)
{
    for (const char* name : kVectors) {
        SCOPED_TRACE(name);
        const Bytes packet = ReadFileBytes(VectorDir() + name + ".qlz");
        const Bytes plain = PlainOf(name);
        ASSERT_FALSE(packet.empty());
        const char* p = reinterpret_cast<const char*>(packet.data());
        EXPECT_EQ(qlz_size_compressed(p), packet.size());
        EXPECT_EQ(qlz_size_decompressed(p), plain.size());

        Bytes decoded;
        EXPECT_EQ(DecodeExact(packet, plain.size(), &decoded), plain.size());
        EXPECT_EQ(decoded, plain);

        // The published entry point, which trusts the header.
        Scratch scratch;
        Bytes out(plain.size());
        EXPECT_EQ(qlz_decompress(p, out.data(), scratch.decompress.data()), plain.size());
        EXPECT_EQ(out, plain);
    }
}

TEST(QuickLzVectors, OurEncoderMakesTheSamePackets)
{
    for (const char* name : kVectors) {
        SCOPED_TRACE(name);
        const Bytes plain = PlainOf(name);
        const Bytes packet = Compress(plain);
        EXPECT_EQ(packet, ReadFileBytes(VectorDir() + name + ".qlz"));
        Bytes decoded;
        EXPECT_EQ(DecodeExact(packet, plain.size(), &decoded), plain.size());
        EXPECT_EQ(decoded, plain);
    }
}

TEST(QuickLzVectors, PacketsDoNotDependOnLeftoversInTheScratch)
{
    const Bytes plain = PlainOf("text_32k");
    // Filled with garbage and misaligned, ending exactly at the announced size.
    std::vector<char> scratch(QLZ_SCRATCH_COMPRESS + 1, '\x5a');
    std::vector<char> exact(QLZ_SCRATCH_COMPRESS, '\x11');
    Bytes packet(qlz_max_packet(plain.size()));
    size_t size =
        qlz_compress(plain.data(), reinterpret_cast<char*>(packet.data()), plain.size(), scratch.data() + 1);
    packet.resize(size);
    EXPECT_EQ(packet, ReadFileBytes(VectorDir() + "text_32k.qlz"));
    Bytes again(qlz_max_packet(plain.size()));
    again.resize(
        qlz_compress(plain.data(), reinterpret_cast<char*>(again.data()), plain.size(), exact.data()));
    EXPECT_EQ(again, packet);
}

TEST(QuickLzSettings, TheTenPublishedValues)
{
    const int expected[] = {1, 36880, 20496, 0, -1, -1, 0, 1, 4, 1};
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(qlz_get_setting(k), expected[k]) << "setting " << k;
    EXPECT_EQ(qlz_get_setting(10), -1);
    EXPECT_EQ(qlz_get_setting(-1), -1);
}

TEST(QuickLzCompress, EmptyInputMakesNoPacket)
{
    Scratch scratch;
    char packet[16] = {};
    EXPECT_EQ(qlz_compress("x", packet, 0, scratch.compress.data()), 0u);
}

TEST(QuickLzCompress, RoundTripsOfAssortedInputs)
{
    struct Case {
        const char* what;
        Bytes plain;
    };
    std::vector<Case> cases;
    for (size_t size :
         {1u, 2u, 4u, 5u, 10u, 11u, 12u, 41u, 42u, 215u, 216u, 1000u, 0x7FFFu, 0x8000u, 70000u}) {
        cases.push_back({"random", PatternBytes(size, static_cast<uint32_t>(size))});
        cases.push_back({"text", LighthouseText(size)});
        cases.push_back({"zeros", Bytes(size, 0)});
    }
    // Runs of one value between literals, matches at distances 1 to 9, a
    // slot that keeps colliding, and long matches ending at every offset.
    Bytes mixed;
    for (int r = 0; r < 400; ++r) {
        mixed.insert(mixed.end(), static_cast<size_t>(r % 37), static_cast<uint8_t>(r));
        for (int k = 0; k < r % 9 + 1; ++k)
            mixed.push_back(static_cast<uint8_t>(r * 7 + k));
        const size_t back = 1 + r % 9;
        for (int k = 0; k < r % 300 && mixed.size() > back; ++k)
            mixed.push_back(mixed[mixed.size() - back]);
    }
    cases.push_back({"mixed", mixed});
    Bytes halfRandom = PatternBytes(0x8000, 7);
    std::fill(halfRandom.begin() + 0x4000, halfRandom.end(), 'a');
    cases.push_back({"random then run", halfRandom});

    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " " + std::to_string(c.plain.size()));
        const Bytes packet = Compress(c.plain);
        ASSERT_GT(packet.size(), 0u);
        EXPECT_LE(packet.size(), qlz_max_packet(c.plain.size()));
        Bytes decoded;
        EXPECT_EQ(DecodeExact(packet, c.plain.size(), &decoded), c.plain.size());
        EXPECT_EQ(decoded, c.plain);
    }
}

namespace {

// Builds a compressed packet with a short header around a hand-made body.
Bytes ShortPacket(size_t plain, const Bytes& body)
{
    Bytes packet{0x45, static_cast<uint8_t>(3 + body.size()), static_cast<uint8_t>(plain)};
    packet.insert(packet.end(), body.begin(), body.end());
    return packet;
}

Bytes Le32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace

TEST(QuickLzDecompress, DamagedPacketsAreRefused)
{
    const Bytes shortText = ReadFileBytes(VectorDir() + "short_14.qlz");  // one match at slot 0x457
    const Bytes zeros = ReadFileBytes(VectorDir() + "zeros_216.qlz");
    const Bytes random42 = ReadFileBytes(VectorDir() + "random_42.qlz");  // stored
    const Bytes literals20 = Join({Le32(0x80000000u), Bytes(20, 'q')});

    auto with = [](Bytes p, size_t at, uint8_t value) {
        p[at] = value;
        return p;
    };
    struct Case {
        const char* what;
        Bytes packet;
        size_t capacity;
    };
    const Case cases[] = {
        {"empty input", {}, 100},
        {"header cut short", Bytes{0x47, 0x18, 0x00}, 300},
        {"level 3 flag", with(shortText, 0, 0x4D), 14},
        {"streaming buffer flag", with(shortText, 0, 0x55), 14},
        {"bit 7 set", with(shortText, 0, 0xC5), 14},
        {"bit 6 clear", with(shortText, 0, 0x05), 14},
        {"plain size zero", with(shortText, 2, 0), 14},
        {"plain size above capacity", shortText, 13},
        {"packet size below its header", with(shortText, 1, 2), 14},
        {"packet size beyond the input", with(shortText, 1, 17), 14},
        {"packet ends early", Bytes(shortText.begin(), shortText.end() - 1), 14},
        {"long header with a small plain size", with(zeros, 5, 100), 300},
        {"long header claims 4 GiB", Join({Bytes{0x47}, Le32(0xFFFFFFFFu), Le32(0xFFFFFFF0u)}), 300},
        {"stored size mismatch", with(random42, 1, 46), 42},
        {"stored packet cut short", Bytes(random42.begin(), random42.end() - 5), 42},
        {"control word without end marker", with(shortText, 6, 0x00), 14},
        {"match before any output",
         ShortPacket(20, Join({Le32(0x80000001u), Bytes{0x75, 0x45}, Bytes(17, 'x')})), 20},
        {"match from an empty slot", with(shortText, 10, 0x85), 14},
        {"match runs past the end", with(shortText, 10, 0x7F), 14},
        {"long token shorter than 3",
         ShortPacket(14, Join({Le32(0x80000008u), Bytes{'a', 'b', 'c', 0x70, 0x45, 2}, Bytes(4, 'b')})), 14},
        {"match in the last 10 bytes",
         ShortPacket(
             20, Join({Le32(0x80000400u), Bytes{'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 0x31, 0x45},
                       Bytes(7, 'z')})),
         20},
        {"body bytes left over", with(Join({shortText, Bytes{0, 0}}), 1, 18), 14},
        {"body ends inside a group", ShortPacket(20, Bytes(literals20.begin(), literals20.end() - 3)), 20},
        {"plain size one more than the body gives", with(zeros, 5, 0xd9), 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeExact(c.packet, c.capacity, nullptr), 0u);
    }
    // The unchanged packets decode, so each case above fails for its own fault.
    EXPECT_EQ(DecodeExact(shortText, 14, nullptr), 14u);
    EXPECT_EQ(DecodeExact(ShortPacket(20, literals20), 20, nullptr), 20u);
}

TEST(QuickLzDecompress, EveryTruncationAndByteChangeStaysInBounds)
{
    for (const char* name : {"text_100", "text_32k", "zeros_32k", "run_after_literals", "random_44"}) {
        SCOPED_TRACE(name);
        const Bytes packet = ReadFileBytes(VectorDir() + name + ".qlz");
        const size_t plain = PlainOf(name).size();
        for (size_t cut = 0; cut < packet.size(); cut += (packet.size() > 1000 ? 97 : 1))
            EXPECT_EQ(DecodeExact(Bytes(packet.begin(), packet.begin() + cut), plain, nullptr), 0u);
        for (size_t at = 0; at < packet.size(); ++at) {
            for (uint8_t flip : {0x01, 0x10, 0x80, 0xFF}) {
                Bytes damaged = packet;
                damaged[at] ^= flip;
                size_t n = DecodeExact(damaged, plain + 64, nullptr);
                // A change may still give a well-formed packet, never a bigger one.
                EXPECT_LE(n, plain + 64);
            }
        }
    }
}

TEST(QuickLzHeader, IncompleteHeadersAskForMoreBytes)
{
    const Bytes zeros = ReadFileBytes(VectorDir() + "zeros_216.qlz");
    size_t c = 0;
    size_t n = 0;
    const char* p = reinterpret_cast<const char*>(zeros.data());
    EXPECT_EQ(qlz_read_header(p, 0, &c, &n), 0);
    EXPECT_EQ(qlz_read_header(p, 8, &c, &n), 0);
    EXPECT_EQ(qlz_read_header(p, 9, &c, &n), 1);
    EXPECT_EQ(c, 24u);
    EXPECT_EQ(n, 216u);
    EXPECT_EQ(qlz_read_header("\x01", 1, &c, &n), -1);
}
