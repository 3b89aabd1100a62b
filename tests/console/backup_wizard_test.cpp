// The backup wizard on a fake machine: its pages, steps and checks with
// the refusals' messages, the destination rules, and jobs of the real
// engine started, cancelled and closed through the wizard's buttons.
#include "console/backup_machine.h"
#include "console/backup_wizard_driver.h"
#include "platform/linux/device_prober.h"
#include "jobs/backup_rules.h"
#include "wizard/bk_widget3.h"
#include "jobs/image_trailer.h"
#include "wizard/start_bk_widget.h"

#include <QComboBox>
#include <QDir>
#include <QThread>
#include <QLineEdit>
#include <QTextEdit>
#include <QFileInfo>
#include <QLabel>
#include <sys/statvfs.h>
#include "jobs/size_text.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using backuptest::BackupMachine;
using backuptest::boxTexts;
using backuptest::click;
using backuptest::mountPlace;
using backuptest::pressRow;

QUARN_SHARED_FIXTURE(backuptest::saveFreshMachine)

class BackupWizardTest : public backuptest::BackupWizardFixture {
protected:
    void SetUp() override
    {
        BackupWizardFixture::SetUp();
        if (setUpEnded())
            return;
        QCoreApplication::processEvents();
    }

    QString source() const { return machine->partitionPath(BackupMachine::NtfsSource); }
    QString images() const { return machine->partitionPath(BackupMachine::Images); }

    // Step 1 with the source pressed, step 2 with a full backup into the
    // image partition's root under `name`, then step 3.
    void chooseFullBackup(const QString& name, int sourcePartition = BackupMachine::NtfsSource)
    {
        ASSERT_TRUE(pressRow(*wizard->page1(), machine->partitionPath(sourcePartition)));
        click(wizard->nextButton());
        ASSERT_EQ(wizard->state(), BackupDlg::Step2);
        imagesDir = mountPlace(images());
        ASSERT_FALSE(imagesDir.isEmpty());
        wizard->page2()->takeFullChoice({imagesDir, images(), name, QString()});
        click(wizard->nextButton());
        ASSERT_EQ(wizard->state(), BackupDlg::Step3);
    }
};

TEST_F(BackupWizardTest, PressingPartitionsChoosesTheSourceAndResetsPage2)
{
    BkWidget1& page1 = *wizard->page1();
    BkWidget2& page2 = *wizard->page2();
    ASSERT_TRUE(pressRow(page1, source()));
    EXPECT_EQ(page1.m_partPath, source());
    EXPECT_EQ(page1.m_fsCode, 4);
    EXPECT_TRUE(page1.m_active);
    EXPECT_GT(page1.m_usedBytes, 3 << 20);
    EXPECT_EQ(page1.m_partBytes, 98304LL * 512);
    ASSERT_NE(page1.headInfo(), nullptr);
    EXPECT_EQ(page1.headInfoLen(), int(page1.headInfo()->blockSize));
    EXPECT_EQ(page2.typeCombo()->count(), 2);
    EXPECT_EQ(page2.typeCombo()->itemText(0), QStringLiteral("Full backup"));

    // A choice made on page 2 goes when another source is pressed.
    page2.m_imagePath = QStringLiteral("/somewhere/x");
    ASSERT_TRUE(pressRow(page1, machine->partitionPath(BackupMachine::FatSource)));
    EXPECT_EQ(page1.m_fsCode, 3);
    EXPECT_EQ(page2.typeCombo()->count(), 1);  // FAT32: full backups only
    EXPECT_TRUE(page2.m_imagePath.isEmpty());
    EXPECT_EQ(page2.m_fullBackup, 1);

    ASSERT_TRUE(pressRow(page1, QString::fromStdString(machine->disk())));
    EXPECT_TRUE(page1.m_partPath.isEmpty());
    EXPECT_TRUE(answers.boxes.isEmpty());

    ASSERT_TRUE(pressRow(page1, machine->partitionPath(BackupMachine::Fat16)));
    EXPECT_TRUE(page1.m_partPath.isEmpty());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Error"));
    EXPECT_EQ(answers.boxes[0].message, QStringLiteral("FAT16 partitions are not supported!"));
    answers.boxes.clear();
    ASSERT_TRUE(pressRow(page1, source()));
    ASSERT_TRUE(pressRow(page1, source(), Qt::MiddleButton));
    EXPECT_TRUE(page1.m_partPath.isEmpty());
    EXPECT_TRUE(answers.boxes.isEmpty());
}

TEST_F(BackupWizardTest, OpenedAgainItStartsCleanWithoutTheLastPassword)
{
    chooseFullBackup(QStringLiteral("first"));
    BkWidget3& page3 = *wizard->page3();
    page3.m_passwordEdit->setText(QStringLiteral("secret99"));
    page3.m_confirmEdit->setText(QStringLiteral("secret99"));
    page3.m_compressCombo->setCurrentIndex(2);
    page3.m_commentEdit->setPlainText(QStringLiteral("first image"));
    wizard->hide();  // back to the main window
    wizard->show();  // the next backup
    EXPECT_EQ(wizard->state(), BackupDlg::Step1);
    EXPECT_TRUE(page3.password().isEmpty());
    EXPECT_TRUE(page3.confirmPassword().isEmpty());
    EXPECT_EQ(page3.compressIndex(), 0);
    EXPECT_NE(page3.description(), QStringLiteral("first image"));
}

TEST_F(BackupWizardTest, StepsAndTheirButtons)
{
    QPushButton* left = wizard->previousButton();
    QPushButton* right = wizard->nextButton();
    EXPECT_EQ(wizard->state(), BackupDlg::Step1);
    EXPECT_FALSE(left->isVisible());
    EXPECT_EQ(right->text(), QStringLiteral("Next"));
    EXPECT_EQ(right->geometry(), QRect(617, 498, 140, 34));
    EXPECT_EQ(left->geometry(), QRect(441, 498, 140, 34));
    EXPECT_EQ(wizard->returnButton()->geometry(), QRect(49, 498, 140, 34));
    EXPECT_EQ(wizard->page1()->pos(), QPoint(220, 90));

    click(right);  // no source yet
    EXPECT_EQ(wizard->state(), BackupDlg::Step1);
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].message, QStringLiteral("You must select a partition to back up!"));
    EXPECT_EQ(answers.boxes[0].iconPath, QStringLiteral(":images/MsgIcon_Stop.png"));

    ASSERT_TRUE(pressRow(*wizard->page1(), source()));
    click(right);
    EXPECT_EQ(wizard->state(), BackupDlg::Step2);
    EXPECT_TRUE(left->isVisible());
    EXPECT_EQ(left->text(), QStringLiteral("Previous"));
    click(right);  // no image place yet
    EXPECT_EQ(wizard->state(), BackupDlg::Step2);
    EXPECT_EQ(answers.boxes.last().message,
              QStringLiteral("You must select a place to save the backup image!"));

    // The incremental type without a chosen base image is refused the same way.
    wizard->page2()->typeCombo()->setCurrentIndex(1);
    click(right);
    EXPECT_EQ(wizard->state(), BackupDlg::Step2);
    EXPECT_EQ(answers.boxes.size(), 3);
    wizard->page2()->typeCombo()->setCurrentIndex(0);

    // The source itself as the image's place.
    const QString sourceDir = mountPlace(source());
    ASSERT_FALSE(sourceDir.isEmpty());
    wizard->page2()->takeFullChoice({sourceDir, source(), QStringLiteral("self"), QString()});
    click(right);
    EXPECT_EQ(wizard->state(), BackupDlg::Step2);
    EXPECT_EQ(answers.boxes.last().message,
              QStringLiteral("The partition you want to back up must be different from the place of the "
                             "backup image!"));

    const QString dir = mountPlace(images());
    wizard->page2()->takeFullChoice({dir, images(), QStringLiteral("sys"), QString()});
    EXPECT_EQ(wizard->page2()->m_imagePath, dir + "/sys");
    EXPECT_EQ(wizard->page2()->m_destFsName.toUpper(), QStringLiteral("NTFS"));
    EXPECT_GT(wizard->page2()->m_destFreeBytes, 100ull << 20);
    click(right);
    EXPECT_EQ(wizard->state(), BackupDlg::Step3);
    EXPECT_EQ(right->text(), QStringLiteral("Start"));
    click(left);
    EXPECT_EQ(wizard->state(), BackupDlg::Step2);
    click(left);
    EXPECT_EQ(wizard->state(), BackupDlg::Step1);
    EXPECT_FALSE(left->isVisible());

    QSignalSpy back(wizard.get(), &BackupDlg::returnMainDlg);
    click(wizard->returnButton());
    EXPECT_EQ(back.count(), 1);

    // F5 probes the machine again.
    QSignalSpy probed(DeviceProber::instance(), &DeviceProber::probeFinished);
    QTest::keyClick(wizard.get(), Qt::Key_F5);
    EXPECT_TRUE(probed.wait(60000));
}

// A folder inside the source's own mount is the source, even when the
// place reports no device (as a share does).
TEST_F(BackupWizardTest, ImageInsideTheSourceIsRefusedAtStartToo)
{
    chooseFullBackup(QStringLiteral("sys"));
    const QString sourceDir = mountPlace(source());
    ASSERT_FALSE(sourceDir.isEmpty());
    QDir(sourceDir).mkdir(QStringLiteral("img"));
    wizard->page2()->takeFullChoice({sourceDir + "/img", QString(), QStringLiteral("sys"), QString()});
    click(wizard->nextButton());
    EXPECT_EQ(answers.boxes.last().message,
              QStringLiteral("The partition you want to back up must be different from the place of the "
                             "backup image!"));
    EXPECT_FALSE(wizard->jobActive());
    EXPECT_FALSE(QFileInfo::exists(sourceDir + "/img/sys_0_0.bkp"));
}

TEST_F(BackupWizardTest, ChecksRefuseInTheirOrderWithTheirMessages)
{
    chooseFullBackup(QStringLiteral("sys"));
    BkWidget1& page1 = *wizard->page1();
    BkWidget2& page2 = *wizard->page2();
    BkWidget3& page3 = *wizard->page3();

    // Used size unknown: the user is asked; Cancel stops.
    const qint64 used = page1.m_usedBytes;
    page1.m_usedBytes = 0;
    answers.push(0);
    EXPECT_FALSE(wizard->checkBackup());
    EXPECT_EQ(answers.boxes.last().title, QStringLiteral("Warning"));
    EXPECT_TRUE(answers.boxes.last().cancelButton);
    EXPECT_TRUE(answers.boxes.last().message.contains(QStringLiteral("partition C failed")));
    answers.push(1);
    EXPECT_TRUE(wizard->checkBackup());  // OK goes on; the space check then passes
    page1.m_usedBytes = used;

    // Too little room: exactly 0.8 of the free bytes passes, one byte more fails.
    ASSERT_TRUE(wizard->checkBackup());
    const quint64 free = page2.m_destFreeBytes;
    page1.m_usedBytes = qint64(free * 0.8) + 4096;
    EXPECT_FALSE(wizard->checkBackup());
    // With the bytes needed and free.
    const QString tooFull = answers.boxes.last().message;
    EXPECT_TRUE(tooFull.startsWith(QStringLiteral("The destination does not have enough free space")))
        << tooFull.toStdString();
    EXPECT_TRUE(tooFull.contains(formatSize(qint64(free)))) << tooFull.toStdString();
    EXPECT_TRUE(tooFull.contains(formatSize(qint64(BackupPlan::freeBytesNeeded(page1.m_usedBytes)))))
        << tooFull.toStdString();
    page1.m_usedBytes = used;

    const struct {
        const char* first;
        const char* second;
        const char* message;  // nullptr: accepted
    } passwords[] = {
        {"12345", "12345", "The password is too short.\nLeave it empty or type at least 6 characters."},
        {"", "abc", "The password is too short.\nLeave it empty or type at least 6 characters."},
        {"123456", "",
         "The two passwords you entered are different.\nType the same password in both fields."},
        {"123456", "123457",
         "The two passwords you entered are different.\nType the same password in both fields."},
        {"123456", "123456", nullptr},
        {"", "", nullptr},
    };
    for (const auto& c : passwords) {
        page3.m_passwordEdit->setText(QString::fromUtf8(c.first));
        page3.m_confirmEdit->setText(QString::fromUtf8(c.second));
        const int before = answers.boxes.size();
        EXPECT_EQ(wizard->checkBackup(), c.message == nullptr) << c.first << "/" << c.second;
        if (c.message) {
            ASSERT_EQ(answers.boxes.size(), before + 1);
            EXPECT_EQ(answers.boxes.last().title, QStringLiteral("Password Error"));
            EXPECT_EQ(answers.boxes.last().message, QString::fromUtf8(c.message));
        }
    }
}

TEST_F(BackupWizardTest, IncrementalChecksForFat32AndForeignImages)
{
    chooseFullBackup(QStringLiteral("sys"));
    BkWidget1& page1 = *wizard->page1();
    BkWidget2& page2 = *wizard->page2();
    page2.m_fullBackup = 0;
    page2.m_prevImage = imagesDir + "/missing_0_0.bkp";
    EXPECT_FALSE(wizard->checkBackup());
    EXPECT_EQ(
        answers.boxes.last().message,
        QStringLiteral("Getting information on the previous image you selected failed!\nChoose the first "
                       "volume of the newest image of the chain."));

    // An image of another partition: its head block names the FAT32 source.
    ImageHeadBlock other;
    ASSERT_EQ(buildHeadInfo(*DeviceProber::instance(), QString::fromStdString(machine->disk()), 0,
                            machine->partitionPath(BackupMachine::Target), &other),
              0);
    QFile foreign(imagesDir + "/other_0_0.bkp");
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write(other.bytes);
    foreign.close();
    page2.m_prevImage = foreign.fileName();
    EXPECT_FALSE(wizard->checkBackup());
    EXPECT_EQ(answers.boxes.last().message,
              QStringLiteral("The backup image you selected is not of the partition you selected!\nChoose an "
                             "image of this partition, or make a full backup."));

    page1.m_fsCode = 3;
    EXPECT_FALSE(wizard->checkBackup());
    EXPECT_EQ(
        answers.boxes.last().message,
        QStringLiteral("An incremental backup is possible for NTFS partitions only.\nChoose a full backup "
                       "for this partition."));
}

TEST_F(BackupWizardTest, SmbShareFolderIsMeasuredByItsOwnFileSystem)
{
    // An image folder on a share has no device; the page measures the
    // folder's file system instead of reporting 0 free bytes.
    const std::string folder = machine->scratch("share");
    testsupport::Run("mkdir -p " + testsupport::Quote(folder));
    BkWidget2& page2 = *wizard->page2();
    page2.takeFullChoice({QString::fromStdString(folder), QString(), QStringLiteral("net"), QString()});
    EXPECT_TRUE(page2.m_destPath.isEmpty());
    EXPECT_TRUE(page2.m_destFsName.isEmpty());
    struct statvfs stats;
    ASSERT_EQ(statvfs(folder.c_str(), &stats), 0);
    const quint64 expected = quint64(stats.f_bavail) * stats.f_frsize;
    EXPECT_GT(page2.m_destFreeBytes, 0u);
    EXPECT_NEAR(double(page2.m_destFreeBytes), double(expected), 64.0 * 1048576);
}

TEST_F(BackupWizardTest, RequestFollowsThePagesAndTheDestinationsFileSystem)
{
    chooseFullBackup(QString::fromUtf8("s\xc3\xbcs"));
    backuptest::setOptions(*wizard->page3(),
                           {QString::fromUtf8("geheim\xc3\xa4"), QString::fromUtf8("geheim\xc3\xa4"), 2, 0,
                            QString::fromUtf8("Woche \xe4\xb8\xad")});
    tagBackupArgument arg;
    ASSERT_TRUE(wizard->fillRequest(&arg));
    EXPECT_FALSE(arg.incremental);
    EXPECT_EQ(arg.srcPartition, source().toStdString());
    EXPECT_EQ(arg.imagePath, (imagesDir + QString::fromUtf8("/s\xc3\xbcs")).toUtf8().toStdString());
    EXPECT_EQ(arg.mbrSource, machine->disk());
    EXPECT_EQ(arg.prevImage, "");
    EXPECT_EQ(arg.fsType, 4);
    EXPECT_EQ(arg.compressType, 3);
    EXPECT_TRUE(arg.saveMbr);
    EXPECT_EQ(arg.mbrSize, 512);
    EXPECT_EQ(arg.password, "geheim\xc3\xa4");
    EXPECT_EQ(arg.description, "Woche \xe4\xb8\xad");
    EXPECT_EQ(arg.volumeSize, BackupRules::kNeverSplit);
    EXPECT_EQ(arg.bytesToProcess, uint64_t(wizard->page1()->m_usedBytes));

    BkWidget2& page2 = *wizard->page2();
    page2.m_destFsName = QStringLiteral("vfat");
    ASSERT_TRUE(wizard->fillRequest(&arg));
    EXPECT_EQ(arg.volumeSize, BackupRules::kLargestFat32Volume);
    page2.m_destFsName.clear();  // an SMB share with "Auto"
    EXPECT_FALSE(wizard->fillRequest(&arg));
    EXPECT_EQ(
        answers.boxes.last().message,
        QStringLiteral("The file system of the destination is unknown, so no volume size fits it.\nChoose "
                       "a fixed volume size instead of \"Auto\"."));
}

TEST(BackupShareNames, ShareOfAWindowsPath)
{
    EXPECT_EQ(BkWidget2::shareOfWindowsPath(QStringLiteral("\\\\srv\\data\\img\\a.bkp")),
              QStringLiteral("//srv/data"));
    EXPECT_EQ(BkWidget2::shareOfWindowsPath(QStringLiteral("\\\\srv\\data")), QStringLiteral("//srv/data"));
    EXPECT_EQ(BkWidget2::shareOfWindowsPath(QStringLiteral("\\\\srv")), QString());
    EXPECT_EQ(BkWidget2::shareOfWindowsPath(QStringLiteral("D:\\img")), QString());
    EXPECT_EQ(BkWidget2::shareOfWindowsPath(QString()), QString());
}

// An image folder on an SMB share: the share is mounted by a stand-in for
// mount.cifs (a tmpfs under the share's name). Its free space is measured,
// its mount is held during the job, and once the share is given back (a
// new probe rebuilds the browser) Start refuses the folder left behind.
TEST_F(BackupWizardTest, ShareFolderIsUsedWhileTheShareIsMountedOnly)
{
    const std::string bin = machine->scratch("bin");
    testsupport::Run("mkdir -p " + testsupport::Quote(bin));
    probetest::WriteScript(bin + "/mount.cifs", "exec mount -t tmpfs -o size=64m \"$1\" \"$2\"\n");
    probetest::ScopedPathPrefix path(bin);
    const char* share = "//srv/data";
    const char* mounted = MountTable::instance()->mount(share, "cifs", nullptr, nullptr);
    if (!mounted)
        SKIP_OR_FAIL_IN_CI("a tmpfs cannot be mounted here");
    const QString shareDir = QString::fromUtf8(mounted);
    ASSERT_TRUE(MountTable::isMountOf(mounted, share));

    ASSERT_TRUE(pressRow(*wizard->page1(), source()));
    click(wizard->nextButton());
    wizard->page2()->takeFullChoice({shareDir, QString(), QStringLiteral("net"), QString::fromLatin1(share)});
    EXPECT_EQ(wizard->page2()->m_destShare, QString::fromLatin1(share));
    EXPECT_GT(wizard->page2()->m_destFreeBytes, 32ull << 20);
    click(wizard->nextButton());
    ASSERT_EQ(wizard->state(), BackupDlg::Step3);
    wizard->page3()->m_sizeCombo->setCurrentIndex(BackupRules::Size2GB);
    QSignalSpy back(wizard.get(), &BackupDlg::returnMainDlg);
    click(wizard->nextButton());
    ASSERT_TRUE(wizard->jobActive()) << backuptest::boxTexts(answers).join("|").toStdString();
    EXPECT_EQ(MountTable::instance()->users(share), 2);  // the browser's use and the job's
    ASSERT_TRUE(back.wait(120000));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Backup succeeded!\n")));
    EXPECT_TRUE(QFileInfo::exists(shareDir + "/net_0_0.bkp"));
    EXPECT_EQ(MountTable::instance()->users(share), 1);

    ASSERT_TRUE(MountTable::instance()->unmount(share));
    ASSERT_TRUE(QFileInfo(shareDir).isDir());  // the empty folder stays behind
    click(wizard->nextButton());
    click(wizard->nextButton());
    ASSERT_EQ(wizard->state(), BackupDlg::Step3);
    click(wizard->nextButton());
    EXPECT_FALSE(wizard->jobActive());
    EXPECT_EQ(answers.boxes.last().message,
              QStringLiteral("The place you chose for the backup image is no longer available. Please choose "
                             "it again!"));
    EXPECT_FALSE(QFileInfo::exists(shareDir + "/net_0_0.bkp"));
}

// After a new probe the file browser gives its places back, so the folder
// chosen on page 2 is a plain folder of the rescue system again: Start
// must not write the image there.
TEST_F(BackupWizardTest, DestinationGoneSinceItWasChosenIsCheckedAtStart)
{
    chooseFullBackup(QStringLiteral("sys"));
    ASSERT_TRUE(MountTable::instance()->unmount(QFile::encodeName(images()).constData()));
    ASSERT_FALSE(MountTable::isMountOf(QFile::encodeName(imagesDir).constData(),
                                       QFile::encodeName(images()).constData()));
    click(wizard->nextButton());
    EXPECT_FALSE(wizard->jobActive());
    EXPECT_EQ(answers.boxes.last().message,
              QStringLiteral("The place you chose for the backup image is no longer available. Please choose "
                             "it again!"));
    EXPECT_FALSE(QFileInfo::exists(imagesDir + "/sys_0_0.bkp"));
    EXPECT_EQ(wizard->state(), BackupDlg::Step3);

    // Mounted again (the user browses there once more): Start goes ahead.
    ASSERT_EQ(mountPlace(images()), imagesDir);
    ASSERT_TRUE(backuptest::startAndWait(*wizard));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Backup succeeded!\n")));
}

TEST_F(BackupWizardTest, CancelKeepsStartDisabledUntilTheJobHasEnded)
{
    chooseFullBackup(QStringLiteral("sys"));
    QSignalSpy back(wizard.get(), &BackupDlg::returnMainDlg);
    click(wizard->nextButton());
    ASSERT_TRUE(wizard->jobActive());
    EXPECT_EQ(wizard->state(), BackupDlg::Running);
    EXPECT_FALSE(wizard->returnButton()->isEnabled());
    EXPECT_EQ(wizard->previousButton()->text(), QStringLiteral("Cancel"));
    click(wizard->previousButton());
    EXPECT_EQ(wizard->state(), BackupDlg::Step3);
    EXPECT_EQ(wizard->nextButton()->text(), QStringLiteral("Start"));
    EXPECT_FALSE(wizard->nextButton()->isEnabled());
    EXPECT_FALSE(wizard->previousButton()->isEnabled());
    EXPECT_FALSE(wizard->returnButton()->isEnabled());
    wizard->startBackup();  // pressed anyway: the running job is left alone
    EXPECT_TRUE(wizard->worker()->cancelRequested());
    ASSERT_TRUE(back.wait(120000));
    EXPECT_FALSE(wizard->jobActive());
    EXPECT_EQ(wizard->worker()->result(), ERR_CANCELLED);
    EXPECT_EQ(answers.boxes.last().title, QStringLiteral("Cancelled"));
    EXPECT_EQ(answers.boxes.last().message,
              QStringLiteral("The backup was cancelled and its unfinished volumes were removed."));
    EXPECT_EQ(wizard->state(), BackupDlg::Step1);
    EXPECT_TRUE(wizard->nextButton()->isEnabled());
    EXPECT_TRUE(wizard->returnButton()->isEnabled());
}

TEST_F(BackupWizardTest, ClosingDuringAJobAsksCancelsAndWaits)
{
    chooseFullBackup(QStringLiteral("sys"));
    click(wizard->nextButton());
    ASSERT_TRUE(wizard->jobActive());
    answers.push(0);  // "No": the job goes on
    EXPECT_FALSE(wizard->close());
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(answers.boxes.last().title, QStringLiteral("Warning"));
    if (wizard->jobActive()) {
        answers.push(1);
        EXPECT_TRUE(wizard->close());
        EXPECT_FALSE(wizard->jobActive());
        EXPECT_FALSE(wizard->worker()->isRunning());
        EXPECT_FALSE(wizard->isVisible());
        EXPECT_EQ(answers.boxes.last().message,
                  QStringLiteral("The backup was cancelled and its unfinished volumes were removed."));
    }
}

TEST_F(BackupWizardTest, DestroyingTheWizardDuringAJobWaitsForIt)
{
    chooseFullBackup(QStringLiteral("sys"));
    click(wizard->nextButton());
    ASSERT_TRUE(wizard->jobActive());
    QPointer<QuarnThread> worker = wizard->worker();
    wizard.reset();
    EXPECT_TRUE(worker.isNull());
}

// The library's backups, except that the next one, when armed, ends as a
// refused source or a cancel does, after it began its first volume under
// the unfinished name (which it leaves behind).
struct ScriptedBackupEngine {
    enum Ending { Library, Fail, UntilCancelled };
    static std::atomic<int> next;

    static int backupNtfs(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head, int length)
    {
        const int ending = next.exchange(Library);
        if (ending == Library)
            return QuarnEngine::library().backupNtfs(arg, cb, head, length);
        testsupport::WriteFileBytes(arg.imagePath + "_0_0.bkp.part", testsupport::PatternBytes(4096, 9));
        if (ending == Fail)
            return ERR_OPEN_PART;
        while (cb.onProgress(1, cb.context) == 0)
            QThread::msleep(5);
        return ERR_CANCELLED;
    }
    static QuarnEngine engine()
    {
        QuarnEngine engine = QuarnEngine::library();
        engine.backupNtfs = &backupNtfs;
        return engine;
    }
};
std::atomic<int> ScriptedBackupEngine::next{ScriptedBackupEngine::Library};

TEST_F(BackupWizardTest, AFailedOrCancelledReplaceLeavesTheOldSetAndASuccessfulOneRemovesItsRest)
{
    wizard->setWorkerFactory([] { return new QuarnThread(ScriptedBackupEngine::engine()); });
    chooseFullBackup(QStringLiteral("sys"));
    ASSERT_TRUE(backuptest::startAndWait(*wizard));
    ASSERT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Backup succeeded!\n")));
    // The old set: the image just made, a later volume and an incremental
    // image of an earlier chain of the same name.
    const std::string folder = imagesDir.toStdString();
    testsupport::WriteFileBytes(folder + "/sys_1_0.bkp", testsupport::PatternBytes(1000, 3));
    testsupport::WriteFileBytes(folder + "/sys_0_1.bkp", testsupport::PatternBytes(2000, 4));
    const std::vector<std::string> oldSet = {folder + "/sys_0_0.bkp", folder + "/sys_1_0.bkp",
                                             folder + "/sys_0_1.bkp"};
    std::vector<std::vector<uint8_t>> oldBytes;
    for (const std::string& file : oldSet)
        oldBytes.push_back(testsupport::ReadFileBytes(file));

    const struct {
        const char* what;
        int ending;
        QString box;
    } endings[] = {
        {"refused by the engine", ScriptedBackupEngine::Fail,
         QStringLiteral("Backup failed!\nThe image SYS that was there before is kept unchanged.")},
        {"cancelled", ScriptedBackupEngine::UntilCancelled,
         QStringLiteral(
             "The backup was cancelled and its unfinished volumes were removed.\nThe image SYS that "
             "was there before is kept unchanged.")},
    };
    for (const auto& test : endings) {
        SCOPED_TRACE(test.what);
        ScriptedBackupEngine::next = test.ending;
        // Other letters, the same name on NTFS: the set is found and asked about.
        chooseFullBackup(QStringLiteral("SYS"));
        const int before = answers.boxes.size();
        QSignalSpy back(wizard.get(), &BackupDlg::returnMainDlg);
        click(wizard->nextButton());
        ASSERT_TRUE(wizard->jobActive());
        if (test.ending == ScriptedBackupEngine::UntilCancelled)
            click(wizard->previousButton());
        ASSERT_TRUE(back.wait(120000) || back.count() > 0);
        ASSERT_EQ(answers.boxes.size(), before + 2);
        EXPECT_TRUE(
            answers.boxes[before].message.startsWith(QStringLiteral("An image named SYS already exists")))
            << answers.boxes[before].message.toStdString();
        // A failure's box goes on with the engine's reason.
        EXPECT_TRUE(answers.boxes.last().message.startsWith(test.box))
            << answers.boxes.last().message.toStdString();
        for (size_t i = 0; i < oldSet.size(); ++i)
            EXPECT_EQ(testsupport::ReadFileBytes(oldSet[i]), oldBytes[i]) << oldSet[i];
        EXPECT_EQ(QDir(imagesDir).entryList({QStringLiteral("*.part")}, QDir::Files), QStringList());
    }

    // Replaced for real: the new image takes the first volume, the rest of
    // the old set goes.
    chooseFullBackup(QStringLiteral("sys"));
    ASSERT_TRUE(backuptest::startAndWait(*wizard));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Backup succeeded!\n")));
    EXPECT_TRUE(QFileInfo::exists(imagesDir + "/sys_0_0.bkp"));
    EXPECT_FALSE(QFileInfo::exists(imagesDir + "/sys_1_0.bkp"));
    EXPECT_FALSE(QFileInfo::exists(imagesDir + "/sys_0_1.bkp"));
}

// An incremental backup on a protected image asks for that image's
// password on page 3 before anything starts, and without a password of
// its own the new image keeps the base's digest.
TEST_F(BackupWizardTest, AnIncrementalOnAProtectedImageAsksForItsPasswordAndKeepsItsDigest)
{
    chooseFullBackup(QStringLiteral("sys"));
    BkWidget3& page3 = *wizard->page3();
    EXPECT_FALSE(page3.previousImageProtected());
    backuptest::setOptions(page3, {QStringLiteral("secret1"), QStringLiteral("secret1"), 1, 0, QString()});
    ASSERT_TRUE(backuptest::startAndWait(*wizard));
    ASSERT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Backup succeeded!\n")));

    ASSERT_TRUE(pressRow(*wizard->page1(), source()));
    click(wizard->nextButton());
    ASSERT_EQ(wizard->state(), BackupDlg::Step2);
    ASSERT_EQ(mountPlace(images()), imagesDir);
    wizard->page2()->takeIncrementalChoice(
        {imagesDir + "/sys_0_0.bkp", images(), QStringLiteral("sys_0_0.bkp"), QString()});
    click(wizard->nextButton());
    ASSERT_EQ(wizard->state(), BackupDlg::Step3);
    EXPECT_TRUE(page3.previousImageProtected());
    EXPECT_TRUE(page3.m_previousPasswordEdit->isVisible());
    page3.m_passwordEdit->clear();  // none of its own
    page3.m_confirmEdit->clear();

    const struct {
        const char* typed;
        const char* message;
    } refused[] = {
        {"", "The image this backup builds on is protected by a password.\nType the password of that image."},
        {"secret2", "The password of the image this backup builds on is wrong.\nType the password that image "
                    "was made with."},
    };
    for (const auto& test : refused) {
        SCOPED_TRACE(test.typed);
        page3.m_previousPasswordEdit->setText(QString::fromLatin1(test.typed));
        click(wizard->nextButton());
        EXPECT_FALSE(wizard->jobActive());
        EXPECT_EQ(answers.boxes.last().title, QStringLiteral("Password Error"));
        EXPECT_EQ(answers.boxes.last().message, QString::fromLatin1(test.message));
        EXPECT_FALSE(QFileInfo::exists(imagesDir + "/sys_0_1.bkp"));
    }
    page3.m_previousPasswordEdit->setText(QStringLiteral("secret1"));
    ASSERT_TRUE(backuptest::startAndWait(*wizard));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Backup succeeded!\n")));
    const ImageTrailer trailer = readImageTrailerRecords(imagesDir + "/sys_0_1.bkp");
    ASSERT_EQ(trailer.status, ImageTrailer::Ok);
    EXPECT_EQ(trailer.passwordDigest, BackupRules::passwordDigest(QStringLiteral("secret1")));
}

}  // namespace
