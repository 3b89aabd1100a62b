// The words of both programs' boxes: what went wrong and what to do for
// every engine result code and every problem of the plans, what a finished
// job made, and the questions before a target is overwritten. The texts are
// translated in the "JobMessages" context, so that both programs say the
// same in both languages.
#ifndef JOBS_JOB_MESSAGES_H
#define JOBS_JOB_MESSAGES_H

#include "jobs/backup_plan.h"
#include "jobs/clone_plan.h"
#include "jobs/image_trailer.h"
#include "jobs/restore_plan.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace JobMessages {

// A box: its title and its text (what went wrong, then what to do).
struct Box {
    QString title;
    QString what;
    QString todo;

    QString text() const;
};

// The kind of job a result code ended.
enum class Job { Backup, Restore, RestoreMbr, Clone };

// The box of a failed job: `headline` ("Backup failed!") over what the
// engine's result code means and what to do about it. Every code of the
// engine has its own words; an unknown one is named by its number.
Box engineFailure(int resultCode, Job job);
QString failedText(const QString& headline, int resultCode, Job job);

// How a program shows a file path to its user (the desktop: with
// backslashes).
using PathText = std::function<QString(const QString&)>;

// The box of a backup plan's problem (an empty title for None).
Box backupProblem(const BackupPlan::Result& result, const PathText& shownPath);
// The box of a restore plan's problem (an empty title for None).
Box restoreProblem(const RestorePlan::Result& result);
// The box of a clone plan's problem (an empty title for None).
Box cloneProblem(const ClonePlan::Result& result);
// Why the clone wizard's list does not offer a partition, in a few words
// ("the source itself", "too small: ..."); empty for a selectable one.
QString cloneReason(const ClonePlan::Verdict& verdict);
// The destination holds a file system mounted by another program.
Box cloneDestinationInUse(const QString& partition);

// "1:02:03" or "2:05" for a job's length in seconds.
QString durationText(qint64 seconds);

// What a finished backup made: the folder of its volumes, their count and
// the bytes they take.
struct BackupOutcome {
    QString folder;
    int volumes = 0;
    qint64 bytes = 0;
    qint64 seconds = 0;
};
// The volumes of the newest image named after `imageBase`, and the bytes
// they take (local paths).
BackupOutcome backupOutcome(const QString& imageBase, qint64 seconds);
QString backupSucceeded(const BackupOutcome& outcome, const PathText& shownPath);
// `partition` names the restored partition as the program lists it.
QString restoreSucceeded(const QString& partition, qint64 seconds);
QString mbrRestoreSucceeded(const QString& disk, qint64 seconds);

// A partition as the questions name it: its letter (' ' none), label and
// size ("D: DATA, 2.00 GB", "/dev/sdb1, 2.00 GB").
QString partitionName(char letter, const QString& label, quint64 bytes, const QString& path = QString());
// A disk as the questions name it: its model and size.
QString diskName(const QString& model, quint64 bytes, const QString& path = QString());
QString eraseQuestion(const QString& partition);
// Before a clone: `destination` is erased and becomes a copy of `source`.
QString cloneQuestion(const QString& destination, const QString& source);
QString cloneSucceeded(const QString& source, const QString& destination, qint64 seconds);
// A cancelled clone left the destination without a file system.
QString cloneCancelled(const QString& destination);
QString mbrQuestion(const QString& disk);
// The end of a restore whose image check refused the image (the volume at
// fault, when known) or was cancelled: nothing was written.
QString imageCheckFailed(const QString& volume);
QString imageCheckCancelled();

// What the restore's first step shows of a chosen image.
struct ImageFacts {
    QString date;         // as the program writes dates; empty when unknown
    QString description;  // empty: none
    int generation = 0;   // 0: a full image
    QString base;         // the full image of the chain (incremental only)
    quint64 bytes = 0;    // the source's bytes the image holds
    bool hasPassword = false;
};
// The generation of a volume name ("big_0_2.bkp" gives 2; -1 without one).
int generationOfFile(const QString& fileName);
QString imageSummary(const ImageFacts& facts);
// The facts of a first volume read on this machine: its trailer's, and its
// file's date (the image stores none of its own).
ImageFacts imageFacts(const QString& localImage, const ImageTrailer& trailer);

}  // namespace JobMessages

#endif
