// Damaged NTFS images through the image readers (trailer, block start,
// partition information and its blobs, the record stream and its data sets)
// and the NTFS restore and MBR restore behind them: each input must end with
// a result code, never a crash or hang, and nothing may be written beyond
// the target partition or past the disk's boot code.
#include "fuzz_support.h"
#include "quarn/api/quarn.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace fuzzsupport;

namespace {

std::string g_dir;
constexpr off_t kTargetBytes = 6 << 20;
constexpr off_t kDiskBytes = 4096;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_dir = MakeScratchDir("image-reader-fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string image = g_dir + "/img_0_0.bkp";
    const std::string second = g_dir + "/img_1_0.bkp";
    const std::string target = g_dir + "/sdz1";
    const std::string disk = g_dir + "/sdz";
    // The input's last quarter also stands as a second volume, so that the
    // volume change is reached when a trailer names it.
    WriteFile(image, data, size);
    WriteFile(second, data + size - size / 4, size / 4);
    ResetSparse(target, kTargetBytes);
    ResetSparse(disk, kDiskBytes);

    tagRestoreArgument arg;
    arg.imagePath = image;
    arg.targetPartition = target;
    arg.hasMbr = 1;
    restore_ntfs(arg, tagCallBackFunc{});
    if (SizeOf(target) != kTargetBytes || SizeOf(disk) != kDiskBytes)
        abort();  // written past the target's or the disk's end
    restore_mbr(arg, tagCallBackFunc{});
    if (SizeOf(disk) != kDiskBytes)
        abort();
    return 0;
}
