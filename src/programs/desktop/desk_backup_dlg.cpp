#include "desk_backup_dlg.h"

#include "backup_rules.h"
#include "bk_widget3.h"
#include "desk_bk_widget1.h"
#include "desk_bk_widget2.h"
#include "desk_paths.h"
#include "desk_worker.h"
#include "paths.h"
#include "start_bk_widget.h"
#include "volume_helpers.h"

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
    : WizardFrame(parent, tr("Backup"), {tr("Step 1"), tr("step 2"), tr("step 3")},
                  {tr("choose partition "), tr("choose destination"), tr("start backup")})
{
    m_page1 = new BkWidget1(this);
    m_page2 = new BkWidget2(this);
    m_page3 = new BkWidget3(this);
    m_progressPage = new StartBkWidget(this, false);
    setPages(m_page1, m_page2, m_page3, m_progressPage);
    connect(m_page1, &BkWidget1::partTypeSig, m_page2, &BkWidget2::recvPartType);
    connect(m_page1, &BkWidget1::partLetterSig, m_page2, &BkWidget2::recvSrcLetter);
    connect(this, &BackupDlg::finish, m_progressPage, &StartBkWidget::finish);
    showStep1();
}

BackupDlg::~BackupDlg()
{
    stopWorker();
}

void BackupDlg::showStep1()
{
    showFirstStep([this] { showStep2(); });
}

void BackupDlg::showStep2()
{
    if (m_page1->letter() == ' ') {
        error(tr("You must select a partition to back up!"));
        return;
    }
    showPage(2);
    bindButton(m_preBtn, true, true, tr("Previous"), [this] { showStep1(); });
    bindButton(m_nextBtn, true, true, tr("Next"), [this] { showStep3(); });
}

void BackupDlg::showStep3()
{
    if (m_page2->fileNameEmpty()) {
        error(tr("You must enter a file name for the backup!"));
        return;
    }
    if (m_page2->imagePath().isEmpty()) {
        error(tr("You must select the place to save the backup image!"));
        return;
    }
    if (sameLetter(m_page1->letter(), m_page2->destLetter())) {
        error(tr("The partition you want to back up must be different from the place of the backup image!"));
        return;
    }
    m_page3->setDestinationFs(m_page2->destFsName());
    showPage(3);
    bindButton(m_preBtn, true, true, tr("Previous"), [this] { showStep2(); });
    bindButton(m_nextBtn, true, true, tr("Start"), [this] { startBackup(); });
}

bool BackupDlg::checkBackup()
{
    if (!m_page2->isFull() && m_page1->fsCode() != 4) {
        error(tr("Incremental backup is only possible for NTFS partitions!"));
        return false;
    }
    if (sameLetter(m_page1->letter(), m_page2->destLetter())) {
        error(tr("The destination partition is the same as the source partition!"));
        return false;
    }
    // A destination kept from an earlier backup may be gone or changed.
    if (!m_page2->refreshDestination()) {
        error(tr("The destination folder of the backup image does not exist any more!"));
        return false;
    }
    if (static_cast<double>(m_page2->freeBytes()) * 0.8 < static_cast<double>(m_page1->usedBytes())) {
        error(tr("The destination partition does not have enough space for the backup image!"));
        return false;
    }
    const int length1 = m_page3->password().size();
    const int length2 = m_page3->confirmPassword().size();
    if ((length1 > 0 && length1 < 6) || (length2 > 0 && length2 < 6)) {
        message(tr("Password Error"), tr("The password must be empty or at least 6 characters long!"));
        return false;
    }
    if (m_page3->password() != m_page3->confirmPassword()) {
        message(tr("Password Error"), tr("The two passwords you entered are different!"));
        return false;
    }
    static const char* const kCompress[] = {"Normal", "High", "Maximum"};
    static const char* const kSizes[] = {"Auto", "2GB", "4GB", "8GB"};
    qDebug() << "src dev letter: " << m_page1->letter() << "dst dev letter: " << m_page2->destLetter()
             << "dst path: " << m_page2->imagePath() << "bk type : " << (m_page2->isFull() ? "Full" : "Increment")
             << "password: " << (m_page3->password().isEmpty() ? "NULL" : "Yes")
             << "com type: " << kCompress[qBound(0, m_page3->compressIndex(), 2)]
             << "fix size: " << kSizes[qBound(0, m_page3->volumeSizeIndex(), 3)];
    return true;
}

bool BackupDlg::fillRequest(tagBackupArgument* arg)
{
    const char letter = m_page1->letter();
    arg->incremental = !m_page2->isFull();
    arg->srcPartition = engineText(driveRootOf(QChar::fromLatin1(letter))).toStdString();
    arg->imagePath = engineText(m_page2->imagePath()).toStdString();
    if (arg->incremental)
        arg->prevImage = engineText(m_page2->prevImage()).toStdString();
    // The disk start is read from the physical disk that holds the volume.
    const int driveIndex = QChar::fromLatin1(letter).toLower().unicode() - 'a' + 1;
    int diskNumber = getVolumeDeviceNumber(driveIndex);
    if (diskNumber < 0)
        diskNumber = m_page1->diskNumber();
    if (diskNumber >= 0)
        arg->mbrSource = engineText(fromU16(winplat::physicalDrivePath(static_cast<unsigned>(diskNumber))))
                             .toStdString();
    arg->fsType = m_page1->fsCode();
    arg->compressType = m_page3->compressIndex() + 1;
    arg->saveMbr = m_page1->active() && diskNumber >= 0;
    arg->mbrSize = arg->saveMbr ? 512 : 0;
    arg->password = engineText(m_page3->password()).toStdString();
    arg->description = engineText(m_page3->description()).toStdString();
    arg->bytesToProcess = static_cast<uint64_t>(qMax<qint64>(0, m_page1->usedBytes()));
    uint64_t split = BackupRules::kNeverSplit;
    if (!BackupRules::splitSize(m_page3->volumeSizeIndex(), m_page2->destFsName().toUpper(), &split)) {
        error(tr("The file system of the destination partition is unknown!"));
        return false;
    }
    arg->volumeSize = split;
    return true;
}

void BackupDlg::startBackup()
{
    if (m_worker && m_worker->isRunning())
        return;
    if (!checkBackup())
        return;
    tagBackupArgument arg;
    if (!fillRequest(&arg))
        return;
    if (!m_worker) {
        m_worker = Worker::reportingTo(m_progressPage);
        connect(m_worker, &QThread::finished, this, &BackupDlg::finishBackup);
    }
    showPage(4);
    markStep(3);
    bindButton(m_preBtn, true, true, tr("Cancel"), [this] { cancelBackup(); });
    bindButton(m_nextBtn, true, false, tr("Finish"), nullptr);
    m_returnBtn->setEnabled(false);
    m_worker->setBackup(arg, m_page1->fsCode(), m_page1->headInfo(), m_page1->headInfoLength());
    m_worker->startJob();
}

void BackupDlg::cancelBackup()
{
    if (m_worker)
        m_worker->cancelJob();
    bindButton(m_preBtn, true, true, tr("Previous"), [this] { showStep2(); });
    bindButton(m_nextBtn, true, true, tr("Start"), [this] { startBackup(); });
    showStep3();
}

void BackupDlg::finishBackup()
{
    endJob(tr("Failed"), tr("Backup failed!"), tr("Success"), tr("Backup succeeded!"), [this] { showStep1(); });
}

}  // namespace desk
