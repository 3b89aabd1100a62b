// The desktop program end to end on a simulated machine of disk files, its
// jobs run by the engine's Windows build over the platform layer:
// the system partition C: (NTFS made by mkntfs, files put in by ntfs-3g's
// tools) is backed up through the backup wizard into D:\Images, restored
// through the restore wizard onto E:, and judged with ntfs-3g; the disk
// start alone is restored from the same image; a password whose digest
// holds a zero byte, typed in Chinese, opens the image and nothing else does.
#include "wizard/base_msg_dlg.h"
#include "wizard/bk_widget3.h"
#include "programs/desktop/desk_backup_dlg.h"
#include "programs/desktop/desk_file_dialogs.h"
#include "programs/desktop/desk_bk_widget1.h"
#include "programs/desktop/desk_bk_widget2.h"
#include "desktop/desk_machine.h"
#include "programs/desktop/desk_restore_dlg.h"
#include "programs/desktop/desk_rt_widget1.h"
#include "programs/desktop/desk_rt_widget2.h"
#include "programs/desktop/desk_settings.h"
#include "desktop/desk_test_app.h"
#include "desktop/desk_wizard_driver.h"
#include "support/ntfs_fixture.h"
#include "wizard/rt_widget3.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include <QComboBox>
#include <QCryptographicHash>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCodec>
#include <QTreeWidgetItem>

using namespace desktest;
using testsupport::TempDir;

namespace {

const std::vector<uint8_t> kBootCode = testsupport::PatternBytes(440, 77);

class DeskEndToEnd : public ::testing::Test {
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
                 {"big.bin", testsupport::PatternBytes(3 * 1024 * 1024 + 17, 2)},
                 {"small.dat", testsupport::PatternBytes(700, 3)}};
        bool needsMount = false;
        ASSERT_TRUE(testsupport::FillNtfsPartition(system, work.path(), files, &log, &needsMount)) << log;
        ASSERT_TRUE(machine.storePartition(1, system));
        machine.writeDiskBytes(0, kBootCode);
        desk::writeSetting(desk::kDstPathKey, "D:\\Images");
        desk::writeSetting(desk::kLangKey, "en");
    }

    // Backs C: up through the wizard; the image's first volume (host path).
    std::string backUpSystem(const QString& password = QString())
    {
        desk::BackupDlg wizard;
        wizard.show();
        EXPECT_TRUE(pressLetter(wizard.page1()->treeView(), *wizard.page1()->model(), 'c'));
        click(wizard.nextButton());
        EXPECT_EQ(wizard.currentStep(), 2);
        EXPECT_EQ(wizard.page2()->imagePath(), "D:\\Images\\c_backup");
        click(wizard.nextButton());
        EXPECT_EQ(wizard.currentStep(), 3);
        wizard.page3()->m_passwordEdit->setText(password);
        wizard.page3()->m_confirmEdit->setText(password);
        MsgBoxAnswers answers;
        click(wizard.nextButton());
        EXPECT_TRUE(waitUntil([&] { return !answers.boxes.isEmpty(); }, 120000));
        EXPECT_TRUE(answers.boxes.value(0).message.startsWith("Backup succeeded!\n"))
            << answers.boxes.value(0).message.toStdString();
        return machine.host("fs/d/Images/c_backup_0_0.bkp");
    }

    bool judgeRestoredE()
    {
        const std::string restored = work.file("restored.part");
        if (!machine.extractPartition(3, restored))
            return false;
        const testsupport::CommandResult check =
            testsupport::Run("ntfsfix -n " + testsupport::Quote(restored));
        EXPECT_EQ(check.exitCode, 0) << check.output;
        for (const testsupport::NtfsFileSpec& file : files) {
            std::vector<uint8_t> bytes;
            EXPECT_TRUE(testsupport::NtfsCat(restored, file.path, &bytes)) << file.path;
            EXPECT_EQ(bytes, file.data) << file.path;
        }
        return !::testing::Test::HasFailure();
    }

    TempDir work;
    DeskMachine machine;
    std::vector<testsupport::NtfsFileSpec> files;
};

TEST_F(DeskEndToEnd, SystemPartitionBackedUpAndRestoredOntoAnotherPartition)
{
    const std::string image = backUpSystem();
    ASSERT_TRUE(testsupport::FileExists(image));

    // The disk start went into the image: overwrite it now.
    machine.writeDiskBytes(0, std::vector<uint8_t>(440, 0));

    desk::RestoreDlg wizard;
    wizard.show();
    // The newest image of the default folder is chosen already.
    EXPECT_EQ(wizard.page1()->imagePath(), "D:\\Images\\c_backup_0_0.bkp");
    EXPECT_TRUE(wizard.page1()->isPartitionChecked());
    ASSERT_NE(wizard.page1()->mbrItem(), nullptr);
    EXPECT_FALSE(wizard.page1()->isMbrChecked());
    EXPECT_EQ(wizard.page1()->fsCode(), 4);
    EXPECT_FALSE(wizard.page3()->m_pwdGroup->isVisibleTo(wizard.page3()));
    click(wizard.nextButton());
    ASSERT_TRUE(pressLetter(wizard.page2()->treeView(), *wizard.page2()->model(), 'e'));
    EXPECT_EQ(wizard.page2()->targetPath(), "e");
    click(wizard.nextButton());
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return answers.boxes.size() >= 2; }, 120000));
    EXPECT_TRUE(answers.boxes[0].message.startsWith("All data on partition E: Target, "))
        << answers.boxes[0].message.toStdString();
    EXPECT_TRUE(answers.boxes[1].message.startsWith("Restore succeeded!\n"))
        << answers.boxes[1].message.toStdString();
    EXPECT_TRUE(judgeRestoredE());
    // Only the partition was asked for: the disk start stays as it was.
    EXPECT_EQ(machine.diskBytes(0, 440), std::vector<uint8_t>(440, 0));
}

TEST_F(DeskEndToEnd, DiskStartAloneRestored)
{
    backUpSystem();
    const std::vector<uint8_t> table = machine.diskBytes(440, 72);
    machine.writeDiskBytes(0, std::vector<uint8_t>(440, 0));

    desk::RestoreDlg wizard;
    wizard.show();
    ASSERT_NE(wizard.page1()->mbrItem(), nullptr);
    wizard.page1()->partItem()->setCheckState(1, Qt::Unchecked);
    wizard.page1()->mbrItem()->setCheckState(1, Qt::Checked);
    click(wizard.nextButton());
    ASSERT_TRUE(pressLetter(wizard.page2()->treeView(), *wizard.page2()->model(), 'e'));
    click(wizard.nextButton());
    const std::vector<uint8_t> before = machine.diskBytes(desktest::partitionOffset(3), 4096);
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return answers.boxes.size() >= 2; }, 120000));
    EXPECT_TRUE(answers.boxes[0].message.startsWith("The MBR of disk Sorvik Virtual Disk, "))
        << answers.boxes[0].message.toStdString();
    EXPECT_TRUE(answers.boxes[1].message.startsWith("Restore succeeded!\n"))
        << answers.boxes[1].message.toStdString();
    EXPECT_EQ(machine.diskBytes(0, 440), kBootCode);
    EXPECT_EQ(machine.diskBytes(440, 72), table);
    EXPECT_EQ(machine.diskBytes(desktest::partitionOffset(3), 4096), before);
}

// A password of Chinese text whose MD5 digest (of its UTF-8 bytes) holds a
// zero byte before its last byte.
QString passwordWithZeroDigestByte()
{
    for (int n = 0;; ++n) {
        const QString candidate = QStringLiteral("密码口令%1").arg(n);
        const QByteArray digest = QCryptographicHash::hash(candidate.toUtf8(), QCryptographicHash::Md5);
        if (digest.left(15).contains('\0'))
            return candidate;
    }
}

TEST_F(DeskEndToEnd, PasswordDigestWithAZeroByteInChinese)
{
    // The program's locale codec is not UTF-8: the digest must not depend on it.
    QTextCodec* before = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("gb18030"));
    const QString password = passwordWithZeroDigestByte();
    backUpSystem(password);

    desk::RestoreDlg wizard;
    wizard.show();
    EXPECT_EQ(wizard.page1()->pwdDigest().size(), 16);
    EXPECT_TRUE(wizard.page3()->m_pwdGroup->isVisibleTo(wizard.page3()));
    click(wizard.nextButton());
    ASSERT_TRUE(pressLetter(wizard.page2()->treeView(), *wizard.page2()->model(), 'e'));
    click(wizard.nextButton());
    {
        // The digest's bytes before its zero byte alone do not open it.
        MsgBoxAnswers answers;
        wizard.page3()->m_pwdEdit->setText(password.left(password.size() - 1));
        click(wizard.nextButton());
        ASSERT_EQ(answers.boxes.size(), 1);
        EXPECT_EQ(answers.boxes[0].message,
                  "The password you entered is wrong.\nType the password the image was made with.");
    }
    MsgBoxAnswers answers;
    wizard.page3()->m_pwdEdit->setText(password);
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return answers.boxes.size() >= 2; }, 120000));
    EXPECT_TRUE(answers.boxes[1].message.startsWith("Restore succeeded!\n"))
        << answers.boxes[1].message.toStdString();
    EXPECT_TRUE(judgeRestoredE());
    QTextCodec::setCodecForLocale(before);
}

TEST_F(DeskEndToEnd, IncrementalBackupOnTopOfTheFullOneRestoresTheNewestState)
{
    backUpSystem();
    // A file added to C: after the full backup.
    const std::string system = work.file("system2.part");
    ASSERT_TRUE(machine.extractPartition(1, system));
    const std::vector<uint8_t> added = testsupport::PatternBytes(5000, 9);
    std::string log;
    ASSERT_TRUE(testsupport::NtfsCopyIn(system, work.path(), "added.txt", added, &log)) << log;
    ASSERT_TRUE(machine.storePartition(1, system));
    files.push_back({"added.txt", added});

    desk::FileChooser before = desk::setFileChooser(
        [](QWidget*, const desk::FileRequest&) { return QString("D:\\Images\\c_backup_0_0.bkp"); });
    {
        desk::BackupDlg wizard;
        wizard.show();
        ASSERT_TRUE(pressLetter(wizard.page1()->treeView(), *wizard.page1()->model(), 'c'));
        click(wizard.nextButton());
        wizard.page2()->m_typeCombo->setCurrentIndex(1);
        click(wizard.page2()->m_browseBtn);
        EXPECT_EQ(wizard.page2()->imagePath(), "D:\\Images\\c_backup");
        click(wizard.nextButton());
        MsgBoxAnswers answers;
        click(wizard.nextButton());
        ASSERT_TRUE(waitUntil([&] { return !answers.boxes.isEmpty(); }, 120000));
        EXPECT_TRUE(answers.boxes[0].message.startsWith("Backup succeeded!\n"))
            << answers.boxes[0].message.toStdString();
    }
    desk::setFileChooser(before);
    const std::string increment = machine.host("fs/d/Images/c_backup_0_1.bkp");
    ASSERT_TRUE(testsupport::FileExists(increment));
    // The increment is the newest image: the restore wizard takes it.
    std::filesystem::last_write_time(increment,
                                     std::filesystem::last_write_time(increment) + std::chrono::seconds(2));

    desk::RestoreDlg wizard;
    wizard.show();
    EXPECT_EQ(wizard.page1()->imagePath(), "D:\\Images\\c_backup_0_1.bkp");
    click(wizard.nextButton());
    ASSERT_TRUE(pressLetter(wizard.page2()->treeView(), *wizard.page2()->model(), 'e'));
    click(wizard.nextButton());
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return answers.boxes.size() >= 2; }, 120000));
    EXPECT_TRUE(answers.boxes[1].message.startsWith("Restore succeeded!\n"))
        << answers.boxes[1].message.toStdString();
    EXPECT_TRUE(judgeRestoredE());
}

}  // namespace
