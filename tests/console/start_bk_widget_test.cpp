// The progress page on a clock the test advances: speed and time left for
// steady, bursty and stalled jobs, the bar's limits and the finish states.
#include "wizard/start_bk_widget.h"

#include "storage/parted_sanitizer_options.h"
#include "console/console_test_app.h"
#include "wizard/frame_resources.h"
#include "console/fake_page_clock.h"
#include "wizard/progress_bar.h"
#include "jobs/size_text.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTranslator>
#include <QPixmap>
#include <gtest/gtest.h>

#include <limits>

namespace {

const qint64 MiB = 1048576;

using FakeClock = consoletest::FakePageClock;

}  // namespace

class StartBkWidgetTest : public ::testing::Test {
protected:
    void SetUp() override { page.setClock(clock); }
    QString text(QLabel* label) const { return label->text(); }
    QString speed() const { return page.form().speedLabel->text(); }
    QString left() const { return page.form().leftTimeLabel->text(); }
    QString elapsed() const { return page.form().spaceTimeLabel->text(); }
    QString bytes() const { return page.form().bkBytesLabel->text(); }

    QApplication& app = consoletest::testApp();  // before any widget
    StartBkWidget page{nullptr, false};
    FakeClock* clock = new FakeClock;  // owned by the page
};

TEST_F(StartBkWidgetTest, BeforeAnyBytesMovedNothingIsGuessed)
{
    EXPECT_EQ(QStringLiteral("--"), speed());
    EXPECT_EQ(QStringLiteral("--"), left());
    EXPECT_EQ(QStringLiteral("00:00:00"), elapsed());
    EXPECT_EQ(QStringLiteral("--"), bytes());
    EXPECT_EQ(QStringLiteral("0%"), page.form().percentLabel->text());
    EXPECT_TRUE(page.form().fileNameLabel->text().isEmpty());
    EXPECT_FALSE(page.form().stateLabel->text().isEmpty());
    EXPECT_EQ(QSize(530, 400), page.size());
    EXPECT_EQ(QSize(400, 40), page.bar()->size());
    EXPECT_EQ(QPoint(70, 250), page.bar()->pos());

    page.recvTotalUsedBytes(95 * MiB);
    clock->advance(5);  // the clock waits for the first bytes
    EXPECT_FALSE(clock->isActive());
    EXPECT_EQ(QStringLiteral("--"), speed());
    EXPECT_EQ(QStringLiteral("--"), left());

    page.processBytes(MiB);
    EXPECT_TRUE(clock->isActive());
    EXPECT_EQ(1000, clock->interval);
    page.processBytes(MiB);
    EXPECT_EQ(1, clock->starts);
}

TEST_F(StartBkWidgetTest, RestorePageNamesItsJob)
{
    StartBkWidget restorePage(nullptr, true);
    EXPECT_NE(page.form().headLabel->text(), restorePage.form().headLabel->text());
    EXPECT_NE(page.form().warnLabel->text(), restorePage.form().warnLabel->text());
}

TEST_F(StartBkWidgetTest, TotalIsTheBytesTheJobMoves)
{
    // Not stretched past the bytes the job reports: they reach it.
    page.recvTotalUsedBytes(95 * MiB);
    EXPECT_EQ(95 * MiB, page.totalBytes());
    EXPECT_EQ(95 * MiB, page.remainingBytes());
    page.finish();
    page.recvTotalUsedBytes(std::numeric_limits<qint64>::max());
    EXPECT_EQ(std::numeric_limits<qint64>::max(), page.totalBytes());
    page.processBytes(std::numeric_limits<qint64>::max() / 2);
    clock->advance();
    EXPECT_EQ(50, page.bar()->value());
    page.finish();
    page.recvTotalUsedBytes(-5);
    EXPECT_EQ(0, page.totalBytes());
}

TEST_F(StartBkWidgetTest, SteadyJobCountsDownOneSecondPerSecond)
{
    page.recvTotalUsedBytes(100 * MiB);
    for (int second = 1; second <= 20; ++second) {
        page.processBytes(2 * MiB);
        clock->advance();
        EXPECT_EQ(QStringLiteral("2.00 MB/s"), speed()) << second;
        // The bar is the share of the total that the bytes label shows.
        EXPECT_EQ(2 * second, page.bar()->value()) << second;
        EXPECT_EQ(QStringLiteral("%1%").arg(2 * second), page.form().percentLabel->text()) << second;
        EXPECT_EQ(StartBkWidget::clockText(50 - second), left()) << second;
        EXPECT_EQ(StartBkWidget::clockText(second), elapsed()) << second;
        EXPECT_EQ(formatSize(2 * MiB * second) + " / " + formatSize(100 * MiB), bytes()) << second;
    }
}

TEST_F(StartBkWidgetTest, BurstyJobShowsTheAverageOverItsWindow)
{
    page.recvTotalUsedBytes(100 * MiB);
    const char* speeds[] = {"10.00 MB/s", "5.00 MB/s",  "3.33 MB/s", "2.50 MB/s",
                            "2.00 MB/s",  "10.00 MB/s", "5.00 MB/s"};
    const char* lefts[] = {"00:00:09", "00:00:08", "00:00:07", "00:00:06",
                           "00:00:45", "00:00:44", "00:00:43"};
    for (int second = 0; second < 7; ++second) {
        if (second % 5 == 0)
            page.processBytes(10 * MiB);  // a burst every fifth second, nothing between
        clock->advance();
        EXPECT_EQ(QString::fromLatin1(speeds[second]), speed()) << second + 1;
        EXPECT_EQ(QString::fromLatin1(lefts[second]), left()) << second + 1;
    }
}

TEST_F(StartBkWidgetTest, StalledJobStopsGuessingAndResumes)
{
    page.recvTotalUsedBytes(100 * MiB);
    for (int second = 0; second < 3; ++second) {
        page.processBytes(MiB);
        clock->advance();
    }
    EXPECT_EQ(QStringLiteral("1024.00 KB/s"), speed());  // units only above their size
    EXPECT_EQ(QStringLiteral("00:01:37"), left());       // 99 MiB at 1 MiB/s, counted down twice

    // Nothing moves for ten seconds: once a whole window passed without
    // bytes there is no speed to divide by, and the page says so.
    clock->advance(10);
    EXPECT_EQ(QStringLiteral("--"), left());
    EXPECT_EQ(StartBkWidget::clockText(13), elapsed());

    // Bytes again in the fourth second of a window: 4 MiB over 4 seconds.
    page.processBytes(4 * MiB);
    clock->advance();
    EXPECT_EQ(QStringLiteral("1024.00 KB/s"), speed());  // units only above their size
    EXPECT_EQ(QStringLiteral("00:01:33"), left());
}

TEST_F(StartBkWidgetTest, LongJobsShowTheirWholeTimeLeft)
{
    // 30 hours left at 1000 bytes a second: not "06:00:00" as a clock of
    // the day would say. Total 108001000 bytes, 1000 of them done.
    page.recvTotalUsedBytes(108001000);
    page.processBytes(1000);
    clock->advance();
    EXPECT_EQ(QStringLiteral("30:00:00"), left());
}

TEST_F(StartBkWidgetTest, ReportsPastTheTotalEndAtTheTotal)
{
    page.recvTotalUsedBytes(100);
    page.processBytes(60);
    page.processBytes(60);
    EXPECT_EQ(0, page.remainingBytes());
    clock->advance();
    EXPECT_EQ(QStringLiteral("00:00:10"), left());
    EXPECT_EQ(formatSize(100) + " / " + formatSize(100), bytes());
}

TEST_F(StartBkWidgetTest, WithoutATotalTheBytesLabelShowsTheEmptyTotal)
{
    page.processBytes(MiB);
    clock->advance();
    EXPECT_EQ(formatSize(MiB) + QStringLiteral(" / --"), bytes());
}

TEST_F(StartBkWidgetTest, BarNeverShowsMoreThanAHundredPercent)
{
    const struct {
        int step, shown;
    } cases[] = {{0, 0}, {1, 1}, {95, 95}, {100, 100}, {119, 100}, {-3, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(0, page.setValue(c.step));
        EXPECT_EQ(c.shown, page.bar()->value()) << c.step;
    }
}

TEST_F(StartBkWidgetTest, SpeedTextUnits)
{
    const struct {
        qint64 speed;
        const char* text;
    } cases[] = {
        {1, "1.00 B/s"},           {1024, "1024.00 B/s"},      {1536, "1.50 KB/s"},
        {1048576, "1024.00 KB/s"}, {3 * MiB / 2, "1.50 MB/s"}, {3LL << 30, "3.00 GB/s"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QString::fromLatin1(c.text), StartBkWidget::speedText(c.speed)) << c.speed;
    EXPECT_EQ(QStringLiteral("00:01:01"), StartBkWidget::clockText(61));
    EXPECT_EQ(QStringLiteral("24:01:01"), StartBkWidget::clockText(24 * 3600 + 61));
    EXPECT_EQ(QStringLiteral("123:00:00"), StartBkWidget::clockText(123 * 3600));
}

TEST_F(StartBkWidgetTest, FinishKeepsTheJobsEndAndTheNextJobStartsClean)
{
    page.recvTotalUsedBytes(100 * MiB);
    page.displayName(QStringLiteral("a.txt"));
    page.displayState(QStringLiteral("Backing up partition ..."));
    page.setValue(40);
    for (int second = 0; second < 70; ++second) {
        page.processBytes(MiB);
        clock->advance();
    }
    EXPECT_EQ(QStringLiteral("00:01:10"), elapsed());
    EXPECT_EQ(70, page.bar()->value());

    // A failed or cancelled job: the page shows where it got.
    page.finish();
    EXPECT_FALSE(clock->isActive());
    EXPECT_EQ(70, page.bar()->value());
    EXPECT_EQ(QStringLiteral("00:01:10"), elapsed());
    EXPECT_EQ(formatSize(70 * MiB) + " / " + formatSize(100 * MiB), bytes());

    // The next job's total clears it: nothing moved, nothing guessed.
    page.recvTotalUsedBytes(50 * MiB);
    EXPECT_EQ(0, page.bar()->value());
    EXPECT_EQ(0, page.doneBytes());
    EXPECT_EQ(QStringLiteral("--"), speed());
    EXPECT_EQ(QStringLiteral("--"), left());
    EXPECT_EQ(QStringLiteral("--"), bytes());
    EXPECT_EQ(QStringLiteral("00:00:00"), elapsed());
    EXPECT_TRUE(page.form().fileNameLabel->text().isEmpty());
    page.processBytes(MiB);
    EXPECT_EQ(2, clock->starts);
    clock->advance();
    EXPECT_EQ(QStringLiteral("00:00:01"), elapsed());
    EXPECT_EQ(formatSize(MiB) + " / " + formatSize(50 * MiB), bytes());
    EXPECT_EQ(2, page.bar()->value());
}

TEST_F(StartBkWidgetTest, SucceededJobShowsTheWholeTotalEvenUnderASecond)
{
    // The job ends before the first tick, its bytes a little short of the
    // file system's used size: the success box sits over a full bar.
    page.recvTotalUsedBytes(100 * MiB);
    page.processBytes(90 * MiB);
    page.finish();
    EXPECT_EQ(formatSize(90 * MiB) + " / " + formatSize(100 * MiB), bytes());
    EXPECT_EQ(90, page.bar()->value());
    page.showSucceeded();
    EXPECT_EQ(100, page.bar()->value());
    EXPECT_EQ(QStringLiteral("100%"), page.form().percentLabel->text());
    EXPECT_EQ(formatSize(100 * MiB) + " / " + formatSize(100 * MiB), bytes());
    EXPECT_EQ(QStringLiteral("00:00:00"), left());
}

TEST_F(StartBkWidgetTest, ShownForTheNextJobItStartsClean)
{
    QWidget wizard;
    page.setParent(&wizard);
    wizard.show();
    page.recvTotalUsedBytes(100 * MiB);
    page.processBytes(100 * MiB);
    page.showSucceeded();
    EXPECT_EQ(100, page.bar()->value());
    page.hide();
    page.show();  // the wizard's next job
    EXPECT_EQ(0, page.bar()->value());
    EXPECT_EQ(QStringLiteral("--"), left());
    EXPECT_EQ(QStringLiteral("--"), speed());
    EXPECT_EQ(QStringLiteral("--"), bytes());
    page.setParent(nullptr);
}

TEST_F(StartBkWidgetTest, FinishedRestoreStopsTheClock)
{
    page.recvTotalUsedBytes(95 * MiB);
    page.processBytes(MiB);
    clock->advance();
    page.displayState(QStringLiteral("Finish restore partition"));
    EXPECT_FALSE(clock->isActive());
    EXPECT_EQ(QStringLiteral("00:00:00"), left());
    EXPECT_EQ(QStringLiteral("Partition restored"), page.form().stateLabel->text());
    page.displayState(QStringLiteral("Checking partition ... "));
    EXPECT_EQ(QStringLiteral("Checking partition ..."), page.form().stateLabel->text());
}

TEST_F(StartBkWidgetTest, DefaultClockTicksOnceASecond)
{
    StartBkWidget realPage;
    realPage.processBytes(MiB);
    ASSERT_TRUE(realPage.clock()->isActive());
    realPage.finish();
    EXPECT_FALSE(realPage.clock()->isActive());
}

TEST_F(StartBkWidgetTest, PicturesOfThePageAreCompiledIn)
{
    EXPECT_FALSE(QPixmap(QStringLiteral(":images/progress_BG.png")).isNull());
    EXPECT_FALSE(QPixmap(QStringLiteral(":/images/warning_L.png")).isNull());
    EXPECT_TRUE(page.form().warningPicture->styleSheet().contains(QStringLiteral(":/images/warning_L.png")));
    // The bar draws its frame picture under the inner bar.
    page.setValue(50);
    const QImage drawn = page.bar()->grab().toImage();
    EXPECT_NE(drawn.pixel(2, 2), QImage(drawn.size(), drawn.format()).pixel(2, 2));
}

TEST_F(StartBkWidgetTest, ChineseCatalogueTranslatesThePage)
{
    QTranslator chinese;
    ASSERT_TRUE(chinese.load(frameCatalogPath()));
    QCoreApplication::installTranslator(&chinese);
    StartBkWidget restorePage(nullptr, true);
    restorePage.setClock(new FakeClock);
    restorePage.processBytes(1536);
    static_cast<FakeClock*>(restorePage.clock())->advance();
    QCoreApplication::removeTranslator(&chinese);
    EXPECT_EQ(QStringLiteral("正在还原"), restorePage.form().headLabel->text());
    EXPECT_EQ(QStringLiteral("还原分区期间请勿关闭电源!"), restorePage.form().warnLabel->text());
    EXPECT_EQ(QStringLiteral("1.50 KB/s"), restorePage.form().speedLabel->text());
}
