// Stored QuickLZ streams from damaged images: the packet decoder and the
// streaming coder must refuse them cleanly. Plain inputs also go through
// the encoder and must come back unchanged.
#include "compress_data.h"
#include "quicklz.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The first byte chooses how the stored bytes are cut into calls.
size_t PieceSize(uint8_t selector) { return 1 + size_t(selector) * 521; }

// One coder for all inputs, as a reader keeps one for a whole image: every
// stream ends with a final call or a failure, both of which leave it clean.
CCompressData& Reader()
{
    static CCompressData reader(1);
    return reader;
}

void DecodeStream(const uint8_t* data, size_t size, size_t piece)
{
    CCompressData& reader = Reader();
    std::vector<uint8_t> copy(data, data + size);
    for (size_t done = 0;; done += piece) {
        const bool final = done >= size;
        const unsigned length = final ? 0 : static_cast<unsigned>(size - done < piece ? size - done : piece);
        bool more = false;
        bool first = true;
        do {
            unsigned char* out = nullptr;
            unsigned long outLength = 0;
            if (reader.Decompress(first ? copy.data() + done : nullptr, first ? length : 0, final, &out, &outLength,
                                  more) != 0)
                return;
            first = false;
        } while (more);
        if (final)
            return;
    }
}

void RoundTrip(const uint8_t* data, size_t size)
{
    if (size == 0)
        return;
    std::vector<char> scratch(QLZ_SCRATCH_COMPRESS);
    std::vector<char> packet(qlz_max_packet(size));
    const size_t packetSize = qlz_compress(data, packet.data(), size, scratch.data());
    std::vector<uint8_t> back(size);
    if (packetSize == 0 || packetSize > packet.size() ||
        qlz_decompress_bounded(packet.data(), packetSize, back.data(), back.size(), scratch.data()) != size ||
        std::memcmp(back.data(), data, size) != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t* body = data + 1;
    const size_t bodySize = size - 1;

    // One packet on its own, in a buffer exactly as large as the input.
    std::vector<char> packet(body, body + bodySize);
    std::vector<char> scratch(QLZ_SCRATCH_DECOMPRESS);
    std::vector<uint8_t> out(1 + size_t(data[0]) * 300);
    qlz_decompress_bounded(packet.data(), packet.size(), out.data(), out.size(), scratch.data());

    DecodeStream(body, bodySize, PieceSize(data[0]));
    RoundTrip(body, bodySize);
    return 0;
}
