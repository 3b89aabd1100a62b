#include "quarn/image/callbacks.h"
#include "quarn/image/part_progress.h"
#include "support/recording_callbacks.h"

#include <gtest/gtest.h>

#include <vector>

using testsupport::RecordingCallbacks;

namespace {

std::vector<int> Range(int first, int last)
{
    std::vector<int> v;
    for (int i = first; i <= last; ++i)
        v.push_back(i);
    return v;
}

std::vector<int> WithLast(std::vector<int> v, int last)
{
    v.push_back(last);
    return v;
}

}  // namespace

TEST(PartProgress, StepTable)
{
    static constexpr uint64_t kAsGiven = ~0ULL;
    // reported: the bytes onBytesDone hears (kAsGiven: `bytes`).
    struct Call {
        uint64_t bytes;
        int result;
        std::vector<int> newSteps;
        bool bytesDone;
        uint64_t reported = kAsGiven;
    };
    struct Case {
        const char* what;
        uint64_t total;
        int cancelAtStep;
        std::vector<Call> calls;
    };
    const Case cases[] = {
        {"total 950, 100 then 5 bytes", 950, 0, {{100, 0, Range(1, 10), true}, {5, 0, {}, true}}},
        {"steps carry the remainder", 950, 0, {{15, 0, {1}, true}, {4, 0, {}, true}, {1, 0, {2}, true}}},
        {"cancel at step 3", 950, 3, {{100, ERR_CANCELLED, Range(1, 3), false}}},
        // Steps past the total are not reported as further steps, but each
        // call that completes some still asks the caller at step 95.
        {"bytes past the total are not reported, still asked",
         95,
         0,
         {{95, 0, Range(1, 95), true, 95}, {2, 0, {95}, true, 0}}},
        {"one call far past the total stops at step 95",
         950,
         0,
         {{5000, 0, WithLast(Range(1, 95), 95), true, 950}, {10, 0, {95}, true, 0}, {9, 0, {}, true, 0}}},
        {"a cancel at the last step is honoured", 950, 95, {{950, ERR_CANCELLED, Range(1, 95), false}}},
        {"total below 95 gives no steps and ends", 94, 0, {{1000, 0, {}, true, 94}, {0, 0, {}, true}}},
        {"total 0 gives no steps and ends", 0, 0, {{1ULL << 40, 0, {}, true, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingCallbacks r;
        r.cancelAtStep = c.cancelAtStep;
        tagCallBackFunc cb = r.Bind();
        CPartProgress progress(c.total, cb.onProgress, cb.context);
        progress.SetCallbacks(cb);
        for (const auto& call : c.calls) {
            r.steps.clear();
            r.bytesDone.clear();
            EXPECT_EQ(progress.ProgressFunc(call.bytes), call.result);
            EXPECT_EQ(r.steps, call.newSteps);
            const uint64_t reported = call.reported == kAsGiven ? call.bytes : call.reported;
            EXPECT_EQ(r.bytesDone,
                      call.bytesDone ? std::vector<uint64_t>{reported} : std::vector<uint64_t>{});
        }
    }
}

TEST(PartProgress, NullCallbacksAreNoOps)
{
    CPartProgress progress(950, nullptr, nullptr);
    progress.SetCallbacks(tagCallBackFunc{});
    EXPECT_EQ(progress.ProgressFunc(10000), 0);  // never cancels
    EXPECT_EQ(progress.LastStep(), 95);
    progress.Complete();
    progress.ProcessName("x");
    progress.ProcessMsg("m");
    progress.ProcessState("s");
}

TEST(PartProgress, ForwardsNamesMessagesAndStates)
{
    RecordingCallbacks r;
    tagCallBackFunc cb = r.Bind();
    CPartProgress progress(0, cb.onProgress, cb.context);
    progress.SetCallbacks(cb);
    progress.ProcessName("caf\xc3\xa9.txt");
    progress.ProcessName(nullptr);
    progress.ProcessMsg("hello");
    progress.ProcessState("Finish");
    EXPECT_EQ(r.names, (std::vector<QString>{QString::fromLocal8Bit("caf\xc3\xa9.txt"), QString()}));
    EXPECT_EQ(r.messages, std::vector<QString>{"hello"});
    EXPECT_EQ(r.states, std::vector<QString>{"Finish"});
}

TEST(Callbacks, EmptySlotsAreSafe)
{
    tagCallBackFunc empty;
    QString path = "/expected";
    EXPECT_EQ(Callbacks::Progress(empty, 1), 0) << "an empty progress slot never cancels";
    EXPECT_NE(Callbacks::NextFile(empty, path), 0) << "an empty next-file slot gives up";
    EXPECT_EQ(path, "/expected");
    Callbacks::TotalBytes(empty, 1);
    Callbacks::BytesDone(empty, 1);
    Callbacks::Name(empty, "n");
    Callbacks::Message(empty, "m");
    Callbacks::State(empty, "s");

    RecordingCallbacks user;
    user.nextFileChoices = {"/chosen/by/user"};
    tagCallBackFunc ask = user.Bind();
    EXPECT_EQ(Callbacks::NextFile(ask, path), 0);
    EXPECT_EQ(path, "/chosen/by/user");
    EXPECT_NE(Callbacks::NextFile(ask, path), 0);
}

TEST(PartProgress, CompleteReportsWhatTheJobsCountFellShortOf)
{
    struct Case {
        const char* what;
        uint64_t total;
        std::vector<uint64_t> before;  // ProgressFunc calls before Complete
        std::vector<int> completeSteps;
        std::vector<uint64_t> completeBytes;
    };
    const Case cases[] = {
        {"short by a few bytes", 950, {945}, {95}, {5}},
        {"short by many steps", 950, {100}, Range(11, 95), {850}},
        {"nothing done", 950, {}, Range(1, 95), {950}},
        {"already at the total", 950, {950}, {}, {}},
        {"past the total", 950, {2000}, {}, {}},
        {"total below 95: bytes, no steps", 50, {20}, {}, {30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingCallbacks r;
        tagCallBackFunc cb = r.Bind();
        CPartProgress progress(c.total, cb.onProgress, cb.context);
        progress.SetCallbacks(cb);
        for (uint64_t bytes : c.before)
            ASSERT_EQ(progress.ProgressFunc(bytes), 0);
        r.steps.clear();
        r.bytesDone.clear();
        r.cancelAtStep = RecordingCallbacks::kCancelAtAnyStep;  // too late to cancel
        progress.Complete();
        EXPECT_EQ(r.steps, c.completeSteps);
        EXPECT_EQ(r.bytesDone, c.completeBytes);
        EXPECT_EQ(progress.BytesDone(), c.total);
        // Nothing more after the end.
        r.steps.clear();
        r.bytesDone.clear();
        progress.Complete();
        EXPECT_TRUE(r.steps.empty());
        EXPECT_TRUE(r.bytesDone.empty());
    }
}

// A job that meets more bytes than its total (sparse or compressed files)
// must still be cancellable once the bar is full.
TEST(PartProgress, ACancelAskedAfterTheTotalStopsTheJob)
{
    RecordingCallbacks r;
    tagCallBackFunc cb = r.Bind();
    CPartProgress progress(950, cb.onProgress, cb.context);
    progress.SetCallbacks(cb);
    ASSERT_EQ(progress.ProgressFunc(950), 0);
    ASSERT_EQ(r.steps.back(), CPartProgress::kSteps);
    r.cancelAtStep = RecordingCallbacks::kCancelAtAnyStep;
    r.bytesDone.clear();
    EXPECT_EQ(progress.ProgressFunc(4), 0);  // less than a step: not asked
    EXPECT_EQ(progress.ProgressFunc(6), ERR_CANCELLED);
    EXPECT_EQ(r.steps.back(), CPartProgress::kSteps);
    EXPECT_EQ(r.bytesDone, (std::vector<uint64_t>{0}));
    EXPECT_EQ(progress.BytesDone(), 950u);
}
