#include "callbacks.h"
#include "part_progress.h"
#include "recording_callbacks.h"

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

}  // namespace

TEST(PartProgress, StepTable)
{
    struct Call { uint64_t bytes; int result; std::vector<int> newSteps; bool bytesDone; };
    struct Case {
        const char* what;
        uint64_t total;
        int cancelAtStep;
        std::vector<Call> calls;
    };
    const Case cases[] = {
        {"total 950, 100 then 5 bytes", 950, 0,
         {{100, 0, Range(1, 10), true}, {5, 0, {}, true}}},
        {"steps carry the remainder", 950, 0,
         {{15, 0, {1}, true}, {4, 0, {}, true}, {1, 0, {2}, true}}},
        {"cancel at step 3", 950, 3,
         {{100, ERR_CANCELLED, Range(1, 3), false}}},
        {"bytes past the total go on stepping", 95, 0,
         {{95, 0, Range(1, 95), true}, {2, 0, {96, 97}, true}}},
        {"total below 95 gives no steps and ends", 94, 0,
         {{1000, 0, {}, true}, {0, 0, {}, true}}},
        {"total 0 gives no steps and ends", 0, 0,
         {{1ULL << 40, 0, {}, true}}},
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
            EXPECT_EQ(r.bytesDone, call.bytesDone ? std::vector<uint64_t>{call.bytes} : std::vector<uint64_t>{});
        }
    }
}

TEST(PartProgress, NullCallbacksAreNoOps)
{
    CPartProgress progress(950, nullptr, nullptr);
    progress.SetCallbacks(tagCallBackFunc {});
    EXPECT_EQ(progress.ProgressFunc(10000), 0);  // never cancels
    EXPECT_EQ(progress.LastStep(), 1000);
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
