#include "quarn/image/stream_pipe.h"

#include "quarn/api/quarn.h"

#include <algorithm>
#include <cstring>

CStreamPipe::CStreamPipe() : m_ring(kCapacity)
{}

int CStreamPipe::Put(const void* data, uint64_t length)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (length != 0) {
        if (!m_readerDone && m_size == m_ring.size()) {
            m_writerWaits = true;
            m_roomFreed.wait(lock, [this] { return m_readerDone || m_size < m_ring.size(); });
            m_writerWaits = false;
        }
        if (m_readerDone)
            return ERR_CANCELLED;
        const size_t tail = (m_head + m_size) % m_ring.size();
        const size_t room = std::min(m_ring.size() - m_size, m_ring.size() - tail);
        const size_t n = static_cast<size_t>(std::min<uint64_t>(room, length));
        std::memcpy(m_ring.data() + tail, bytes, n);
        m_size += n;
        bytes += n;
        length -= n;
        if (m_readerWaits)
            m_bytesAdded.notify_one();
    }
    return 0;
}

void CStreamPipe::CloseWriting()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writerDone = true;
    m_bytesAdded.notify_all();
}

int64_t CStreamPipe::Take(void* into, int64_t length)
{
    auto* out = static_cast<unsigned char*>(into);
    int64_t got = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (got < length) {
        if (m_size == 0 && !m_readerDone && !m_writerDone) {
            m_readerWaits = true;
            m_bytesAdded.wait(lock, [this] { return m_readerDone || m_writerDone || m_size != 0; });
            m_readerWaits = false;
        }
        if (m_size == 0 || m_readerDone)
            break;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(std::min(m_size, m_ring.size() - m_head),
                                                                static_cast<uint64_t>(length - got)));
        std::memcpy(out + got, m_ring.data() + m_head, n);
        m_head = (m_head + n) % m_ring.size();
        m_size -= n;
        got += static_cast<int64_t>(n);
        if (m_writerWaits)
            m_roomFreed.notify_one();
    }
    return got;
}

void CStreamPipe::StopReading()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readerDone = true;
    m_roomFreed.notify_all();
    m_bytesAdded.notify_all();
}

int CStreamPipe::SkipImage(uint64_t length)
{
    unsigned char scratch[4096];
    while (length != 0) {
        const int64_t n = static_cast<int64_t>(std::min<uint64_t>(length, sizeof scratch));
        if (Take(scratch, n) != n)
            return ERR_SEEK_FILE;
        length -= static_cast<uint64_t>(n);
    }
    return 0;
}
