#include "usedspace/device_reader.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

DeviceReader::DeviceReader(const char* path)
{
    if (path == nullptr)
        return;
    m_fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    off_t end = ::lseek(m_fd, 0, SEEK_END);
    if (end < 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_size = uint64_t(end);
}

DeviceReader::~DeviceReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DeviceReader::ReadAt(uint64_t offset, void* buffer, uint64_t length) const
{
    if (m_fd < 0 || offset > m_size || length > m_size - offset)
        return false;
    auto* out = static_cast<unsigned char*>(buffer);
    while (length > 0) {
        ssize_t got = ::pread(m_fd, out, length, off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        offset += uint64_t(got);
        length -= uint64_t(got);
    }
    return true;
}
