// An image volume being restored: the device it is read from and, once its
// check record is known, the comparison of every byte that record covers
// with its block digests as the restore reads them. Bytes the restore steps
// over, or reads out of order, are read once more for the comparison
// alone, so a volume read front to back comes from its medium once.
#ifndef QUARN_IMAGE_VOLUME_READER_H
#define QUARN_IMAGE_VOLUME_READER_H

#include "quarn/image/volume_check.h"
#include "quarn/io/device_io.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CVolumeReader {
public:
    // Opening or closing drops the comparison of the volume before.
    int Open(const std::string& path, int mode);
    void BufferReads() { m_io.BufferReads(); }
    int Close();
    bool IsOpen() const { return m_io.IsOpen(); }
    const std::string& Path() const { return m_io.Path(); }

    int Seek(int64_t offset, int whence) { return m_io.Seek(offset, whence); }
    int64_t GetCurrentPos() const { return m_io.GetCurrentPos(); }
    // As CDeviceIo::Read; 0 once the comparison found a fault, so that a
    // restore stops at the first damaged block instead of the volume's end.
    int64_t Read(void* buffer, int64_t length);
    // The device itself, for the readers of the end records.
    CDeviceIo& Device() { return m_io; }

    // From here on the bytes `record` covers are compared as they are read.
    void BeginCheck(const VolumeCheck::Record& record);
    // Reads and compares what the restore has not read in order, then the
    // end records: 0, ERR_DAMAGED_IMAGE (a trace line names the volume and
    // the offset), ERR_READ_FILE or ERR_NO_MEMORY. Ends the comparison; 0
    // when there was none.
    int FinishCheck();
    // Ends the comparison unfinished: the rest of the volume is not read.
    void DropCheck() { m_checker.reset(); }

private:
    // Hands the comparison the bytes a read gave at `offset`.
    void Compare(uint64_t offset, const unsigned char* data, uint64_t length);
    // Reads and compares the bytes from where the comparison stands up to
    // `offset`.
    bool CompareUpTo(uint64_t offset);
    void Fail(int code);

    CDeviceIo m_io;
    std::unique_ptr<VolumeCheck::BlockChecker> m_checker;
    std::vector<unsigned char> m_scratch;
    int m_verdict = 0;
};

#endif
