// The restore wizard: step 1 chooses an image, step 2 the target partition,
// step 3 shows the image's comments and asks for its password; Start runs
// the restore on the engine worker while the progress page is shown, and
// the wizard answers the engine's requests for further volumes.
#ifndef RESCUE_CONSOLE_RESTORE_DLG_H
#define RESCUE_CONSOLE_RESTORE_DLG_H

#include "jobs/quarn_thread.h"
#include "jobs/restore_plan.h"
#include "wizard/wizard_frame.h"

#include <QString>

#include <functional>

class RtWidget1;
class RtWidget2;
class RtWidget3;
class StartBkWidget;

// What the user chose in a file dialog.
struct FileChoice {
    bool accepted = false;
    QString path;  // the selected item's path
    QString name;  // the dialog's file-name text
};

class RestoreDlg : public WizardFrame {
    Q_OBJECT

public:
    RestoreDlg(QWidget* parent, const QString& title);
    ~RestoreDlg() override;

    // Runs the dialog that chooses a further volume of the image; `expected`
    // is the file the engine looked for. The default shows the image file
    // dialog; tests answer it themselves.
    using VolumeChooser = std::function<FileChoice(QWidget* parent, const QString& expected)>;
    void setVolumeChooser(VolumeChooser chooser);

    // The engine the worker calls (the library's unless a test scripts one);
    // set it before the first start.
    void setEngine(const QuarnEngine& engine) { m_engine = engine; }

    bool checkRestore();

    using WizardFrame::m_nextBtn;
    using WizardFrame::m_preBtn;
    using WizardFrame::m_returnBtn;
    RtWidget1* m_rtWidget1;
    RtWidget2* m_rtWidget2;
    RtWidget3* m_rtWidget3;
    StartBkWidget* m_progress;

public slots:
    void browseForNextFile(QString& fileName);
    void startRestore();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    QuarnThread* newWorker() override { return new QuarnThread(m_engine); }
    void workerCreated(QuarnThread* worker) override;
    void jobEnded() override;
    bool prepareStep(int step) override;
    void startClicked() override { startRestore(); }
    // A cancelled job may still be ending: a new start waits for its end.
    bool startEnabled() const override { return !(m_worker && m_worker->isRunning()); }

private:
    int showBox(const QString& title, const QString& text, const QString& icon, bool okCancel = false);
    RestorePlan::Choices planChoices() const;
    bool showProblem(const RestorePlan::Result& result);
    static FileChoice runFileDialog(QWidget* parent, const QString& expected);

    QuarnEngine m_engine = QuarnEngine::library();
    VolumeChooser m_volumeChooser;
};

#endif
