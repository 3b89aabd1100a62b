#include "programs/rescue/console/restore_dlg.h"

#include "wizard/base_msg_dlg.h"
#include "storage_ui/browse_for_file_dialog.h"
#include "platform/linux/device_prober.h"
#include "storage_ui/filesystem_model.h"
#include "jobs/job_messages.h"
#include "jobs/quarn_thread.h"
#include "jobs/restore_plan.h"
#include "programs/rescue/console/restore_target.h"
#include "programs/rescue/console/rt_widget1.h"
#include "programs/rescue/console/rt_widget2.h"
#include "wizard/rt_widget3.h"
#include "wizard/start_bk_widget.h"

#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace {

const char kStopIcon[] = ":images/MsgIcon_Stop.png";
const char kInfoIcon[] = ":images/MsgIcon_Info.png";
const char kWarningIcon[] = ":images/MsgIcon_Warning.png";
const char kConfirmIcon[] = ":images/warning_L.png";

// What the prober knows of the target partition and its disk.
struct TargetRecord {
    char letter = ' ';
    QString label;
    quint64 bytes = 0;
    QString diskModel;
    QString diskPath;
    quint64 diskBytes = 0;
    bool wholeDisk = false;
};

TargetRecord findTargetRecord(const QString& target)
{
    TargetRecord record;
    DeviceProber* prober = DeviceProber::instance();
    const QByteArray diskPath = QFile::encodeName(prober->diskOfPartition(target));
    const QByteArray partPath = QFile::encodeName(target);
    const DiskList disks = prober->snapshot();
    for (const DiskRecord* disk = disks.first(); disk; disk = disk->next) {
        if (!disk->path || diskPath != disk->path)
            continue;
        record.diskModel = QString::fromUtf8(disk->model);
        record.diskPath = QString::fromLocal8Bit(disk->path);
        const quint64 sectorBytes = disk->sectorSize ? disk->sectorSize : 512;
        record.diskBytes = disk->length * sectorBytes;
        if (const PartitionRecord* part = findPartitionByPath(disk->partitions, partPath.constData())) {
            record.letter = part->letter ? part->letter : ' ';
            record.label = QString::fromUtf8(part->label);
            record.bytes = part->length * sectorBytes;
            record.wholeDisk = part->wholeDisk != 0;
        }
        break;
    }
    return record;
}

QString partitionText(const TargetRecord& record, const QString& target)
{
    return JobMessages::partitionName(record.letter, record.label, record.bytes, target);
}

QString diskText(const TargetRecord& record)
{
    return JobMessages::diskName(record.diskModel, record.diskBytes, record.diskPath);
}

}  // namespace

RestoreDlg::RestoreDlg(QWidget* parent, const QString& title)
    : WizardFrame(parent, title, {tr("Step 1"), tr("Step 2"), tr("Step 3")},
                  {tr("choose images"), tr("choose partition"), tr("start restore")}, kConsoleSteps)
{
    setAccessibleName(tr("Restore wizard"));
    setFixedSize(800, 600);
    m_rtWidget1 = new RtWidget1(this);
    m_rtWidget2 = new RtWidget2(this);
    m_rtWidget3 = new RtWidget3(this);
    m_progress = new StartBkWidget(this, true);
    setPages(m_rtWidget1, m_rtWidget2, m_rtWidget3, m_progress);

    m_volumeChooser = &RestoreDlg::runFileDialog;
    connect(m_rtWidget1, &RtWidget1::pwdSig, m_rtWidget3, &RtWidget3::pwdSlot);
    connect(m_rtWidget1, &RtWidget1::descSig, m_rtWidget3, &RtWidget3::descSlot);
    showStep1();
}

// A job still running is cancelled and waited for before its worker goes.
RestoreDlg::~RestoreDlg()
{
    stopWorker();
}

void RestoreDlg::setVolumeChooser(VolumeChooser chooser)
{
    m_volumeChooser = chooser ? std::move(chooser) : VolumeChooser(&RestoreDlg::runFileDialog);
}

FileChoice RestoreDlg::runFileDialog(QWidget* parent, const QString& expected)
{
    FileChoice choice;
    // Next-volume mode: every medium is offered, optical drives with their
    // eject menu included, and a disc that holds the expected volume (the
    // first filter) is taken as soon as it is inserted.
    const QString expectedName = QFileInfo(expected).fileName();
    const QStringList filters{expectedName, QStringLiteral("*.bkp")};
    static const QRegularExpression volumeName(QStringLiteral("_(\\d+)_\\d+\\.bkp$"));
    const QRegularExpressionMatch match = volumeName.match(expectedName);
    const int disc = match.hasMatch() ? match.captured(1).toInt() + 1 : 0;
    BrowseForFileDialog dialog(parent, &filters, false, false, disc, Qt::WindowFlags(0xB003));
    if (dialog.exec() != QDialog::Accepted)
        return choice;
    choice.accepted = true;
    choice.path = dialog.selectedData(FilesystemModel::PathRole);
    choice.name = dialog.fileName();
    if (choice.name.isEmpty())
        choice.name = QFileInfo(choice.path).fileName();
    return choice;
}

int RestoreDlg::showBox(const QString& title, const QString& text, const QString& icon, bool okCancel)
{
    BaseMsgDlg box(title, text, icon, this, !okCancel, okCancel);
    return box.exec();
}

void RestoreDlg::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F5) {
        DeviceProber::instance()->startProbe();
        return;
    }
    WizardFrame::keyReleaseEvent(event);
}

RestorePlan::Choices RestoreDlg::planChoices() const
{
    RestorePlan::Choices c;
    c.imagePath = m_rtWidget1->m_imagePath;
    c.imageReadable = RestorePlan::imageReadable(c.imagePath);
    c.targetPath = m_rtWidget2->m_targetPath;
    c.fsCode = m_rtWidget1->m_fsCode;
    c.restorePartition = m_rtWidget1->isPartitionChecked();
    c.restoreMbr = m_rtWidget1->isMbrChecked();
    c.storedDigest = m_rtWidget1->m_pwdDigest;
    c.imageBytes = m_rtWidget1->m_usedBytes;
    // The password field shows for a protected image only: what a hidden
    // field holds is no answer of the user's.
    if (!c.storedDigest.isEmpty())
        c.typedPassword = m_rtWidget3->m_pwdEdit->text();
    if (!c.targetPath.isEmpty() && !c.imagePath.isEmpty()) {
        c.targetHoldsImage =
            RestoreTarget::sameDevice(c.targetPath, m_rtWidget1->m_imageDevice) ||
            RestoreTarget::sameDevice(c.targetPath, RestoreTarget::sourceHoldingPath(c.imagePath));
        const TargetRecord record = findTargetRecord(c.targetPath);
        c.targetFillsWholeDisk = record.wholeDisk;
        c.targetBytes = record.bytes;
    }
    return c;
}

// The box of a plan's problem; false when there was one.
bool RestoreDlg::showProblem(const RestorePlan::Result& result)
{
    // The rescue system runs from its own medium: no target is the system.
    if (result.problem == RestorePlan::Problem::None ||
        result.problem == RestorePlan::Problem::TargetIsSystem)
        return result.problem == RestorePlan::Problem::None;
    const JobMessages::Box box = JobMessages::restoreProblem(result);
    const bool warning = result.problem == RestorePlan::Problem::NothingChosen;
    showBox(box.title, box.text(), warning ? kWarningIcon : kStopIcon);
    return false;
}

bool RestoreDlg::prepareStep(int step)
{
    // A target too small for the image is refused before the erase question.
    if (step == 3 && !m_rtWidget1->m_imagePath.isEmpty())
        return showProblem(RestorePlan::checkTarget(planChoices()));
    return true;
}

bool RestoreDlg::checkRestore()
{
    return showProblem(RestorePlan::plan(planChoices()));
}

void RestoreDlg::workerCreated(QuarnThread* worker)
{
    connect(worker, &QuarnThread::nextFileNotified, this, &RestoreDlg::browseForNextFile,
            Qt::BlockingQueuedConnection);
}

void RestoreDlg::startRestore()
{
    if (m_worker && m_worker->isRunning())
        return;
    if (!checkRestore())
        return;

    const RestorePlan::Result plan = RestorePlan::plan(planChoices());
    if (!showProblem(plan))
        return;
    const QString target = m_rtWidget2->m_targetPath;
    const TargetRecord record = findTargetRecord(target);
    if (plan.partitionJob) {
        const QString confirm = JobMessages::eraseQuestion(partitionText(record, target));
        if (showBox(tr("Warning"), confirm, kConfirmIcon, true) != 1)
            return;
        // Writing under a mounted file system would corrupt both.
        if (!RestoreTarget::unmountAll(target)) {
            showBox(tr("Error"), tr("The partition is in use and cannot be unmounted!"), kStopIcon);
            return;
        }
        jobWorker();
        m_worker->setRestore(plan.request, m_rtWidget1->m_fsCode);
    } else {
        const QString confirm = JobMessages::mbrQuestion(diskText(record));
        if (showBox(tr("Warning"), confirm, kConfirmIcon, true) != 1)
            return;
        jobWorker();
        m_worker->setRestoreMbr(plan.request);
    }

    showRunning();
    m_worker->setCheckImageFirst(m_rtWidget3->checkImageFirst());
    m_worker->startJob();
}

void RestoreDlg::jobEnded()
{
    if (!m_worker)
        return;
    m_worker->wait();
    // Named from the list read before the job: the probe below reads it anew.
    const TargetRecord record = findTargetRecord(m_rtWidget2->m_targetPath);
    const QString succeeded =
        m_worker->operation() == QuarnThread::RestoreMbr
            ? JobMessages::mbrRestoreSucceeded(diskText(record), jobSeconds())
            : JobMessages::restoreSucceeded(partitionText(record, m_rtWidget2->m_targetPath), jobSeconds());
    // The target's used size and file system changed: the trees read them again.
    DeviceProber::instance()->startProbe();
    endJob(tr("Failed"), tr("Restore failed!"), tr("Success"), succeeded,
           tr("The restore was cancelled: the partition holds an unfinished restore and must be restored "
              "again before it is used."));
}

void RestoreDlg::browseForNextFile(QString& fileName)
{
    const QString target = m_rtWidget2->m_targetPath;
    for (;;) {
        const FileChoice choice = m_volumeChooser(this, fileName);
        const bool onTarget = choice.accepted && RestoreTarget::sameDevice(
                                                     target, RestoreTarget::sourceHoldingPath(choice.path));
        // The dialog mounts any place the user opens, the target's too; the
        // job must not go on writing under that mount.
        if (m_worker && m_worker->operation() == QuarnThread::RestorePartition &&
            !RestoreTarget::unmountAll(target)) {
            m_worker->cancelJob();
            showBox(tr("Error"), tr("The partition is in use and cannot be unmounted!"), kStopIcon);
            return;
        }
        if (!choice.accepted) {
            if (m_worker)
                m_worker->cancelJob();
            return;
        }
        if (onTarget) {
            showBox(tr("Error"), tr("The image is on this partition, choose another one!"), kStopIcon);
            continue;
        }
        const QFileInfo chosen(choice.path);
        if (chosen.isDir()) {
            showBox(tr("Error"), tr("You must select a backup image file, not a directory!"), kStopIcon);
            continue;
        }
        if (!choice.name.endsWith(QLatin1String(".bkp"))) {
            showBox(tr("Error"), tr("The file name of a Sorvik backup image ends in \".bkp\"!"), kStopIcon);
            continue;
        }
        QFile file(choice.path);
        if (!chosen.isFile() || !file.open(QIODevice::ReadOnly)) {
            showBox(tr("Error"), tr("%1 cannot be opened, select the next volume!").arg(chosen.fileName()),
                    kStopIcon);
            continue;
        }
        fileName = choice.path;
        return;
    }
}
