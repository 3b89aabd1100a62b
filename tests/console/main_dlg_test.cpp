// The console's main window: layout, hover texts, the start-up box over the
// first probe, keys, opening and leaving the clone wizard, and refusing to
// end while a job runs.
#include "storage/parted_sanitizer_options.h"
#include "programs/rescue/console/backup_dlg.h"
#include "wizard/base_msg_dlg.h"
#include "programs/rescue/console/clone_dlg.h"
#include "platform/linux/device_prober.h"
#include "wizard/event_button.h"
#include "console/frame_console_fixture.h"
#include "programs/rescue/console/main_dlg.h"
#include "programs/rescue/console/restore_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Builds the main window (which waits for the first probe) and records
// every message box it shows.
struct MainWindow {
    MainWindow()
    {
        consoletest::consoleApp();
        dlg = std::make_unique<MainDlg>(QStringLiteral("title"));
    }
    MsgBoxAnswers boxes;
    std::unique_ptr<MainDlg> dlg;
};

int countDisks(DeviceProber* prober)
{
    const DiskList disks = prober->snapshot();
    int count = 0;
    for (const DiskRecord* disk = disks.first(); disk; disk = disk->next)
        ++count;
    return count;
}

TEST(MainDlgStartUp, InitializeBoxCoversTheFirstProbeAndClosesWhenItEnds)
{
    MainWindow main;
    ASSERT_GE(main.boxes.boxes.size(), 1);
    const MsgBoxRecord& box = main.boxes.boxes.first();
    EXPECT_EQ(box.title, QStringLiteral("Initialize"));
    EXPECT_EQ(box.message, QStringLiteral("Probing system devices ......  "));
    EXPECT_EQ(box.iconPath, QStringLiteral(":images/MsgIcon_Info.png"));
    EXPECT_FALSE(box.okButton);
    EXPECT_FALSE(box.cancelButton);
    EXPECT_EQ(box.parent, main.dlg.get());
    // The constructor returned, so the probe's end closed the box; the
    // prober is idle with the demo disks in its list.
    EXPECT_EQ(DeviceProber::instance()->currentState(), DeviceProber::Idle);
    if (consoletest::demoDisksRoot().empty())
        SKIP_OR_FAIL_IN_CI("mkntfs or sfdisk missing: no demo disks");
    EXPECT_EQ(countDisks(DeviceProber::instance()), 2);
}

TEST(MainDlgStartUp, InitializeBoxAlsoClosesWhenTheProbeFindsNothing)
{
    consoletest::consoleApp();
    DeviceProber* prober = DeviceProber::instance();
    prober->setDiskScanner([] { return QStringList(); });
    {
        MainWindow main;
        EXPECT_EQ(countDisks(prober), 0);
        EXPECT_EQ(main.boxes.boxes.first().title, QStringLiteral("Initialize"));
    }
    prober->setDiskScanner(linkedDiskPaths);
    MainWindow again;  // and the demo disks come back for the other tests
}

TEST(MainDlgLayout, ButtonsLabelsAndArrowStandWhereTheyBelong)
{
    MainWindow main;
    MainDlg& dlg = *main.dlg;
    EXPECT_EQ(dlg.size(), QSize(800, 600));
    EXPECT_EQ(dlg.backgroundPath(), QStringLiteral(":images/main_bg.png"));
    EXPECT_TRUE(dlg.titleText().isEmpty());
    const QSize big = QPixmap(QStringLiteral(":images/Back_N.png")).size();
    struct Row {
        EventButton* button;
        const char* name;
        int x;
        const char* tip;
    };
    const Row rows[] = {{dlg.backupButton(), "m_bkButton", 130, "Backup"},
                        {dlg.restoreButton(), "m_rtButton", 330, "Restore"},
                        {dlg.cloneButton(), "m_cloneButton", 530, "Clone Partition"}};
    for (const Row& row : rows) {
        EXPECT_EQ(row.button->objectName(), QString::fromLatin1(row.name));
        EXPECT_EQ(row.button->geometry(), QRect(QPoint(row.x, 125), big)) << row.name;
        EXPECT_EQ(row.button->toolTip(), QString::fromLatin1(row.tip));
        EXPECT_EQ(row.button->accessibleName(), QString::fromLatin1(row.tip));
        EXPECT_TRUE(row.button->text().isEmpty());
    }
    EXPECT_EQ(dlg.quitButton()->geometry(), QRect(615, 510, 140, 34));
    EXPECT_EQ(dlg.quitButton()->text(), QStringLiteral("Quit"));
    EXPECT_EQ(dlg.hoverTitleLabel()->geometry(), QRect(100, 380, 150, 20));
    EXPECT_EQ(dlg.hoverTextLabel()->geometry(), QRect(100, 405, 600, 60));
    EXPECT_EQ(dlg.hoverTitleLabel()->text(), QStringLiteral("Backup"));
    EXPECT_EQ(dlg.hoverTextLabel()->text(), QStringLiteral("Backup partition to image"));
    const QRect arrow = dlg.arrowLabel()->geometry();
    EXPECT_EQ(arrow.left(), 170);
    EXPECT_EQ(arrow.top() + arrow.height(), 327);
    // Captions under the buttons.
    QStringList captions;
    for (QLabel* label : dlg.findChildren<QLabel*>()) {
        if (label->y() == big.height() + 135)
            captions << label->text();
    }
    captions.sort();
    EXPECT_EQ(captions, QStringList({QStringLiteral("Backup"), QStringLiteral("Clone Partition"),
                                     QStringLiteral("Restore")}));
}

TEST(MainDlgHover, EnteringAButtonMovesTheArrowAndSetsItsTexts)
{
    MainWindow main;
    MainDlg& dlg = *main.dlg;
    struct Row {
        EventButton* button;
        int arrowLeft;
        const char* title;
        const char* text;
    };
    const Row rows[] = {
        {dlg.restoreButton(), 370, "Restore Partition",
         "You can restore a partition from an image that you backed up before!"},
        {dlg.cloneButton(), 570, "Clone Partition",
         "You can choose a partition to clone to another partition!"},
        {dlg.backupButton(), 170, "Backup Partition",
         "Back up your partition to an image; you can restore your partition from this image!"},
    };
    for (const Row& row : rows) {
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(row.button, &enter);
        EXPECT_EQ(dlg.arrowLabel()->x(), row.arrowLeft);
        EXPECT_EQ(dlg.arrowLabel()->geometry().bottom() + 1, 327);
        EXPECT_EQ(dlg.hoverTitleLabel()->text(), QString::fromLatin1(row.title));
        EXPECT_EQ(dlg.hoverTextLabel()->text(), QString::fromLatin1(row.text));
    }
}

TEST(MainDlgKeys, AltMEndsWithTwoOtherModifiersOrPlainMDoNothing)
{
    MainWindow main;
    MainDlg& dlg = *main.dlg;
    dlg.show();
    QTest::keyRelease(&dlg, Qt::Key_M);
    QTest::keyRelease(&dlg, Qt::Key_M, Qt::AltModifier | Qt::ShiftModifier);
    QTest::keyRelease(&dlg, Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(dlg.isVisible());
    QSignalSpy finished(&dlg, &QDialog::finished);
    QTest::keyRelease(&dlg, Qt::Key_M, Qt::AltModifier);
    EXPECT_FALSE(dlg.isVisible());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.first().first().toInt(), 2);
}

TEST(MainDlgKeys, EscapeLeavesTheConsoleRunning)
{
    MainWindow main;
    main.dlg->show();
    QSignalSpy finished(main.dlg.get(), &QDialog::finished);
    QTest::keyClick(main.dlg.get(), Qt::Key_Escape);
    EXPECT_TRUE(main.dlg->isVisible());
    EXPECT_EQ(finished.count(), 0);
}

TEST(MainDlgKeys, F5ProbesAgain)
{
    MainWindow main;
    main.dlg->show();
    QSignalSpy probed(DeviceProber::instance(), &DeviceProber::probeFinished);
    QTest::keyRelease(main.dlg.get(), Qt::Key_F5);
    EXPECT_TRUE(probed.wait(20000));
}

TEST(MainDlgWizards, EachWizardReplacesTheMainWindowAndComesBack)
{
    MainWindow main;
    MainDlg& dlg = *main.dlg;
    dlg.show();
    ASSERT_TRUE(dlg.backupDlg() && dlg.restoreDlg() && dlg.cloneDlg());
    struct Row {
        EventButton* open;
        BaseDlg* wizard;
        QPushButton* back;
    };
    const Row rows[] = {
        {dlg.backupButton(), dlg.backupDlg(), dlg.backupDlg()->returnButton()},
        {dlg.restoreButton(), dlg.restoreDlg(), dlg.restoreDlg()->m_returnBtn},
        {dlg.cloneButton(), dlg.cloneDlg(), dlg.cloneDlg()->returnButton()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.wizard->metaObject()->className());
        EXPECT_EQ(row.wizard->parentWidget(), &dlg);
        QTest::mouseClick(row.open, Qt::LeftButton);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_TRUE(row.wizard->isVisible());
        QTest::mouseClick(row.back, Qt::LeftButton);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_FALSE(row.wizard->isVisible());
        // The same wizard object again; closing it also comes back.
        QTest::mouseClick(row.open, Qt::LeftButton);
        EXPECT_TRUE(row.wizard->isVisible());
        row.wizard->close();
        EXPECT_FALSE(row.wizard->isVisible());
        EXPECT_TRUE(dlg.isVisible());
    }
    EXPECT_EQ(dlg.backupDlg(), rows[0].wizard);
    EXPECT_EQ(dlg.restoreDlg(), rows[1].wizard);
    EXPECT_EQ(dlg.cloneDlg(), rows[2].wizard);
}

// A thread that stands for a wizard's running engine job.
class HeldJob : public QThread {
public:
    using QThread::QThread;
    QSemaphore release;
    void run() override { release.acquire(); }
};

TEST(MainDlgEnd, QuitAndAltMAreRefusedWhileAJobRuns)
{
    MainWindow main;
    MainDlg& dlg = *main.dlg;
    dlg.show();
    auto* job = new HeldJob(dlg.cloneDlg());
    job->start();
    const int before = main.boxes.boxes.size();

    QTest::mouseClick(dlg.quitButton(), Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible());
    QTest::keyRelease(&dlg, Qt::Key_M, Qt::AltModifier);
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(main.boxes.boxes.size(), before + 2);
    EXPECT_EQ(main.boxes.boxes.last().title, QStringLiteral("Warning"));
    EXPECT_EQ(main.boxes.boxes.last().parent, &dlg);

    job->release.release();
    job->wait();
    QTest::mouseClick(dlg.quitButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(main.boxes.boxes.size(), before + 2);
}

}  // namespace
