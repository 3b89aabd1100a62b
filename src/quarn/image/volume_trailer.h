// The trailer that ends every image volume, and the two names before it.
#ifndef QUARN_IMAGE_VOLUME_TRAILER_H
#define QUARN_IMAGE_VOLUME_TRAILER_H

#include "image_format.h"

#include <string>

class CDeviceIo;

namespace VolumeTrailer {

// Reads the trailer of an open volume and its names, each the bare file
// name as stored (empty when absent). ERR_SEEK_FILE or ERR_READ_FILE when
// the volume cannot be read there, ERR_BAD_MAGIC when its last bytes are
// no trailer, ERR_DAMAGED_IMAGE when the names cannot be what it says.
int Read(CDeviceIo& volume, tagBLOCK_END* end, std::string* prevName, std::string* nextName);

}  // namespace VolumeTrailer

#endif
