// The one-drive backup on a simulated machine: C: (NTFS made and filled by
// ntfs-3g's tools) is backed up into D:\Images as C_backup by the dialog the
// shell verb starts; the image is restored by the engine onto a partition
// file and judged with ntfs-3g. Its refusals: the image folder on the drive
// itself, an existing image the user will not overwrite.
#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_just_backup_dlg.h"
#include "desktop/desk_machine.h"
#include "programs/desktop/desk_settings.h"
#include "desktop/desk_test_app.h"
#include "support/ntfs_fixture.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace desktest;
using testsupport::TempDir;

namespace {

// The job runs on the engine's Windows build over the simulated machine.
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

// Started from a drive's menu, the program has no window but its boxes: a
// drive the inventory does not know is refused in a box, before anything is
// written.
TEST_F(JustBackupTest, DriveTheInventoryDoesNotKnowIsRefusedInABox)
{
    for (const bool blind : {false, true}) {
        if (blind)
            machine.withoutDiskLayouts();
        MsgBoxAnswers answers;
        desk::JustBackupDlg dialog(blind ? "C:\\" : "q:\\");
        EXPECT_FALSE(dialog.prepare());
        ASSERT_EQ(answers.boxes.size(), 1) << blind;
        const QString expected =
            QString("Drive %1: cannot be backed up: it is not a partition of the disks the system reports.")
                .arg(blind ? 'C' : 'Q');
        EXPECT_TRUE(answers.boxes[0].message.startsWith(expected)) << answers.boxes[0].message.toStdString();
        EXPECT_EQ(answers.boxes[0].message.contains("did not report their partitions"), blind);
        EXPECT_EQ(answers.boxes[0].iconPath, ":images/MsgIcon_Stop.png");
        EXPECT_TRUE(answers.boxes[0].okButton);
        EXPECT_FALSE(std::filesystem::exists(machine.host("fs/d/Images/C_backup_0_0.bkp")));
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
    // An image of the same name in other letters: the destination's file
    // system takes it for the same name. Every refusal and the first
    // question come before it is touched; Cancel at either question keeps it.
    const std::string oldImage = machine.host("fs/d/Images/c_backup_0_0.bkp");
    testsupport::WriteFileBytes(oldImage, testsupport::PatternBytes(10, 1));
    const struct {
        const char* what;
        std::vector<int> answers;
        int boxes;
    } cases[] = {
        {"Cancel at the backup question", {0}, 1},
        {"Cancel at the replace question", {1, 0}, 2},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        answers.boxes.clear();
        for (int answer : test.answers)
            answers.push(answer);
        desk::JustBackupDlg dialog("C:\\");
        EXPECT_FALSE(dialog.prepare());
        ASSERT_EQ(answers.boxes.size(), test.boxes);
        EXPECT_EQ(answers.boxes[0].message, "Do you want to backup your C partition?");
        if (test.boxes > 1) {
            EXPECT_TRUE(answers.boxes[1].message.startsWith(
                "An image named D:\\Images\\C_backup_0_0.bkp already exists there. It is kept until"))
                << answers.boxes[1].message.toStdString();
            EXPECT_EQ(answers.boxes[1].iconPath, ":images/MsgIcon_Question.png");
        }
        EXPECT_EQ(testsupport::ReadFileBytes(oldImage), testsupport::PatternBytes(10, 1));
    }
}

// Replaced for real: the rest of the old set (a later volume, named in
// other letters, and an incremental image) goes once the new image is whole.
TEST_F(JustBackupTest, AReplaceThatSucceededRemovesTheRestOfTheOldSet)
{
    const std::string folder = machine.host("fs/d/Images/");
    testsupport::WriteFileBytes(folder + "C_backup_0_0.bkp", testsupport::PatternBytes(10, 1));
    testsupport::WriteFileBytes(folder + "c_backup_1_0.bkp", testsupport::PatternBytes(10, 2));
    testsupport::WriteFileBytes(folder + "C_backup_0_1.bkp", testsupport::PatternBytes(10, 3));
    testsupport::WriteFileBytes(folder + "D_backup_0_1.bkp", testsupport::PatternBytes(10, 4));
    MsgBoxAnswers answers;
    desk::JustBackupDlg dialog("C:\\");
    dialog.show();
    ASSERT_TRUE(dialog.prepare());
    ASSERT_EQ(answers.boxes.size(), 2);
    // Until the job is done the old set is there.
    EXPECT_TRUE(testsupport::FileExists(folder + "c_backup_1_0.bkp"));
    dialog.exec();
    EXPECT_TRUE(answers.boxes.last().message.startsWith("Backup succeeded!\n"));
    EXPECT_GT(testsupport::FileSize(folder + "C_backup_0_0.bkp"), 10u);
    EXPECT_FALSE(testsupport::FileExists(folder + "c_backup_1_0.bkp"));
    EXPECT_FALSE(testsupport::FileExists(folder + "C_backup_0_1.bkp"));
    EXPECT_TRUE(testsupport::FileExists(folder + "D_backup_0_1.bkp"));
}

// Where the destination cannot hold the old set and the new image
// together, the question says so and the old set goes first only on OK.
TEST_F(JustBackupTest, WhereBothDoNotFitTheOldSetGoesFirstOnlyWhenAgreed)
{
    sim::writeText(machine.machine, "drives.txt",
                   "Letter=C\nType=fixed\nDisk=0\nOffset=1048576\nLabel=System\nFileSystem=NTFS\n"
                   "FreeBytes=25165824\n\n"
                   "Letter=D\nType=fixed\nDisk=0\nOffset=34603008\nLabel=Data\nFileSystem=NTFS\n"
                   "FreeBytes=1048576\n");
    const std::string oldImage = machine.host("fs/d/Images/C_backup_0_0.bkp");
    const struct {
        const char* what;
        int answer;
        bool oldImageStays;
    } cases[] = {
        {"Cancel", 0, true},
        {"OK", 1, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        testsupport::MakeSparseFile(oldImage, 1ull << 30);
        MsgBoxAnswers answers;
        answers.push(1);
        answers.push(test.answer);
        desk::JustBackupDlg dialog("C:\\");
        EXPECT_EQ(dialog.prepare(), !test.oldImageStays);
        ASSERT_EQ(answers.boxes.size(), 2);
        EXPECT_TRUE(answers.boxes[1].message.contains("cannot hold it and the new image together"))
            << answers.boxes[1].message.toStdString();
        EXPECT_TRUE(answers.boxes[1].message.contains("there are 1024.00 KB free"))
            << answers.boxes[1].message.toStdString();
        EXPECT_EQ(testsupport::FileExists(oldImage), test.oldImageStays);
    }
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

}  // namespace
