// The backup argument the tests' job helpers share: a partition file into
// volumes named after an image base path, incremental when `prevImage` is given.
#ifndef TEST_SUPPORT_BACKUP_ARGUMENT_H
#define TEST_SUPPORT_BACKUP_ARGUMENT_H

#include "quarn/api/quarn.h"

#include <cstdint>
#include <string>

namespace testsupport {

inline tagBackupArgument BackupArgumentFor(int fsType, const std::string& source, const std::string& base,
                                           int compressType, uint64_t volumeSize,
                                           const std::string& prevImage)
{
    tagBackupArgument arg;
    arg.srcPartition = source;
    arg.imagePath = base;
    arg.fsType = fsType;
    arg.compressType = compressType;
    arg.volumeSize = volumeSize;
    arg.incremental = !prevImage.empty();
    arg.prevImage = prevImage;
    return arg;
}

}  // namespace testsupport

#endif
