#include "programs/rescue/console/backup_dlg.h"

#include "jobs/backup_plan.h"
#include "programs/rescue/console/bk_widget1.h"
#include "programs/rescue/console/bk_widget2.h"
#include "wizard/bk_widget3.h"
#include "storage_ui/browse_for_file_dialog.h"
#include "platform/linux/device_prober.h"
#include "storage_ui/filesystem_model.h"
#include "programs/rescue/console/image_head_info.h"
#include "platform/linux/mount_table.h"
#include "jobs/quarn_thread.h"
#include "wizard/start_bk_widget.h"
#include "platform/linux/system_probes.h"

#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QShowEvent>
#include <QThread>

namespace {

// The next-volume dialog's window: frameless, modal, over the wizard.
const Qt::WindowFlags kDialogFlags(0xB003);

// Device number of a node, 0 when it cannot be examined.
dev_t nodeNumber(const QString& path)
{
    NodeInfo info;
    const QByteArray native = QFile::encodeName(path);
    return lookupNode(native.constData(), &info) ? info.rdev : 0;
}

bool sameDevice(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (a == b)
        return true;
    const dev_t first = nodeNumber(a);
    return first != 0 && first == nodeNumber(b);
}

// Whether `path` lies in `folder` or one of its subfolders.
bool isInside(const QString& path, const QString& folder)
{
    const QString cleanFolder = QDir::cleanPath(folder);
    const QString cleanPath = QDir::cleanPath(path);
    return cleanPath == cleanFolder || cleanPath.startsWith(cleanFolder + QLatin1Char('/'));
}

}  // namespace

BackupDlg::BackupDlg(QWidget* parent)
    : BackupWizard(parent, tr("Backup"), {tr("Step 1"), tr("Step 2"), tr("Step 3")},
                   {tr("choose partition"), tr("choose destination"), tr("start backup")}, kConsoleSteps)
{
    setAccessibleName(tr("Backup wizard"));
    m_page1 = new BkWidget1(this);
    m_page2 = new BkWidget2(this);
    m_page3 = new BkWidget3(this);
    m_progressPage = new StartBkWidget(this, false);
    setPages(m_page1, m_page2, m_page3, m_progressPage);
    connect(m_page1, &BkWidget1::partTypeSig, m_page2, &BkWidget2::recvPartType);
    showStep1();
}

BackupDlg::~BackupDlg()
{
    // A previous-image request may be waiting for this thread: it is
    // answered (the slot gives up at once once the job is cancelled) while
    // the worker is waited for.
    stopWorker();
    if (!m_heldMount.isEmpty())
        MountTable::instance()->unmount(m_heldMount.constData());
}

bool BackupDlg::prepareStep(int step)
{
    if (step == 2 && m_page1->m_partPath.isEmpty()) {
        message(tr("Error"), tr("You must select a partition to back up!"));
        return false;
    }
    if (step != 3)
        return true;
    if (m_page2->m_imagePath.isEmpty()) {
        message(tr("Error"), tr("You must select a place to save the backup image!"));
        return false;
    }
    if (imageOnSource()) {
        message(tr("Error"), tr("The partition you want to back up must be different from the place "
                                "of the backup image!"));
        return false;
    }
    // The base and the free space are told while the place is being
    // chosen, not first at Start.
    if (!showProblem(BackupPlan::checkPlace(planChoices())))
        return false;
    m_page3->setDestinationFs(m_page2->m_destFsName);
    m_page3->setPreviousImageProtected(m_page2->m_fullBackup == 0 &&
                                       BackupPlan::previousImageProtected(m_page2->m_prevImage));
    return true;
}

// The image would be written inside the partition it is taken from: the
// destination is the source (by name or by device number), or the image
// folder lies in the source's mount.
bool BackupDlg::imageOnSource()
{
    const QString source = m_page1->m_partPath;
    if (sameDevice(m_page2->m_destPath, source))
        return true;
    const QByteArray nativeSource = QFile::encodeName(source);
    const char* sourceMount = MountTable::instance()->mountedDirectory(nativeSource.constData());
    return sourceMount &&
           isInside(QFileInfo(m_page2->m_imagePath).absolutePath(), QFile::decodeName(sourceMount));
}

// The destination chosen on page 2 may have moved or vanished since (a new
// probe, an unplugged disk, a place the browser gave back): it must still
// be listed and the image folder must still lie in its mount. Its file
// system and free space are taken afresh.
bool BackupDlg::destinationStillThere()
{
    const QString folder = QFileInfo(m_page2->m_imagePath).absolutePath();
    const QString device = m_page2->m_destPath;
    if (device.isEmpty()) {
        // On a share the folder must still lie in the share's mount: once
        // the browser gives the share back, it is a folder of the rescue
        // system's memory.
        const QByteArray share = QFile::encodeName(m_page2->m_destShare);
        if (!share.isEmpty()) {
            const char* mountDir = MountTable::instance()->mountedDirectory(share.constData());
            if (!mountDir || !MountTable::isMountOf(mountDir, share.constData()) ||
                !isInside(folder, QFile::decodeName(mountDir)))
                return false;
        }
        if (!QFileInfo(folder).isDir())
            return false;
        m_page2->m_destFreeBytes = BkWidget2::folderFreeBytes(folder);
        return true;
    }
    DeviceProber* prober = DeviceProber::instance();
    const QString fsName = prober->partitionFsName(device);
    const QByteArray nativeDevice = QFile::encodeName(device);
    const char* mountDir = MountTable::instance()->mountedDirectory(nativeDevice.constData());
    if (fsName.isEmpty() || !mountDir || !MountTable::isMountOf(mountDir, nativeDevice.constData()) ||
        !isInside(folder, QFile::decodeName(mountDir)) || !QFileInfo(folder).isDir())
        return false;
    m_page2->m_destFsName = fsName;
    m_page2->m_destFreeBytes = static_cast<quint64>(qMax<qint64>(0, prober->partitionFreeBytes(device)));
    return true;
}

// The source's used bytes now: the figure probed when the partition was
// listed may be long out of date. The page keeps the probed figure when
// they cannot be measured.
void BackupDlg::measureSourceUsedBytes()
{
    const QString source = m_page1->m_partPath;
    if (source.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(source);
    const QByteArray fsName = DeviceProber::instance()->partitionFsName(source).toLatin1();
    // A large allocation bitmap, or the checking tool it falls back to,
    // takes a while: measured on a thread of its own while the window keeps
    // drawing (but takes no clicks, so Start cannot come twice).
    uint64_t sectors = 0;
    QThread* measurer =
        QThread::create([&] { sectors = partitionUsedSectors(path.constData(), fsName.constData()); });
    QEventLoop loop;
    connect(measurer, &QThread::finished, &loop, &QEventLoop::quit);
    measurer->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    measurer->wait();
    delete measurer;
    if (sectors > 0)
        m_page1->m_usedBytes = qint64(sectors * USED_SECTOR_SIZE);
}

BackupPlan::Choices BackupDlg::planChoices() const
{
    BackupPlan::Choices c;
    c.sourcePartition = m_page1->m_partPath;
    c.mbrSource = m_page1->m_diskPath.isEmpty()
                      ? DeviceProber::instance()->diskOfPartition(m_page1->m_partPath)
                      : m_page1->m_diskPath;
    c.fsCode = m_page1->m_fsCode;
    c.active = m_page1->m_active;
    c.usedBytes = m_page1->m_usedBytes;
    c.headBlock = m_page1->m_headInfo.bytes;
    c.incremental = m_page2->m_fullBackup == 0;
    c.imagePath = m_page2->m_imagePath;
    c.previousImage = m_page2->m_prevImage;
    c.destFreeBytes = m_page2->m_destFreeBytes;
    c.destFsName = m_page2->m_destFsName;
    takeOptions(*m_page3, &c);
    return c;
}

// The plan's rules that the pages can break; the volume size and the
// question about an existing image set come at Start.
bool BackupDlg::checkBackup()
{
    if (m_page1->m_usedBytes <= 0) {
        const QString text =
            tr("Getting the used size of partition %1 failed. If you are sure the destination has "
               "enough space for the backup file,\nyou can press \"Ok\" to continue or press "
               "\"Cancel\" to cancel the backup!")
                .arg(QChar::fromLatin1(m_page1->m_letter));
        if (message(tr("Warning"), text, true) != 1)
            return false;
    }
    if (imageOnSource()) {
        message(tr("Error"), tr("The partition you want to back up must be different from the place "
                                "of the backup image!"));
        return false;
    }
    if (!destinationStillThere()) {
        message(tr("Error"), tr("The place you chose for the backup image is no longer available. "
                                "Please choose it again!"));
        return false;
    }
    return showProblem(BackupPlan::check(planChoices()));
}

QString BackupDlg::imageFileName() const
{
    return QFileInfo(m_page2->m_imagePath).fileName();
}

void BackupDlg::workerCreated(QuarnThread* worker)
{
    // The destructor still deletes it itself.
    worker->setParent(this);
    connect(worker, &QuarnThread::nextFileNotified, this, &BackupDlg::browseForPreviousImage,
            Qt::BlockingQueuedConnection);
}

void BackupDlg::startBackup()
{
    if (m_jobActive)
        return;
    measureSourceUsedBytes();
    if (!checkBackup())
        return;
    BackupPlan::Result plan;
    if (!planAtStart(&plan))
        return;
    // Keep the destination mounted while the job writes there, whatever the
    // file browser gives back meanwhile.
    const QByteArray place =
        QFile::encodeName(m_page2->m_destPath.isEmpty() ? m_page2->m_destShare : m_page2->m_destPath);
    if (!place.isEmpty() && MountTable::instance()->retain(place.constData()))
        m_heldMount = place;
    m_jobActive = true;
    startPlannedJob(plan, m_page1->m_fsCode, m_page2->m_imagePath);
}

void BackupDlg::jobEnded()
{
    if (!m_worker)
        return;
    m_worker->wait();
    m_jobActive = false;
    if (!m_heldMount.isEmpty()) {
        MountTable::instance()->unmount(m_heldMount.constData());
        m_heldMount.clear();
    }
    const QString note = finishImageFiles(m_worker->result() == 0);
    endJob(tr("Failed"), tr("Backup failed!") + note, tr("Success"), succeededText() + note,
           tr("The backup was cancelled and its unfinished volumes were removed.") + note);
}

void BackupDlg::browseForPreviousImage(QString& fileName)
{
    if (!m_worker || m_worker->cancelRequested())
        return;
    // The image may have been renamed as well as moved: offer every image.
    const QStringList expected{QFileInfo(fileName).fileName(), QStringLiteral("*.bkp")};
    BrowseForFileDialog dialog(this, &expected, false, true, -1, kDialogFlags);
    if (dialog.exec() == QDialog::Accepted) {
        const QString chosen = dialog.selectedData(FilesystemModel::PathRole);
        if (!chosen.isEmpty()) {
            fileName = chosen;
            return;
        }
    }
    m_worker->cancelJob();
}

void BackupDlg::waitForJobEnd()
{
    if (!m_jobActive)
        return;
    QEventLoop loop;
    connect(this, &BackupDlg::finish, &loop, &QEventLoop::quit);
    loop.exec();
}

void BackupDlg::closeEvent(QCloseEvent* event)
{
    if (m_jobActive) {
        if (message(tr("Warning"), tr("A backup is running. Do you want to cancel it and close?"), true) !=
            1) {
            event->ignore();
            return;
        }
        if (m_worker)
            m_worker->cancelJob();
        waitForJobEnd();
    }
    WizardFrame::closeEvent(event);
}

void BackupDlg::showEvent(QShowEvent* event)
{
    if (!event->spontaneous() && !m_jobActive) {
        m_page3->restoreDefaults();
        showStep1();
    }
    WizardFrame::showEvent(event);
}

void BackupDlg::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F5)
        DeviceProber::instance()->startProbe();
}
