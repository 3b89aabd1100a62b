// The progress page's figures: bytes against the total, speed over the
// recent window, and the time-left estimate that counts down between
// estimates and admits when it cannot guess.
#include "jobs/progress_model.h"

#include <gtest/gtest.h>

namespace {

constexpr qint64 MiB = 1 << 20;

TEST(ProgressModel, BytesNeverShowPastTheTotalAndThePercentFollowsThem)
{
    const struct {
        qint64 total;
        qint64 done;
        qint64 shown;
        int percent;
    } cases[] = {
        {0, 5 * MiB, 5 * MiB, -1},  // no total yet: the bytes alone, no share
        {100 * MiB, 0, 0, 0},
        {100 * MiB, 59 * MiB, 59 * MiB, 59},
        {100 * MiB, 100 * MiB, 100 * MiB, 100},
        {100 * MiB, 130 * MiB, 100 * MiB, 100},  // a job that meets more than it measured
        {-7, 3, 3, -1},                          // a negative total counts as none
    };
    for (const auto& c : cases) {
        ProgressModel model;
        model.setTotal(c.total);
        model.addBytes(c.done);
        model.addBytes(-1);  // ignored
        EXPECT_EQ(c.shown, model.shownDoneBytes()) << c.total << " " << c.done;
        EXPECT_EQ(c.percent, model.percent()) << c.total << " " << c.done;
    }
}

TEST(ProgressModel, TheSpeedIsTheWindowsAverageAndTheTimeLeftCountsDownBetweenEstimates)
{
    ProgressModel model;
    model.setTotal(100 * MiB);
    model.addBytes(10 * MiB);
    EXPECT_EQ(10 * MiB, model.tick());  // the first tick estimates at once
    EXPECT_EQ(9, model.remainingSeconds());
    model.addBytes(10 * MiB);
    EXPECT_EQ(10 * MiB, model.tick());  // two ticks, 20 MiB
    EXPECT_EQ(8, model.remainingSeconds()) << "counted down, not estimated again";
    EXPECT_EQ(2, model.elapsedSeconds());
}

TEST(ProgressModel, NothingMovedMeansNoEstimateAndAResetForgetsTheJob)
{
    ProgressModel model;
    model.setTotal(100 * MiB);
    EXPECT_EQ(-1, model.remainingSeconds()) << "before the first tick";
    EXPECT_EQ(0, model.tick());
    EXPECT_EQ(-1, model.remainingSeconds()) << "no bytes moved: no honest estimate";

    model.addBytes(40 * MiB);
    model.succeed();
    EXPECT_EQ(100, model.percent());
    EXPECT_EQ(0, model.remainingSeconds());
    EXPECT_EQ(0, model.remainingBytes());

    model.reset();
    EXPECT_EQ(0, model.doneBytes());
    EXPECT_EQ(-1, model.percent());
    EXPECT_EQ(-1, model.remainingSeconds());
    EXPECT_EQ(0, model.elapsedSeconds());
}

}  // namespace
