// The desktop wizards on a scripted engine: what the backup wizard asks of
// the engine (the disk start read from the volume's physical disk), its
// checks (a destination gone since it was chosen, passwords, the same
// drive), the restore wizard's next-volume questions, closing while a job
// runs, and images whose head block claims more than the file holds.
#include "jobs/backup_rules.h"
#include "wizard/base_msg_dlg.h"
#include "wizard/bk_widget3.h"
#include "programs/desktop/desk_backup_dlg.h"
#include "programs/desktop/desk_bk_widget1.h"
#include "programs/desktop/desk_bk_widget2.h"
#include "programs/desktop/desk_file_dialogs.h"
#include "desktop/desk_machine.h"
#include "programs/desktop/desk_paths.h"
#include "programs/desktop/desk_restore_dlg.h"
#include "programs/desktop/desk_rt_widget1.h"
#include "programs/desktop/desk_rt_widget2.h"
#include "programs/desktop/desk_settings.h"
#include "desktop/desk_test_app.h"
#include "desktop/desk_wizard_driver.h"
#include "support/image_builder.h"
#include "jobs/image_head_layout.h"
#include "jobs/image_head_reader.h"
#include "wizard/rt_widget3.h"
#include "jobs/size_text.h"

#include <QTest>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QLineEdit>
#include <QtEndian>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace desktest;

namespace {

// A first volume that ends as a one-volume image does (no data section),
// protected by `password` when it is not empty.
void writeOneVolumeImage(const std::string& path, const QString& password = QString())
{
    testsupport::ByteSink sink;
    testsupport::VolumeEnd end;
    if (!password.isEmpty()) {
        const QByteArray digest = BackupRules::passwordDigest(password);
        end.passwordHash.assign(digest.begin(), digest.end());
    }
    end.AppendTo(sink);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(sink.bytes.data()), std::streamsize(sink.bytes.size()));
}

}  // namespace

namespace {

class DeskWizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApp();
        ASSERT_TRUE(machine.ok);
        desk::writeSetting(desk::kDstPathKey, "D:\\Images");
        desk::writeSetting(desk::kLangKey, "en");
    }

    // Brings a backup wizard of C: to step 3.
    void toStep3(desk::BackupDlg& wizard, char source = 'c')
    {
        wizard.show();
        ASSERT_TRUE(pressLetter(wizard.page1()->treeView(), *wizard.page1()->model(), source));
        click(wizard.nextButton());
        click(wizard.nextButton());
        ASSERT_EQ(wizard.currentStep(), 3);
    }

    // Brings a backup wizard of C: to step 2 as an incremental backup on the
    // image the file chooser answers Browse with.
    void toIncrementalStep2(desk::BackupDlg& wizard)
    {
        wizard.show();
        ASSERT_TRUE(pressLetter(wizard.page1()->treeView(), *wizard.page1()->model(), 'c'));
        click(wizard.nextButton());
        wizard.page2()->m_typeCombo->setCurrentIndex(1);
        click(wizard.page2()->m_browseBtn);
    }

    DeskMachine machine;
    ScriptedEngineScope engine;
    ScriptedEngine& scripted = ScriptedEngine::state();
};

TEST_F(DeskWizard, BackupOfAnActivePartitionReadsTheDiskStartFromItsPhysicalDisk)
{
    desk::BackupDlg wizard;
    toStep3(wizard);
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return !answers.boxes.isEmpty(); }));
    EXPECT_TRUE(answers.boxes[0].message.startsWith("Backup succeeded!\n"))
        << answers.boxes[0].message.toStdString();
    ASSERT_EQ(scripted.backups.size(), 1u);
    const tagBackupArgument& arg = scripted.backups[0];
    EXPECT_EQ(arg.srcPartition, "C:\\");
    EXPECT_EQ(arg.imagePath, "D:\\Images\\c_backup");
    EXPECT_EQ(arg.mbrSource, "\\\\.\\PhysicalDrive0");
    EXPECT_TRUE(arg.saveMbr);
    EXPECT_EQ(arg.mbrSize, 512);
    EXPECT_EQ(arg.fsType, 4);
    EXPECT_FALSE(arg.incremental);
    EXPECT_EQ(arg.volumeSize, ~0ull);  // an NTFS destination does not split
    // The head block describes C: on disk 0.
    const QByteArray& head = scripted.heads[0];
    ASSERT_GE(head.size(), ImageHead::kFixedSize);
    tagBackupImageHeadInfo fixed;
    std::memcpy(&fixed, head.constData(), sizeof fixed);
    EXPECT_EQ(qFromLittleEndian(fixed.blockSize), static_cast<uint32_t>(head.size()));
    EXPECT_TRUE(ImageHead::hasSignature(fixed.signature));
    EXPECT_EQ(fixed.driveLetter, 'c');
    EXPECT_EQ(fixed.active, 1);
    EXPECT_EQ(fixed.fsCode, 4);
    EXPECT_EQ(fixed.partitionCount, 3);
    // Its number on its disk (the first partition), not the index of its
    // drive letter (3 for C:); the entries number the disk's partitions alike.
    EXPECT_EQ(fixed.partitionNumber, 1);
    EXPECT_EQ(qFromLittleEndian(fixed.partStartSector), 2048u);
    EXPECT_EQ(head.right(6), QByteArray("System"));
    ImageHeadView view;
    ASSERT_EQ(parseHeadBlock(head, &view), HeadReadResult::Ok);
    ASSERT_EQ(view.entries.size(), 3);
    EXPECT_EQ(view.entries[0].number, 1);
    EXPECT_EQ(view.entries[1].number, 2);
    EXPECT_EQ(view.entries[2].number, 3);
}

TEST_F(DeskWizard, Step2SaysWhereTheImageGoes)
{
    desk::BackupDlg wizard;
    wizard.show();
    ASSERT_TRUE(pressLetter(wizard.page1()->treeView(), *wizard.page1()->model(), 'c'));
    click(wizard.nextButton());
    QLabel* place = wizard.page2()->findChild<QLabel*>(QStringLiteral("placeLabel"));
    ASSERT_NE(place, nullptr);
    EXPECT_EQ(place->text(), "On Data (D:), in the folder \\Images");
}

TEST_F(DeskWizard, CancelledBackupSaysSoAndRemovesItsUnfinishedVolumes)
{
    const std::string images = machine.machine + "/fs/d/Images/";
    std::ofstream(images + "other_0_0.bkp") << "another image set";
    scripted.hold = true;
    desk::BackupDlg wizard;
    toStep3(wizard);
    MsgBoxAnswers answers;
    click(wizard.nextButton());  // Start
    ASSERT_TRUE(waitUntil([&] { return scripted.running.load(); }));
    // The engine has begun the image's first volume.
    std::ofstream(images + "c_backup_0_0.bkp") << "half a volume";
    click(wizard.previousButton());  // Cancel
    ASSERT_TRUE(waitUntil([&] { return !answers.boxes.isEmpty(); }));
    EXPECT_EQ(answers.boxes.last().title, "Cancelled");
    EXPECT_EQ(answers.boxes.last().message,
              "The backup was cancelled and its unfinished volumes were removed.");
    EXPECT_FALSE(std::filesystem::exists(images + "c_backup_0_0.bkp"));
    EXPECT_TRUE(std::filesystem::exists(images + "other_0_0.bkp"));
}

TEST_F(DeskWizard, DestinationGoneSinceItWasChosenIsRefusedAtStart)
{
    desk::BackupDlg wizard;
    toStep3(wizard);
    std::filesystem::remove_all(machine.host("fs/d/Images"));
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message,
              "The destination folder of the backup image does not exist any more!");
    EXPECT_TRUE(scripted.backups.empty());
    EXPECT_EQ(wizard.currentStep(), 3);

    // The folder is back but the drive is gone.
    std::filesystem::create_directories(machine.host("fs/d/Images"));
    sim::writeText(
        machine.machine, "drives.txt",
        "Letter=C\nType=fixed\nDisk=0\nOffset=1048576\nLabel=System\nFileSystem=NTFS\nFreeBytes=25165824\n");
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 2);
    EXPECT_EQ(answers.boxes[1].message,
              "The destination folder of the backup image does not exist any more!");
    EXPECT_TRUE(scripted.backups.empty());
}

TEST_F(DeskWizard, NextOverATreeWithoutPartitionsSaysWhyItIsEmpty)
{
    machine.withoutDiskLayouts();
    desk::BackupDlg wizard;
    wizard.show();
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message, wizard.page1()->model()->emptyReason());
    EXPECT_TRUE(answers.boxes[0].message.startsWith("No partition can be shown:"));
    EXPECT_EQ(wizard.currentStep(), 1);
}

TEST_F(DeskWizard, BackupChecks)
{
    struct Case {
        const char* password;
        const char* confirm;
        const char* message;  // null: the backup starts
    };
    const Case cases[] = {
        {"12345", "12345", "The password is too short.\nLeave it empty or type at least 6 characters."},
        {"123456", "123457",
         "The two passwords you entered are different.\nType the same password in both fields."},
        {"123456", "123456", nullptr},
        {"", "", nullptr},
    };
    for (const Case& c : cases) {
        scripted.reset();
        desk::BackupDlg wizard;
        toStep3(wizard);
        wizard.page3()->m_passwordEdit->setText(QString::fromUtf8(c.password));
        wizard.page3()->m_confirmEdit->setText(QString::fromUtf8(c.confirm));
        MsgBoxAnswers answers;
        click(wizard.nextButton());
        if (c.message) {
            ASSERT_EQ(answers.boxes.size(), 1) << c.password;
            EXPECT_EQ(answers.boxes[0].message, c.message);
            EXPECT_TRUE(scripted.backups.empty());
        } else {
            ASSERT_TRUE(waitUntil([&] { return !answers.boxes.isEmpty(); }));
            ASSERT_EQ(scripted.backups.size(), 1u) << c.password;
            EXPECT_EQ(scripted.backups[0].password, c.password);
        }
    }
}

TEST_F(DeskWizard, ImageOnTheSourceDriveIsRefusedAtStep3)
{
    desk::writeSetting(desk::kDstPathKey, "c:\\Images");
    std::filesystem::create_directories(machine.host("fs/c/Images"));
    desk::BackupDlg wizard;
    wizard.show();
    ASSERT_TRUE(pressLetter(wizard.page1()->treeView(), *wizard.page1()->model(), 'c'));
    click(wizard.nextButton());
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message,
              "The partition you want to back up must be different from the place of the backup image!");
    EXPECT_EQ(wizard.currentStep(), 2);
}

TEST_F(DeskWizard, IncrementalBackupBuildsOnTheChosenImage)
{
    const std::string previous = machine.host("fs/d/Images/sys_0_2.bkp");
    writeOneVolumeImage(previous);
    desk::FileChooser before = desk::setFileChooser([](QWidget*, const desk::FileRequest& request) {
        EXPECT_EQ(request.kind, desk::FileRequest::ExistingFile);
        return QString("D:\\Images\\sys_0_2.bkp");
    });
    desk::BackupDlg wizard;
    ASSERT_NO_FATAL_FAILURE(toIncrementalStep2(wizard));
    EXPECT_EQ(wizard.page2()->imagePath(), "D:\\Images\\sys");
    EXPECT_EQ(wizard.page2()->prevImage(), "D:\\Images\\sys_0_2.bkp");
    click(wizard.nextButton());
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return !answers.boxes.isEmpty(); }));
    ASSERT_EQ(scripted.backups.size(), 1u);
    EXPECT_TRUE(scripted.backups[0].incremental);
    EXPECT_EQ(scripted.backups[0].prevImage, "D:\\Images\\sys_0_2.bkp");
    desk::setFileChooser(before);
}

// An incremental backup on a protected image asks for that image's
// password first; without one of its own it hands the engine the checked
// password, whose digest the base holds.
TEST_F(DeskWizard, IncrementalOnAProtectedImageAsksForItsPassword)
{
    writeOneVolumeImage(machine.host("fs/d/Images/sys_0_0.bkp"), QStringLiteral("secret1"));
    desk::FileChooser before = desk::setFileChooser(
        [](QWidget*, const desk::FileRequest&) { return QString("D:\\Images\\sys_0_0.bkp"); });
    desk::BackupDlg wizard;
    ASSERT_NO_FATAL_FAILURE(toIncrementalStep2(wizard));
    click(wizard.nextButton());
    ASSERT_EQ(wizard.currentStep(), 3);
    BkWidget3& page3 = *wizard.page3();
    EXPECT_TRUE(page3.previousImageProtected());
    const struct {
        const char* typed;
        const char* message;
    } refused[] = {
        {"", "The image this backup builds on is protected by a password.\nType the password of that image."},
        {"wrong12", "The password of the image this backup builds on is wrong.\nType the password that image "
                    "was made with."},
    };
    for (const auto& test : refused) {
        SCOPED_TRACE(test.typed);
        MsgBoxAnswers answers;
        page3.m_previousPasswordEdit->setText(test.typed);
        click(wizard.nextButton());
        ASSERT_EQ(answers.boxes.size(), 1);
        EXPECT_EQ(answers.boxes[0].message, test.message);
        EXPECT_TRUE(scripted.backups.empty());
    }
    MsgBoxAnswers answers;
    page3.m_previousPasswordEdit->setText("secret1");
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return !answers.boxes.isEmpty(); }));
    ASSERT_EQ(scripted.backups.size(), 1u);
    EXPECT_TRUE(scripted.backups[0].incremental);
    EXPECT_EQ(scripted.backups[0].password, "secret1");
    desk::setFileChooser(before);
}

// A full backup over an image set of the same name asks first; Cancel
// keeps the set. OK starts with the set kept: a failed job leaves it as it
// was, one that succeeded removes what the new image left of it.
TEST_F(DeskWizard, FullBackupOverAnExistingImageSetAsksFirst)
{
    desk::BackupDlg wizard;
    toStep3(wizard);
    const std::string base = desk::localPath(wizard.page2()->imagePath()).toStdString();
    std::ofstream(base + "_0_0.bkp") << "old";
    std::ofstream(base + "_1_0.bkp") << "old";
    std::ofstream(base + "_0_1.bkp") << "old";
    const auto oldSetThere = [&] {
        for (const char* name : {"_0_0.bkp", "_1_0.bkp", "_0_1.bkp"}) {
            std::ifstream file(base + name);
            std::string text;
            file >> text;
            if (text != "old")
                return false;
        }
        return true;
    };
    {
        MsgBoxAnswers answers;
        answers.push(0);
        click(wizard.nextButton());
        ASSERT_EQ(answers.boxes.size(), 1);
        EXPECT_EQ(answers.boxes[0].title, "Warning");
        EXPECT_TRUE(answers.boxes[0].message.contains("already exists"))
            << answers.boxes[0].message.toStdString();
        EXPECT_TRUE(scripted.backups.empty());
        EXPECT_TRUE(oldSetThere());
        EXPECT_EQ(wizard.currentStep(), 3);
    }
    {
        MsgBoxAnswers answers;
        scripted.result = ERR_OPEN_PART;
        click(wizard.nextButton());
        ASSERT_TRUE(waitUntil([&] { return answers.boxes.size() >= 2; }));
        ASSERT_EQ(scripted.backups.size(), 1u);
        // The old set's fate comes first, the engine's reason after it.
        EXPECT_EQ(answers.boxes.last().message.section('\n', 1, 1),
                  QString("The image %1 that was there before is kept unchanged.")
                      .arg(desk::fileNamePart(wizard.page2()->imagePath())));
        EXPECT_EQ(answers.boxes.last().message.section('\n', 2, 2), "The partition cannot be opened.");
        EXPECT_TRUE(oldSetThere());
    }
    toStep3(wizard);
    MsgBoxAnswers answers;
    scripted.result = 0;
    scripted.hold = true;
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return scripted.running.load(); }));
    EXPECT_TRUE(oldSetThere());  // kept while the new image is written
    writeOneVolumeImage(base + "_0_0.bkp");
    scripted.hold = false;
    ASSERT_TRUE(waitUntil([&] { return answers.boxes.size() >= 2; }));
    EXPECT_TRUE(answers.boxes.last().message.startsWith("Backup succeeded!\n"));
    EXPECT_TRUE(std::filesystem::exists(base + "_0_0.bkp"));
    EXPECT_FALSE(std::filesystem::exists(base + "_1_0.bkp"));
    EXPECT_FALSE(std::filesystem::exists(base + "_0_1.bkp"));
}

// An incremental image builds on the first volume of the newest image of
// its chain (one built on an older image would replace the newer image's
// files). Any other base is refused as Next leaves step 2, before step 3
// shows, with the file to choose instead.
TEST_F(DeskWizard, BasesAnIncrementalCannotBuildOnAreRefusedAtStep2)
{
    const struct {
        const char* what;
        std::vector<std::string> images;  // in D:\Images
        const char* chosen;
        const char* message;
    } refused[] = {
        {"an older image of its chain",
         {"sys_0_0.bkp", "sys_0_1.bkp"},
         "D:\\Images\\sys_0_0.bkp",
         "The image you selected is not the newest of its chain.\nChoose sys_0_1.bkp: an incremental backup "
         "builds on the newest image."},
        {"a later volume of its image",
         {"big_0_0.bkp", "big_1_0.bkp"},
         "D:\\Images\\big_1_0.bkp",
         "The file you chose is a later volume of its image.\nChoose big_0_0.bkp, the first volume of that "
         "image."},
    };
    for (const auto& test : refused) {
        SCOPED_TRACE(test.what);
        for (const std::string& image : test.images)
            std::ofstream(machine.host("fs/d/Images/" + image)) << "x";
        const QString chosen = QString::fromUtf8(test.chosen);
        desk::FileChooser before =
            desk::setFileChooser([chosen](QWidget*, const desk::FileRequest&) { return chosen; });
        desk::BackupDlg wizard;
        ASSERT_NO_FATAL_FAILURE(toIncrementalStep2(wizard));
        MsgBoxAnswers answers;
        click(wizard.nextButton());
        desk::setFileChooser(before);
        ASSERT_EQ(answers.boxes.size(), 1);
        EXPECT_EQ(answers.boxes[0].message, test.message);
        EXPECT_EQ(wizard.currentStep(), 2);
        EXPECT_TRUE(scripted.backups.empty());
        // The next case's folder holds only its own images.
        for (const std::string& image : test.images)
            std::filesystem::remove(machine.host("fs/d/Images/" + image));
    }
}

TEST_F(DeskWizard, ATypedImagePathIsTakenLikeABrowsedOne)
{
    std::filesystem::create_directories(machine.host("fs/e/Typed"));
    desk::BackupDlg wizard;
    wizard.show();
    ASSERT_TRUE(pressLetter(wizard.page1()->treeView(), *wizard.page1()->model(), 'c'));
    click(wizard.nextButton());
    QLineEdit* edit = wizard.page2()->m_fileNameEdit;
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("E:\\Typed\\desk1"));
    EXPECT_EQ(wizard.page2()->imagePath(), "E:\\Typed\\desk1");
    EXPECT_EQ(wizard.page2()->destLetter(), 'E');
    QLabel* place = wizard.page2()->findChild<QLabel*>(QStringLiteral("placeLabel"));
    ASSERT_NE(place, nullptr);
    EXPECT_EQ(place->text(), "On Target (E:), in the folder \\Typed");
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_EQ(wizard.currentStep(), 3) << answers.boxes.value(0).message.toStdString();
    click(wizard.nextButton());  // Start
    ASSERT_TRUE(waitUntil([&] { return !answers.boxes.isEmpty(); }));
    EXPECT_TRUE(answers.boxes.last().message.startsWith("Backup succeeded!\n"))
        << answers.boxes.last().message.toStdString();
    ASSERT_EQ(scripted.backups.size(), 1u);
    EXPECT_EQ(scripted.backups[0].imagePath, "E:\\Typed\\desk1");

    // A name alone still goes into the folder chosen before.
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("other"));
    EXPECT_EQ(wizard.page2()->imagePath(), "E:\\Typed\\other");
}

TEST_F(DeskWizard, Fat32SourceOffersFullBackupOnlyAndAFat32DestinationSplits)
{
    sim::writeText(
        machine.machine, "drives.txt",
        "Letter=C\nType=fixed\nDisk=0\nOffset=1048576\nLabel=System\nFileSystem=NTFS\nFreeBytes=25165824\n\n"
        "Letter=D\nType=fixed\nDisk=0\nOffset=34603008\nLabel=Data\nFileSystem=FAT32\nFreeBytes=30408704\n\n"
        "Letter=E\nType=fixed\nDisk=0\nOffset=68157440\nLabel=Target\nFileSystem=FAT32\nFreeBytes="
        "30408704\n");
    *CVetra::instance() = CVetra(machine.platform);
    std::filesystem::create_directories(machine.host("fs/e/Images"));
    desk::writeSetting(desk::kDstPathKey, "E:\\Images");
    desk::BackupDlg wizard;
    wizard.show();
    ASSERT_TRUE(pressLetter(wizard.page1()->treeView(), *wizard.page1()->model(), 'd'));
    click(wizard.nextButton());
    EXPECT_EQ(wizard.page2()->m_typeCombo->count(), 1);
    EXPECT_EQ(wizard.page2()->destFsName(), "FAT32");
    click(wizard.nextButton());
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return !answers.boxes.isEmpty(); }));
    ASSERT_EQ(scripted.backups.size(), 1u);
    EXPECT_EQ(scripted.backups[0].fsType, 3);
    EXPECT_EQ(scripted.backups[0].srcPartition, "D:\\");
    // An inactive source stores no disk start.
    EXPECT_FALSE(scripted.backups[0].saveMbr);
    EXPECT_EQ(scripted.backups[0].mbrSize, 0);
    // "Auto" on FAT32: volumes a FAT32 file can hold (below 4 GiB).
    EXPECT_EQ(scripted.backups[0].volumeSize, BackupRules::kLargestFat32Volume);
    EXPECT_STREQ(desk::Worker::debugLine(QuarnThread::Backup, 3), "start backup fat32 thread");
}

// Writes an image file whose head block is `head` (nothing else follows).
void writeImage(const std::string& path, const QByteArray& head)
{
    std::ofstream(path, std::ios::binary).write(head.constData(), head.size());
}

QByteArray headClaiming(uint32_t blockSize)
{
    QByteArray head(ImageHead::kFixedSize, '\0');
    qToLittleEndian<uint32_t>(blockSize, head.data());
    std::memcpy(head.data() + 4, "Sorvik ", 7);
    return head;
}

TEST_F(DeskWizard, HeadBlockLargerThanTheFileIsRefused)
{
    MsgBoxAnswers answers;
    desk::RtWidget1 page;
    writeImage(machine.host("fs/d/Images/huge.bkp"), headClaiming(0x7fffffff));
    page.loadImage("D:\\Images\\huge.bkp");
    EXPECT_TRUE(page.imagePath().isEmpty());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message, "The head of the backup image file is damaged!");

    // A zero length is refused without a word; so is a name not ending in ".bkp".
    writeImage(machine.host("fs/d/Images/zero.bkp"), headClaiming(0));
    page.loadImage("D:\\Images\\zero.bkp");
    EXPECT_TRUE(page.imagePath().isEmpty());
    EXPECT_EQ(answers.boxes.size(), 1);
    page.loadImage("D:\\Images\\IMAGE.BKP");
    ASSERT_EQ(answers.boxes.size(), 2);
    EXPECT_EQ(answers.boxes[1].message, "The file name of a backup image ends with \".bkp\"!");
}

// A restore wizard at step 3 with an image of C: chosen and E: pressed.
class DeskRestoreWizard : public DeskWizard {
protected:
    void SetUp() override
    {
        DeskWizard::SetUp();
        // A real image is not needed: the scripted engine restores nothing.
        desk::BackupDlg backup;
        toStep3(backup);
        MsgBoxAnswers answers;
        click(backup.nextButton());
        ASSERT_TRUE(waitUntil([&] { return !answers.boxes.isEmpty(); }));
        writeImageWithTrailer();
    }

    // The scripted backup wrote no file: build a first volume of the head
    // block the wizard made and a closing record set without password.
    void writeImageWithTrailer(const std::string& name = "c_backup_0_0.bkp", bool active = true)
    {
        QByteArray file = scripted.heads[0];
        file[static_cast<int>(offsetof(tagBackupImageHeadInfo, active))] = active ? 1 : 0;
        const quint64 blockStart = static_cast<quint64>(file.size());
        QByteArray blks(15, '\0');
        std::memcpy(blks.data(), "BLKS", 4);
        QByteArray pifo(69, '\0');
        std::memcpy(pifo.data(), "PIFO", 4);
        QByteArray blke(27, '\0');
        std::memcpy(blke.data(), "BLKE", 4);
        file += blks + pifo;
        // The trailer's data position: low word, then high word.
        fillTrailer(&blke, blockStart);
        file += blke;
        std::ofstream(machine.host("fs/d/Images/" + name), std::ios::binary)
            .write(file.constData(), file.size());
    }
    static void fillTrailer(QByteArray* blke, quint64 blockStart);

    void toRestoreStep3(desk::RestoreDlg& wizard)
    {
        wizard.show();
        ASSERT_EQ(wizard.page1()->imagePath(), "D:\\Images\\c_backup_0_0.bkp");
        click(wizard.nextButton());
        ASSERT_TRUE(pressLetter(wizard.page2()->treeView(), *wizard.page2()->model(), 'e'));
        click(wizard.nextButton());
        ASSERT_EQ(wizard.currentStep(), 3);
    }
};

}  // namespace

#include "quarn/api/image_format.h"

namespace {

void DeskRestoreWizard::fillTrailer(QByteArray* blke, quint64 blockStart)
{
    tagBLOCK_END end;
    std::memset(&end, 0, sizeof end);
    std::memcpy(&end, blke->constData(), qMin<int>(sizeof end, blke->size()));
    end.blkStartLow = static_cast<uint32_t>(blockStart);
    end.blkStartHigh = static_cast<uint32_t>(blockStart >> 32);
    blke->replace(0, static_cast<int>(sizeof end), reinterpret_cast<const char*>(&end),
                  static_cast<int>(sizeof end));
}

TEST_F(DeskRestoreWizard, NextVolumeNamedAgainWhileMissingIsAskedForAgainAndCancelEndsTheJob)
{
    scripted.missingVolume = "D:\\Images\\c_backup_1_0.bkp";
    scripted.nextFileRequests = 5;
    std::vector<QString> asked;
    int answer = 0;
    desk::FileChooser before = desk::setFileChooser([&](QWidget*, const desk::FileRequest& request) {
        asked.push_back(request.caption);
        // Twice the same missing file, then Cancel.
        return ++answer <= 2 ? QString("D:\\Images\\c_backup_1_0.bkp") : QString();
    });
    desk::RestoreDlg wizard;
    toRestoreStep3(wizard);
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return answers.boxes.size() >= 4; }));
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(
        answers.boxes[1].message,
        "The file D:\\Images\\c_backup_1_0.bkp does not exist. Please choose the next volume of the image!");
    EXPECT_EQ(answers.boxes[2].message, answers.boxes[1].message);
    // Giving up on the volume cancels the job: the box says so.
    EXPECT_EQ(answers.boxes[3].title, "Cancelled");
    EXPECT_TRUE(answers.boxes[3].message.startsWith("The restore was cancelled"));
    // One request, answered with "give up".
    ASSERT_EQ(scripted.nextFileResults.size(), 1u);
    EXPECT_NE(scripted.nextFileResults[0], 0);
    desk::setFileChooser(before);
}

TEST_F(DeskRestoreWizard, NextVolumeFoundElsewhereIsHandedToTheEngine)
{
    std::filesystem::create_directories(machine.host("fs/d/Moved"));
    std::ofstream(machine.host("fs/d/Moved/c_backup_1_0.bkp")) << "x";
    scripted.missingVolume = "D:\\Images\\c_backup_1_0.bkp";
    scripted.nextFileRequests = 1;
    desk::FileChooser before = desk::setFileChooser(
        [&](QWidget*, const desk::FileRequest&) { return QString("D:\\Moved\\c_backup_1_0.bkp"); });
    desk::RestoreDlg wizard;
    toRestoreStep3(wizard);
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_TRUE(waitUntil([&] { return answers.boxes.size() >= 2; }));
    EXPECT_TRUE(answers.boxes[1].message.startsWith("Restore succeeded!\n"))
        << answers.boxes[1].message.toStdString();
    ASSERT_EQ(scripted.nextFileAnswers.size(), 1u);
    EXPECT_EQ(scripted.nextFileAnswers[0], "D:\\Moved\\c_backup_1_0.bkp");
    EXPECT_EQ(scripted.nextFileResults[0], 0);
    desk::setFileChooser(before);
}

TEST_F(DeskRestoreWizard, ClosingDuringAJobAsksCancelsAndWaits)
{
    scripted.hold = true;
    desk::RestoreDlg wizard;
    toRestoreStep3(wizard);
    QSignalSpy returned(&wizard, &desk::RestoreDlg::returnMainDlg);
    {
        MsgBoxAnswers answers;
        click(wizard.nextButton());
        ASSERT_TRUE(waitUntil([&] { return scripted.running.load(); }));
        EXPECT_FALSE(wizard.returnButton()->isEnabled());
        // Declined: the job goes on and the window stays.
        answers.push(0);
        EXPECT_FALSE(wizard.close());
        ASSERT_EQ(answers.boxes.size(), 2);
        EXPECT_EQ(answers.boxes[1].message,
                  "A job is running. Do you want to cancel it and close the program?");
        EXPECT_TRUE(scripted.running.load());
        EXPECT_TRUE(wizard.worker()->isRunning());
        // Accepted: the job is cancelled and ended before the window closes.
        answers.push(1);
        EXPECT_TRUE(wizard.close());
        EXPECT_FALSE(scripted.running.load());
        EXPECT_TRUE(wizard.worker()->isFinished());
        EXPECT_EQ(wizard.worker()->result(), ERR_CANCELLED);
        QCoreApplication::processEvents();
        // No "Restore failed!" box over a program that is closing, and no
        // way back to the main window: the program ends.
        EXPECT_EQ(answers.boxes.size(), 3);
        EXPECT_EQ(returned.count(), 0);
        EXPECT_FALSE(wizard.isVisible());
    }
}

TEST_F(DeskRestoreWizard, NextOverATreeWithoutPartitionsSaysWhyItIsEmpty)
{
    machine.withoutDiskLayouts();
    desk::RestoreDlg wizard;
    wizard.show();
    ASSERT_EQ(wizard.page1()->imagePath(), "D:\\Images\\c_backup_0_0.bkp");
    click(wizard.nextButton());
    ASSERT_EQ(wizard.currentStep(), 2);
    // The target is checked as Next leaves the step that chooses it.
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message, wizard.page2()->model()->emptyReason());
    EXPECT_TRUE(answers.boxes[0].message.startsWith("No partition can be shown:"));
    EXPECT_EQ(wizard.currentStep(), 2);
}

TEST_F(DeskRestoreWizard, StepOneShowsTheImagesFactsAndATooSmallTargetIsRefusedAtStep2)
{
    // The image says it holds 3 GiB of the source, more than E: has.
    const std::string image = machine.host("fs/d/Images/c_backup_0_0.bkp");
    std::string bytes;
    {
        std::ifstream in(image, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const size_t info = bytes.find("PIFO");
    ASSERT_NE(info, std::string::npos);
    const quint64 used = 3ULL << 30;
    std::memcpy(&bytes[info + offsetof(tagPARTITION_INFO, usedBytes)], &used, sizeof used);
    std::ofstream(image, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));

    desk::RestoreDlg wizard;
    wizard.show();
    ASSERT_EQ(wizard.page1()->imagePath(), "D:\\Images\\c_backup_0_0.bkp");
    const QString facts = wizard.page1()->factsLabel()->text();
    for (const QString& part : {QStringLiteral("Full image"), QStringLiteral("Password: none"),
                                QStringLiteral("Size: ") + formatSize(qint64(used))})
        EXPECT_TRUE(facts.contains(part)) << facts.toStdString() << " lacks " << part.toStdString();

    click(wizard.nextButton());
    ASSERT_TRUE(pressLetter(wizard.page2()->treeView(), *wizard.page2()->model(), 'e'));
    ASSERT_GT(wizard.page2()->targetBytes(), 0u);
    ASSERT_LT(wizard.page2()->targetBytes(), used);
    MsgBoxAnswers answers;
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 1);
    const QString text = answers.boxes[0].message;
    EXPECT_TRUE(text.startsWith("The partition is too small for the image")) << text.toStdString();
    EXPECT_TRUE(text.contains(formatSize(qint64(used)))) << text.toStdString();
    EXPECT_TRUE(text.contains(formatSize(qint64(wizard.page2()->targetBytes())))) << text.toStdString();
    EXPECT_EQ(wizard.currentStep(), 2);
    EXPECT_TRUE(scripted.restores.empty());
}

TEST_F(DeskRestoreWizard, RestoreRefusals)
{
    desk::RestoreDlg wizard;
    toRestoreStep3(wizard);
    MsgBoxAnswers answers;
    // The system partition: refused when it is chosen, at step 2.
    click(wizard.previousButton());
    ASSERT_TRUE(pressLetter(wizard.page2()->treeView(), *wizard.page2()->model(), 'c'));
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message, "The partition is the running system's own partition.\nStart the "
                                        "computer from the rescue disc to restore it.");
    EXPECT_EQ(wizard.currentStep(), 2);
    // The drive of the image.
    ASSERT_TRUE(pressLetter(wizard.page2()->treeView(), *wizard.page2()->model(), 'd'));
    click(wizard.nextButton());
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 2);
    EXPECT_EQ(
        answers.boxes[1].message,
        "The image is on this partition: restoring would overwrite it.\nChoose another partition, or copy "
        "the image elsewhere first.");
    // A password typed for an image without one.
    click(wizard.previousButton());
    ASSERT_TRUE(pressLetter(wizard.page2()->treeView(), *wizard.page2()->model(), 'e'));
    click(wizard.nextButton());
    wizard.page3()->m_pwdEdit->setText("secret1");
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 3);
    EXPECT_EQ(answers.boxes[2].message,
              "The password you entered is wrong.\nType the password the image was made with.");
    // Cancelling the question starts nothing.
    wizard.page3()->m_pwdEdit->clear();
    answers.push(0);
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 4);
    EXPECT_TRUE(answers.boxes[3].message.startsWith("All data on partition E: Target, "))
        << answers.boxes[3].message.toStdString();
    EXPECT_TRUE(scripted.restores.empty());
    EXPECT_EQ(wizard.currentStep(), 3);
}

// An image whose place went away after it was chosen (its partition
// unmounted at the end of the last job) is refused at Start with the
// reason; nothing is erased.
TEST_F(DeskRestoreWizard, AnImageThatWentAwayIsRefusedAtStart)
{
    desk::RestoreDlg wizard;
    toRestoreStep3(wizard);
    std::filesystem::remove(machine.host("fs/d/Images/c_backup_0_0.bkp"));
    MsgBoxAnswers answers;
    answers.push(1);
    click(wizard.nextButton());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_TRUE(answers.boxes[0].message.startsWith("The image ")) << answers.boxes[0].message.toStdString();
    EXPECT_TRUE(answers.boxes[0].message.contains("can no longer be read"))
        << answers.boxes[0].message.toStdString();
    EXPECT_TRUE(scripted.restores.empty());
    EXPECT_EQ(wizard.currentStep(), 3);
}

TEST_F(DeskRestoreWizard, NewestImageOfTheFolderIsChosenAtStart)
{
    writeImageWithTrailer("inactive_0_0.bkp", false);
    namespace fs = std::filesystem;
    const fs::path newer = machine.host("fs/d/Images/inactive_0_0.bkp");
    const fs::path older = machine.host("fs/d/Images/c_backup_0_0.bkp");
    fs::last_write_time(newer, fs::last_write_time(older) + std::chrono::minutes(5));
    {
        desk::RtWidget1 page;
        EXPECT_TRUE(page.preselected());
        EXPECT_EQ(page.imagePath(), "D:\\Images\\inactive_0_0.bkp");
        // An inactive source offers the partition alone, checked.
        EXPECT_EQ(page.mbrItem(), nullptr);
        EXPECT_TRUE(page.isPartitionChecked());
        EXPECT_EQ(page.fileNameEdit->text(), "inactive_0_0.bkp");
    }
    fs::last_write_time(newer, fs::last_write_time(older) - std::chrono::minutes(5));
    {
        desk::RtWidget1 page;
        EXPECT_EQ(page.imagePath(), "D:\\Images\\c_backup_0_0.bkp");
        ASSERT_NE(page.mbrItem(), nullptr);
        EXPECT_FALSE(page.isMbrChecked());
    }
    for (const char* place : {"D:\\Missing", ""}) {
        desk::writeSetting(desk::kDstPathKey, place);
        desk::RtWidget1 page;
        EXPECT_FALSE(page.preselected()) << place;
        EXPECT_TRUE(page.imagePath().isEmpty()) << place;
    }
}

}  // namespace
