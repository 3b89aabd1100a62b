// Stored QuickLZ streams from damaged images: the packet decoder and the
// streaming coder must refuse them cleanly. Plain inputs also go through
// the encoder and must come back unchanged.
#include "quarn/compression/compress_data.h"
#include "quarn/compression/quicklz_codec.h"
#include "fuzz_support.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The first byte chooses how the stored bytes are cut into calls.
size_t PieceSize(uint8_t selector)
{
    return 1 + size_t(selector) * 521;
}

// One coder for all inputs, as a reader keeps one for a whole image: every
// stream ends with a final call or a failure, both of which leave it clean.
CCompressData& Reader()
{
    static CCompressData reader(1);
    return reader;
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

    fuzzsupport::RunDataSet(Reader(), fuzzsupport::Coding::Decompress, body, bodySize, PieceSize(data[0]),
                            nullptr);
    RoundTrip(body, bodySize);
    return 0;
}
