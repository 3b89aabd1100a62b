// The NTFS entry points as the tests call them: a backup of a partition
// file into an image base path, a restore of an image onto a target file.
#ifndef TEST_SUPPORT_NTFS_JOBS_H
#define TEST_SUPPORT_NTFS_JOBS_H

#include "quarn/api/image_format.h"
#include "quarn/api/quarn.h"

#include <cstdint>
#include <string>

namespace testsupport {

// backup_ntfs of `source` into volumes named after `base`; incremental when
// `prevImage` is given.
int BackupNtfsImage(const std::string& source, const std::string& base, int compressType = 0,
                    uint64_t volumeSize = ImageFormat::kNeverSplit,
                    const std::string& prevImage = std::string(),
                    const tagCallBackFunc& callbacks = tagCallBackFunc());
// restore_ntfs of the image whose first volume is `image` onto `target`.
int RestoreNtfsImage(const std::string& image, const std::string& target);

}  // namespace testsupport

#endif
