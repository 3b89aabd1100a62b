#include "quarn/compression/compress_data.h"

#include "quarn/compression/deflate_stream.h"
#include "quarn/compression/quicklz_stream.h"

#include <new>

namespace {
enum CompressType : unsigned char { kQuickLz = 1, kDeflateFast = 2, kDeflateDefault = 3 };
}

CCompressData::CCompressData(unsigned char type, bool) : m_ready(true), m_type(type)
{
    if (m_type == kQuickLz) {
        m_quickLz = std::make_unique<CQuick_LZ>();
        m_ready = m_quickLz->init(false) == 0;
    } else if (m_type == kDeflateFast || m_type == kDeflateDefault) {
        m_libz = std::make_unique<CLibz>();
        m_ready = m_libz->init(m_type == kDeflateDefault) == 0;
    }
}

CCompressData::~CCompressData() = default;

template <typename Step>
int CCompressData::RunCoder(Step step, unsigned char** out, unsigned long* outLength, bool& more)
{
    *out = nullptr;
    *outLength = 0;
    more = false;
    int result;
    if (m_quickLz != nullptr && m_ready)
        result = step(*m_quickLz);
    else if (m_libz != nullptr && m_ready)
        result = step(*m_libz);
    else
        return 1;
    // A coder reports failure with any non-zero value; the caller then sees no output.
    if (result != 0) {
        *out = nullptr;
        *outLength = 0;
        more = false;
    }
    return result;
}

int CCompressData::Compress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                            unsigned long* outLength, bool& more)
{
    return RunCoder([&](auto& coder) { return coder.compress(data, length, final, out, outLength, more); },
                    out, outLength, more);
}

int CCompressData::Decompress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                              unsigned long* outLength, bool& more)
{
    return RunCoder([&](auto& coder) { return coder.decompress(data, length, final, out, outLength, more); },
                    out, outLength, more);
}
