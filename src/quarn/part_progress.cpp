#include "part_progress.h"

CPartProgress::CPartProgress(uint64_t total, int (*onProgress)(int, void*), void* context)
    : m_total(total), m_stepSize(total / kSteps), m_onProgress(onProgress), m_context(context)
{
}

void CPartProgress::SetCallbacks(const tagCallBackFunc& cb)
{
    m_onName = cb.onName;
    m_onMessage = cb.onMessage;
    m_onBytesDone = cb.onBytesDone;
    m_onState = cb.onState;
}

int CPartProgress::ProgressFunc(uint64_t bytes)
{
    m_done += bytes;
    // A total below kSteps gives a step size of 0: report no steps rather
    // than loop forever.
    while (m_stepSize != 0 && m_done - m_stepped >= m_stepSize) {
        ++m_step;
        if (m_onProgress != nullptr && m_onProgress(m_step, m_context) != 0)
            return ERR_CANCELLED;
        m_stepped += m_stepSize;
    }
    if (m_onBytesDone != nullptr)
        m_onBytesDone(bytes, m_context);
    return 0;
}

void CPartProgress::ProcessName(const char* name)
{
    if (m_onName != nullptr)
        m_onName(QString::fromLocal8Bit(name ? name : ""), m_context);
}

void CPartProgress::ProcessMsg(const QString& text)
{
    if (m_onMessage != nullptr)
        m_onMessage(text, m_context);
}

void CPartProgress::ProcessState(const QString& state)
{
    if (m_onState != nullptr)
        m_onState(state, m_context);
}
