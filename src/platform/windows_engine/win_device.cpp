#include "platform/windows_engine/win_device.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "platform/windows/paths.h"
#include "platform/windows/text.h"

namespace {

// Longest single request handed to the system.
constexpr std::size_t kMaxRequest = 1u << 30;

winplat::OpenMode ModeOf(int mode, bool* valid)
{
    *valid = mode >= 0 && mode <= 2;
    switch (mode) {
    case 1:
        return winplat::OpenMode::ReadWrite;
    case 2:
        return winplat::OpenMode::Create;
    default:
        return winplat::OpenMode::Read;
    }
}

}  // namespace

int CWinDevice::OpenPath(const std::u16string& path, int mode)
{
    Close();
    bool valid = false;
    const winplat::OpenMode how = ModeOf(mode, &valid);
    if (!valid || path.empty())
        return -1;
    winplat::Error error = winplat::err::kSuccess;
    m_device = winplat::currentPlatform()->open(path, how, error);
    if (!m_device || error != winplat::err::kSuccess) {
        m_device.reset();
        return -1;
    }
    m_position = 0;
    return 0;
}

int CWinDevice::Close()
{
    m_device.reset();
    m_position = 0;
    return 0;
}

bool CWinDevice::Size(std::uint64_t* bytes) const
{
    return m_device && m_device->size(*bytes) == winplat::err::kSuccess;
}

int CWinDevice::Seek(long long offset, int whence)
{
    if (!m_device)
        return -1;
    std::uint64_t base = 0;
    if (whence == 1)
        base = m_position;
    else if (whence == 2) {
        if (!Size(&base))
            return -1;
    } else if (whence != 0)
        return -1;
    if (offset < 0 && static_cast<std::uint64_t>(-(offset + 1)) + 1 > base)
        return -1;
    m_position = base + static_cast<std::uint64_t>(offset);
    return 0;
}

long long CWinDevice::pRead(long long offset, long long count, void* buffer)
{
    if (!m_device || offset < 0 || count < 0 || (count > 0 && buffer == nullptr))
        return 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    long long total = 0;
    while (total < count) {
        const std::size_t ask = static_cast<std::size_t>(std::min<long long>(count - total, kMaxRequest));
        std::size_t done = 0;
        if (m_device->readAt(static_cast<std::uint64_t>(offset + total), bytes + total, ask, done) !=
            winplat::err::kSuccess)
            return 0;
        total += static_cast<long long>(done);
        if (done < ask)
            break;  // the end of the file or device
    }
    return total;
}

long long CWinDevice::pWrite(long long offset, const void* buffer, long long count)
{
    if (!m_device || offset < 0 || count < 0 || (count > 0 && buffer == nullptr))
        return 0;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    long long total = 0;
    while (total < count) {
        const std::size_t ask = static_cast<std::size_t>(std::min<long long>(count - total, kMaxRequest));
        std::size_t done = 0;
        if (m_device->writeAt(static_cast<std::uint64_t>(offset + total), bytes + total, ask, done) !=
                winplat::err::kSuccess ||
            done != ask)
            return 0;
        total += static_cast<long long>(done);
    }
    return total;
}

int CWinDevice::Flush()
{
    return m_device && m_device->flush() == winplat::err::kSuccess ? 0 : -1;
}

long long CWinDevice::Read(void* buffer, long long count)
{
    const long long done = pRead(static_cast<long long>(m_position), count, buffer);
    m_position += static_cast<std::uint64_t>(done);
    return done;
}

long long CWinDevice::Write(const void* buffer, long long count)
{
    const long long done = pWrite(static_cast<long long>(m_position), buffer, count);
    m_position += static_cast<std::uint64_t>(done);
    return done;
}

int CFerrin::Open(const std::string& path, int mode)
{
    m_path = winplat::utf16(path);
    return OpenPath(m_path, mode);
}

int CFerrin::RemoveFile()
{
    Close();
    if (m_path.empty())
        return -1;
    return winplat::currentPlatform()->removeFile(m_path) == winplat::err::kSuccess ? 0 : -1;
}

bool CGondrel::IsDeviceString(const std::string& path)
{
    if (path.rfind("\\\\.\\", 0) == 0)
        return true;
    const bool letter = !path.empty() && std::isalpha(static_cast<unsigned char>(path[0]));
    return letter && (path.size() == 1 ||
                      (path[1] == ':' && (path.size() == 2 || (path.size() == 3 && path[2] == '\\'))));
}

std::u16string CGondrel::DevicePath(const std::string& path)
{
    if (path.rfind("\\\\.\\", 0) == 0)
        return winplat::utf16(path);
    return IsDeviceString(path) ? winplat::volumeDevicePathOf(winplat::utf16(path)) : std::u16string();
}

int CGondrel::Open(const std::string& path, int mode, bool /*shared*/)
{
    if (mode == 2)
        return -1;
    return OpenPath(DevicePath(path), mode);
}

int CGondrel::LockVolume()
{
    return Device() != nullptr && Device()->lockVolume() == winplat::err::kSuccess ? 1 : 0;
}
