// The engine's device class in its Linux build (io/device_io.h): one handle
// for image volumes, partitions and whole disks, on the C library's streams.
#ifndef QUARN_IO_LINUX_IO_H
#define QUARN_IO_LINUX_IO_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class CBackgroundFlush;

class CLinuxIo {
public:
    enum Mode { ModeRead = 0, ModeUpdate = 1, ModeCreate = 2 };

    // With BufferWrites, writes below kStraightWriteBytes gather in a buffer
    // of kWriteBufferBytes; larger ones go straight to the file.
    static constexpr size_t kWriteBufferBytes = 1 << 20;
    static constexpr size_t kStraightWriteBytes = 0x20000;
    // With BufferReads, the stream reads ahead this much at a time.
    static constexpr size_t kReadBufferBytes = 0x40000;

    CLinuxIo();
    virtual ~CLinuxIo();
    CLinuxIo(const CLinuxIo&) = delete;
    CLinuxIo& operator=(const CLinuxIo&) = delete;

    // 0 on success, -1 on failure (or an unknown mode, which touches nothing).
    int Open(const std::string& path, int mode);
    // For files written front to back (image volumes); call right after
    // Open. Without it every Write reaches the file before it returns. With
    // it a write error may show only at a later Write, Seek, Read, Sync or
    // Close, and from then on every write, Sync and Close of this file fails.
    // With it, too, the file is written out to its device in the background
    // as it grows (CBackgroundFlush), until Sync or Close.
    void BufferWrites();
    // For files read front to back in small pieces (image volumes being
    // restored); call right after Open. The stream then fetches
    // kReadBufferBytes per system call instead of a page: a volume of many
    // small records and data sets is read in few calls.
    void BufferReads();
    // Writes out what is buffered and closes: 0, or -1 when a buffered byte
    // could not be written or the close failed.
    int Close();
    // Writes out what is buffered and waits until the file is on its device:
    // 0, or -1 on any failure. A device that cannot be synchronised (a
    // character device, a pipe) has nothing to wait for and gives 0.
    int Sync();
    // whence: 0 start, 1 current, 2 end. 0 on success, -1 on failure.
    int Seek(int64_t offset, int whence);
    // Bytes read; fewer than asked at the end of the stream, 0 on an error.
    int64_t Read(void* buffer, int64_t length);
    // Bytes written (all of them), or 0 on an error.
    int64_t Write(const void* buffer, int64_t length);
    // Seek to offset from the start, then read or write; -1 when the seek
    // fails. Every positioned call takes offset, buffer, length in this order.
    int64_t pRead(int64_t offset, void* buffer, int64_t length);
    int64_t pWrite(int64_t offset, const void* buffer, int64_t length);
    // As pRead, but in one request that leaves the position where it was.
    int64_t ReadAt(int64_t offset, void* buffer, int64_t length);
    // Rewrites bytes already written, at offset, and leaves the position
    // where it was; bytes still in the write buffer are changed there.
    // Returns length, or 0 on an error.
    int64_t WriteAt(int64_t offset, const void* buffer, int64_t length);
    int RemoveFile();
    // The file descriptor, for device requests and fstat; bytes still in
    // the write buffer are not in the file yet.
    int GetHandle() const;
    int64_t GetCurrentPos() const;
    bool IsOpen() const { return m_stream != nullptr; }
    const std::string& Path() const { return m_path; }

private:
    // Hands the write buffer to the file; false (and the handle failed)
    // when it cannot.
    bool FlushBuffer();
    // Writes straight to the stream; false on an error, reported once.
    bool WriteOut(const void* buffer, size_t length);
    bool WriteFailed();
    // Ends the background write-out; false (and the file failed) when a
    // part of it failed.
    bool StopFlush();
    static void ReportSeekError(int error, int64_t offset, int whence);

    FILE* m_stream = nullptr;
    std::string m_path;
    bool m_buffered = false;
    bool m_failed = false;  // a buffered write was lost
    std::vector<unsigned char> m_pending;
    int64_t m_streamPos = 0;  // the stream's offset, kept while buffered; -1 unknown
    std::unique_ptr<CBackgroundFlush> m_flush;
    std::vector<char> m_readBuffer;  // the stream's, with BufferReads; freed after it closes
};

#endif
