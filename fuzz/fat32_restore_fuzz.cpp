// Damaged FAT32 images: the restore must end with a result code, never crash,
// hang or write outside its target. Each input is the image's only volume.
#include "fuzz_support.h"
#include "quarn/api/quarn.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace fuzzsupport;

namespace {

std::string g_dir;
constexpr off_t kTargetBytes = 34 << 20;  // just above the FAT32 minimum

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_dir = MakeScratchDir("fat32-restore-fuzz");
    // No dosfsck on the path: the checker run after a restore fails at once.
    setenv("PATH", g_dir.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string image = g_dir + "/img_0_0.bkp";
    const std::string target = g_dir + "/sdf1";
    WriteFile(image, data, size);
    ResetSparse(target, kTargetBytes);

    tagRestoreArgument arg;
    arg.imagePath = image;
    arg.targetPartition = target;
    restore_fat32(arg, tagCallBackFunc{});

    if (SizeOf(target) != kTargetBytes)
        abort();  // written past the target's end
    return 0;
}
