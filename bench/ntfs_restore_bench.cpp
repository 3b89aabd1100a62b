// Runs one NTFS restore through restore_ntfs and prints its wall time, for
// bench/ntfs_restore_bench.sh: ntfs_restore_bench <first volume> <target partition>
#include "quarn.h"

#include <chrono>
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
    auto start = std::chrono::steady_clock::now();
    int result = restore_ntfs(arg, tagCallBackFunc {});
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f\n", seconds);
    if (result != 0)
        std::fprintf(stderr, "restore_ntfs returned %d\n", result);
    return result == 0 ? 0 : 1;
}
