#include "platform/windows_engine/quarn_windows.h"

#include "quarn/api/entry_guard.h"

// The engine's entry points as this build compiles them (their source is
// the Linux library's, renamed so that both libraries can live in one
// program).
int quarn_windows_backup_ntfs(tagBackupArgument, tagCallBackFunc, tagBackupImageHeadInfo*, int);
int quarn_windows_backup_fat32(tagBackupArgument, tagCallBackFunc, tagBackupImageHeadInfo*, int);
int quarn_windows_restore_ntfs(tagRestoreArgument, tagCallBackFunc);
int quarn_windows_restore_fat32(tagRestoreArgument, tagCallBackFunc);
int quarn_windows_restore_mbr(tagRestoreArgument, tagCallBackFunc);
int quarn_windows_verify_image(tagRestoreArgument, tagCallBackFunc);

int quarn::backup_ntfs(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head,
                       int headLength)
{
    return GuardedEntry("backup_ntfs", [&] { return quarn_windows_backup_ntfs(arg, cb, head, headLength); });
}

int quarn::backup_fat32(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head,
                        int headLength)
{
    return GuardedEntry("backup_fat32",
                        [&] { return quarn_windows_backup_fat32(arg, cb, head, headLength); });
}

int quarn::restore_ntfs(tagRestoreArgument arg, tagCallBackFunc cb)
{
    return GuardedEntry("restore_ntfs", [&] { return quarn_windows_restore_ntfs(arg, cb); });
}

int quarn::restore_fat32(tagRestoreArgument arg, tagCallBackFunc cb)
{
    return GuardedEntry("restore_fat32", [&] { return quarn_windows_restore_fat32(arg, cb); });
}

int quarn::restore_mbr(tagRestoreArgument arg, tagCallBackFunc cb)
{
    return GuardedEntry("restore_mbr", [&] { return quarn_windows_restore_mbr(arg, cb); });
}

int quarn::verify_image(tagRestoreArgument arg, tagCallBackFunc cb)
{
    return GuardedEntry("verify_image", [&] { return quarn_windows_verify_image(arg, cb); });
}

void quarn::set_trace_sink(QuarnTraceSink sink, void* context)
{
    SetTraceSink(sink, context);
}
