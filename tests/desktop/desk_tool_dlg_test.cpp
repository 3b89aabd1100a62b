// The tools dialog on a simulated machine: the boot-entry page flips its
// state only when the action worked; the recovery page scans an ntfs-3g
// volume with a file deleted through a mount, refuses to save onto the
// scanned drive whatever the letter's case, recovers the file byte for byte
// onto another drive, and forgets the picked file when a new scan starts.
#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_boot_entry.h"
#include "programs/desktop/desk_file_dialogs.h"
#include "desktop/desk_machine.h"
#include "programs/desktop/desk_main_dlg.h"
#include "programs/desktop/desk_settings.h"
#include "programs/desktop/desk_startup.h"
#include "desktop/desk_test_app.h"
#include "programs/desktop/desk_tool_dlg.h"
#include "programs/desktop/desk_tool_widget1.h"
#include "programs/desktop/desk_tool_widget2.h"
#include "support/ntfs_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <sys/stat.h>

using namespace testsupport;

namespace {

QStringList messagesOf(const MsgBoxAnswers& answers)
{
    QStringList texts;
    for (const MsgBoxRecord& box : answers.boxes)
        texts << box.title + ": " + box.message;
    return texts;
}

struct Version {
    explicit Version() { desk::forgetWindowsVersion(); }
    ~Version() { desk::forgetWindowsVersion(); }
};

TEST(ToolWidget1Test, InstallStateFlipsOnlyWhenTheActionWorked)
{
    desktest::testApp();
    desktest::DeskMachine machine("Version=6.1\nProductType=1\n");  // Windows 7: the bcdedit route
    Version version;
    ASSERT_TRUE(machine.ok);
    desk::ToolWidget1 page;
    EXPECT_EQ(page.osLabel()->text(), "Windows 7");
    EXPECT_EQ(page.makeButton()->text(), "Install");
    EXPECT_EQ(page.installLabel()->text(), "No");
    EXPECT_FALSE(page.uninstallRadio()->isEnabled());

    // No bcdedit on this machine: the install fails and says so.
    MsgBoxAnswers answers;
    page.makeButton()->click();
    EXPECT_EQ(messagesOf(answers), QStringList({"Error: Run bcdedit failed!"}));
    EXPECT_EQ(desk::readSetting(desk::kInstallKey).toInt(), 0);
    EXPECT_EQ(page.makeButton()->text(), "Install");
    EXPECT_EQ(page.installLabel()->text(), "No");
    EXPECT_TRUE(page.installRadio()->isChecked());
}

TEST(ToolWidget1Test, BootIniInstallAndUninstallThroughTheButton)
{
    desktest::testApp();
    desktest::DeskMachine machine("Version=5.1\nProductType=1\n");  // XP: the boot.ini route
    Version version;
    ASSERT_TRUE(machine.ok);
    const std::string data = machine.host("fs/c/Program Files/Sorvik/data");
    std::filesystem::create_directories(data);
    WriteFileBytes(data + "/sorvik2_cn.iso", PatternBytes(5000, 1));
    WriteFileBytes(data + "/Qomra", PatternBytes(3000, 2));
    const std::vector<uint8_t> ini = PatternBytes(0, 0);
    const std::string text = "[boot loader]\r\ntimeout=30\r\n";
    WriteFileBytes(machine.host("fs/c/boot.ini"), std::vector<uint8_t>(text.begin(), text.end()));

    desk::ToolWidget1 page;
    MsgBoxAnswers answers;
    page.makeButton()->click();
    EXPECT_TRUE(answers.boxes.isEmpty()) << messagesOf(answers).join('\n').toStdString();
    EXPECT_EQ(desk::readSetting(desk::kInstallKey).toInt(), 1);
    EXPECT_EQ(page.makeButton()->text(), "Uninstall");
    EXPECT_EQ(page.installLabel()->text(), "Yes");
    EXPECT_TRUE(page.uninstallRadio()->isChecked());
    EXPECT_FALSE(page.installRadio()->isEnabled());
    EXPECT_TRUE(FileExists(machine.host("fs/c/Qomra")));

    page.makeButton()->click();
    EXPECT_TRUE(answers.boxes.isEmpty()) << messagesOf(answers).join('\n').toStdString();
    EXPECT_EQ(desk::readSetting(desk::kInstallKey).toInt(), 0);
    EXPECT_EQ(page.makeButton()->text(), "Install");
    EXPECT_FALSE(FileExists(machine.host("fs/c/Qomra")));
    const std::vector<uint8_t> after = ReadFileBytes(machine.host("fs/c/boot.ini"));
    EXPECT_EQ(std::string(after.begin(), after.end()), text);
}

TEST(ToolDlgTest, StepLabelsSwitchPagesAndReturnGoesBack)
{
    desktest::testApp();
    desktest::DeskMachine machine;
    Version version;
    desk::ToolDlg dialog;
    dialog.show();
    EXPECT_TRUE(dialog.page1()->isVisible());
    EXPECT_FALSE(dialog.page2()->isVisible());
    QTest::mousePress(&dialog, Qt::LeftButton, Qt::NoModifier, QPoint(100, 200));
    EXPECT_FALSE(dialog.page1()->isVisible());
    EXPECT_TRUE(dialog.page2()->isVisible());
    EXPECT_EQ(dialog.arrow()->y(), 198);
    QTest::mousePress(&dialog, Qt::LeftButton, Qt::NoModifier, QPoint(100, 130));
    EXPECT_TRUE(dialog.page1()->isVisible());
    EXPECT_EQ(dialog.arrow()->y(), 108);
    QSignalSpy back(&dialog, &desk::ToolDlg::returnMainDlg);
    dialog.returnButton()->click();
    EXPECT_EQ(back.count(), 1);
    // The three NTFS drives of the machine are offered for a scan.
    EXPECT_EQ(dialog.page2()->partitionCombo()->count(), 3);
    EXPECT_EQ(dialog.page2()->chosenLetter(), 'c');
}

TEST(ToolDlgTest, InstalledIntoTheMainWindow)
{
    desktest::testApp();
    desktest::DeskMachine machine;
    Version version;
    desk::installTools();
    desk::MainDlg main;
    main.showToolWidget();  // built as it opens
    EXPECT_NE(qobject_cast<desk::ToolDlg*>(main.toolsDlg()), nullptr);
    desk::MainDlg::setToolsMaker(nullptr);
}

// Waits for the scan's end box, answering it.
void runScan(desk::ToolWidget2& page, MsgBoxAnswers& answers)
{
    const int boxes = answers.boxes.size();
    page.scanButton()->click();
    for (int i = 0; i < 3000 && answers.boxes.size() == boxes; ++i)
        QTest::qWait(10);
}

TEST(ToolWidget2Test, ScanPickAndRecoverAFileDeletedByNtfs3g)
{
    desktest::testApp();
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("an ntfs-3g mount does not work here");
    desktest::DeskMachine machine;
    Version version;
    ASSERT_TRUE(machine.ok);
    TempDir dir;
    const std::string part = dir.file("e");
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(part, desktest::kPartBytes, &log)) << log;
    const std::vector<uint8_t> lost = PatternBytes(200000, 21);
    {
        NtfsMount mount(part, dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        WriteFileBytes(mount.path() + "/lost.bin", lost);
        ASSERT_TRUE(std::filesystem::remove(mount.path() + "/lost.bin"));
        ASSERT_TRUE(mount.Unmount());
    }
    ASSERT_TRUE(machine.storePartition(3, part));

    desk::ToolWidget2 page;
    page.resize(530, 400);
    page.show();
    page.partitionCombo()->setCurrentIndex(2);
    ASSERT_EQ(page.chosenLetter(), 'e');
    MsgBoxAnswers answers;
    runScan(page, answers);
    ASSERT_EQ(messagesOf(answers), QStringList({"Success: Scan success!"}));
    QAbstractItemModel* model = page.treeView()->model();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "MFTNo");
    int row = -1;
    for (int r = 0; r < model->rowCount(); ++r) {
        if (model->index(r, 1).data().toString() == "lost.bin")
            row = r;
    }
    ASSERT_GE(row, 0);
    EXPECT_EQ(model->index(row, 4).data().toString(), "100%");

    // A right press picks the row and offers "Save As".
    page.treeView()->scrollTo(model->index(row, 0));
    const QRect rect = page.treeView()->visualRect(model->index(row, 1));
    QTest::mousePress(page.treeView()->viewport(), Qt::RightButton, Qt::NoModifier, rect.center());
    QTest::mouseRelease(page.treeView()->viewport(), Qt::RightButton, Qt::NoModifier, rect.center());
    EXPECT_EQ(page.pickedRecord(), model->index(row, 0).data().toString().toLong());
    EXPECT_TRUE(page.treeView()->actions().contains(page.saveAsAction()));
    EXPECT_EQ(page.treeView()->contextMenuPolicy(), Qt::ActionsContextMenu);

    // Onto the scanned drive, in either case: refused, nothing written.
    QString target;
    desk::FileChooser previous = desk::setFileChooser([&](QWidget*, const desk::FileRequest& request) {
        EXPECT_EQ(request.kind, desk::FileRequest::SaveFile);
        return target;
    });
    for (const char* onScanned : {"e:\\lost.bin", "E:\\lost.bin"}) {
        target = onScanned;
        answers.boxes.clear();
        page.recoverButton()->click();
        EXPECT_EQ(messagesOf(answers),
                  QStringList({"Error: You can't save the file to the scan partition!"}));
    }
    // Onto D: the file comes back whole.
    target = "D:\\lost.bin";
    answers.boxes.clear();
    page.saveAsAction()->trigger();
    EXPECT_EQ(messagesOf(answers), QStringList({"Success: Recover success!"}));
    EXPECT_EQ(ReadFileBytes(machine.host("fs/d/lost.bin")), lost);

    // A new scan forgets the pick; Recover then does nothing.
    answers.boxes.clear();
    runScan(page, answers);
    EXPECT_EQ(page.pickedRecord(), -1);
    answers.boxes.clear();
    target = "D:\\again.bin";
    page.recoverButton()->click();
    EXPECT_TRUE(answers.boxes.isEmpty());
    EXPECT_FALSE(FileExists(machine.host("fs/d/again.bin")));
    desk::setFileChooser(previous);
}

}  // namespace
