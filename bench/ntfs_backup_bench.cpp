// Runs one NTFS backup through backup_ntfs and prints its wall time, for
// bench/ntfs_backup_bench.sh: ntfs_backup_bench <partition> <image base> <compress type>
#include "quarn.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <partition> <image base> <compress type 0-3>\n", argv[0]);
        return 2;
    }
    tagBackupArgument arg;
    arg.srcPartition = argv[1];
    arg.imagePath = argv[2];
    arg.fsType = FS_TYPE_NTFS;
    arg.compressType = std::atoi(argv[3]);
    auto start = std::chrono::steady_clock::now();
    int result = backup_ntfs(arg, tagCallBackFunc {}, nullptr, 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f\n", seconds);
    if (result != 0)
        std::fprintf(stderr, "backup_ntfs returned %d\n", result);
    return result == 0 ? 0 : 1;
}
