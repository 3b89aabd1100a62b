#include "quarn/io/background_flush.h"

#include "quarn/api/entry_guard.h"
#include "quarn/api/quarn.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <unistd.h>

CBackgroundFlush::CBackgroundFlush(int fd) : m_fd(fd)
{
    try {
        m_thread = std::thread([this] {
            // Nothing may leave the thread: an exception there would end
            // the whole program. A flush that stopped on one failed.
            if (GuardedEntry("the background flush", [this] {
                    Run();
                    return 0;
                }) != 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_failed = true;
            }
        });
    } catch (const std::system_error&) {
        // The final sync does all the work, as without this class.
    }
}

CBackgroundFlush::~CBackgroundFlush()
{
    Stop();
}

void CBackgroundFlush::Written(uint64_t bytes)
{
    m_unflushed += bytes;
    if (m_unflushed < kFlushBytes || !m_thread.joinable())
        return;
    m_unflushed = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_due = true;
    }
    m_wake.notify_one();
}

bool CBackgroundFlush::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_failed;
}

void CBackgroundFlush::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_due || m_stopping; });
        // What is still due when the writer stops is its own sync's.
        if (m_stopping)
            return;
        m_due = false;
        lock.unlock();
        // A file that cannot be synchronised has nothing to wait for.
        const bool flushed = fdatasync(m_fd) == 0 || errno == EINVAL || errno == EROFS;
        const int error = errno;
        lock.lock();
        if (!flushed && !m_failed) {
            DEBUG_TRACE("Sync the data error! --- %s\n", std::strerror(error));
            m_failed = true;
        }
    }
}
