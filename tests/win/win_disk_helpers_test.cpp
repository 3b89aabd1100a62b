// The desktop program's disk helpers.
#include <gtest/gtest.h>

#include "platform/windows/disk_helpers.h"
#include "win/support/test_system.h"
#include "platform/windows/text.h"

TEST(WinFileSystemCode, NamesInAnyCase)
{
    struct Case {
        const char* name;
        int code;
    };
    for (const Case& c :
         {Case{"NTFS", 4}, Case{"ntfs", 4}, Case{"Fat32", 3}, Case{"FAT16", 2}, Case{"fat12", 1},
          Case{"FAT", 0}, Case{"exFAT", 0}, Case{"", 0}, Case{"NTFS ", 0}, Case{"ＮＴＦＳ", 0}})
        EXPECT_EQ(fileSystemCode(c.name), c.code) << c.name;
}

TEST(WinVersionName, EveryCodeAndNoOther)
{
    const char* names[] = {"Windows 9X",
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
                           "Windows server 2016 or later"};
    for (unsigned code = 0; code < 16; ++code)
        EXPECT_EQ(windowsVersionName(code), names[code]);
    EXPECT_EQ(windowsVersionName(16), "");
    EXPECT_EQ(windowsVersionName(static_cast<unsigned>(-1)), "");
}

TEST(WinVolumeFileSystemCode, NoDriveGivesZero)
{
    TestSystem system;
    std::wstring path = winplat::toWide(std::u16string(1, system.unusedLetter()) + u":\\Images\\x");
    EXPECT_EQ(volumeFileSystemCode(path.c_str()), 0);
    EXPECT_EQ(volumeFileSystemCode(nullptr), 0);
    EXPECT_EQ(volumeFileSystemCode(L""), 0);
}

TEST(WinVolumeFileSystemCode, AFolderIsAskedAboutItsDrive)
{
    TestSystem system;
    if (!TestSystem::simulated())
        GTEST_SKIP() << "Wine's drives have no fixed file-system names";
    // The test machine's C: is NTFS, D: reports "FAT".
    EXPECT_EQ(volumeFileSystemCode(L"C:\\Images\\Weekly"), 4);
    EXPECT_EQ(volumeFileSystemCode(L"d:\\Images"), 2);
    EXPECT_EQ(volumeFileSystemCode(L"D:\\"), 2);
    EXPECT_EQ(volumeFileSystemCode(L"D:"), 0);  // not a root
}
