#include "image/volume_trailer.h"

#include "io/device_io.h"
#include "quarn.h"

#include <vector>

namespace VolumeTrailer {

namespace {

int ReadName(CDeviceIo& volume, int64_t fromEnd, uint32_t length, std::string* name)
{
    name->clear();
    if (length == 0)
        return 0;
    if (volume.Seek(-fromEnd, SEEK_END) != 0)
        return ERR_SEEK_FILE;
    std::vector<char> bytes(length);
    if (volume.Read(bytes.data(), length) != int64_t(length))
        return ERR_READ_FILE;
    // A stored name carries no terminating zero; one that holds a zero
    // ends there, as it always did for the readers.
    std::string stored(bytes.data(), bytes.size());
    stored = stored.substr(0, stored.find('\0'));
    *name = SplitFileName(stored);
    return 0;
}

}  // namespace

int Read(CDeviceIo& volume, tagBLOCK_END* end, std::string* prevName, std::string* nextName)
{
    const int64_t trailer = sizeof(tagBLOCK_END);
    if (volume.Seek(-trailer, SEEK_END) != 0)
        return ERR_SEEK_FILE;
    if (volume.Read(end, trailer) != trailer)
        return ERR_READ_FILE;
    if (end->magic != ImageFormat::kBlockEndMagic)
        return ERR_BAD_MAGIC;
    if (end->prevNameSize > ImageFormat::kMaxBlobBytes || end->nextNameSize > ImageFormat::kMaxBlobBytes) {
        DEBUG_TRACE("The trailer of %s names files longer than any name!\n", volume.Path().c_str());
        return ERR_DAMAGED_IMAGE;
    }
    int result =
        ReadName(volume, trailer + end->nextNameSize + end->prevNameSize, end->prevNameSize, prevName);
    if (result == 0)
        result = ReadName(volume, trailer + end->nextNameSize, end->nextNameSize, nextName);
    return result;
}

}  // namespace VolumeTrailer
