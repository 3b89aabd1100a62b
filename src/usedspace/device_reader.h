// Read-only positioned access to a partition device for the used-space
// counters; every read must come back whole.
#ifndef USEDSPACE_DEVICE_READER_H
#define USEDSPACE_DEVICE_READER_H

#include <cstdint>

class DeviceReader {
public:
    explicit DeviceReader(const char* path);
    ~DeviceReader();
    DeviceReader(const DeviceReader&) = delete;
    DeviceReader& operator=(const DeviceReader&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    uint64_t Size() const { return m_size; }
    // False unless all length bytes at offset lie on the device and were read.
    bool ReadAt(uint64_t offset, void* buffer, uint64_t length) const;

private:
    int m_fd = -1;
    uint64_t m_size = 0;
};

#endif
