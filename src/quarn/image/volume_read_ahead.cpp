#include "quarn/image/volume_read_ahead.h"

#include "quarn/io/device_io.h"
#include "quarn/api/quarn.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace {

// Volumes are read in pieces of at least this size.
constexpr uint64_t kReadBytes = 4u << 20;

struct StateDeleter {
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

}  // namespace

CVolumeReadAhead::CVolumeReadAhead(const VerifyVolume& volume)
    : m_volume(volume), m_thread([this] {
          const int result = ReadVolume(m_volume, &m_read, &m_stop);
          std::lock_guard<std::mutex> lock(m_mutex);
          m_result = result;
          m_finished = true;
          m_ended.notify_all();
      })
{}

CVolumeReadAhead::~CVolumeReadAhead()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool CVolumeReadAhead::WaitFor(std::chrono::milliseconds interval)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_ended.wait_for(lock, interval, [this] { return m_finished; });
}

int CVolumeReadAhead::Result()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_result;
}

int CVolumeReadAhead::ReadVolume(const VerifyVolume& volume, std::atomic<uint64_t>* read,
                                 const std::atomic<bool>* stop)
{
    CDeviceIo io;
    if (io.Open(volume.path, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    const tagVOLUME_CHECK_HEAD& head = volume.record.head;
    // With checksums, a whole number of blocks.
    const uint64_t piece =
        volume.checked ? head.blockBytes * std::max<uint64_t>(1, kReadBytes / head.blockBytes) : kReadBytes;
    std::vector<unsigned char> buffer;
    std::unique_ptr<XXH3_state_t, StateDeleter> state(XXH3_createState());
    try {
        buffer.resize(static_cast<size_t>(piece));
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    if (!state || XXH3_64bits_reset(state.get()) != XXH_OK)
        return ERR_NO_MEMORY;
    // With a check record: the bytes before it block by block, then the
    // record (proved by its own digest when it was read), then the end
    // records as one.
    const uint64_t covered = volume.checked ? head.coveredBytes : 0;
    const uint64_t endStart = volume.checked ? covered + head.recordBytes : volume.bytes;
    for (uint64_t offset = 0; offset < volume.bytes;) {
        if (stop->load())
            return ERR_CANCELLED;
        uint64_t length = std::min<uint64_t>(piece, volume.bytes - offset);
        if (offset < covered)
            length = std::min<uint64_t>(length, covered - offset);
        else if (offset < endStart)
            length = std::min<uint64_t>(length, endStart - offset);
        if (io.ReadAt(int64_t(offset), buffer.data(), int64_t(length)) != int64_t(length))
            return ERR_READ_FILE;
        if (offset < covered) {
            for (uint64_t done = 0; done < length; done += head.blockBytes) {
                const uint64_t block = (offset + done) / head.blockBytes;
                const uint64_t bytes = std::min<uint64_t>(head.blockBytes, length - done);
                if (VolumeCheck::Digest(buffer.data() + done, static_cast<size_t>(bytes)) !=
                    volume.record.blockDigests[static_cast<size_t>(block)])
                    return DamagedAt(volume.path, "a block's checksum", offset + done);
            }
        } else if (volume.checked && offset >= endStart) {
            XXH3_64bits_update(state.get(), buffer.data(), static_cast<size_t>(length));
        }
        offset += length;
        *read += length;
    }
    if (volume.checked && XXH3_64bits_digest(state.get()) != head.endDigest)
        return DamagedAt(volume.path, "the end records' checksum", endStart);
    return 0;
}
