// Damaged FAT32 images: the restore must end with a result code, never crash,
// hang or write outside its target. Each input is the image's only volume.
#include "quarn.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string g_dir;
constexpr off_t kTargetBytes = 34 << 20;  // just above the FAT32 minimum

void RemoveFiles()
{
    unlink((g_dir + "/img_0_0.bkp").c_str());
    unlink((g_dir + "/sdf1").c_str());
    rmdir(g_dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/fat32-restore-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        abort();
    g_dir = pattern;
    atexit(RemoveFiles);
    // No dosfsck on the path: the checker run after a restore fails at once.
    setenv("PATH", g_dir.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string image = g_dir + "/img_0_0.bkp";
    const std::string target = g_dir + "/sdf1";
    FILE* f = std::fopen(image.c_str(), "wb");
    if (f == nullptr)
        abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    if (truncate(target.c_str(), 0) != 0 || truncate(target.c_str(), kTargetBytes) != 0) {
        FILE* t = std::fopen(target.c_str(), "wb");
        if (t == nullptr || ftruncate(fileno(t), kTargetBytes) != 0)
            abort();
        std::fclose(t);
    }

    tagRestoreArgument arg;
    arg.imagePath = image;
    arg.targetPartition = target;
    restore_fat32(arg, tagCallBackFunc {});

    struct stat st;
    if (stat(target.c_str(), &st) != 0 || st.st_size != kTargetBytes)
        abort();  // written past the target's end
    return 0;
}
