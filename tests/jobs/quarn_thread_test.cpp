// The engine worker on a scripted engine: dispatching, every callback in
// any order turned into signals on the GUI thread, the blocking next-file
// request, cancelling.
#include "jobs/quarn_thread.h"

#include "jobs/worker_recorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <random>

using jobstest::WorkerEvent;
using jobstest::WorkerRecorder;

namespace {

// The worker's signals reach the test's thread through its event loop; the
// job layer needs no widgets, so a core application is enough. It lives
// until the program ends.
QCoreApplication& testApp()
{
    static int argc = 1;
    static char name[] = "quarn_thread_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

// What the scripted engine was asked to do.
struct EngineCall {
    std::string entry;
    tagBackupArgument backup;
    tagRestoreArgument restore;
    tagBackupImageHeadInfo* head = nullptr;
    int headLength = 0;
    bool onWorkerThread = false;
    tagCloneArgument clone;
};

EngineCall g_call;
// The job the scripted engine runs with the worker's callback record.
std::function<int(const tagCallBackFunc&)> g_script;

bool offGuiThread()
{
    return QThread::currentThread() != qApp->thread();
}

int scriptedBackupNtfs(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head, int len)
{
    g_call = {"backup_ntfs", arg, {}, head, len, offGuiThread(), {}};
    return g_script(cb);
}
int scriptedBackupFat32(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head, int len)
{
    g_call = {"backup_fat32", arg, {}, head, len, offGuiThread(), {}};
    return g_script(cb);
}
int scriptedRestoreNtfs(tagRestoreArgument arg, tagCallBackFunc cb)
{
    g_call = {"restore_ntfs", {}, arg, nullptr, 0, offGuiThread(), {}};
    return g_script(cb);
}
int scriptedRestoreFat32(tagRestoreArgument arg, tagCallBackFunc cb)
{
    g_call = {"restore_fat32", {}, arg, nullptr, 0, offGuiThread(), {}};
    return g_script(cb);
}
int scriptedRestoreMbr(tagRestoreArgument arg, tagCallBackFunc cb)
{
    g_call = {"restore_mbr", {}, arg, nullptr, 0, offGuiThread(), {}};
    return g_script(cb);
}

int scriptedCloneNtfs(tagCloneArgument arg, tagCallBackFunc cb)
{
    g_call = {"clone_ntfs", {}, {}, nullptr, 0, offGuiThread(), arg};
    return g_script(cb);
}
int scriptedCloneFat32(tagCloneArgument arg, tagCallBackFunc cb)
{
    g_call = {"clone_fat32", {}, {}, nullptr, 0, offGuiThread(), arg};
    return g_script(cb);
}

QuarnEngine scriptedEngine()
{
    QuarnEngine engine{scriptedBackupNtfs, scriptedBackupFat32, scriptedRestoreNtfs, scriptedRestoreFat32,
                       scriptedRestoreMbr};
    engine.cloneNtfs = scriptedCloneNtfs;
    engine.cloneFat32 = scriptedCloneFat32;
    return engine;
}

const QuarnEngine kScriptedEngine = scriptedEngine();

// One report of a script.
struct Report {
    enum Kind { Progress, Total, Bytes, Name, Message, State } kind;
    qint64 value;
    const char* text;
};

int play(const std::vector<Report>& reports, const tagCallBackFunc& cb)
{
    for (const Report& r : reports) {
        switch (r.kind) {
        case Report::Progress:
            if (cb.onProgress(static_cast<int>(r.value), cb.context))
                return ERR_CANCELLED;
            break;
        case Report::Total:
            cb.onTotalBytes(r.value, cb.context);
            break;
        case Report::Bytes:
            cb.onBytesDone(r.value, cb.context);
            break;
        case Report::Name:
            cb.onName(QString::fromUtf8(r.text), cb.context);
            break;
        case Report::Message:
            cb.onMessage(QString::fromUtf8(r.text), cb.context);
            break;
        case Report::State:
            cb.onState(QString::fromUtf8(r.text), cb.context);
            break;
        }
    }
    return 0;
}

// The signals a script must give: repeated steps once, messages never.
std::vector<WorkerEvent> expectedSignals(const std::vector<Report>& reports)
{
    std::vector<WorkerEvent> expected;
    int lastStep = 0;
    for (const Report& r : reports) {
        switch (r.kind) {
        case Report::Progress:
            if (r.value != lastStep)
                expected.push_back({WorkerEvent::Progress, r.value, {}, true});
            lastStep = static_cast<int>(r.value);
            break;
        case Report::Total:
            expected.push_back({WorkerEvent::Total, r.value, {}, true});
            break;
        case Report::Bytes:
            expected.push_back({WorkerEvent::Bytes, r.value, {}, true});
            break;
        case Report::Name:
            expected.push_back({WorkerEvent::Name, 0, QString::fromUtf8(r.text), true});
            break;
        case Report::Message:
            break;
        case Report::State:
            expected.push_back({WorkerEvent::State, 0, QString::fromUtf8(r.text), true});
            break;
        }
    }
    expected.push_back({WorkerEvent::Finished, 0, {}, true});
    return expected;
}

tagRestoreArgument restoreArgument()
{
    tagRestoreArgument arg;
    arg.imagePath = "/images/img_0_0.bkp";
    arg.targetPartition = "/dev/sdz1";
    arg.hasMbr = 1;
    return arg;
}

}  // namespace

class QuarnThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApp();
        g_call = EngineCall();
        g_script = [](const tagCallBackFunc&) { return 0; };
    }
    QuarnThread worker{kScriptedEngine};
};

TEST_F(QuarnThreadTest, DispatchesOnFileSystemAndOperation)
{
    tagBackupArgument backup;
    backup.srcPartition = "/dev/sdz1";
    backup.imagePath = "/images/img";
    backup.password = "secret";
    backup.volumeSize = 4096;
    char head[120] = {};
    const struct {
        int operation;  // 1 backup, 2 restore, 3 MBR only, 4 clone
        int fsType;
        const char* entry;  // "" when nothing may run
    } cases[] = {
        {1, 4, "backup_ntfs"},
        {1, 3, "backup_fat32"},
        {2, 4, "restore_ntfs"},
        {2, 3, "restore_fat32"},
        {3, 0, "restore_mbr"},
        {1, 2, ""},
        {2, 0, ""},
        {2, 7, ""},
        {4, 4, "clone_ntfs"},
        {4, 3, "clone_fat32"},
        {4, 2, ""},
        {4, 0, ""},
    };
    tagCloneArgument clone;
    clone.srcPartition = "/dev/sdz1";
    clone.destPartition = "/dev/sdz2";
    clone.filterHibernateFile = true;
    for (const auto& c : cases) {
        g_call = EngineCall();
        g_script = [](const tagCallBackFunc&) { return 42; };
        if (c.operation == 1)
            worker.setBackup(backup, c.fsType, reinterpret_cast<tagBackupImageHeadInfo*>(head), 120);
        else if (c.operation == 2)
            worker.setRestore(restoreArgument(), c.fsType);
        else if (c.operation == 3)
            worker.setRestoreMbr(restoreArgument());
        else
            worker.setClone(clone, c.fsType);
        worker.startJob();
        ASSERT_TRUE(worker.wait(10000));
        EXPECT_EQ(c.entry, g_call.entry) << c.operation << "/" << c.fsType;
        EXPECT_EQ(*c.entry ? 42 : -1, worker.result()) << c.operation << "/" << c.fsType;
        if (!*c.entry)
            continue;
        EXPECT_TRUE(g_call.onWorkerThread);
        if (c.operation == 1) {
            EXPECT_EQ("/dev/sdz1", g_call.backup.srcPartition);
            EXPECT_EQ("secret", g_call.backup.password);
            EXPECT_EQ(4096u, g_call.backup.volumeSize);
            EXPECT_EQ(reinterpret_cast<tagBackupImageHeadInfo*>(head), g_call.head);
            EXPECT_EQ(120, g_call.headLength);
        } else if (c.operation == 4) {
            EXPECT_EQ(QuarnThread::Clone, worker.operation());
            EXPECT_EQ("/dev/sdz1", g_call.clone.srcPartition);
            EXPECT_EQ("/dev/sdz2", g_call.clone.destPartition);
            EXPECT_FALSE(g_call.clone.filterPageFile);
            EXPECT_TRUE(g_call.clone.filterHibernateFile);
        } else {
            EXPECT_EQ("/images/img_0_0.bkp", g_call.restore.imagePath);
            EXPECT_EQ("/dev/sdz1", g_call.restore.targetPartition);
            EXPECT_EQ(1, g_call.restore.hasMbr);
        }
    }
}

// An engine table without the clone's entry points runs no clone.
TEST_F(QuarnThreadTest, ACloneWithoutTheEnginesEntryPointFails)
{
    QuarnThread old{QuarnEngine{scriptedBackupNtfs, scriptedBackupFat32, scriptedRestoreNtfs,
                                scriptedRestoreFat32, scriptedRestoreMbr}};
    old.setClone(tagCloneArgument(), FS_TYPE_NTFS);
    old.startJob();
    ASSERT_TRUE(old.wait(10000));
    EXPECT_EQ(-1, old.result());
    EXPECT_EQ("", g_call.entry);
}

TEST_F(QuarnThreadTest, MbrOnlyRestoreRunsWhateverTheFileSystemCode)
{
    worker.setRestore(restoreArgument(), 4);
    worker.setRestoreMbr(restoreArgument());
    EXPECT_EQ(0, worker.fsType());
    worker.startJob();
    ASSERT_TRUE(worker.wait(10000));
    EXPECT_EQ("restore_mbr", g_call.entry);
    EXPECT_EQ(0, worker.result());
}

TEST_F(QuarnThreadTest, CallbacksInAnyOrderArriveAsSignalsInOrderOnTheGuiThread)
{
    const std::vector<Report> job = {
        {Report::State, 0, "Initializing ..."},
        {Report::Total, 5000000000LL, nullptr},
        {Report::State, 0, "Backing up partition ..."},
        {Report::Name, 0, "\xe6\x96\x87\xe4\xbb\xb6.txt"},
        {Report::Progress, 1, nullptr},
        {Report::Bytes, 52631578, nullptr},
        {Report::Progress, 1, nullptr},
        {Report::Message, 0, "not shown"},
        {Report::Progress, 2, nullptr},
        {Report::Bytes, 52631579, nullptr},
        {Report::Name, 0, "b.dat"},
        {Report::Progress, 2, nullptr},
        {Report::Progress, 95, nullptr},
        {Report::Bytes, 1, nullptr},
        {Report::State, 0, "Finish"},
    };
    std::vector<std::vector<Report>> scripts = {job};
    // The same reports in shuffled orders: the worker keeps whatever order
    // the engine chose.
    std::mt19937 random(2026);
    for (int i = 0; i < 6; ++i) {
        std::vector<Report> shuffled = job;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        scripts.push_back(shuffled);
    }
    for (size_t s = 0; s < scripts.size(); ++s) {
        const std::vector<Report> script = scripts[s];
        g_script = [script](const tagCallBackFunc& cb) { return play(script, cb); };
        WorkerRecorder recorder(&worker);
        worker.setBackup(tagBackupArgument(), FS_TYPE_NTFS, nullptr, 0);
        worker.startJob();
        ASSERT_TRUE(recorder.waitFinished()) << "script " << s;
        worker.wait();
        EXPECT_EQ(0, worker.result());
        EXPECT_EQ(expectedSignals(script), recorder.events) << "script " << s;
        EXPECT_TRUE(recorder.allOnGuiThread()) << "script " << s;
    }
}

TEST_F(QuarnThreadTest, EachJobStartsItsStepsAfresh)
{
    g_script = [](const tagCallBackFunc& cb) {
        cb.onProgress(1, cb.context);
        cb.onProgress(2, cb.context);
        return 0;
    };
    for (int job = 0; job < 2; ++job) {
        WorkerRecorder recorder(&worker);
        worker.setRestore(restoreArgument(), FS_TYPE_FAT32);
        worker.startJob();
        ASSERT_TRUE(recorder.waitFinished());
        worker.wait();
        const auto steps = recorder.of(WorkerEvent::Progress);
        ASSERT_EQ(2u, steps.size()) << "job " << job;
        EXPECT_EQ(1, steps[0].value);
        EXPECT_EQ(2, steps[1].value);
    }
}

TEST_F(QuarnThreadTest, NextFileRequestWaitsForTheGuiThreadsAnswer)
{
    std::atomic<bool> slotReturned{false};
    struct Seen {
        int answer = -99;
        QString path;
        bool slotHadReturned = false;
    };
    Seen seen;
    g_script = [&](const tagCallBackFunc& cb) {
        QString path = QStringLiteral("/cdrom/img_1_0.bkp");
        seen.answer = cb.onNextFile(path, cb.context);
        seen.slotHadReturned = slotReturned.load();
        seen.path = path;
        return 0;
    };
    QObject gui;
    bool slotOnGuiThread = false;
    QString asked;
    QObject::connect(
        &worker, &QuarnThread::nextFileNotified, &gui,
        [&](QString& fileName) {
            slotOnGuiThread = QThread::currentThread() == qApp->thread();
            asked = fileName;
            // The engine must still be waiting while the user chooses.
            QThread::msleep(200);
            fileName = QStringLiteral("/media/disc2/img_1_0.bkp");
            slotReturned = true;
        },
        Qt::BlockingQueuedConnection);

    WorkerRecorder recorder(&worker);
    worker.setRestore(restoreArgument(), FS_TYPE_NTFS);
    worker.startJob();
    ASSERT_TRUE(recorder.waitFinished());
    worker.wait();
    EXPECT_TRUE(slotOnGuiThread);
    EXPECT_EQ(QStringLiteral("/cdrom/img_1_0.bkp"), asked);
    EXPECT_TRUE(seen.slotHadReturned);
    EXPECT_EQ(0, seen.answer);
    EXPECT_EQ(QStringLiteral("/media/disc2/img_1_0.bkp"), seen.path);
}

TEST_F(QuarnThreadTest, NextFileRequestGivesUpWhenCancelledWhateverTheName)
{
    int answer = -99;
    g_script = [&](const tagCallBackFunc& cb) {
        QString path = QStringLiteral("/cdrom/img_1_0.bkp");
        answer = cb.onNextFile(path, cb.context);
        return answer ? ERR_FILE_NOT_FOUND : 0;
    };
    QObject gui;
    QObject::connect(
        &worker, &QuarnThread::nextFileNotified, &gui,
        [&](QString& fileName) {
            fileName = QStringLiteral("/somewhere/else_1_0.bkp");
            worker.cancelJob();
        },
        Qt::BlockingQueuedConnection);
    WorkerRecorder recorder(&worker);
    worker.setRestore(restoreArgument(), FS_TYPE_NTFS);
    worker.startJob();
    ASSERT_TRUE(recorder.waitFinished());
    worker.wait();
    EXPECT_EQ(-1, answer);
    EXPECT_EQ(ERR_FILE_NOT_FOUND, worker.result());
}

TEST_F(QuarnThreadTest, NextFileRequestWithNobodyToAskGivesUp)
{
    // Answering "try again" with nobody to choose would make the engine ask
    // for the same missing volume for ever.
    int answer = -99;
    g_script = [&](const tagCallBackFunc& cb) {
        QString path = QStringLiteral("/cdrom/img_1_0.bkp");
        answer = cb.onNextFile(path, cb.context);
        return 0;
    };
    worker.setRestore(restoreArgument(), FS_TYPE_NTFS);
    worker.startJob();
    ASSERT_TRUE(worker.wait(10000));
    EXPECT_EQ(-1, answer);
}

TEST_F(QuarnThreadTest, CancelTakesEffectAtTheNextProgressStep)
{
    std::atomic<int> lastStep{0};
    std::atomic<bool> guiCancelled{false};
    g_script = [&](const tagCallBackFunc& cb) {
        for (int step = 1; step <= 95; ++step) {
            lastStep = step;
            if (cb.onProgress(step, cb.context))
                return int(ERR_CANCELLED);
            cb.onBytesDone(1000, cb.context);
            // Between two reports the user cancels (the engine works on).
            while (step == 3 && !guiCancelled)
                QThread::msleep(1);
        }
        return 0;
    };
    WorkerRecorder recorder(&worker);
    QObject::connect(&worker, &QuarnThread::progressChanged, &recorder, [&](int step) {
        if (step == 3) {
            worker.cancelJob();
            guiCancelled = true;
        }
    });
    worker.setBackup(tagBackupArgument(), FS_TYPE_FAT32, nullptr, 0);
    worker.startJob();
    ASSERT_TRUE(recorder.waitFinished());
    worker.wait();
    EXPECT_EQ(ERR_CANCELLED, worker.result());
    EXPECT_EQ(4, lastStep.load());
    // The step that saw the cancel passed on no bytes.
    EXPECT_EQ(3u, recorder.of(WorkerEvent::Bytes).size());

    // The next job starts without the old cancel request.
    g_script = [](const tagCallBackFunc& cb) { return cb.onProgress(1, cb.context) ? ERR_CANCELLED : 0; };
    worker.startJob();
    ASSERT_TRUE(worker.wait(10000));
    EXPECT_EQ(0, worker.result());
}

TEST_F(QuarnThreadTest, CallbacksWithoutAWorkerDoNothing)
{
    QString path = QStringLiteral("x");
    EXPECT_EQ(0, QuarnThread::progressCallback(5, nullptr));
    EXPECT_EQ(-1, QuarnThread::nextFileCallback(path, nullptr));
    QuarnThread::totalBytesCallback(1, nullptr);
    QuarnThread::bytesDoneCallback(1, nullptr);
    QuarnThread::nameCallback(QStringLiteral("n"), nullptr);
    QuarnThread::messageCallback(QStringLiteral("m"), nullptr);
    QuarnThread::stateCallback(QStringLiteral("s"), nullptr);
    EXPECT_EQ(QStringLiteral("x"), path);
}

TEST_F(QuarnThreadTest, DestroyingARunningWorkerStopsItsJob)
{
    std::atomic<bool> started{false};
    g_script = [&](const tagCallBackFunc& cb) {
        started = true;
        for (int step = 1;; step = step % 95 + 1) {
            if (cb.onProgress(step, cb.context))
                return int(ERR_CANCELLED);
            QThread::msleep(1);
        }
    };
    auto* running = new QuarnThread(kScriptedEngine);
    running->setBackup(tagBackupArgument(), FS_TYPE_NTFS, nullptr, 0);
    running->startJob();
    QElapsedTimer clock;
    clock.start();
    while (!started && clock.elapsed() < 10000)
        QThread::msleep(1);
    delete running;  // must neither crash nor leave the job running
    EXPECT_TRUE(started);
}
