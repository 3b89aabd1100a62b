#include "platform/windows_engine/engine_io.h"

const CWinDevice* CWinIo::Device() const
{
    if (m_volume)
        return m_volume.get();
    return m_file.get();
}

CWinDevice* CWinIo::Device()
{
    if (m_volume)
        return m_volume.get();
    return m_file.get();
}

int CWinIo::Open(const std::string& path, int mode)
{
    Close();
    if (mode < ModeRead || mode > ModeCreate)
        return -1;
    int result = -1;
    if (CGondrel::IsDeviceString(path)) {
        m_volume.reset(new CGondrel);
        result = m_volume->Open(path, mode, mode == ModeRead);
    } else {
        m_file.reset(new CFerrin);
        result = m_file->Open(path, mode);
    }
    m_path = path;
    if (result != 0) {
        Close();
        return -1;
    }
    return 0;
}

int CWinIo::Close()
{
    m_file.reset();
    m_volume.reset();
    return 0;
}

int CWinIo::Sync()
{
    return IsOpen() ? Device()->Flush() : -1;
}

int CWinIo::Seek(int64_t offset, int whence)
{
    return IsOpen() ? Device()->Seek(offset, whence) : -1;
}

int64_t CWinIo::Read(void* buffer, int64_t length)
{
    return IsOpen() ? Device()->Read(buffer, length) : 0;
}

int64_t CWinIo::Write(const void* buffer, int64_t length)
{
    if (!IsOpen())
        return 0;
    const int64_t done = Device()->Write(buffer, length);
    return done == length ? done : 0;
}

int64_t CWinIo::pRead(int64_t offset, void* buffer, int64_t length)
{
    if (Seek(offset, 0) != 0)
        return -1;
    return Read(buffer, length);
}

int64_t CWinIo::pWrite(int64_t offset, const void* buffer, int64_t length)
{
    if (Seek(offset, 0) != 0)
        return -1;
    return Write(buffer, length);
}

int64_t CWinIo::ReadAt(int64_t offset, void* buffer, int64_t length)
{
    if (!IsOpen() || offset < 0)
        return -1;
    return Device()->pRead(offset, length, buffer);
}

int64_t CWinIo::WriteAt(int64_t offset, const void* buffer, int64_t length)
{
    if (!IsOpen() || offset < 0)
        return 0;
    const int64_t done = Device()->pWrite(offset, buffer, length);
    return done == length ? done : 0;
}

int CWinIo::RemoveFile()
{
    Close();
    if (m_path.empty() || CGondrel::IsDeviceString(m_path))
        return -1;
    CFerrin file;
    // A file that is already gone is removed.
    if (file.Open(m_path, ModeRead) != 0)
        return 0;
    return file.RemoveFile();
}

int64_t CWinIo::GetCurrentPos() const
{
    return IsOpen() ? Device()->GetCurrentPos() : -1;
}
