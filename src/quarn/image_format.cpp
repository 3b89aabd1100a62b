#include "image_format.h"

#include <cstdio>
#include <strings.h>
#include <cstring>

std::string VolumeFileName(const std::string& base, unsigned volumeIndex, unsigned generation)
{
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%u_%u.bkp", volumeIndex, generation);
    return base + suffix;
}

const char* const FileExtList[24] = {
    "cab", "chm", "zip", "rar", "tar", "gz", "avi", "mpg", "jpg", "mpe", "mp3", "ra",
    "ram", "wma", "wav", "wmv", "rm", "rmvb", "mpeg", "mkv", "flv", "mp4", "mov", "7z",
};

int IsCompressFile(const char* name)
{
    if (name == nullptr || *name == '\0')
        return 0;
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr)
        return 0;
    for (const char* ext : FileExtList) {
        if (strcasecmp(dot + 1, ext) == 0)
            return 1;
    }
    return 0;
}
