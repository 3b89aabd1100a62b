#include "quarn/io/linux_io.h"

#include "quarn/io/background_flush.h"
#include "quarn/api/quarn.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

CLinuxIo::CLinuxIo() = default;

CLinuxIo::~CLinuxIo()
{
    Close();
}

int CLinuxIo::Open(const std::string& path, int mode)
{
    const char* modeText = nullptr;
    switch (mode) {
    case ModeRead:
        modeText = "rbe";
        break;
    case ModeUpdate:
        modeText = "r+be";
        break;
    case ModeCreate:
        modeText = "w+be";
        break;
    default:
        return -1;
    }
    Close();
    m_path = path;
    m_stream = fopen64(path.c_str(), modeText);
    if (m_stream == nullptr) {
        DEBUG_TRACE("open %s failed! --- %s\n", path.c_str(), std::strerror(errno));
        return -1;
    }
    return 0;
}

void CLinuxIo::BufferWrites()
{
    if (m_stream == nullptr || m_buffered)
        return;
    // The stream itself keeps nothing back: every byte it is handed goes
    // to the file at once, so its errors show where they happen and the
    // descriptor always matches it.
    std::setvbuf(m_stream, nullptr, _IONBF, 0);
    m_pending.reserve(kWriteBufferBytes);
    m_streamPos = static_cast<int64_t>(ftello64(m_stream));
    m_buffered = true;
    m_flush = std::make_unique<CBackgroundFlush>(fileno(m_stream));
}

void CLinuxIo::BufferReads()
{
    if (m_stream == nullptr || m_buffered || !m_readBuffer.empty())
        return;
    try {
        m_readBuffer.assign(kReadBufferBytes, 0);
    } catch (const std::bad_alloc&) {
        return;  // the stream keeps its own small buffer
    }
    if (std::setvbuf(m_stream, m_readBuffer.data(), _IOFBF, m_readBuffer.size()) != 0)
        m_readBuffer.clear();
}

bool CLinuxIo::StopFlush()
{
    if (!m_flush)
        return true;
    const bool flushed = m_flush->Stop();
    m_flush.reset();
    if (!flushed)
        m_failed = true;
    return flushed;
}

int CLinuxIo::Close()
{
    if (m_stream == nullptr)
        return 0;
    bool ok = FlushBuffer();
    // The helper uses the descriptor: it ends before the stream closes.
    ok = StopFlush() && ok && !m_failed;
    if (std::fclose(m_stream) != 0) {
        DEBUG_TRACE("Close the file error! --- %s\n", std::strerror(errno));
        ok = false;
    }
    m_stream = nullptr;
    m_buffered = false;
    m_failed = false;
    m_pending.clear();
    m_pending.shrink_to_fit();
    m_readBuffer.clear();
    m_readBuffer.shrink_to_fit();
    return ok ? 0 : -1;
}

int CLinuxIo::Sync()
{
    if (m_stream == nullptr)
        return 0;
    if (!FlushBuffer() || m_failed || std::fflush(m_stream) != 0) {
        DEBUG_TRACE("Write the data error! \n");
        m_failed = m_buffered;
        return -1;
    }
    if (!StopFlush())
        return -1;
    if (fsync(fileno(m_stream)) != 0 && errno != EINVAL && errno != EROFS) {
        DEBUG_TRACE("Sync the data error! --- %s\n", std::strerror(errno));
        m_failed = m_buffered;
        return -1;
    }
    return 0;
}

int CLinuxIo::Seek(int64_t offset, int whence)
{
    if (m_stream != nullptr && !FlushBuffer())
        return -1;
    if (m_stream != nullptr && fseeko64(m_stream, offset, whence) == 0) {
        if (m_buffered)
            m_streamPos = whence == SEEK_SET ? offset : static_cast<int64_t>(ftello64(m_stream));
        return 0;
    }
    ReportSeekError(m_stream ? errno : EBADF, offset, whence);
    return -1;
}

void CLinuxIo::ReportSeekError(int error, int64_t offset, int whence)
{
    DEBUG_TRACE("Seek partition error! --- %s\n", std::strerror(error));
    DEBUG_TRACE(" offset = %lld\n", static_cast<long long>(offset));
    DEBUG_TRACE(" whence = %d\n", whence);
}

int64_t CLinuxIo::ReadAt(int64_t offset, void* buffer, int64_t length)
{
    if (m_stream == nullptr || offset < 0) {
        ReportSeekError(m_stream ? EINVAL : EBADF, offset, SEEK_SET);
        return -1;
    }
    if (length <= 0 || !FlushBuffer())
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    int64_t done = 0;
    while (done < length) {
        const ssize_t n =
            pread64(fileno(m_stream), out + done, static_cast<size_t>(length - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            DEBUG_TRACE("Read partition error! --- %s\n", std::strerror(errno));
            return 0;
        }
        if (n == 0) {
            DEBUG_TRACE("It's come to the end of the part!\n");
            break;
        }
        done += n;
    }
    return done;
}

int64_t CLinuxIo::Read(void* buffer, int64_t length)
{
    if (length <= 0 || m_stream == nullptr || !FlushBuffer())
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    int64_t done = 0;
    while (done < length) {
        size_t n = std::fread(out + done, 1, static_cast<size_t>(length - done), m_stream);
        done += static_cast<int64_t>(n);
        if (done == length)
            break;
        if (std::ferror(m_stream)) {
            DEBUG_TRACE("Read partition error! --- %s\n", std::strerror(errno));
            std::clearerr(m_stream);
            done = 0;
            break;
        }
        if (std::feof(m_stream)) {
            DEBUG_TRACE("It's come to the end of the part!\n");
            std::clearerr(m_stream);
            break;
        }
    }
    if (m_buffered)
        m_streamPos = static_cast<int64_t>(ftello64(m_stream));
    return done;
}

bool CLinuxIo::WriteFailed()
{
    DEBUG_TRACE("Write the data error! \n");
    if (m_stream != nullptr)
        std::clearerr(m_stream);
    // Bytes the caller was told are written are lost: the file stays failed.
    m_failed = m_buffered;
    return false;
}

bool CLinuxIo::WriteOut(const void* buffer, size_t length)
{
    const auto* in = static_cast<const unsigned char*>(buffer);
    size_t done = 0;
    while (done < length) {
        size_t n = std::fwrite(in + done, 1, length - done, m_stream);
        if (n == 0 || (!m_buffered && std::fflush(m_stream) != 0))
            return WriteFailed();
        done += n;
    }
    if (m_streamPos >= 0)
        m_streamPos += static_cast<int64_t>(done);
    if (m_flush)
        m_flush->Written(done);
    return true;
}

bool CLinuxIo::FlushBuffer()
{
    if (m_pending.empty())
        return true;
    bool ok = WriteOut(m_pending.data(), m_pending.size());
    m_pending.clear();
    return ok;
}

int64_t CLinuxIo::Write(const void* buffer, int64_t length)
{
    if (length <= 0 || m_stream == nullptr)
        return 0;
    const size_t n = static_cast<size_t>(length);
    if (!m_buffered)
        return WriteOut(buffer, n) ? length : 0;
    if (m_failed) {
        WriteFailed();
        return 0;
    }
    if (n >= kStraightWriteBytes)
        return FlushBuffer() && WriteOut(buffer, n) ? length : 0;
    if (m_pending.size() + n > kWriteBufferBytes && !FlushBuffer())
        return 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    m_pending.insert(m_pending.end(), in, in + n);
    return length;
}

int64_t CLinuxIo::WriteAt(int64_t offset, const void* buffer, int64_t length)
{
    if (length <= 0 || offset < 0 || m_stream == nullptr)
        return 0;
    if (!m_buffered) {
        const int64_t pos = GetCurrentPos();
        if (pos < 0 || pWrite(offset, buffer, length) != length || Seek(pos, SEEK_SET) != 0)
            return 0;
        return length;
    }
    if (m_failed) {
        WriteFailed();
        return 0;
    }
    const int64_t pendingEnd = m_streamPos + static_cast<int64_t>(m_pending.size());
    if (m_streamPos >= 0 && offset >= m_streamPos && length <= pendingEnd - offset) {
        std::memcpy(m_pending.data() + (offset - m_streamPos), buffer, static_cast<size_t>(length));
        return length;
    }
    if (!FlushBuffer())
        return 0;
    // Every byte handed to the stream is in the file: write beside it
    // without moving its offset.
    const auto* in = static_cast<const unsigned char*>(buffer);
    for (int64_t done = 0; done < length;) {
        ssize_t n = pwrite64(fileno(m_stream), in + done, static_cast<size_t>(length - done), offset + done);
        if (n <= 0) {
            WriteFailed();
            return 0;
        }
        done += n;
    }
    return length;
}

int64_t CLinuxIo::pRead(int64_t offset, void* buffer, int64_t length)
{
    if (Seek(offset, SEEK_SET) != 0)
        return -1;
    return Read(buffer, length);
}

int64_t CLinuxIo::pWrite(int64_t offset, const void* buffer, int64_t length)
{
    if (Seek(offset, SEEK_SET) != 0)
        return -1;
    return Write(buffer, length);
}

int CLinuxIo::RemoveFile()
{
    // The file goes away: what is still buffered need not be written.
    m_pending.clear();
    m_failed = false;
    Close();
    struct stat st;
    if (m_path.empty() || ::stat(m_path.c_str(), &st) != 0)
        return 0;
    return ::unlink(m_path.c_str());
}

int CLinuxIo::GetHandle() const
{
    return m_stream ? fileno(m_stream) : -1;
}

int64_t CLinuxIo::GetCurrentPos() const
{
    if (m_stream == nullptr)
        return -1;
    if (m_buffered)
        return m_streamPos < 0 ? -1 : m_streamPos + static_cast<int64_t>(m_pending.size());
    return static_cast<int64_t>(ftello64(m_stream));
}
