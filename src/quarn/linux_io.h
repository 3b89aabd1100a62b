// The engine's one handle for image volumes, partitions and whole disks:
// every byte a job reads or writes passes through here.
#ifndef QUARN_LINUX_IO_H
#define QUARN_LINUX_IO_H

#include <cstdint>
#include <cstdio>
#include <string>

class CLinuxIo {
public:
    enum Mode { ModeRead = 0, ModeUpdate = 1, ModeCreate = 2 };

    CLinuxIo() = default;
    virtual ~CLinuxIo();
    CLinuxIo(const CLinuxIo&) = delete;
    CLinuxIo& operator=(const CLinuxIo&) = delete;

    // 0 on success, -1 on failure (or an unknown mode, which touches nothing).
    int Open(const std::string& path, int mode);
    int Close();
    // whence: 0 start, 1 current, 2 end. 0 on success, -1 on failure.
    int Seek(int64_t offset, int whence);
    // Bytes read; fewer than asked at the end of the stream, 0 on an error.
    int64_t Read(void* buffer, int64_t length);
    // Bytes written (all of them), or 0 on an error.
    int64_t Write(const void* buffer, int64_t length);
    // Seek to offset from the start, then read or write; -1 when the seek fails.
    int64_t pRead(int64_t offset, int64_t length, void* buffer);
    int64_t pWrite(int64_t offset, const void* buffer, int64_t length);
    int RemoveFile();
    int GetHandle() const;
    int64_t GetCurrentPos() const;
    bool IsOpen() const { return m_stream != nullptr; }
    const std::string& Path() const { return m_path; }

private:
    FILE* m_stream = nullptr;
    std::string m_path;
};

#endif
