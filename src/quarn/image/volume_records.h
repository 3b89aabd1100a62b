// The engine's side of the record reader (image_records.h): its volumes
// as record files, and the reader's results as the engine's result codes.
#ifndef QUARN_IMAGE_VOLUME_RECORDS_H
#define QUARN_IMAGE_VOLUME_RECORDS_H

#include "quarn/api/image_format.h"
#include "quarn/records/image_records.h"

#include <string>

class CDeviceIo;

// An open volume as the record reader reads it.
class DeviceRecordFile : public ImageRecords::RecordFile {
public:
    explicit DeviceRecordFile(CDeviceIo& io) : m_io(io) {}

    bool Bytes(uint64_t* bytes) override;
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override;

private:
    CDeviceIo& m_io;
};

namespace VolumeRecords {

// The result code of a reader's result: ERR_SEEK_FILE when the volume is
// shorter than a trailer, ERR_READ_FILE when it cannot be read there, ERR_BAD_MAGIC when a record lacks its magic, its
// last bytes are no trailer or a stored name or blob is longer than any
// buffer ever took, ERR_VOLUME_TRUNCATED when it ends before the
// block start, ERR_DAMAGED_IMAGE when a stored size cannot be what it
// says. A trace line names the volume and the fault.
int Code(ImageRecords::Result result, const std::string& path);

// Reads the trailer of an open volume and its names, each the bare file
// name as stored (empty when absent).
int Read(CDeviceIo& volume, tagBLOCK_END* end, std::string* prevName, std::string* nextName);
// The block start and partition information the trailer of the open
// volume names.
int ReadEndRecords(CDeviceIo& volume, ImageRecords::Trailer* trailer, ImageRecords::EndRecords* records);

// The blobs after those records.
int ReadBlobs(CDeviceIo& volume, const ImageRecords::Trailer& trailer,
              const ImageRecords::EndRecords& records, ImageRecords::Blobs* blobs);

}  // namespace VolumeRecords

#endif
