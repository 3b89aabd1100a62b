// The Windows engine's I/O classes on the Windows platform layer:
// CFerrin for image files, CGondrel for volumes and physical disks. Both
// keep the engine's conventions: open modes 0 read, 1 read and write,
// 2 create; 0 for success from Open and Seek; Read, Write, pRead and pWrite
// return the count done (0 on an error). Paths are the engine's byte
// strings, UTF-8 here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/windows/platform.h"

// What both classes share: one open winplat::Device and its position.
class CWinDevice {
public:
    CWinDevice() = default;
    virtual ~CWinDevice() = default;
    CWinDevice(const CWinDevice&) = delete;
    CWinDevice& operator=(const CWinDevice&) = delete;

    int Close();
    // whence: 0 start, 1 current, 2 end. The end of a volume or disk is its
    // driver length (seeking there through the system gives 0 on volumes).
    int Seek(long long offset, int whence);
    long long Read(void* buffer, long long count);
    long long Write(const void* buffer, long long count);
    long long pRead(long long offset, long long count, void* buffer);
    long long pWrite(long long offset, const void* buffer, long long count);
    long long GetCurrentPos() const { return m_device ? static_cast<long long>(m_position) : -1; }
    // Bytes of the open file (its size) or device (its driver length);
    // false when nothing is open or the system cannot tell.
    bool Size(std::uint64_t* bytes) const;
    // Waits until every byte written is on the file or device: 0, or -1.
    int Flush();
    bool IsOpen() const { return m_device != nullptr; }
    winplat::Device* Device() const { return m_device.get(); }

protected:
    int OpenPath(const std::u16string& path, int mode);

private:
    std::unique_ptr<winplat::Device> m_device;
    std::uint64_t m_position = 0;
};

class CFerrin : public CWinDevice {
public:
    int Open(const std::string& path, int mode);
    // Closes the file and deletes it: 0, or -1 when it cannot be deleted.
    int RemoveFile();

private:
    std::u16string m_path;
};

class CGondrel : public CWinDevice {
public:
    // `path`: a partition string that begins with its drive letter ("E:",
    // "e:\"), which opens the volume \\.\E:, or a device path such as
    // "\\.\PhysicalDrive0". Mode 2 is refused. The flag is kept for callers
    // that pass it; opening does not depend on it.
    int Open(const std::string& path, int mode, bool shared);
    // The open device, standing in for the system handle.
    winplat::Device* GetHandle() const { return Device(); }
    // Non-zero when the volume is now locked for exclusive use.
    int LockVolume();

    // The device path a partition or device string opens.
    static std::u16string DevicePath(const std::string& path);
    // True for strings CGondrel opens rather than files: "E:", "e:\",
    // "\\.\...".
    static bool IsDeviceString(const std::string& path);
};
