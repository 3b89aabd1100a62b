// The frame every three-step wizard of both programs is built on: the column
// of step captions with the arrow at the current step, the pages beside it,
// the "Return", "Previous" and "Next" buttons each bound to one slot at a
// time, the engine worker (made once, its reports wired to the progress
// page), and the end of a job (the result box, step 1, the main window).
// A wizard gives its captions and the place of its step column; the title
// bar and the close rules are its program's.
#ifndef WIZARD_WIZARD_FRAME_H
#define WIZARD_WIZARD_FRAME_H

#include "wizard/base_dlg.h"
#include "jobs/job_messages.h"

#include <QElapsedTimer>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QPushButton;
class QuarnThread;

class WizardFrame : public BaseDlg {
    Q_OBJECT

public:
    enum State { Step1, Step2, Step3, Running };

    // A wizard's own destructor stops the worker while its slots still
    // exist; this one deletes what is left.
    ~WizardFrame() override;

    // Where the step captions and the dividers between them stand.
    struct StepColumn {
        int titleY[3];
        QSize titleSize;
        int subtitleY[3];
        QSize subtitleSize;
        int dividerY[2];
        Qt::Alignment alignment;  // none: the label's default
    };

    // The console's wizards all draw their steps here, so that the column
    // does not jump when the user goes from one wizard to another.
    static const StepColumn kConsoleSteps;

    State state() const { return m_state; }
    // 1 to 3; the running job keeps step 3.
    int currentStep() const { return m_currentStep; }
    QuarnThread* worker() const { return m_worker; }
    QPushButton* returnButton() const { return m_returnBtn; }
    QPushButton* previousButton() const { return m_preBtn; }
    QPushButton* nextButton() const { return m_nextBtn; }
    QLabel* arrowLabel() const { return m_arrow; }
    QLabel* stepTitle(int step) const { return m_stepTitles[step]; }
    QLabel* stepSubtitle(int step) const { return m_stepSubtitles[step]; }
    QPushButton* helpButton() const { return m_helpButton; }

    // A program's own parts of the frame. With a question set, closing
    // while a job runs asks it; on OK the job is cancelled and waited for
    // before the window closes, and its end shows no box.
    void setCloseQuestion(const QString& question) { m_closeQuestion = question; }
    // Makes the worker of the wizard's jobs (default: a QuarnThread on the
    // engine library).
    void setWorkerFactory(std::function<QuarnThread*()> factory) { m_workerFactory = std::move(factory); }
    // No key does anything beyond what the pages do with it.
    void ignoreKeys() { m_keysIgnored = true; }

signals:
    void returnMainDlg();
    void finish();

public slots:
    void returnBtnClicked() { emit returnMainDlg(); }
    // The step's checks (prepareStep), then the step: its page, its
    // caption, "Previous" to the step before and "Next" to the one after,
    // or "Start" on step 3.
    void showStep1() { showStep(1); }
    void showStep2() { showStep(2); }
    void showStep3() { showStep(3); }

protected:
    // `windowManagerFrame`: a window of the desktop, under a window manager.
    WizardFrame(QWidget* parent, const QString& title, const QStringList& titles,
                const QStringList& subtitles, const StepColumn& column, bool windowManagerFrame = false);

    // Captions and arrow for step 1 to 3 (4: the running job keeps step 3's).
    void markStep(int step);
    // Shows `button` with `text`, bound to `slot` alone.
    void bindButton(QPushButton* button, bool visible, bool enabled, const QString& text,
                    std::function<void()> slot);
    // One of the wizard's message boxes: 1 for OK, 0 for Cancel.
    int message(const QString& title, const QString& text, bool okCancel = false,
                const QString& icon = QStringLiteral(":images/MsgIcon_Stop.png"));
    int error(const QString& text) { return message(tr("Error"), text); }
    // A box of the job layer's words; false when there is none to show.
    bool showMessageBox(const JobMessages::Box& box);

    // The three step pages and the progress page (null for a wizard without
    // a job), placed beside the steps.
    void setPages(QWidget* step1, QWidget* step2, QWidget* step3, QWidget* progress);
    // Shows the page of `step` (4: the progress page) and marks the step.
    void showPage(int step);
    void showStep(int step);
    // The step without its checks, as after a cancelled job.
    void enterStep(int step);
    // What must hold before `step` shows, with its message when it does not,
    // and what the step takes from the pages before it.
    virtual bool prepareStep(int) { return true; }
    // Off while a job winds down, where the wizard must not change the
    // choices the engine still reads.
    virtual bool navigationEnabled() const { return true; }
    virtual bool startEnabled() const { return navigationEnabled(); }
    // "Start" on step 3.
    virtual void startClicked() = 0;
    // The running page: "Cancel" cancels the job, "Finish" waits for the
    // end, "Return" is off until then.
    void showRunning();
    // Asks the running job to stop and shows step 3 again, without its
    // checks; the job's end still comes through jobEnded().
    void cancelRunningJob();

    // The worker of the wizard's jobs, made on the first call: its reports
    // reach the progress page, and its end runs jobEnded().
    QuarnThread* jobWorker();
    virtual QuarnThread* newWorker();
    // Called once for the new worker, for the wizard's own connections.
    virtual void workerCreated(QuarnThread*) {}
    virtual void jobEnded() {}
    // For the wizard's destructor: cancels a running job, waits for it, and
    // deletes the worker while the wizard's own slots still exist.
    void stopWorker();
    // Whole seconds since the running page showed.
    qint64 jobSeconds() const { return m_jobClock.isValid() ? m_jobClock.elapsed() / 1000 : 0; }
    // The job's end: waits for the worker, tells the progress page, shows
    // `failed` with what the engine's result code means and what to do,
    // `cancelled` or `succeeded` (not while closing), shows step 1
    // and, unless closing, goes back to the main window. The texts come from
    // the wizard, whose catalogue context holds them.
    void endJob(const QString& failedTitle, const QString& failed, const QString& succeededTitle,
                const QString& succeeded, const QString& cancelled);
    void closeEvent(QCloseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Waits for the worker to end, answering its queued requests meanwhile.
    static void waitForWorker(QuarnThread* worker);
    bool closing() const { return m_closing; }

    QWidget* m_pages[4] = {};
    QuarnThread* m_worker = nullptr;
    QPushButton* m_returnBtn;
    QPushButton* m_preBtn;
    QPushButton* m_nextBtn;

private:
    QLabel* m_stepTitles[3];
    QLabel* m_stepSubtitles[3];
    QLabel* m_arrow;
    State m_state = Step1;
    int m_currentStep = 1;
    bool m_closing = false;
    QString m_closeQuestion;
    std::function<QuarnThread*()> m_workerFactory;
    bool m_keysIgnored = false;
    QElapsedTimer m_jobClock;
};

#endif
