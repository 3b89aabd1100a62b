// The engine's entry points: each runs one whole job on the caller's
// thread and returns its result code. No exception leaves them.
#include "quarn/api/quarn.h"

#include "quarn/api/entry_guard.h"
#include "quarn/fat32/part_fat32_backup.h"
#include "quarn/fat32/part_fat32_clone.h"
#include "quarn/fat32/part_fat32_restore.h"
#include "quarn/image/image_verify.h"
#include "quarn/ntfs/part_ntfs_backup.h"
#include "quarn/ntfs/part_ntfs_clone.h"
#include "quarn/ntfs/part_ntfs_restore.h"

namespace {

// Names the job in the trace and runs it; nothing it throws leaves here.
template <typename Work>
int RunJob(const char* name, Work work)
{
    return GuardedEntry(name, [&] {
        DEBUG_TRACE("%s\n", name);
        return work();
    });
}

template <typename Job>
int RunBackup(const char* name, const tagBackupArgument& arg, const tagCallBackFunc& cb,
              tagBackupImageHeadInfo* head, int headLength)
{
    return RunJob(name, [&] {
        Job job(arg, cb, head, headLength);
        return job.BackupPartition();
    });
}

// `step` runs only when RestoreInit (the image's end records, the target)
// succeeded; a step that writes the partition ends with it on its device.
// fsType 0: the disk start alone, no partition written.
template <typename Job, typename Step>
int RunRestore(const char* name, const tagRestoreArgument& arg, const tagCallBackFunc& cb, Step step,
               uint8_t fsType)
{
    const bool writesPartition = fsType != 0;
    return RunJob(name, [&] {
        Job job(arg, cb);
        int result = job.RestoreInit(fsType);
        if (result == 0 && writesPartition)
            result = job.ClaimTarget();
        if (result == 0)
            result = (job.*step)();
        // The file-system restores ask before they write the real boot
        // sectors; asking again here also covers what they wrote after.
        if (result == 0 && writesPartition)
            result = job.ConfirmImageWhole();
        if (result == 0 && writesPartition)
            result = job.SyncTarget();
        return job.ExplainFailure(result);
    });
}

}  // namespace

int backup_ntfs(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head, int headLength)
{
    return RunBackup<CPartNtfsBackup>("backup_ntfs", arg, cb, head, headLength);
}

int backup_fat32(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head, int headLength)
{
    return RunBackup<CPartFat32Backup>("backup_fat32", arg, cb, head, headLength);
}

int restore_ntfs(tagRestoreArgument arg, tagCallBackFunc cb)
{
    return RunRestore<CPartNtfsRestore>("restore_ntfs", arg, cb, &CPartNtfsRestore::RestorePartition,
                                        FS_TYPE_NTFS);
}

int restore_fat32(tagRestoreArgument arg, tagCallBackFunc cb)
{
    return RunRestore<CPartFatRestore>("restore_fat32", arg, cb, &CPartFatRestore::RestorePartition,
                                       FS_TYPE_FAT32);
}

int restore_mbr(tagRestoreArgument arg, tagCallBackFunc cb)
{
    // The saved disk start is the same in every image, whatever its file
    // system: the NTFS job reads it.
    return RunRestore<CPartNtfsRestore>("restore_mbr", arg, cb, &CPartRestore::OnlyRestoreMbr, 0);
}

int clone_ntfs(tagCloneArgument arg, tagCallBackFunc cb)
{
    return RunJob("clone_ntfs", [&] {
        CPartNtfsClone job(arg, cb);
        return job.ClonePartition();
    });
}

int clone_fat32(tagCloneArgument arg, tagCallBackFunc cb)
{
    return RunJob("clone_fat32", [&] {
        CPartFat32Clone job(arg, cb);
        return job.ClonePartition();
    });
}

int verify_image(tagRestoreArgument arg, tagCallBackFunc cb)
{
    return RunJob("verify_image", [&] {
        CImageVerify job(arg, cb);
        return job.Run();
    });
}
