// Runs one NTFS clone through clone_ntfs and prints its wall time, for
// bench/clone_bench.sh: clone_bench <source partition> <destination partition>
#include "quarn/api/quarn.h"
#include "timed_run.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <source partition> <destination partition>\n", argv[0]);
        return 2;
    }
    tagCloneArgument arg;
    arg.srcPartition = argv[1];
    arg.destPartition = argv[2];
    return TimedRun("clone_ntfs", [&arg] { return clone_ntfs(arg, tagCallBackFunc{}); });
}
