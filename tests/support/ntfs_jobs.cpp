#include "support/ntfs_jobs.h"

#include "support/backup_argument.h"

namespace testsupport {

int BackupNtfsImage(const std::string& source, const std::string& base, int compressType, uint64_t volumeSize,
                    const std::string& prevImage, const tagCallBackFunc& callbacks)
{
    return backup_ntfs(BackupArgumentFor(FS_TYPE_NTFS, source, base, compressType, volumeSize, prevImage),
                       callbacks, nullptr, 0);
}

int RestoreNtfsImage(const std::string& image, const std::string& target)
{
    tagRestoreArgument arg;
    arg.imagePath = image;
    arg.targetPartition = target;
    return restore_ntfs(arg, tagCallBackFunc());
}

}  // namespace testsupport
