// Every job the worker runs leaves a log a user can find: named by its
// start and its kind, with its arguments, the engine's trace and the
// programs' warnings of its time, and its result code with its words;
// never the password or its digest. A job that throws ends with a named
// code in its log instead of ending the program.
#include "support/backup_argument.h"
#include "support/fat_fixture.h"
#include "jobs/job_log.h"
#include "jobs/log_sink.h"
#include "jobs/quarn_thread.h"
#include "support/skip_or_fail.h"
#include "support/test_support.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;
const char kPassword[] = "c0rrect-h0rse";

// The job the scripted engine runs with the worker's callback record.
std::function<int(const tagCallBackFunc&)> g_script;

int scriptedBackup(tagBackupArgument, tagCallBackFunc cb, tagBackupImageHeadInfo*, int)
{
    return g_script(cb);
}
int scriptedRestore(tagRestoreArgument, tagCallBackFunc cb)
{
    return g_script(cb);
}

int scriptedClone(tagCloneArgument, tagCallBackFunc cb)
{
    return g_script(cb);
}

QuarnEngine scriptedEngine()
{
    QuarnEngine engine{scriptedBackup,  scriptedBackup,  scriptedRestore,
                       scriptedRestore, scriptedRestore, scriptedRestore};
    engine.cloneNtfs = scriptedClone;
    engine.cloneFat32 = scriptedClone;
    return engine;
}

// Logs of the test go to its own folders; no place is set after it.
class LogPlaces {
public:
    LogPlaces(const QString& folder, bool besideImage)
    {
        LogSink::install();
        JobLog::setPlaces({QStringLiteral("test"), besideImage, folder});
    }
    ~LogPlaces() { JobLog::setPlaces({}); }
};

QStringList logsIn(const std::string& folder)
{
    return QDir(QString::fromStdString(folder)).entryList({QStringLiteral("*.log")}, QDir::Files);
}

std::string readLog(const std::string& folder)
{
    const QStringList logs = logsIn(folder);
    if (logs.size() != 1)
        return "(" + std::to_string(logs.size()) + " logs)";
    QFile file(QString::fromStdString(folder) + QLatin1Char('/') + logs.first());
    if (!file.open(QIODevice::ReadOnly))
        return "(unreadable)";
    return file.readAll().toStdString();
}

// Every form in which the password or its digest could be written.
std::vector<std::string> secretForms()
{
    const QByteArray digest = QCryptographicHash::hash(QByteArray(kPassword), QCryptographicHash::Md5);
    return {kPassword, digest.toHex().toStdString(), digest.toHex().toUpper().toStdString(),
            digest.toStdString(), digest.toBase64().toStdString()};
}

void expectNoSecret(const std::string& log)
{
    for (const std::string& secret : secretForms())
        EXPECT_EQ(log.find(secret), std::string::npos) << "the log holds a secret:\n" << log;
}

tagBackupArgument backupOf(const std::string& dir)
{
    tagBackupArgument arg;
    arg.srcPartition = dir + "/sdz1";
    arg.imagePath = dir + "/img";
    arg.password = kPassword;
    arg.description = "weekly";
    return arg;
}

void runAndWait(QuarnThread& worker)
{
    worker.startJob();
    worker.wait();
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(JobLog, ABackupLogsItsArgumentsTraceWarningsAndResultButNotItsPassword)
{
    TempDir dir;
    LogPlaces places(QString::fromStdString(dir.file("logs")), false);
    g_script = [](const tagCallBackFunc&) {
        DEBUG_TRACE("start backup files ...\n");
        qWarning("mount of %s failed", "/dev/sdz9");
        // A careless line with the password in it is masked in the log.
        DEBUG_TRACE("password was %s\n", kPassword);
        const QByteArray digest = QCryptographicHash::hash(QByteArray(kPassword), QCryptographicHash::Md5);
        DEBUG_TRACE("digest %s or %s\n", digest.toHex().constData(), digest.toHex().toUpper().constData());
        return ERR_WRITE_FILE;
    };
    QuarnThread worker(scriptedEngine());
    worker.setBackup(backupOf(dir.path()), FS_TYPE_NTFS, nullptr, 0);
    testing::internal::CaptureStderr();
    runAndWait(worker);
    const std::string standardError = testing::internal::GetCapturedStderr();
    ASSERT_EQ(worker.result(), ERR_WRITE_FILE);
    EXPECT_TRUE(contains(standardError, "start backup files ...\n")) << standardError;
    expectNoSecret(standardError);

    const QStringList logs = logsIn(dir.file("logs"));
    ASSERT_EQ(logs.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^test_\\d{8}-\\d{6}_backup\\.log$"))
                    .match(logs.first())
                    .hasMatch())
        << logs.first().toStdString();
    const std::string log = readLog(dir.file("logs"));
    EXPECT_TRUE(contains(log, "job: backup\n")) << log;
    EXPECT_TRUE(contains(log, "source partition: " + dir.file("sdz1") + "\n")) << log;
    EXPECT_TRUE(contains(log, "image: " + dir.file("img") + "\n")) << log;
    EXPECT_TRUE(contains(log, "file system: NTFS\n")) << log;
    EXPECT_TRUE(contains(log, "password: yes\n")) << log;
    EXPECT_TRUE(contains(log, "description: weekly\n")) << log;
    EXPECT_TRUE(contains(log, "start backup files ...\n")) << log;
    EXPECT_TRUE(contains(log, "warning: mount of /dev/sdz9 failed\n")) << log;
    EXPECT_TRUE(contains(log, "result: 18 (0x12) An image file cannot be written.\n")) << log;
    EXPECT_TRUE(contains(log, "password was ********\n")) << log;
    EXPECT_TRUE(contains(log, "digest ******** or ********\n")) << log;
    expectNoSecret(log);
}

TEST(JobLog, WhatAJobThrowsEndsItWithANamedCodeInItsLog)
{
    const struct {
        std::function<void()> fault;
        int expected;
        const char* logged;
    } cases[] = {
        {[] { throw std::runtime_error("a reader broke"); }, ERR_INTERNAL,
         "The job stopped on an unexpected error: a reader broke\n"},
        {[] { throw 7; }, ERR_INTERNAL, "The job stopped on an unexpected error.\n"},
        {[] { throw std::bad_alloc(); }, ERR_NO_MEMORY, "The job ran out of memory.\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        LogPlaces places(QString::fromStdString(dir.path()), false);
        g_script = [&](const tagCallBackFunc&) {
            c.fault();
            return 0;
        };
        QuarnThread worker(scriptedEngine());
        tagRestoreArgument arg;
        arg.imagePath = dir.file("img_0_0.bkp");
        arg.targetPartition = dir.file("sdx1");
        worker.setRestore(arg, FS_TYPE_FAT32);
        runAndWait(worker);
        EXPECT_EQ(worker.result(), c.expected) << c.logged;
        const std::string log = readLog(dir.path());
        EXPECT_TRUE(contains(log, "job: restore\n")) << log;
        EXPECT_TRUE(contains(log, "target partition: " + dir.file("sdx1") + "\n")) << log;
        EXPECT_TRUE(contains(log, c.logged)) << log;
        EXPECT_TRUE(contains(log, "result: " + std::to_string(c.expected) + " ")) << log;
    }
}

TEST(JobLog, TheLogGoesBesideTheImageOrElseIntoTheProgramsFolder)
{
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("images").c_str(), 0755), 0);
    MakeSparseFile(dir.file("a-file"), 1);
    const struct {
        const char* imageFolder;  // under the test's folder
        bool besideImage;
        const char* expectedFolder;
    } cases[] = {
        {"images", true, "images"},
        // A folder that cannot be made (it would sit under a file).
        {"a-file/images", true, "fallback"},
        {"images", false, "fallback"},
    };
    for (const auto& c : cases) {
        const std::string fallback = dir.file("fallback");
        LogPlaces places(QString::fromStdString(fallback), c.besideImage);
        g_script = [](const tagCallBackFunc&) { return 0; };
        QuarnThread worker(scriptedEngine());
        tagBackupArgument arg = backupOf(dir.path());
        arg.imagePath = dir.file(std::string(c.imageFolder) + "/img");
        worker.setBackup(arg, FS_TYPE_FAT32, nullptr, 0);
        runAndWait(worker);
        const std::string expected = dir.file(c.expectedFolder);
        EXPECT_EQ(logsIn(expected).size(), 1) << c.imageFolder << " " << c.besideImage;
        EXPECT_TRUE(contains(readLog(expected), "result: 0 (0x0) success\n")) << readLog(expected);
        for (const QString& name : logsIn(expected))
            QFile::remove(QString::fromStdString(expected) + QLatin1Char('/') + name);
    }
}

// A clone has no image to sit beside: its log goes to the program's folder,
// named for the job, with both partitions and the clone's own words.
TEST(JobLog, ACloneLogsBothPartitionsAndItsResultInTheProgramsFolder)
{
    TempDir dir;
    LogPlaces places(QString::fromStdString(dir.path()), true);
    g_script = [](const tagCallBackFunc&) { return int(ERR_SAME_PARTITION); };
    QuarnThread worker(scriptedEngine());
    tagCloneArgument arg;
    arg.srcPartition = dir.file("sdz1");
    arg.destPartition = dir.file("sdz2");
    arg.filterPageFile = true;
    worker.setClone(arg, FS_TYPE_NTFS);
    runAndWait(worker);
    const QStringList logs = logsIn(dir.path());
    ASSERT_EQ(logs.size(), 1);
    EXPECT_TRUE(logs.first().endsWith(QStringLiteral("_clone.log"))) << logs.first().toStdString();
    const std::string log = readLog(dir.path());
    EXPECT_TRUE(contains(log, "source partition: " + dir.file("sdz1"))) << log;
    EXPECT_TRUE(contains(log, "destination partition: " + dir.file("sdz2"))) << log;
    EXPECT_TRUE(contains(log, "filter page file: yes")) << log;
    EXPECT_TRUE(contains(log, "destination partition is the source partition itself")) << log;
}

TEST(JobLog, TwoJobsInOneSecondKeepTheirOwnLogs)
{
    TempDir dir;
    LogPlaces places(QString::fromStdString(dir.path()), false);
    const QDateTime start = QDateTime::currentDateTime();
    JobLog::Job job{QStringLiteral("verify"), QString(), {QStringLiteral("image: x")}, {}};
    JobLog first(job, start);
    JobLog second(job, start);
    ASSERT_TRUE(first.isOpen());
    ASSERT_TRUE(second.isOpen());
    EXPECT_NE(first.filePath(), second.filePath());
    EXPECT_EQ(logsIn(dir.path()).size(), 2);
}

TEST(JobLog, WithoutAPlaceNoLogIsWritten)
{
    TempDir dir;
    JobLog::setPlaces({});
    g_script = [](const tagCallBackFunc&) { return 0; };
    QuarnThread worker(scriptedEngine());
    tagBackupArgument arg = backupOf(dir.path());
    worker.setBackup(arg, FS_TYPE_FAT32, nullptr, 0);
    runAndWait(worker);
    EXPECT_EQ(worker.result(), 0);
    EXPECT_TRUE(
        QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

// The real engine's backup and restore of a protected image: the logs
// hold the jobs' trace and never the password or its digest.
TEST(JobLog, TheEnginesJobsLogNeitherThePasswordNorItsDigest)
{
    if (!HaveProgram("mkfs.fat") || !HaveProgram("mcopy"))
        SKIP_OR_FAIL_IN_CI("dosfstools or mtools are not installed");
    TempDir dir;
    FatImage fat(dir.file("sdz1"), 40 * kMiB, 1, "LOGGED", dir.file("scratch"));
    fat.AddFile("/DATA.BIN", PatternBytes(30000, 9));
    MakeSparseFile(dir.file("sdx1"), 40 * kMiB);
    const std::string logs = dir.file("logs");
    LogPlaces places(QString::fromStdString(logs), false);

    QuarnThread worker;
    tagBackupArgument backup =
        BackupArgumentFor(FS_TYPE_FAT32, dir.file("sdz1"), dir.file("img"), 1, ~0ull, std::string());
    backup.password = kPassword;
    worker.setBackup(backup, FS_TYPE_FAT32, nullptr, 0);
    runAndWait(worker);
    ASSERT_EQ(worker.result(), 0);
    const std::string backupLog = readLog(logs);
    EXPECT_TRUE(contains(backupLog, "backup_fat32\n")) << backupLog;
    EXPECT_TRUE(contains(backupLog, "result: 0 (0x0) success\n")) << backupLog;
    expectNoSecret(backupLog);
    for (const QString& name : logsIn(logs))
        QFile::remove(QString::fromStdString(logs) + QLatin1Char('/') + name);

    tagRestoreArgument restore;
    restore.imagePath = dir.file("img_0_0.bkp");
    restore.targetPartition = dir.file("sdx1");
    {
        FakeDosfsckOnPath quiet(dir.file("bin"));
        worker.setRestore(restore, FS_TYPE_FAT32);
        worker.setCheckImageFirst(true);
        runAndWait(worker);
    }
    ASSERT_EQ(worker.result(), 0);
    const std::string restoreLog = readLog(logs);
    EXPECT_TRUE(contains(restoreLog, "job: restore\n")) << restoreLog;
    EXPECT_TRUE(contains(restoreLog, "verify_image\n")) << restoreLog;
    EXPECT_TRUE(contains(restoreLog, "restore_fat32\n")) << restoreLog;
    expectNoSecret(restoreLog);
}
