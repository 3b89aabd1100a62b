// Every window and page of the desktop program on the simulated machine, in
// English and in Chinese: drawn into PNG files (into DESK_SCREENSHOT_DIR
// when it is set, so that scripts/screenshots keeps them) and checked as
// drawn: no text below 4.5:1 contrast against what lies behind it, and a
// useful accessible name on every window, button and input.
#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_backup_dlg.h"
#include "programs/desktop/desk_bk_widget1.h"
#include "programs/desktop/desk_just_backup_dlg.h"
#include "programs/desktop/desk_lang_dlg.h"
#include "desktop/desk_machine.h"
#include "programs/desktop/desk_main_dlg.h"
#include "wizard/bk_widget3.h"
#include "programs/desktop/desk_restore_dlg.h"
#include "programs/desktop/desk_rt_widget1.h"
#include "programs/desktop/desk_rt_widget2.h"
#include "support/ntfs_fixture.h"
#include "support/test_support.h"
#include "programs/desktop/desk_settings.h"
#include "programs/desktop/desk_startup.h"
#include "desktop/desk_test_app.h"
#include "programs/desktop/desk_tool_dlg.h"
#include "programs/desktop/desk_tree_model.h"
#include "desktop/desk_wizard_driver.h"
#include "wizard/start_bk_widget.h"
#include "wizard/window_checks.h"

#include <QDir>
#include <QTreeWidgetItem>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

using desktest::DeskMachine;

class Shots {
public:
    explicit Shots(const QString& language) : m_language(language)
    {
        const QByteArray kept = qgetenv("DESK_SCREENSHOT_DIR");
        m_dir = kept.isEmpty() ? QString::fromStdString(m_temp.path()) : QString::fromLocal8Bit(kept);
        m_dir += QLatin1Char('/') + language;
        QDir().mkpath(m_dir);
    }

    // Draws `window` as it is shown now, saves it and checks the picture.
    void take(QWidget& window, const QString& name)
    {
        window.show();
        QApplication::processEvents();
        const QImage shot = window.grab().toImage();
        EXPECT_TRUE(shot.save(m_dir + QLatin1Char('/') + name + QStringLiteral(".png")))
            << name.toStdString();
        const QStringList problems = WindowChecks::lowContrastTexts(&window, shot) +
                                     WindowChecks::unnamedControls(&window) +
                                     WindowChecks::cutColumns(&window);
        EXPECT_EQ(problems.join(QLatin1Char('\n')).toStdString(), "")
            << m_language.toStdString() << " " << name.toStdString();
    }

private:
    QString m_language;
    testsupport::TempDir m_temp;
    QString m_dir;
};

// A real image of C: (an NTFS partition made by mkntfs) in D:\\Images, and
// what only an image shows: the restore wizard's three steps, and the
// success, replace, erase, MBR and error boxes.
void drawImageWindows(DeskMachine& machine, Shots& shots,
                      const std::function<void(const QString&, int)>& expectBox, const QString& pendingBox)
{
    if (!testsupport::HaveNtfsTools())
        SKIP_OR_FAIL_IN_CI("ntfs-3g's tools are missing");
    testsupport::TempDir work;
    const std::string system = work.file("system.part");
    std::string log;
    ASSERT_TRUE(testsupport::MakeNtfsPartition(system, desktest::kPartBytes, &log)) << log;
    ASSERT_TRUE(testsupport::FillNtfsPartition(system, work.path(),
                                               {{"readme.txt", testsupport::PatternBytes(3000, 1)}}, &log))
        << log;
    ASSERT_TRUE(machine.storePartition(1, system));
    machine.writeDiskBytes(0, testsupport::PatternBytes(440, 77));
    const auto backUp = [&](const QString& box, int answer) {
        desk::BackupDlg backup;
        backup.show();
        desktest::pressLetter(backup.page1()->treeView(), *backup.page1()->model(), 'c');
        desktest::click(backup.nextButton());
        desktest::click(backup.nextButton());
        expectBox(box, answer);
        desktest::click(backup.nextButton());
        // The job's end raises its box.
        EXPECT_TRUE(desktest::waitUntil([&] { return pendingBox.isEmpty(); }, 120000)) << box.toStdString();
        desktest::waitUntil([&] { return !(backup.worker() && backup.worker()->isRunning()); }, 120000);
    };
    backUp(QStringLiteral("box_backup_succeeded"), 1);
    backUp(QStringLiteral("box_replace_question"), 0);

    desk::RestoreDlg restore;
    restore.show();
    shots.take(restore, QStringLiteral("restore_step1_image"));
    desktest::click(restore.nextButton());
    shots.take(restore, QStringLiteral("restore_step2"));
    // On without a target: the error box, at step 2 or at Start.
    expectBox(QStringLiteral("box_error_no_target"), 1);
    desktest::click(restore.nextButton());
    if (restore.currentStep() == 3) {
        desktest::click(restore.nextButton());
        desktest::click(restore.previousButton());
    }
    desktest::pressLetter(restore.page2()->treeView(), *restore.page2()->model(), 'e');
    shots.take(restore, QStringLiteral("restore_step2_chosen"));
    desktest::click(restore.nextButton());
    shots.take(restore, QStringLiteral("restore_step3"));
    expectBox(QStringLiteral("box_erase_question"), 0);
    desktest::click(restore.nextButton());
    // The disk start alone: the MBR question.
    desktest::click(restore.previousButton());
    desktest::click(restore.previousButton());
    if (restore.page1()->mbrItem()) {
        restore.page1()->partItem()->setCheckState(1, Qt::Unchecked);
        restore.page1()->mbrItem()->setCheckState(1, Qt::Checked);
    }
    desktest::click(restore.nextButton());
    desktest::click(restore.nextButton());
    expectBox(QStringLiteral("box_mbr_question"), 0);
    desktest::click(restore.nextButton());
}

void drawEveryWindow(const QString& language)
{
    DeskMachine machine;
    desk::writeSetting(desk::kDstPathKey, "D:\\Images");
    Shots shots(language);

    // The boxes the windows raise are drawn, then answered: with OK, or
    // with the answer asked for the next one (Cancel leaves the disks alone).
    int boxNumber = 0;
    QString nextBox;
    int nextAnswer = 1;
    const auto expectBox = [&](const QString& name, int answer) {
        nextBox = name;
        nextAnswer = answer;
    };
    BaseMsgDlg::setExecHook([&](BaseMsgDlg& box) {
        const QString name =
            nextBox.isEmpty() ? QStringLiteral("box_%1").arg(++boxNumber, 2, 10, QLatin1Char('0')) : nextBox;
        const int answer = box.hasCancelButton() ? nextAnswer : 1;
        nextBox.clear();
        nextAnswer = 1;
        shots.take(box, name);
        return answer;
    });

    desk::installTools();
    {
        desk::MainDlg main;
        shots.take(main, QStringLiteral("main_window"));
        main.showRt();
        shots.take(main, QStringLiteral("main_window_restore_hover"));
        main.showTools();
        shots.take(main, QStringLiteral("main_window_tools_hover"));
        main.hide();
    }
    {
        desk::BackupDlg backup;
        shots.take(backup, QStringLiteral("backup_step1"));
        desktest::pressLetter(backup.page1()->treeView(), *backup.page1()->model(), 'c');
        shots.take(backup, QStringLiteral("backup_step1_chosen"));
        desktest::click(backup.nextButton());
        shots.take(backup, QStringLiteral("backup_step2"));
        desktest::click(backup.nextButton());
        shots.take(backup, QStringLiteral("backup_step3"));
        backup.page3()->hide();
        backup.progressPage()->show();
        shots.take(backup, QStringLiteral("backup_progress"));
        // A job under way, and its end under the success box.
        StartBkWidget* page = backup.progressPage();
        page->recvTotalUsedBytes(100 << 20);
        page->displayState(QStringLiteral("Backing up partition ..."));
        page->processBytes(37 << 20);
        page->updateSpendTime();
        shots.take(backup, QStringLiteral("backup_progress_running"));
        page->finish();
        page->showSucceeded();
        shots.take(backup, QStringLiteral("backup_progress_succeeded"));
    }
    {
        desk::RestoreDlg restore;
        shots.take(restore, QStringLiteral("restore_step1"));
        restore.page1()->hide();
        restore.progressPage()->show();
        shots.take(restore, QStringLiteral("restore_progress"));
    }
    drawImageWindows(machine, shots, expectBox, nextBox);
    {
        desk::ToolDlg tools;
        shots.take(tools, QStringLiteral("tools_step1"));
        tools.showStep2();
        shots.take(tools, QStringLiteral("tools_step2"));
    }
    {
        desk::JustBackupDlg oneDrive(QStringLiteral("C:\\"));
        shots.take(oneDrive, QStringLiteral("one_drive_backup"));
    }
    {
        desk::langDlg lang;
        shots.take(lang, QStringLiteral("language_dialog"));
    }
    BaseMsgDlg::setExecHook(BaseMsgDlg::ExecHook());
    desk::MainDlg::setToolsMaker(nullptr);
}

TEST(DeskScreenshots, EveryWindowInEnglishIsReadableAndNamed)
{
    desktest::testApp();
    drawEveryWindow(QStringLiteral("en"));
}

TEST(DeskScreenshots, EveryWindowInChineseIsReadableAndNamed)
{
    desktest::testApp();
    DeskMachine machine;
    ASSERT_TRUE(desktest::startInChinese(QStringLiteral(DESK_LANGUAGE_PARENT)));
    drawEveryWindow(QStringLiteral("zh"));
    desktest::backToEnglish();
}

}  // namespace
