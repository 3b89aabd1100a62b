// Runs one NTFS restore through restore_ntfs and prints its wall time, for
// bench/ntfs_restore_bench.sh: ntfs_restore_bench <first volume> <target partition>
#include "quarn/api/quarn.h"
#include "timed_run.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <first image volume> <target partition>\n", argv[0]);
        return 2;
    }
    tagRestoreArgument arg;
    arg.imagePath = argv[1];
    arg.targetPartition = argv[2];
    return TimedRun("restore_ntfs", [&arg] { return restore_ntfs(arg, tagCallBackFunc{}); });
}
