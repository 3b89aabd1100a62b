#include "support/ntfs_fragmented_file.h"

#include "support/ntfs_fixture.h"
#include "support/test_support.h"

#include <cstdio>

namespace testsupport {

bool MakeFragmentedFilePartition(const std::string& partition, const std::string& workDir, std::string* log)
{
    if (!MakeNtfsPartition(partition, 12 << 20, log))
        return false;
    NtfsMount mount(partition, workDir + "/fragment-mnt");
    if (!mount.ok()) {
        *log += mount.log();
        return false;
    }
    // One cluster of data every other cluster: hundreds of runs. (Freeing
    // every other small file leaves holes that ntfs-3g's allocator fills
    // in larger runs.)
    FILE* f = std::fopen((mount.path() + "/fragmented.bin").c_str(), "wb");
    bool written = f != nullptr;
    for (int i = 0; written && i < 700; ++i) {
        std::vector<uint8_t> block = PatternBytes(4096, uint32_t(i));
        written = std::fseek(f, long(i) * 8192, SEEK_SET) == 0 &&
                  std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0;
    }
    if (f != nullptr && std::fclose(f) != 0)
        written = false;
    if (!written)
        *log += "cannot write fragmented.bin\n";
    if (!mount.Unmount()) {
        *log += mount.log();
        return false;
    }
    return written;
}

}  // namespace testsupport
