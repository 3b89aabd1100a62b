#include "quarn/image/compressed_file_types.h"

#include <cstring>

const char* const FileExtList[24] = {
    "cab", "chm", "zip", "rar", "tar", "gz",   "avi",  "mpg", "jpg", "mpe", "mp3", "ra",
    "ram", "wma", "wav", "wmv", "rm",  "rmvb", "mpeg", "mkv", "flv", "mp4", "mov", "7z",
};

int IsCompressFile(const char* name)
{
    if (name == nullptr || *name == '\0')
        return 0;
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr)
        return 0;
    // No listed extension is longer than 4 characters: fold a short text
    // after the dot to lower case once and compare it with each exactly.
    constexpr size_t kLongestExt = 4;
    char ext[kLongestExt + 1];
    size_t length = 0;
    for (const char* c = dot + 1; *c != '\0'; ++c) {
        if (length == kLongestExt)
            return 0;
        ext[length++] = (*c >= 'A' && *c <= 'Z') ? char(*c - 'A' + 'a') : *c;
    }
    ext[length] = '\0';
    for (const char* listed : FileExtList) {
        if (std::strcmp(ext, listed) == 0)
            return 1;
    }
    return 0;
}
