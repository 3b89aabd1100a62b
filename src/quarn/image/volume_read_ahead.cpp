#include "quarn/image/volume_read_ahead.h"

#include "quarn/image/volume_check.h"
#include "quarn/io/device_io.h"
#include "quarn/api/quarn.h"

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
    const VolumeCheck::ReadWatch watch{stop, read};
    if (!volume.checked)
        return VolumeCheck::ReadThrough(io, 0, volume.bytes, watch);
    // The bytes before the check record block by block, then the record
    // (proved by its own digest when it was read), then the end records.
    uint64_t badOffset = 0;
    const int result = VolumeCheck::VerifyBlocks(io, volume.record, &badOffset, watch);
    if (result != 0)
        return result;
    *read += volume.record.head.recordBytes;
    return VolumeCheck::VerifyEndRecords(io, volume.record, watch);
}
