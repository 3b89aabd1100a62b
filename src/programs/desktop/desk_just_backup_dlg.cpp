#include "programs/desktop/desk_just_backup_dlg.h"

#include "jobs/backup_plan.h"
#include "jobs/backup_rules.h"
#include "wizard/backup_wizard.h"
#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_bk_widget1.h"
#include "programs/desktop/desk_file_dialogs.h"
#include "programs/desktop/desk_paths.h"
#include "programs/desktop/desk_settings.h"
#include "programs/desktop/desk_tree_model.h"
#include "programs/desktop/desk_worker.h"
#include "jobs/job_messages.h"
#include "platform/windows/disk_helpers.h"
#include "platform/windows/paths.h"
#include "wizard/start_bk_widget.h"
#include "wizard/tree_item.h"
#include "platform/vetra/vetra.h"
#include "platform/windows_engine/volume_helpers.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include <cstdio>

namespace desk {

namespace {
const char kStop[] = ":images/MsgIcon_Stop.png";
const char kInfo[] = ":images/MsgIcon_Info.png";
const char kQuestion[] = ":images/MsgIcon_Question.png";

QString localTimeText()
{
    const QDateTime now = QDateTime::currentDateTime();
    return QString("%1-%2-%3 %4:%5:%6")
        .arg(now.date().year())
        .arg(now.date().month())
        .arg(now.date().day())
        .arg(now.time().hour())
        .arg(now.time().minute())
        .arg(now.time().second());
}
}  // namespace

JustBackupDlg::JustBackupDlg(const QString& drive, QWidget* parent) : BaseDlg(parent), m_drive(drive)
{
    resize(800, 600);
    m_backgroundPath = QStringLiteral(":images/Step_BG.png");
    m_titleText = tr("Backup Partition");
    setAccessibleName(m_titleText);
    useWindowManagerFrame();
    initTitleBar();
    auto* divider = new QLabel(this);
    divider->setPixmap(QPixmap(QStringLiteral(":images/divider.png")).scaledToWidth(175));
    divider->move(23, 158);
    auto* caption = new QLabel(tr("Backup Partition"), this);
    caption->setStyleSheet(
        QStringLiteral("font: 14pt \"l047013t\"; font-weight: 90; color: rgb(152, 72, 0);"));
    caption->setGeometry(48, 100, 200, 50);
    auto* arrow = new QLabel(this);
    arrow->setPixmap(QPixmap(QStringLiteral(":images/arrow_Step.png")));
    arrow->adjustSize();
    arrow->move(187, 108);
    m_progressPage = new StartBkWidget(this, false);
    m_progressPage->move(220, 90);
    m_nextBtn = new QPushButton(tr("Cancel"), this);
    m_nextBtn->setObjectName(QStringLiteral("m_nextBtn"));
    m_nextBtn->setGeometry(617, 498, 140, 34);
    connect(m_nextBtn, &QPushButton::clicked, this, &JustBackupDlg::cancelBackup);
    connect(this, &JustBackupDlg::finish, m_progressPage, &StartBkWidget::finish);
}

JustBackupDlg::~JustBackupDlg()
{
    if (m_worker && m_worker->isRunning()) {
        m_worker->cancelJob();
        m_worker->wait();
    }
    delete m_worker;
}

int JustBackupDlg::message(const QString& title, const QString& text, const QString& icon, bool okCancel)
{
    return BaseMsgDlg(title, text, icon, this, !okCancel, okCancel).exec();
}

bool JustBackupDlg::buildHead()
{
    if (m_drive.isEmpty())
        return false;
    const char letter = char(m_drive.at(0).toLower().toLatin1());
    // The partition row of the drive in the disk tree, as the wizard uses it.
    TreeModel model;
    const TreeItem* row = nullptr;
    for (int d = 0; !row && d < model.rowCount(); ++d) {
        const TreeItem* disk = model.itemFor(model.index(d, 0));
        for (int p = 0; disk && !row && p < disk->childCount(); ++p) {
            const TreeItem* part = disk->child(p);
            if (TreeModel::isPartitionRow(part) &&
                QChar::fromLatin1(part->letter).toLower() == QChar::fromLatin1(letter))
                row = part;
        }
    }
    if (!row) {
        qWarning("get partition information failed!");
        // Started from the drive's menu, this box is all the user sees.
        QString text = tr("Drive %1: cannot be backed up: it is not a partition of the disks the system "
                          "reports.")
                           .arg(QChar::fromLatin1(letter).toUpper());
        if (!model.emptyReason().isEmpty())
            text += QLatin1Char(' ') + model.emptyReason();
        message(tr("Failed"), text, QLatin1String(kStop));
        return false;
    }
    if (BkWidget1::buildHeadInfo(row, &m_head) != 0)
        return false;
    // This start names the partition by its drive letter's index.
    m_head.data()->partitionNumber = static_cast<uint8_t>(letter - 'a' + 1);
    return true;
}

bool JustBackupDlg::checkBackup()
{
    QString folder = readSetting(kDstPathKey);
    if (folder.isEmpty()) {
        FileRequest request;
        request.kind = FileRequest::ExistingFolder;
        request.caption = tr("Select a destination directory");
        request.startFolder = QStringLiteral(".");
        folder = chooseFile(this, request);
        if (folder.isEmpty())
            return false;
    }
    if (m_drive.isEmpty() || folder.at(0).toUpper() == m_drive.at(0).toUpper()) {
        message(tr("Failed"), tr("The save path is same to the backup partition!"), QLatin1String(kStop));
        return false;
    }
    m_savePath = withSeparator(folder) + m_drive.at(0) + QStringLiteral("_backup");
    return true;
}

// An image set of the same base (names compared as the destination's file
// system does) is replaced only after every refusal and the first question:
// it stays until the new image is whole, or, where the destination cannot
// hold both, goes first when the user agrees.
bool JustBackupDlg::agreeToReplace(const QString& destFsName)
{
    const std::wstring root = (QString(m_savePath.at(0)) + QStringLiteral(":\\")).toStdWString();
    unsigned long long total = 0;
    unsigned long long free = 0;
    const bool measured = getDiskFreeSpace(root.c_str(), &total, &free) == 1;
    m_plan =
        BackupPlan::replacementOf(localPath(m_savePath), destFsName, measured ? m_head.usedBytes : 0, free);
    // Too little space even without the old set: the job is left to fail
    // on it, and the old set stays.
    if (m_plan.problem == BackupPlan::Problem::NotEnoughSpace) {
        m_plan = BackupPlan::replacementOf(localPath(m_savePath), destFsName, 0, free);
    }
    if (m_plan.question == BackupPlan::Question::None)
        return true;
    const QString first = m_savePath + QStringLiteral("_0_0.bkp");
    if (message(tr("Warning"), BackupWizard::replaceQuestion(m_plan, first), QLatin1String(kQuestion),
                true) != 1)
        return false;
    if (m_plan.question == BackupPlan::Question::DeleteOldImageFirst && !BackupPlan::removeOldSet(&m_plan)) {
        message(tr("Error"),
                tr("The old image file %1 cannot be removed!").arg(windowsPath(m_plan.oldImageFile)),
                QLatin1String(kStop));
        return false;
    }
    m_plan.question = BackupPlan::Question::None;
    return true;
}

bool JustBackupDlg::prepare()
{
    if (!buildHead())
        return false;
    if (!checkBackup())
        return false;
    if (!m_worker) {
        m_worker = Worker::reportingTo(m_progressPage);
        connect(m_worker, &QThread::finished, this, &JustBackupDlg::finishBackup);
    }
    m_arg = tagBackupArgument();
    m_arg.incremental = false;
    m_arg.srcPartition = engineText(QString(m_drive.at(0).toLower()) + QStringLiteral(":\\")).toStdString();
    m_arg.imagePath = engineText(m_savePath).toStdString();
    qDebug() << "chinese path test: " << m_savePath;
    m_arg.fsType = m_head.fsCode;
    if (m_head.fsCode == 0) {
        message(tr("Failed"), tr("Unknown the select partition's file system!"), QLatin1String(kStop));
        return false;
    }
    // The disk start of an active drive is read from the physical disk
    // that holds it (a blank disk name would make the job fail).
    const int diskNumber = getVolumeDeviceNumber(m_drive.at(0).toLower().unicode() - 'a' + 1);
    if (diskNumber >= 0)
        m_arg.mbrSource =
            engineText(fromU16(winplat::physicalDrivePath(static_cast<unsigned>(diskNumber)))).toStdString();
    m_arg.saveMbr = m_head.active && diskNumber >= 0;
    m_arg.mbrSize = m_arg.saveMbr ? 512 : 0;
    m_arg.compressType = 2;
    m_arg.description =
        engineText(tr("Backup Partition: %1  Backup Times: %2").arg(m_drive.at(0)).arg(localTimeText()))
            .toStdString();
    // The used bytes now, for the head block and the progress total.
    const qint64 used = volumeUsedBytes(char(m_drive.at(0).toLatin1()));
    if (used > 0)
        m_head.usedBytes = used;
    m_head.bytes = BackupPlan::withUsedBytes(m_head.bytes, m_head.usedBytes);
    m_arg.bytesToProcess = static_cast<uint64_t>(qMax<qint64>(0, m_head.usedBytes));
    // "Auto" by the destination volume's file system: a FAT32 file holds
    // less than 4 GiB.
    const std::wstring root = (QString(m_savePath.at(0)) + QStringLiteral(":\\")).toStdWString();
    const QString destFsName = BackupPlan::fsNameOfCode(volumeFileSystemCode(root.c_str()));
    uint64_t volumeSize = 0;
    if (!BackupRules::splitSize(BackupRules::AutoSize, destFsName, &volumeSize)) {
        message(tr("Error"), tr("The destination partition's file system is unknown!"), QLatin1String(kStop));
        return false;
    }
    m_arg.volumeSize = volumeSize;
    if (message(tr("Warning"), tr("Do you want to backup your %1 partition?").arg(m_drive.at(0)),
                QLatin1String(kInfo), true) != 1)
        return false;
    return agreeToReplace(destFsName);
}

int JustBackupDlg::exec()
{
    if (m_worker && !m_worker->isRunning()) {
        m_filesBeforeJob = BackupRules::imageSetFiles(localPath(m_savePath), m_plan.nameCase);
        m_worker->setBackup(m_arg, m_head.fsCode, m_head.data(), m_head.size());
        m_jobClock.start();
        m_worker->startJob();
    }
    return BaseDlg::exec();
}

void JustBackupDlg::cancelBackup()
{
    if (m_worker)
        m_worker->cancelJob();
}

void JustBackupDlg::finishBackup()
{
    m_worker->wait();
    emit finish();
    const int result = m_worker->result();
    // A failed job leaves the old set as it was and its own volumes go; a
    // job that succeeded removes what is left of the replaced set.
    const QStringList stayed =
        BackupPlan::cleanUpAfterJob(m_plan, localPath(m_savePath), m_filesBeforeJob, result == 0);
    const QString note = BackupWizard::oldSetNote(m_plan, result == 0, stayed,
                                                  fileNamePart(m_savePath + QStringLiteral("_0_0.bkp")));
    if (result == 0) {
        m_progressPage->showSucceeded();
        const JobMessages::BackupOutcome outcome =
            JobMessages::backupOutcome(localPath(m_savePath), m_jobClock.elapsed() / 1000);
        message(tr("Success"), JobMessages::backupSucceeded(outcome, &windowsPath) + note,
                QLatin1String(kInfo));
    } else if (result == ERR_CANCELLED) {
        message(tr("Cancelled"),
                tr("The backup was cancelled and its unfinished volumes were removed.") + note,
                QLatin1String(kInfo));
    } else {
        message(tr("Failed"),
                JobMessages::failedText(tr("Backup failed!") + note, result, JobMessages::Job::Backup),
                QLatin1String(kStop));
    }
    accept();
}

int runOneDriveBackup(const QString& driveRoot)
{
    JustBackupDlg dialog(driveRoot);
    dialog.show();
    if (!dialog.prepare())
        return -1;
    dialog.exec();
    return 0;
}

}  // namespace desk
