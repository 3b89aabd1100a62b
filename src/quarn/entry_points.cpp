// The engine's five entry points: each runs one whole job on the caller's
// thread and returns its result code. No exception leaves them.
#include "quarn.h"

#include "part_ntfs_restore.h"

#include "part_fat32_backup.h"
#include "part_ntfs_backup.h"
#include "part_fat_restore.h"

#include <new>

#include <cstdio>

int backup_ntfs(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head, int headLength)
{
    std::fputs("backup_ntfs\n", stderr);
    try {
        CPartNtfsBackup job(arg, cb, head, headLength);
        return job.BackupPartition();
    } catch (const std::bad_alloc&) {
        DEBUG_TRACE("Allocate memory failed!\n");
        return ERR_NO_MEMORY;
    }
}

int backup_fat32(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head, int headLength)
{
    std::fputs("backup_fat32\n", stderr);
    try {
        CPartFat32Backup job(arg, cb, head, headLength);
        return job.BackupPartition();
    } catch (const std::bad_alloc&) {
        DEBUG_TRACE("Allocate memory failed!\n");
        return ERR_NO_MEMORY;
    }
}

int restore_ntfs(tagRestoreArgument arg, tagCallBackFunc cb)
{
    std::fputs("restore_ntfs\n", stderr);
    try {
        CPartNtfsRestore job(arg, cb);
        int result = job.RestoreInit();
        if (result == 0)
            result = job.RestorePartition();
        return result;
    } catch (const std::bad_alloc&) {
        DEBUG_TRACE("Allocate memory failed!\n");
        return ERR_NO_MEMORY;
    }
}

int restore_fat32(tagRestoreArgument arg, tagCallBackFunc cb)
{
    std::fputs("restore_fat32\n", stderr);
    try {
        CPartFatRestore job(arg, cb);
        int result = job.RestoreInit();
        if (result == 0)
            result = job.RestorePartition();
        return result;
    } catch (const std::bad_alloc&) {
        DEBUG_TRACE("Allocate memory failed!\n");
        return ERR_NO_MEMORY;
    }
}

int restore_mbr(tagRestoreArgument arg, tagCallBackFunc cb)
{
    std::fputs("restore_mbr\n", stderr);
    // The saved disk start is the same in every image, whatever its file
    // system: the NTFS job reads it.
    try {
        CPartNtfsRestore job(arg, cb);
        int result = job.RestoreInit();
        if (result == 0)
            result = job.OnlyRestoreMbr();
        return result;
    } catch (const std::bad_alloc&) {
        DEBUG_TRACE("Allocate memory failed!\n");
        return ERR_NO_MEMORY;
    }
}
