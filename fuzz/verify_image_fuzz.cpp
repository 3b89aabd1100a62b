// Damaged images of either file system through verify_image: the survey,
// the end records, the check records and the NTFS record stream or FAT32
// directory stream behind them. Each input must end with a result code,
// never a crash or hang, and the volumes must be left as they were.
#include "fuzz_support.h"
#include "quarn/api/quarn.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace fuzzsupport;

namespace {

std::string g_dir;

bool Holds(const std::string& path, const uint8_t* data, size_t size)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.size() == size &&
           std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const char*>(data));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_dir = MakeScratchDir("verify-image-fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string image = g_dir + "/img_0_0.bkp";
    const std::string second = g_dir + "/img_1_0.bkp";
    // The input's last quarter also stands as a second volume, so that the
    // volume change is reached when a trailer names it.
    const uint8_t* tail = data + size - size / 4;
    WriteFile(image, data, size);
    WriteFile(second, tail, size / 4);

    tagRestoreArgument arg;
    arg.imagePath = image;
    verify_image(arg, tagCallBackFunc{});
    if (!Holds(image, data, size) || !Holds(second, tail, size / 4))
        abort();  // the check wrote to a volume
    return 0;
}
