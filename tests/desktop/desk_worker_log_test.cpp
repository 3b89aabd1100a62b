// The desktop is a GUI program whose standard error nobody sees: its
// worker's own line about the job lands in the job's log with the job.
#include "desktop/desk_test_app.h"
#include "programs/desktop/desk_worker.h"
#include "jobs/job_log.h"
#include "jobs/log_sink.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

int scriptedBackup(tagBackupArgument, tagCallBackFunc, tagBackupImageHeadInfo*, int)
{
    return 0;
}
int scriptedRestore(tagRestoreArgument, tagCallBackFunc)
{
    return 0;
}

}  // namespace

TEST(DeskWorkerLog, TheWorkersLineAboutTheJobIsInTheJobsLog)
{
    desktest::testApp();
    testsupport::TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    LogSink::install();
    JobLog::setPlaces({QStringLiteral("deskrestore"), false, folder});
    desk::Worker worker(QuarnEngine{scriptedBackup, scriptedBackup, scriptedRestore, scriptedRestore,
                                    scriptedRestore, scriptedRestore});
    tagBackupArgument arg;
    arg.srcPartition = "D:";
    arg.imagePath = "E:\\Images\\d_backup";
    worker.setBackup(arg, FS_TYPE_FAT32, nullptr, 0);
    worker.startJob();
    worker.wait();
    JobLog::setPlaces({});

    const QStringList logs =
        QDir(folder).entryList({QStringLiteral("deskrestore_*_backup.log")}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    QFile file(folder + QLatin1Char('/') + logs.first());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(log.contains(QStringLiteral("source partition: D:\n"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("debug: start backup fat32 thread\n"))) << log.toStdString();
    EXPECT_TRUE(log.endsWith(QStringLiteral("result: 0 (0x0) success\n"))) << log.toStdString();
}
