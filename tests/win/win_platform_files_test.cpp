// Files through the Windows layer: the same tests run against the real calls
// (Windows, Wine) and against a simulated machine (Linux).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/windows/platform.h"
#include "support/skip_or_fail.h"
#include "win/support/test_system.h"
#include "platform/windows/text.h"

using namespace winplat;

class WinFiles : public ::testing::Test {
protected:
    TestSystem system;
    Platform& platform = system.platform();
    std::u16string path(const std::u16string& name) { return system.folder() + u"\\" + name; }
};

TEST_F(WinFiles, CreateWriteSeekAndReadBack)
{
    ASSERT_FALSE(system.folder().empty());
    Error error = 1;
    std::unique_ptr<Device> file = platform.open(path(u"镜像_1_0.bkp"), OpenMode::Create, error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(error, err::kSuccess);

    std::size_t done = 0;
    ASSERT_EQ(file->write("hello, world", 12, done), err::kSuccess);
    EXPECT_EQ(done, 12u);
    std::uint64_t position = 0;
    ASSERT_EQ(file->seek(-5, SeekFrom::End, position), err::kSuccess);
    EXPECT_EQ(position, 7u);
    char buffer[16] = {0};
    ASSERT_EQ(file->read(buffer, sizeof buffer, done), err::kSuccess);
    EXPECT_EQ(done, 5u);  // a short read at the end is no error
    EXPECT_EQ(std::string(buffer, done), "world");

    ASSERT_EQ(file->writeAt(20, "tail", 4, done), err::kSuccess);
    std::uint64_t size = 0;
    ASSERT_EQ(file->size(size), err::kSuccess);
    EXPECT_EQ(size, 24u);
    ASSERT_EQ(file->readAt(0, buffer, 5, done), err::kSuccess);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    ASSERT_EQ(file->seek(2, SeekFrom::Begin, position), err::kSuccess);
    ASSERT_EQ(file->seek(3, SeekFrom::Current, position), err::kSuccess);
    EXPECT_EQ(position, 5u);
    EXPECT_NE(file->seek(-1, SeekFrom::Begin, position), err::kSuccess);
    file.reset();

    EXPECT_EQ(system.readFile(path(u"镜像_1_0.bkp")), std::string("hello, world\0\0\0\0\0\0\0\0tail", 24));
    EXPECT_EQ(platform.removeFile(path(u"镜像_1_0.bkp")), err::kSuccess);
    EXPECT_FALSE(platform.open(path(u"镜像_1_0.bkp"), OpenMode::Read, error));
    EXPECT_EQ(error, err::kFileNotFound);
}

TEST_F(WinFiles, CreateTruncatesAndReadOnlyRefusesWrites)
{
    ASSERT_TRUE(system.writeFile(path(u"a.txt"), "0123456789"));
    ASSERT_TRUE(system.writeFile(path(u"a.txt"), "xy"));
    EXPECT_EQ(system.readFile(path(u"a.txt")), "xy");

    Error error = 0;
    std::unique_ptr<Device> file = platform.open(path(u"a.txt"), OpenMode::Read, error);
    ASSERT_TRUE(file);
    std::size_t done = 0;
    EXPECT_NE(file->write("z", 1, done), err::kSuccess);
    file.reset();
    EXPECT_EQ(system.readFile(path(u"a.txt")), "xy");
    platform.removeFile(path(u"a.txt"));
}

TEST_F(WinFiles, MissingFilesAndFoldersAreReportedApart)
{
    Error error = 0;
    EXPECT_FALSE(platform.open(path(u"none.bkp"), OpenMode::ReadWrite, error));
    EXPECT_EQ(error, err::kFileNotFound);
    EXPECT_FALSE(platform.open(path(u"no folder\\x.bkp"), OpenMode::Create, error));
    EXPECT_EQ(error, err::kPathNotFound);
    EXPECT_NE(platform.removeFile(path(u"none.bkp")), err::kSuccess);
}

TEST_F(WinFiles, FilesAnswerNoDiskQueries)
{
    ASSERT_TRUE(system.writeFile(path(u"plain.bin"), "data"));
    Error error = 0;
    std::unique_ptr<Device> file = platform.open(path(u"plain.bin"), OpenMode::Read, error);
    ASSERT_TRUE(file);
    // (Wine answers the device-number query even for files, so it is not
    // asked here.)
    DriveLayout layout;
    PartitionInfo partition;
    EXPECT_NE(file->driveLayout(layout), err::kSuccess);
    EXPECT_NE(file->partitionInfo(partition), err::kSuccess);
    std::uint64_t size = 0;
    EXPECT_EQ(file->size(size), err::kSuccess);  // the file's own size
    EXPECT_EQ(size, 4u);
    file.reset();
    platform.removeFile(path(u"plain.bin"));
}

TEST_F(WinFiles, FoldersAndPrivateTemporaryFolders)
{
    EXPECT_EQ(platform.createFolder(path(u"sub")), err::kSuccess);
    EXPECT_EQ(platform.createFolder(path(u"sub")), err::kAlreadyExists);
    EXPECT_EQ(platform.removeFolder(path(u"sub")), err::kSuccess);

    std::u16string one, two;
    ASSERT_EQ(platform.makeTempFolder(one), err::kSuccess);
    ASSERT_EQ(platform.makeTempFolder(two), err::kSuccess);
    EXPECT_NE(one, two);
    EXPECT_TRUE(system.writeFile(one + u"\\x", "1"));
    platform.removeFile(one + u"\\x");
    EXPECT_EQ(platform.removeFolder(one), err::kSuccess);
    EXPECT_EQ(platform.removeFolder(two), err::kSuccess);
}

// A raw volume opened by its drive letter. Under Wine, scripts/test-windows
// maps R: to a 1 MiB file of zeros; the simulated platform's volumes are
// tested in win_sim_machine_test.
TEST_F(WinFiles, ARawVolumeByItsLetter)
{
    const char* letter = std::getenv("SORVIK_TEST_RAW_VOLUME");
    if (TestSystem::simulated())
        GTEST_SKIP() << "the simulated volumes are tested in win_sim_machine_test";
    if (!letter || !*letter)
        SKIP_OR_FAIL_IN_CI("no raw volume mapped (SORVIK_TEST_RAW_VOLUME)");
    Error error = 0;
    std::unique_ptr<Device> volume =
        platform.open(u"\\\\.\\" + utf16(std::string(1, letter[0])) + u":", OpenMode::ReadWrite, error);
    ASSERT_TRUE(volume) << error;
    std::uint64_t size = 0;
    ASSERT_EQ(volume->size(size), err::kSuccess);
    EXPECT_EQ(size, 1u << 20);
    std::size_t done = 0;
    ASSERT_EQ(volume->writeAt(512, "boot sector", 11, done), err::kSuccess);
    char buffer[16] = {0};
    ASSERT_EQ(volume->readAt(512, buffer, 11, done), err::kSuccess);
    EXPECT_EQ(std::string(buffer, done), "boot sector");
    std::uint64_t position = 0;
    ASSERT_EQ(volume->seek(0, SeekFrom::End, position), err::kSuccess);
    EXPECT_EQ(volume->read(buffer, sizeof buffer, done), err::kSuccess);
    EXPECT_EQ(done, 0u);
}
