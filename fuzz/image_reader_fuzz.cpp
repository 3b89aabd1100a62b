// Damaged NTFS images through the image readers (trailer, block start,
// partition information and its blobs, the record stream and its data sets)
// and the NTFS restore and MBR restore behind them: each input must end with
// a result code, never a crash or hang, and nothing may be written beyond
// the target partition or past the disk's boot code.
#include "quarn.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string g_dir;
constexpr off_t kTargetBytes = 6 << 20;
constexpr off_t kDiskBytes = 4096;

void RemoveFiles()
{
    for (const char* name : {"/img_0_0.bkp", "/img_1_0.bkp", "/sdz1", "/sdz"})
        unlink((g_dir + name).c_str());
    rmdir(g_dir.c_str());
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        abort();
    if (size != 0)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
}

void ResetSparse(const std::string& path, off_t size)
{
    if (truncate(path.c_str(), 0) != 0 || truncate(path.c_str(), size) != 0) {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || ftruncate(fileno(f), size) != 0)
            abort();
        std::fclose(f);
    }
}

off_t SizeOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/image-reader-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        abort();
    g_dir = pattern;
    atexit(RemoveFiles);
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
    restore_ntfs(arg, tagCallBackFunc {});
    if (SizeOf(target) != kTargetBytes || SizeOf(disk) != kDiskBytes)
        abort();  // written past the target's or the disk's end
    restore_mbr(arg, tagCallBackFunc {});
    if (SizeOf(disk) != kDiskBytes)
        abort();
    return 0;
}
