// The engine worker with the real engine on NTFS partition files made by
// ntfs-3g's tools: a backup carrying the console's head block and its
// restore, signals in order on the GUI thread into a progress page, a
// request for a moved volume answered from the GUI thread, and the restore
// of a two-image chain.
#include "jobs/quarn_thread.h"

#include "storage/parted_sanitizer_options.h"
#include "console/console_test_app.h"
#include "platform/linux/device_prober.h"
#include "platform/linux/device_records.h"
#include "console/fake_page_clock.h"
#include "programs/rescue/console/image_head_info.h"
#include "support/ntfs_jobs.h"
#include "support/ntfs_fixture.h"
#include "wizard/progress_bar.h"
#include "wizard/start_bk_widget.h"
#include "support/test_support.h"
#include "jobs/worker_recorder.h"

#include <QFileInfo>
#include <QProgressBar>
#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;
using jobstest::WorkerEvent;
using jobstest::WorkerRecorder;

namespace {

constexpr uint64_t kMiB = 1 << 20;

// The progress page wired to the worker as the wizards wire it, with the
// bar's every value kept.
class WizardSide {
public:
    explicit WizardSide(QuarnThread* worker, bool restore)
        : page(nullptr, restore), clock(new consoletest::FakePageClock), recorder(worker)
    {
        page.setClock(clock);
        QObject::connect(worker, &QuarnThread::progressChanged, &page, &StartBkWidget::setValue);
        QObject::connect(worker, &QuarnThread::sendTotalUsedBytes, &page, &StartBkWidget::recvTotalUsedBytes);
        QObject::connect(worker, &QuarnThread::processBytesSig, &page, &StartBkWidget::processBytes);
        QObject::connect(worker, &QuarnThread::displayNameSig, &page, &StartBkWidget::displayName);
        QObject::connect(worker, &QuarnThread::displayStateSig, &page, &StartBkWidget::displayState);
        QObject::connect(page.bar()->innerBar(), &QProgressBar::valueChanged,
                         [this](int value) { barValues.push_back(value); });
    }

    std::vector<QString> states() const
    {
        std::vector<QString> texts;
        for (const WorkerEvent& e : recorder.of(WorkerEvent::State))
            texts.push_back(e.text);
        return texts;
    }

    // Steps 1, 2, ... each once, never past 95, and the bytes never past
    // the one total; a restore, which knows its total exactly, reaches both.
    // The page's bar follows and never passes 100%.
    void expectWholeProgress(const char* what, bool reachesTotal = true) const
    {
        ASSERT_TRUE(recorder.allOnGuiThread()) << what;
        ASSERT_FALSE(recorder.events.empty()) << what;
        EXPECT_EQ(WorkerEvent::Finished, recorder.events.back().kind) << what;
        const auto totals = recorder.of(WorkerEvent::Total);
        ASSERT_EQ(1u, totals.size()) << what;
        const auto steps = recorder.of(WorkerEvent::Progress);
        ASSERT_FALSE(steps.empty()) << what;
        ASSERT_LE(steps.size(), 95u) << what;
        if (reachesTotal) {
            ASSERT_EQ(95u, steps.size()) << what;
        }
        for (size_t i = 0; i < steps.size(); ++i)
            ASSERT_EQ(static_cast<qint64>(i) + 1, steps[i].value) << what;
        qint64 sum = 0;
        for (const WorkerEvent& e : recorder.of(WorkerEvent::Bytes))
            sum += e.value;
        EXPECT_LE(sum, totals[0].value) << what;
        if (reachesTotal) {
            EXPECT_EQ(totals[0].value, sum) << what;
        }
        // The total comes before any progress.
        const auto firstTotal =
            std::find_if(recorder.events.begin(), recorder.events.end(),
                         [](const WorkerEvent& e) { return e.kind == WorkerEvent::Total; });
        const auto firstMove =
            std::find_if(recorder.events.begin(), recorder.events.end(), [](const WorkerEvent& e) {
                return e.kind == WorkerEvent::Bytes || e.kind == WorkerEvent::Progress;
            });
        EXPECT_LT(firstTotal - recorder.events.begin(), firstMove - recorder.events.begin()) << what;

        for (int value : barValues)
            EXPECT_LE(value, 100) << what;
        EXPECT_EQ(sum, page.doneBytes()) << what;
        EXPECT_LE(page.doneBytes(), page.totalBytes()) << what;
        EXPECT_EQ(totals[0].value, page.totalBytes()) << what;
    }

    StartBkWidget page;
    consoletest::FakePageClock* clock;
    WorkerRecorder recorder;
    std::vector<int> barValues;
};

bool contains(const std::vector<QString>& texts, const char* text)
{
    return std::find(texts.begin(), texts.end(), QString::fromLatin1(text)) != texts.end();
}

}  // namespace

class QuarnThreadNtfsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        consoletest::testApp();
        if (!HaveNtfsTools())
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
        std::string log;
        ASSERT_TRUE(MakeNtfsPartition(m_part, 24 * kMiB, &log, "-L Data")) << log;
        ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/kept.bin", m_kept, &log)) << log;
        ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/changed.bin", PatternBytes(2 * kMiB, 2), &log)) << log;
        MakeSparseFile(m_target, 24 * kMiB);
    }

    tagBackupArgument backupArgument(const std::string& prevImage = std::string(),
                                     uint64_t volumeSize = ~0ULL) const
    {
        tagBackupArgument arg;
        arg.srcPartition = m_part;
        arg.imagePath = m_base;
        arg.fsType = FS_TYPE_NTFS;
        arg.compressType = 2;
        arg.volumeSize = volumeSize;
        arg.incremental = !prevImage.empty();
        arg.prevImage = prevImage;
        return arg;
    }

    tagRestoreArgument restoreArgument(const std::string& image) const
    {
        tagRestoreArgument arg;
        arg.imagePath = image;
        arg.targetPartition = m_target;
        return arg;
    }

    // Runs the worker's job with the GUI event loop turning.
    void runJob(WizardSide& side)
    {
        worker.startJob();
        ASSERT_TRUE(side.recorder.waitFinished(120000));
        worker.wait();
    }

    void expectTargetHolds(const char* path, const std::vector<uint8_t>& bytes)
    {
        std::vector<uint8_t> restored;
        ASSERT_TRUE(NtfsCat(m_target, path, &restored)) << path;
        EXPECT_TRUE(restored == bytes) << path;
    }

    TempDir m_dir;
    std::string m_part = m_dir.file("sdz1");
    std::string m_base = m_dir.file("img");
    std::string m_target = m_dir.file("sdy1");
    std::vector<uint8_t> m_kept = PatternBytes(3 * kMiB, 1);
    QuarnThread worker;
};

TEST_F(QuarnThreadNtfsTest, BacksUpWithTheHeadBlockAndRestores)
{
    DeviceProber prober;
    {
        auto* disk = new DiskRecord;
        disk->path = duplicateText(m_dir.file("sdz").c_str());
        disk->model = duplicateText("Test disk");
        disk->sectorSize = 512;
        disk->length = 100000;
        auto* part = new PartitionRecord;
        part->disk = disk;
        part->path = duplicateText(m_part.c_str());
        part->fsName = duplicateText("ntfs");
        part->label = duplicateText("Data");
        part->start = 2048;
        part->length = 24 * kMiB / 512;
        part->letter = 'C';
        appendPartition(&disk->partitions, part);
        prober.addDisk(disk);
    }
    ImageHeadBlock head;
    ASSERT_EQ(0, buildHeadInfo(prober, QString::fromStdString(m_dir.file("sdz")), 0,
                               QString::fromStdString(m_part), &head));

    {
        WizardSide side(&worker, false);
        worker.setBackup(backupArgument(), FS_TYPE_NTFS, head.data(), head.size());
        runJob(side);
        ASSERT_EQ(0, worker.result());
        // A backup's total is the file system's used size, which its walk
        // need not reach exactly.
        side.expectWholeProgress("backup", false);
        const std::vector<QString> states = side.states();
        ASSERT_FALSE(states.empty());
        EXPECT_EQ(QStringLiteral("Initializing ..."), states.front());
        EXPECT_EQ(QStringLiteral("Finish"), states.back());
        EXPECT_TRUE(contains(states, "Backing up partition ..."));
        EXPECT_FALSE(side.recorder.of(WorkerEvent::Name).empty());
        EXPECT_TRUE(side.clock->isActive());
        // The wizard closes the job: the bar shows the bytes' share of the
        // total, and 100% once the job has succeeded.
        side.page.finish();
        EXPECT_EQ(static_cast<int>(side.page.doneBytes() * 100.0 / side.page.totalBytes()),
                  side.page.bar()->value());
        side.page.showSucceeded();
        EXPECT_EQ(100, side.page.bar()->value());
    }

    // The engine stored the block unchanged at the start of the image.
    const std::string image = m_base + "_0_0.bkp";
    const std::vector<uint8_t> stored = ReadFileBytes(image);
    ASSERT_GE(stored.size(), static_cast<size_t>(head.size()));
    EXPECT_EQ(0, memcmp(stored.data(), head.bytes.constData(), head.size()));
    ImageHeadView view;
    ASSERT_EQ(HeadReadResult::Ok, readHeadBlock(QString::fromStdString(image), &view));
    EXPECT_EQ(1, view.partitionNumber);
    EXPECT_EQ(4, view.fsCode);
    EXPECT_EQ(QByteArray("Data"), view.partName);

    {
        WizardSide side(&worker, true);
        worker.setRestore(restoreArgument(image), FS_TYPE_NTFS);
        runJob(side);
        ASSERT_EQ(0, worker.result());
        side.expectWholeProgress("restore");
        const std::vector<QString> states = side.states();
        EXPECT_TRUE(contains(states, "Restoring partition ..."));
        EXPECT_TRUE(contains(states, "Finishing restore partition ..."));
        EXPECT_EQ(QStringLiteral("Finish"), states.back());
    }
    expectTargetHolds("/kept.bin", m_kept);
    expectTargetHolds("/changed.bin", PatternBytes(2 * kMiB, 2));
    const CommandResult check = testsupport::Run("ntfsfix -n " + Quote(m_target) + " 2>&1");
    EXPECT_EQ(0, check.exitCode) << check.output;
}

TEST_F(QuarnThreadNtfsTest, MovedVolumeIsAskedForAndTheGuiAnswerIsTried)
{
    worker.setBackup(backupArgument(std::string(), kMiB), FS_TYPE_NTFS, nullptr, 0);
    worker.startJob();
    ASSERT_TRUE(worker.wait(120000));
    ASSERT_EQ(0, worker.result());
    ASSERT_TRUE(FileExists(m_base + "_1_0.bkp"));
    // The second volume went onto "another disc".
    ASSERT_EQ(0, testsupport::Run("mkdir " + Quote(m_dir.file("disc2")) + " && mv " +
                                  Quote(m_base + "_1_0.bkp") + " " + Quote(m_dir.file("disc2/")))
                     .exitCode);

    std::vector<QString> asked;
    bool allOnGuiThread = true;
    QObject gui;
    QObject::connect(
        &worker, &QuarnThread::nextFileNotified, &gui,
        [&](QString& fileName) {
            allOnGuiThread = allOnGuiThread && QThread::currentThread() == qApp->thread();
            asked.push_back(fileName);
            // The user looks for the volume on either disc.
            const QString name = QFileInfo(fileName).fileName();
            for (const char* folder : {"", "disc2/"}) {
                const QString candidate = QString::fromStdString(m_dir.file(folder)) + name;
                if (QFileInfo::exists(candidate))
                    fileName = candidate;
            }
        },
        Qt::BlockingQueuedConnection);

    WizardSide side(&worker, true);
    worker.setRestore(restoreArgument(m_base + "_0_0.bkp"), FS_TYPE_NTFS);
    runJob(side);
    ASSERT_EQ(0, worker.result());
    ASSERT_FALSE(asked.empty());
    EXPECT_TRUE(asked.front().endsWith(QStringLiteral("img_1_0.bkp"))) << asked.front().toStdString();
    EXPECT_TRUE(allOnGuiThread);
    side.expectWholeProgress("restore from two discs");
    expectTargetHolds("/kept.bin", m_kept);
}

TEST_F(QuarnThreadNtfsTest, CancelledVolumeRequestEndsTheRestore)
{
    worker.setBackup(backupArgument(std::string(), kMiB), FS_TYPE_NTFS, nullptr, 0);
    worker.startJob();
    ASSERT_TRUE(worker.wait(120000));
    ASSERT_EQ(0, worker.result());
    ASSERT_EQ(0, testsupport::Run("rm " + Quote(m_base + "_1_0.bkp")).exitCode);

    int requests = 0;
    QObject gui;
    QObject::connect(
        &worker, &QuarnThread::nextFileNotified, &gui,
        [&](QString&) {
            ++requests;
            worker.cancelJob();  // the user pressed Cancel in the file dialog
        },
        Qt::BlockingQueuedConnection);
    WizardSide side(&worker, true);
    worker.setRestore(restoreArgument(m_base + "_0_0.bkp"), FS_TYPE_NTFS);
    runJob(side);
    EXPECT_EQ(ERR_FILE_NOT_FOUND, worker.result());
    EXPECT_EQ(1, requests);
}

TEST_F(QuarnThreadNtfsTest, TwoImageChainRestoreEndsAtExactly95StepsAnd100Percent)
{
    std::string log;
    worker.setBackup(backupArgument(), FS_TYPE_NTFS, nullptr, 0);
    worker.startJob();
    ASSERT_TRUE(worker.wait(120000));
    ASSERT_EQ(0, worker.result());
    // Data the second image leaves to the first, which the chain restore
    // steps over in the newer image's stead. The changed file grows: ntfscp
    // rewrites a file of the same length in place without touching its
    // record, which no record-based incremental image can see.
    const std::vector<uint8_t> changed = PatternBytes(2 * kMiB + 512 * 1024, 3);
    ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/changed.bin", changed, &log)) << log;
    ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/added.bin", PatternBytes(kMiB, 4), &log)) << log;
    worker.setBackup(backupArgument(m_base + "_0_0.bkp"), FS_TYPE_NTFS, nullptr, 0);
    worker.startJob();
    ASSERT_TRUE(worker.wait(120000));
    ASSERT_EQ(0, worker.result());
    ASSERT_TRUE(FileExists(m_base + "_0_1.bkp"));

    WizardSide side(&worker, true);
    worker.setRestore(restoreArgument(m_base + "_0_1.bkp"), FS_TYPE_NTFS);
    runJob(side);
    ASSERT_EQ(0, worker.result());
    side.expectWholeProgress("two-image chain");
    // A restore moves exactly its total: the bar is full at the end.
    side.page.finish();
    EXPECT_EQ(100, side.page.bar()->value());
    expectTargetHolds("/kept.bin", m_kept);
    expectTargetHolds("/added.bin", PatternBytes(kMiB, 4));
}

TEST_F(QuarnThreadNtfsTest, ChainRestoreHoldsTheNewestDataOfARewrittenFile)
{
    std::string log;
    ASSERT_EQ(0, BackupNtfsImage(m_part, m_base, 2));
    const std::vector<uint8_t> changed = PatternBytes(2 * kMiB + 512 * 1024, 3);
    ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/changed.bin", changed, &log)) << log;
    ASSERT_EQ(0, BackupNtfsImage(m_part, m_base, 2, ~0ULL, m_base + "_0_0.bkp"));
    worker.setRestore(restoreArgument(m_base + "_0_1.bkp"), FS_TYPE_NTFS);
    worker.startJob();
    ASSERT_TRUE(worker.wait(120000));
    ASSERT_EQ(0, worker.result());
    expectTargetHolds("/changed.bin", changed);
}
