// Reads one image volume whole, in large sequential pieces, on a thread of
// its own, comparing its checksums when it carries them, while the walk of
// the data section reads the same volume: whichever of the two is behind
// finds the bytes in the page cache, so the volume comes from its medium
// once. The bytes read so far are there for progress.
#ifndef QUARN_IMAGE_VOLUME_READ_AHEAD_H
#define QUARN_IMAGE_VOLUME_READ_AHEAD_H

#include "quarn/image/verify_source.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class CVolumeReadAhead {
public:
    // Starts reading; the volume must outlive the object.
    explicit CVolumeReadAhead(const VerifyVolume& volume);
    // Stops the reading (between two pieces) and waits for the thread.
    virtual ~CVolumeReadAhead();
    CVolumeReadAhead(const CVolumeReadAhead&) = delete;
    CVolumeReadAhead& operator=(const CVolumeReadAhead&) = delete;

    uint64_t BytesRead() const { return m_read.load(); }
    // Waits until the reading ends or `interval` has passed: true once it
    // has ended.
    bool WaitFor(std::chrono::milliseconds interval);
    // Waits for the thread: 0, ERR_DAMAGED_IMAGE (a trace line names the
    // volume and the offset), ERR_READ_FILE or ERR_OPEN_FILE.
    int Result();

    // The reading itself, on the calling thread: the same verdicts;
    // ERR_CANCELLED once `stop` says true. *read grows with each piece.
    static int ReadVolume(const VerifyVolume& volume, std::atomic<uint64_t>* read,
                          const std::atomic<bool>* stop);

private:
    const VerifyVolume& m_volume;
    std::atomic<uint64_t> m_read{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_finished = false;  // under m_mutex
    int m_result = 0;
    std::thread m_thread;
};

#endif
