// The engine's Windows build (quarn.dll, or its static library over the
// simulated platform on Linux) has its entry points as members of class
// quarn.
#include "jobs/quarn_thread.h"
#include "platform/windows_engine/quarn_windows.h"

QuarnEngine QuarnEngine::windowsLibrary()
{
    return QuarnEngine{&quarn::backup_ntfs,   &quarn::backup_fat32, &quarn::restore_ntfs,
                       &quarn::restore_fat32, &quarn::restore_mbr,  &quarn::verify_image,
                       &quarn::set_trace_sink};
}
