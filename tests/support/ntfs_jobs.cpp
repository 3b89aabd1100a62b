#include "ntfs_jobs.h"

namespace testsupport {

int BackupNtfsImage(const std::string& source, const std::string& base, int compressType, uint64_t volumeSize,
                    const std::string& prevImage, const tagCallBackFunc& callbacks)
{
    tagBackupArgument arg;
    arg.srcPartition = source;
    arg.imagePath = base;
    arg.fsType = FS_TYPE_NTFS;
    arg.compressType = compressType;
    arg.volumeSize = volumeSize;
    arg.incremental = !prevImage.empty();
    arg.prevImage = prevImage;
    return backup_ntfs(arg, callbacks, nullptr, 0);
}

int RestoreNtfsImage(const std::string& image, const std::string& target)
{
    tagRestoreArgument arg;
    arg.imagePath = image;
    arg.targetPartition = target;
    return restore_ntfs(arg, tagCallBackFunc());
}

}  // namespace testsupport
