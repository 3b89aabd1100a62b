#include "platform/windows/disk_helpers.h"

#include "quarn/api/image_format.h"
#include "platform/windows/platform.h"
#include "platform/windows/text.h"

using namespace winplat;

int fileSystemCode(const std::string& name)
{
    return ImageFormat::FileSystemCodeOfName(name);
}

int volumeFileSystemCode(const wchar_t* path)
{
    std::u16string root = fromWide(path);
    if (root.empty())
        return 0;
    if (root[0] != u'\\' && root.size() > 3)
        root.resize(3);
    VolumeInformation volume;
    if (currentPlatform()->volumeInformation(root, volume) != err::kSuccess)
        return 0;
    std::u16string name = asciiUpper(volume.fileSystem);
    if (name == u"NTFS")
        return 4;
    if (name == u"FAT32")
        return 3;
    if (name == u"FAT16" || name == u"FAT")
        return 2;
    return 0;
}

std::string windowsVersionName(unsigned int code)
{
    static const char* const kNames[] = {
        "Windows 9X",
        "Windows 2000",
        "Windows XP",
        "Windows server 2003",
        "Windows server 2003 RC2",
        "Windows Vista",
        "Windows server 2008",
        "Windows server 2008 RC2",
        "Windows 7",
        "Windows 8",
        "Windows server 2012",
        "Windows 8.1",
        "Windows server 2012 R2",
        "Windows 10",
        "Windows 11",
        "Windows server 2016 or later",
    };
    return code < sizeof kNames / sizeof kNames[0] ? kNames[code] : std::string();
}
