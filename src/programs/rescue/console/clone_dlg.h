// The clone wizard: step 1 chooses the source partition (NTFS or FAT32),
// step 2 the destination, step 3 the two options; Start asks before the
// destination is erased and runs the clone on the engine worker while the
// progress page is shown, and the job's end says in words what came of it.
#ifndef RESCUE_CONSOLE_CLONE_DLG_H
#define RESCUE_CONSOLE_CLONE_DLG_H

#include "jobs/clone_plan.h"
#include "jobs/quarn_thread.h"
#include "wizard/wizard_frame.h"

class CloneWidget1;
class CloneWidget2;
class CloneWidget3;
class StartBkWidget;

class CloneDlg : public WizardFrame {
    Q_OBJECT

public:
    CloneDlg(const QString& title, QWidget* parent);
    ~CloneDlg() override;

    CloneWidget1* page1() const { return m_page1; }
    CloneWidget2* page2() const { return m_page2; }
    CloneWidget3* page3() const { return m_page3; }
    StartBkWidget* progressPage() const { return m_progress; }

    // The engine the worker calls (the library's unless a test scripts one);
    // set it before the first start.
    void setEngine(const QuarnEngine& engine) { m_engine = engine; }
    bool jobActive() const { return m_worker && m_worker->isRunning(); }

    // The plan of the choices on the pages as they stand.
    ClonePlan::Result plan() const;

public slots:
    // Checks the choices, asks before the destination is erased, frees it
    // of the console's own mounts and starts the clone.
    void startRestore();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    QuarnThread* newWorker() override { return new QuarnThread(m_engine); }
    void jobEnded() override;
    bool prepareStep(int step) override;
    void startClicked() override { startRestore(); }
    // A cancelled job may still be ending: a new start waits for its end.
    bool startEnabled() const override { return !jobActive(); }

private:
    QString sourceText() const;
    QString destinationText() const;

    CloneWidget1* m_page1;
    CloneWidget2* m_page2;
    CloneWidget3* m_page3;
    StartBkWidget* m_progress;
    QuarnEngine m_engine = QuarnEngine::library();
    // The two partitions as the job's end names them (the lists are read
    // again while its box shows).
    QString m_jobSource;
    QString m_jobDestination;
};

#endif
