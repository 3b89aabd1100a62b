// Text conversions of the Windows layer.
#include <gtest/gtest.h>

#include "platform/windows/paths.h"
#include "platform/windows/text.h"

using namespace winplat;

TEST(WinText, Utf8AndUtf16RoundTripIncludingSurrogatePairs)
{
    const std::string text = "C:\\系统\\😀 ä";
    std::u16string wide = utf16(text);
    EXPECT_EQ(wide[3], u'系');
    EXPECT_EQ(wide.size(), 10u);  // the emoji takes two units
    EXPECT_EQ(utf8(wide), text);
}

TEST(WinText, BrokenUtf8BecomesReplacementCharacters)
{
    EXPECT_EQ(utf16("a\xff"
                    "b"),
              u"a\uFFFDb");
    EXPECT_EQ(utf16("\xe7\xb3"), u"\uFFFD\uFFFD");   // cut short
    EXPECT_EQ(utf8(u"x\xD800y"), "x\xEF\xBF\xBDy");  // a lone surrogate
}

TEST(WinText, WideTextOfEitherSizeConverts)
{
    const wchar_t* wide = L"D:\\数据\\😀";
    std::u16string text = fromWide(wide);
    EXPECT_EQ(utf8(text), "D:\\数据\\😀");
    EXPECT_EQ(toWide(text), std::wstring(wide));
    EXPECT_EQ(fromWide(nullptr), u"");
}

TEST(WinText, CaseFoldingTouchesOnlyAscii)
{
    EXPECT_EQ(asciiUpper(u"ntfs ä"), u"NTFS ä");
    EXPECT_TRUE(equalsNoCase(u"\\\\.\\PhysicalDrive0", u"\\\\.\\PHYSICALDRIVE0"));
}

TEST(WinText, UnsignedNumbers)
{
    struct Case {
        std::u16string text;
        bool ok;
        unsigned long long value;
    };
    for (const Case& c : {Case{u"500107862016", true, 500107862016ull}, Case{u" 42 ", true, 42},
                          Case{u"18446744073709551615", true, 18446744073709551615ull},
                          Case{u"18446744073709551616", false, 0}, Case{u"", false, 0}, Case{u"-1", false, 0},
                          Case{u"12a", false, 0}}) {
        unsigned long long value = 0;
        EXPECT_EQ(parseUnsigned(c.text, value), c.ok) << utf8(c.text);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
    }
}

TEST(WinPaths, VolumesAreOpenedAsDevicesNeverAsRootFolders)
{
    EXPECT_EQ(volumeDevicePathOf(u"c:\\"), u"\\\\.\\C:");
    EXPECT_EQ(volumeDevicePathOf(u"D:"), u"\\\\.\\D:");
    EXPECT_EQ(volumeDevicePathOf(u"e"), u"\\\\.\\E:");
    EXPECT_EQ(volumeDevicePathOf(u""), u"");
    EXPECT_EQ(volumeDevicePathOf(u"\\\\server\\share"), u"");
    EXPECT_EQ(volumeDevicePath(u'1'), u"");
    EXPECT_EQ(driveRoot(u'z'), u"Z:\\");
    EXPECT_EQ(driveRoot(u'?'), u"");
    EXPECT_EQ(physicalDrivePath(12), u"\\\\.\\PhysicalDrive12");
}
