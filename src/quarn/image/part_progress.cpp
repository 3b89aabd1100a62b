#include "quarn/image/part_progress.h"

#include "quarn/image/callbacks.h"

#include <algorithm>

CPartProgress::CPartProgress(uint64_t total, int (*onProgress)(int, void*), void* context)
    : m_total(total), m_stepSize(total / kSteps)
{
    m_cb.onProgress = onProgress;
    m_cb.context = context;
}

void CPartProgress::SetCallbacks(const tagCallBackFunc& cb)
{
    m_cb.onName = cb.onName;
    m_cb.onMessage = cb.onMessage;
    m_cb.onBytesDone = cb.onBytesDone;
    m_cb.onState = cb.onState;
}

int CPartProgress::ProgressFunc(uint64_t bytes)
{
    // The caller's bar ends at the total: bytes beyond it (a job that meets
    // more than it measured) are not reported.
    const uint64_t reported = std::min(bytes, m_total - m_done);
    m_done += reported;
    m_processed += bytes;
    // A total below kSteps gives a step size of 0: report no steps rather
    // than loop forever.
    if (m_stepSize != 0) {
        while (m_step < kSteps && m_processed - m_stepped >= m_stepSize) {
            ++m_step;
            if (Callbacks::Progress(m_cb, m_step) != 0)
                return ERR_CANCELLED;
            m_stepped += m_stepSize;
        }
        // Past the last step the bar stands still, but the caller is still
        // asked, once for each call that completes further steps: the
        // progress callback is where a cancel is heard.
        if (m_processed - m_stepped >= m_stepSize) {
            m_stepped += (m_processed - m_stepped) / m_stepSize * m_stepSize;
            if (Callbacks::Progress(m_cb, m_step) != 0)
                return ERR_CANCELLED;
        }
    }
    Callbacks::BytesDone(m_cb, reported);
    return 0;
}

void CPartProgress::Complete()
{
    const uint64_t rest = m_total - m_done;
    m_done = m_total;
    // The job is done: an answer asking to cancel comes too late to matter.
    while (m_stepSize != 0 && m_step < kSteps) {
        ++m_step;
        Callbacks::Progress(m_cb, m_step);
    }
    m_processed = std::max(m_processed, m_done);
    m_stepped = m_processed;
    if (rest != 0)
        Callbacks::BytesDone(m_cb, rest);
}

void CPartProgress::ProcessName(const char* name)
{
    // Jobs name every file they pass: build no text that nobody reads.
    if (m_cb.onName != nullptr)
        Callbacks::Name(m_cb, QString::fromLocal8Bit(name ? name : ""));
}

void CPartProgress::ProcessMsg(const QString& text)
{
    Callbacks::Message(m_cb, text);
}

void CPartProgress::ProcessState(const QString& state)
{
    Callbacks::State(m_cb, state);
}
