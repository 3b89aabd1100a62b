// Read-only positioned access to a partition device for the used-space
// counters; every read must come back whole. A device that cannot be opened
// reads as empty: every ReadAt fails.
#ifndef USEDSPACE_DEVICE_READER_H
#define USEDSPACE_DEVICE_READER_H

#include <cstdint>

class DeviceReader {
public:
    explicit DeviceReader(const char* path);
    ~DeviceReader();
    DeviceReader(const DeviceReader&) = delete;
    DeviceReader& operator=(const DeviceReader&) = delete;

    uint64_t Size() const { return m_size; }
    // False unless all length bytes at offset lie on the device and were read.
    bool ReadAt(uint64_t offset, void* buffer, uint64_t length) const;

private:
    int m_fd = -1;
    uint64_t m_size = 0;
};

#endif
