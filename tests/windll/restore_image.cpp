// The Linux half of the Windows round trip: restores an NTFS image (made by
// quarn.dll under Wine) onto a partition file with libquarn.so.1.
//   restore_image <first volume> <partition file>
#include "quarn/api/quarn.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: restore_image FIRST_VOLUME PARTITION_FILE\n");
        return 2;
    }
    tagRestoreArgument arg;
    arg.imagePath = argv[1];
    arg.targetPartition = argv[2];
    const int result = restore_ntfs(arg, tagCallBackFunc());
    std::printf("restore_ntfs: result %d\n", result);
    return result == 0 ? 0 : 1;
}
