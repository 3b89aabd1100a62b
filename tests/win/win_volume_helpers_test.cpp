// The engine's Windows volume helpers, on both platforms.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "win/support/test_system.h"
#include "platform/windows/text.h"
#include "platform/windows_engine/volume_helpers.h"

using namespace winplat;

class WinVolumeHelpers : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char* name : {"FAKE_CHECKER_STATUS", "FAKE_CHECKER_RECORD", "FAKE_CHECKER_READS_INPUT"})
            TestSystem::unsetEnv(name);
    }
    TestSystem system;
};

TEST(WinUpperDriveLetter, RootsAndIndexes)
{
    struct Case {
        char letter;
        int length;
        int result;
        const wchar_t* root;
    };
    for (const Case& c :
         {Case{'c', 4, 3, L"C:\\"}, Case{'C', 4, 3, L"C:\\"}, Case{'a', 10, 1, L"A:\\"},
          Case{'z', 4, 26, L"Z:\\"}, Case{'c', 3, -1, L""}, Case{'1', 4, -1, L""}, Case{'\0', 4, -1, L""}}) {
        wchar_t out[10] = {0};
        EXPECT_EQ(upperDriveLetter(c.letter, out, c.length), c.result) << c.letter << " " << c.length;
        EXPECT_EQ(std::wstring(out), std::wstring(c.root)) << c.letter;
    }
    EXPECT_EQ(upperDriveLetter('c', nullptr, 4), -1);
}

TEST_F(WinVolumeHelpers, FreeSpaceOfTheSystemDrive)
{
    unsigned long long total = 0, free = 0;
    ASSERT_EQ(getDiskFreeSpace(L"C:\\", &total, &free), 1);
    EXPECT_GT(total, 0u);
    EXPECT_LE(free, total);
    EXPECT_EQ(getDiskFreeSpace(L"C:\\", nullptr, &free), 1);
    EXPECT_EQ(getDiskFreeSpace(L"C:\\", &total, nullptr), 1);
}

TEST_F(WinVolumeHelpers, FreeSpaceOfNoDriveIsZero)
{
    std::wstring root = toWide(std::u16string(1, system.unusedLetter()) + u":\\");
    unsigned long long total = 123, free = 456;
    EXPECT_EQ(getDiskFreeSpace(root.c_str(), &total, &free), 0);
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(free, 0u);
    total = 1;
    EXPECT_EQ(getDiskFreeSpace(nullptr, &total, nullptr), 0);
    EXPECT_EQ(total, 0u);
}

TEST_F(WinVolumeHelpers, ALetterWithoutAVolumeHasNoDiskNumber)
{
    EXPECT_EQ(getVolumeDeviceNumber(system.unusedLetter() - u'A' + 1), -1);
    EXPECT_EQ(getVolumeDeviceNumber(0), -1);
    EXPECT_EQ(getVolumeDeviceNumber(27), -1);
}

TEST_F(WinVolumeHelpers, TheCheckGetsItsAnswersAndItsStatusComesBack)
{
    const std::u16string record = system.folder() + u"\\check-record.txt";
    TestSystem::setEnv("FAKE_CHECKER_RECORD", system.nativePath(record));
    TestSystem::setEnv("FAKE_CHECKER_READS_INPUT", "1");
    TestSystem::setEnv("FAKE_CHECKER_STATUS", "1");  // errors found and fixed
    std::size_t before = system.ourTempFolders();

    unsigned int status = 99;
    EXPECT_EQ(runChkdskWith(system.checkerPath(), 4, &status), 0u);
    EXPECT_EQ(status, 1u);
    EXPECT_EQ(system.readFile(record), "args: D: /f\ninput: Y\r\n\r\n");
    EXPECT_EQ(system.ourTempFolders(), before);  // the batch and answer files are gone with their folder
}

TEST_F(WinVolumeHelpers, TheTemporaryFolderMayHaveAnyName)
{
    const std::u16string temp = system.folder() + u"\\临时 é";
    ASSERT_EQ(system.platform().createFolder(temp), winplat::err::kSuccess);
#ifdef _WIN32
    TestSystem::setEnv("TMP", utf8(temp));
    TestSystem::setEnv("TEMP", utf8(temp));
#else
    std::ofstream(system.machineFolder() + "/system.txt", std::ios::app)
        << "TempDirectory=" << utf8(temp) << "\n";
#endif
    const std::u16string record = system.folder() + u"\\record.txt";
    TestSystem::setEnv("FAKE_CHECKER_RECORD", system.nativePath(record));
    TestSystem::setEnv("FAKE_CHECKER_READS_INPUT", "1");
    unsigned int status = 99;
    EXPECT_EQ(runChkdskWith(system.checkerPath(), 5, &status), 0u);
#ifdef _WIN32
    TestSystem::unsetEnv("TMP");
    TestSystem::unsetEnv("TEMP");
#endif
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(system.readFile(record), "args: E: /f\ninput: Y\r\n\r\n");
    EXPECT_EQ(system.platform().removeFolder(temp), winplat::err::kSuccess);  // empty again
}

TEST_F(WinVolumeHelpers, AMissingCheckerStillCleansUpAndReportsFailure)
{
    std::size_t before = system.ourTempFolders();
    unsigned int status = 0;
    EXPECT_EQ(runChkdskWith(system.folder() + u"\\no-checker.exe", 3, &status), 0u);
    EXPECT_NE(status, 0u);
    EXPECT_EQ(system.ourTempFolders(), before);
}

TEST_F(WinVolumeHelpers, ANonsenseDriveIsNeverChecked)
{
    unsigned int status = 42;
    EXPECT_EQ(runChkdsk(0, &status), 3u);
    EXPECT_EQ(runChkdsk(27, &status), 3u);
    EXPECT_EQ(status, 42u);
}
