#include "compress_data.h"

// Placeholder until the coders land: no type has a coder yet.
CCompressData::CCompressData(unsigned char type, bool) : m_type(type) {}
CCompressData::~CCompressData() = default;

int CCompressData::Compress(unsigned char*, unsigned, bool, unsigned char** out,
                            unsigned long* outLength, bool& more)
{
    *out = nullptr;
    *outLength = 0;
    more = false;
    return 1;
}

int CCompressData::Decompress(unsigned char*, unsigned, bool, unsigned char** out,
                              unsigned long* outLength, bool& more)
{
    *out = nullptr;
    *outLength = 0;
    more = false;
    return 1;
}
