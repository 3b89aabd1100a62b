// What the desktop's two wizards share: the three step captions beside the
// pages, the arrow at the current step, the dividers, the "Return",
// "Previous" and "Next" buttons, binding a button to exactly one slot, the
// message boxes, and closing while a job runs.
#ifndef DESK_WIZARD_FRAME_H
#define DESK_WIZARD_FRAME_H

#include "base_dlg.h"

#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QPushButton;
class QuarnThread;

namespace desk {

class Worker;

// The desktop's title bar differs from the console's in its "About
// Software" box, which names the program's version; call after initTitleBar.
void useDesktopHelpBox(BaseDlg* window, QPushButton* helpButton);

class WizardFrame : public BaseDlg {
    Q_OBJECT

public:
    QPushButton* returnButton() const { return m_returnBtn; }
    QPushButton* previousButton() const { return m_preBtn; }
    QPushButton* nextButton() const { return m_nextBtn; }
    int currentStep() const { return m_currentStep; }
    Worker* worker() const { return m_worker; }

signals:
    void returnMainDlg();
    void finish();

protected:
    WizardFrame(QWidget* parent, const QString& title, const QStringList& titles,
                const QStringList& subtitles);

    // Captions and arrow for step 1 to 3 (4: the running job keeps step 3's).
    void markStep(int step);
    // Shows `button` with `text`, bound to `slot` alone.
    void bindButton(QPushButton* button, bool visible, bool enabled, const QString& text,
                    std::function<void()> slot);
    // One of the wizard's message boxes: 1 for OK, 0 for Cancel.
    int message(const QString& title, const QString& text, bool okCancel = false,
                const QString& icon = QStringLiteral(":images/MsgIcon_Stop.png"));
    int error(const QString& text) { return message(tr("Error"), text); }

    // The three step pages and the progress page, placed beside the steps.
    void setPages(QWidget* step1, QWidget* step2, QWidget* step3, QWidget* progress);
    // Shows the page of `step` (4: the progress page) and marks the step.
    void showPage(int step);
    // Step 1: no "Previous"; "Next" runs `toStep2`.
    void showFirstStep(std::function<void()> toStep2);
    // The running job's worker, for the close question; null when none.
    QuarnThread* runningWorker() const;
    // For the wizard's destructor: cancels a running job, waits for it, and
    // deletes the worker while the wizard's own slots still exist.
    void stopWorker();
    // The job's end: waits for the worker, tells the progress page, shows
    // `failed`, `cancelled` or `succeeded` (not while closing), runs `showFirstStep` and,
    // unless closing, goes back to the main window. The texts come from
    // the wizard, whose catalogue context holds them.
    void endJob(const QString& failedTitle, const QString& failed, const QString& succeededTitle,
                const QString& succeeded, const QString& cancelled, const std::function<void()>& showFirstStep);
    // Closing while a job runs asks; on OK the job is cancelled and waited
    // for before the window closes.
    void closeEvent(QCloseEvent* event) override;
    // No F5 rescan and no Escape record in the desktop's wizards.
    void keyReleaseEvent(QKeyEvent*) override {}
    void showEvent(QShowEvent* event) override;
    // Waits for the worker to end, answering its queued requests meanwhile.
    static void waitForWorker(QuarnThread* worker);
    bool closing() const { return m_closing; }

    static const QPoint kPagePos;

    QWidget* m_pages[4] = {};
    Worker* m_worker = nullptr;
    QLabel* m_stepTitles[3];
    QLabel* m_stepSubtitles[3];
    QLabel* m_arrow;
    int m_arrowWidth = 0;
    int m_arrowHeight = 0;
    QPushButton* m_returnBtn;
    QPushButton* m_preBtn;
    QPushButton* m_nextBtn;
    int m_currentStep = 1;
    bool m_closing = false;
};

}  // namespace desk

#endif
