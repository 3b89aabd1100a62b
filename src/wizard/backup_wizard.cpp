#include "backup_wizard.h"

#include "backup_rules.h"
#include "bk_widget3.h"
#include "quarn_thread.h"

#include <QFile>

bool BackupWizard::fillRequest(tagBackupArgument* arg)
{
    BackupPlan::Choices choices = planChoices();
    choices.replaceConfirmed = true;
    const BackupPlan::Result result = BackupPlan::plan(choices);
    if (!showProblem(result))
        return false;
    *arg = result.request;
    return true;
}

bool BackupWizard::showProblem(const BackupPlan::Result& result)
{
    return !showMessageBox(
        JobMessages::backupProblem(result, [this](const QString& path) { return shownPath(path); }));
}

QString BackupWizard::succeededText() const
{
    return JobMessages::backupSucceeded(JobMessages::backupOutcome(m_jobImagePath, jobSeconds()),
                                        [this](const QString& path) { return shownPath(path); });
}

void BackupWizard::takeOptions(const BkWidget3& page, BackupPlan::Choices* choices)
{
    choices->password = page.password();
    choices->confirmPassword = page.confirmPassword();
    choices->compressIndex = page.compressIndex();
    choices->volumeSizeIndex = page.volumeSizeIndex();
    choices->description = page.description();
}

// A full backup over an image of the same name would leave the old image's
// later volumes and the incremental images built on it behind, pointing at
// data that is gone: ask before the plan removes the whole old set.
bool BackupWizard::agreeToReplace()
{
    const QString text = tr("An image named %1 already exists there. Its volumes and the incremental "
                            "images built on it will be replaced. Do you want to go on?")
                             .arg(imageFileName());
    return message(tr("Warning"), text, true) == 1;
}

bool BackupWizard::planAtStart(BackupPlan::Result* plan)
{
    *plan = BackupPlan::planAtStart(planChoices(),
                                    [this](const BackupPlan::Result&) { return agreeToReplace(); });
    return showProblem(*plan) && plan->ready();
}

void BackupWizard::startPlannedJob(const BackupPlan::Result& plan, int fsCode, const QString& imagePath)
{
    QuarnThread* worker = jobWorker();
    m_jobImagePath = imagePath;
    m_filesBeforeJob = BackupRules::imageSetFiles(imagePath);
    showRunning();
    m_jobHead = plan.headBlock;
    auto* head = m_jobHead.isEmpty() ? nullptr : reinterpret_cast<tagBackupImageHeadInfo*>(m_jobHead.data());
    worker->setBackup(plan.request, fsCode, head, m_jobHead.size());
    worker->startJob();
}

void BackupWizard::removeUnfinishedVolumes()
{
    for (const QString& file : BackupRules::imageSetFiles(m_jobImagePath)) {
        if (!m_filesBeforeJob.contains(file))
            QFile::remove(file);
    }
}
