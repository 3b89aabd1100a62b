// What a job's progress page shows, counted from the worker's reports and
// a once-a-second tick: the bytes done against the total, the speed over
// the last few seconds, the elapsed time and an estimate of the time left.
// Widget-free, so both programs' pages draw the same figures.
#ifndef JOBS_PROGRESS_MODEL_H
#define JOBS_PROGRESS_MODEL_H

#include <QtGlobal>

class ProgressModel {
public:
    // The speed is averaged over at most this many ticks.
    static constexpr int kWindowTicks = 5;
    // Ticks between two full estimates of the time left; in between it
    // counts down.
    static constexpr int kEstimateEvery = 3;

    // Back to the state before a job: nothing moved, nothing guessed.
    void reset();
    // Bytes the engine reports done (negative reports are ignored).
    void addBytes(qint64 bytes);
    // The job's byte total (negative counts as none).
    void setTotal(qint64 total);
    // One second has passed; returns the speed of the recent window in
    // bytes per second (0 while nothing moved).
    qint64 tick();
    // The job wrote its last byte: no time is left.
    void endTimeLeft();
    // The job succeeded: the bytes reach the total.
    void succeed();

    qint64 totalBytes() const { return m_totalBytes; }
    // Done bytes as the page shows them: never past the total.
    qint64 shownDoneBytes() const { return m_totalBytes > 0 ? qMin(m_doneBytes, m_totalBytes) : m_doneBytes; }
    qint64 doneBytes() const { return m_doneBytes; }
    qint64 remainingBytes() const { return m_remainingBytes; }
    qint64 elapsedSeconds() const { return m_elapsedSeconds; }
    // -1 while no honest estimate can be made (nothing moved lately).
    qint64 remainingSeconds() const { return m_remainingSeconds; }
    // The share of the total done, 0 to 100; -1 while no total is known.
    int percent() const;

private:
    void estimate(qint64 speed);

    qint64 m_windowBytes = 0;
    int m_windowTicks = 0;
    qint64 m_doneBytes = 0;
    qint64 m_totalBytes = 0;
    qint64 m_remainingBytes = 0;
    qint64 m_elapsedSeconds = 0;
    qint64 m_remainingSeconds = -1;
    int m_estimateTick = kEstimateEvery;
};

#endif
