// An image volume being written: the device it goes to and the digest of
// every byte that goes there. The end records are gathered while they are
// written and go to the device after the check record that digests them
// and all before them (FinishVolume).
#ifndef QUARN_IMAGE_VOLUME_WRITER_H
#define QUARN_IMAGE_VOLUME_WRITER_H

#include "quarn/image/volume_check.h"
#include "quarn/io/device_io.h"

#include <cstdint>
#include <string>
#include <vector>

class CVolumeWriter {
public:
    int Open(const std::string& path, int mode);
    void BufferWrites() { m_io.BufferWrites(); }
    int Close() { return m_io.Close(); }
    int Sync() { return m_io.Sync(); }
    int RemoveFile() { return m_io.RemoveFile(); }
    const std::string& Path() const { return m_io.Path(); }
    bool IsOpen() const { return m_io.IsOpen(); }

    // Bytes written (all of them), or 0 on an error, as CDeviceIo::Write.
    int64_t Write(const void* buffer, int64_t length);
    // A write that WriteAt will replace once, at the same offset and length.
    int64_t WritePlaceholder(const void* buffer, int64_t length);
    // Rewrites a placeholder; 0 for any other range.
    int64_t WriteAt(int64_t offset, const void* buffer, int64_t length);
    // The volume's offset where the next byte goes, the check record
    // counted once the end records have begun.
    int64_t GetCurrentPos() const;

    // From here on writes are end records: gathered, not yet written.
    void BeginEndRecords();
    // Writes the check record, then the end records. ERR_WRITE_FILE when a
    // write fails, ERR_DAMAGED_IMAGE when a placeholder was never replaced.
    int FinishVolume(uint64_t imageId, uint64_t baseImageId);

private:
    CDeviceIo m_io;
    CVolumeDigester m_digester;
    bool m_inEndRecords = false;
    uint64_t m_coveredBytes = 0;
    std::vector<unsigned char> m_endRecords;
};

#endif
