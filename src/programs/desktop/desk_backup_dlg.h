// The desktop's backup wizard: step 1 the source partition, step 2 the
// destination and full or incremental mode, step 3 (the console's page)
// password, compression, volume size and description; Start checks the
// choices and runs the engine on the worker while the progress page shows.
#ifndef DESK_BACKUP_DLG_H
#define DESK_BACKUP_DLG_H

#include "wizard/backup_wizard.h"
#include "programs/desktop/desk_wizard_frame.h"

class BkWidget3;
class StartBkWidget;

namespace desk {

class BkWidget1;
class BkWidget2;

class BackupDlg : public ::BackupWizard {
    Q_OBJECT

public:
    explicit BackupDlg(QWidget* parent = nullptr);
    ~BackupDlg() override;

    BkWidget1* page1() const { return m_page1; }
    BkWidget2* page2() const { return m_page2; }
    BkWidget3* page3() const { return m_page3; }
    StartBkWidget* progressPage() const { return m_progressPage; }

public slots:
    bool checkBackup();
    void startBackup();

protected:
    void jobEnded() override;
    void startClicked() override { startBackup(); }
    bool prepareStep(int step) override;
    BackupPlan::Choices planChoices() const override;
    QString shownPath(const QString& localFile) const override;
    QString imageFileName() const override;

private:
    BkWidget1* m_page1;
    BkWidget2* m_page2;
    BkWidget3* m_page3;
    StartBkWidget* m_progressPage;
};

}  // namespace desk

#endif
