// A callback record for tests that keeps everything a job tells its caller,
// and cancels or answers volume requests as the test asks.
#ifndef TEST_SUPPORT_RECORDING_CALLBACKS_H
#define TEST_SUPPORT_RECORDING_CALLBACKS_H

#include "quarn/api/quarn.h"

#include <QString>

#include <cstdint>
#include <numeric>
#include <vector>

namespace testsupport {

struct RecordingCallbacks {
    // For cancelAtStep: cancel at whatever step comes first.
    static constexpr int kCancelAtAnyStep = -1;

    std::vector<int> steps;
    std::vector<uint64_t> totals;
    std::vector<uint64_t> bytesDone;  // one entry per report
    std::vector<QString> names, messages, states;
    std::vector<size_t> stepsBeforeState;  // per state: the steps reported before it
    std::vector<QString> askedFiles;       // the names onNextFile was called with

    // 0: never cancel; a step number: cancel at that step; kCancelAtAnyStep.
    int cancelAtStep = 0;
    // onNextFile answers with these names in turn (0: try this one), then
    // gives up (1) as an empty slot would.
    std::vector<QString> nextFileChoices;

    uint64_t BytesDoneSum() const { return std::accumulate(bytesDone.begin(), bytesDone.end(), uint64_t(0)); }

    // A callback record whose every slot reports to this object.
    tagCallBackFunc Bind()
    {
        tagCallBackFunc cb;
        cb.onProgress = [](int step, void* c) {
            auto* r = Self(c);
            r->steps.push_back(step);
            const bool cancel =
                r->cancelAtStep == kCancelAtAnyStep || (r->cancelAtStep != 0 && step == r->cancelAtStep);
            return cancel ? 1 : 0;
        };
        cb.onTotalBytes = [](uint64_t total, void* c) { Self(c)->totals.push_back(total); };
        cb.onNextFile = [](QString& path, void* c) {
            auto* r = Self(c);
            const size_t answered = r->askedFiles.size();
            r->askedFiles.push_back(path);
            if (answered >= r->nextFileChoices.size())
                return 1;
            path = r->nextFileChoices[answered];
            return 0;
        };
        cb.onBytesDone = [](uint64_t bytes, void* c) { Self(c)->bytesDone.push_back(bytes); };
        cb.onName = [](QString name, void* c) { Self(c)->names.push_back(name); };
        cb.onMessage = [](QString text, void* c) { Self(c)->messages.push_back(text); };
        cb.onState = [](QString state, void* c) {
            auto* r = Self(c);
            r->states.push_back(state);
            r->stepsBeforeState.push_back(r->steps.size());
        };
        cb.context = this;
        return cb;
    }

private:
    static RecordingCallbacks* Self(void* context) { return static_cast<RecordingCallbacks*>(context); }
};

}  // namespace testsupport

#endif
