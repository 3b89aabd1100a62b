// What the fuzz targets share: a scratch folder for the files a restore
// reads and writes, and the engine's calling order for one data set through
// CCompressData.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include "quarn/compression/compress_data.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fuzzsupport {

inline std::string& ScratchDirPath()
{
    static std::string path;
    return path;
}

inline void RemoveScratchDir()
{
    const std::string& dir = ScratchDirPath();
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                unlink((dir + "/" + name).c_str());
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

// Makes a fresh folder /tmp/<name>-XXXXXX for this run (aborts when it
// cannot) and removes it with its files at exit.
inline const std::string& MakeScratchDir(const std::string& name)
{
    std::string pattern = "/tmp/" + name + "-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr)
        abort();
    ScratchDirPath() = pattern;
    atexit(RemoveScratchDir);
    return ScratchDirPath();
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        abort();
    if (size != 0)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
}

// Makes path an empty sparse file of `size` bytes.
inline void ResetSparse(const std::string& path, off_t size)
{
    if (truncate(path.c_str(), 0) != 0 || truncate(path.c_str(), size) != 0) {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || ftruncate(fileno(f), size) != 0)
            abort();
        std::fclose(f);
    }
}

inline off_t SizeOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

enum class Coding { Compress, Decompress };

// One data set through the coder as the engine calls it: the bytes in
// calls of `piece` bytes, each drained while the coder has more, then one
// final call without input. The output goes to *output when given; false
// as soon as a call fails.
inline bool RunDataSet(CCompressData& coder, Coding coding, const uint8_t* data, size_t size, size_t piece,
                       std::vector<uint8_t>* output)
{
    std::vector<uint8_t> copy(data, data + size);
    for (size_t done = 0;; done += piece) {
        const bool final = done >= size;
        const unsigned length = final ? 0 : static_cast<unsigned>(size - done < piece ? size - done : piece);
        bool more = false;
        bool first = true;
        do {
            unsigned char* in = first ? copy.data() + done : nullptr;
            const unsigned inLength = first ? length : 0;
            unsigned char* out = nullptr;
            unsigned long outLength = 0;
            const int result = coding == Coding::Compress
                                   ? coder.Compress(in, inLength, final, &out, &outLength, more)
                                   : coder.Decompress(in, inLength, final, &out, &outLength, more);
            if (result != 0)
                return false;
            first = false;
            if (output != nullptr && outLength > 0)
                output->insert(output->end(), out, out + outLength);
        } while (more);
        if (final)
            return true;
    }
}

}  // namespace fuzzsupport

#endif
