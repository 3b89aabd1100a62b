#include "quarn/compression/raw_deflate.h"

#include <zlib.h>

#include <new>
#include <vector>

#ifdef QUARN_WITH_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace {

constexpr int kFastType = 2;
constexpr int kRawWindowBits = -15;
constexpr int kMemoryLevel = 8;

enum class Library { kZlib, kIsal };
struct Choice {
    Library library;
    int level;
};

// The writer of each type, chosen by bench/deflate_libraries_bench on three
// corpora of real files (README, "Speed"): the fastest whose images stay
// within 3% of what zlib stored before (type 2 at level 1, type 3 at zlib's
// default level 6) on every corpus.
//  - type 2: igzip's level 1 (within 1% of zlib's level 1, about 5 times
//    faster); zlib's level 1 where the build has no ISA-L.
//  - type 3: zlib's level 5, about 1.4 times as fast as level 6 and within
//    1.1%; level 4 stored 3.7% more on plain text, and igzip's best level
//    5% to 9.5% more.
Choice ChoiceFor(int compressType)
{
    if (compressType == kFastType) {
#ifdef QUARN_WITH_ISAL
        return {Library::kIsal, 1};
#else
        return {Library::kZlib, 1};
#endif
    }
    return {Library::kZlib, 5};
}

}  // namespace

// One library's deflate stream.
struct CRawDeflater::State {
    virtual ~State() = default;
    virtual bool Reset() = 0;
    virtual bool SetDictionary(const unsigned char* data, uint32_t length) = 0;
    virtual Step Deflate(Flush flush, CRawDeflateBuffers& buffers) = 0;
};

// One library's inflate stream.
struct CRawInflater::State {
    virtual ~State() = default;
    virtual bool Reset() = 0;
    virtual Step Inflate(CRawDeflateBuffers& buffers) = 0;
};

// Moves the buffers into a library's stream fields and back.
struct CRawDeflateBuffers::Access {
    template <typename Stream>
    static void Give(const CRawDeflateBuffers& b, Stream& s)
    {
        s.next_in = const_cast<unsigned char*>(b.m_in);
        s.avail_in = b.m_inLeft;
        s.next_out = b.m_out;
        s.avail_out = b.m_outLeft;
    }
    template <typename Stream>
    static void Take(CRawDeflateBuffers& b, const Stream& s)
    {
        b.m_in = s.next_in;
        b.m_inLeft = s.avail_in;
        b.m_out = s.next_out;
        b.m_outLeft = s.avail_out;
    }
    static void AddInputLeft(CRawDeflateBuffers& b, uint32_t bytes) { b.m_inLeft += bytes; }
};

namespace {

using Access = CRawDeflateBuffers::Access;

class ZlibDeflate : public CRawDeflater::State {
public:
    explicit ZlibDeflate(int level)
    {
        m_ready = deflateInit2(&m_stream, level, Z_DEFLATED, kRawWindowBits, kMemoryLevel,
                               Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~ZlibDeflate() override
    {
        if (m_ready)
            deflateEnd(&m_stream);
    }
    bool Ready() const { return m_ready; }
    bool Reset() override { return deflateReset(&m_stream) == Z_OK; }
    bool SetDictionary(const unsigned char* data, uint32_t length) override
    {
        return deflateSetDictionary(&m_stream, data, length) == Z_OK;
    }
    CRawDeflater::Step Deflate(CRawDeflater::Flush flush, CRawDeflateBuffers& buffers) override
    {
        using Flush = CRawDeflater::Flush;
        using Step = CRawDeflater::Step;
        Access::Give(buffers, m_stream);
        const int mode = flush == Flush::kNone ? Z_NO_FLUSH : flush == Flush::kSync ? Z_SYNC_FLUSH : Z_FINISH;
        const int result = deflate(&m_stream, mode);
        Access::Take(buffers, m_stream);
        if (flush == Flush::kFinish && result == Z_STREAM_END)
            return Step::kDone;
        // A buffer error only says that no progress was possible.
        if (result != Z_OK && result != Z_BUF_ERROR)
            return Step::kError;
        if (flush == Flush::kFinish)
            return Step::kMore;
        // zlib has taken all input and written all it owes once room is left.
        return buffers.OutputLeft() != 0 && buffers.InputLeft() == 0 ? Step::kDone : Step::kMore;
    }

private:
    z_stream m_stream{};
    bool m_ready = false;
};

class ZlibInflate : public CRawInflater::State {
public:
    ZlibInflate() { m_ready = inflateInit2(&m_stream, kRawWindowBits) == Z_OK; }
    ~ZlibInflate() override
    {
        if (m_ready)
            inflateEnd(&m_stream);
    }
    bool Ready() const { return m_ready; }
    bool Reset() override
    {
        m_ended = false;
        return inflateReset(&m_stream) == Z_OK;
    }
    CRawInflater::Step Inflate(CRawDeflateBuffers& buffers) override
    {
        using Step = CRawInflater::Step;
        if (m_ended)
            return Step::kStreamEnd;
        Access::Give(buffers, m_stream);
        const int result = inflate(&m_stream, Z_NO_FLUSH);
        Access::Take(buffers, m_stream);
        switch (result) {
        case Z_STREAM_END:
            m_ended = true;
            return Step::kStreamEnd;
        case Z_OK:
            return Step::kProgress;
        case Z_BUF_ERROR:
            return Step::kNoProgress;
        default:
            return Step::kError;
        }
    }

private:
    z_stream m_stream{};
    bool m_ready = false;
    bool m_ended = false;
};

#ifdef QUARN_WITH_ISAL

size_t IsalLevelBufferBytes(int level)
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

class IsalDeflate : public CRawDeflater::State {
public:
    explicit IsalDeflate(int level)
        : m_level(static_cast<uint32_t>(level)), m_levelBuffer(IsalLevelBufferBytes(level))
    {
        Reset();
    }
    bool Reset() override
    {
        isal_deflate_init(&m_stream);
        m_stream.level = m_level;
        m_stream.level_buf = m_levelBuffer.empty() ? nullptr : m_levelBuffer.data();
        m_stream.level_buf_size = static_cast<uint32_t>(m_levelBuffer.size());
        m_stream.gzip_flag = IGZIP_DEFLATE;
        return true;
    }
    bool SetDictionary(const unsigned char* data, uint32_t length) override
    {
        return isal_deflate_set_dict(&m_stream, const_cast<uint8_t*>(data), length) == COMP_OK;
    }
    CRawDeflater::Step Deflate(CRawDeflater::Flush flush, CRawDeflateBuffers& buffers) override
    {
        using Flush = CRawDeflater::Flush;
        using Step = CRawDeflater::Step;
        Access::Give(buffers, m_stream);
        m_stream.flush = flush == Flush::kSync ? SYNC_FLUSH : NO_FLUSH;
        m_stream.end_of_stream = flush == Flush::kFinish ? 1 : 0;
        const int result = isal_deflate(&m_stream);
        Access::Take(buffers, m_stream);
        if (result != COMP_OK)
            return Step::kError;
        bool done;
        if (flush == Flush::kNone)
            done = buffers.InputLeft() == 0;
        else if (flush == Flush::kSync)
            done = buffers.InputLeft() == 0 && m_stream.internal_state.state == ZSTATE_NEW_HDR;
        else
            done = m_stream.internal_state.state == ZSTATE_END;
        return done ? Step::kDone : Step::kMore;
    }

private:
    isal_zstream m_stream{};
    uint32_t m_level;
    std::vector<uint8_t> m_levelBuffer;
};

// Reads any raw deflate stream (zlib's of earlier images included) about
// twice as fast as zlib, refusing the same damaged streams.
class IsalInflate : public CRawInflater::State {
public:
    IsalInflate() { Reset(); }
    bool Reset() override
    {
        isal_inflate_init(&m_stream);
        m_stream.crc_flag = ISAL_DEFLATE;
        return true;
    }
    CRawInflater::Step Inflate(CRawDeflateBuffers& buffers) override
    {
        using Step = CRawInflater::Step;
        if (m_stream.block_state == ISAL_BLOCK_FINISH)
            return Step::kStreamEnd;
        const uint32_t inBefore = buffers.InputLeft();
        const uint32_t outBefore = buffers.OutputLeft();
        Access::Give(buffers, m_stream);
        const int result = isal_inflate(&m_stream);
        Access::Take(buffers, m_stream);
        if (result < 0)
            return Step::kError;
        if (m_stream.block_state == ISAL_BLOCK_FINISH) {
            // igzip reads ahead into its bit buffer: whole bytes left there
            // came after the stream's end and count as input not used.
            Access::AddInputLeft(buffers, static_cast<uint32_t>(m_stream.read_in_length / 8) +
                                              static_cast<uint32_t>(m_stream.tmp_in_size));
            return Step::kStreamEnd;
        }
        const bool progress = buffers.InputLeft() != inBefore || buffers.OutputLeft() != outBefore;
        return progress ? Step::kProgress : Step::kNoProgress;
    }

private:
    inflate_state m_stream{};
};

#endif

}  // namespace

CRawDeflater::CRawDeflater(int compressType)
{
    const Choice choice = ChoiceFor(compressType);
    try {
#ifdef QUARN_WITH_ISAL
        if (choice.library == Library::kIsal) {
            m_state.reset(new IsalDeflate(choice.level));
            return;
        }
#endif
        std::unique_ptr<ZlibDeflate> zlib(new ZlibDeflate(choice.level));
        if (zlib->Ready())
            m_state = std::move(zlib);
    } catch (const std::bad_alloc&) {
        m_state.reset();
    }
}

CRawDeflater::~CRawDeflater() = default;

bool CRawDeflater::Reset()
{
    return m_state->Reset();
}

bool CRawDeflater::SetDictionary(const unsigned char* data, uint32_t length)
{
    return m_state->SetDictionary(data, length);
}

CRawDeflater::Step CRawDeflater::Deflate(Flush flush)
{
    return m_state->Deflate(flush, *this);
}

CRawInflater::CRawInflater()
{
#ifdef QUARN_WITH_ISAL
    m_state = std::make_unique<IsalInflate>();
#else
    auto zlib = std::make_unique<ZlibInflate>();
    if (zlib->Ready())
        m_state = std::move(zlib);
#endif
}

CRawInflater::~CRawInflater() = default;

bool CRawInflater::Reset()
{
    return m_state->Reset();
}

CRawInflater::Step CRawInflater::Inflate()
{
    return m_state->Inflate(*this);
}
