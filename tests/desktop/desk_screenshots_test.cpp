// Every window and page of the desktop program on the simulated machine, in
// English and in Chinese: drawn into PNG files (into DESK_SCREENSHOT_DIR
// when it is set, so that scripts/screenshots keeps them) and checked as
// drawn: no text below 4.5:1 contrast against what lies behind it, and a
// useful accessible name on every window, button and input.
#include "base_msg_dlg.h"
#include "desk_backup_dlg.h"
#include "desk_bk_widget1.h"
#include "desk_just_backup_dlg.h"
#include "desk_lang_dlg.h"
#include "desk_machine.h"
#include "desk_main_dlg.h"
#include "bk_widget3.h"
#include "desk_restore_dlg.h"
#include "desk_rt_widget1.h"
#include "desk_settings.h"
#include "desk_startup.h"
#include "desk_test_app.h"
#include "desk_tool_dlg.h"
#include "desk_tree_model.h"
#include "desk_wizard_driver.h"
#include "start_bk_widget.h"
#include "window_checks.h"

#include <QDir>
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

void drawEveryWindow(const QString& language)
{
    DeskMachine machine;
    desk::writeSetting(desk::kDstPathKey, "D:\\Images");
    Shots shots(language);

    // The boxes the windows raise are drawn, then answered.
    int boxNumber = 0;
    BaseMsgDlg::setExecHook([&](BaseMsgDlg& box) {
        shots.take(box, QStringLiteral("box_%1").arg(++boxNumber, 2, 10, QLatin1Char('0')));
        return 1;
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
