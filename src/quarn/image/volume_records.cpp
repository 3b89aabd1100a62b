#include "quarn/image/volume_records.h"

#include "quarn/io/device_io.h"
#include "quarn/io/device_system.h"
#include "quarn/api/quarn.h"

bool DeviceRecordFile::Bytes(uint64_t* bytes)
{
    return DeviceSystem::FileBytes(m_io, bytes);
}

bool DeviceRecordFile::ReadAt(uint64_t offset, void* buffer, size_t length)
{
    return m_io.ReadAt(static_cast<int64_t>(offset), buffer, static_cast<int64_t>(length)) ==
           static_cast<int64_t>(length);
}

static_assert(int(FS_TYPE_NTFS) == int(ImageFormat::kFsNtfs) &&
                  int(FS_TYPE_FAT32) == int(ImageFormat::kFsFat32),
              "the requests' file-system codes are those the image stores");

namespace VolumeRecords {

int Code(ImageRecords::Result result, const std::string& path)
{
    using ImageRecords::Result;
    if (result == Result::Ok)
        return 0;
    DEBUG_TRACE("%s: %s!\n", path.c_str(), ImageRecords::ResultText(result));
    switch (result) {
    case Result::Ok:
        return 0;
    case Result::Unreadable:
        return ERR_READ_FILE;
    case Result::ShorterThanTrailer:
        return ERR_SEEK_FILE;
    case Result::NoTrailer:
    case Result::BadBlockStart:
    case Result::BadPartitionInfo:
    case Result::BadBlobSize:
        return ERR_BAD_MAGIC;
    case Result::BlockStartPastEnd:
        return ERR_VOLUME_TRUNCATED;
    case Result::NameTooLong:
    case Result::NamesPastStart:
    case Result::MftBitmapPastEnd:
    case Result::PartitionInfoPastEnd:
    case Result::BadAreaSize:
    case Result::BlobsPastEnd:
    case Result::BadDescription:
        return ERR_DAMAGED_IMAGE;
    }
    return ERR_DAMAGED_IMAGE;
}

int Read(CDeviceIo& volume, tagBLOCK_END* end, std::string* prevName, std::string* nextName)
{
    DeviceRecordFile file(volume);
    ImageRecords::Trailer trailer;
    const int result = Code(ImageRecords::ReadTrailer(file, &trailer), volume.Path());
    if (result != 0)
        return result;
    *end = trailer.end;
    *prevName = trailer.prevName.empty() ? std::string() : SplitFileName(trailer.prevName);
    *nextName = trailer.nextName.empty() ? std::string() : SplitFileName(trailer.nextName);
    return 0;
}

int ReadEndRecords(CDeviceIo& volume, ImageRecords::Trailer* trailer, ImageRecords::EndRecords* records)
{
    DeviceRecordFile file(volume);
    ImageRecords::Result result = ImageRecords::ReadTrailer(file, trailer);
    if (result == ImageRecords::Result::Ok)
        result = ImageRecords::ReadEndRecords(file, *trailer, records);
    return Code(result, volume.Path());
}

int ReadBlobs(CDeviceIo& volume, const ImageRecords::Trailer& trailer,
              const ImageRecords::EndRecords& records, ImageRecords::Blobs* blobs)
{
    DeviceRecordFile file(volume);
    return Code(ImageRecords::ReadBlobs(file, trailer, records, blobs), volume.Path());
}

}  // namespace VolumeRecords
