// Turns the bytes a job processes into at most 95 progress steps and
// forwards names, messages and states to the caller's callbacks.
#ifndef QUARN_IMAGE_PART_PROGRESS_H
#define QUARN_IMAGE_PART_PROGRESS_H

#include "quarn/api/quarn.h"

class CPartProgress {
public:
    static constexpr int kSteps = 95;

    CPartProgress(uint64_t total, int (*onProgress)(int, void*), void* context);
    virtual ~CPartProgress() = default;

    // Hands over onName, onMessage, onBytesDone and onState of the job's record.
    void SetCallbacks(const tagCallBackFunc& cb);

    // Adds bytes; reports each full step. ERR_CANCELLED when the caller
    // cancels at a step (onBytesDone is then skipped), else 0. Neither the
    // bytes reported pass the total nor the steps kSteps; a call that
    // completes steps past kSteps still asks the caller (with kSteps), so a
    // job that meets more bytes than its total can still be cancelled.
    int ProgressFunc(uint64_t bytes);
    // A job that succeeded: reports the steps up to kSteps and the bytes up
    // to the total that its own count fell short of.
    void Complete();
    void ProcessName(const char* name);
    void ProcessMsg(const QString& text);
    void ProcessState(const QString& state);

    uint64_t Total() const { return m_total; }
    int LastStep() const { return m_step; }
    uint64_t BytesDone() const { return m_done; }

private:
    uint64_t m_total;
    uint64_t m_done = 0;       // reported, at most the total
    uint64_t m_processed = 0;  // as the job counted them
    uint64_t m_stepped = 0;
    uint64_t m_stepSize;
    int m_step = 0;
    tagCallBackFunc m_cb;
};

#endif
