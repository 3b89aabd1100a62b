// The page the wizards show while an engine job runs: progress bar, state,
// current file, speed, bytes done against the total, elapsed time and time
// left. The worker's reports only add to counters; a once-a-second tick
// refreshes the labels, and the bar with them: the bar is the share of the
// total that the bytes label shows, so the two always agree. The page keeps
// the end of a job on show (the wizard's result box sits over it) and starts
// clean when it is shown for the next job or that job's total arrives.
#ifndef WIZARD_START_BK_WIDGET_H
#define WIZARD_START_BK_WIDGET_H

#include "jobs/progress_model.h"

#include <QObject>
#include <QString>
#include <QWidget>

class CProgressBar;
class QLabel;
class QTimer;

// The page's one-second tick. The default runs on a QTimer; tests give the
// page a clock they advance by hand.
class PageClock : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    virtual void start(int milliseconds) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void timeout();
};

class TimerPageClock : public PageClock {
    Q_OBJECT

public:
    explicit TimerPageClock(QObject* parent = nullptr);
    void start(int milliseconds) override;
    void stop() override;
    bool isActive() const override;

private:
    QTimer* m_timer;
};

// The page's labels (object names as listed, for style sheets and tests).
struct StartBkForm {
    QLabel* headLabel = nullptr;
    QLabel* warningPicture = nullptr;
    QLabel* warnLabel = nullptr;
    QLabel* stateLabel = nullptr;
    QLabel* fileNameLabel = nullptr;
    QLabel* speedLabel = nullptr;
    QLabel* bkBytesLabel = nullptr;
    QLabel* spaceTimeLabel = nullptr;
    QLabel* leftTimeLabel = nullptr;
    QLabel* percentLabel = nullptr;  // beside the bar
    QLabel* bytesCaption = nullptr;  // the caption of bkBytesLabel

    void setupUi(QWidget* page, bool restore);
    // The head and the warning of the page while its job writes.
    static QString headText(bool restore);
    static QString warningText(bool restore);
};

class StartBkWidget : public QWidget {
    Q_OBJECT

public:
    // restore: the restore wizard's page (its head and bytes captions differ).
    explicit StartBkWidget(QWidget* parent = nullptr, bool restore = false);
    ~StartBkWidget() override;

    // The clone wizard's page: a clone copies, it neither backs up nor restores.
    void showCloneTexts();

    // Replaces the tick source (null is ignored); the page owns it.
    void setClock(PageClock* clock);
    PageClock* clock() const { return m_clock; }

    const StartBkForm& form() const { return *m_form; }
    CProgressBar* bar() const { return m_bar; }
    const ProgressModel& model() const { return m_model; }
    qint64 totalBytes() const { return m_model.totalBytes(); }
    qint64 doneBytes() const { return m_model.doneBytes(); }
    qint64 remainingBytes() const { return m_model.remainingBytes(); }

    // "hh:mm:ss" of a second count; the hours do not wrap at a day.
    static QString clockText(qint64 seconds);
    // "1.50 KB/s" and the like; thresholds as formatSize's.
    static QString speedText(qint64 bytesPerSecond);

public slots:
    // The engine's step; it moves the bar only while no byte total is known.
    int setValue(int percent);
    void processBytes(long long dwlBytes);
    void recvTotalUsedBytes(long long dwlTotalUsedBytes);
    void displayName(QString name);
    void displayState(QString state);
    // A phase of the job begins (QuarnThread::Phase): the image check of a
    // restore, then the restore itself, each counted from nothing.
    void showPhase(int phase);
    void displaySpeed(QString speed);
    void displayRemainTime(QString remainTime);
    void updateSpendTime();
    // The job has ended: the clock stops and the labels show where it got.
    void finish();
    // The job succeeded: the bar at 100%, the bytes at the total, no time left.
    void showSucceeded();
    // Back to the state before a job: nothing moved, nothing guessed.
    void resetForNextJob();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refreshLabels();

    StartBkForm* m_form;
    CProgressBar* m_bar;
    PageClock* m_clock = nullptr;
    ProgressModel m_model;
    // From the first report of a job until finish().
    bool m_jobRunning = false;
    bool m_timerStarted = false;
    QString m_totalText;
    bool m_restore = false;
    bool m_checkPhase = false;  // the image check before a restore is on show
};

#endif
