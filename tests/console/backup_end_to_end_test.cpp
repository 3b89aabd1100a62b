// A user backs up partitions through the wizard, end to end: the source is
// pressed in the tree, the image named, page 3 filled and Start pressed;
// the real engine writes the image, which the engine then restores onto
// another partition file for ntfs-3g (or dosfstools and mtools) to compare
// with the source.
#include "console/backup_machine.h"
#include "jobs/backup_rules.h"
#include "console/backup_wizard_driver.h"
#include "programs/rescue/console/image_head_info.h"
#include "jobs/image_trailer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include "jobs/size_text.h"

#include <gtest/gtest.h>

namespace {

using backuptest::BackupMachine;
using backuptest::click;
using backuptest::mountPlace;
using backuptest::pressRow;

QUARN_SHARED_FIXTURE(backuptest::saveFreshMachine)

class BackupEndToEnd : public backuptest::BackupWizardFixture {
protected:
    void SetUp() override
    {
        BackupWizardFixture::SetUp();
        if (setUpEnded())
            return;
        imagesDir = mountPlace(machine->partitionPath(BackupMachine::Images));
        ASSERT_FALSE(imagesDir.isEmpty());
    }

    // Step 1: press the source; step 2: the image place; step 3.
    void chooseSource(int partition)
    {
        ASSERT_TRUE(pressRow(*wizard->page1(), machine->partitionPath(partition)));
        click(wizard->nextButton());
        ASSERT_EQ(wizard->state(), BackupDlg::Step2);
    }
    // Browse, press the image partition's place, type the name, OK.
    void chooseFullImage(const QString& name)
    {
        BkWidget2& page2 = *wizard->page2();
        click(page2.browseButton());
        ASSERT_TRUE(page2.m_fullDialog->isVisible());
        ASSERT_TRUE(backuptest::answerFileDialog(
            *page2.m_fullDialog, machine->partitionPath(BackupMachine::Images), QString(), name));
        EXPECT_FALSE(page2.m_fullDialog->isVisible())
            << backuptest::boxTexts(answers).join("|").toStdString();
        // The field says where the image goes: name, folder and partition.
        const QString place = page2.fileNameEdit()->text();
        EXPECT_TRUE(place.startsWith(name + QStringLiteral(" in / on "))) << place.toStdString();
        EXPECT_TRUE(place.contains(QRegularExpression(QStringLiteral(" \\([C-Z]:\\)$"))))
            << place.toStdString();
        click(wizard->nextButton());
        ASSERT_EQ(wizard->state(), BackupDlg::Step3);
    }
    // Incremental type, Browse, press the image file in its place, OK.
    // `step`: where Next leads (step 2 again when the base is refused there).
    void chooseBaseImage(const QString& fileName, BackupDlg::State step = BackupDlg::Step3)
    {
        BkWidget2& page2 = *wizard->page2();
        page2.typeCombo()->setCurrentIndex(1);
        click(page2.browseButton());
        ASSERT_TRUE(page2.m_incrementalDialog->isVisible());
        ASSERT_TRUE(backuptest::answerFileDialog(
            *page2.m_incrementalDialog, machine->partitionPath(BackupMachine::Images), fileName, QString()));
        EXPECT_TRUE(page2.fileNameEdit()->text().startsWith(fileName + QStringLiteral(" in ")))
            << page2.fileNameEdit()->text().toStdString();
        click(wizard->nextButton());
        ASSERT_EQ(wizard->state(), step);
    }
    std::string image(const QString& name) const { return (imagesDir + "/" + name).toStdString(); }

    // Restores an image with the engine onto the empty NTFS partition and
    // compares it with the files through ntfs-3g.
    void expectRestoresTo(const std::string& firstVolume, const std::vector<testsupport::NtfsFileSpec>& files)
    {
        tagRestoreArgument arg;
        arg.imagePath = firstVolume;
        arg.targetPartition = machine->partition(BackupMachine::Target);
        ASSERT_EQ(restore_ntfs(arg, tagCallBackFunc()), 0);
        EXPECT_EQ(testsupport::NtfsCheckProblems(arg.targetPartition), "");
        EXPECT_EQ(testsupport::CompareNtfsFiles(arg.targetPartition, files), "");
        EXPECT_EQ(testsupport::NtfsTree(arg.targetPartition),
                  testsupport::NtfsTree(machine->partition(BackupMachine::NtfsSource)));
    }
};

TEST_F(BackupEndToEnd, FullThenIncrementalNtfsBackupsRestoreTheSource)
{
    const QString password = QString::fromUtf8("s\xc3\xa9same-7");
    chooseSource(BackupMachine::NtfsSource);
    chooseFullImage(QStringLiteral("sys"));
    backuptest::setOptions(*wizard->page3(), {password, password, 1, 0, QStringLiteral("before the update")});
    ASSERT_TRUE(backuptest::startAndWait(*wizard));
    ASSERT_EQ(answers.boxes.size(), 1) << backuptest::boxTexts(answers).join("|").toStdString();
    EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Success"));
    // The box says where the image went: its folder, its one volume and
    // the bytes it takes.
    const QString done = answers.boxes[0].message;
    EXPECT_TRUE(done.startsWith(QStringLiteral("Backup succeeded!\n"))) << done.toStdString();
    EXPECT_TRUE(done.contains(QStringLiteral("The image is in %1: 1 volume(s), %2 in all.")
                                  .arg(QFileInfo(imagesDir + "/sys_0_0.bkp").absolutePath(),
                                       formatSize(QFileInfo(imagesDir + "/sys_0_0.bkp").size()))))
        << done.toStdString();
    EXPECT_TRUE(done.contains(QStringLiteral("The backup took "))) << done.toStdString();
    EXPECT_EQ(answers.boxes[0].iconPath, QStringLiteral(":images/MsgIcon_Info.png"));
    EXPECT_EQ(wizard->state(), BackupDlg::Step1);

    // The image carries the digest of the password's UTF-8 bytes, as the
    // restore side reads it back, and the comment.
    const ImageTrailer trailer = readImageTrailerRecords(imagesDir + "/sys_0_0.bkp");
    ASSERT_EQ(trailer.status, ImageTrailer::Ok);
    EXPECT_EQ(trailer.passwordDigest.toHex(), BackupRules::passwordDigest(password).toHex());
    EXPECT_EQ(trailer.passwordDigest.toHex(),
              QCryptographicHash::hash(QByteArray("s\xc3\xa9same-7"), QCryptographicHash::Md5).toHex());
    EXPECT_EQ(trailer.description, QStringLiteral("before the update"));
    EXPECT_FALSE(QFileInfo::exists(imagesDir + "/sys_1_0.bkp"));
    ImageHeadView head;
    ASSERT_EQ(readHeadBlock(imagesDir + "/sys_0_0.bkp", &head), HeadReadResult::Ok);
    EXPECT_EQ(head.partName, QByteArray("SYSTEM"));
    expectRestoresTo(image("sys_0_0.bkp"), machine->ntfsFiles());

    // The source changes; an incremental backup builds on the full one.
    std::vector<testsupport::NtfsFileSpec> files = machine->ntfsFiles();
    files.push_back({"after.bin", testsupport::PatternBytes(200000, 9)});
    std::string log;
    testsupport::Run("mkdir -p " + testsupport::Quote(machine->scratch("inc")));
    ASSERT_TRUE(testsupport::NtfsCopyIn(machine->partition(BackupMachine::NtfsSource),
                                        machine->scratch("inc"), "/after.bin", files.back().data, &log))
        << log;
    chooseSource(BackupMachine::NtfsSource);
    EXPECT_EQ(wizard->page2()->typeCombo()->count(), 2);
    chooseBaseImage(QStringLiteral("sys_0_0.bkp"));
    EXPECT_EQ(wizard->page2()->m_imagePath, imagesDir + "/sys");
    backuptest::setOptions(*wizard->page3(), {QString(), QString(), 2, 0, QStringLiteral("after")});
    // The full image is protected: its password first; without one of its
    // own the incremental keeps the full image's digest.
    ASSERT_TRUE(wizard->page3()->previousImageProtected());
    backuptest::typeText(wizard->page3()->m_previousPasswordEdit, password);
    ASSERT_TRUE(backuptest::startAndWait(*wizard));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Backup succeeded!\n")));
    ASSERT_TRUE(QFileInfo::exists(imagesDir + "/sys_0_1.bkp"));
    EXPECT_EQ(readImageTrailerRecords(imagesDir + "/sys_0_1.bkp").passwordDigest.toHex(),
              BackupRules::passwordDigest(password).toHex());
    expectRestoresTo(image("sys_0_1.bkp"), files);

    // The full image is no longer the newest of its chain: told when it is
    // chosen, at step 2.
    chooseSource(BackupMachine::NtfsSource);
    chooseBaseImage(QStringLiteral("sys_0_0.bkp"), BackupDlg::Step2);
    EXPECT_FALSE(wizard->jobActive());
    EXPECT_EQ(answers.boxes.last().message,
              QStringLiteral("The image you selected is not the newest of its chain.\nChoose sys_0_1.bkp: an "
                             "incremental backup builds on the newest image."));
    EXPECT_FALSE(QFileInfo::exists(imagesDir + "/sys_0_2.bkp"));

    // A full backup under the same name asks first: "Cancel" keeps the chain.
    const std::vector<uint8_t> oldFull = testsupport::ReadFileBytes(image("sys_0_0.bkp"));
    click(wizard->previousButton());
    click(wizard->previousButton());
    chooseSource(BackupMachine::NtfsSource);
    chooseFullImage(QStringLiteral("sys"));
    const int before = answers.boxes.size();
    answers.push(0);
    click(wizard->nextButton());
    EXPECT_FALSE(wizard->jobActive());
    ASSERT_EQ(answers.boxes.size(), before + 1);
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("An image named sys already exists")));
    EXPECT_TRUE(answers.boxes.last().cancelButton);
    // A question, not a refusal: the user may well go on.
    EXPECT_EQ(answers.boxes.last().iconPath, QStringLiteral(":images/MsgIcon_Question.png"));
    EXPECT_EQ(testsupport::ReadFileBytes(image("sys_0_0.bkp")), oldFull);
    EXPECT_TRUE(QFileInfo::exists(imagesDir + "/sys_0_1.bkp"));

    // "OK" replaces the whole set: no incremental image is left on a base
    // that is gone.
    answers.push(1);
    ASSERT_TRUE(backuptest::startAndWait(*wizard));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Backup succeeded!\n")));
    EXPECT_FALSE(QFileInfo::exists(imagesDir + "/sys_0_1.bkp"));
    EXPECT_NE(testsupport::ReadFileBytes(image("sys_0_0.bkp")), oldFull);
    expectRestoresTo(image("sys_0_0.bkp"), files);
}

// The engine cannot open the image an incremental backup builds on (it was
// moved after the wizard checked it): the wizard asks where it is. Cancel
// ends the job; choosing the moved file lets it go on.
TEST_F(BackupEndToEnd, MovedBaseImageIsAskedForAndCancelEndsTheJob)
{
    chooseSource(BackupMachine::NtfsSource);
    chooseFullImage(QStringLiteral("sys"));
    ASSERT_TRUE(backuptest::startAndWait(*wizard));
    ASSERT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Backup succeeded!\n")));
    const QString base = imagesDir + "/sys_0_0.bkp";
    const QString moved = imagesDir + "/moved.bkp";
    QObject::connect(
        wizard->worker(), &QuarnThread::sendTotalUsedBytes, wizard->worker(),
        [&] { QFile::rename(base, moved); }, Qt::DirectConnection);

    for (const bool cancel : {true, false}) {
        ASSERT_TRUE(QFileInfo::exists(base));
        chooseSource(BackupMachine::NtfsSource);
        chooseBaseImage(QStringLiteral("sys_0_0.bkp"));
        QString asked;
        backuptest::answerNextModalFileDialog([&](BrowseForFileDialog& dialog) {
            asked = dialog.model()->nameFilters() ? dialog.model()->nameFilters()->join(",") : QString();
            if (!backuptest::answerFileDialog(dialog, machine->partitionPath(BackupMachine::Images),
                                              QStringLiteral("moved.bkp"), QString(), cancel)) {
                ADD_FAILURE() << "the moved image cannot be chosen";
                dialog.reject();
            }
        });
        ASSERT_TRUE(backuptest::startAndWait(*wizard, 120000))
            << backuptest::boxTexts(answers).join("|").toStdString();
        EXPECT_EQ(asked, QStringLiteral("sys_0_0.bkp,*.bkp"));
        if (cancel) {
            EXPECT_EQ(wizard->worker()->result(), ERR_OPEN_FILE);
            // The box says what went wrong and what to do.
            EXPECT_EQ(
                answers.boxes.last().message,
                QStringLiteral("Backup failed!\nAn image file cannot be opened.\nCheck that the place of the "
                               "image is still there and that it can be read and written, then try again."));
            // The volume the job began is gone: it is no image to build on.
            EXPECT_FALSE(QFileInfo::exists(imagesDir + "/sys_0_1.bkp"));
        } else {
            EXPECT_EQ(wizard->worker()->result(), 0);
            EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Backup succeeded!\n")));
            EXPECT_TRUE(QFileInfo::exists(imagesDir + "/sys_0_1.bkp"));
        }
        QFile::rename(moved, base);
    }
}

TEST_F(BackupEndToEnd, Fat32SourceIsBackedUpInFullAndRestores)
{
    chooseSource(BackupMachine::FatSource);
    ASSERT_EQ(wizard->page2()->typeCombo()->count(), 1);
    EXPECT_EQ(wizard->page2()->typeCombo()->itemText(0), QStringLiteral("Full backup"));
    chooseFullImage(QStringLiteral("data"));
    backuptest::setOptions(*wizard->page3(), {QString(), QString(), 0, 1, QStringLiteral("fat")});
    ASSERT_TRUE(backuptest::startAndWait(*wizard));
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_TRUE(answers.boxes[0].message.startsWith(QStringLiteral("Backup succeeded!\n")));

    const std::string target = machine->scratch("fat-target");
    testsupport::MakeSparseFile(target, testsupport::FileSize(machine->partition(BackupMachine::FatSource)));
    tagRestoreArgument arg;
    arg.imagePath = image("data_0_0.bkp");
    arg.targetPartition = target;
    ASSERT_EQ(restore_fat32(arg, tagCallBackFunc()), 0);
    const testsupport::CommandResult check = testsupport::CheckFat(target);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const std::string restored = machine->scratch("fat-restored");
    ASSERT_TRUE(testsupport::ExtractFatTree(target, restored));
    std::string differences;
    EXPECT_TRUE(testsupport::SameTree(machine->fatTree(), restored, &differences)) << differences;
}

}  // namespace
