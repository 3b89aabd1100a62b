// The Linux build's engine: the free entry points of libquarn.so.1.
#include "jobs/quarn_thread.h"

QuarnEngine QuarnEngine::library()
{
    return QuarnEngine{backup_ntfs,  backup_fat32, restore_ntfs, restore_fat32, restore_mbr,
                       verify_image, SetTraceSink, clone_ntfs,   clone_fat32};
}
