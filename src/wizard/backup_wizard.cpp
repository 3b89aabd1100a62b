#include "wizard/backup_wizard.h"

#include "jobs/backup_rules.h"
#include "wizard/bk_widget3.h"
#include "jobs/quarn_thread.h"
#include "jobs/size_text.h"

#include <QDir>
#include <QFileInfo>

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
    choices->previousImagePassword = page.previousImagePassword();
    choices->compressIndex = page.compressIndex();
    choices->volumeSizeIndex = page.volumeSizeIndex();
    choices->description = page.description();
}

// A full backup over an image of the same name replaces the old image's
// volumes and the incremental images built on it: ask first. The old set
// stays until the new image is whole, unless the destination cannot hold
// both.
QString BackupWizard::replaceQuestion(const BackupPlan::Result& asking, const QString& imageName)
{
    if (asking.question == BackupPlan::Question::DeleteOldImageFirst)
        return tr("An image named %1 already exists there, and the destination cannot hold it and the new "
                  "image together: the new image needs up to %2 of free space, there are %3 free, and the "
                  "old "
                  "image takes %4. Do you want to delete the old image before the backup starts? If the "
                  "backup "
                  "then fails, no image is left.")
            .arg(imageName, formatSize(qint64(asking.neededFreeBytes)), formatSize(qint64(asking.freeBytes)),
                 formatSize(qint64(asking.oldSetBytes)));
    return tr("An image named %1 already exists there. It is kept until the new image is written whole; "
              "then its other volumes and the incremental images built on it are removed. Do you want to "
              "go on?")
        .arg(imageName);
}

bool BackupWizard::agreeToReplace(const BackupPlan::Result& asking)
{
    return message(tr("Warning"), replaceQuestion(asking, imageFileName()), true,
                   QStringLiteral(":images/MsgIcon_Question.png")) == 1;
}

bool BackupWizard::planAtStart(BackupPlan::Result* plan)
{
    *plan = BackupPlan::planAtStart(
        planChoices(), [this](const BackupPlan::Result& asking) { return agreeToReplace(asking); });
    return showProblem(*plan) && plan->ready();
}

void BackupWizard::startPlannedJob(const BackupPlan::Result& plan, int fsCode, const QString& imagePath)
{
    QuarnThread* worker = jobWorker();
    m_jobPlan = plan;
    m_jobImagePath = imagePath;
    m_filesBeforeJob = BackupRules::imageSetFiles(imagePath, plan.nameCase);
    showRunning();
    m_jobHead = plan.headBlock;
    auto* head = m_jobHead.isEmpty() ? nullptr : reinterpret_cast<tagBackupImageHeadInfo*>(m_jobHead.data());
    worker->setBackup(plan.request, fsCode, head, m_jobHead.size());
    worker->startJob();
}

QString BackupWizard::oldSetNote(const BackupPlan::Result& plan, bool succeeded,
                                 const QStringList& notRemoved, const QString& imageName)
{
    QStringList lines;
    if (!notRemoved.isEmpty()) {
        QStringList names;
        for (const QString& file : notRemoved)
            names << QDir::toNativeSeparators(file);
        lines << tr("These files could not be removed: %1").arg(names.join(QStringLiteral(", ")));
    }
    if (!succeeded && plan.oldSetDeletedFirst)
        lines << tr("The old image was deleted before the backup.");
    else if (!succeeded && !plan.filesToReplace.isEmpty())
        lines << (BackupPlan::oldSetUnchanged(plan)
                      ? tr("The image %1 that was there before is kept unchanged.").arg(imageName)
                      : tr("The image %1 that was there before was changed and may no longer restore.")
                            .arg(imageName));
    return lines.isEmpty() ? QString() : QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
}

QString BackupWizard::finishImageFiles(bool succeeded)
{
    const QStringList stayed =
        BackupPlan::cleanUpAfterJob(m_jobPlan, m_jobImagePath, m_filesBeforeJob, succeeded);
    const QString note = oldSetNote(m_jobPlan, succeeded, stayed, imageFileName());
    m_jobPlan = BackupPlan::Result();
    return note;
}
