#include "jobs/progress_model.h"

void ProgressModel::reset()
{
    *this = ProgressModel();
}

void ProgressModel::addBytes(qint64 bytes)
{
    if (bytes < 0)
        return;
    m_windowBytes += bytes;
    m_doneBytes += bytes;
    m_remainingBytes = bytes < m_remainingBytes ? m_remainingBytes - bytes : 0;
}

void ProgressModel::setTotal(qint64 total)
{
    // The total shown is the bytes the job moves, so the bytes reach it.
    m_totalBytes = qMax<qint64>(total, 0);
    m_remainingBytes = m_totalBytes;
}

void ProgressModel::estimate(qint64 speed)
{
    if (m_remainingBytes <= 0)
        m_remainingSeconds = 10;
    else if (speed <= 0)
        m_remainingSeconds = -1;
    else
        m_remainingSeconds = m_remainingBytes / speed;
}

qint64 ProgressModel::tick()
{
    ++m_elapsedSeconds;
    ++m_windowTicks;
    const qint64 speed = m_windowBytes / m_windowTicks;
    if (m_windowTicks >= kWindowTicks) {
        m_windowBytes = 0;
        m_windowTicks = 0;
    }
    if (m_estimateTick >= kEstimateEvery) {
        estimate(speed);
        m_estimateTick = 0;
    } else {
        if (m_remainingSeconds > 0)
            --m_remainingSeconds;
        if (m_remainingSeconds < 1)
            estimate(speed);
        ++m_estimateTick;
    }
    return speed;
}

void ProgressModel::endTimeLeft()
{
    m_remainingSeconds = 0;
}

void ProgressModel::succeed()
{
    m_doneBytes = qMax(m_doneBytes, m_totalBytes);
    m_remainingBytes = 0;
    m_remainingSeconds = 0;
}

int ProgressModel::percent() const
{
    if (m_totalBytes <= 0)
        return -1;
    return static_cast<int>(static_cast<double>(shownDoneBytes()) * 100.0 /
                            static_cast<double>(m_totalBytes));
}
