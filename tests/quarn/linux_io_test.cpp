#include "linux_io.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

using testsupport::TempDir;

TEST(LinuxIo, UnknownModeTouchesNothing)
{
    TempDir dir;
    const std::string missing = dir.file("never-created");
    const std::string existing = dir.file("kept");
    testsupport::WriteFileBytes(existing, testsupport::PatternBytes(64, 1));

    for (int mode : {3, 4, -1, 100}) {
        SCOPED_TRACE(mode);
        CLinuxIo io;
        testing::internal::CaptureStderr();
        EXPECT_EQ(io.Open(missing, mode), -1);
        EXPECT_EQ(io.Open(existing, mode), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(io.IsOpen());
        EXPECT_FALSE(testsupport::FileExists(missing));
        EXPECT_EQ(testsupport::ReadFileBytes(existing), testsupport::PatternBytes(64, 1));
    }
}

TEST(LinuxIo, OpenModes)
{
    TempDir dir;
    const std::string path = dir.file("f");
    struct Case { int mode; bool fileBefore; int result; uint64_t sizeAfter; } cases[] = {
        {CLinuxIo::ModeRead, false, -1, 0},
        {CLinuxIo::ModeUpdate, false, -1, 0},
        {CLinuxIo::ModeCreate, false, 0, 0},
        {CLinuxIo::ModeRead, true, 0, 10},
        {CLinuxIo::ModeUpdate, true, 0, 10},
        {CLinuxIo::ModeCreate, true, 0, 0},  // truncates
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " file " << c.fileBefore);
        std::remove(path.c_str());
        if (c.fileBefore)
            testsupport::WriteFileBytes(path, std::vector<uint8_t>(10, 7));
        CLinuxIo io;
        testing::internal::CaptureStderr();
        EXPECT_EQ(io.Open(path, c.mode), c.result);
        std::string err = testing::internal::GetCapturedStderr();
        if (c.result != 0) {
            EXPECT_EQ(err, "open " + path + " failed! --- No such file or directory\n");
        }
        io.Close();
        EXPECT_EQ(testsupport::FileSize(path), c.sizeAfter);
    }
}

TEST(LinuxIo, ReadPastEndReturnsWhatIsThere)
{
    TempDir dir;
    const std::string path = dir.file("part");
    const auto bytes = testsupport::PatternBytes(1000, 2);
    testsupport::WriteFileBytes(path, bytes);

    CLinuxIo io;
    ASSERT_EQ(io.Open(path, CLinuxIo::ModeRead), 0);
    std::vector<uint8_t> got(100, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(io.pRead(960, 100, got.data()), 40);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "It's come to the end of the part!\n");
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 40, bytes.begin() + 960));

    // The stream stays usable after reaching the end.
    EXPECT_EQ(io.pRead(0, 10, got.data()), 10);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 10, bytes.begin()));
    EXPECT_EQ(io.Read(got.data(), 0), 0);
    EXPECT_EQ(io.Read(got.data(), -5), 0);
}

TEST(LinuxIo, WriteSeekAndPositions)
{
    TempDir dir;
    const std::string path = dir.file("img");
    CLinuxIo io;
    ASSERT_EQ(io.Open(path, CLinuxIo::ModeCreate), 0);
    const auto data = testsupport::PatternBytes(5000, 3);
    EXPECT_EQ(io.Write(data.data(), 5000), 5000);
    EXPECT_EQ(io.GetCurrentPos(), 5000);
    EXPECT_EQ(io.Write(data.data(), 0), 0);
    EXPECT_EQ(io.pWrite(10, "abc", 3), 3);
    EXPECT_EQ(io.GetCurrentPos(), 13);
    EXPECT_EQ(io.Seek(-100, SEEK_END), 0);
    EXPECT_EQ(io.GetCurrentPos(), 4900);
    EXPECT_GE(io.GetHandle(), 0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(io.Seek(-1, SEEK_SET), -1);
    EXPECT_EQ(io.pRead(-10, 5, nullptr), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Seek partition error! --- Invalid argument\n offset = -1\n whence = 0\n"), std::string::npos) << err;

    EXPECT_EQ(io.Close(), 0);
    EXPECT_EQ(io.Close(), 0);
    auto stored = testsupport::ReadFileBytes(path);
    auto expected = data;
    std::copy_n("abc", 3, expected.begin() + 10);
    EXPECT_EQ(stored, expected);
}

TEST(LinuxIo, WriteErrorReturnsZero)
{
    if (!testsupport::FileExists("/dev/full"))
        GTEST_SKIP() << "/dev/full is missing";
    CLinuxIo io;
    ASSERT_EQ(io.Open("/dev/full", CLinuxIo::ModeUpdate), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(io.Write("0123456789", 10), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Write the data error! \n");
}

TEST(LinuxIo, RemoveFile)
{
    TempDir dir;
    const std::string path = dir.file("gone");
    CLinuxIo io;
    ASSERT_EQ(io.Open(path, CLinuxIo::ModeCreate), 0);
    EXPECT_EQ(io.RemoveFile(), 0);
    EXPECT_FALSE(io.IsOpen());
    EXPECT_FALSE(testsupport::FileExists(path));
    EXPECT_EQ(io.RemoveFile(), 0) << "a file that is already gone is not an error";
}
