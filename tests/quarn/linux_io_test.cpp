#include "quarn/io/linux_io.h"
#include "support/test_support.h"

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
    struct Case {
        int mode;
        bool fileBefore;
        int result;
        uint64_t sizeAfter;
    } cases[] = {
        {CLinuxIo::ModeRead, false, -1, 0},  {CLinuxIo::ModeUpdate, false, -1, 0},
        {CLinuxIo::ModeCreate, false, 0, 0}, {CLinuxIo::ModeRead, true, 0, 10},
        {CLinuxIo::ModeUpdate, true, 0, 10}, {CLinuxIo::ModeCreate, true, 0, 0},  // truncates
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

// A 1000-byte partition file of known bytes, open for reading.
class LinuxIoRead : public testing::Test {
protected:
    void SetUp() override
    {
        testsupport::WriteFileBytes(dir.file("part"), bytes);
        ASSERT_EQ(io.Open(dir.file("part"), CLinuxIo::ModeRead), 0);
    }

    TempDir dir;
    const std::vector<uint8_t> bytes = testsupport::PatternBytes(1000, 2);
    CLinuxIo io;
};

TEST_F(LinuxIoRead, ReadPastEndReturnsWhatIsThere)
{
    std::vector<uint8_t> got(100, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(io.pRead(960, got.data(), 100), 40);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "It's come to the end of the part!\n");
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 40, bytes.begin() + 960));

    // The stream stays usable after reaching the end.
    EXPECT_EQ(io.pRead(0, got.data(), 10), 10);
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
    EXPECT_EQ(io.pRead(-10, nullptr, 5), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Seek partition error! --- Invalid argument\n offset = -1\n whence = 0\n"),
              std::string::npos)
        << err;

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
        SKIP_OR_FAIL_IN_CI("/dev/full is missing");
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

TEST(LinuxIo, BufferedWritesKeepTheirOrderAndPositions)
{
    TempDir dir;
    const std::string path = dir.file("volume");
    CLinuxIo io;
    ASSERT_EQ(io.Open(path, CLinuxIo::ModeCreate), 0);
    io.BufferWrites();
    std::vector<uint8_t> expected;
    auto write = [&](const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(io.Write(bytes.data(), int64_t(bytes.size())), int64_t(bytes.size()));
        expected.insert(expected.end(), bytes.begin(), bytes.end());
        EXPECT_EQ(io.GetCurrentPos(), int64_t(expected.size()));
    };
    auto patch = [&](int64_t offset, const std::vector<uint8_t>& bytes) {
        const int64_t pos = io.GetCurrentPos();
        ASSERT_EQ(io.WriteAt(offset, bytes.data(), int64_t(bytes.size())), int64_t(bytes.size()));
        std::copy(bytes.begin(), bytes.end(), expected.begin() + offset);
        EXPECT_EQ(io.GetCurrentPos(), pos) << "a patch leaves the position alone";
    };

    write(testsupport::PatternBytes(100, 1));
    EXPECT_EQ(testsupport::FileSize(path), 0u) << "small writes wait in the buffer";
    patch(10, {1, 2, 3});
    // A chunk of the straight-write size goes out at once, after the
    // buffered bytes.
    write(testsupport::PatternBytes(CLinuxIo::kStraightWriteBytes, 2));
    EXPECT_EQ(testsupport::FileSize(path), expected.size());
    patch(50, {4, 5});  // in the file
    write(testsupport::PatternBytes(30, 3));
    patch(expected.size() - 40, std::vector<uint8_t>(20, 6));  // across the file and the buffer
    // Small writes beyond the buffer's room push it out first.
    const size_t before = expected.size();
    while (expected.size() - before <= CLinuxIo::kWriteBufferBytes)
        write(testsupport::PatternBytes(1000, uint8_t(expected.size())));
    EXPECT_GT(testsupport::FileSize(path), before);
    EXPECT_LT(testsupport::FileSize(path), expected.size());

    // Seeks and reads see every byte written.
    ASSERT_EQ(io.Seek(0, SEEK_END), 0);
    EXPECT_EQ(io.GetCurrentPos(), int64_t(expected.size()));
    std::vector<uint8_t> head(200);
    ASSERT_EQ(io.pRead(0, head.data(), 200), 200);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), expected.begin()));
    ASSERT_EQ(io.Seek(0, SEEK_END), 0);
    write(testsupport::PatternBytes(7, 4));
    EXPECT_EQ(io.Sync(), 0);
    EXPECT_EQ(testsupport::FileSize(path), expected.size());
    write(testsupport::PatternBytes(9, 5));
    EXPECT_EQ(io.Close(), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(path), expected);
}

TEST(LinuxIo, UnbufferedPatchesKeepThePosition)
{
    TempDir dir;
    const std::string path = dir.file("part");
    testsupport::WriteFileBytes(path, testsupport::PatternBytes(300, 1));
    CLinuxIo io;
    ASSERT_EQ(io.Open(path, CLinuxIo::ModeUpdate), 0);
    ASSERT_EQ(io.Seek(200, SEEK_SET), 0);
    EXPECT_EQ(io.WriteAt(5, "ab", 2), 2);
    EXPECT_EQ(io.GetCurrentPos(), 200);
    EXPECT_EQ(io.Sync(), 0);
    EXPECT_EQ(io.Close(), 0);
    auto expected = testsupport::PatternBytes(300, 1);
    expected[5] = 'a';
    expected[6] = 'b';
    EXPECT_EQ(testsupport::ReadFileBytes(path), expected);
}

TEST(LinuxIo, BufferedWriteErrorsFailEveryLaterStep)
{
    if (!testsupport::FileExists("/dev/full"))
        SKIP_OR_FAIL_IN_CI("/dev/full is missing");
    const std::string error = "Write the data error! \n";
    struct Case {
        const char* what;
        bool syncFirst;
    } cases[] = {{"sync then close", true}, {"close alone", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CLinuxIo io;
        ASSERT_EQ(io.Open("/dev/full", CLinuxIo::ModeCreate), 0);
        io.BufferWrites();
        testing::internal::CaptureStderr();
        EXPECT_EQ(io.Write("0123456789", 10), 10) << "still in the buffer";
        if (c.syncFirst) {
            EXPECT_EQ(io.Sync(), -1);
            EXPECT_EQ(io.Write("0123456789", 10), 0) << "the handle stays failed";
            EXPECT_EQ(io.WriteAt(0, "x", 1), 0);
            EXPECT_EQ(io.Sync(), -1);
        }
        EXPECT_EQ(io.Close(), -1);
        EXPECT_NE(testing::internal::GetCapturedStderr().find(error), std::string::npos);
        EXPECT_EQ(io.Close(), 0) << "nothing left open";
    }

    CLinuxIo io;
    ASSERT_EQ(io.Open("/dev/full", CLinuxIo::ModeCreate), 0);
    io.BufferWrites();
    std::vector<uint8_t> chunk(CLinuxIo::kStraightWriteBytes, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(io.Write(chunk.data(), int64_t(chunk.size())), 0) << "a large write fails at once";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), error);
    EXPECT_EQ(io.Close(), -1);
}

TEST(LinuxIo, SyncOfWhatCannotBeSynchronised)
{
    CLinuxIo closed;
    EXPECT_EQ(closed.Sync(), 0);
    if (!testsupport::FileExists("/dev/null"))
        SKIP_OR_FAIL_IN_CI("/dev/null is missing");
    // A character device has no storage to wait for.
    CLinuxIo io;
    ASSERT_EQ(io.Open("/dev/null", CLinuxIo::ModeUpdate), 0);
    EXPECT_EQ(io.Write("abc", 3), 3);
    EXPECT_EQ(io.Sync(), 0);
    EXPECT_EQ(io.Close(), 0);
}

TEST_F(LinuxIoRead, ReadAtLeavesThePositionAlone)
{
    ASSERT_EQ(io.Seek(100, SEEK_SET), 0);
    std::vector<uint8_t> got(100, 0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(io.ReadAt(500, got.data(), 100), 100);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + 500));
    EXPECT_EQ(io.ReadAt(960, got.data(), 100), 40);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 40, bytes.begin() + 960));
    EXPECT_EQ(io.ReadAt(-1, got.data(), 10), -1);
    EXPECT_EQ(io.ReadAt(0, got.data(), 0), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("It's come to the end of the part!\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Seek partition error! --- Invalid argument\n offset = -1\n whence = 0\n"),
              std::string::npos)
        << err;

    EXPECT_EQ(io.GetCurrentPos(), 100);
    ASSERT_EQ(io.Read(got.data(), 10), 10);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 10, bytes.begin() + 100)) << "sequential reads go on";

    // A buffered file's bytes are read as written.
    CLinuxIo out;
    ASSERT_EQ(out.Open(dir.file("volume"), CLinuxIo::ModeCreate), 0);
    out.BufferWrites();
    ASSERT_EQ(out.Write("abcdef", 6), 6);
    char back[3] = {};
    EXPECT_EQ(out.ReadAt(2, back, 3), 3);
    EXPECT_EQ(std::string(back, 3), "cde");
    EXPECT_EQ(out.GetCurrentPos(), 6);
}

// A volume read with a large read-ahead gives the same bytes and positions
// as one read without it: small pieces, pieces across the read-ahead's
// edge, one larger than it, seeks back into it and beyond it, positioned
// reads in between, and a second volume opened on the same handle.
TEST(LinuxIo, BufferedReadsGiveTheFileAsItIs)
{
    TempDir dir;
    const size_t size = 3 * CLinuxIo::kReadBufferBytes + 123;
    const std::vector<uint8_t> bytes = testsupport::PatternBytes(size, 7);
    testsupport::WriteFileBytes(dir.file("volume"), bytes);
    testsupport::WriteFileBytes(dir.file("next"), testsupport::PatternBytes(5000, 9));

    CLinuxIo io;
    ASSERT_EQ(io.Open(dir.file("volume"), CLinuxIo::ModeRead), 0);
    io.BufferReads();
    std::vector<uint8_t> got(size + 10, 0);
    uint64_t at = 0;
    auto expect_read = [&](int64_t length, int64_t expected) {
        SCOPED_TRACE("read of " + std::to_string(length) + " at " + std::to_string(at));
        ASSERT_EQ(io.Read(got.data(), length), expected);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + expected, bytes.begin() + at));
        at += uint64_t(expected);
        EXPECT_EQ(io.GetCurrentPos(), int64_t(at));
    };
    for (int64_t length : {4, 1024, 1028, 25, 7})
        expect_read(length, length);
    expect_read(int64_t(CLinuxIo::kReadBufferBytes) - 100, int64_t(CLinuxIo::kReadBufferBytes) - 100);
    expect_read(int64_t(CLinuxIo::kReadBufferBytes) + 4096, int64_t(CLinuxIo::kReadBufferBytes) + 4096);

    std::vector<uint8_t> aside(64, 0);
    EXPECT_EQ(io.ReadAt(10, aside.data(), 64), 64);
    EXPECT_TRUE(std::equal(aside.begin(), aside.end(), bytes.begin() + 10));
    expect_read(300, 300);

    for (uint64_t to :
         {at - 200, uint64_t(17), uint64_t(size - 50), uint64_t(CLinuxIo::kReadBufferBytes + 1)}) {
        ASSERT_EQ(io.Seek(int64_t(to), SEEK_SET), 0);
        at = to;
        expect_read(40, 40);
    }
    ASSERT_EQ(io.Seek(int64_t(size - 20), SEEK_SET), 0);
    at = size - 20;
    testing::internal::CaptureStderr();
    expect_read(100, 20);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "It's come to the end of the part!\n");

    const std::vector<uint8_t> next = testsupport::PatternBytes(5000, 9);
    ASSERT_EQ(io.Open(dir.file("next"), CLinuxIo::ModeRead), 0);
    io.BufferReads();
    ASSERT_EQ(io.Read(got.data(), 5000), 5000);
    EXPECT_TRUE(std::equal(next.begin(), next.end(), got.begin()));
    EXPECT_EQ(io.Close(), 0);
}
