// The restore wizard end to end, offscreen and in one process: images made
// by the engine from a real ntfs-3g partition of a fake disk (with the head
// block the console builds), restored through the wizard's pages onto a
// partition file by the real engine on the wizard's worker, and judged with
// ntfs-3g's tools.
#include "console/backup_machine.h"
#include "console/backup_wizard_driver.h"
#include "wizard/base_msg_dlg.h"
#include "storage_ui/browse_for_file_dialog.h"
#include "quarn/api/image_format.h"
#include "programs/rescue/console/image_head_info.h"
#include "platform/linux/device_records.h"
#include "support/fat_fixture.h"
#include "wizard/frame_resources.h"
#include "storage_ui/filesystem_model.h"
#include "platform/linux/mount_table.h"
#include "quarn/api/quarn.h"
#include "programs/rescue/console/restore_dlg.h"
#include "programs/rescue/console/restore_target.h"
#include "support/shared_fixture.h"
#include "jobs/size_text.h"
#include "programs/rescue/console/rt_widget1.h"
#include "programs/rescue/console/rt_widget2.h"
#include "wizard/rt_widget3.h"
#include "platform/linux/system_paths.h"
#include "wizard/tree_item.h"
#include "storage_ui/tree_model.h"

#include "storage/parted_sanitizer_options.h"

#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>
#include <QTreeWidget>
#include <QDateTime>
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <memory>

namespace {

using backuptest::BackupMachine;
using testsupport::ReadFileBytes;

const char kPassword[] = "secret1";
const int kJobTimeoutMs = 240000;

// The machine and its images, made once for the whole program (making them
// is the slow part) and copied for each test process: the tests restore
// onto its target, write its disk's start and mount its images partition.
struct Images {
    std::string folder;      // on the images partition
    std::string full;        // first volume of a full image (password, MBR)
    std::string splitFirst;  // first volume of a split image; the others lie in splitOthers
    std::string splitOthers;
    int splitVolumes = 0;
    std::string chainNewest;                            // first volume of the incremental image of a chain
    std::vector<testsupport::NtfsFileSpec> chainFiles;  // the source when the increment was taken
    std::vector<uint8_t> bootCode;                      // what the disk's first 440 bytes held at backup time
    std::string zeroDigest;  // an image whose password digest starts with a zero byte
    std::string zeroPassword;
    std::string fat;          // a FAT32 image of a partition without the boot flag
    std::string noDiskStart;  // an image of the active partition without the disk's start
};

BackupMachine* g_machine = nullptr;
Images* g_images = nullptr;
std::string g_setupError;

std::string imagesFolder(const BackupMachine& machine)
{
    const char* dir = MountTable::instance()->mount(machine.partition(BackupMachine::Images).c_str(), "ntfs",
                                                    nullptr, nullptr);
    return dir ? std::string(dir) : std::string();
}

int backupWithHead(const BackupMachine& machine, const std::string& base, const std::string& password,
                   uint64_t volumeSize, const std::string& prevImage = std::string(),
                   int source = BackupMachine::NtfsSource, bool saveDiskStart = true)
{
    ImageHeadBlock head;
    if (buildHeadInfo(*DeviceProber::instance(), QString::fromStdString(machine.disk()), 0,
                      machine.partitionPath(source), &head) != 0)
        return -1;
    tagBackupArgument arg;
    arg.srcPartition = machine.partition(source);
    arg.imagePath = base;
    arg.fsType = source == BackupMachine::FatSource ? FS_TYPE_FAT32 : FS_TYPE_NTFS;
    arg.compressType = 1;
    if (saveDiskStart) {
        arg.mbrSource = machine.disk();
        arg.mbrSize = 512;
        arg.saveMbr = true;
    }
    arg.password = password;
    arg.description = "Office disk, drive C";
    arg.volumeSize = volumeSize;
    arg.incremental = !prevImage.empty();
    arg.prevImage = prevImage;
    return arg.fsType == FS_TYPE_FAT32 ? backup_fat32(arg, tagCallBackFunc(), head.data(), head.size())
                                       : backup_ntfs(arg, tagCallBackFunc(), head.data(), head.size());
}

// The images and what the tests know of them, for the images partition
// mounted at `folder`.
Images imagesIn(const std::string& folder, const BackupMachine& machine)
{
    Images im;
    im.folder = folder;
    im.full = folder + "/full/office_0_0.bkp";
    im.splitFirst = folder + "/split/office_0_0.bkp";
    im.splitOthers = folder + "/split-rest";
    while (
        testsupport::FileExists(im.splitOthers + "/office_" + std::to_string(im.splitVolumes + 1) + "_0.bkp"))
        ++im.splitVolumes;
    if (im.splitVolumes > 0)
        ++im.splitVolumes;  // the first one
    im.chainNewest = folder + "/chain/office_0_1.bkp";
    im.chainFiles = machine.ntfsFiles();
    im.chainFiles.push_back({"added.bin", testsupport::PatternBytes(200000, 41)});
    im.bootCode = testsupport::PatternBytes(440, 99);
    im.zeroDigest = folder + "/zero/office_0_0.bkp";
    // A password whose digest starts with a zero byte.
    for (int n = 0; im.zeroPassword.empty(); ++n) {
        const QByteArray candidate = "pass" + QByteArray::number(n);
        if (QCryptographicHash::hash(candidate, QCryptographicHash::Md5).at(0) == 0)
            im.zeroPassword = candidate.toStdString();
    }
    im.fat = folder + "/fat/data_0_0.bkp";
    im.noDiskStart = folder + "/nombr/office_0_0.bkp";
    return im;
}

// Makes the machine and its images and saves the machine into `saved`.
std::string makeImages(const std::string& saved)
{
    const std::string missing = backuptest::missingTool();
    if (!missing.empty())
        return "missing " + missing;
    BackupMachine machine;
    if (!machine.ok())
        return "machine: " + machine.log();
    if (!machine.probe())
        return "the probe did not end";

    const std::string folder = imagesFolder(machine);
    if (folder.empty())
        return "cannot mount the images partition";
    const Images im = imagesIn(folder, machine);
    // Boot code the disk holds when the images are taken.
    FILE* file = std::fopen(machine.disk().c_str(), "r+b");
    if (!file || std::fwrite(im.bootCode.data(), 1, 440, file) != 440 || std::fclose(file) != 0)
        return "cannot write the disk's boot code";

    for (const char* sub : {"/full", "/split", "/split-rest", "/chain", "/zero", "/fat", "/nombr"})
        QDir().mkpath(QString::fromStdString(folder + sub));

    if (backupWithHead(machine, folder + "/full/office", kPassword, ImageFormat::kNeverSplit) != 0)
        return "full backup failed";

    if (backupWithHead(machine, folder + "/split/office", "", 1 << 20) != 0)
        return "split backup failed";
    int splitVolumes = 0;
    for (int volume = 1;; ++volume) {
        const std::string name = "/office_" + std::to_string(volume) + "_0.bkp";
        if (!testsupport::FileExists(folder + "/split" + name))
            break;
        if (std::rename((folder + "/split" + name).c_str(), (im.splitOthers + name).c_str()) != 0)
            return "cannot move a volume";
        splitVolumes = volume + 1;
    }
    if (splitVolumes < 3)
        return "the split image has fewer than 3 volumes";

    if (backupWithHead(machine, folder + "/chain/office", "", ImageFormat::kNeverSplit) != 0)
        return "chain backup failed";
    // The source changes: one file more, one file rewritten.
    std::string log;
    QDir().mkpath(QString::fromStdString(machine.scratch("inc")));
    if (!testsupport::NtfsCopyIn(machine.partition(BackupMachine::NtfsSource), machine.scratch("inc"),
                                 "/added.bin", im.chainFiles.back().data, &log))
        return "ntfscp: " + log;
    if (backupWithHead(machine, folder + "/chain/office", "", ImageFormat::kNeverSplit,
                       folder + "/chain/office_0_0.bkp") != 0)
        return "incremental backup failed";
    if (!testsupport::FileExists(im.chainNewest))
        return "no incremental image";

    if (backupWithHead(machine, folder + "/zero/office", im.zeroPassword, ImageFormat::kNeverSplit) != 0)
        return "backup with the zero-led digest failed";

    if (backupWithHead(machine, folder + "/fat/data", "", ImageFormat::kNeverSplit, std::string(),
                       BackupMachine::FatSource) != 0)
        return "FAT32 backup failed";

    if (backupWithHead(machine, folder + "/nombr/office", "", ImageFormat::kNeverSplit, std::string(),
                       BackupMachine::NtfsSource, false) != 0)
        return "backup without the disk start failed";
    return machine.saveTo(saved + "/machine");
}

QUARN_SHARED_FIXTURE(makeImages)

// This process's copy of the saved machine, probed, with its images
// partition mounted.
std::string useImages()
{
    const testsupport::SharedFixtureFolder& fixture = testsupport::SharedFixture(makeImages);
    if (!fixture.error.empty())
        return fixture.error;
    g_machine = new BackupMachine(fixture.path + "/machine");
    if (!g_machine->ok())
        return "machine: " + g_machine->log();
    // The wizard reads what is mounted now, not the machine's fixed table.
    systemPaths().mountTable = "/proc/self/mounts";
    if (!g_machine->probe())
        return "the probe did not end";
    const std::string folder = imagesFolder(*g_machine);
    if (folder.empty())
        return "cannot mount the images partition";
    g_images = new Images(imagesIn(folder, *g_machine));
    if (g_images->splitVolumes < 3)
        return "the split image has fewer than 3 volumes";
    return std::string();
}

const size_t kDiskStartBytes = 1 << 20;

// The first MiB of the machine's disk (its table and the space before the
// first partition).
std::vector<uint8_t> diskStart()
{
    std::vector<uint8_t> bytes(kDiskStartBytes);
    FILE* file = std::fopen(g_machine->disk().c_str(), "rb");
    const size_t got = file ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
    if (file)
        std::fclose(file);
    bytes.resize(got);
    return bytes;
}

void writeDiskStart(const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(g_machine->disk().c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

class RestoreWizardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_setupError = useImages(); }
    static void TearDownTestSuite()
    {
        delete g_images;
        g_images = nullptr;
        delete g_machine;
        g_machine = nullptr;
    }

    void SetUp() override
    {
        if (g_setupError.rfind("missing ", 0) == 0)
            SKIP_OR_FAIL_IN_CI(g_setupError);
        ASSERT_TRUE(g_setupError.empty()) << g_setupError;
        // A fresh, empty file system on the target for every test.
        std::string log;
        ASSERT_TRUE(testsupport::MakeNtfsPartition(target(), testsupport::FileSize(target()), &log)) << log;
        m_dialog = std::make_unique<RestoreDlg>(nullptr, QString());
        m_dialog->show();
    }
    void TearDown() override
    {
        m_dialog.reset();
        if (g_machine)
            RestoreTarget::unmountAll(QString::fromStdString(target()));
    }

    static std::string target() { return g_machine->partition(BackupMachine::Target); }

    // Chooses the image on page 1 as the file dialog hands it over.
    void chooseImage(const std::string& path)
    {
        const QString file = QString::fromStdString(path);
        m_dialog->m_rtWidget1->chooseImage(file, QFileInfo(file).fileName(),
                                           g_machine->partitionPath(BackupMachine::Images));
    }

    // Presses the target's row on page 2 with the left button.
    bool pressTarget(const std::string& partition)
    {
        TreeModel* model = m_dialog->m_rtWidget2->m_model;
        model->refresh();
        for (int disk = 0; disk < model->rowCount(); ++disk) {
            const QModelIndex diskIndex = model->index(disk, 0);
            for (int row = 0; row < model->rowCount(diskIndex); ++row) {
                const QModelIndex index = model->index(row, 1, diskIndex);
                if (static_cast<TreeItem*>(index.internalPointer())->path !=
                    QString::fromStdString(partition))
                    continue;
                QTreeView* view = m_dialog->m_rtWidget2->m_treeView;
                view->scrollTo(index);
                QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  view->visualRect(index).center());
                QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                                    view->visualRect(index).center());
                return m_dialog->m_rtWidget2->m_targetPath == QString::fromStdString(partition);
            }
        }
        return false;
    }

    // Steps through the wizard to Start with the given password.
    void clickThrough(const QString& password)
    {
        EXPECT_EQ(m_dialog->state(), RestoreDlg::Step1);
        QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
        ASSERT_EQ(m_dialog->state(), RestoreDlg::Step2);
        ASSERT_TRUE(pressTarget(target()));
        QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
        ASSERT_EQ(m_dialog->state(), RestoreDlg::Step3);
        m_dialog->m_rtWidget3->m_pwdEdit->setText(password);
        EXPECT_EQ(m_dialog->m_nextBtn->text(), QStringLiteral("Start"));
        QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    }

    // Waits for the job and the wizard's return to the main window.
    bool waitForReturn(QSignalSpy& returned) { return returned.count() > 0 || returned.wait(kJobTimeoutMs); }

    static QStringList messages(const MsgBoxAnswers& answers)
    {
        QStringList texts;
        for (const MsgBoxRecord& box : answers.boxes)
            texts << box.title + ": " + box.message;
        return texts;
    }

    // The boxes' titles and first lines (a job's end box goes on with what
    // it made or why it failed).
    static QStringList headlines(const MsgBoxAnswers& answers)
    {
        QStringList texts;
        for (const MsgBoxRecord& box : answers.boxes)
            texts << box.title + ": " + box.message.section(QLatin1Char('\n'), 0, 0);
        return texts;
    }

    static std::string judge(const std::vector<testsupport::NtfsFileSpec>& files)
    {
        const std::string problems = testsupport::NtfsCheckProblems(target());
        if (!problems.empty())
            return problems;
        return testsupport::CompareNtfsFiles(target(), files);
    }

    std::unique_ptr<RestoreDlg> m_dialog;
};

TEST_F(RestoreWizardTest, StepOneShowsEachImagesKindSizePasswordAndDescription)
{
    const struct {
        const std::string* image;
        QStringList shown;
        QString notShown;
    } cases[] = {
        {&g_images->full,
         {QStringLiteral("Full image"), QStringLiteral("Password: yes"),
          QStringLiteral("Office disk, drive C")},
         QStringLiteral("Incremental")},
        {&g_images->chainNewest,
         {QStringLiteral("Incremental image 1, built on office_0_0.bkp")},
         QStringLiteral("Full image")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(*c.image);
        chooseImage(*c.image);
        RtWidget1& page = *m_dialog->m_rtWidget1;
        ASSERT_FALSE(page.m_imagePath.isEmpty());
        const QString facts = page.m_factsLabel->text();
        for (const QString& part : c.shown)
            EXPECT_TRUE(facts.contains(part)) << facts.toStdString() << " lacks " << part.toStdString();
        EXPECT_FALSE(facts.contains(c.notShown)) << facts.toStdString();
        EXPECT_GT(page.m_usedBytes, 0u);
        EXPECT_TRUE(facts.contains(formatSize(qint64(page.m_usedBytes)))) << facts.toStdString();
        EXPECT_TRUE(facts.contains(QFileInfo(QString::fromStdString(*c.image))
                                       .lastModified()
                                       .toString(QStringLiteral("yyyy-MM-dd"))))
            << facts.toStdString();
        EXPECT_TRUE(page.m_factsLabel->isVisibleTo(&page));
    }
}

TEST_F(RestoreWizardTest, ATargetTooSmallForTheImageIsRefusedAtStepTwoWithBothSizes)
{
    chooseImage(g_images->full);
    ASSERT_FALSE(m_dialog->m_rtWidget1->m_imagePath.isEmpty());
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    ASSERT_EQ(m_dialog->state(), RestoreDlg::Step2);
    ASSERT_TRUE(pressTarget(target()));
    // The image says it holds more than the target partition has.
    const qint64 targetBytes = QFileInfo(QString::fromStdString(target())).size();
    ASSERT_GT(targetBytes, 0);
    m_dialog->m_rtWidget1->m_usedBytes = quint64(targetBytes) + (64ULL << 20);
    MsgBoxAnswers answers;
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    EXPECT_EQ(m_dialog->state(), RestoreDlg::Step2);
    ASSERT_EQ(answers.boxes.size(), 1) << messages(answers).join("\n").toStdString();
    const QString text = answers.boxes[0].message;
    EXPECT_TRUE(text.startsWith(QStringLiteral("The partition is too small for the image")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(formatSize(qint64(m_dialog->m_rtWidget1->m_usedBytes)))) << text.toStdString();
    EXPECT_TRUE(text.contains(formatSize(targetBytes))) << text.toStdString();
    EXPECT_EQ(m_dialog->worker(), nullptr);

    // An image that fits goes on to step 3.
    m_dialog->m_rtWidget1->m_usedBytes = quint64(targetBytes) / 2;
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    EXPECT_EQ(m_dialog->state(), RestoreDlg::Step3);
    EXPECT_EQ(answers.boxes.size(), 1);
}

TEST_F(RestoreWizardTest, APasswordProtectedImageRestoresOnlyWithItsPassword)
{
    chooseImage(g_images->full);
    ASSERT_FALSE(m_dialog->m_rtWidget1->m_imagePath.isEmpty());
    EXPECT_TRUE(m_dialog->m_rtWidget3->m_pwdGroup->isVisibleTo(m_dialog->m_rtWidget3));
    EXPECT_EQ(m_dialog->m_rtWidget3->m_descEdit->toPlainText(), QStringLiteral("Office disk, drive C"));

    MsgBoxAnswers answers;
    clickThrough(QStringLiteral("secret2"));
    EXPECT_EQ(messages(answers), QStringList{"Password Error: The password you entered is wrong.\nType the "
                                             "password the image was made with."});
    EXPECT_EQ(m_dialog->state(), RestoreDlg::Step3);
    EXPECT_EQ(m_dialog->worker(), nullptr);

    answers.boxes.clear();
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    m_dialog->m_rtWidget3->m_pwdEdit->setText(QString::fromLatin1(kPassword));
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    EXPECT_EQ(m_dialog->state(), RestoreDlg::Running);
    ASSERT_TRUE(waitForReturn(returned));
    ASSERT_EQ(answers.boxes.size(), 2) << messages(answers).join("\n").toStdString();
    EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Warning"));
    EXPECT_TRUE(answers.boxes[0].message.startsWith(QStringLiteral("All data on partition ")));
    EXPECT_TRUE(answers.boxes[1].message.startsWith(QStringLiteral("Restore succeeded!\n")));
    EXPECT_EQ(m_dialog->worker()->result(), 0);
    EXPECT_EQ(m_dialog->state(), RestoreDlg::Step1);
    EXPECT_EQ(judge(g_machine->ntfsFiles()), "");
}

TEST_F(RestoreWizardTest, ASplitImageAsksForEachVolumeInAnotherFolder)
{
    chooseImage(g_images->splitFirst);
    ASSERT_FALSE(m_dialog->m_rtWidget1->m_imagePath.isEmpty());
    EXPECT_FALSE(m_dialog->m_rtWidget3->m_pwdGroup->isVisibleTo(m_dialog->m_rtWidget3));

    // The user first picks the folder, then the volume in it.
    QStringList asked;
    m_dialog->setVolumeChooser([&](QWidget*, const QString& expected) {
        asked << expected;
        const std::string name = QFileInfo(expected).fileName().toStdString();
        FileChoice choice;
        choice.accepted = true;
        const bool folderFirst = asked.size() == 1;
        choice.path = QString::fromStdString(g_images->splitOthers + (folderFirst ? "" : "/" + name));
        choice.name = folderFirst ? QString() : QString::fromStdString(name);
        return choice;
    });
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString());
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Restore succeeded!\n")))
        << messages(answers).join("\n").toStdString();
    EXPECT_TRUE(messages(answers).contains("Error: You must select a backup image file, not a directory!"));
    // One request per later volume (the first one answered twice).
    EXPECT_EQ(asked.size(), g_images->splitVolumes) << asked.join(", ").toStdString();
    EXPECT_EQ(judge(g_machine->ntfsFiles()), "");
}

TEST_F(RestoreWizardTest, CancellingTheVolumeRequestEndsTheRestoreAsFailed)
{
    chooseImage(g_images->splitFirst);
    int asked = 0;
    m_dialog->setVolumeChooser([&](QWidget*, const QString&) {
        ++asked;
        return FileChoice();
    });
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString());
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_EQ(asked, 1);
    // The image check asked, so the target was never written.
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("The image is damaged or incomplete")))
        << answers.boxes.last().message.toStdString();
    EXPECT_EQ(m_dialog->worker()->endedInPhase(), QuarnThread::CheckImagePhase);
    EXPECT_NE(m_dialog->worker()->result(), 0);
}

TEST_F(RestoreWizardTest, AVolumeThatCannotBeOpenedBringsTheDialogBack)
{
    chooseImage(g_images->splitFirst);
    QStringList asked;
    m_dialog->setVolumeChooser([&](QWidget*, const QString& expected) {
        asked << expected;
        FileChoice choice;
        if (asked.size() > 2)
            return choice;  // Cancel
        // The same missing name, as the engine asked for it.
        choice.accepted = true;
        choice.path = expected;
        choice.name = QFileInfo(expected).fileName();
        return choice;
    });
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString());
    ASSERT_TRUE(waitForReturn(returned));
    ASSERT_EQ(asked.size(), 3);
    EXPECT_EQ(asked[0], asked[1]);
    const QString missing = QStringLiteral("Error: %1 cannot be opened, select the next volume!")
                                .arg(QFileInfo(asked[0]).fileName());
    EXPECT_EQ(messages(answers).count(missing), 2) << messages(answers).join("\n").toStdString();
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("The image is damaged or incomplete")))
        << answers.boxes.last().message.toStdString();
}

TEST_F(RestoreWizardTest, TheNewestImageOfAChainRestoresTheChangedSource)
{
    chooseImage(g_images->chainNewest);
    ASSERT_FALSE(m_dialog->m_rtWidget1->m_imagePath.isEmpty());
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    QSignalSpy probed(DeviceProber::instance(), &DeviceProber::probeFinished);
    clickThrough(QString());
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Restore succeeded!\n")));
    EXPECT_EQ(judge(g_images->chainFiles), "");
    // The trees read the disks again: the target's used size has changed.
    EXPECT_TRUE(!probed.isEmpty() || probed.wait(20000));
}

TEST_F(RestoreWizardTest, TheMbrAloneWritesTheStoredBootCodeAndKeepsThePartitionTable)
{
    std::vector<uint8_t> before = diskStart();
    std::fill(before.begin(), before.begin() + 440, 0);
    writeDiskStart(before);
    const std::vector<uint8_t> targetBefore = ReadFileBytes(target());

    chooseImage(g_images->full);
    RtWidget1* page = m_dialog->m_rtWidget1;
    ASSERT_NE(page->m_mbrItem, nullptr);  // the source partition is active
    EXPECT_EQ(page->m_mbrItem->text(1), QStringLiteral("MBR and Track 0"));
    page->m_partItem->setCheckState(1, Qt::Unchecked);
    page->m_mbrItem->setCheckState(1, Qt::Checked);

    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString::fromLatin1(kPassword));
    ASSERT_TRUE(waitForReturn(returned));
    ASSERT_EQ(answers.boxes.size(), 2) << messages(answers).join("\n").toStdString();
    EXPECT_TRUE(answers.boxes[0].message.startsWith(QStringLiteral("The MBR of disk ")));
    EXPECT_TRUE(answers.boxes[1].message.startsWith(QStringLiteral("Restore succeeded!\n")));

    const std::vector<uint8_t> after = diskStart();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(g_images->bootCode.begin(), g_images->bootCode.end(), after.begin()));
    EXPECT_TRUE(std::equal(before.begin() + 440, before.end(), after.begin() + 440));
    EXPECT_EQ(ReadFileBytes(target()), targetBefore);
}

TEST_F(RestoreWizardTest, ThePartitionThatHoldsTheImageIsRefused)
{
    chooseImage(g_images->splitFirst);
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    ASSERT_TRUE(pressTarget(g_machine->partition(BackupMachine::Images)));
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    MsgBoxAnswers answers;
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    EXPECT_EQ(messages(answers),
              QStringList{"Error: The image is on this partition: restoring would overwrite "
                          "it.\nChoose another partition, or copy the image elsewhere first."});
    EXPECT_EQ(m_dialog->worker(), nullptr);
    EXPECT_FALSE(imagesFolder(*g_machine).empty());
    EXPECT_TRUE(testsupport::FileExists(g_images->splitFirst));
}

TEST_F(RestoreWizardTest, AMountedTargetIsUnmountedFirst)
{
    const char* dir = MountTable::instance()->mount(target().c_str(), "ntfs", nullptr, nullptr);
    ASSERT_NE(dir, nullptr);
    ASSERT_FALSE(RestoreTarget::mountDirectoriesOf(QString::fromStdString(target())).isEmpty());

    chooseImage(g_images->chainNewest);
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString());
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Restore succeeded!\n")));
    EXPECT_TRUE(RestoreTarget::mountDirectoriesOf(QString::fromStdString(target())).isEmpty());
    EXPECT_EQ(judge(g_images->chainFiles), "");
}

TEST_F(RestoreWizardTest, ATargetInUseIsRefusedWithAMessage)
{
    const char* dir = MountTable::instance()->mount(target().c_str(), "ntfs", nullptr, nullptr);
    ASSERT_NE(dir, nullptr);
    const std::string mountDir = dir;
    // An open file keeps the file system busy.
    QFile busy(QString::fromStdString(mountDir + "/busy.txt"));
    ASSERT_TRUE(busy.open(QIODevice::WriteOnly));
    chooseImage(g_images->chainNewest);
    MsgBoxAnswers answers;
    clickThrough(QString());
    ASSERT_EQ(answers.boxes.size(), 2) << messages(answers).join("\n").toStdString();
    EXPECT_EQ(answers.boxes[1].message, QStringLiteral("The partition is in use and cannot be unmounted!"));
    EXPECT_EQ(m_dialog->state(), RestoreDlg::Step3);
    EXPECT_EQ(m_dialog->worker(), nullptr);
    busy.close();
    EXPECT_FALSE(RestoreTarget::mountDirectoriesOf(QString::fromStdString(target())).isEmpty());

    // Once free, it unmounts, and the console's table forgets the mount it
    // had to keep: the next mount is a real one, not the bare directory.
    EXPECT_TRUE(RestoreTarget::unmountAll(QString::fromStdString(target())));
    const char* again = MountTable::instance()->mount(target().c_str(), "ntfs", nullptr, nullptr);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(MountTable::isMountOf(again, target().c_str()));
}

// What the image page shows and refuses, one case per row.
TEST_F(RestoreWizardTest, TheImagePageAcceptsOnlyTheFirstVolumeOfAnImage)
{
    testsupport::TempDir scratch;
    const std::string upper = scratch.file("OFFICE_0_0.BKP");
    testsupport::WriteFileBytes(upper, ReadFileBytes(g_images->full));
    const std::string foreign = scratch.file("notes_0_0.bkp");
    testsupport::WriteFileBytes(foreign, std::vector<uint8_t>(4096, 'x'));
    const std::string damaged = scratch.file("damaged_0_0.bkp");
    std::vector<uint8_t> bytes = ReadFileBytes(g_images->full);
    bytes[bytes.size() - 27] ^= 1;  // the trailer's magic
    testsupport::WriteFileBytes(damaged, bytes);
    const std::string laterVolume = g_images->splitOthers + "/office_1_0.bkp";
    // A later volume behind a valid head block: its trailer still tells.
    const std::string headedLater = scratch.file("headed_1_0.bkp");
    bytes = ReadFileBytes(g_images->full);
    const uint32_t headBytes = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
    bytes.resize(headBytes);
    const std::vector<uint8_t> later = ReadFileBytes(laterVolume);
    bytes.insert(bytes.end(), later.begin(), later.end());
    testsupport::WriteFileBytes(headedLater, bytes);
    // Head blocks whose sizes reach past the file or past the block.
    const std::string longHead = scratch.file("longhead_0_0.bkp");
    bytes = ReadFileBytes(g_images->full);
    bytes[3] = 0x7F;  // blockSize far beyond the file
    testsupport::WriteFileBytes(longHead, bytes);
    const std::string longLabel = scratch.file("longlabel_0_0.bkp");
    bytes = ReadFileBytes(g_images->full);
    bytes[offsetof(tagBackupImageHeadInfo, partNameLength) + 2] = 0x01;  // a label of 64 KiB
    testsupport::WriteFileBytes(longLabel, bytes);

    const struct {
        std::string path;
        QStringList boxes;
    } cases[] = {
        {g_images->folder + "/full", {}},
        {upper, {"Error: The file name of a Sorvik backup image ends in \".bkp\"!"}},
        {laterVolume, {"Error: The backup image file is invalid!"}},
        {headedLater, {"Error!: This is not the first volume; select the first volume of the image!"}},
        {foreign, {"Error: The backup image file is invalid!"}},
        {damaged, {"Error: Image file is corrupted!"}},
        {longHead, {"Error: The head of the backup image file is damaged!"}},
        {longLabel, {"Error: The head of the backup image file is damaged!"}},
        {scratch.file("missing_0_0.bkp"), {"Error: The backup image file cannot be opened!"}},
    };
    for (const auto& c : cases) {
        chooseImage(g_images->full);  // a good image first: a refusal must clear it
        ASSERT_FALSE(m_dialog->m_rtWidget1->m_imagePath.isEmpty());
        MsgBoxAnswers answers;
        chooseImage(c.path);
        EXPECT_EQ(messages(answers), c.boxes) << c.path;
        EXPECT_TRUE(m_dialog->m_rtWidget1->m_imagePath.isEmpty()) << c.path;
        EXPECT_TRUE(m_dialog->m_rtWidget1->m_pwdDigest.isEmpty()) << c.path;
        EXPECT_FALSE(m_dialog->m_rtWidget3->m_pwdGroup->isVisibleTo(m_dialog->m_rtWidget3)) << c.path;
        EXPECT_FALSE(m_dialog->m_rtWidget1->isPartitionChecked()) << c.path;
    }
    MsgBoxAnswers answers;
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    EXPECT_EQ(
        messages(answers),
        QStringList{"Error: No image file is chosen.\nChoose the first volume of the image to restore."});
}

QStringList rowTexts(const QTreeWidgetItem* item)
{
    QStringList texts;
    for (int column = 0; column < item->columnCount(); ++column)
        texts << item->text(column);
    return texts;
}

TEST_F(RestoreWizardTest, TheImageTreeShowsTheSourceDiskAndPartition)
{
    chooseImage(g_images->full);
    RtWidget1* page = m_dialog->m_rtWidget1;
    ASSERT_EQ(page->m_treeWidget->topLevelItemCount(), 1);
    const QTreeWidgetItem* disk = page->m_treeWidget->topLevelItem(0);
    const QStringList diskRow = rowTexts(disk);
    ASSERT_EQ(diskRow.size(), 6);
    EXPECT_EQ(diskRow[0], QStringLiteral("Disk 0"));
    EXPECT_EQ(diskRow[3], formatSize(qint64(QFileInfo(QString::fromStdString(g_machine->disk())).size())));
    ASSERT_EQ(disk->childCount(), 2);
    const QStringList partRow = rowTexts(page->m_partItem);
    EXPECT_TRUE(partRow[1].startsWith(QStringLiteral("SYSTEM ("))) << partRow[1].toStdString();
    EXPECT_EQ(partRow[2], QStringLiteral("Pri,Act"));
    EXPECT_EQ(partRow[3], formatSize(98304LL * 512));
    EXPECT_EQ(partRow[5], QStringLiteral("NTFS"));
    EXPECT_TRUE(page->isPartitionChecked());
    EXPECT_FALSE(page->isMbrChecked());
    EXPECT_EQ(page->m_fsCode, FS_TYPE_NTFS);

    // An image without the disk's start has no MBR to offer, even of an
    // active partition.
    chooseImage(g_images->noDiskStart);
    ASSERT_NE(page->m_partItem, nullptr);
    EXPECT_EQ(rowTexts(page->m_partItem)[2], QStringLiteral("Pri,Act"));
    EXPECT_EQ(page->m_mbrItem, nullptr);

    // A partition without the boot flag offers no MBR row; the machine's
    // FAT32 partition is a logical one (number 5).
    chooseImage(g_images->fat);
    ASSERT_NE(page->m_partItem, nullptr);
    EXPECT_EQ(page->m_mbrItem, nullptr);
    EXPECT_EQ(page->m_treeWidget->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(rowTexts(page->m_partItem)[2], QStringLiteral("Log"));
    EXPECT_EQ(rowTexts(page->m_partItem)[5], QStringLiteral("FAT32"));
    EXPECT_EQ(page->m_fsCode, FS_TYPE_FAT32);
}

TEST_F(RestoreWizardTest, AnUnprotectedImageAfterAProtectedOneNeedsNoPassword)
{
    chooseImage(g_images->full);
    EXPECT_TRUE(m_dialog->m_rtWidget3->m_pwdGroup->isVisibleTo(m_dialog->m_rtWidget3));
    chooseImage(g_images->chainNewest);
    EXPECT_FALSE(m_dialog->m_rtWidget3->m_pwdGroup->isVisibleTo(m_dialog->m_rtWidget3));
    EXPECT_TRUE(m_dialog->m_rtWidget1->m_pwdDigest.isEmpty());
    EXPECT_TRUE(m_dialog->m_rtWidget3->m_descEdit->toPlainText().isEmpty() ||
                m_dialog->m_rtWidget3->m_descEdit->toPlainText() == QStringLiteral("Office disk, drive C"));
    MsgBoxAnswers answers(0);  // Cancel the confirmation
    clickThrough(QString());
    EXPECT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes.value(0).title, QStringLiteral("Warning"));
}

// The digest is compared whole: one that starts with a zero byte is not an
// empty digest, so an empty entry must not pass.
TEST_F(RestoreWizardTest, ADigestStartingWithAZeroByteStillNeedsItsPassword)
{
    chooseImage(g_images->zeroDigest);
    ASSERT_EQ(m_dialog->m_rtWidget1->m_pwdDigest.size(), 16);
    EXPECT_EQ(m_dialog->m_rtWidget1->m_pwdDigest.at(0), '\0');
    EXPECT_TRUE(m_dialog->m_rtWidget3->m_pwdGroup->isVisibleTo(m_dialog->m_rtWidget3));

    MsgBoxAnswers answers(0);
    clickThrough(QString());
    EXPECT_EQ(messages(answers), QStringList{"Password Error: The password you entered is wrong.\nType the "
                                             "password the image was made with."});
    answers.boxes.clear();
    m_dialog->m_rtWidget3->m_pwdEdit->setText(QString::fromStdString(g_images->zeroPassword));
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Warning"));  // the confirmation, cancelled
    EXPECT_EQ(m_dialog->worker(), nullptr);
}

TEST_F(RestoreWizardTest, TheTargetTreeIgnoresTheMiddleButton)
{
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    ASSERT_TRUE(pressTarget(target()));
    QTreeView* view = m_dialog->m_rtWidget2->m_treeView;
    const QPoint row = view->visualRect(view->currentIndex()).center();
    QTest::mousePress(view->viewport(), Qt::MiddleButton, Qt::NoModifier, row);
    QTest::mouseRelease(view->viewport(), Qt::MiddleButton, Qt::NoModifier, row);
    EXPECT_TRUE(m_dialog->m_rtWidget2->m_targetPath.isEmpty());
}

// A scripted engine: records the request and answers as the test says.
struct ScriptedEngine {
    static inline tagRestoreArgument lastArg;
    static inline QStringList calls;
    static inline int result = 0;
    static inline bool untilCancelled = false;
    static inline std::atomic<int> started{0};
    // Asks for this volume once before it answers; whether the target was
    // mounted when the request returned lands in targetMountedAfterAsking.
    static inline std::string askFor;
    static inline std::atomic<int> targetMountedAfterAsking{-1};
    static inline std::atomic<int> verifications{0};
    static inline int verifyResult = 0;
    static inline QString verifyNames;

    static int run(const char* name, const tagRestoreArgument& arg, const tagCallBackFunc& cb)
    {
        lastArg = arg;
        calls << QString::fromLatin1(name);
        ++started;
        if (!askFor.empty()) {
            QString path = QString::fromStdString(askFor);
            if (cb.onNextFile(path, cb.context) != 0)
                return ERR_FILE_NOT_FOUND;
            targetMountedAfterAsking =
                RestoreTarget::mountDirectoriesOf(QString::fromStdString(arg.targetPartition)).isEmpty() ? 0
                                                                                                         : 1;
        }
        for (int step = 1; untilCancelled; step = step % 90 + 1) {
            if (cb.onProgress(step, cb.context) != 0) {
                // A job takes a while to wind down after the request.
                QThread::msleep(300);
                return ERR_CANCELLED;
            }
            QThread::msleep(10);
        }
        return result;
    }
    static int restoreNtfs(tagRestoreArgument arg, tagCallBackFunc cb) { return run("ntfs", arg, cb); }
    static int restoreFat32(tagRestoreArgument arg, tagCallBackFunc cb) { return run("fat32", arg, cb); }
    static int restoreMbr(tagRestoreArgument arg, tagCallBackFunc cb) { return run("mbr", arg, cb); }
    // The image check before a restore: counted, and answered as scripted.
    static int verify(tagRestoreArgument, tagCallBackFunc cb)
    {
        ++verifications;
        if (cb.onName)
            cb.onName(verifyNames, cb.context);
        return verifyResult;
    }
    static QuarnEngine engine()
    {
        lastArg = tagRestoreArgument();
        calls.clear();
        result = 0;
        untilCancelled = false;
        started = 0;
        askFor.clear();
        targetMountedAfterAsking = -1;
        verifications = 0;
        verifyResult = 0;
        verifyNames = QStringLiteral("img_0_0.bkp");
        return QuarnEngine{nullptr, nullptr, &restoreNtfs, &restoreFat32, &restoreMbr, &verify};
    }
};

// Disks the prober lists besides the machine's, for as long as it lives or
// until the prober reads the disks again (a restore that ends does).
class ExtraDisk {
public:
    ExtraDisk(const char* diskPath, const char* model, const char* partPath, char letter, bool wholeDisk,
              int kind = DiskKindDisk)
    {
        m_disk = new DiskRecord;
        m_disk->kind = kind;
        m_disk->path = duplicateText(diskPath);
        m_disk->model = duplicateText(model);
        m_disk->sectorSize = 512;
        m_disk->length = 1 << 21;
        auto* part = new PartitionRecord;
        part->disk = m_disk;
        part->path = duplicateText(partPath);
        part->fsName = duplicateText("ntfs");
        part->letter = letter;
        part->wholeDisk = wholeDisk ? 1 : 0;
        part->length = m_disk->length;
        appendPartition(&m_disk->partitions, part);
        DeviceProber::instance()->addDisk(m_disk);
    }
    ~ExtraDisk()
    {
        bool listed = false;
        listed = DeviceProber::instance()->takeDisk(m_disk);
        // A new probe has freed it with the rest of the old list.
        if (listed)
            delete m_disk;
    }

private:
    DiskRecord* m_disk;
};

// The disk of a target comes from the storage layer's partition-name rule,
// so the confirmations name the right drive letter and disk.
TEST_F(RestoreWizardTest, ConfirmationsNameTheTargetsLetterAndDiskForEveryNamingScheme)
{
    const struct {
        const char* disk;
        const char* partition;
        char letter;
    } cases[] = {
        {"/dev/nvme0n1", "/dev/nvme0n1p1", 'K'},
        {"/dev/mmcblk0", "/dev/mmcblk0p1", 'L'},
        {"/dev/sdq", "/dev/sdq12", 'M'},
    };
    for (const auto& c : cases) {
        ExtraDisk extra(c.disk, "Fake Disk Model", c.partition, c.letter, false);
        chooseImage(g_images->full);
        m_dialog->m_rtWidget2->m_targetPath = QString::fromLatin1(c.partition);
        m_dialog->m_rtWidget3->m_pwdEdit->setText(QString::fromLatin1(kPassword));
        m_dialog->showStep3();
        MsgBoxAnswers answers(0);
        QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
        m_dialog->m_rtWidget1->m_partItem->setCheckState(1, Qt::Unchecked);
        m_dialog->m_rtWidget1->m_mbrItem->setCheckState(1, Qt::Checked);
        QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
        // Each question names its partition (letter) and disk (model).
        const QStringList shown = messages(answers);
        ASSERT_EQ(shown.size(), 2) << c.partition;
        EXPECT_TRUE(shown[0].startsWith(
            QStringLiteral("Warning: All data on partition %1:").arg(QChar::fromLatin1(c.letter))))
            << shown[0].toStdString();
        EXPECT_TRUE(shown[1].startsWith(QStringLiteral("Warning: The MBR of disk Fake Disk Model")))
            << shown[1].toStdString();
        EXPECT_EQ(m_dialog->worker(), nullptr);
    }
}

// A volume without a partition table is its disk's first sector onwards:
// boot code written there would overwrite the volume.
TEST_F(RestoreWizardTest, AWholeDiskVolumeIsNeverGivenBootCode)
{
    ExtraDisk extra("/dev/sdw", "Stick", "/dev/sdw", 'N', true);
    m_dialog->setEngine(ScriptedEngine::engine());
    chooseImage(g_images->full);
    m_dialog->m_rtWidget2->m_targetPath = QStringLiteral("/dev/sdw");
    m_dialog->m_rtWidget3->m_pwdEdit->setText(QString::fromLatin1(kPassword));
    m_dialog->m_rtWidget1->m_partItem->setCheckState(1, Qt::Unchecked);
    m_dialog->m_rtWidget1->m_mbrItem->setCheckState(1, Qt::Checked);
    m_dialog->showStep3();
    {
        MsgBoxAnswers answers;
        QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
        EXPECT_EQ(messages(answers), QStringList{"Error: This partition fills its whole disk, which has no "
                                                 "MBR.\nRestore the partition alone."});
        EXPECT_EQ(m_dialog->worker(), nullptr);
    }
    // Partition and MBR rows: the partition is restored, the boot code is not.
    m_dialog->m_rtWidget1->m_partItem->setCheckState(1, Qt::Checked);
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_EQ(ScriptedEngine::calls, QStringList{"ntfs"});
    EXPECT_EQ(ScriptedEngine::lastArg.hasMbr, 0);
    EXPECT_EQ(ScriptedEngine::lastArg.targetPartition, "/dev/sdw");
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Restore succeeded!\n")));
}

TEST_F(RestoreWizardTest, BothRowsRestoreThePartitionWithItsDiskStart)
{
    m_dialog->setEngine(ScriptedEngine::engine());
    chooseImage(g_images->full);
    m_dialog->m_rtWidget1->m_mbrItem->setCheckState(1, Qt::Checked);
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString::fromLatin1(kPassword));
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_EQ(ScriptedEngine::calls, QStringList{"ntfs"});
    EXPECT_EQ(ScriptedEngine::lastArg.hasMbr, 1);
    EXPECT_EQ(ScriptedEngine::lastArg.imagePath, g_images->full);
    EXPECT_TRUE(answers.boxes.value(0).message.startsWith(QStringLiteral("All data on partition ")));
}

TEST_F(RestoreWizardTest, AnMbrRestoreReportsWhatTheEngineReturned)
{
    m_dialog->setEngine(ScriptedEngine::engine());
    ScriptedEngine::result = ERR_WRITE_MBR;
    chooseImage(g_images->full);
    m_dialog->m_rtWidget1->m_partItem->setCheckState(1, Qt::Unchecked);
    m_dialog->m_rtWidget1->m_mbrItem->setCheckState(1, Qt::Checked);
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString::fromLatin1(kPassword));
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_EQ(ScriptedEngine::calls, QStringList{"mbr"});
    EXPECT_EQ(m_dialog->worker()->result(), ERR_WRITE_MBR);
    // The box says what went wrong and what to do.
    EXPECT_EQ(
        answers.boxes.last().title + ": " + answers.boxes.last().message,
        QStringLiteral("Failed: Restore failed!\nThe disk's MBR cannot be written.\nThe disk may be failing "
                       "or write-protected: check it, then try again."));
}

// An image whose place went away after it was chosen (its partition
// unmounted at the end of the last job) is refused when step 2 is left,
// with the reason, and dropped when the first step shows again.
TEST_F(RestoreWizardTest, AnImageThatWentAwayIsRefusedAndDropped)
{
    m_dialog->setEngine(ScriptedEngine::engine());
    testsupport::TempDir place;
    const std::string copy = place.file("gone_0_0.bkp");
    testsupport::WriteFileBytes(copy, testsupport::ReadFileBytes(g_images->full));
    chooseImage(copy);
    ASSERT_FALSE(m_dialog->m_rtWidget1->m_imagePath.isEmpty());
    std::remove(copy.c_str());
    MsgBoxAnswers answers;
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    ASSERT_EQ(m_dialog->state(), RestoreDlg::Step2);
    ASSERT_TRUE(pressTarget(target()));
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    EXPECT_EQ(m_dialog->state(), RestoreDlg::Step2);
    ASSERT_EQ(answers.boxes.size(), 1) << messages(answers).join("\n").toStdString();
    EXPECT_TRUE(answers.boxes[0].message.startsWith(QStringLiteral("The image ")));
    EXPECT_TRUE(answers.boxes[0].message.contains(QStringLiteral("can no longer be read")));
    EXPECT_TRUE(ScriptedEngine::calls.isEmpty());
    EXPECT_EQ(ScriptedEngine::verifications.load(), 0);
    m_dialog->m_rtWidget1->hide();
    m_dialog->m_rtWidget1->show();
    EXPECT_TRUE(m_dialog->m_rtWidget1->m_imagePath.isEmpty());
}

// The image check before the restore: on by default, a refusal names the
// volume at fault and the restore never starts; unchecked, no check runs.
TEST_F(RestoreWizardTest, TheImageIsCheckedBeforeTheTargetIsTouched)
{
    struct Case {
        const char* what;
        bool checkBox;
        int verifyResult;
        int verifications;
        QStringList restores;
        const char* lastBox;
    } cases[] = {
        {"a whole image", true, 0, 1, {"ntfs"}, "Success: Restore succeeded!"},
        {"an image without checksums",
         true,
         VERIFY_NO_DATA_CHECKSUMS,
         1,
         {"ntfs"},
         "Success: Restore succeeded!"},
        {"a damaged image",
         true,
         ERR_DAMAGED_IMAGE,
         1,
         {},
         "Failed: The image is damaged or incomplete: the fault is in img_1_0.bkp. Nothing was written to "
         "the "
         "partition. Restore from another copy of the image, or put its missing volume back."},
        {"the check left out", false, ERR_DAMAGED_IMAGE, 0, {"ntfs"}, "Success: Restore succeeded!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_dialog->setEngine(ScriptedEngine::engine());
        ScriptedEngine::verifyResult = c.verifyResult;
        ScriptedEngine::verifyNames = QStringLiteral("img_1_0.bkp");
        chooseImage(g_images->full);
        EXPECT_TRUE(m_dialog->m_rtWidget3->m_checkImageBox->isChecked()) << "on for every new image";
        EXPECT_FALSE(m_dialog->m_rtWidget3->m_checkImageBox->accessibleName().isEmpty());
        m_dialog->m_rtWidget3->m_checkImageBox->setChecked(c.checkBox);
        MsgBoxAnswers answers;
        QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
        clickThrough(QString::fromLatin1(kPassword));
        ASSERT_TRUE(waitForReturn(returned));
        EXPECT_EQ(ScriptedEngine::verifications.load(), c.verifications);
        EXPECT_EQ(ScriptedEngine::calls, c.restores);
        // The success box goes on with what was restored.
        EXPECT_TRUE((answers.boxes.last().title + ": " + answers.boxes.last().message)
                        .startsWith(QString::fromUtf8(c.lastBox)))
            << answers.boxes.last().message.toStdString();
    }
}

TEST_F(RestoreWizardTest, CancelReturnsToStep3AndTheFailureFollowsWhenTheJobEnds)
{
    m_dialog->setEngine(ScriptedEngine::engine());
    ScriptedEngine::untilCancelled = true;
    chooseImage(g_images->chainNewest);
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString());
    ASSERT_EQ(m_dialog->state(), RestoreDlg::Running);
    EXPECT_EQ(m_dialog->m_preBtn->text(), QStringLiteral("Cancel"));
    EXPECT_FALSE(m_dialog->m_nextBtn->isEnabled());
    EXPECT_FALSE(m_dialog->m_returnBtn->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([] { return ScriptedEngine::started.load() > 0; }, 10000));
    QTest::mouseClick(m_dialog->m_preBtn, Qt::LeftButton);
    EXPECT_EQ(m_dialog->state(), RestoreDlg::Step3);
    EXPECT_EQ(m_dialog->m_nextBtn->text(), QStringLiteral("Start"));
    // No new start while the cancelled job is still ending.
    EXPECT_FALSE(m_dialog->m_nextBtn->isEnabled());
    EXPECT_FALSE(m_dialog->m_returnBtn->isEnabled());
    m_dialog->startRestore();
    EXPECT_EQ(ScriptedEngine::calls.size(), 1);
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_EQ(answers.boxes.last().title, QStringLiteral("Cancelled"));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("The restore was cancelled")));
    EXPECT_EQ(m_dialog->worker()->result(), ERR_CANCELLED);
    EXPECT_EQ(m_dialog->state(), RestoreDlg::Step1);
    EXPECT_TRUE(m_dialog->m_returnBtn->isEnabled());
    EXPECT_TRUE(m_dialog->m_nextBtn->isEnabled());
    // The next visit: Previous in step 2 goes back to step 1.
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    EXPECT_EQ(m_dialog->m_preBtn->text(), QStringLiteral("Previous"));
    QTest::mouseClick(m_dialog->m_preBtn, Qt::LeftButton);
    EXPECT_EQ(m_dialog->state(), RestoreDlg::Step1);
    EXPECT_EQ(ScriptedEngine::calls.size(), 1);
}

TEST_F(RestoreWizardTest, AFat32ImageRestoresThroughTheWizard)
{
    chooseImage(g_images->fat);
    ASSERT_EQ(m_dialog->m_rtWidget1->m_fsCode, FS_TYPE_FAT32);
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString());
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Restore succeeded!\n")));
    const testsupport::CommandResult check = testsupport::CheckFat(target());
    EXPECT_EQ(check.exitCode, 0) << check.output;
    testsupport::TempDir out;
    ASSERT_TRUE(testsupport::ExtractFatTree(target(), out.path()));
    std::string differences;
    EXPECT_TRUE(testsupport::SameTree(g_machine->fatTree(), out.path(), &differences)) << differences;
}

// The file dialogs as the user meets them: the image is picked in the image
// page's dialog, each later volume in the dialog the engine's request opens,
// by opening the images partition's place and the volume's folder.
class FileDialogAnswers : public QObject {
public:
    // Answers each dialog with the file the engine expects, found in `folder`
    // of the place of `device`.
    FileDialogAnswers(QString device, QString folder)
        : m_device(std::move(device)), m_folder(std::move(folder))
    {
        connect(&m_timer, &QTimer::timeout, this, &FileDialogAnswers::poll);
        m_timer.start(20);
    }

    QStringList captions;       // what each dialog asked for
    QStringList opticalPlaces;  // the optical drives each dialog offered

    // Opens the place of `device`, the folder and the file, and presses OK;
    // false when something is not there.
    static bool pick(BrowseForFileDialog& dialog, const QString& device, const QString& folder,
                     const QString& file)
    {
        return backuptest::answerFileDialog(dialog, device, folder + QLatin1Char('/') + file, QString());
    }

private:
    void poll()
    {
        auto* dialog = qobject_cast<BrowseForFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog == m_answered)
            return;
        m_answered = dialog;
        const auto* caption = dialog->findChild<QLabel*>(QStringLiteral("captionLabel"));
        captions << (caption ? caption->text() : QString());
        for (int row = 0; row < dialog->model()->rowCount(); ++row) {
            if (dialog->model()->index(row, 0).data(FilesystemModel::DeviceKindRole).toInt() ==
                DiskKindOptical)
                opticalPlaces << dialog->model()->index(row, 0).data().toString();
        }
        const QString expected = m_expected.isEmpty() ? QString() : m_expected.takeFirst();
        if (!pick(*dialog, m_device, m_folder, expected))
            dialog->reject();
    }

public:
    QStringList m_expected;  // the volumes to pick, in order

private:
    QString m_device;
    QString m_folder;
    QTimer m_timer;
    QPointer<BrowseForFileDialog> m_answered;
};

TEST_F(RestoreWizardTest, ASplitImageRestoresThroughTheFileDialogs)
{
    // A drive for the discs of an image kept on several: each volume
    // request must offer it.
    testsupport::TempDir drive;
    testsupport::WriteFileBytes(drive.file("sr0"), {});
    ExtraDisk optical(drive.file("sr0").c_str(), nullptr, drive.file("sr0").c_str(), 'R', false,
                      DiskKindOptical);
    const QString images = g_machine->partitionPath(BackupMachine::Images);
    MsgBoxAnswers answers;
    QTest::mouseClick(m_dialog->m_rtWidget1->m_browseButton, Qt::LeftButton);
    BrowseForFileDialog* imageDialog = m_dialog->m_rtWidget1->m_fileDialog;
    ASSERT_TRUE(imageDialog->isVisible());
    ASSERT_TRUE(FileDialogAnswers::pick(*imageDialog, images, QStringLiteral("split"),
                                        QStringLiteral("office_0_0.bkp")));
    EXPECT_FALSE(imageDialog->isVisible());
    ASSERT_EQ(m_dialog->m_rtWidget1->m_imagePath.toStdString(), g_images->splitFirst);
    EXPECT_EQ(m_dialog->m_rtWidget1->m_imageDevice, images);
    EXPECT_EQ(m_dialog->m_rtWidget1->m_fileNameEdit->text(), QStringLiteral("office_0_0.bkp"));

    FileDialogAnswers volumes(images, QStringLiteral("split-rest"));
    for (int volume = 1; volume < g_images->splitVolumes; ++volume)
        volumes.m_expected << QStringLiteral("office_%1_0.bkp").arg(volume);
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString());
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Restore succeeded!\n")))
        << messages(answers).join("\n").toStdString();
    EXPECT_EQ(volumes.captions.size(), g_images->splitVolumes - 1);
    EXPECT_EQ(volumes.captions.value(0), QStringLiteral("Please insert next disc 2"));
    EXPECT_EQ(volumes.opticalPlaces.size(), g_images->splitVolumes - 1)
        << volumes.opticalPlaces.join(", ").toStdString();
    EXPECT_EQ(judge(g_machine->ntfsFiles()), "");
}

TEST_F(RestoreWizardTest, F5ProbesAgainAndTheTargetTreeFollows)
{
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    QSignalSpy probed(DeviceProber::instance(), &DeviceProber::probeFinished);
    QSignalSpy reset(m_dialog->m_rtWidget2->m_model, &QAbstractItemModel::modelReset);
    QTest::keyClick(m_dialog.get(), Qt::Key_F5);
    ASSERT_TRUE(probed.count() > 0 || probed.wait(60000));
    ASSERT_TRUE(reset.count() > 0 || reset.wait(10000));
    EXPECT_TRUE(pressTarget(target()));
}

TEST_F(RestoreWizardTest, TheWizardSpeaksChinese)
{
    QTranslator chinese;
    ASSERT_TRUE(chinese.load(frameCatalogPath()));
    QCoreApplication::installTranslator(&chinese);
    {
        RestoreDlg dialog(nullptr, QString());
        EXPECT_EQ(dialog.m_nextBtn->text(), QString::fromUtf8("下一步"));
        EXPECT_EQ(dialog.m_rtWidget1->m_titleLabel->text(), QString::fromUtf8("选择镜像"));
        EXPECT_EQ(dialog.m_rtWidget3->m_pwdGroup->title(), QString::fromUtf8("您必须输入密码才能还原"));
        MsgBoxAnswers answers;
        dialog.show();
        QTest::mouseClick(dialog.m_nextBtn, Qt::LeftButton);
        QTest::mouseClick(dialog.m_nextBtn, Qt::LeftButton);
        QTest::mouseClick(dialog.m_nextBtn, Qt::LeftButton);
        EXPECT_EQ(messages(answers), QStringList{QString::fromUtf8(
                                         "错误: 没有选择镜像文件。\n请选择要还原的镜像的第一个分卷。")});
    }
    QCoreApplication::removeTranslator(&chinese);
}

// The boot code alone leaves the partition be: the image's partition may
// name the disk whose MBR is restored.
TEST_F(RestoreWizardTest, TheMbrAloneMayNameTheDiskThroughTheImagesPartition)
{
    m_dialog->setEngine(ScriptedEngine::engine());
    chooseImage(g_images->full);
    m_dialog->m_rtWidget1->m_partItem->setCheckState(1, Qt::Unchecked);
    m_dialog->m_rtWidget1->m_mbrItem->setCheckState(1, Qt::Checked);
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    ASSERT_TRUE(pressTarget(g_machine->partition(BackupMachine::Images)));
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    m_dialog->m_rtWidget3->m_pwdEdit->setText(QString::fromLatin1(kPassword));
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    QTest::mouseClick(m_dialog->m_nextBtn, Qt::LeftButton);
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_EQ(ScriptedEngine::calls, QStringList{"mbr"});
    EXPECT_EQ(ScriptedEngine::lastArg.targetPartition, g_machine->partition(BackupMachine::Images));
    EXPECT_TRUE(answers.boxes.last().message.startsWith(QStringLiteral("Restore succeeded!\n")));
    EXPECT_FALSE(imagesFolder(*g_machine).empty());
}

// The volume dialog mounts whatever place the user opens, the target's too:
// the job goes on only once that mount is gone again.
TEST_F(RestoreWizardTest, ATargetMountedFromTheVolumeDialogIsUnmountedBeforeTheJobGoesOn)
{
    m_dialog->setEngine(ScriptedEngine::engine());
    ScriptedEngine::askFor = g_machine->scratch("office_1_0.bkp");
    chooseImage(g_images->chainNewest);
    int asked = 0;
    m_dialog->setVolumeChooser([&](QWidget*, const QString&) {
        // The user opens the target's place and first picks a volume there.
        const char* dir = MountTable::instance()->mount(target().c_str(), "ntfs", nullptr, nullptr);
        EXPECT_NE(dir, nullptr);
        FileChoice choice;
        choice.accepted = true;
        if (++asked == 1 && dir) {
            choice.path = QString::fromUtf8(dir) + QStringLiteral("/office_1_0.bkp");
            QFile volume(choice.path);
            EXPECT_TRUE(volume.open(QIODevice::WriteOnly));
        } else {
            choice.path = QString::fromStdString(g_images->full);
        }
        choice.name = QFileInfo(choice.path).fileName();
        return choice;
    });
    MsgBoxAnswers answers;
    QSignalSpy returned(m_dialog.get(), &RestoreDlg::returnMainDlg);
    clickThrough(QString());
    ASSERT_TRUE(waitForReturn(returned));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ScriptedEngine::targetMountedAfterAsking.load(), 0);
    EXPECT_EQ(headlines(answers).mid(1),
              (QStringList{"Error: The image is on this partition, choose another one!",
                           "Success: Restore succeeded!"}));
}

}  // namespace
