// What both programs' backup wizards do around the backup plan: the
// engine's request from the pages, the question before an existing image
// set is replaced, starting the planned job on the worker, and after it
// either removing what the new image left of the replaced set or, when the
// job failed or was cancelled, what the job began (the old set stays).
// Each wizard gives its pages' choices and its own boxes for the plan's
// problems.
#ifndef WIZARD_BACKUP_WIZARD_H
#define WIZARD_BACKUP_WIZARD_H

#include "jobs/backup_plan.h"
#include "quarn/api/quarn.h"
#include "wizard/wizard_frame.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class BkWidget3;

class BackupWizard : public WizardFrame {
    Q_OBJECT

public:
    // Fills the engine's request from the pages; false (after its message)
    // when it cannot.
    bool fillRequest(tagBackupArgument* arg);

    // The question about an existing image set (`imageName` names it): kept
    // until the new image is whole, or, where both do not fit, deleted
    // first; the one-drive backup asks it too.
    static QString replaceQuestion(const BackupPlan::Result& asking, const QString& imageName);
    // What a job's end box adds about the old image set.
    static QString oldSetNote(const BackupPlan::Result& plan, bool succeeded, const QStringList& notRemoved,
                              const QString& imageName);

protected:
    using WizardFrame::WizardFrame;

    virtual BackupPlan::Choices planChoices() const = 0;
    // The box of a plan's problem; false when there was one.
    bool showProblem(const BackupPlan::Result& result);
    // A local path as the program shows it to its user.
    virtual QString shownPath(const QString& localPath) const { return localPath; }
    // The success box's text: where the new image went and how long it took.
    QString succeededText() const;
    // The image's file name as the user wrote it.
    virtual QString imageFileName() const = 0;
    // The choices of the options page both programs share.
    static void takeOptions(const BkWidget3& page, BackupPlan::Choices* choices);

    // The plan at Start, asking before an existing image set is replaced;
    // false (after its box) when there is no job to run.
    bool planAtStart(BackupPlan::Result* plan);
    // Runs `plan` on the worker with the progress page shown; `imagePath` is
    // the image's path on this machine.
    void startPlannedJob(const BackupPlan::Result& plan, int fsCode, const QString& imagePath);
    // The job's end for the image files: a failed or cancelled job leaves
    // the old set as it was and what it began goes (a later incremental
    // backup would take it for the newest image of the chain); a job that
    // succeeded removes what is left of the replaced set. Gives what the
    // end box adds about the old image (empty when there was none).
    QString finishImageFiles(bool succeeded);

private:
    bool agreeToReplace(const BackupPlan::Result& asking);

    // The head block of the running job, with the used bytes measured at
    // Start: the engine reads it until the job ends.
    QByteArray m_jobHead;
    // The running job's plan, its image and the files of its set before it
    // began.
    BackupPlan::Result m_jobPlan;
    QString m_jobImagePath;
    QStringList m_filesBeforeJob;
};

#endif
