// Runs one verify_image of an image and prints its wall time, for
// bench/verify_image_bench.sh: verify_image_bench <first volume>
#include "quarn/api/quarn.h"
#include "timed_run.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <first image volume>\n", argv[0]);
        return 2;
    }
    tagRestoreArgument arg;
    arg.imagePath = argv[1];
    return TimedRun("verify_image", [&arg] { return verify_image(arg, tagCallBackFunc{}); });
}
