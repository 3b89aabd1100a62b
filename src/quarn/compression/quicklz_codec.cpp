#include "quarn/compression/quicklz_codec.h"

#include <cstdint>
#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "packet fields are read and written as they lie in memory");

namespace {

constexpr unsigned kSlotCount = 4096;
constexpr uint32_t kEmptySlot = 0xFFFFFFFF;  // above every 24-bit value and every position
constexpr unsigned kItemsPerGroup = 31;
constexpr uint32_t kGroupEndMarker = 0x80000000u;
constexpr size_t kShortHeaderBytes = 3;
constexpr size_t kLongHeaderBytes = 9;
constexpr size_t kLongHeaderFrom = 216;  // plain sizes from here on need 32-bit fields
constexpr unsigned char kFlagCompressed = 0x01;
constexpr unsigned char kFlagLongHeader = 0x02;
constexpr unsigned char kFlagProfile = 0x44;  // level 1, no streaming buffer, bit 6
constexpr unsigned char kFlagProfileMask = 0xFC;
constexpr size_t kMinBodyBytes = 9;
constexpr size_t kMaxMatch = 255;
constexpr size_t kLongTokenFrom = 18;
// A match starts no later than 11 bytes before the end and leaves the last
// 4 bytes to literals.
constexpr size_t kMatchStartMargin = 11;
constexpr size_t kMatchEndMargin = 4;

struct CompressSlot {
    uint32_t value;  // the three bytes at position, or kEmptySlot
    uint32_t position;
};

inline uint32_t Load16(const unsigned char* p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint32_t Load32(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint64_t Load64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store16(unsigned char* p, uint32_t v)
{
    uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(p, &w, sizeof w);
}

inline void Store32(unsigned char* p, uint32_t v)
{
    std::memcpy(p, &v, sizeof v);
}

inline uint32_t Load24(const unsigned char* p)
{
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}

inline uint32_t SlotOf(uint32_t value)
{
    return (value ^ (value >> 12)) & (kSlotCount - 1);
}

template <typename T>
T* AlignedScratch(char* scratch)
{
    uintptr_t p = (reinterpret_cast<uintptr_t>(scratch) + 7) & ~uintptr_t(7);
    return reinterpret_cast<T*>(p);
}

inline size_t HeaderBytes(size_t plain)
{
    return plain < kLongHeaderFrom ? kShortHeaderBytes : kLongHeaderBytes;
}

void WriteHeader(unsigned char* packet, bool compressed, size_t packetBytes, size_t plain)
{
    unsigned char flag = kFlagProfile | (compressed ? kFlagCompressed : 0);
    if (plain < kLongHeaderFrom) {
        packet[0] = flag;
        packet[1] = static_cast<unsigned char>(packetBytes);
        packet[2] = static_cast<unsigned char>(plain);
    } else {
        packet[0] = flag | kFlagLongHeader;
        Store32(packet + 1, static_cast<uint32_t>(packetBytes));
        Store32(packet + 5, static_cast<uint32_t>(plain));
    }
}

size_t WriteStoredPacket(const unsigned char* plain, size_t size, unsigned char* packet)
{
    size_t header = HeaderBytes(size);
    std::memcpy(packet + header, plain, size);
    WriteHeader(packet, false, header + size, size);
    return header + size;
}

// The one case where a match may overlap its source at distance 1: a run of
// one byte value that already showed three literals.
inline bool IsRunContinuation(const unsigned char* src, size_t i, size_t previous, size_t literals)
{
    if (previous + 1 != i || literals < 3 || i < 4)
        return false;
    const unsigned char b = src[i];
    return src[i - 3] == b && src[i - 2] == b && src[i - 1] == b && src[i + 1] == b && src[i + 2] == b;
}

// Length of the common prefix of earlier and here, at least 3 (the first
// three bytes are known equal) and at most limit.
inline size_t MatchLength(const unsigned char* earlier, const unsigned char* here, size_t limit)
{
    size_t length = 3;
    while (length + 8 <= limit) {
        uint64_t diff = Load64(earlier + length) ^ Load64(here + length);
        if (diff != 0)
            return length + (__builtin_ctzll(diff) >> 3);
        length += 8;
    }
    while (length < limit && earlier[length] == here[length])
        ++length;
    return length;
}

// Copies a match forward; the ranges overlap when the distance is below length.
inline void CopyMatch(unsigned char* out, size_t from, size_t to, size_t length, size_t capacity)
{
    unsigned char* d = out + to;
    const unsigned char* s = out + from;
    if (to - from >= 8 && to + length + 8 <= capacity) {
        for (size_t k = 0; k < length; k += 8)
            std::memcpy(d + k, s + k, 8);
    } else {
        for (size_t k = 0; k < length; ++k)
            d[k] = s[k];
    }
}

}  // namespace

size_t qlz_size_compressed(const char* source)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(source);
    return (p[0] & kFlagLongHeader) ? Load32(p + 1) : p[1];
}

size_t qlz_size_decompressed(const char* source)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(source);
    return (p[0] & kFlagLongHeader) ? Load32(p + 5) : p[2];
}

int qlz_get_setting(int setting)
{
    static const int kSettings[] = {
        1, int(QLZ_SCRATCH_COMPRESS), int(QLZ_SCRATCH_DECOMPRESS), 0, -1, -1, 0, 1, 4, 1};
    if (setting < 0 || setting >= int(sizeof kSettings / sizeof kSettings[0]))
        return -1;
    return kSettings[setting];
}

size_t qlz_max_packet(size_t size)
{
    size_t body = size + 4 * ((size + kItemsPerGroup - 1) / kItemsPerGroup);
    return HeaderBytes(size) + (body < kMinBodyBytes ? kMinBodyBytes : body);
}

size_t qlz_compress(const void* source, char* destination, size_t size, char* scratch_compress)
{
    if (size == 0 || size > QLZ_MAX_PLAIN)
        return 0;
    const unsigned char* src = static_cast<const unsigned char*>(source);
    unsigned char* packet = reinterpret_cast<unsigned char*>(destination);
    const size_t n = size;
    const size_t header = HeaderBytes(n);
    unsigned char* body = packet + header;

    CompressSlot* slots = AlignedScratch<CompressSlot>(scratch_compress);
    std::memset(slots, 0xFF, sizeof(CompressSlot) * kSlotCount);

    size_t controlAt = 0;  // body offset of the current group's control word
    size_t out = 4;
    uint32_t control = 0;
    unsigned items = 0;
    size_t i = 0;
    size_t literals = 0;
    const size_t giveUpFrom = 3 * (n / 4);

    if (n >= kMatchStartMargin) {
        const size_t lastMatchStart = n - kMatchStartMargin;
        while (i <= lastMatchStart) {
            if (items == kItemsPerGroup) {
                // Incompressible data: past three quarters, fall back to a stored packet.
                if (i > giveUpFrom && out > i - i / 32)
                    return WriteStoredPacket(src, n, packet);
                Store32(body + controlAt, control | kGroupEndMarker);
                controlAt = out;
                out += 4;
                control = 0;
                items = 0;
            }
            const uint32_t value = Load32(src + i) & 0xFFFFFF;
            const uint32_t slot = SlotOf(value);
            const CompressSlot previous = slots[slot];
            slots[slot].value = value;
            slots[slot].position = static_cast<uint32_t>(i);
            if (previous.value == value &&
                (i - previous.position >= 3 || IsRunContinuation(src, i, previous.position, literals))) {
                size_t limit = n - i - kMatchEndMargin;
                if (limit > kMaxMatch)
                    limit = kMaxMatch;
                const size_t length = MatchLength(src + previous.position, src + i, limit);
                if (length < kLongTokenFrom) {
                    Store16(body + out, (slot << 4) | uint32_t(length - 2));
                    out += 2;
                } else {
                    Store16(body + out, slot << 4);
                    body[out + 2] = static_cast<unsigned char>(length);
                    out += 3;
                }
                control |= 1u << items;
                ++items;
                i += length;
                literals = 0;
            } else {
                body[out++] = src[i++];
                ++items;
                ++literals;
            }
        }
    }
    while (i < n) {
        if (items == kItemsPerGroup) {
            Store32(body + controlAt, control | kGroupEndMarker);
            controlAt = out;
            out += 4;
            control = 0;
            items = 0;
        }
        body[out++] = src[i++];
        ++items;
    }
    Store32(body + controlAt, control | kGroupEndMarker);
    if (out < kMinBodyBytes) {
        std::memset(body + out, 0, kMinBodyBytes - out);
        out = kMinBodyBytes;
    }
    WriteHeader(packet, true, header + out, n);
    return header + out;
}

int qlz_read_header(const char* source, size_t available, size_t* compressed, size_t* decompressed)
{
    if (available < 1)
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(source);
    const unsigned char flag = p[0];
    if ((flag & kFlagProfileMask) != kFlagProfile)
        return -1;
    const bool longHeader = (flag & kFlagLongHeader) != 0;
    const uint64_t header = longHeader ? kLongHeaderBytes : kShortHeaderBytes;
    if (available < header)
        return 0;
    const uint64_t c = longHeader ? Load32(p + 1) : p[1];
    const uint64_t n = longHeader ? Load32(p + 5) : p[2];
    if (n == 0 || n > QLZ_MAX_PLAIN || longHeader != (n >= kLongHeaderFrom))
        return -1;
    if (flag & kFlagCompressed) {
        uint64_t body = n + 4 * ((n + kItemsPerGroup - 1) / kItemsPerGroup);
        if (body < kMinBodyBytes)
            body = kMinBodyBytes;
        if (c < header + kMinBodyBytes || c > header + body)
            return -1;
    } else if (c != header + n) {
        return -1;
    }
    *compressed = static_cast<size_t>(c);
    *decompressed = static_cast<size_t>(n);
    return 1;
}

size_t qlz_decompress_bounded(const char* source, size_t available, void* destination, size_t capacity,
                              char* scratch_decompress)
{
    size_t c = 0;
    size_t n = 0;
    if (qlz_read_header(source, available, &c, &n) != 1 || c > available || n > capacity)
        return 0;
    const unsigned char* src = reinterpret_cast<const unsigned char*>(source);
    unsigned char* out = static_cast<unsigned char*>(destination);
    const size_t header = (src[0] & kFlagLongHeader) ? kLongHeaderBytes : kShortHeaderBytes;
    if (!(src[0] & kFlagCompressed)) {
        std::memcpy(out, src + header, n);
        return n;
    }

    uint32_t* slots = AlignedScratch<uint32_t>(scratch_decompress);
    std::memset(slots, 0xFF, sizeof(uint32_t) * kSlotCount);

    size_t in = header;
    size_t s = 0;         // plain bytes decoded
    size_t recorded = 0;  // every position below this one is in the table or skipped
    uint32_t control = 0;
    unsigned items = 0;
    while (s < n) {
        if (items == 0) {
            if (c - in < 4)
                return 0;
            control = Load32(src + in);
            in += 4;
            if (!(control & kGroupEndMarker))
                return 0;
            items = kItemsPerGroup;
        }
        --items;
        const bool isMatch = control & 1;
        control >>= 1;
        if (!isMatch) {
            if (in >= c)
                return 0;
            out[s++] = src[in++];
            // A position goes into the table once its three bytes exist.
            for (; recorded + 3 <= s; ++recorded)
                slots[SlotOf(Load24(out + recorded))] = static_cast<uint32_t>(recorded);
            continue;
        }
        if (c - in < 2)
            return 0;
        const uint32_t token = Load16(src + in);
        in += 2;
        size_t length = (token & 0xF) + 2;
        if ((token & 0xF) == 0) {
            if (in >= c)
                return 0;
            length = src[in++];
            if (length < 3)
                return 0;
        }
        if (n < kMatchStartMargin || s > n - kMatchStartMargin || s + length > n - kMatchEndMargin)
            return 0;
        const uint32_t from = slots[token >> 4];
        if (from == kEmptySlot || size_t(from) + 3 > s)
            return 0;
        CopyMatch(out, from, s, length, capacity);
        for (; recorded <= s; ++recorded)
            slots[SlotOf(Load24(out + recorded))] = static_cast<uint32_t>(recorded);
        s += length;
        recorded = s;  // the inside of a match is never recorded
    }
    // Every byte of the body is used, except the padding of a body below 9 bytes.
    const size_t used = in - header;
    const size_t bodyBytes = c - header;
    if (used != bodyBytes && !(bodyBytes == kMinBodyBytes && used < kMinBodyBytes))
        return 0;
    return n;
}

size_t qlz_decompress(const char* source, void* destination, char* scratch_decompress)
{
    return qlz_decompress_bounded(source, qlz_size_compressed(source), destination,
                                  qlz_size_decompressed(source), scratch_decompress);
}
