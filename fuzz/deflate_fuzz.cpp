// Stored raw deflate streams from damaged images: CCompressData must refuse
// them cleanly. Plain inputs also go through the encoder and must come back.
#include "quarn/compression/compress_data.h"
#include "fuzz_support.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using fuzzsupport::Coding;
using fuzzsupport::RunDataSet;

namespace {

// One coder of each kind for all inputs, as a job keeps one for a whole
// image: every stream ends with a final call or a failure, both of which
// leave it clean.
CCompressData& Coder(unsigned char type, int role)
{
    static CCompressData coders[2][2] = {{CCompressData(2), CCompressData(3)},
                                         {CCompressData(2), CCompressData(3)}};
    return coders[role][type - 2];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Deflate expands at most about 1000 times: larger inputs could only
    // make the run slow, not find more.
    if (size == 0 || size > 65536)
        return 0;
    const unsigned char type = (data[0] & 1) ? 3 : 2;
    const size_t piece = 1 + size_t(data[0] >> 1) * 613;
    std::vector<uint8_t> plain;
    RunDataSet(Coder(type, 0), Coding::Decompress, data + 1, size - 1, piece, &plain);

    std::vector<uint8_t> stored;
    std::vector<uint8_t> back;
    if (!RunDataSet(Coder(type, 1), Coding::Compress, data + 1, size - 1, piece, &stored) ||
        !RunDataSet(Coder(type, 0), Coding::Decompress, stored.data(), stored.size(), piece, &back) ||
        back.size() != size - 1 || (size > 1 && std::memcmp(back.data(), data + 1, size - 1) != 0))
        std::abort();
    return 0;
}
