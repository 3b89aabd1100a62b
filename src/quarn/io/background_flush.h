// Writes a file out to its device while more of it is still being written:
// a helper thread calls fdatasync each time enough bytes came in since the
// last one began. An image volume's Sync at its end then waits for the last
// part alone instead of for the whole volume, and the disk works while the
// job reads and compresses.
#ifndef QUARN_IO_BACKGROUND_FLUSH_H
#define QUARN_IO_BACKGROUND_FLUSH_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class CBackgroundFlush {
public:
    static constexpr uint64_t kFlushBytes = 32ull << 20;

    // The descriptor must stay open until Stop has returned. Without a
    // thread to be had, nothing is flushed before the caller's own sync.
    explicit CBackgroundFlush(int fd);
    ~CBackgroundFlush();
    CBackgroundFlush(const CBackgroundFlush&) = delete;
    CBackgroundFlush& operator=(const CBackgroundFlush&) = delete;

    // Counts bytes handed to the file (from one thread, the writer's).
    void Written(uint64_t bytes);
    // Waits for a flush under way and ends the helper. False when one of
    // its flushes failed: bytes the writer was told are written may be lost,
    // and a later fsync need not say so again.
    bool Stop();

private:
    void Run();

    const int m_fd;
    uint64_t m_unflushed = 0;  // the writer's count since it last woke the helper
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_due = false;
    bool m_stopping = false;
    bool m_failed = false;
    std::thread m_thread;
};

#endif
