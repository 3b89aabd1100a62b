#include "programs/desktop/desk_backup_dlg.h"

#include "jobs/backup_plan.h"
#include "wizard/bk_widget3.h"
#include "programs/desktop/desk_bk_widget1.h"
#include "programs/desktop/desk_tree_model.h"
#include "programs/desktop/desk_bk_widget2.h"
#include "programs/desktop/desk_paths.h"
#include "programs/desktop/desk_worker.h"
#include "platform/windows/paths.h"
#include "wizard/start_bk_widget.h"
#include "platform/windows_engine/volume_helpers.h"

#include <QComboBox>
#include <QDebug>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

namespace desk {

namespace {

bool sameLetter(char a, char b)
{
    return QChar::fromLatin1(a).toUpper() == QChar::fromLatin1(b).toUpper();
}
}  // namespace

BackupDlg::BackupDlg(QWidget* parent)
    : ::BackupWizard(parent, tr("Backup"), {tr("Step 1"), tr("Step 2"), tr("Step 3")},
                     {tr("choose partition"), tr("choose destination"), tr("start backup")}, kWizardSteps,
                     true)
{
    useDesktopLook(this);
    m_page1 = new BkWidget1(this);
    m_page2 = new BkWidget2(this);
    m_page3 = new BkWidget3(this);
    m_progressPage = new StartBkWidget(this, false);
    setPages(m_page1, m_page2, m_page3, m_progressPage);
    connect(m_page1, &BkWidget1::partTypeSig, m_page2, &BkWidget2::recvPartType);
    connect(m_page1, &BkWidget1::partLetterSig, m_page2, &BkWidget2::recvSrcLetter);
    showStep1();
}

BackupDlg::~BackupDlg()
{
    stopWorker();
}

bool BackupDlg::prepareStep(int step)
{
    if (step == 2 && m_page1->letter() == ' ') {
        const QString reason = m_page1->model()->emptyReason();
        error(reason.isEmpty() ? tr("You must select a partition to back up!") : reason);
        return false;
    }
    if (step != 3)
        return true;
    if (m_page2->fileNameEmpty()) {
        error(tr("You must enter a file name for the backup!"));
        return false;
    }
    if (m_page2->imagePath().isEmpty()) {
        error(tr("You must select the place to save the backup image!"));
        return false;
    }
    if (sameLetter(m_page1->letter(), m_page2->destLetter())) {
        error(tr("The partition you want to back up must be different from the place of the backup image!"));
        return false;
    }
    // The base and the free space are told while the place is being
    // chosen, not first at Start.
    if (!showProblem(BackupPlan::checkPlace(planChoices())))
        return false;
    m_page3->setDestinationFs(m_page2->destFsName());
    m_page3->setPreviousImageProtected(!m_page2->isFull() &&
                                       BackupPlan::previousImageProtected(localPath(m_page2->prevImage())));
    return true;
}

QString BackupDlg::shownPath(const QString& localFile) const
{
    return windowsPath(localFile);
}

BackupPlan::Choices BackupDlg::planChoices() const
{
    const char letter = m_page1->letter();
    BackupPlan::Choices c;
    c.sourcePartition = driveRootOf(QChar::fromLatin1(letter));
    // The disk start is read from the physical disk that holds the volume.
    const int driveIndex = QChar::fromLatin1(letter).toLower().unicode() - 'a' + 1;
    int diskNumber = getVolumeDeviceNumber(driveIndex);
    if (diskNumber < 0)
        diskNumber = m_page1->diskNumber();
    if (diskNumber >= 0)
        c.mbrSource = fromU16(winplat::physicalDrivePath(static_cast<unsigned>(diskNumber)));
    c.fsCode = m_page1->fsCode();
    c.active = m_page1->active();
    c.usedBytes = m_page1->usedBytes();
    c.headBlock = m_page1->head().bytes;
    c.incremental = !m_page2->isFull();
    c.imagePath = m_page2->imagePath();
    c.localImagePath = localPath(m_page2->imagePath());
    if (c.incremental) {
        c.previousImage = m_page2->prevImage();
        c.localPreviousImage = localPath(m_page2->prevImage());
    }
    // The desktop's head block numbers partitions its own way; the chain
    // rule still keeps an incremental on the newest image.
    c.checkPreviousPartition = false;
    c.destFreeBytes = static_cast<quint64>(qMax<qint64>(0, m_page2->freeBytes()));
    c.destFsName = m_page2->destFsName().toUpper();
    takeOptions(*m_page3, &c);
    return c;
}

// The plan's rules that the pages can break; the volume size and the
// question about an existing image set come at Start.
bool BackupDlg::checkBackup()
{
    if (sameLetter(m_page1->letter(), m_page2->destLetter())) {
        error(tr("The destination partition is the same as the source partition!"));
        return false;
    }
    // A destination kept from an earlier backup may be gone or changed.
    if (!m_page2->refreshDestination()) {
        error(tr("The destination folder of the backup image does not exist any more!"));
        return false;
    }
    if (!showProblem(BackupPlan::check(planChoices())))
        return false;
    static const char* const kCompress[] = {"Normal", "High", "Maximum"};
    static const char* const kSizes[] = {"Auto", "2GB", "4GB", "8GB"};
    qDebug() << "src dev letter: " << m_page1->letter() << "dst dev letter: " << m_page2->destLetter()
             << "dst path: " << m_page2->imagePath()
             << "bk type : " << (m_page2->isFull() ? "Full" : "Increment")
             << "password: " << (m_page3->password().isEmpty() ? "NULL" : "Yes")
             << "com type: " << kCompress[qBound(0, m_page3->compressIndex(), 2)]
             << "fix size: " << kSizes[qBound(0, m_page3->volumeSizeIndex(), 3)];
    return true;
}

QString BackupDlg::imageFileName() const
{
    return fileNamePart(m_page2->imagePath());
}

void BackupDlg::startBackup()
{
    if (m_worker && m_worker->isRunning())
        return;
    // The used bytes now, not those listed when the partition was chosen.
    m_page1->measureUsedBytes();
    if (!checkBackup())
        return;
    BackupPlan::Result plan;
    if (!planAtStart(&plan))
        return;
    startPlannedJob(plan, m_page1->fsCode(), localPath(m_page2->imagePath()));
}

void BackupDlg::jobEnded()
{
    if (!m_worker)
        return;
    m_worker->wait();
    const QString note = finishImageFiles(m_worker->result() == 0);
    endJob(tr("Failed"), tr("Backup failed!") + note, tr("Success"), succeededText() + note,
           tr("The backup was cancelled and its unfinished volumes were removed.") + note);
}

}  // namespace desk
