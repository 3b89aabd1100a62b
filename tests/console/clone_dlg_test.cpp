// The clone wizard on the demo disks with a scripted engine: its steps and
// the one action of each navigation button, which partitions each step
// offers and why it refuses the others, the question before the
// destination is erased, the request the engine gets, cancel, the job's
// end in words and the lists read again after it.
#include "storage/parted_sanitizer_options.h"
#include "wizard/base_msg_dlg.h"
#include "programs/rescue/console/clone_dlg.h"
#include "programs/rescue/console/clone_widgets.h"
#include "console/clone_wizard_driver.h"
#include "platform/linux/device_prober.h"
#include "platform/linux/device_records.h"
#include "console/frame_console_fixture.h"
#include "quarn/api/quarn.h"
#include "jobs/size_text.h"
#include "wizard/start_bk_widget.h"
#include "storage_ui/tree_model.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using clonetest::click;
using clonetest::clickRow;

// An engine that records the clone it is asked for and ends as the test
// says: at once with `result`, or when it is cancelled.
struct ScriptedEngine {
    static inline tagCloneArgument lastArg;
    static inline std::atomic<int> calls{0};
    static inline std::atomic<int> fsCalled{0};
    static inline int result = 0;
    static inline std::atomic<bool> untilCancelled{false};
    static inline std::atomic<bool> started{false};

    static int run(tagCloneArgument arg, tagCallBackFunc cb, int fs)
    {
        lastArg = arg;
        fsCalled = fs;
        ++calls;
        started = true;
        if (cb.onTotalBytes)
            cb.onTotalBytes(1 << 20, cb.context);
        if (untilCancelled) {
            // Bounded: a wizard that never cancels fails the test, it does not hang it.
            for (int i = 0; i < 6000; ++i) {
                if (cb.onProgress && cb.onProgress(1, cb.context) != 0)
                    return ERR_CANCELLED;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return ERR_WRITE_PART;
        }
        for (int step = 1; step <= 95; ++step) {
            if (cb.onProgress && cb.onProgress(step, cb.context) != 0)
                return ERR_CANCELLED;
        }
        return result;
    }
    static int cloneNtfs(tagCloneArgument arg, tagCallBackFunc cb) { return run(arg, cb, FS_TYPE_NTFS); }
    static int cloneFat32(tagCloneArgument arg, tagCallBackFunc cb) { return run(arg, cb, FS_TYPE_FAT32); }

    static void reset()
    {
        lastArg = tagCloneArgument();
        calls = 0;
        fsCalled = 0;
        result = 0;
        untilCancelled = false;
        started = false;
    }
    static QuarnEngine engine()
    {
        reset();
        QuarnEngine engine{nullptr, nullptr, nullptr, nullptr, nullptr};
        engine.cloneNtfs = &cloneNtfs;
        engine.cloneFat32 = &cloneFat32;
        return engine;
    }
};

// A disk the prober lists besides the demo disks, with one small NTFS
// partition, for as long as it lives or until the prober reads the disks
// again.
class ExtraDisk {
public:
    ExtraDisk(const char* diskPath, const char* partPath, uint64_t sectors)
    {
        m_disk = new DiskRecord;
        m_disk->path = duplicateText(diskPath);
        m_disk->model = duplicateText("Small Disk");
        m_disk->sectorSize = 512;
        m_disk->length = sectors + 2048;
        auto* part = new PartitionRecord;
        part->disk = m_disk;
        part->path = duplicateText(partPath);
        part->fsName = duplicateText("ntfs");
        part->label = duplicateText("TINY");
        part->letter = 'T';
        part->start = 2048;
        part->length = sectors;
        appendPartition(&m_disk->partitions, part);
        DeviceProber::instance()->addDisk(m_disk);
    }
    ~ExtraDisk()
    {
        if (DeviceProber::instance()->takeDisk(m_disk))
            delete m_disk;
    }
    ExtraDisk(const ExtraDisk&) = delete;
    ExtraDisk& operator=(const ExtraDisk&) = delete;

private:
    DiskRecord* m_disk;
};

// The demo disks, probed once for the program.
bool probeDemoDisks()
{
    static bool probed = false;
    if (probed)
        return true;
    consoletest::consoleApp();
    QSignalSpy finished(DeviceProber::instance(), &DeviceProber::probeFinished);
    DeviceProber::instance()->startProbe();
    probed = finished.wait(60000);
    return probed;
}

class CloneWizardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        consoletest::consoleApp();
        dlg.reset(new CloneDlg(QString(), nullptr));
        dlg->setEngine(ScriptedEngine::engine());
        dlg->show();
    }
    void TearDown() override
    {
        dlg.reset();
        // Probes the jobs' ends started must be over before the next test.
        waitForProbes();
    }
    // The demo disks' partitions, or the test is skipped (or failed in CI).
    bool demoDisks()
    {
        if (consoletest::demoDisksRoot().empty())
            return false;
        if (!probeDemoDisks())
            return false;
        dlg->page1()->treeModel()->refresh();
        dlg->page2()->treeModel()->refresh();
        return true;
    }
    QString dev(const char* name) const
    {
        return QString::fromStdString(consoletest::demoDisksRoot()) + QStringLiteral("/dev/") +
               QLatin1String(name);
    }
    static void waitForProbes()
    {
        QSignalSpy finished(DeviceProber::instance(), &DeviceProber::probeFinished);
        finished.wait(200);
    }
    // Source sdx1 ("Source") and destination sdx2 ("Target"), then step 3.
    void chooseBoth()
    {
        ASSERT_TRUE(clickRow(*dlg->page1(), dev("sdx1")));
        ASSERT_EQ(dlg->page1()->chosen().plan.path, dev("sdx1"));
        click(dlg->nextButton());
        ASSERT_EQ(dlg->state(), CloneDlg::Step2);
        ASSERT_TRUE(clickRow(*dlg->page2(), dev("sdx2")));
        ASSERT_EQ(dlg->page2()->chosen().plan.path, dev("sdx2"));
        click(dlg->nextButton());
        ASSERT_EQ(dlg->state(), CloneDlg::Step3);
    }

    std::unique_ptr<CloneDlg> dlg;
};

#define NEED_DEMO_DISKS()                                                                                    \
    do {                                                                                                     \
        if (!demoDisks())                                                                                    \
            SKIP_OR_FAIL_IN_CI("mkntfs or sfdisk missing, or the probe did not end");                        \
    } while (0)

// What each step shows: the page, the two buttons and the arrow.
void expectStep(CloneDlg& dlg, CloneDlg::State state)
{
    const int step = static_cast<int>(state);
    QWidget* pages[] = {dlg.page1(), dlg.page2(), dlg.page3()};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pages[i]->isVisible(), i == step) << "page " << i;
        const bool orange = dlg.stepTitle(i)->styleSheet().contains(QStringLiteral("122, 56, 0"));
        EXPECT_EQ(orange, i == step) << "step label " << i;
        EXPECT_EQ(dlg.stepSubtitle(i)->styleSheet().contains(QStringLiteral("122, 56, 0")), i == step);
    }
    EXPECT_FALSE(dlg.progressPage()->isVisible());
    const int arrowY[] = {108, 198, 288};
    EXPECT_EQ(dlg.arrowLabel()->pos(), QPoint(187, arrowY[step]));
    EXPECT_EQ(dlg.previousButton()->isVisible(), step != 0);
    EXPECT_EQ(dlg.previousButton()->text(), QStringLiteral("Previous"));
    EXPECT_EQ(dlg.nextButton()->text(), step == 2 ? QStringLiteral("Start") : QStringLiteral("Next"));
    EXPECT_TRUE(dlg.nextButton()->isEnabled());
    EXPECT_TRUE(dlg.returnButton()->isVisible());
    EXPECT_TRUE(dlg.returnButton()->isEnabled());
}

TEST_F(CloneWizardTest, FramePagesAndButtons)
{
    EXPECT_EQ(dlg->size(), QSize(800, 600));
    EXPECT_EQ(dlg->backgroundPath(), QStringLiteral(":images/Step_BG.png"));
    for (QWidget* page : {static_cast<QWidget*>(dlg->page1()), static_cast<QWidget*>(dlg->page2()),
                          static_cast<QWidget*>(dlg->page3()), static_cast<QWidget*>(dlg->progressPage())})
        EXPECT_EQ(page->geometry(), QRect(220, 90, 530, 400));
    EXPECT_EQ(dlg->returnButton()->geometry(), QRect(49, 498, 140, 34));
    EXPECT_EQ(dlg->previousButton()->geometry(), QRect(441, 498, 140, 34));
    EXPECT_EQ(dlg->nextButton()->geometry(), QRect(617, 498, 140, 34));
    EXPECT_EQ(dlg->returnButton()->text(), QStringLiteral("Return"));
    const char* subtitles[] = {"choose partition", "choose destination", "start clone"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(dlg->stepSubtitle(i)->text(), QLatin1String(subtitles[i]));
    EXPECT_EQ(dlg->page1()->headingLabel()->text(), QStringLiteral("Select a source partition"));
    EXPECT_EQ(dlg->page2()->headingLabel()->text(), QStringLiteral("Select a destination partition"));
    EXPECT_TRUE(dlg->page1()->lineEdit()->isReadOnly());
    EXPECT_TRUE(dlg->page2()->lineEdit()->isReadOnly());
    EXPECT_EQ(dlg->page3()->pageCheckBox()->text(), QStringLiteral("filter page file"));
    EXPECT_EQ(dlg->page3()->hibnateCheckBox()->text(), QStringLiteral("filter hibernate file"));
    EXPECT_FALSE(dlg->page3()->pageCheckBox()->isChecked());
    EXPECT_FALSE(dlg->page3()->hibnateCheckBox()->isChecked());
    EXPECT_EQ(dlg->progressPage()->form().headLabel->text(), QStringLiteral("Cloning"));
    EXPECT_EQ(dlg->progressPage()->form().bytesCaption->text(), QStringLiteral("Bytes Copied:"));
    // Every input is named for assistive tools.
    for (QWidget* input :
         {static_cast<QWidget*>(dlg->page1()->treeView()), static_cast<QWidget*>(dlg->page1()->lineEdit()),
          static_cast<QWidget*>(dlg->page2()->treeView()), static_cast<QWidget*>(dlg->page2()->lineEdit())})
        EXPECT_FALSE(input->accessibleName().isEmpty()) << qPrintable(input->objectName());
    expectStep(*dlg, CloneDlg::Step1);
}

TEST_F(CloneWizardTest, NextNeedsTheChoiceOfItsStepAndSaysWhatIsMissing)
{
    MsgBoxAnswers answers;
    click(dlg->nextButton());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Error"));
    EXPECT_TRUE(answers.boxes[0].message.startsWith(QStringLiteral("No source partition is chosen.")))
        << qPrintable(answers.boxes[0].message);
    expectStep(*dlg, CloneDlg::Step1);

    NEED_DEMO_DISKS();
    ASSERT_TRUE(clickRow(*dlg->page1(), dev("sdx1")));
    click(dlg->nextButton());
    expectStep(*dlg, CloneDlg::Step2);
    click(dlg->nextButton());
    ASSERT_EQ(answers.boxes.size(), 2);
    EXPECT_TRUE(answers.boxes[1].message.startsWith(QStringLiteral("No destination partition is chosen.")))
        << qPrintable(answers.boxes[1].message);
    expectStep(*dlg, CloneDlg::Step2);
    // Back needs nothing.
    click(dlg->previousButton());
    expectStep(*dlg, CloneDlg::Step1);
    EXPECT_EQ(answers.boxes.size(), 2);
}

TEST_F(CloneWizardTest, NextAndPreviousWalkTheStepsOneAtATime)
{
    NEED_DEMO_DISKS();
    QSignalSpy returned(dlg.get(), &CloneDlg::returnMainDlg);
    chooseBoth();
    expectStep(*dlg, CloneDlg::Step3);
    // From step 3, Previous goes to step 2, and Next there goes to step 3
    // without starting anything.
    click(dlg->previousButton());
    expectStep(*dlg, CloneDlg::Step2);
    click(dlg->nextButton());
    expectStep(*dlg, CloneDlg::Step3);
    click(dlg->previousButton());
    click(dlg->previousButton());
    expectStep(*dlg, CloneDlg::Step1);
    EXPECT_EQ(returned.count(), 0);
    EXPECT_EQ(ScriptedEngine::calls, 0);
}

TEST_F(CloneWizardTest, ReturnLeavesFromEveryStep)
{
    NEED_DEMO_DISKS();
    QSignalSpy returned(dlg.get(), &CloneDlg::returnMainDlg);
    ASSERT_TRUE(clickRow(*dlg->page1(), dev("sdx1")));
    for (int step = 0; step < 3; ++step) {
        click(dlg->returnButton());
        EXPECT_EQ(returned.count(), step + 1);
        EXPECT_EQ(static_cast<int>(dlg->state()), step);
        if (step == 0)
            click(dlg->nextButton());
        if (step == 1) {
            ASSERT_TRUE(clickRow(*dlg->page2(), dev("sdx2")));
            click(dlg->nextButton());
        }
    }
}

TEST_F(CloneWizardTest, ChoosingAPartitionRowFillsTheLineAndADiskRowClearsIt)
{
    NEED_DEMO_DISKS();
    ClonePartitionPage& page = *dlg->page1();
    ASSERT_TRUE(clickRow(page, dev("sdx1")));
    EXPECT_TRUE(page.lineEdit()->text().contains(QStringLiteral("Source")))
        << qPrintable(page.lineEdit()->text());
    EXPECT_EQ(page.chosen().plan.fsCode, FS_TYPE_NTFS);
    EXPECT_EQ(page.chosen().plan.bytes, quint64(64) << 20);
    EXPECT_GT(page.chosen().plan.usedBytes, quint64(3000000));
    ASSERT_TRUE(clickRow(page, dev("sdx")));
    EXPECT_TRUE(page.lineEdit()->text().isEmpty());
    EXPECT_TRUE(page.chosen().plan.path.isEmpty());
}

// Step 2 shows every partition; the source itself and one too small for
// its data are greyed, cannot be chosen, and say why.
TEST_F(CloneWizardTest, TheDestinationListShowsTheRefusedPartitionsWithTheirReason)
{
    NEED_DEMO_DISKS();
    ExtraDisk tiny("/dev/sdq", "/dev/sdq1", 2048);  // 1 MiB
    dlg->page1()->treeModel()->refresh();
    dlg->page2()->treeModel()->refresh();
    ASSERT_TRUE(clickRow(*dlg->page1(), dev("sdx1")));
    const quint64 used = dlg->page1()->chosen().plan.usedBytes;
    click(dlg->nextButton());
    ClonePartitionPage& page = *dlg->page2();
    const QAbstractItemModel& model = *page.treeView()->model();

    const struct {
        QString path;
        bool selectable;
        QString reason;
    } rows[] = {
        {dev("sdx1"), false, QStringLiteral("the source itself")},
        {dev("sdx2"), true, QString()},
        {dev("sdy1"), true, QString()},
        {QStringLiteral("/dev/sdq1"), false,
         QStringLiteral("too small: the source's data take %1, it has %2")
             .arg(formatSize(qint64(used)), formatSize(qint64(1) << 20))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        const QModelIndex index = clonetest::rowOf(model, row.path);
        ASSERT_TRUE(index.isValid());
        EXPECT_EQ(bool(model.flags(index) & Qt::ItemIsSelectable), row.selectable);
        EXPECT_EQ(index.data(Qt::ToolTipRole).toString().toStdString(), row.reason.toStdString());
        ASSERT_TRUE(clickRow(page, row.path));
        if (row.selectable) {
            EXPECT_EQ(page.chosen().plan.path, row.path);
            EXPECT_FALSE(page.lineEdit()->text().isEmpty());
            EXPECT_TRUE(page.reasonLabel()->text().isEmpty());
        } else {
            EXPECT_TRUE(page.chosen().plan.path.isEmpty());
            EXPECT_TRUE(page.lineEdit()->text().isEmpty());
            EXPECT_TRUE(
                page.reasonLabel()->text().endsWith(QStringLiteral("cannot be chosen: ") + row.reason))
                << qPrintable(page.reasonLabel()->text());
            MsgBoxAnswers answers;
            click(dlg->nextButton());
            EXPECT_EQ(dlg->state(), CloneDlg::Step2);
            EXPECT_EQ(answers.boxes.size(), 1);
        }
    }
    // Another source: the old one may take it now, the new one may not.
    click(dlg->previousButton());
    ASSERT_TRUE(clickRow(*dlg->page1(), dev("sdx2")));
    click(dlg->nextButton());
    const QModelIndex oldSource = clonetest::rowOf(model, dev("sdx1"));
    EXPECT_TRUE(model.flags(oldSource) & Qt::ItemIsSelectable);
    EXPECT_FALSE(model.flags(clonetest::rowOf(model, dev("sdx2"))) & Qt::ItemIsSelectable);
}

TEST_F(CloneWizardTest, StartAsksBeforeErasingAndRunsTheCloneTheUserChose)
{
    NEED_DEMO_DISKS();
    chooseBoth();
    dlg->page3()->hibnateCheckBox()->setChecked(true);
    QSignalSpy probed(DeviceProber::instance(), &DeviceProber::probeFinished);
    MsgBoxAnswers answers;
    ASSERT_TRUE(clonetest::startAndWait(*dlg));
    ASSERT_EQ(answers.boxes.size(), 2);
    // The question names the destination by letter, label and size, and the source.
    EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Warning"));
    EXPECT_TRUE(answers.boxes[0].okButton && answers.boxes[0].cancelButton);
    const QString question = answers.boxes[0].message;
    EXPECT_TRUE(question.contains(QStringLiteral("Target, ") + formatSize(qint64(64) << 20)))
        << qPrintable(question);
    EXPECT_TRUE(question.contains(QStringLiteral("Source, ") + formatSize(qint64(64) << 20)))
        << qPrintable(question);
    EXPECT_LT(question.indexOf(QStringLiteral("Target")), question.indexOf(QStringLiteral("Source")));
    EXPECT_EQ(answers.boxes[1].title, QStringLiteral("Success"));
    EXPECT_TRUE(answers.boxes[1].message.startsWith(QStringLiteral("Clone succeeded!")))
        << qPrintable(answers.boxes[1].message);

    EXPECT_EQ(ScriptedEngine::calls, 1);
    EXPECT_EQ(ScriptedEngine::fsCalled, FS_TYPE_NTFS);
    EXPECT_EQ(ScriptedEngine::lastArg.srcPartition, dev("sdx1").toStdString());
    EXPECT_EQ(ScriptedEngine::lastArg.destPartition, dev("sdx2").toStdString());
    EXPECT_FALSE(ScriptedEngine::lastArg.filterPageFile);
    EXPECT_TRUE(ScriptedEngine::lastArg.filterHibernateFile);
    EXPECT_EQ(dlg->worker()->operation(), QuarnThread::Clone);
    expectStep(*dlg, CloneDlg::Step1);
    // The lists read the disks again.
    EXPECT_TRUE(probed.count() > 0 || probed.wait(60000));
}

TEST_F(CloneWizardTest, CancelInTheQuestionStartsNothing)
{
    NEED_DEMO_DISKS();
    chooseBoth();
    MsgBoxAnswers answers(0);
    click(dlg->nextButton());
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Warning"));
    EXPECT_FALSE(dlg->jobActive());
    EXPECT_EQ(ScriptedEngine::calls, 0);
    expectStep(*dlg, CloneDlg::Step3);
}

TEST_F(CloneWizardTest, CancelStopsTheJobAndTheEndSaysTheDestinationHoldsNoFileSystem)
{
    NEED_DEMO_DISKS();
    chooseBoth();
    ScriptedEngine::untilCancelled = true;
    MsgBoxAnswers answers;
    QSignalSpy back(dlg.get(), &CloneDlg::returnMainDlg);
    click(dlg->nextButton());
    ASSERT_TRUE(dlg->jobActive());
    EXPECT_EQ(dlg->state(), CloneDlg::Running);
    EXPECT_TRUE(dlg->progressPage()->isVisible());
    EXPECT_EQ(dlg->previousButton()->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(dlg->nextButton()->text(), QStringLiteral("Finish"));
    EXPECT_FALSE(dlg->nextButton()->isEnabled());
    EXPECT_FALSE(dlg->returnButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(ScriptedEngine::started, 10000);
    click(dlg->previousButton());  // Cancel
    EXPECT_EQ(dlg->state(), CloneDlg::Step3);
    ASSERT_TRUE(back.count() > 0 || back.wait(60000));
    ASSERT_EQ(answers.boxes.size(), 2);
    EXPECT_EQ(answers.boxes[1].title, QStringLiteral("Cancelled"));
    EXPECT_TRUE(answers.boxes[1].message.contains(QStringLiteral("holds no file system")))
        << qPrintable(answers.boxes[1].message);
    EXPECT_TRUE(answers.boxes[1].message.contains(QStringLiteral("Target")))
        << qPrintable(answers.boxes[1].message);
    expectStep(*dlg, CloneDlg::Step1);
}

// An engine refusal ends in the job's result in words.
TEST_F(CloneWizardTest, AFailedCloneSaysWhatTheEngineFound)
{
    NEED_DEMO_DISKS();
    const struct {
        int code;
        const char* words;
    } cases[] = {
        {ERR_PART_TOO_SMALL, "The destination partition is too small for the source's data."},
        {ERR_PART_IN_USE, "The destination partition holds a mounted file system."},
        {ERR_READ_PART, "The partition cannot be read."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        dlg->showStep1();
        chooseBoth();
        MsgBoxAnswers answers;
        ScriptedEngine::reset();
        ScriptedEngine::result = c.code;
        ASSERT_TRUE(clonetest::startAndWait(*dlg));
        ASSERT_EQ(answers.boxes.size(), 2);
        EXPECT_EQ(answers.boxes[1].title, QStringLiteral("Failed"));
        EXPECT_TRUE(answers.boxes[1].message.startsWith(QStringLiteral("Clone failed!\n")))
            << qPrintable(answers.boxes[1].message);
        EXPECT_TRUE(answers.boxes[1].message.contains(QLatin1String(c.words)))
            << qPrintable(answers.boxes[1].message);
    }
}

}  // namespace
