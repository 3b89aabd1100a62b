// Renders the console's windows and wizard pages into PNG files:
//   rescue-screenshots OUTDIR
// Run it on the offscreen platform; LANG picks the language as in the
// console, and the RESCUE_* variables the disks it shows.
#include "programs/rescue/console/backup_dlg.h"
#include "wizard/base_msg_dlg.h"
#include "programs/rescue/console/bk_widget1.h"
#include "programs/rescue/console/bk_widget2.h"
#include "wizard/bk_widget3.h"
#include "storage_ui/browse_for_file_dialog.h"
#include "programs/rescue/console/clone_dlg.h"
#include "programs/rescue/console/clone_widgets.h"
#include "programs/rescue/console/console_startup.h"
#include "platform/linux/device_prober.h"
#include "wizard/event_button.h"
#include "jobs/job_messages.h"
#include "programs/rescue/console/lang_dlg.h"
#include "programs/rescue/console/main_dlg.h"
#include "platform/linux/mount_table.h"
#include "programs/rescue/console/restore_dlg.h"
#include "programs/rescue/console/rt_widget2.h"
#include "wizard/rt_widget3.h"
#include "programs/rescue/console/rt_widget1.h"
#include "wizard/start_bk_widget.h"
#include "wizard/screen_background.h"
#include "programs/rescue/startimage/start_image.h"
#include "wizard/tree_item.h"
#include "wizard/window_checks.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTreeView>

#include <cstdio>

namespace {

QString g_outDir;
int g_failures = 0;
// The name of the next box a window raises (box_NN when none is given) and
// the button that answers it: 1 OK, 0 Cancel (which leaves the disks alone).
QString g_nextBox;
int g_answer = 1;
// The boxes after the next one, in the order they come.
QStringList g_laterBoxes;

void expectBox(const QString& name, int answer)
{
    g_nextBox = name;
    g_answer = answer;
}

// The next boxes, each answered with OK.
void expectBoxes(const QStringList& names)
{
    expectBox(names.value(0), 1);
    g_laterBoxes = names.mid(1);
}

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
    const QStringList problems = WindowChecks::lowContrastTexts(&widget, shot) +
                                 WindowChecks::unnamedControls(&widget) + WindowChecks::cutColumns(&widget);
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

QModelIndex partitionNamed(QTreeView* tree, const QString& name)
{
    QAbstractItemModel* model = tree->model();
    for (int disk = 0; disk < model->rowCount(); ++disk) {
        const QModelIndex parent = model->index(disk, 0);
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex partition = model->index(row, 1, parent);
            if (partition.data().toString().startsWith(name))
                return partition;
        }
    }
    return QModelIndex();
}

// The partition row of a tree by device path (labels change as a clone
// copies them).
QModelIndex partitionAtPath(QTreeView* tree, const QString& path)
{
    QAbstractItemModel* model = tree->model();
    for (int disk = 0; disk < model->rowCount(); ++disk) {
        const QModelIndex parent = model->index(disk, 0);
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex partition = model->index(row, 1, parent);
            const auto* item = static_cast<const TreeItem*>(partition.internalPointer());
            if (item && item->path == path)
                return partition;
        }
    }
    return QModelIndex();
}

// Runs the event loop until the wizard's job has ended and its box was
// answered.
template <typename Busy>
void waitWhile(Busy busy)
{
    while (busy())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Opens every place of a file dialog's tree and presses the file named
// `name` in one of them, as a user picks it: its name fills the field.
void pickFile(QTreeView* tree, const QString& name)
{
    QAbstractItemModel* places = tree->model();
    QModelIndex file;
    for (int row = 0; row < places->rowCount(); ++row) {
        const QModelIndex place = places->index(row, 0);
        tree->expand(place);
        for (int child = 0; child < places->rowCount(place); ++child) {
            if (places->index(child, 0, place).data().toString() == name)
                file = places->index(child, 0, place);
        }
    }
    if (file.isValid())
        pressWithMouse(tree, file);
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
        const QString name = g_nextBox.isEmpty()
                                 ? QStringLiteral("box_%1").arg(++boxNumber, 2, 10, QLatin1Char('0'))
                                 : g_nextBox;
        g_nextBox = g_laterBoxes.isEmpty() ? QString() : g_laterBoxes.takeFirst();
        const int answer = box.hasCancelButton() ? g_answer : 1;
        g_answer = 1;
        save(box, name);
        return answer;
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
        // A message longer than the picture's text area: the about box.
        BaseMsgDlg box(QCoreApplication::translate("BaseDlg", "Information"),
                       QCoreApplication::translate(
                           "BaseDlg", "Sorvik Tavimo Recover backs up and restores NTFS and FAT32 "
                                      "partitions. Contact your system administrator for help."),
                       QStringLiteral(":images/MsgIcon_Info.png"), nullptr, true, false);
        save(box, QStringLiteral("message_box_long"));
    }
    {
        // The questions before an existing image set is replaced.
        BackupPlan::Result asking;
        asking.question = BackupPlan::Question::ReplaceImageSet;
        BaseMsgDlg keep(MainDlg::tr("Warning"),
                        BackupWizard::replaceQuestion(asking, QStringLiteral("system")),
                        QStringLiteral(":images/MsgIcon_Question.png"), nullptr, false, true);
        save(keep, QStringLiteral("message_box_replace"));
        asking.question = BackupPlan::Question::DeleteOldImageFirst;
        asking.freeBytes = 3000000000ULL;
        asking.usedBytes = 2600000000LL;
        asking.neededFreeBytes = 3250000000ULL;
        asking.oldSetBytes = 2100000000ULL;
        BaseMsgDlg first(MainDlg::tr("Warning"),
                         BackupWizard::replaceQuestion(asking, QStringLiteral("system")),
                         QStringLiteral(":images/MsgIcon_Question.png"), nullptr, false, true);
        save(first, QStringLiteral("message_box_replace_delete_first"));
    }

    CloneDlg* clone = main.cloneDlg();
    clone->showStep1();
    save(*clone, QStringLiteral("clone_step1"));
    // Next without a source: the error box.
    expectBox(QStringLiteral("box_clone_no_source"), 1);
    clone->showStep2();
    const QModelIndex cloneSource = partitionNamed(clone->page1()->treeView(), QStringLiteral("Source"));
    if (cloneSource.isValid())
        pressWithMouse(clone->page1()->treeView(), cloneSource);
    save(*clone, QStringLiteral("clone_step1_source"));
    clone->showStep2();
    save(*clone, QStringLiteral("clone_step2"));
    // The source itself is listed, greyed, and says why it cannot be chosen.
    const QModelIndex itself = partitionNamed(clone->page2()->treeView(), QStringLiteral("Source"));
    if (itself.isValid())
        pressWithMouse(clone->page2()->treeView(), itself);
    save(*clone, QStringLiteral("clone_step2_refused"));
    const QModelIndex cloneTarget = partitionNamed(clone->page2()->treeView(), QStringLiteral("Target"));
    if (cloneTarget.isValid())
        pressWithMouse(clone->page2()->treeView(), cloneTarget);
    save(*clone, QStringLiteral("clone_step2_destination"));
    clone->showStep3();
    save(*clone, QStringLiteral("clone_step3"));
    clone->page3()->pageCheckBox()->setChecked(true);
    save(*clone, QStringLiteral("clone_step3_options"));
    clone->page3()->pageCheckBox()->setChecked(false);
    // Start asks before it erases; Cancel leaves the destination as it is.
    expectBox(QStringLiteral("box_clone_erase_question"), 0);
    clone->startRestore();
    {
        // A clone under way on the progress page, and its end.
        clone->page3()->hide();
        StartBkWidget* page = clone->progressPage();
        page->show();
        save(*clone, QStringLiteral("clone_progress"));
        page->recvTotalUsedBytes(100 << 20);
        page->displayState(QStringLiteral("Cloning partition ..."));
        page->processBytes(37 << 20);
        page->updateSpendTime();
        save(*clone, QStringLiteral("clone_progress_running"));
        page->finish();
        page->showSucceeded();
        save(*clone, QStringLiteral("clone_progress_succeeded"));
        page->resetForNextJob();
        page->hide();
    }
    clone->hide();
    {
        const QString destination = JobMessages::partitionName('E', QStringLiteral("Spare"), 64ULL << 20,
                                                               QStringLiteral("/dev/sdx2"));
        const QString source = JobMessages::partitionName('D', QStringLiteral("Source"), 64ULL << 20,
                                                          QStringLiteral("/dev/sdx1"));
        BaseMsgDlg inUse(QCoreApplication::translate("JobMessages", "Error"),
                         JobMessages::cloneDestinationInUse(destination).text(),
                         QStringLiteral(":images/MsgIcon_Stop.png"), nullptr, true, false);
        save(inUse, QStringLiteral("box_clone_destination_in_use"));
        ClonePlan::Result small;
        small.verdict.reason = ClonePlan::Reason::TooSmall;
        small.verdict.neededBytes = 490ULL << 20;
        small.verdict.availableBytes = 300ULL << 20;
        BaseMsgDlg tooSmall(QCoreApplication::translate("JobMessages", "Error"),
                            JobMessages::cloneProblem(small).text(),
                            QStringLiteral(":images/MsgIcon_Stop.png"), nullptr, true, false);
        save(tooSmall, QStringLiteral("box_clone_too_small"));
        BaseMsgDlg failed(QCoreApplication::translate("CloneDlg", "Failed"),
                          JobMessages::failedText(QCoreApplication::translate("CloneDlg", "Clone failed!"),
                                                  ERR_PART_IN_USE, JobMessages::Job::Clone),
                          QStringLiteral(":images/MsgIcon_Stop.png"), nullptr, true, false);
        save(failed, QStringLiteral("box_clone_failed"));
        BaseMsgDlg cancelled(QCoreApplication::translate("WizardFrame", "Cancelled"),
                             JobMessages::cloneCancelled(destination),
                             QStringLiteral(":images/MsgIcon_Info.png"), nullptr, true, false);
        save(cancelled, QStringLiteral("box_clone_cancelled"));
        BaseMsgDlg succeeded(QCoreApplication::translate("CloneDlg", "Success"),
                             JobMessages::cloneSucceeded(source, destination, 83),
                             QStringLiteral(":images/MsgIcon_Info.png"), nullptr, true, false);
        save(succeeded, QStringLiteral("box_clone_succeeded"));
    }

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
    // An incremental backup on a protected image asks for its password.
    backup->page3()->setPreviousImageProtected(true);
    save(*backup, QStringLiteral("backup_step3_protected_base"));
    backup->page3()->setPreviousImageProtected(false);
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

    // A real image of the first partition on the demo disks' image
    // partition, for the restore wizard's pages and the questions that only
    // an existing image raises.
    const QByteArray imagesDevice = qgetenv("RESCUE_DEV_ROOT") + "/sdy1";
    const char* mounted = MountTable::instance()->mount(imagesDevice.constData(), "ntfs", nullptr, nullptr);
    const QString imageDir = mounted ? QFile::decodeName(mounted) : QString();
    if (imageDir.isEmpty()) {
        std::fprintf(stderr, "cannot mount the demo image partition %s\n", imagesDevice.constData());
        ++g_failures;
    }
    const QString imageName = QStringLiteral("demo");
    const QString firstVolume = imageDir + QStringLiteral("/demo_0_0.bkp");
    // Each language's run starts from no image: its first backup is a new one.
    for (const QString& old : QDir(imageDir).entryList({QStringLiteral("demo_*.bkp")}, QDir::Files))
        QFile::remove(imageDir + QLatin1Char('/') + old);
    {
        backup->showStep1();
        const QModelIndex first = chooseFirstPartition(backup->page1()->treeView());
        if (first.isValid())
            pressWithMouse(backup->page1()->treeView(), first);
        backup->showStep2();
        backup->page2()->takeFullChoice(
            {imageDir, QString::fromLocal8Bit(imagesDevice), imageName, QString()});
        backup->showStep3();
        expectBox(QStringLiteral("box_backup_succeeded"), 1);
        backup->startBackup();
        waitWhile([&] { return backup->jobActive(); });
        if (!QFileInfo::exists(firstVolume)) {
            std::fprintf(stderr, "the demo backup wrote no %s\n", qPrintable(firstVolume));
            ++g_failures;
        }
        {
            // The image an incremental backup builds on is picked, not typed.
            BrowseForFileDialog* dialog = backup->page2()->m_incrementalDialog;
            dialog->show();
            pickFile(dialog->treeView(), QFileInfo(firstVolume).fileName());
            save(*dialog, QStringLiteral("file_dialog_incremental"));
            dialog->hide();
        }
        // The same name again: the replace question, answered with Cancel.
        backup->showStep3();
        expectBox(QStringLiteral("box_replace_question"), 0);
        backup->startBackup();
        waitWhile([&] { return backup->jobActive(); });
        backup->hide();
    }

    RestoreDlg* restore = main.restoreDlg();
    restore->showStep1();
    save(*restore, QStringLiteral("restore_step1"));
    // Next without an image: the error box.
    expectBox(QStringLiteral("box_error_no_image"), 1);
    restore->showStep3();
    restore->startRestore();
    restore->showStep1();
    restore->m_rtWidget1->chooseImage(firstVolume, QFileInfo(firstVolume).fileName(), QString());
    save(*restore, QStringLiteral("restore_step1_image"));
    {
        BrowseForFileDialog* dialog = restore->m_rtWidget1->m_fileDialog;
        dialog->show();
        QTreeView* tree = dialog->treeView();
        pickFile(tree, QFileInfo(firstVolume).fileName());
        save(*dialog, QStringLiteral("file_dialog_restore"));
        dialog->hide();
    }
    restore->showStep2();
    const QModelIndex target = partitionNamed(restore->m_rtWidget2->m_treeView, QStringLiteral("Target"));
    if (target.isValid()) {
        pressWithMouse(restore->m_rtWidget2->m_treeView, target);
        // The page reads the held button from the application, which a
        // sent event does not set: the choice is made as the press would.
        restore->m_rtWidget2->m_targetPath = static_cast<const TreeItem*>(target.internalPointer())->path;
    }
    save(*restore, QStringLiteral("restore_step2"));
    restore->showStep3();
    save(*restore, QStringLiteral("restore_step3"));
    // Start asks before it erases; Cancel leaves the target as it is.
    expectBox(QStringLiteral("box_erase_question"), 0);
    restore->startRestore();
    restore->m_rtWidget1->hide();
    restore->m_rtWidget3->hide();
    restore->m_progress->show();
    save(*restore, QStringLiteral("restore_progress"));
    restore->hide();
    if (mounted)
        MountTable::instance()->unmount(imagesDevice.constData());

    // A real clone of the demo source through the wizard, last, onto the
    // image partition: the run of the other language finds "Target" as it
    // was and makes its own image again.
    clone->showStep1();
    const QString demoDevices = QString::fromLocal8Bit(qgetenv("RESCUE_DEV_ROOT"));
    const QModelIndex copyFrom = partitionAtPath(clone->page1()->treeView(), demoDevices + "/sdx1");
    if (copyFrom.isValid())
        pressWithMouse(clone->page1()->treeView(), copyFrom);
    clone->showStep2();
    const QModelIndex copyTo = partitionAtPath(clone->page2()->treeView(), demoDevices + "/sdy1");
    if (copyTo.isValid())
        pressWithMouse(clone->page2()->treeView(), copyTo);
    clone->showStep3();
    expectBoxes({QStringLiteral("box_clone_erase_question_ok"), QStringLiteral("box_clone_demo_end")});
    clone->startRestore();
    waitWhile([&] { return clone->jobActive() || clone->state() == CloneDlg::Running; });
    QApplication::processEvents();
    clone->hide();

    // words them (the demo disks hold no boot code to restore, and a demo
    // job is not stopped half-way for a picture).
    {
        BaseMsgDlg box(QCoreApplication::translate("RestoreDlg", "Warning"),
                       JobMessages::mbrQuestion(JobMessages::diskName(
                           QStringLiteral("Sorvik Virtual Disk"), 130ULL << 20, QStringLiteral("/dev/sdz"))),
                       QStringLiteral(":images/warning_L.png"), nullptr, false, true);
        save(box, QStringLiteral("box_mbr_question"));
    }
    {
        // A restore whose image check found a damaged volume.
        BaseMsgDlg box(QCoreApplication::translate("RestoreDlg", "Failed"),
                       JobMessages::imageCheckFailed(QStringLiteral("demo_1_0.bkp")),
                       QStringLiteral(":images/MsgIcon_Stop.png"), nullptr, true, false);
        save(box, QStringLiteral("box_restore_failed"));
    }
    {
        BaseMsgDlg box(QCoreApplication::translate("WizardFrame", "Cancelled"),
                       QCoreApplication::translate(
                           "RestoreDlg",
                           "The restore was cancelled: the partition holds an unfinished restore and must be "
                           "restored again before it is used."),
                       QStringLiteral(":images/MsgIcon_Info.png"), nullptr, true, false);
        save(box, QStringLiteral("box_restore_cancelled"));
    }

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
