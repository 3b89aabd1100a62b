#include "programs/desktop/desk_restore_dlg.h"

#include "jobs/backup_rules.h"
#include "programs/desktop/desk_file_dialogs.h"
#include "programs/desktop/desk_paths.h"
#include "programs/desktop/desk_rt_widget1.h"
#include "programs/desktop/desk_rt_widget2.h"
#include "programs/desktop/desk_tree_model.h"
#include "programs/desktop/desk_worker.h"
#include "jobs/job_messages.h"
#include "wizard/rt_widget3.h"
#include "wizard/start_bk_widget.h"

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
    // The image's volume may have gone since it was chosen (unmounted at
    // the end of the last job).
    c.imageReadable = RestorePlan::imageReadable(c.imagePath.isEmpty() ? QString() : localPath(c.imagePath));
    c.targetPath = m_page2->targetPath();
    c.fsCode = m_page1->fsCode();
    c.restorePartition = m_page1->isPartitionChecked();
    c.restoreMbr = m_page1->isMbrChecked();
    c.storedDigest = m_page1->pwdDigest();
    c.typedPassword = m_page3->m_pwdEdit->text();
    c.imageBytes = m_page1->usedBytes();
    c.targetBytes = m_page2->targetBytes();
    // The image's drive: a partition restore would overwrite the image.
    c.targetHoldsImage = !c.imagePath.isEmpty() && !c.targetPath.isEmpty() &&
                         c.targetPath.at(0).toUpper() == c.imagePath.at(0).toUpper();
    c.targetIsSystem = !c.targetPath.isEmpty() && m_page2->isSystem();
    return c;
}

bool RestoreDlg::showProblem(const RestorePlan::Result& result)
{
    // Every disk of the inventory has a partition table.
    if (result.problem == RestorePlan::Problem::NoMbrOnWholeDisk)
        return false;
    // No partition to choose: the list says why.
    if (result.problem == RestorePlan::Problem::NoTarget && !m_page2->model()->emptyReason().isEmpty()) {
        error(m_page2->model()->emptyReason());
        return false;
    }
    return !showMessageBox(JobMessages::restoreProblem(result));
}

bool RestoreDlg::prepareStep(int step)
{
    // A target too small for the image is refused before the erase question.
    if (step == 3 && !m_page1->imagePath().isEmpty())
        return showProblem(RestorePlan::checkTarget(planChoices()));
    return true;
}

bool RestoreDlg::checkRestore()
{
    return showProblem(RestorePlan::plan(planChoices()));
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
        if (message(tr("Warning"), JobMessages::eraseQuestion(m_page2->partitionText()), true, warningIcon) !=
            1)
            return;
        qDebug() << (arg.hasMbr ? "restore partition and mbr" : "just restore partition");
        m_worker->setRestore(arg, m_page1->fsCode());
    } else {
        qDebug() << "just restore mbr";
        if (message(tr("Warning"), JobMessages::mbrQuestion(m_page2->diskNameText()), true, warningIcon) != 1)
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
    const QString succeeded = m_worker && m_worker->operation() == QuarnThread::RestoreMbr
                                  ? JobMessages::mbrRestoreSucceeded(m_page2->diskNameText(), jobSeconds())
                                  : JobMessages::restoreSucceeded(m_page2->partitionText(), jobSeconds());
    endJob(
        tr("Failed"), tr("Restore failed!"), tr("Success"), succeeded,
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
