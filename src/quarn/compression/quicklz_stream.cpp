#include "quarn/compression/quicklz_stream.h"

#include "quarn/compression/quicklz_codec.h"

#include <cstring>
#include <memory>
#include <new>

CQuick_LZ::~CQuick_LZ()
{
    FreeBuffers();
}

void CQuick_LZ::FreeBuffers()
{
    m_output = std::vector<unsigned char>();
    m_compressState = std::vector<char>();
    m_decompressState = std::vector<char>();
    m_pendingInput = std::vector<unsigned char>();
    m_work = std::vector<unsigned char>();
    m_initialised = false;
}

int CQuick_LZ::init(bool)
{
    if (m_pending)
        return -1;
    if (m_output.empty()) {
        m_output.assign(kOutputBytes, 0);
        m_compressState.assign(QLZ_SCRATCH_COMPRESS, 0);
        m_decompressState.assign(QLZ_SCRATCH_DECOMPRESS, 0);
        m_pendingInput.assign(kPendingBytes, 0);
        m_work.assign(kWorkBytes, 0);
    }
    m_pendingLength = 0;
    m_finishing = false;
    m_error = 0;
    m_initialised = true;
    return 0;
}

int CQuick_LZ::reset(bool unused)
{
    m_pending = false;
    m_pendingLength = 0;
    m_finishing = false;
    return init(unused);
}

int CQuick_LZ::deinit()
{
    if (m_pending)
        return -1;
    FreeBuffers();
    return 0;
}

int CQuick_LZ::Fail()
{
    // The stream is broken; drop what waited so the next data set starts clean.
    m_pending = false;
    m_pendingLength = 0;
    m_finishing = false;
    m_error = -1;
    return -1;
}

unsigned char* CQuick_LZ::JoinPending(unsigned char* data, unsigned long length)
{
    if (m_pendingLength == 0)
        return data;
    std::memcpy(m_work.data(), m_pendingInput.data(), m_pendingLength);
    if (length > 0)
        std::memcpy(m_work.data() + m_pendingLength, data, length);
    return m_work.data();
}

bool CQuick_LZ::BeginCall(unsigned char* data, unsigned length, bool& final, unsigned char** input,
                          unsigned long* total, unsigned char** out, unsigned long* outLength, bool& more)
{
    *out = nullptr;
    *outLength = 0;
    more = false;
    if (!m_initialised || (length > 0 && data == nullptr))
        return false;
    final = final || m_finishing;
    *total = m_pendingLength + length;
    if (*total > kWorkBytes)
        return false;
    *input = JoinPending(data, length);
    return true;
}

int CQuick_LZ::EndCall(const unsigned char* rest, unsigned long restLength, unsigned long produced,
                       bool final, bool more, unsigned char** out, unsigned long* outLength)
{
    if (!KeepPending(rest, restLength))
        return Fail();
    m_finishing = final && more;
    *out = produced > 0 ? m_output.data() : nullptr;
    *outLength = produced;
    return 0;
}

bool CQuick_LZ::KeepPending(const unsigned char* rest, unsigned long length)
{
    if (length > kPendingBytes)
        return false;
    if (length > 0)
        std::memmove(m_pendingInput.data(), rest, length);
    m_pendingLength = length;
    m_pending = length > 0;
    return true;
}

int CQuick_LZ::compress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                        unsigned long* outLength, bool& more)
{
    unsigned char* input = nullptr;
    unsigned long total = 0;
    if (!BeginCall(data, length, final, &input, &total, out, outLength, more))
        return Fail();

    unsigned long used = 0;
    unsigned long produced = 0;
    while (total - used >= kBlockBytes || (final && used < total)) {
        const unsigned long block = total - used < kBlockBytes ? total - used : kBlockBytes;
        if (produced + qlz_max_packet(block) > kOutputBytes) {
            more = true;
            break;
        }
        size_t packet = qlz_compress(input + used, reinterpret_cast<char*>(m_output.data()) + produced, block,
                                     m_compressState.data());
        if (packet == 0)
            return Fail();
        produced += packet;
        used += block;
    }
    return EndCall(input + used, total - used, produced, final, more, out, outLength);
}

int CQuick_LZ::decompress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                          unsigned long* outLength, bool& more)
{
    unsigned char* input = nullptr;
    unsigned long total = 0;
    if (!BeginCall(data, length, final, &input, &total, out, outLength, more))
        return Fail();

    unsigned long used = 0;
    unsigned long produced = 0;
    while (used < total) {
        size_t packetBytes = 0;
        size_t plainBytes = 0;
        const int header =
            qlz_read_header(reinterpret_cast<char*>(input + used), total - used, &packetBytes, &plainBytes);
        if (header < 0 || (header > 0 && (packetBytes > kWorkBytes || plainBytes > kOutputBytes)))
            return Fail();
        if (header == 0 || packetBytes > total - used)
            break;  // the rest of this packet comes with the next call
        if (produced + plainBytes > kOutputBytes) {
            more = true;
            break;
        }
        if (qlz_decompress_bounded(reinterpret_cast<char*>(input + used), packetBytes,
                                   m_output.data() + produced, plainBytes,
                                   m_decompressState.data()) != plainBytes)
            return Fail();
        produced += plainBytes;
        used += packetBytes;
    }
    if (final && !more && used < total)
        return Fail();  // the stream ends inside a packet
    return EndCall(input + used, total - used, produced, final, more, out, outLength);
}

int CQuick_LZ::decompres(ReadFunc read, WriteFunc write, void* user, uint64_t* compressedBytes, bool final,
                         void* writeArg)
{
    if (!m_initialised || read == nullptr || write == nullptr || compressedBytes == nullptr)
        return Fail();
    std::vector<unsigned char> piece(kPendingBytes);
    bool first = true;
    while (*compressedBytes > 0 || (final && first)) {
        first = false;
        const unsigned long want =
            *compressedBytes < kPendingBytes ? static_cast<unsigned long>(*compressedBytes) : kPendingBytes;
        long got = 0;
        if (want > 0) {
            got = read(user, piece.data(), want);
            if (got <= 0 || static_cast<unsigned long>(got) > want)
                return Fail();
            *compressedBytes -= static_cast<unsigned long>(got);
        }
        const bool last = final && *compressedBytes == 0;
        bool more = false;
        do {
            unsigned char* out = nullptr;
            unsigned long outLength = 0;
            if (decompress(more ? nullptr : piece.data(), more ? 0 : static_cast<unsigned>(got), last, &out,
                           &outLength, more) != 0)
                return -1;
            if (outLength > 0 && write(writeArg, out, outLength) != 0)
                return Fail();
        } while (more);
    }
    return 0;
}
