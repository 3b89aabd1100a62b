// What both programs' backup wizards do around the backup plan: the
// engine's request from the pages, the question before an existing image
// set is replaced, starting the planned job on the worker, and removing the
// volumes a failed or cancelled job began. Each wizard gives its pages'
// choices and its own boxes for the plan's problems.
#ifndef WIZARD_BACKUP_WIZARD_H
#define WIZARD_BACKUP_WIZARD_H

#include "backup_plan.h"
#include "quarn.h"
#include "wizard_frame.h"

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
    // A failed or cancelled job leaves the volumes it began behind; a later
    // incremental backup would take them for the newest image of the chain.
    void removeUnfinishedVolumes();

private:
    bool agreeToReplace();

    // The head block of the running job, with the used bytes measured at
    // Start: the engine reads it until the job ends.
    QByteArray m_jobHead;
    // The running job's image and the files of its set before it began.
    QString m_jobImagePath;
    QStringList m_filesBeforeJob;
};

#endif
