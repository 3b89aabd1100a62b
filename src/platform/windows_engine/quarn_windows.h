// The Windows engine library's interface: the entry points of the
// engine as static members of class quarn. They run the same jobs, image
// format and result codes as the Linux library's free functions, over the
// Windows platform layer (partitions are drive-letter strings such as "E:",
// image paths Windows paths).
#pragma once

#include "quarn/api/quarn.h"
#include "platform/windows_engine/quarn_windows_export.h"

class QUARN_WINDOWS_API quarn {
public:
    static int backup_ntfs(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head,
                           int headLength);
    static int backup_fat32(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head,
                            int headLength);
    static int restore_ntfs(tagRestoreArgument arg, tagCallBackFunc cb);
    static int restore_fat32(tagRestoreArgument arg, tagCallBackFunc cb);
    static int restore_mbr(tagRestoreArgument arg, tagCallBackFunc cb);
    static int verify_image(tagRestoreArgument arg, tagCallBackFunc cb);
    // Where this library's trace lines go (SetTraceSink of quarn.h).
    static void set_trace_sink(QuarnTraceSink sink, void* context);
};
