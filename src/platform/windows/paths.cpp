#include "platform/windows/paths.h"

#include "platform/windows/text.h"

namespace winplat {

namespace {

char16_t upperLetter(char16_t letter)
{
    if (letter >= u'a' && letter <= u'z')
        return static_cast<char16_t>(letter - u'a' + u'A');
    return letter >= u'A' && letter <= u'Z' ? letter : 0;
}

}  // namespace

std::u16string volumeDevicePath(char16_t letter)
{
    char16_t upper = upperLetter(letter);
    return upper ? u"\\\\.\\" + std::u16string(1, upper) + u":" : std::u16string();
}

std::u16string volumeDevicePathOf(const std::u16string& partition)
{
    return partition.empty() ? std::u16string() : volumeDevicePath(partition[0]);
}

std::u16string driveRoot(char16_t letter)
{
    char16_t upper = upperLetter(letter);
    return upper ? std::u16string(1, upper) + u":\\" : std::u16string();
}

std::u16string physicalDrivePath(unsigned number)
{
    return u"\\\\.\\PhysicalDrive" + utf16(std::to_string(number));
}

}  // namespace winplat
