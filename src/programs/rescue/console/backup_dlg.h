// The console's backup wizard: step 1 chooses the source partition, step 2
// the image file (full or incremental), step 3 the password, compression,
// volume size and comments; Start checks everything and runs the engine on
// the worker thread while the progress page is shown.
#ifndef RESCUE_CONSOLE_BACKUP_DLG_H
#define RESCUE_CONSOLE_BACKUP_DLG_H

#include "wizard/backup_wizard.h"

#include <QString>
#include <QStringList>

class BkWidget1;
class BkWidget2;
class BkWidget3;
class StartBkWidget;

class BackupDlg : public BackupWizard {
    Q_OBJECT

public:
    explicit BackupDlg(QWidget* parent = nullptr);
    // A job still running is cancelled and waited for first: the engine
    // reads the first page's head block until it returns.
    ~BackupDlg() override;

    bool jobActive() const { return m_jobActive; }
    BkWidget1* page1() const { return m_page1; }
    BkWidget2* page2() const { return m_page2; }
    BkWidget3* page3() const { return m_page3; }
    StartBkWidget* progressPage() const { return m_progressPage; }

public slots:
    bool checkBackup();
    void startBackup();
    // The engine cannot open the image an incremental backup builds on:
    // the user finds it, or cancelling the search ends the job.
    void browseForPreviousImage(QString& fileName);

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    // Opened for a new job: step 1, and the options page at its defaults
    // (no password of an earlier image is offered).
    void showEvent(QShowEvent* event) override;
    // Closing while a job runs asks first, then cancels the job and waits
    // for it to end.
    void closeEvent(QCloseEvent* event) override;
    // A child, so that the main window sees a running job among the
    // wizard's threads; it asks for a previous image the engine cannot open.
    void workerCreated(QuarnThread* worker) override;
    // Step 3's buttons stay disabled after a cancel until the job has ended.
    void jobEnded() override;
    void startClicked() override { startBackup(); }
    bool prepareStep(int step) override;
    // While a cancelled job winds down, no step may start another job or
    // change the head block the engine still reads.
    bool navigationEnabled() const override { return !m_jobActive; }
    BackupPlan::Choices planChoices() const override;
    QString imageFileName() const override;

private:
    bool imageOnSource();
    bool destinationStillThere();
    void measureSourceUsedBytes();
    void waitForJobEnd();

    BkWidget1* m_page1;
    BkWidget2* m_page2;
    BkWidget3* m_page3;
    StartBkWidget* m_progressPage;
    bool m_jobActive = false;
    // The destination's mount, held while the job writes there.
    QByteArray m_heldMount;
};

#endif
