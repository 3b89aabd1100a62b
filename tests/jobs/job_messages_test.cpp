// The words of both programs' boxes: every engine result code and every
// plan problem says what went wrong and what to do, the figures and file
// names the user needs are in them, and a finished job says what it made.
#include "jobs/job_messages.h"
#include "jobs/size_text.h"
#include "support/test_support.h"

#include <QFile>
#include <QSet>
#include <gtest/gtest.h>

#include <string>

namespace {

using JobMessages::Box;
using JobMessages::Job;

std::string str(const QString& text)
{
    return text.toStdString();
}

void writeBytes(const std::string& path, int count)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(count, 'x'));
}

TEST(JobMessages, EveryEngineResultCodeSaysWhatWentWrongAndWhatToDo)
{
    const int codes[] = {ERR_NO_BOOT_AREA,       ERR_OPEN_FILE,        ERR_READ_FILE,
                         ERR_WRITE_FILE,         ERR_FILE_NOT_FOUND,   ERR_SEEK_FILE,
                         ERR_BAD_MAGIC,          ERR_OPEN_PART,        ERR_READ_PART,
                         ERR_WRITE_PART,         ERR_SEEK_PART,        ERR_PART_INFO,
                         ERR_PART_TOO_SMALL,     ERR_NO_MEMORY,        ERR_OPEN_DISK,
                         ERR_READ_MBR,           ERR_WRITE_MBR,        ERR_COMPRESS,
                         ERR_NOT_FIRST_VOLUME,   ERR_VOLUME_ORDER,     ERR_VOLUME_CHAIN,
                         ERR_DAMAGED_IMAGE,      ERR_CHAIN_FULL,       ERR_TOO_MANY_VOLUMES,
                         ERR_FIELD_TOO_LONG,     ERR_VOLUME_TRUNCATED, ERR_SET_PAST_LAST_VOLUME,
                         ERR_OTHER_IMAGE,        ERR_NOT_NEWEST_IMAGE, ERR_NO_DISK,
                         ERR_FS_CHECK,           ERR_SAME_PARTITION,   ERR_PART_IN_USE,
                         ERR_UNFINISHED_RESTORE, ERR_INTERNAL};
    const Box unknown = JobMessages::engineFailure(-1, Job::Restore);
    QSet<QString> whats;
    for (const int code : codes) {
        SCOPED_TRACE(code);
        for (const Job job : {Job::Backup, Job::Restore, Job::RestoreMbr, Job::Clone}) {
            const Box box = JobMessages::engineFailure(code, job);
            EXPECT_FALSE(box.title.isEmpty());
            EXPECT_FALSE(box.what.isEmpty());
            EXPECT_FALSE(box.todo.isEmpty());
            EXPECT_NE(box.what, unknown.what);
            EXPECT_TRUE(box.text().contains(box.what) && box.text().contains(box.todo));
        }
        whats.insert(JobMessages::engineFailure(code, Job::Backup).what);
    }
    // Codes that mean the same to the user may share their words, but most
    // have their own.
    EXPECT_GT(whats.size(), int(sizeof codes / sizeof codes[0]) - 3);

    // A code the table does not know is named by its number.
    const QString text = JobMessages::failedText(QStringLiteral("Backup failed!"), 4242, Job::Backup);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Backup failed!\n"))) << str(text);
    EXPECT_TRUE(text.contains(QStringLiteral("4242"))) << str(text);
    EXPECT_TRUE(JobMessages::failedText(QStringLiteral("Restore failed!"), ERR_DAMAGED_IMAGE, Job::Restore)
                    .contains(JobMessages::engineFailure(ERR_DAMAGED_IMAGE, Job::Restore).todo));
}

TEST(JobMessages, EveryPlanProblemSaysWhatWentWrongAndWhatToDoWithItsFigures)
{
    using BackupPlan::Problem;
    BackupPlan::Result backup;
    backup.firstVolume = QStringLiteral("/img/big_0_0.bkp");
    backup.newerImage = QStringLiteral("/img/big_0_3.bkp");
    backup.oldImageFile = QStringLiteral("/img/old_0_0.bkp");
    backup.neededFreeBytes = 3000ULL << 20;
    backup.freeBytes = 1000ULL << 20;
    const auto windows = [](const QString& path) {
        return QString(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
    };
    const struct {
        Problem problem;
        QStringList shown;  // texts the box must hold
    } backupCases[] = {
        {Problem::IncrementalNotNtfs, {}},
        {Problem::PreviousImageNotFirstVolume, {QStringLiteral("big_0_0.bkp")}},
        {Problem::PreviousImageUnreadable, {}},
        {Problem::PreviousImageOtherPartition, {}},
        {Problem::PreviousImageNotNewest, {QStringLiteral("big_0_3.bkp")}},
        {Problem::NotEnoughSpace, {formatSize(qint64(3000ULL << 20)), formatSize(qint64(1000ULL << 20))}},
        {Problem::PasswordTooShort, {QStringLiteral("6")}},
        {Problem::PasswordsDiffer, {}},
        {Problem::DestinationFsUnknown, {}},
        {Problem::OldImageNotRemovable, {QStringLiteral("\\img\\old_0_0.bkp")}},
    };
    for (const auto& test : backupCases) {
        SCOPED_TRACE(int(test.problem));
        backup.problem = test.problem;
        const Box box = JobMessages::backupProblem(backup, windows);
        EXPECT_FALSE(box.title.isEmpty());
        EXPECT_FALSE(box.what.isEmpty());
        EXPECT_FALSE(box.todo.isEmpty());
        for (const QString& part : test.shown)
            EXPECT_TRUE(box.text().contains(part)) << str(box.text()) << " lacks " << str(part);
    }
    backup.problem = Problem::None;
    EXPECT_TRUE(JobMessages::backupProblem(backup, nullptr).title.isEmpty());

    RestorePlan::Result restore;
    restore.imageBytes = 3000ULL << 20;
    restore.targetBytes = 2000ULL << 20;
    const struct {
        RestorePlan::Problem problem;
        QStringList shown;
    } restoreCases[] = {
        {RestorePlan::Problem::NoImage, {}},
        {RestorePlan::Problem::NoTarget, {}},
        {RestorePlan::Problem::TargetIsSystem, {}},
        {RestorePlan::Problem::TargetTooSmall,
         {formatSize(qint64(3000ULL << 20)), formatSize(qint64(2000ULL << 20))}},
        {RestorePlan::Problem::WrongPassword, {}},
        {RestorePlan::Problem::NothingChosen, {}},
        {RestorePlan::Problem::TargetHoldsImage, {}},
        {RestorePlan::Problem::NoMbrOnWholeDisk, {}},
    };
    for (const auto& test : restoreCases) {
        SCOPED_TRACE(int(test.problem));
        restore.problem = test.problem;
        const Box box = JobMessages::restoreProblem(restore);
        EXPECT_FALSE(box.title.isEmpty());
        EXPECT_FALSE(box.what.isEmpty());
        EXPECT_FALSE(box.todo.isEmpty());
        for (const QString& part : test.shown)
            EXPECT_TRUE(box.text().contains(part)) << str(box.text()) << " lacks " << str(part);
    }
}

// Every refusal of the clone plan in a box with its figures, and as the
// few words a refused row of the lists shows.
TEST(JobMessages, EveryCloneRefusalSaysWhyAndWhatToDo)
{
    using ClonePlan::Reason;
    const quint64 needed = 300ULL << 20, available = 200ULL << 20;
    const struct {
        Reason reason;
        bool sourceRefused;
        QString boxHolds;
        QString rowSays;  // empty: no row shows it
    } cases[] = {
        {Reason::NoPartition, true, QStringLiteral("No source partition"), QString()},
        {Reason::NoPartition, false, QStringLiteral("No destination partition"), QString()},
        {Reason::NotCloneable, true, QStringLiteral("NTFS and FAT32"), QStringLiteral("not NTFS or FAT32")},
        {Reason::UnfinishedRestore, true, QStringLiteral("unfinished restore"),
         QStringLiteral("an unfinished restore, no file system")},
        {Reason::SameAsSource, false, QStringLiteral("the source partition itself"),
         QStringLiteral("the source itself")},
        {Reason::TooSmall, false,
         formatSize(qint64(needed)) + QStringLiteral(", the destination has ") +
             formatSize(qint64(available)),
         QStringLiteral("too small: the source's data take %1, it has %2")
             .arg(formatSize(qint64(needed)), formatSize(qint64(available)))},
    };
    QSet<QString> whats;
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.reason));
        ClonePlan::Result result;
        result.verdict.reason = c.reason;
        result.verdict.neededBytes = needed;
        result.verdict.availableBytes = available;
        result.sourceRefused = c.sourceRefused;
        const Box box = JobMessages::cloneProblem(result);
        EXPECT_EQ(box.title, QStringLiteral("Error"));
        EXPECT_FALSE(box.what.isEmpty());
        EXPECT_FALSE(box.todo.isEmpty());
        EXPECT_TRUE(box.text().contains(c.boxHolds)) << str(box.text());
        whats.insert(box.what);
        EXPECT_EQ(JobMessages::cloneReason(result.verdict), c.rowSays);
    }
    EXPECT_EQ(whats.size(), int(sizeof cases / sizeof cases[0]));
    EXPECT_TRUE(JobMessages::cloneProblem(ClonePlan::Result()).title.isEmpty());
    EXPECT_TRUE(JobMessages::cloneReason(ClonePlan::Verdict()).isEmpty());

    // A clone's own words for a too small destination: it has no image.
    const Box small = JobMessages::engineFailure(ERR_PART_TOO_SMALL, Job::Clone);
    EXPECT_FALSE(small.what.contains(QStringLiteral("image")));
    EXPECT_NE(small.what, JobMessages::engineFailure(ERR_PART_TOO_SMALL, Job::Restore).what);
    EXPECT_TRUE(JobMessages::failedText(QStringLiteral("Clone failed!"), 4242, Job::Clone)
                    .contains(QStringLiteral("clone stopped with error code 4242")));

    const Box inUse = JobMessages::cloneDestinationInUse(QStringLiteral("E: DATA, 2.00 GB"));
    EXPECT_TRUE(inUse.what.contains(QStringLiteral("E: DATA, 2.00 GB")));
    EXPECT_TRUE(inUse.todo.contains(QStringLiteral("Unmount it first")));
}

// What the clone's boxes say: both partitions by name, the destination first
// in the question, and what a cancel left.
TEST(JobMessages, TheCloneQuestionAndEndsNameBothPartitions)
{
    const QString source = JobMessages::partitionName('C', QStringLiteral("SYSTEM"), 2ULL << 30);
    const QString destination = JobMessages::partitionName('E', QStringLiteral("SPARE"), 3ULL << 30);
    const QString question = JobMessages::cloneQuestion(destination, source);
    EXPECT_TRUE(question.contains(QStringLiteral("E: SPARE, 3.00 GB"))) << str(question);
    EXPECT_TRUE(question.contains(QStringLiteral("C: SYSTEM, 2.00 GB"))) << str(question);
    EXPECT_LT(question.indexOf(destination), question.indexOf(source));
    EXPECT_TRUE(question.contains(QStringLiteral("erased")));
    const QString done = JobMessages::cloneSucceeded(source, destination, 65);
    EXPECT_TRUE(done.startsWith(QStringLiteral("Clone succeeded!\n"))) << str(done);
    EXPECT_TRUE(done.contains(destination + QStringLiteral(" is now a copy of partition ") + source))
        << str(done);
    EXPECT_TRUE(done.contains(QStringLiteral("1:05"))) << str(done);
    const QString cancelled = JobMessages::cloneCancelled(destination);
    EXPECT_TRUE(cancelled.contains(destination + QStringLiteral(" holds no file system"))) << str(cancelled);
}

TEST(JobMessages, DurationsPartitionsAndDisksAsTheBoxesNameThem)
{
    const struct {
        qint64 seconds;
        const char* text;
    } durations[] = {{0, "0:00"},       {9, "0:09"},       {75, "1:15"}, {3599, "59:59"},
                     {3600, "1:00:00"}, {3725, "1:02:05"}, {-5, "0:00"}};
    for (const auto& d : durations)
        EXPECT_EQ(str(JobMessages::durationText(d.seconds)), d.text) << d.seconds;

    const quint64 twoGiB = 2ULL << 30;
    const struct {
        char letter;
        const char* label;
        quint64 bytes;
        const char* path;
        std::string text;
    } partitions[] = {
        {'d', "DATA", twoGiB, "", "D: DATA, " + str(formatSize(qint64(twoGiB)))},
        {'D', "", twoGiB, "", "D:, " + str(formatSize(qint64(twoGiB)))},
        {' ', "DATA", twoGiB, "/dev/sdb1", "/dev/sdb1 DATA, " + str(formatSize(qint64(twoGiB)))},
        {' ', "", 0, "/dev/sdb1", "/dev/sdb1"},
    };
    for (const auto& p : partitions)
        EXPECT_EQ(str(JobMessages::partitionName(p.letter, QString::fromUtf8(p.label), p.bytes,
                                                 QString::fromUtf8(p.path))),
                  p.text);
    EXPECT_EQ(str(JobMessages::diskName(QStringLiteral(" QEMU HARDDISK "), twoGiB)),
              "QEMU HARDDISK, " + str(formatSize(qint64(twoGiB))));
    EXPECT_EQ(str(JobMessages::diskName(QString(), 0, QStringLiteral("/dev/sdb"))), "/dev/sdb");

    const QString disk = JobMessages::diskName(QStringLiteral("QEMU HARDDISK"), twoGiB);
    EXPECT_TRUE(JobMessages::mbrQuestion(disk).contains(disk));
    const QString partition = JobMessages::partitionName('d', QStringLiteral("DATA"), twoGiB);
    EXPECT_TRUE(JobMessages::eraseQuestion(partition).contains(partition));
}

TEST(JobMessages, ABackupSaysWhereItsNewestImageWentAndARestoreNamesThePartition)
{
    testsupport::TempDir dir;
    writeBytes(dir.file("big_0_0.bkp"), 1000);
    writeBytes(dir.file("big_1_0.bkp"), 500);
    writeBytes(dir.file("big_0_1.bkp"), 300);
    writeBytes(dir.file("big_1_1.bkp"), 200);
    writeBytes(dir.file("big_2_1.bkp"), 100);
    writeBytes(dir.file("other_0_1.bkp"), 9999);
    const QString base = QString::fromStdString(dir.file("big"));
    const JobMessages::BackupOutcome outcome = JobMessages::backupOutcome(base, 125);
    EXPECT_EQ(outcome.volumes, 3);
    EXPECT_EQ(outcome.bytes, 600);
    EXPECT_EQ(outcome.seconds, 125);
    EXPECT_EQ(outcome.folder, QString::fromStdString(dir.path()));
    const QString text = JobMessages::backupSucceeded(outcome, nullptr);
    for (const QString& part :
         {QString::fromStdString(dir.path()), QStringLiteral("3"), formatSize(600), QStringLiteral("2:05")})
        EXPECT_TRUE(text.contains(part)) << str(text) << " lacks " << str(part);

    const QString restored = JobMessages::restoreSucceeded(QStringLiteral("D: DATA, 2.00 GB"), 3725);
    EXPECT_TRUE(restored.contains(QStringLiteral("D: DATA, 2.00 GB"))) << str(restored);
    EXPECT_TRUE(restored.contains(QStringLiteral("1:02:05"))) << str(restored);
    EXPECT_TRUE(JobMessages::mbrRestoreSucceeded(QStringLiteral("QEMU"), 1).contains(QStringLiteral("QEMU")));
}

TEST(JobMessages, TheImageSummaryShowsDateDescriptionKindSizeAndPassword)
{
    const struct {
        int generation;
        bool password;
        QString description;
        QStringList shown;
    } cases[] = {
        {0, false, QString(), {QStringLiteral("2026-12-11 10:00"), formatSize(2147483648LL)}},
        {2,
         true,
         QString::fromUtf8("系统备份"),
         {QStringLiteral("2"), QStringLiteral("big_0_0.bkp"), QString::fromUtf8("系统备份")}},
    };
    for (const auto& test : cases) {
        JobMessages::ImageFacts facts;
        facts.date = QStringLiteral("2026-12-11 10:00");
        facts.description = test.description;
        facts.generation = test.generation;
        facts.base = QStringLiteral("big_0_0.bkp");
        facts.bytes = 2147483648ULL;
        facts.hasPassword = test.password;
        const QString text = JobMessages::imageSummary(facts);
        for (const QString& part : test.shown)
            EXPECT_TRUE(text.contains(part)) << str(text) << " lacks " << str(part);
        EXPECT_EQ(text.contains(QStringLiteral("big_0_0.bkp")), test.generation > 0) << str(text);
    }
    JobMessages::ImageFacts plain, secret;
    secret.hasPassword = true;
    EXPECT_NE(JobMessages::imageSummary(plain), JobMessages::imageSummary(secret));
    EXPECT_EQ(JobMessages::generationOfFile(QStringLiteral("big_0_12.bkp")), 12);
    EXPECT_EQ(JobMessages::generationOfFile(QStringLiteral("big.bkp")), -1);
}

}  // namespace
