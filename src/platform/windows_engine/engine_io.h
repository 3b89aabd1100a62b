// The engine's device class in its Windows build. The engine's sources name
// their device class CDeviceIo (io/device_io.h); that build's header points
// at this one, so there the name stands for this class, which offers the
// same calls and hands them to CGondrel for volumes and disks (partition
// strings such as "E:", device paths "\\.\...") and to CFerrin for image
// files. Everything the engine asks of the system beyond bytes goes through
// io/device_system.h.
#pragma once

#include <cstdint>
#include <string>

#include "platform/windows_engine/win_device.h"

class CWinIo {
public:
    enum Mode { ModeRead = 0, ModeUpdate = 1, ModeCreate = 2 };

    CWinIo() = default;
    virtual ~CWinIo() = default;
    CWinIo(const CWinIo&) = delete;
    CWinIo& operator=(const CWinIo&) = delete;

    // 0 on success, -1 on failure. The backup opens its source read only
    // and shared (CGondrel mode 0, true), the restore its target for update
    // (mode 1, false).
    int Open(const std::string& path, int mode);
    // Writes reach the system at once here; kept for the engine's calls.
    void BufferWrites() {}
    // Reads reach the system as asked here; kept for the engine's calls.
    void BufferReads() {}
    int Close();
    // Waits until every byte written is on the file or device: 0, or -1
    // when nothing is open or the system cannot put it there.
    int Sync();
    int Seek(int64_t offset, int whence);
    int64_t Read(void* buffer, int64_t length);
    int64_t Write(const void* buffer, int64_t length);
    int64_t pRead(int64_t offset, void* buffer, int64_t length);
    int64_t pWrite(int64_t offset, const void* buffer, int64_t length);
    // As pRead and pWrite, leaving the position where it was.
    int64_t ReadAt(int64_t offset, void* buffer, int64_t length);
    int64_t WriteAt(int64_t offset, const void* buffer, int64_t length);
    int RemoveFile();
    int GetHandle() const { return IsOpen() ? 0 : -1; }
    int64_t GetCurrentPos() const;
    bool IsOpen() const { return Device() != nullptr && Device()->IsOpen(); }
    const std::string& Path() const { return m_path; }

    // The volume or disk now open, or null (a file, or nothing).
    CGondrel* Volume() { return m_volume.get(); }
    // The file now open, or null.
    CFerrin* File() { return m_file.get(); }
    const CWinDevice* Device() const;

private:
    CWinDevice* Device();

    std::unique_ptr<CFerrin> m_file;
    std::unique_ptr<CGondrel> m_volume;
    std::string m_path;
};

// The name the engine's sources use.
class CDeviceIo final : public CWinIo {
public:
    using CWinIo::CWinIo;
};
