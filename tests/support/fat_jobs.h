// The FAT32 backup as the tests call it: a partition file into an image
// base path, optionally with the disk's first sector saved.
#ifndef TEST_SUPPORT_FAT_JOBS_H
#define TEST_SUPPORT_FAT_JOBS_H

#include "support/backup_argument.h"
#include "quarn/api/image_format.h"
#include "quarn/api/quarn.h"

#include <cstdint>
#include <string>

namespace testsupport {

// backup_fat32 of `source` into volumes named after `base`; `prevImage` asks
// for an incremental backup (which FAT32 refuses), `mbrSource` saves the
// first 512 bytes of that disk file.
inline int BackupFat32Image(const std::string& source, const std::string& base, int compressType = 0,
                            uint64_t volumeSize = ImageFormat::kNeverSplit,
                            const std::string& prevImage = std::string(),
                            const std::string& mbrSource = std::string())
{
    tagBackupArgument arg =
        BackupArgumentFor(FS_TYPE_FAT32, source, base, compressType, volumeSize, prevImage);
    if (!mbrSource.empty()) {
        arg.mbrSource = mbrSource;
        arg.mbrSize = 512;
        arg.saveMbr = true;
    }
    return backup_fat32(arg, tagCallBackFunc{}, nullptr, 0);
}

}  // namespace testsupport

#endif
