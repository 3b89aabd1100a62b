// Runs one NTFS backup through backup_ntfs and prints its wall time, for
// bench/ntfs_backup_bench.sh:
//   ntfs_backup_bench <partition> <image base> <compress type> [previous image]
// With a previous image (the first volume of the image it builds on) the
// backup is incremental.
#include "quarn/api/quarn.h"
#include "timed_run.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s <partition> <image base> <compress type 0-3> [previous image]\n",
                     argv[0]);
        return 2;
    }
    tagBackupArgument arg;
    arg.srcPartition = argv[1];
    arg.imagePath = argv[2];
    arg.fsType = FS_TYPE_NTFS;
    arg.compressType = std::atoi(argv[3]);
    if (argc == 5) {
        arg.incremental = true;
        arg.prevImage = argv[4];
    }
    return TimedRun("backup_ntfs", [&arg] { return backup_ntfs(arg, tagCallBackFunc{}, nullptr, 0); });
}
