// Stored raw deflate streams from damaged images: CCompressData must refuse
// them cleanly. Plain inputs also go through the encoder and must come back.
#include "compress_data.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// One coder of each kind for all inputs, as a job keeps one for a whole
// image: every stream ends with a final call or a failure, both of which
// leave it clean.
CCompressData& Coder(unsigned char type, int role)
{
    static CCompressData coders[2][2] = {{CCompressData(2), CCompressData(3)}, {CCompressData(2), CCompressData(3)}};
    return coders[role][type - 2];
}

// Runs the reader's calling order; false when a call fails.
bool Decode(unsigned char type, const uint8_t* data, size_t size, size_t piece, std::vector<uint8_t>* plain)
{
    CCompressData& reader = Coder(type, 0);
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
                return false;
            first = false;
            if (outLength > 0)
                plain->insert(plain->end(), out, out + outLength);
        } while (more);
        if (final)
            return true;
    }
}

bool Encode(unsigned char type, const uint8_t* data, size_t size, size_t chunk, std::vector<uint8_t>* stored)
{
    CCompressData& writer = Coder(type, 1);
    std::vector<uint8_t> copy(data, data + size);
    for (size_t done = 0;; done += chunk) {
        const bool final = done >= size;
        const unsigned length = final ? 0 : static_cast<unsigned>(size - done < chunk ? size - done : chunk);
        bool more = false;
        bool first = true;
        do {
            unsigned char* out = nullptr;
            unsigned long outLength = 0;
            if (writer.Compress(first ? copy.data() + done : nullptr, first ? length : 0, final, &out, &outLength,
                                more) != 0)
                return false;
            first = false;
            if (outLength > 0)
                stored->insert(stored->end(), out, out + outLength);
        } while (more);
        if (final)
            return true;
    }
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
    Decode(type, data + 1, size - 1, piece, &plain);

    std::vector<uint8_t> stored;
    std::vector<uint8_t> back;
    if (!Encode(type, data + 1, size - 1, piece, &stored) || !Decode(type, stored.data(), stored.size(), piece, &back) ||
        back.size() != size - 1 || (size > 1 && std::memcmp(back.data(), data + 1, size - 1) != 0))
        std::abort();
    return 0;
}
