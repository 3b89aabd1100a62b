#include "quarn/compression/compression_probe.h"

#include "quarn/compression/quicklz_codec.h"
#include "quarn/api/image_format.h"

#include <algorithm>
#include <new>

namespace {
constexpr uint32_t kQuickLzBlockBytes = 0x8000;
}

CCompressionProbe::CCompressionProbe(int compressType) : m_type(compressType)
{
    if (m_type != 1)
        return;
    m_scratch = std::make_unique<char[]>(QLZ_SCRATCH_COMPRESS);
    m_packet = std::make_unique<char[]>(qlz_max_packet(kQuickLzBlockBytes));
}

CCompressionProbe::~CCompressionProbe() = default;

bool CCompressionProbe::Pays(const unsigned char* chunk, uint32_t length)
{
    if (m_type != 1 || length != ImageFormat::kChunkBytes || !IsReady())
        return true;
    const uint64_t worth = length / kWorthFraction;
    uint64_t saved = 0;
    uint64_t lost = 0;
    for (uint32_t done = 0; done < length; done += kQuickLzBlockBytes) {
        const uint32_t block = std::min(kQuickLzBlockBytes, length - done);
        const size_t packet = qlz_compress(chunk + done, m_packet.get(), block, m_scratch.get());
        if (packet == 0)
            return true;  // the compressor then reports its own failure
        if (packet < block)
            saved += block - packet;
        else
            lost += packet - block;
        // Most sets tell from their first block: stop once it is clear.
        if (saved >= worth + lost)
            return true;
    }
    return false;
}
