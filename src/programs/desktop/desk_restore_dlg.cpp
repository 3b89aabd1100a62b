#include "desk_restore_dlg.h"

#include "backup_rules.h"
#include "desk_file_dialogs.h"
#include "desk_paths.h"
#include "desk_rt_widget1.h"
#include "desk_rt_widget2.h"
#include "desk_tree_model.h"
#include "desk_worker.h"
#include "rt_widget3.h"
#include "start_bk_widget.h"

#include <QDebug>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace desk {

RestoreDlg::RestoreDlg(QWidget* parent)
    : ::WizardFrame(parent, tr("Restore"), {tr("Step 1"), tr("Step 2"), tr("Step 3")},
                    {tr("choose images"), tr("choose partition"), tr("start restore")}, kWizardSteps, true)
{
    useDesktopLook(this);
    m_page1 = new RtWidget1(this);
    m_page2 = new RtWidget2(this);
    m_page3 = new RtWidget3(this);
    m_progressPage = new StartBkWidget(this, true);
    setPages(m_page1, m_page2, m_page3, m_progressPage);
    connect(m_page1, &RtWidget1::pwdSig, m_page3, &RtWidget3::pwdSlot);
    connect(m_page1, &RtWidget1::descSig, m_page3, &RtWidget3::descSlot);
    m_page3->pwdSlot(QByteArray());
    if (m_page1->preselected())
        m_page1->emitImageInfo();
    showStep1();
}

RestoreDlg::~RestoreDlg()
{
    stopWorker();
}

RestorePlan::Choices RestoreDlg::planChoices() const
{
    RestorePlan::Choices c;
    c.imagePath = m_page1->imagePath();
    c.targetPath = m_page2->targetPath();
    c.fsCode = m_page1->fsCode();
    c.restorePartition = m_page1->isPartitionChecked();
    c.restoreMbr = m_page1->isMbrChecked();
    c.storedDigest = m_page1->pwdDigest();
    c.typedPassword = m_page3->m_pwdEdit->text();
    // The image's drive: a partition restore would overwrite the image.
    c.targetHoldsImage = !c.imagePath.isEmpty() && !c.targetPath.isEmpty() &&
                         c.targetPath.at(0).toUpper() == c.imagePath.at(0).toUpper();
    c.targetIsSystem = !c.targetPath.isEmpty() && m_page2->isSystem();
    return c;
}

bool RestoreDlg::showProblem(RestorePlan::Problem problem)
{
    using RestorePlan::Problem;
    switch (problem) {
    case Problem::None:
        return true;
    case Problem::NoImage:
    case Problem::ImageGone:  // drive letters stay: the desktop never takes an image's place away
        error(tr("You must select one image file to restore!"));
        break;
    case Problem::NoTarget:
        error(m_page2->model()->emptyReason().isEmpty() ? tr("You must select one partition to restore!")
                                                        : m_page2->model()->emptyReason());
        break;
    case Problem::TargetHoldsImage:
        error(tr("The destination partition is the partition that holds the backup image file!"));
        break;
    case Problem::TargetIsSystem:
        error(tr("The destination partition is the operating system's partition, please use the boot ISO "
                 "to restore it!"));
        break;
    case Problem::WrongPassword:
        message(tr("Password Error"), tr("The password you entered is wrong!"));
        break;
    case Problem::NothingChosen:
        message(tr("Warning"), tr("You must select what to restore: the partition, the MBR or both!"), false,
                QStringLiteral(":images/MsgIcon_Warning.png"));
        break;
    case Problem::NoMbrOnWholeDisk:  // every disk of the inventory has a partition table
        break;
    }
    return false;
}

bool RestoreDlg::checkRestore()
{
    return showProblem(RestorePlan::plan(planChoices()).problem);
}

void RestoreDlg::startRestore()
{
    if (m_worker && m_worker->isRunning())
        return;
    if (!checkRestore())
        return;
    jobWorker();
    const RestorePlan::Result plan = RestorePlan::plan(planChoices());
    const tagRestoreArgument& arg = plan.request;
    qDebug() << "src file: " << m_page1->imagePath() << "dst dev : " << m_page2->targetPath()
             << "rt mbr  : " << (arg.hasMbr ? "true" : "false");
    const QString warningIcon = QStringLiteral(":images/warning_L.png");
    if (plan.partitionJob) {
        if (message(tr("Warning"),
                    tr("All data on partition %1: will be erased!").arg(m_page2->targetPath().toUpper()),
                    true, warningIcon) != 1)
            return;
        qDebug() << (arg.hasMbr ? "restore partition and mbr" : "just restore partition");
        m_worker->setRestore(arg, m_page1->fsCode());
    } else {
        qDebug() << "just restore mbr";
        if (message(tr("Warning"),
                    tr("Are you sure you want to restore the MBR of your %1 disk?").arg(m_page2->diskText()),
                    true, warningIcon) != 1)
            return;
        m_worker->setRestoreMbr(arg);
    }
    showRunning();
    m_worker->setCheckImageFirst(m_page3->checkImageFirst());
    m_worker->startJob();
}

void RestoreDlg::workerCreated(QuarnThread* worker)
{
    connect(worker, &QuarnThread::nextFileNotified, this, &RestoreDlg::browseForNextFile,
            Qt::BlockingQueuedConnection);
}

void RestoreDlg::jobEnded()
{
    endJob(
        tr("Failed"), tr("Restore failed!"), tr("Success"), tr("Restore succeeded!"),
        tr("The restore was cancelled: the partition holds an unfinished restore and must be restored again "
           "before it is used."));
}

void RestoreDlg::browseForNextFile(QString& fileName)
{
    const QString missing = fileName;
    while (!(m_worker && m_worker->cancelRequested())) {
        FileRequest request;
        request.kind = FileRequest::ExistingFile;
        request.caption = tr("Select the next volume: %1").arg(fileNamePart(missing));
        request.startFolder = folderPart(missing);
        request.filter = tr("Backup Image File (*.bkp)");
        const QString chosen = chooseFile(this, request);
        if (chosen.isEmpty()) {
            if (m_worker)
                m_worker->cancelJob();
            return;
        }
        // The same name again is only an answer once the file is there.
        if (chosen.compare(missing, Qt::CaseInsensitive) == 0 && !QFileInfo::exists(localPath(chosen))) {
            error(tr("The file %1 does not exist. Please choose the next volume of the image!").arg(chosen));
            continue;
        }
        fileName = chosen;
        return;
    }
}

}  // namespace desk
