#include "compression/raw_deflate.h"

#include <new>
#include <vector>

#ifdef QUARN_WITH_ISAL
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif

namespace {
constexpr int kFastType = 2;
}

#ifdef QUARN_WITH_ISAL

namespace {
// Type 2: igzip's level 1 stores within 1% of zlib's level 1. Type 3: the
// fastest igzip level whose images stay within 3% of zlib's default level
// (bench/deflate_libraries_bench; README, "Speed").
constexpr uint32_t kFastLevel = 1;
constexpr uint32_t kThoroughLevel = 3;

size_t LevelBufferBytes(uint32_t level)
{
    switch (level) {
    case 1:
        return ISAL_DEF_LVL1_DEFAULT;
    case 2:
        return ISAL_DEF_LVL2_DEFAULT;
    case 3:
        return ISAL_DEF_LVL3_DEFAULT;
    default:
        return ISAL_DEF_LVL0_DEFAULT;
    }
}
}  // namespace

struct CRawDeflater::State {
    isal_zstream stream;
    uint32_t level;
    std::vector<uint8_t> levelBuffer;
};

CRawDeflater::CRawDeflater(int compressType)
{
    const uint32_t level = compressType == kFastType ? kFastLevel : kThoroughLevel;
    try {
        m_state.reset(new State);
        m_state->level = level;
        m_state->levelBuffer.resize(LevelBufferBytes(level));
    } catch (const std::bad_alloc&) {
        m_state.reset();
        return;
    }
    Reset();
}

CRawDeflater::~CRawDeflater() = default;

bool CRawDeflater::Reset()
{
    isal_zstream& s = m_state->stream;
    isal_deflate_init(&s);
    s.level = m_state->level;
    s.level_buf = m_state->levelBuffer.empty() ? nullptr : m_state->levelBuffer.data();
    s.level_buf_size = static_cast<uint32_t>(m_state->levelBuffer.size());
    s.gzip_flag = IGZIP_DEFLATE;
    return true;
}

bool CRawDeflater::SetDictionary(const unsigned char* data, uint32_t length)
{
    return isal_deflate_set_dict(&m_state->stream, const_cast<uint8_t*>(data), length) == COMP_OK;
}

CRawDeflater::Step CRawDeflater::Deflate(Flush flush)
{
    isal_zstream& s = m_state->stream;
    s.next_in = const_cast<uint8_t*>(m_in);
    s.avail_in = m_inLeft;
    s.next_out = m_out;
    s.avail_out = m_outLeft;
    s.flush = flush == Flush::kSync ? SYNC_FLUSH : NO_FLUSH;
    s.end_of_stream = flush == Flush::kFinish ? 1 : 0;
    const int result = isal_deflate(&s);
    m_in = s.next_in;
    m_inLeft = s.avail_in;
    m_out = s.next_out;
    m_outLeft = s.avail_out;
    if (result != COMP_OK)
        return Step::kError;
    bool done;
    if (flush == Flush::kNone)
        done = m_inLeft == 0;
    else if (flush == Flush::kSync)
        done = m_inLeft == 0 && s.internal_state.state == ZSTATE_NEW_HDR;
    else
        done = s.internal_state.state == ZSTATE_END;
    return done ? Step::kDone : Step::kMore;
}

struct CRawInflater::State {
    inflate_state stream;
};

CRawInflater::CRawInflater()
{
    m_state.reset(new (std::nothrow) State);
    if (m_state != nullptr)
        Reset();
}

CRawInflater::~CRawInflater() = default;

bool CRawInflater::Reset()
{
    isal_inflate_init(&m_state->stream);
    m_state->stream.crc_flag = ISAL_DEFLATE;
    return true;
}

CRawInflater::Step CRawInflater::Inflate()
{
    inflate_state& s = m_state->stream;
    if (s.block_state == ISAL_BLOCK_FINISH)
        return Step::kStreamEnd;
    s.next_in = const_cast<uint8_t*>(m_in);
    s.avail_in = m_inLeft;
    s.next_out = m_out;
    s.avail_out = m_outLeft;
    const int result = isal_inflate(&s);
    const bool progress = s.avail_in != m_inLeft || s.avail_out != m_outLeft;
    m_in = s.next_in;
    m_inLeft = s.avail_in;
    m_out = s.next_out;
    m_outLeft = s.avail_out;
    if (result < 0)
        return Step::kError;
    if (s.block_state == ISAL_BLOCK_FINISH) {
        // igzip reads ahead into its bit buffer: whole bytes left there
        // came after the stream's end, and count as input not used.
        m_inLeft += static_cast<uint32_t>(s.read_in_length / 8) + static_cast<uint32_t>(s.tmp_in_size);
        return Step::kStreamEnd;
    }
    return progress ? Step::kProgress : Step::kNoProgress;
}

const char* RawDeflateLibrary()
{
    return "ISA-L";
}

#else  // zlib

namespace {
constexpr int kRawWindowBits = -15;
constexpr int kMemoryLevel = 8;
constexpr int kFastLevel = 1;
}  // namespace

struct CRawDeflater::State {
    z_stream stream;
};

CRawDeflater::CRawDeflater(int compressType)
{
    m_state.reset(new (std::nothrow) State());
    if (m_state == nullptr)
        return;
    const int level = compressType == kFastType ? kFastLevel : Z_DEFAULT_COMPRESSION;
    if (deflateInit2(&m_state->stream, level, Z_DEFLATED, kRawWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        m_state.reset();
}

CRawDeflater::~CRawDeflater()
{
    if (m_state != nullptr)
        deflateEnd(&m_state->stream);
}

bool CRawDeflater::Reset()
{
    return deflateReset(&m_state->stream) == Z_OK;
}

bool CRawDeflater::SetDictionary(const unsigned char* data, uint32_t length)
{
    return deflateSetDictionary(&m_state->stream, data, length) == Z_OK;
}

CRawDeflater::Step CRawDeflater::Deflate(Flush flush)
{
    z_stream& s = m_state->stream;
    s.next_in = const_cast<Bytef*>(m_in);
    s.avail_in = m_inLeft;
    s.next_out = m_out;
    s.avail_out = m_outLeft;
    const int mode = flush == Flush::kNone ? Z_NO_FLUSH : flush == Flush::kSync ? Z_SYNC_FLUSH : Z_FINISH;
    const int result = deflate(&s, mode);
    m_in = s.next_in;
    m_inLeft = s.avail_in;
    m_out = s.next_out;
    m_outLeft = s.avail_out;
    if (flush == Flush::kFinish && result == Z_STREAM_END)
        return Step::kDone;
    // A buffer error only says that no progress was possible.
    if (result != Z_OK && result != Z_BUF_ERROR)
        return Step::kError;
    if (flush == Flush::kFinish)
        return Step::kMore;
    // zlib has taken all input and written all it owes once room is left.
    return m_outLeft != 0 && m_inLeft == 0 ? Step::kDone : Step::kMore;
}

struct CRawInflater::State {
    z_stream stream;
    bool ended = false;
};

CRawInflater::CRawInflater()
{
    m_state.reset(new (std::nothrow) State());
    if (m_state != nullptr && inflateInit2(&m_state->stream, kRawWindowBits) != Z_OK)
        m_state.reset();
}

CRawInflater::~CRawInflater()
{
    if (m_state != nullptr)
        inflateEnd(&m_state->stream);
}

bool CRawInflater::Reset()
{
    m_state->ended = false;
    return inflateReset(&m_state->stream) == Z_OK;
}

CRawInflater::Step CRawInflater::Inflate()
{
    if (m_state->ended)
        return Step::kStreamEnd;
    z_stream& s = m_state->stream;
    s.next_in = const_cast<Bytef*>(m_in);
    s.avail_in = m_inLeft;
    s.next_out = m_out;
    s.avail_out = m_outLeft;
    const int result = inflate(&s, Z_NO_FLUSH);
    m_in = s.next_in;
    m_inLeft = s.avail_in;
    m_out = s.next_out;
    m_outLeft = s.avail_out;
    switch (result) {
    case Z_STREAM_END:
        m_state->ended = true;
        return Step::kStreamEnd;
    case Z_OK:
        return Step::kProgress;
    case Z_BUF_ERROR:
        return Step::kNoProgress;
    default:
        return Step::kError;
    }
}

const char* RawDeflateLibrary()
{
    return "zlib";
}

#endif
