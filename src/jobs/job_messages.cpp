#include "jobs/job_messages.h"

#include "jobs/backup_rules.h"
#include "jobs/size_text.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>

namespace JobMessages {

namespace {

QString t(const char* text)
{
    return QCoreApplication::translate("JobMessages", text);
}

// What an engine result code means and what the user does about it.
struct CodeWords {
    int code;
    const char* what;
    const char* todo;
};

const CodeWords kEngineWords[] = {
    {ERR_NO_BOOT_AREA, QT_TRANSLATE_NOOP("JobMessages", "The partition's boot area cannot be read."),
     QT_TRANSLATE_NOOP("JobMessages",
                       "Check the partition with its file system's own checking tool, then try again.")},
    {ERR_OPEN_FILE, QT_TRANSLATE_NOOP("JobMessages", "An image file cannot be opened."),
     QT_TRANSLATE_NOOP(
         "JobMessages",
         "Check that the place of the image is still there and that it can be read and written, then "
         "try again.")},
    {ERR_READ_FILE, QT_TRANSLATE_NOOP("JobMessages", "An image file cannot be read."),
     QT_TRANSLATE_NOOP(
         "JobMessages",
         "The medium that holds the image may be damaged or was removed: check it, then try again.")},
    {ERR_WRITE_FILE, QT_TRANSLATE_NOOP("JobMessages", "An image file cannot be written."),
     QT_TRANSLATE_NOOP(
         "JobMessages",
         "Check that the destination has enough free space and is not write-protected, then try "
         "again.")},
    {ERR_FILE_NOT_FOUND, QT_TRANSLATE_NOOP("JobMessages", "A volume of the image was not found."),
     QT_TRANSLATE_NOOP("JobMessages", "Put all the volumes of the image in place, then try again.")},
    {ERR_SEEK_FILE,
     QT_TRANSLATE_NOOP("JobMessages", "An image file cannot be read at the place its records give."),
     QT_TRANSLATE_NOOP("JobMessages",
                       "The image may be damaged: check its medium, or choose another image.")},
    {ERR_BAD_MAGIC,
     QT_TRANSLATE_NOOP("JobMessages", "The file is not a backup image, or its records are damaged."),
     QT_TRANSLATE_NOOP("JobMessages", "Choose the first volume of a backup image made by this program.")},
    {ERR_OPEN_PART, QT_TRANSLATE_NOOP("JobMessages", "The partition cannot be opened."),
     QT_TRANSLATE_NOOP("JobMessages",
                       "Check that the partition is still there and that no other program uses it, then try "
                       "again.")},
    {ERR_READ_PART, QT_TRANSLATE_NOOP("JobMessages", "The partition cannot be read."),
     QT_TRANSLATE_NOOP("JobMessages", "The disk may be failing: check it, then try again.")},
    {ERR_WRITE_PART, QT_TRANSLATE_NOOP("JobMessages", "The partition cannot be written."),
     QT_TRANSLATE_NOOP("JobMessages",
                       "The disk may be failing or write-protected: check it, then try again.")},
    {ERR_SEEK_PART,
     QT_TRANSLATE_NOOP("JobMessages", "The partition cannot be read or written at the place needed."),
     QT_TRANSLATE_NOOP("JobMessages", "The disk may be failing: check it, then try again.")},
    {ERR_PART_INFO, QT_TRANSLATE_NOOP("JobMessages", "The partition's file system cannot be read."),
     QT_TRANSLATE_NOOP("JobMessages",
                       "Check the partition with its file system's own checking tool, then try again.")},
    {ERR_PART_TOO_SMALL, QT_TRANSLATE_NOOP("JobMessages", "The target partition is too small for the image."),
     QT_TRANSLATE_NOOP("JobMessages", "Choose a larger partition.")},
    {ERR_NO_MEMORY, QT_TRANSLATE_NOOP("JobMessages", "The computer ran out of memory."),
     QT_TRANSLATE_NOOP("JobMessages", "Close other programs, then try again.")},
    {ERR_OPEN_DISK, QT_TRANSLATE_NOOP("JobMessages", "The disk cannot be opened."),
     QT_TRANSLATE_NOOP("JobMessages", "Check that the disk is still connected, then try again.")},
    {ERR_READ_MBR, QT_TRANSLATE_NOOP("JobMessages", "The disk's MBR cannot be read."),
     QT_TRANSLATE_NOOP("JobMessages", "Check that the disk is still connected, then try again.")},
    {ERR_WRITE_MBR, QT_TRANSLATE_NOOP("JobMessages", "The disk's MBR cannot be written."),
     QT_TRANSLATE_NOOP("JobMessages",
                       "The disk may be failing or write-protected: check it, then try again.")},
    {ERR_COMPRESS, QT_TRANSLATE_NOOP("JobMessages", "Compressing or uncompressing the data failed."),
     QT_TRANSLATE_NOOP("JobMessages",
                       "The image may be damaged: choose another image, or make the backup again.")},
    {ERR_NOT_FIRST_VOLUME, QT_TRANSLATE_NOOP("JobMessages", "The file chosen is a later volume of an image."),
     QT_TRANSLATE_NOOP("JobMessages",
                       "Choose the image's first volume: its name ends in \"_0_<number>.bkp\".")},
    {ERR_VOLUME_ORDER, QT_TRANSLATE_NOOP("JobMessages", "A volume of the image came out of order."),
     QT_TRANSLATE_NOOP("JobMessages", "Give the volume the program asks for, then try again.")},
    {ERR_VOLUME_CHAIN, QT_TRANSLATE_NOOP("JobMessages", "The volumes of the image do not belong together."),
     QT_TRANSLATE_NOOP("JobMessages", "Put the image's own volumes in one folder, then try again.")},
    {ERR_DAMAGED_IMAGE,
     QT_TRANSLATE_NOOP("JobMessages",
                       "The image is damaged: its data differ from what it records of itself."),
     QT_TRANSLATE_NOOP("JobMessages", "Use another image of the partition, or make a new full backup.")},
    {ERR_CHAIN_FULL,
     QT_TRANSLATE_NOOP("JobMessages", "The chain already holds the most incremental images it can."),
     QT_TRANSLATE_NOOP("JobMessages", "Make a full backup to start a new chain.")},
    {ERR_TOO_MANY_VOLUMES,
     QT_TRANSLATE_NOOP("JobMessages", "The image would need more volumes than an image can have."),
     QT_TRANSLATE_NOOP("JobMessages", "Choose a larger volume size, then try again.")},
    {ERR_FIELD_TOO_LONG,
     QT_TRANSLATE_NOOP("JobMessages", "The description, a path or a name is too long for the image."),
     QT_TRANSLATE_NOOP("JobMessages", "Shorten the description or the image's path, then try again.")},
    {ERR_VOLUME_TRUNCATED, QT_TRANSLATE_NOOP("JobMessages", "A volume of the image is cut short."),
     QT_TRANSLATE_NOOP("JobMessages", "Copy the volume again from where it was made, or use another image.")},
    {ERR_SET_PAST_LAST_VOLUME,
     QT_TRANSLATE_NOOP("JobMessages", "The image's data go on past its last volume."),
     QT_TRANSLATE_NOOP("JobMessages", "The image is incomplete or damaged: use another image.")},
    {ERR_OTHER_IMAGE,
     QT_TRANSLATE_NOOP("JobMessages",
                       "A volume of another image stands where a volume of this image should be."),
     QT_TRANSLATE_NOOP("JobMessages", "Give this image's own volume of that name, then try again.")},
    {ERR_NOT_NEWEST_IMAGE,
     QT_TRANSLATE_NOOP("JobMessages", "The image chosen is not the newest of its chain."),
     QT_TRANSLATE_NOOP("JobMessages", "Choose the newest image of the chain for the incremental backup.")},
    {ERR_NO_DISK,
     QT_TRANSLATE_NOOP("JobMessages",
                       "No disk is known to hold the target partition, so no MBR can be written."),
     QT_TRANSLATE_NOOP("JobMessages", "Restore the partition without the MBR.")},
    {ERR_FS_CHECK, QT_TRANSLATE_NOOP("JobMessages", "The check of the restored file system found damage."),
     QT_TRANSLATE_NOOP("JobMessages", "Do not use the partition: restore it again from another image.")},
    {ERR_INTERNAL, QT_TRANSLATE_NOOP("JobMessages", "The job stopped on an unexpected fault of the program."),
     QT_TRANSLATE_NOOP("JobMessages",
                       "Try again; when it happens again, keep the job's log for the program's support.")},
    {ERR_SAME_PARTITION,
     QT_TRANSLATE_NOOP("JobMessages", "The destination partition is the source partition itself."),
     QT_TRANSLATE_NOOP("JobMessages", "Choose another partition as the destination.")},
    {ERR_PART_IN_USE,
     QT_TRANSLATE_NOOP("JobMessages", "The destination partition holds a mounted file system."),
     QT_TRANSLATE_NOOP("JobMessages", "Unmount it first, then try again.")},
    {ERR_UNFINISHED_RESTORE,
     QT_TRANSLATE_NOOP("JobMessages",
                       "The source partition holds an unfinished restore, not a file system: there is "
                       "nothing to copy."),
     QT_TRANSLATE_NOOP("JobMessages", "Restore that partition again before you copy it.")},
};

// Where a clone's words differ from an image job's for the same code.
const CodeWords kCloneWords[] = {
    {ERR_PART_TOO_SMALL,
     QT_TRANSLATE_NOOP("JobMessages", "The destination partition is too small for the source's data."),
     QT_TRANSLATE_NOOP("JobMessages", "Choose a larger destination partition.")},
};

QString title(const char* text)
{
    return t(text);
}

Box box(const char* boxTitle, const QString& what, const QString& todo)
{
    return Box{title(boxTitle), what, todo};
}

const char* const kError = QT_TRANSLATE_NOOP("JobMessages", "Error");
const char* const kPasswordError = QT_TRANSLATE_NOOP("JobMessages", "Password Error");
const char* const kWarning = QT_TRANSLATE_NOOP("JobMessages", "Warning");

QString shown(const PathText& shownPath, const QString& path)
{
    return shownPath ? shownPath(path) : path;
}

QString fileNameOf(const QString& path)
{
    const int slash = qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(slash + 1);
}

}  // namespace

QString Box::text() const
{
    if (todo.isEmpty())
        return what;
    return what + QLatin1Char('\n') + todo;
}

Box engineFailure(int resultCode, Job job)
{
    if (job == Job::Clone) {
        for (const CodeWords& words : kCloneWords) {
            if (words.code == resultCode)
                return box(QT_TRANSLATE_NOOP("JobMessages", "Failed"), t(words.what), t(words.todo));
        }
    }
    for (const CodeWords& words : kEngineWords) {
        if (words.code == resultCode)
            return box(QT_TRANSLATE_NOOP("JobMessages", "Failed"), t(words.what), t(words.todo));
    }
    const QString what =
        job == Job::Backup  ? t(QT_TRANSLATE_NOOP("JobMessages", "The backup stopped with error code %1."))
        : job == Job::Clone ? t(QT_TRANSLATE_NOOP("JobMessages", "The clone stopped with error code %1."))
                            : t(QT_TRANSLATE_NOOP("JobMessages", "The restore stopped with error code %1."));
    return box(QT_TRANSLATE_NOOP("JobMessages", "Failed"), what.arg(resultCode),
               t(QT_TRANSLATE_NOOP("JobMessages",
                                   "Try again; if it fails again, keep the program's log for the support.")));
}

QString failedText(const QString& headline, int resultCode, Job job)
{
    return headline + QLatin1Char('\n') + engineFailure(resultCode, job).text();
}

Box backupProblem(const BackupPlan::Result& result, const PathText& shownPath)
{
    using BackupPlan::Problem;
    switch (result.problem) {
    case Problem::None:
        break;
    case Problem::IncrementalNotNtfs:
        return box(kError,
                   t(QT_TRANSLATE_NOOP("JobMessages",
                                       "An incremental backup is possible for NTFS partitions only.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Choose a full backup for this partition.")));
    case Problem::PreviousImageNotFirstVolume:
        return box(kError,
                   t(QT_TRANSLATE_NOOP("JobMessages", "The file you chose is a later volume of its image.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Choose %1, the first volume of that image."))
                       .arg(fileNameOf(shown(shownPath, result.firstVolume))));
    case Problem::PreviousImageUnreadable:
        return box(
            kError,
            t(QT_TRANSLATE_NOOP("JobMessages",
                                "Getting information on the previous image you selected failed!")),
            t(QT_TRANSLATE_NOOP("JobMessages", "Choose the first volume of the newest image of the chain.")));
    case Problem::PreviousImageOtherPartition:
        return box(
            kError,
            t(QT_TRANSLATE_NOOP("JobMessages",
                                "The backup image you selected is not of the partition you selected!")),
            t(QT_TRANSLATE_NOOP("JobMessages", "Choose an image of this partition, or make a full backup.")));
    case Problem::PreviousImageNotNewest:
        return box(
            kError,
            t(QT_TRANSLATE_NOOP("JobMessages", "The image you selected is not the newest of its chain.")),
            t(QT_TRANSLATE_NOOP("JobMessages",
                                "Choose %1: an incremental backup builds on the newest image."))
                .arg(fileNameOf(shown(shownPath, result.newerImage))));
    case Problem::PreviousImagePasswordMissing:
        return box(kPasswordError,
                   t(QT_TRANSLATE_NOOP("JobMessages",
                                       "The image this backup builds on is protected by a password.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Type the password of that image.")));
    case Problem::PreviousImagePasswordWrong:
        return box(
            kPasswordError,
            t(QT_TRANSLATE_NOOP("JobMessages", "The password of the image this backup builds on is wrong.")),
            t(QT_TRANSLATE_NOOP("JobMessages", "Type the password that image was made with.")));
    case Problem::NotEnoughSpace:
        return box(kError,
                   t(QT_TRANSLATE_NOOP(
                         "JobMessages",
                         "The destination does not have enough free space for the backup image: it needs "
                         "%1 free and has %2."))
                       .arg(formatSize(qint64(result.neededFreeBytes)), formatSize(qint64(result.freeBytes))),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Choose another place, or free space on this one.")));
    case Problem::PasswordTooShort:
        return box(kPasswordError, t(QT_TRANSLATE_NOOP("JobMessages", "The password is too short.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Leave it empty or type at least 6 characters.")));
    case Problem::PasswordsDiffer:
        return box(kPasswordError,
                   t(QT_TRANSLATE_NOOP("JobMessages", "The two passwords you entered are different.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Type the same password in both fields.")));
    case Problem::DestinationFsUnknown:
        return box(
            kError,
            t(QT_TRANSLATE_NOOP("JobMessages",
                                "The file system of the destination is unknown, so no volume size fits it.")),
            t(QT_TRANSLATE_NOOP("JobMessages", "Choose a fixed volume size instead of \"Auto\".")));
    case Problem::OldImageNotRemovable:
        return box(kError,
                   t(QT_TRANSLATE_NOOP("JobMessages", "The old image file %1 cannot be removed."))
                       .arg(shown(shownPath, result.oldImageFile)),
                   t(QT_TRANSLATE_NOOP(
                       "JobMessages",
                       "Check that the file is not write-protected or in use, or choose another name.")));
    }
    return Box();
}

Box restoreProblem(const RestorePlan::Result& result)
{
    using RestorePlan::Problem;
    switch (result.problem) {
    case Problem::None:
        break;
    case Problem::NoImage:
        return box(kError, t(QT_TRANSLATE_NOOP("JobMessages", "No image file is chosen.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Choose the first volume of the image to restore.")));
    case Problem::ImageGone:
        return box(kError,
                   t(QT_TRANSLATE_NOOP("JobMessages",
                                       "The image %1 can no longer be read; its partition may have been "
                                       "unmounted."))
                       .arg(result.imagePath),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Choose the image again.")));
    case Problem::NoTarget:
        return box(kError, t(QT_TRANSLATE_NOOP("JobMessages", "No partition is chosen.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Choose the partition to restore the image to.")));
    case Problem::TargetIsSystem:
        return box(
            kError,
            t(QT_TRANSLATE_NOOP("JobMessages", "The partition is the running system's own partition.")),
            t(QT_TRANSLATE_NOOP("JobMessages", "Start the computer from the rescue disc to restore it.")));
    case Problem::TargetTooSmall:
        return box(
            kError,
            t(QT_TRANSLATE_NOOP("JobMessages",
                                "The partition is too small for the image: the image holds %1, the partition "
                                "has %2."))
                .arg(formatSize(qint64(result.imageBytes)), formatSize(qint64(result.targetBytes))),
            t(QT_TRANSLATE_NOOP("JobMessages", "Choose a larger partition.")));
    case Problem::WrongPassword:
        return box(kPasswordError, t(QT_TRANSLATE_NOOP("JobMessages", "The password you entered is wrong.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Type the password the image was made with.")));
    case Problem::NothingChosen:
        return box(kWarning, t(QT_TRANSLATE_NOOP("JobMessages", "Nothing is chosen to restore.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Tick the partition, the MBR or both.")));
    case Problem::TargetHoldsImage:
        return box(kError,
                   t(QT_TRANSLATE_NOOP("JobMessages",
                                       "The image is on this partition: restoring would overwrite it.")),
                   t(QT_TRANSLATE_NOOP("JobMessages",
                                       "Choose another partition, or copy the image elsewhere first.")));
    case Problem::NoMbrOnWholeDisk:
        return box(
            kError,
            t(QT_TRANSLATE_NOOP("JobMessages", "This partition fills its whole disk, which has no MBR.")),
            t(QT_TRANSLATE_NOOP("JobMessages", "Restore the partition alone.")));
    }
    return Box();
}

Box cloneProblem(const ClonePlan::Result& result)
{
    using ClonePlan::Reason;
    const ClonePlan::Verdict& verdict = result.verdict;
    switch (verdict.reason) {
    case Reason::None:
        break;
    case Reason::NoPartition:
        if (result.sourceRefused)
            return box(kError, t(QT_TRANSLATE_NOOP("JobMessages", "No source partition is chosen.")),
                       t(QT_TRANSLATE_NOOP("JobMessages", "Choose the NTFS or FAT32 partition to copy.")));
        return box(kError, t(QT_TRANSLATE_NOOP("JobMessages", "No destination partition is chosen.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Choose the partition the copy is written to.")));
    case Reason::NotCloneable:
        return box(kError,
                   t(QT_TRANSLATE_NOOP("JobMessages", "Only NTFS and FAT32 partitions can be cloned.")),
                   t(QT_TRANSLATE_NOOP("JobMessages", "Choose an NTFS or FAT32 partition as the source.")));
    case Reason::UnfinishedRestore:
        return box(
            kError,
            t(QT_TRANSLATE_NOOP("JobMessages",
                                "The partition holds an unfinished restore, not a file system: there is "
                                "nothing to copy.")),
            t(QT_TRANSLATE_NOOP("JobMessages", "Restore that partition again before you copy it.")));
    case Reason::SameAsSource:
        return box(
            kError,
            t(QT_TRANSLATE_NOOP("JobMessages", "The destination partition is the source partition itself.")),
            t(QT_TRANSLATE_NOOP("JobMessages", "Choose another partition as the destination.")));
    case Reason::TooSmall:
        return box(
            kError,
            t(QT_TRANSLATE_NOOP("JobMessages",
                                "The destination partition is too small: the source's data take %1, "
                                "the destination has %2."))
                .arg(formatSize(qint64(verdict.neededBytes)), formatSize(qint64(verdict.availableBytes))),
            t(QT_TRANSLATE_NOOP("JobMessages", "Choose a larger destination partition.")));
    }
    return Box();
}

QString cloneReason(const ClonePlan::Verdict& verdict)
{
    using ClonePlan::Reason;
    switch (verdict.reason) {
    case Reason::None:
    case Reason::NoPartition:
        break;
    case Reason::NotCloneable:
        return t(QT_TRANSLATE_NOOP("JobMessages", "not NTFS or FAT32"));
    case Reason::UnfinishedRestore:
        return t(QT_TRANSLATE_NOOP("JobMessages", "an unfinished restore, no file system"));
    case Reason::SameAsSource:
        return t(QT_TRANSLATE_NOOP("JobMessages", "the source itself"));
    case Reason::TooSmall:
        return t(QT_TRANSLATE_NOOP("JobMessages", "too small: the source's data take %1, it has %2"))
            .arg(formatSize(qint64(verdict.neededBytes)), formatSize(qint64(verdict.availableBytes)));
    }
    return QString();
}

Box cloneDestinationInUse(const QString& partition)
{
    return box(
        kError,
        t(QT_TRANSLATE_NOOP("JobMessages", "Partition %1 is mounted by another program.")).arg(partition),
        t(QT_TRANSLATE_NOOP("JobMessages", "Unmount it first, then try again.")));
}

QString durationText(qint64 seconds)
{
    const qint64 s = qMax<qint64>(0, seconds);
    const QString minutesSeconds = QStringLiteral("%1:%2")
                                       .arg((s / 60) % 60, s >= 3600 ? 2 : 1, 10, QLatin1Char('0'))
                                       .arg(s % 60, 2, 10, QLatin1Char('0'));
    return s >= 3600 ? QStringLiteral("%1:%2").arg(s / 3600).arg(minutesSeconds) : minutesSeconds;
}

int generationOfFile(const QString& fileName)
{
    static const QRegularExpression ending(QStringLiteral("_\\d+_(\\d+)\\.bkp$"));
    const QRegularExpressionMatch match = ending.match(fileName);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

BackupOutcome backupOutcome(const QString& imageBase, qint64 seconds)
{
    BackupOutcome outcome;
    outcome.folder = QFileInfo(imageBase).absolutePath();
    outcome.seconds = seconds;
    const QStringList files = BackupRules::imageSetFiles(imageBase);
    int newest = -1;
    for (const QString& file : files)
        newest = qMax(newest, generationOfFile(file));
    for (const QString& file : files) {
        if (generationOfFile(file) == newest) {
            ++outcome.volumes;
            outcome.bytes += QFileInfo(file).size();
        }
    }
    return outcome;
}

QString backupSucceeded(const BackupOutcome& outcome, const PathText& shownPath)
{
    return t(QT_TRANSLATE_NOOP("JobMessages", "Backup succeeded!")) + QLatin1Char('\n') +
           t(QT_TRANSLATE_NOOP("JobMessages", "The image is in %1: %2 volume(s), %3 in all."))
               .arg(shown(shownPath, outcome.folder))
               .arg(outcome.volumes)
               .arg(formatSize(outcome.bytes)) +
           QLatin1Char('\n') +
           t(QT_TRANSLATE_NOOP("JobMessages", "The backup took %1.")).arg(durationText(outcome.seconds));
}

QString restoreSucceeded(const QString& partition, qint64 seconds)
{
    return t(QT_TRANSLATE_NOOP("JobMessages", "Restore succeeded!")) + QLatin1Char('\n') +
           t(QT_TRANSLATE_NOOP("JobMessages", "Partition %1 was restored.")).arg(partition) +
           QLatin1Char('\n') +
           t(QT_TRANSLATE_NOOP("JobMessages", "The restore took %1.")).arg(durationText(seconds));
}

QString mbrRestoreSucceeded(const QString& disk, qint64 seconds)
{
    return t(QT_TRANSLATE_NOOP("JobMessages", "Restore succeeded!")) + QLatin1Char('\n') +
           t(QT_TRANSLATE_NOOP("JobMessages", "The MBR of disk %1 was restored.")).arg(disk) +
           QLatin1Char('\n') +
           t(QT_TRANSLATE_NOOP("JobMessages", "The restore took %1.")).arg(durationText(seconds));
}

QString partitionName(char letter, const QString& label, quint64 bytes, const QString& path)
{
    QStringList parts;
    QString first =
        letter != ' ' && letter != 0 ? QStringLiteral("%1:").arg(QChar::fromLatin1(letter).toUpper()) : path;
    if (!label.trimmed().isEmpty())
        first = first.isEmpty() ? label.trimmed() : first + QLatin1Char(' ') + label.trimmed();
    if (!first.isEmpty())
        parts << first;
    if (bytes > 0)
        parts << formatSize(qint64(bytes));
    return parts.join(QStringLiteral(", "));
}

QString diskName(const QString& model, quint64 bytes, const QString& path)
{
    QStringList parts;
    const QString name = model.trimmed().isEmpty() ? path : model.trimmed();
    if (!name.isEmpty())
        parts << name;
    if (bytes > 0)
        parts << formatSize(qint64(bytes));
    return parts.join(QStringLiteral(", "));
}

QString eraseQuestion(const QString& partition)
{
    return t(QT_TRANSLATE_NOOP("JobMessages",
                               "All data on partition %1 will be erased! Do you want to go on?"))
        .arg(partition);
}

QString cloneQuestion(const QString& destination, const QString& source)
{
    return t(QT_TRANSLATE_NOOP(
                 "JobMessages",
                 "All data on partition %1 will be erased and replaced by a copy of partition %2! "
                 "Do you want to go on?"))
        .arg(destination, source);
}

QString cloneSucceeded(const QString& source, const QString& destination, qint64 seconds)
{
    return t(QT_TRANSLATE_NOOP("JobMessages", "Clone succeeded!")) + QLatin1Char('\n') +
           t(QT_TRANSLATE_NOOP("JobMessages", "Partition %1 is now a copy of partition %2."))
               .arg(destination, source) +
           QLatin1Char('\n') +
           t(QT_TRANSLATE_NOOP("JobMessages", "The clone took %1.")).arg(durationText(seconds));
}

QString cloneCancelled(const QString& destination)
{
    return t(QT_TRANSLATE_NOOP("JobMessages",
                               "The clone was cancelled: partition %1 holds no file system now. Clone or "
                               "restore onto it again before you use it."))
        .arg(destination);
}

QString mbrQuestion(const QString& disk)
{
    return t(QT_TRANSLATE_NOOP("JobMessages",
                               "The MBR of disk %1 will be overwritten! Do you want to go on?"))
        .arg(disk);
}

QString imageCheckFailed(const QString& volume)
{
    const QString what =
        volume.isEmpty()
            ? t(QT_TRANSLATE_NOOP("JobMessages", "The image is damaged or incomplete."))
            : t(QT_TRANSLATE_NOOP("JobMessages", "The image is damaged or incomplete: the fault is in %1."))
                  .arg(volume);
    return what + QLatin1Char(' ') +
           t(QT_TRANSLATE_NOOP("JobMessages",
                               "Nothing was written to the partition. Restore from another copy "
                               "of the image, or put its missing volume back."));
}

QString imageCheckCancelled()
{
    return t(QT_TRANSLATE_NOOP("JobMessages",
                               "The image check was cancelled: nothing was written to the partition."));
}

QString imageSummary(const ImageFacts& facts)
{
    QStringList lines;
    if (!facts.date.isEmpty())
        lines << t(QT_TRANSLATE_NOOP("JobMessages", "Made: %1")).arg(facts.date);
    if (facts.generation > 0)
        lines << t(QT_TRANSLATE_NOOP("JobMessages", "Incremental image %1, built on %2"))
                     .arg(facts.generation)
                     .arg(facts.base);
    else
        lines << t(QT_TRANSLATE_NOOP("JobMessages", "Full image"));
    lines << t(QT_TRANSLATE_NOOP("JobMessages", "Size: %1")).arg(formatSize(qint64(facts.bytes)));
    lines << (facts.hasPassword ? t(QT_TRANSLATE_NOOP("JobMessages", "Password: yes"))
                                : t(QT_TRANSLATE_NOOP("JobMessages", "Password: none")));
    lines << t(QT_TRANSLATE_NOOP("JobMessages", "Description: %1"))
                 .arg(facts.description.isEmpty() ? t(QT_TRANSLATE_NOOP("JobMessages", "none"))
                                                  : facts.description);
    return lines.join(QLatin1Char('\n'));
}

ImageFacts imageFacts(const QString& localImage, const ImageTrailer& trailer)
{
    ImageFacts facts;
    const QFileInfo file(localImage);
    if (file.exists())
        facts.date = file.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm"));
    facts.description = trailer.description;
    facts.generation = qMax(0, generationOfFile(file.fileName()));
    static const QRegularExpression ending(QStringLiteral("_\\d+_\\d+\\.bkp$"));
    if (facts.generation > 0)
        facts.base = file.fileName().left(file.fileName().indexOf(ending)) + QStringLiteral("_0_0.bkp");
    facts.bytes = trailer.usedBytes;
    facts.hasPassword = !trailer.passwordDigest.isEmpty();
    return facts;
}

}  // namespace JobMessages
