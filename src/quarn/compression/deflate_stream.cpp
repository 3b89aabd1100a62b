#include "compression/deflate_stream.h"

#include "quarn.h"

#include <zlib.h>

#include <cstdint>
#include <new>

namespace {
constexpr int kRawDeflateWindowBits = -15;
constexpr int kMemoryLevel = 8;
constexpr int kFastLevel = 1;
}  // namespace

CLibz::~CLibz()
{
    deinit();
}

void CLibz::Report(const char* text, int error, int line)
{
    m_error = error;
    DEBUG_TRACE("%s,last_error = %d,file : %s,line : %d\n", text, error, "zcomp", line);
}

void CLibz::ReportStream()
{
    DEBUG_TRACE("\tnext_in=%0Xd,avail_in=%d,next_out=%0Xd,avail_out=%d\n\tstrm=%0Xd,total_in=%ld\n",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_stream->next_in)),
                static_cast<int>(m_stream->avail_in),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_stream->next_out)),
                static_cast<int>(m_stream->avail_out),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_stream)),
                static_cast<long>(m_stream->total_in));
}

int CLibz::Fail(const char* text, int error, int line)
{
    Report(text, error, line);
    // A broken stream is never continued: the next call sets up a new one.
    com_end();
    return error != 0 ? error : -1;
}

void CLibz::ClearStreamState()
{
    m_continuation = false;
    m_inflated = 0;
    m_windowTaken = false;
    m_streamEnded = false;
    m_inputSeen = false;
}

int CLibz::init(bool defaultLevel)
{
    if (m_initialised)
        com_end();
    if (m_output == nullptr)
        m_output = new (std::nothrow) unsigned char[kOutputBytes];
    if (m_stream == nullptr)
        m_stream = new (std::nothrow) z_stream();
    if (m_output == nullptr || m_stream == nullptr) {
        Report("Not enough memory", -1, __LINE__);
        deinit();
        return -1;
    }
    m_defaultLevel = defaultLevel;
    m_initialised = true;
    m_streamUnset = true;
    m_direction = kNone;
    m_lastResult = Z_OK;
    m_error = 0;
    ClearStreamState();
    return 0;
}

bool CLibz::SetUp(Direction direction)
{
    if (!m_streamUnset && m_direction == direction)
        return true;
    com_end();
    *m_stream = z_stream();
    int result = direction == kDeflate
                     ? deflateInit2(m_stream, m_defaultLevel ? Z_DEFAULT_COMPRESSION : kFastLevel, Z_DEFLATED,
                                    kRawDeflateWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY)
                     : inflateInit2(m_stream, kRawDeflateWindowBits);
    m_lastResult = result;
    if (result != Z_OK) {
        Report("Initialize z_stream error", result, __LINE__);
        return false;
    }
    m_direction = direction;
    m_streamUnset = false;
    ClearStreamState();
    return true;
}

int CLibz::reset()
{
    if (!m_initialised) {
        Report("Invalid handle", -1, __LINE__);
        return -1;
    }
    if (m_direction == kDeflate)
        m_lastResult = deflateReset(m_stream);
    else if (m_direction == kInflate)
        m_lastResult = inflateReset(m_stream);
    ClearStreamState();
    return m_lastResult == Z_OK ? 0 : m_lastResult;
}

int CLibz::com_end()
{
    if (m_stream != nullptr) {
        if (m_direction == kDeflate)
            deflateEnd(m_stream);
        else if (m_direction == kInflate)
            inflateEnd(m_stream);
    }
    m_direction = kNone;
    m_streamUnset = true;
    ClearStreamState();
    return 0;
}

int CLibz::deinit()
{
    com_end();
    delete[] m_output;
    delete m_stream;
    m_output = nullptr;
    m_stream = nullptr;
    m_initialised = false;
    return 0;
}

bool CLibz::BeginCall(unsigned char** out, unsigned long* outLength, bool& more)
{
    *out = nullptr;
    *outLength = 0;
    more = false;
    if (!m_initialised)
        Report("Invalid handle", -1, __LINE__);
    return m_initialised;
}

bool CLibz::TakeInput(unsigned char* data, unsigned length)
{
    if (length > 0 && data == nullptr)
        return false;
    m_stream->next_in = data;
    m_stream->avail_in = length;
    return true;
}

void CLibz::RestartInflate()
{
    inflateReset(m_stream);
    ClearStreamState();
}

int CLibz::compress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                    unsigned long* outLength, bool& more)
{
    if (!BeginCall(out, outLength, more))
        return -1;
    if (!SetUp(kDeflate))
        return m_lastResult;
    if (m_continuation) {
        // The stream still holds the previous input; new bytes now would be lost.
        if (length > 0)
            return Fail("Compress data error", Z_STREAM_ERROR, __LINE__);
    } else if (!TakeInput(data, length)) {
        return Fail("Compress data error", Z_STREAM_ERROR, __LINE__);
    }
    m_stream->next_out = m_output;
    m_stream->avail_out = kOutputBytes;
    const int result = deflate(m_stream, final ? Z_FINISH : Z_NO_FLUSH);
    m_lastResult = result;
    const unsigned long produced = kOutputBytes - m_stream->avail_out;
    const bool full = m_stream->avail_out == 0;
    if (!final) {
        // A buffer error only says that no progress was possible.
        if (result != Z_OK && result != Z_BUF_ERROR) {
            Report("Compress data error", result, __LINE__);
            ReportStream();
            com_end();
            return result;
        }
        more = full;
    } else if (result == Z_STREAM_END) {
        deflateReset(m_stream);
    } else if ((result == Z_OK || result == Z_BUF_ERROR) && full) {
        more = true;
    } else {
        return Fail("Compress data error", result, __LINE__);
    }
    m_continuation = more;
    *out = produced > 0 ? m_output : nullptr;
    *outLength = produced;
    return 0;
}

int CLibz::TakeInflated(unsigned char** out, unsigned long* outLength)
{
    *out = m_inflated > 0 ? m_output : nullptr;
    *outLength = m_inflated;
    m_windowTaken = true;
    return 0;
}

int CLibz::decompress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                      unsigned long* outLength, bool& more)
{
    if (!BeginCall(out, outLength, more))
        return -1;
    if (m_continuation && length > 0)
        return Fail("Decompress data error", Z_STREAM_ERROR, __LINE__);
    if (final && length == 0 && !m_continuation) {
        // The end of a data set: its stream must have ended.
        if (m_direction == kInflate && m_inputSeen && !m_streamEnded)
            return Fail("Decompress data error", Z_DATA_ERROR, __LINE__);
        if (m_direction == kInflate)
            inflateReset(m_stream);
        ClearStreamState();
        return 0;
    }
    if (!SetUp(kInflate))
        return m_lastResult;
    if (!m_continuation) {
        if (!TakeInput(data, length))
            return Fail("Decompress data error", Z_STREAM_ERROR, __LINE__);
        m_inputSeen = m_inputSeen || length > 0;
    }
    if (m_windowTaken) {
        m_inflated = 0;
        m_windowTaken = false;
    }
    if (m_streamEnded) {
        // Nothing may follow the end of the stream inside one data set.
        if (m_stream->avail_in > 0)
            return Fail("Decompress data error", Z_DATA_ERROR, __LINE__);
        m_continuation = false;
        if (final)
            RestartInflate();
        return 0;
    }
    m_stream->next_out = m_output + m_inflated;
    m_stream->avail_out = kInflateWindowBytes - m_inflated;
    const int result = inflate(m_stream, final ? Z_FINISH : Z_NO_FLUSH);
    m_lastResult = result;
    m_inflated = kInflateWindowBytes - m_stream->avail_out;
    const bool full = m_stream->avail_out == 0;
    if (result == Z_STREAM_END) {
        if (m_stream->avail_in > 0)
            return Fail("Decompress data error", Z_DATA_ERROR, __LINE__);
        m_streamEnded = true;
        TakeInflated(out, outLength);
        more = !final && full;
        if (final)
            RestartInflate();
    } else if (result == Z_OK || result == Z_BUF_ERROR) {
        if (full) {
            TakeInflated(out, outLength);
            more = true;
        } else if (final) {
            // All input is used and the stream has not ended: it was cut short.
            return Fail("Decompress data error", Z_DATA_ERROR, __LINE__);
        } else if (result == Z_BUF_ERROR && m_inflated > 0) {
            TakeInflated(out, outLength);
            more = true;
        }
    } else {
        return Fail("Decompress data error", result, __LINE__);
    }
    m_continuation = more;
    return 0;
}
