// The one-drive backup on a simulated machine: C: (NTFS made and filled by
// ntfs-3g's tools) is backed up into D:\Images as C_backup by the dialog the
// shell verb starts; the image is restored by the engine onto a partition
// file and judged with ntfs-3g. Its refusals: the image folder on the drive
// itself, an existing image the user will not overwrite.
#include "base_msg_dlg.h"
#include "desk_just_backup_dlg.h"
#include "desk_machine.h"
#include "desk_settings.h"
#include "desk_test_app.h"
#include "ntfs_fixture.h"
#include "quarn.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace desktest;
using testsupport::TempDir;

namespace {

// The job runs on the engine's Windows build over the simulated machine.
#ifdef DESK_WINDOWS_ENGINE
class JustBackupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApp();
        if (!testsupport::HaveNtfsTools())
            SKIP_OR_FAIL_IN_CI("ntfs-3g's tools are missing");
        ASSERT_TRUE(machine.ok);
        const std::string system = work.file("system.part");
        std::string log;
        ASSERT_TRUE(testsupport::MakeNtfsPartition(system, kPartBytes, &log)) << log;
        files = {{"readme.txt", testsupport::PatternBytes(3000, 1)},
                 {"big.bin", testsupport::PatternBytes(2 * 1024 * 1024 + 5, 2)}};
        ASSERT_TRUE(testsupport::FillNtfsPartition(system, work.path(), files, &log)) << log;
        ASSERT_TRUE(machine.storePartition(1, system));
        desk::writeSetting(desk::kDstPathKey, "D:\\Images");
        desk::writeSetting(desk::kLangKey, "en");
    }

    TempDir work;
    DeskMachine machine;
    std::vector<testsupport::NtfsFileSpec> files;
};

TEST_F(JustBackupTest, DriveIsBackedUpEndToEnd)
{
    MsgBoxAnswers answers;
    desk::JustBackupDlg dialog("C:\\");
    dialog.show();
    ASSERT_TRUE(dialog.prepare());
    EXPECT_EQ(dialog.savePath(), "D:\\Images\\C_backup");
    EXPECT_FALSE(dialog.request().incremental);
    EXPECT_EQ(dialog.request().srcPartition, "c:\\");
    EXPECT_EQ(dialog.request().compressType, 2);
    EXPECT_EQ(dialog.request().fsType, 4);
    EXPECT_EQ(dialog.request().volumeSize, ~0ull);
    EXPECT_TRUE(dialog.request().saveMbr);  // C: is the active partition
    EXPECT_EQ(QString::fromStdString(dialog.request().description).left(35),
              "Backup Partition: C  Backup Times: ");
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message, "Do you want to backup your C partition?");
    dialog.exec();
    ASSERT_EQ(answers.boxes.size(), 2);
    EXPECT_TRUE(answers.boxes[1].message.startsWith("Backup succeeded!\n"))
        << answers.boxes[1].message.toStdString();

    const std::string image = machine.host("fs/d/Images/C_backup_0_0.bkp");
    ASSERT_TRUE(testsupport::FileExists(image));
    const std::string restored = work.file("restored.part");
    testsupport::MakeSparseFile(restored, kPartBytes);
    tagRestoreArgument arg;
    arg.imagePath = image;
    arg.targetPartition = restored;
    ASSERT_EQ(restore_ntfs(arg, tagCallBackFunc()), 0);
    const testsupport::CommandResult check = testsupport::Run("ntfsfix -n " + testsupport::Quote(restored));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    for (const testsupport::NtfsFileSpec& file : files) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(testsupport::NtfsCat(restored, file.path, &bytes)) << file.path;
        EXPECT_EQ(bytes, file.data) << file.path;
    }
}

TEST_F(JustBackupTest, RefusesTheDriveItselfAndAnImageNotToOverwrite)
{
    MsgBoxAnswers answers;
    {
        desk::JustBackupDlg dialog("d:\\");
        EXPECT_FALSE(dialog.prepare());
        ASSERT_EQ(answers.boxes.size(), 1);
        EXPECT_EQ(answers.boxes[0].message, "The save path is same to the backup partition!");
    }
    testsupport::WriteFileBytes(machine.host("fs/d/Images/C_backup_0_0.bkp"),
                                testsupport::PatternBytes(10, 1));
    answers.boxes.clear();
    answers.push(0);  // Cancel
    desk::JustBackupDlg dialog("C:\\");
    EXPECT_FALSE(dialog.prepare());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message,
              "The backup file name D:\\Images\\C_backup_0_0.bkp is exist, do you want recover it?");
    EXPECT_EQ(testsupport::FileSize(machine.host("fs/d/Images/C_backup_0_0.bkp")), 10u);
}

// A file on FAT32 holds at most 4 GiB - 1 byte: the image on a FAT32 drive
// splits below 4 GiB, at a whole MiB, whatever the drive's size.
TEST_F(JustBackupTest, Fat32DestinationSplitsBelow4GiB)
{
    sim::writeText(machine.machine, "drives.txt",
                   "Letter=C\nType=fixed\nDisk=0\nOffset=1048576\nLabel=System\nFileSystem=NTFS\n"
                   "FreeBytes=25165824\n\n"
                   "Letter=D\nType=fixed\nDisk=0\nOffset=34603008\nLabel=Data\nFileSystem=FAT32\n"
                   "FreeBytes=30408704\n");
    MsgBoxAnswers answers;
    desk::JustBackupDlg dialog("C:\\");
    ASSERT_TRUE(dialog.prepare());
    EXPECT_EQ(dialog.request().volumeSize, 4095ull * 1048576ull);
    EXPECT_LT(dialog.request().volumeSize, 4294967296ull);
}
#endif

}  // namespace
