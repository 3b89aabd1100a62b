#include "quarn/compression/deflate_stream.h"

#include "quarn/compression/raw_deflate.h"
#include "quarn/api/quarn.h"

#include <cstdint>
#include <new>

namespace {
// zlib's codes, which this coder has always reported.
constexpr int kOk = 0;
constexpr int kStreamError = -2;
constexpr int kDataError = -3;
constexpr int kMemoryError = -4;
}  // namespace

CLibz::CLibz() = default;

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
    const CRawDeflateBuffers* buffers = m_direction == kDeflate
                                            ? static_cast<CRawDeflateBuffers*>(m_deflater.get())
                                            : static_cast<CRawDeflateBuffers*>(m_inflater.get());
    if (buffers == nullptr)
        return;
    DEBUG_TRACE("\tnext_in=%0Xd,avail_in=%d,next_out=%0Xd,avail_out=%d\n\tstrm=%0Xd,total_in=%ld\n",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffers->NextInput())),
                static_cast<int>(buffers->InputLeft()),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffers->NextOutput())),
                static_cast<int>(buffers->OutputLeft()),
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffers)), static_cast<long>(m_totalIn));
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
    m_totalIn = 0;
}

int CLibz::init(bool defaultLevel)
{
    if (m_initialised)
        com_end();
    if (m_output.empty())
        m_output.resize(kOutputBytes);
    if (m_defaultLevel != defaultLevel)
        m_deflater.reset();  // made again at the other level when needed
    m_defaultLevel = defaultLevel;
    m_initialised = true;
    m_streamUnset = true;
    m_direction = kNone;
    m_lastResult = kOk;
    m_error = 0;
    ClearStreamState();
    return 0;
}

bool CLibz::SetUp(Direction direction)
{
    if (!m_streamUnset && m_direction == direction)
        return true;
    com_end();
    bool ready;
    if (direction == kDeflate) {
        if (m_deflater == nullptr)
            m_deflater = std::make_unique<CRawDeflater>(m_defaultLevel ? 3 : 2);
        ready = m_deflater != nullptr && m_deflater->IsReady() && m_deflater->Reset();
    } else {
        if (m_inflater == nullptr)
            m_inflater = std::make_unique<CRawInflater>();
        ready = m_inflater != nullptr && m_inflater->IsReady() && m_inflater->Reset();
    }
    m_lastResult = ready ? kOk : kMemoryError;
    if (!ready) {
        Report("Initialize z_stream error", m_lastResult, __LINE__);
        return false;
    }
    m_direction = direction;
    m_streamUnset = false;
    ClearStreamState();
    return true;
}

bool CLibz::RestartStream()
{
    bool ok = true;
    if (m_direction == kDeflate)
        ok = m_deflater->Reset();
    else if (m_direction == kInflate)
        ok = m_inflater->Reset();
    ClearStreamState();
    return ok;
}

int CLibz::reset()
{
    if (!m_initialised) {
        Report("Invalid handle", -1, __LINE__);
        return -1;
    }
    m_lastResult = RestartStream() ? kOk : kStreamError;
    return m_lastResult;
}

int CLibz::com_end()
{
    // The coders are kept for the next stream; only the direction is forgotten.
    m_direction = kNone;
    m_streamUnset = true;
    ClearStreamState();
    return 0;
}

int CLibz::deinit()
{
    com_end();
    m_output = std::vector<unsigned char>();
    m_deflater.reset();
    m_inflater.reset();
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
    if (m_direction == kDeflate)
        m_deflater->SetInput(data, length);
    else
        m_inflater->SetInput(data, length);
    m_totalIn += length;
    return true;
}

void CLibz::RestartInflate()
{
    m_inflater->Reset();
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
            return Fail("Compress data error", kStreamError, __LINE__);
    } else if (!TakeInput(data, length)) {
        return Fail("Compress data error", kStreamError, __LINE__);
    }
    m_deflater->SetOutput(m_output.data(), kOutputBytes);
    const uint32_t inputBefore = m_deflater->InputLeft();
    const CRawDeflater::Step step =
        m_deflater->Deflate(final ? CRawDeflater::Flush::kFinish : CRawDeflater::Flush::kNone);
    const unsigned long produced = kOutputBytes - m_deflater->OutputLeft();
    if (step == CRawDeflater::Step::kError) {
        m_lastResult = kStreamError;
        Report("Compress data error", m_lastResult, __LINE__);
        ReportStream();
        com_end();
        return m_lastResult;
    }
    m_lastResult = kOk;
    more = step == CRawDeflater::Step::kMore;
    if (more && produced == 0 && m_deflater->InputLeft() == inputBefore)
        return Fail("Compress data error", kStreamError, __LINE__);  // no progress with a whole buffer
    if (final && !more) {
        // The data set's stream ended: the next bytes start a new one.
        m_deflater->Reset();
        m_totalIn = 0;
    }
    m_continuation = more;
    *out = produced > 0 ? m_output.data() : nullptr;
    *outLength = produced;
    return 0;
}

int CLibz::TakeInflated(unsigned char** out, unsigned long* outLength)
{
    *out = m_inflated > 0 ? m_output.data() : nullptr;
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
        return Fail("Decompress data error", kStreamError, __LINE__);
    if (final && length == 0 && !m_continuation) {
        // The end of a data set: its stream must have ended.
        if (m_direction == kInflate && m_inputSeen && !m_streamEnded)
            return Fail("Decompress data error", kDataError, __LINE__);
        if (m_direction == kInflate)
            m_inflater->Reset();
        ClearStreamState();
        return 0;
    }
    if (!SetUp(kInflate))
        return m_lastResult;
    if (!m_continuation) {
        if (!TakeInput(data, length))
            return Fail("Decompress data error", kStreamError, __LINE__);
        m_inputSeen = m_inputSeen || length > 0;
    }
    if (m_windowTaken) {
        m_inflated = 0;
        m_windowTaken = false;
    }
    if (m_streamEnded) {
        // Nothing may follow the end of the stream inside one data set.
        if (m_inflater->InputLeft() > 0)
            return Fail("Decompress data error", kDataError, __LINE__);
        m_continuation = false;
        if (final)
            RestartInflate();
        return 0;
    }
    m_inflater->SetOutput(m_output.data() + m_inflated,
                          static_cast<uint32_t>(kInflateWindowBytes - m_inflated));
    const CRawInflater::Step step = m_inflater->Inflate();
    m_inflated = kInflateWindowBytes - m_inflater->OutputLeft();
    const bool full = m_inflater->OutputLeft() == 0;
    m_lastResult = step == CRawInflater::Step::kError ? kDataError : kOk;
    if (step == CRawInflater::Step::kStreamEnd) {
        if (m_inflater->InputLeft() > 0)
            return Fail("Decompress data error", kDataError, __LINE__);
        m_streamEnded = true;
        TakeInflated(out, outLength);
        more = !final && full;
        if (final)
            RestartInflate();
    } else if (step != CRawInflater::Step::kError) {
        if (full) {
            TakeInflated(out, outLength);
            more = true;
        } else if (final) {
            // All input is used and the stream has not ended: it was cut short.
            return Fail("Decompress data error", kDataError, __LINE__);
        } else if (step == CRawInflater::Step::kNoProgress && m_inflated > 0) {
            TakeInflated(out, outLength);
            more = true;
        }
    } else {
        return Fail("Decompress data error", kDataError, __LINE__);
    }
    m_continuation = more;
    return 0;
}
