// Drives, volumes, WMI and system information through the Windows layer.
// Under Wine these are Wine's own drives (C: and the host's root as Z:);
// Wine has no disk I/O controls and no real WMI disk rows, so the inventory
// of disks and partitions is tested on the simulated platform only.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/windows/platform.h"
#include "win/support/test_system.h"
#include "platform/windows/text.h"

using namespace winplat;

class WinDrives : public ::testing::Test {
protected:
    TestSystem system;
    Platform& platform = system.platform();
};

TEST_F(WinDrives, TheSystemDriveIsListedAndDescribed)
{
    std::vector<std::u16string> roots;
    ASSERT_EQ(platform.logicalDriveRoots(roots), err::kSuccess);
    EXPECT_NE(std::find(roots.begin(), roots.end(), u"C:\\"), roots.end());
    EXPECT_EQ(platform.driveType(u"C:\\"), DriveType::Fixed);

    VolumeInformation volume;
    ASSERT_EQ(platform.volumeInformation(u"C:\\", volume), err::kSuccess);
    EXPECT_FALSE(volume.fileSystem.empty());
    FreeSpace space;
    ASSERT_EQ(platform.freeSpace(u"C:\\", space), err::kSuccess);
    EXPECT_GT(space.totalBytes, 0u);
    EXPECT_LE(space.freeBytes, space.totalBytes);
}

TEST_F(WinDrives, ALetterWithoutADriveAnswersNothing)
{
    char16_t letter = system.unusedLetter();
    ASSERT_NE(letter, 0);
    std::u16string root = std::u16string(1, letter) + u":\\";
    EXPECT_EQ(platform.driveType(root), DriveType::NoRootDir);
    VolumeInformation volume;
    EXPECT_NE(platform.volumeInformation(root, volume), err::kSuccess);
    FreeSpace space;
    EXPECT_NE(platform.freeSpace(root, space), err::kSuccess);
    Error error = 0;
    EXPECT_FALSE(platform.open(u"\\\\.\\" + std::u16string(1, letter) + u":", OpenMode::Read, error));
}

TEST_F(WinDrives, SystemFoldersAndVersion)
{
    std::u16string windows, system32, program;
    ASSERT_EQ(platform.windowsDirectory(windows), err::kSuccess);
    ASSERT_EQ(platform.systemDirectory(system32), err::kSuccess);
    ASSERT_EQ(platform.programPath(program), err::kSuccess);
    EXPECT_TRUE(equalsNoCase(system32.substr(0, windows.size()), windows)) << utf8(system32);
    EXPECT_EQ(windows.substr(1, 2), u":\\");
    EXPECT_FALSE(program.empty());
    VersionInfo version;
    ASSERT_EQ(platform.versionInfo(version), err::kSuccess);
    EXPECT_GE(version.major, 5u);
}

TEST_F(WinDrives, FileTimesBecomeLocalCivilTimes)
{
    // 2021-06-15 12:00:00 UTC; the local day is the 15th in every time zone
    // of at most twelve hours from UTC.
    const std::uint64_t fileTime = (1623758400ull + 11644473600ull) * 10000000ull;
    LocalTime time;
    ASSERT_EQ(platform.localTimeOf(fileTime, time), err::kSuccess);
    EXPECT_EQ(time.year, 2021);
    EXPECT_EQ(time.month, 6);
    EXPECT_EQ(time.day, 15);
    EXPECT_EQ(time.second, 0);
    EXPECT_NE(platform.localTimeOf(0x8000000000000000ull, time), err::kSuccess);
}

TEST_F(WinDrives, AsciiNamesKeepTheirBytesInTheAnsiCodePage)
{
    EXPECT_EQ(platform.toAnsiCodePage(u"pagefile.sys"), "pagefile.sys");
    EXPECT_EQ(platform.toAnsiCodePage(u""), "");
}

TEST_F(WinDrives, WmiAnswersTheDiskQuery)
{
    WmiStatus status;
    std::shared_ptr<WmiSession> wmi = platform.openWmi(status);
    ASSERT_TRUE(wmi) << "step " << status.step << " code " << std::hex << status.code;
    std::vector<WmiDiskRow> rows;
    EXPECT_TRUE(wmi->queryDiskDrives(rows).ok());
    // A second owner keeps the connection usable after the first lets go.
    std::shared_ptr<WmiSession> second = wmi;
    wmi.reset();
    EXPECT_TRUE(second->queryDiskDrives(rows).ok());
}

#ifdef _WIN32
#include <objbase.h>

#include <thread>

// Qt may have set COM up for a single-threaded apartment already: WMI is
// still usable there, and that set-up is left as it was.
TEST_F(WinDrives, WmiWorksInAnApartmentSetUpByOthers)
{
    std::thread([this] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        {
            WmiStatus status;
            std::shared_ptr<WmiSession> wmi = platform.openWmi(status);
            EXPECT_TRUE(wmi) << "step " << status.step << " code " << std::hex << status.code;
        }
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);  // still set up
        CoUninitialize();
        CoUninitialize();
    }).join();
}

// Questions about drives silence the system's error boxes while they run
// and leave the program's own error mode as it was.
TEST_F(WinDrives, DriveQuestionsLeaveTheErrorModeAsItWas)
{
    UINT before = SetErrorMode(0);
    std::u16string root = std::u16string(1, system.unusedLetter()) + u":\\";
    VolumeInformation volume;
    FreeSpace space;
    platform.volumeInformation(root, volume);
    platform.freeSpace(root, space);
    platform.driveType(root);
    EXPECT_EQ(SetErrorMode(before), 0u);
}

// The connection undoes its own set-up of COM when its last owner lets go.
TEST_F(WinDrives, WmiUndoesItsOwnComSetUp)
{
    std::thread([this] {
        {
            WmiStatus status;
            std::shared_ptr<WmiSession> wmi = platform.openWmi(status);
            ASSERT_TRUE(wmi);
        }
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);  // a fresh thread again
        CoUninitialize();
    }).join();
}
#endif
