// Renders the console's windows and wizard pages into PNG files:
//   rescue-screenshots OUTDIR
// Run it on the offscreen platform; LANG picks the language as in the
// console, and the RESCUE_* variables the disks it shows.
#include "backup_dlg.h"
#include "base_msg_dlg.h"
#include "bk_widget1.h"
#include "bk_widget2.h"
#include "bk_widget3.h"
#include "browse_for_file_dialog.h"
#include "clone_dlg.h"
#include "clone_widgets.h"
#include "console_startup.h"
#include "device_prober.h"
#include "event_button.h"
#include "job_messages.h"
#include "lang_dlg.h"
#include "main_dlg.h"
#include "restore_dlg.h"
#include "rt_widget1.h"
#include "start_bk_widget.h"
#include "screen_background.h"
#include "start_image.h"
#include "window_checks.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTreeView>

#include <cstdio>

namespace {

QString g_outDir;
int g_failures = 0;

// Saves the window's picture and checks it: every text readable against
// what is drawn behind it, every control named for assistive tools.
void save(QWidget& widget, const QString& name)
{
    widget.show();
    QApplication::processEvents();
    const QString file = g_outDir + QLatin1Char('/') + name + QStringLiteral(".png");
    const QImage shot = widget.grab().toImage();
    if (!shot.save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        ++g_failures;
        return;
    }
    std::printf("%s\n", qPrintable(file));
    const QStringList problems =
        WindowChecks::lowContrastTexts(&widget, shot) + WindowChecks::unnamedControls(&widget);
    for (const QString& problem : problems)
        std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(problem));
    g_failures += problems.size();
}

// The first partition row of a wizard's source tree, made current.
// The page reacts to a press of the left or right mouse button only.
void pressWithMouse(QTreeView* tree, const QModelIndex& index)
{
    tree->scrollTo(index);
    const QPoint at = tree->visualRect(index).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &release);
}

QModelIndex chooseFirstPartition(QTreeView* tree)
{
    QAbstractItemModel* model = tree ? tree->model() : nullptr;
    if (!model || model->rowCount() == 0 || model->rowCount(model->index(0, 0)) == 0)
        return QModelIndex();
    const QModelIndex partition = model->index(0, 1, model->index(0, 0));
    tree->setCurrentIndex(partition);
    return partition;
}

void enter(EventButton* button)
{
    QEvent event(QEvent::Enter);
    QApplication::sendEvent(button, &event);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: rescue-screenshots OUTDIR\n");
        return 2;
    }
    g_outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_outDir);

    ConsoleStartup startup;
    startup.run();
    startup.background()->hide();

    {
        BaseMsgDlg box(MainDlg::tr("Initialize"), MainDlg::tr("Probing system devices ......  "),
                       QStringLiteral(":images/MsgIcon_Info.png"), nullptr, false, false);
        save(box, QStringLiteral("initialize_box"));
    }

    // Boxes the windows raise are drawn, then answered.
    int boxNumber = 0;
    BaseMsgDlg::setExecHook([&](BaseMsgDlg& box) {
        if (!box.hasOkButton() && !box.hasCancelButton())
            return int(BaseMsgDlg::RunModal);
        save(box, QStringLiteral("box_%1").arg(++boxNumber, 2, 10, QLatin1Char('0')));
        return 1;
    });

    MainDlg main(QString(), nullptr);
    save(main, QStringLiteral("main_window"));
    enter(main.restoreButton());
    save(main, QStringLiteral("main_window_restore_hover"));
    enter(main.cloneButton());
    save(main, QStringLiteral("main_window_clone_hover"));
    enter(main.backupButton());
    main.hide();

    {
        BaseMsgDlg box(MainDlg::tr("Warning"),
                       JobMessages::eraseQuestion(
                           JobMessages::partitionName('C', QStringLiteral("System"), 32212254720ULL)),
                       QStringLiteral(":images/warning_L.png"), nullptr, false, true);
        save(box, QStringLiteral("message_box_ok_cancel"));
    }
    {
        // A failed job's box: what went wrong and what to do.
        BaseMsgDlg box(QCoreApplication::translate("JobMessages", "Failed"),
                       JobMessages::failedText(QCoreApplication::translate("RestoreDlg", "Restore failed!"),
                                               ERR_DAMAGED_IMAGE, JobMessages::Job::Restore),
                       QStringLiteral(":images/MsgIcon_Stop.png"), nullptr, true, false);
        save(box, QStringLiteral("message_box_failed"));
    }
    {
        // A message longer than the picture's text area.
        BaseMsgDlg box(MainDlg::tr("Warning"),
                       QObject::tr("The image file could not be written to the chosen folder because the "
                                   "partition is full. Free some space on it or choose another folder, then "
                                   "start the backup again."),
                       QStringLiteral(":images/warning_L.png"), nullptr, true, false);
        save(box, QStringLiteral("message_box_long"));
    }

    CloneDlg* clone = main.cloneDlg();
    clone->showStep1();
    chooseFirstPartition(clone->page1()->treeView());
    save(*clone, QStringLiteral("clone_step1"));
    clone->showStep2();
    save(*clone, QStringLiteral("clone_step2"));
    clone->showStep3();
    save(*clone, QStringLiteral("clone_step3"));
    clone->startRestore();
    clone->hide();

    BackupDlg* backup = main.backupDlg();
    backup->showStep1();
    const QModelIndex source = chooseFirstPartition(backup->page1()->treeView());
    if (source.isValid())
        pressWithMouse(backup->page1()->treeView(), source);
    save(*backup, QStringLiteral("backup_step1"));
    backup->showStep2();
    save(*backup, QStringLiteral("backup_step2"));
    // A folder with no device stands for the image place (as a share would).
    backup->page2()->takeFullChoice({QDir::tempPath(), QString(), QStringLiteral("system"), QString()});
    backup->showStep3();
    save(*backup, QStringLiteral("backup_step3"));
    backup->page3()->hide();
    backup->progressPage()->show();
    save(*backup, QStringLiteral("backup_progress"));
    {
        // A job under way, and its end under the success box.
        StartBkWidget* page = backup->progressPage();
        page->recvTotalUsedBytes(100 << 20);
        page->displayState(QStringLiteral("Backing up partition ..."));
        page->processBytes(37 << 20);
        page->updateSpendTime();
        save(*backup, QStringLiteral("backup_progress_running"));
        page->finish();
        page->showSucceeded();
        save(*backup, QStringLiteral("backup_progress_succeeded"));
    }
    backup->progressPage()->hide();
    backup->hide();
    {
        BrowseForFileDialog* dialog = backup->page2()->m_fullDialog;
        dialog->show();  // lists its places afresh as it shows
        QTreeView* tree = dialog->treeView();
        if (tree->model()->rowCount() > 0)
            tree->expand(tree->model()->index(0, 0));
        save(*dialog, QStringLiteral("file_dialog_backup"));
        dialog->hide();
    }

    RestoreDlg* restore = main.restoreDlg();
    restore->showStep1();
    save(*restore, QStringLiteral("restore_step1"));
    restore->m_rtWidget1->hide();
    restore->m_progress->show();
    save(*restore, QStringLiteral("restore_progress"));
    restore->hide();

    {
        langDlg lang;
        save(lang, QStringLiteral("language_dialog"));
    }

    initStartImages();
    ScreenBackground start(startImagePath());
    start.resize(1440, 900);
    save(start, QStringLiteral("start_image"));

    BaseMsgDlg::setExecHook(BaseMsgDlg::ExecHook());
    return g_failures == 0 ? 0 : 1;
}
