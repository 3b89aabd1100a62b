// The desktop's backup wizard: step 1 the source partition, step 2 the
// destination and full or incremental mode, step 3 (the console's page)
// password, compression, volume size and description; Start checks the
// choices and runs the engine on the worker while the progress page shows.
#ifndef DESK_BACKUP_DLG_H
#define DESK_BACKUP_DLG_H

#include "backup_plan.h"
#include "desk_wizard_frame.h"
#include "quarn.h"

class BkWidget3;
class StartBkWidget;

namespace desk {

class BkWidget1;
class BkWidget2;

class BackupDlg : public WizardFrame {
    Q_OBJECT

public:
    explicit BackupDlg(QWidget* parent = nullptr);
    ~BackupDlg() override;

    BkWidget1* page1() const { return m_page1; }
    BkWidget2* page2() const { return m_page2; }
    BkWidget3* page3() const { return m_page3; }
    StartBkWidget* progressPage() const { return m_progressPage; }

    // Fills the engine's request; false (after its message) when it cannot.
    bool fillRequest(tagBackupArgument* arg);

public slots:
    bool checkBackup();
    void startBackup();

protected:
    void jobEnded() override;
    void startClicked() override { startBackup(); }
    bool prepareStep(int step) override;

private:
    BackupPlan::Choices planChoices() const;
    bool showProblem(const BackupPlan::Result& result);
    bool agreeToReplace();
    void removeUnfinishedVolumes();

    BkWidget1* m_page1;
    BkWidget2* m_page2;
    BkWidget3* m_page3;
    StartBkWidget* m_progressPage;
    // The head block of the running job, with the used bytes measured at Start.
    QByteArray m_jobHead;
    // The running job's image and the files of its set before it began: a
    // failed or cancelled job's own volumes go, or a later incremental
    // backup would take them for the newest image of the chain.
    QString m_jobImageBase;
    QStringList m_filesBeforeJob;
};

}  // namespace desk

#endif
