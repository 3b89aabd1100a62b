// The clone wizard end to end, offscreen and in one process: a user picks
// the source and the destination in the trees of a fake disk whose
// partitions are real file systems, Start runs the real engine on the
// wizard's worker, and ntfs-3g's tools (or dosfstools and mtools) judge the
// destination against the source's files. The refusals a user meets on the
// way are shown in words.
#include "console/backup_machine.h"
#include "wizard/base_msg_dlg.h"
#include "programs/rescue/console/clone_dlg.h"
#include "programs/rescue/console/clone_widgets.h"
#include "console/clone_wizard_driver.h"
#include "platform/linux/device_prober.h"
#include "support/fat_fixture.h"
#include "platform/linux/mount_table.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_restore_fixture.h"
#include "programs/rescue/console/restore_target.h"
#include "support/shared_fixture.h"
#include "storage_ui/tree_model.h"

#include "storage/parted_sanitizer_options.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <gtest/gtest.h>

#include <memory>

namespace {

using backuptest::BackupMachine;
using clonetest::click;
using clonetest::clickRow;
using testsupport::Quote;

QUARN_SHARED_FIXTURE(backuptest::saveFreshMachine)

QStringList boxTexts(const MsgBoxAnswers& answers)
{
    QStringList texts;
    for (const MsgBoxRecord& box : answers.boxes)
        texts << box.title + QStringLiteral(": ") + box.message;
    return texts;
}

class CloneEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = backuptest::missingTool();
        if (!missing.empty())
            SKIP_OR_FAIL_IN_CI(missing << " is not available");
        if (!testsupport::HaveProgram("fsck.fat") || !testsupport::HaveProgram("ntfsfix"))
            SKIP_OR_FAIL_IN_CI("fsck.fat or ntfsfix is not available");
        const testsupport::SharedFixtureFolder& saved =
            testsupport::SharedFixture(&backuptest::saveFreshMachine);
        ASSERT_EQ(saved.error, "");
        machine.reset(new BackupMachine(saved.path));
        ASSERT_TRUE(machine->ok()) << machine->log();
        wizard.reset(new CloneDlg(QString(), nullptr));
        wizard->show();
        ASSERT_TRUE(machine->probe());
    }
    void TearDown() override
    {
        wizard.reset();
        if (machine)
            machine->unmountAll();
    }

    QString path(int partition) const { return machine->partitionPath(partition); }

    // Step 1 and step 2 as a user makes them, then step 3.
    void choose(int source, int destination)
    {
        ASSERT_TRUE(clickRow(*wizard->page1(), path(source)));
        ASSERT_EQ(wizard->page1()->chosen().plan.path, path(source));
        click(wizard->nextButton());
        ASSERT_EQ(wizard->state(), CloneDlg::Step2) << boxTexts(answers).join("|").toStdString();
        ASSERT_TRUE(clickRow(*wizard->page2(), path(destination)));
        ASSERT_EQ(wizard->page2()->chosen().plan.path, path(destination))
            << wizard->page2()->reasonLabel()->text().toStdString();
        click(wizard->nextButton());
        ASSERT_EQ(wizard->state(), CloneDlg::Step3) << boxTexts(answers).join("|").toStdString();
    }

    // The label the source tree shows for a partition now.
    QString listedName(int partition) const
    {
        const QAbstractItemModel& model = *wizard->page1()->treeView()->model();
        const QModelIndex row = clonetest::rowOf(model, path(partition));
        return row.sibling(row.row(), TreeModel::NameColumn).data().toString();
    }

    std::unique_ptr<BackupMachine> machine;
    std::unique_ptr<CloneDlg> wizard;
    MsgBoxAnswers answers;
};

// NTFS onto NTFS, with the hibernation file left out and the page file
// copied; the console's own mount of the destination goes first.
TEST_F(CloneEndToEnd, AnNtfsPartitionIsCopiedOntoAnotherThroughTheWizard)
{
    const std::string source = machine->partition(BackupMachine::NtfsSource);
    const std::string destination = machine->partition(BackupMachine::Target);
    std::vector<testsupport::NtfsFileSpec> files = machine->ntfsFiles();
    const testsupport::NtfsFileSpec pagefile{"pagefile.sys", testsupport::PatternBytes(300000, 21)};
    const testsupport::NtfsFileSpec hiberfil{"hiberfil.sys", testsupport::PatternBytes(400000, 22)};
    std::string log;
    testsupport::Run("mkdir -p " + Quote(machine->scratch("sys-files")));
    for (const auto& file : {pagefile, hiberfil})
        ASSERT_TRUE(
            testsupport::NtfsCopyIn(source, machine->scratch("sys-files"), "/" + file.path, file.data, &log))
            << log;
    files.push_back(pagefile);
    ASSERT_TRUE(machine->probe());  // the source's used space as it is now

    // The file browser opened the destination: the console mounted it.
    const QByteArray native = QFile::encodeName(path(BackupMachine::Target));
    ASSERT_NE(MountTable::instance()->mount(native.constData(), "ntfs", nullptr, nullptr), nullptr);
    ASSERT_FALSE(RestoreTarget::mountDirectoriesOf(path(BackupMachine::Target)).isEmpty());

    choose(BackupMachine::NtfsSource, BackupMachine::Target);
    wizard->page3()->hibnateCheckBox()->setChecked(true);
    ASSERT_TRUE(clonetest::startAndWait(*wizard)) << boxTexts(answers).join("|").toStdString();
    ASSERT_EQ(answers.boxes.size(), 2) << boxTexts(answers).join("|").toStdString();
    EXPECT_TRUE(answers.boxes[0].message.contains(QStringLiteral("TARGET")))
        << boxTexts(answers).join("|").toStdString();
    EXPECT_EQ(answers.boxes[1].title, QStringLiteral("Success")) << boxTexts(answers).join("|").toStdString();
    EXPECT_TRUE(answers.boxes[1].message.startsWith(QStringLiteral("Clone succeeded!\n")));
    EXPECT_TRUE(RestoreTarget::mountDirectoriesOf(path(BackupMachine::Target)).isEmpty());

    EXPECT_EQ(testsupport::NtfsCheckProblems(destination), "");
    EXPECT_EQ(testsupport::CompareNtfsFiles(destination, files), "");
    // The hibernation file stays, without its data.
    std::vector<uint8_t> hibernation;
    ASSERT_TRUE(testsupport::NtfsCat(destination, "/hiberfil.sys", &hibernation));
    EXPECT_EQ(hibernation.size(), hiberfil.data.size());
    EXPECT_NE(hibernation, hiberfil.data);
    EXPECT_EQ(testsupport::NtfsCheckProblems(source), "");

    // The lists read the disks again: the destination now bears the
    // source's label.
    QTRY_VERIFY_WITH_TIMEOUT(listedName(BackupMachine::Target).contains(QStringLiteral("SYSTEM")), 10000);
}

TEST_F(CloneEndToEnd, AFat32PartitionIsCopiedOntoAnNtfsOne)
{
    const std::string destination = machine->partition(BackupMachine::Target);
    choose(BackupMachine::FatSource, BackupMachine::Target);
    ASSERT_TRUE(clonetest::startAndWait(*wizard)) << boxTexts(answers).join("|").toStdString();
    ASSERT_EQ(answers.boxes.size(), 2) << boxTexts(answers).join("|").toStdString();
    EXPECT_EQ(answers.boxes[1].title, QStringLiteral("Success")) << boxTexts(answers).join("|").toStdString();
    const testsupport::CommandResult check = testsupport::CheckFat(destination);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const std::string copied = machine->scratch("fat-cloned");
    ASSERT_TRUE(testsupport::ExtractFatTree(destination, copied));
    std::string differences;
    EXPECT_TRUE(testsupport::SameTree(machine->fatTree(), copied, &differences)) << differences;
}

// A FAT16 partition is listed but not taken as a source, with its reason.
TEST_F(CloneEndToEnd, AFat16PartitionIsNoSource)
{
    ClonePartitionPage& page = *wizard->page1();
    ASSERT_TRUE(clickRow(page, path(BackupMachine::Fat16)));
    EXPECT_TRUE(page.chosen().plan.path.isEmpty());
    EXPECT_TRUE(page.reasonLabel()->text().endsWith(QStringLiteral("cannot be chosen: not NTFS or FAT32")))
        << page.reasonLabel()->text().toStdString();
    click(wizard->nextButton());
    EXPECT_EQ(wizard->state(), CloneDlg::Step1);
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_TRUE(answers.boxes[0].message.startsWith(QStringLiteral("No source partition is chosen.")));
}

// Another program's mount of the destination is not the console's to end:
// the clone is refused in words and nothing is written.
TEST_F(CloneEndToEnd, ADestinationMountedByAnotherProgramIsRefused)
{
    const std::string destination = machine->partition(BackupMachine::Target);
    const std::string directory = machine->scratch("elsewhere");
    testsupport::Run("mkdir -p " + Quote(directory));
    const testsupport::CommandResult mounted =
        testsupport::Run("mount -t ntfs-3g -o ro " + Quote(destination) + " " + Quote(directory) + " 2>&1");
    ASSERT_EQ(mounted.exitCode, 0) << mounted.output;
    const std::vector<uint8_t> before = testsupport::ReadFileBytes(destination);

    choose(BackupMachine::NtfsSource, BackupMachine::Target);
    click(wizard->nextButton());  // Start
    EXPECT_FALSE(wizard->jobActive());
    ASSERT_EQ(answers.boxes.size(), 2) << boxTexts(answers).join("|").toStdString();
    EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(answers.boxes[1].title, QStringLiteral("Error"));
    EXPECT_TRUE(answers.boxes[1].message.contains(QStringLiteral("is mounted by another program")))
        << answers.boxes[1].message.toStdString();
    EXPECT_TRUE(answers.boxes[1].message.contains(QStringLiteral("Unmount it first")));
    EXPECT_EQ(wizard->state(), CloneDlg::Step3);
    EXPECT_FALSE(RestoreTarget::mountDirectoriesOf(path(BackupMachine::Target)).isEmpty());
    testsupport::Run("umount " + Quote(directory) + " 2>&1");
    EXPECT_TRUE(testsupport::ReadFileBytes(destination) == before);
}

}  // namespace
