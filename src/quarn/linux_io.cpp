#include "linux_io.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

CLinuxIo::~CLinuxIo()
{
    Close();
}

int CLinuxIo::Open(const std::string& path, int mode)
{
    const char* modeText = nullptr;
    switch (mode) {
    case ModeRead: modeText = "rbe"; break;
    case ModeUpdate: modeText = "r+be"; break;
    case ModeCreate: modeText = "w+be"; break;
    default: return -1;
    }
    Close();
    m_path = path;
    m_stream = fopen64(path.c_str(), modeText);
    if (m_stream == nullptr) {
        std::fprintf(stderr, "open %s failed! --- %s\n", path.c_str(), std::strerror(errno));
        return -1;
    }
    return 0;
}

int CLinuxIo::Close()
{
    if (m_stream == nullptr)
        return 0;
    int result = std::fclose(m_stream);
    m_stream = nullptr;
    return result;
}

int CLinuxIo::Seek(int64_t offset, int whence)
{
    if (m_stream != nullptr && fseeko64(m_stream, offset, whence) == 0)
        return 0;
    std::fprintf(stderr, "Seek partition error! --- %s\n", std::strerror(m_stream ? errno : EBADF));
    std::fprintf(stderr, " offset = %lld\n", static_cast<long long>(offset));
    std::fprintf(stderr, " whence = %d\n", whence);
    return -1;
}

int64_t CLinuxIo::Read(void* buffer, int64_t length)
{
    if (length <= 0 || m_stream == nullptr)
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    int64_t done = 0;
    while (done < length) {
        size_t n = std::fread(out + done, 1, static_cast<size_t>(length - done), m_stream);
        done += static_cast<int64_t>(n);
        if (done == length)
            break;
        if (std::ferror(m_stream)) {
            std::fprintf(stderr, "Read partition error! --- %s\n", std::strerror(errno));
            std::clearerr(m_stream);
            return 0;
        }
        if (std::feof(m_stream)) {
            std::fprintf(stderr, "It's come to the end of the part!\n");
            std::clearerr(m_stream);
            break;
        }
    }
    return done;
}

int64_t CLinuxIo::Write(const void* buffer, int64_t length)
{
    if (length <= 0 || m_stream == nullptr)
        return 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    int64_t done = 0;
    while (done < length) {
        size_t n = std::fwrite(in + done, 1, static_cast<size_t>(length - done), m_stream);
        if (n == 0 || std::fflush(m_stream) != 0) {
            std::fprintf(stderr, "Write the data error! \n");
            std::clearerr(m_stream);
            return 0;
        }
        done += static_cast<int64_t>(n);
    }
    return done;
}

int64_t CLinuxIo::pRead(int64_t offset, int64_t length, void* buffer)
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
    return m_stream ? static_cast<int64_t>(ftello64(m_stream)) : -1;
}
