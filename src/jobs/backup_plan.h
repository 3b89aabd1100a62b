// The backup plan: the user's choices of a backup wizard go in, and one
// function gives either the problem the wizard shows, a question it must
// ask first, or the engine's request with the head block. Both programs'
// wizards (the console's, the desktop's and its one-drive backup) take
// their rules from here.
#ifndef JOBS_BACKUP_PLAN_H
#define JOBS_BACKUP_PLAN_H

#include "quarn/api/quarn.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace BackupPlan {

// File-system codes of the head block and the engine request.
const int kFat32Code = 3;
const int kNtfsCode = 4;
// Incremental images exist for this file system only.
const int kIncrementalFsCode = kNtfsCode;
// The source's used bytes may take at most this share of the destination's
// free bytes (equality passes).
const double kMaxShareOfFreeBytes = 0.8;
// A password is empty or at least this long.
const int kMinPasswordLength = 6;

// What the wizard shows instead of starting (JobMessages words it).
enum class Problem {
    None,
    IncrementalNotNtfs,           // an incremental backup of a file system other than NTFS
    PreviousImageNotFirstVolume,  // a later volume chosen as the previous image (firstVolume names the first)
    PreviousImageUnreadable,      // the previous image's head cannot be read
    PreviousImageOtherPartition,  // the previous image is of another partition
    PreviousImageNotNewest,       // a newer image of its chain exists (newerImage names it)
    PreviousImagePasswordMissing,  // the image built on is protected and its password was not typed
    PreviousImagePasswordWrong,    // the password typed is not that image's
    NotEnoughSpace,    // used bytes above 0.8 of the destination's free bytes (neededFreeBytes, freeBytes)
    PasswordTooShort,  // 1 to 5 characters in either field
    PasswordsDiffer,   // the two fields differ
    DestinationFsUnknown,  // "Auto" volume size on an unknown file system
    OldImageNotRemovable,  // a file of the replaced set stays (oldImageFile names it)
};

// A question the wizard asks before the plan gives the request.
enum class Question {
    None,
    // A full backup over an existing image set (filesToReplace): the old
    // set stays until the new image is whole, and what is left of it goes
    // after the job succeeded.
    ReplaceImageSet,
    // The same, where the destination cannot hold the old set and the new
    // image together (the figures in usedBytes, freeBytes, oldSetBytes):
    // agreed, the old set goes before the job starts.
    DeleteOldImageFirst,
};

struct Choices {
    // The source partition as the engine opens it, and the whole disk
    // whose start is stored (empty: none).
    QString sourcePartition;
    QString mbrSource;
    int fsCode = 0;
    bool active = false;
    // The source's used bytes, measured when the job starts; 0 or less
    // when they could not be measured (the space check then passes).
    qint64 usedBytes = -1;
    // The head block the wizard built for the source; its used-bytes field
    // takes usedBytes when they are known.
    QByteArray headBlock;

    bool incremental = false;
    // The image base path and, for an incremental backup, the first volume
    // of the image it builds on, as the engine opens them ...
    QString imagePath;
    QString previousImage;
    // ... and as this program reads those files (the same paths unless the
    // program sees the machine through another name space).
    QString localImagePath;
    QString localPreviousImage;
    // Compare the previous image's head with the source's head block
    // (partition number, file system, boot flag, start and length).
    bool checkPreviousPartition = true;

    quint64 destFreeBytes = 0;
    QString destFsName;

    QString password;
    QString confirmPassword;
    // For an incremental backup on a protected image: that image's
    // password as the user typed it.
    QString previousImagePassword;
    int compressIndex = 1;    // 0 fast, 1 normal, 2 high
    int volumeSizeIndex = 0;  // BackupRules::VolumeSizeChoice
    QString description;

    // The user agreed to the question about the existing image set.
    bool replaceConfirmed = false;
    // Only the rules of the source and the place (steps 1 and 2).
    bool placeOnly = false;
};

struct Result {
    Problem problem = Problem::None;
    Question question = Question::None;
    // The first volume of the newest image of the chain (PreviousImageNotNewest).
    QString newerImage;
    // The first volume of the image whose later volume was chosen
    // (PreviousImageNotFirstVolume).
    QString firstVolume;
    // The files of the image set a full backup replaces (local paths):
    // what the new image leaves of them is removed after its success.
    QStringList filesToReplace;
    // The figures of the space rule: the source's used bytes, the
    // destination's free bytes and the bytes the old set takes there.
    qint64 usedBytes = 0;
    quint64 freeBytes = 0;
    quint64 oldSetBytes = 0;
    // The free bytes the new image asks for (its used bytes are at most
    // kMaxShareOfFreeBytes of them); 0 when the used bytes are not known.
    quint64 neededFreeBytes = 0;
    // The old set was removed before the job (DeleteOldImageFirst agreed):
    // a failed job leaves no image.
    bool oldSetDeletedFirst = false;
    // Size and time of each file of filesToReplace when the plan was made,
    // to tell after a failed job whether the old set is as it was.
    QStringList oldSetStamps;
    // How the destination compares file names.
    Qt::CaseSensitivity nameCase = Qt::CaseSensitive;
    QString oldImageFile;
    tagBackupArgument request;
    QByteArray headBlock;

    bool ready() const { return problem == Problem::None && question == Question::None; }
};

// Applies every rule in the order the wizards show them.
Result plan(const Choices& choices);

// The rules the pages can break, before Start: no volume size rule and no
// question.
Result check(Choices choices);

// The rules of the source and the place alone (steps 1 and 2): the
// incremental's base and the free space, no option of step 3.
Result checkPlace(Choices choices);

// The free bytes a destination needs for `usedBytes` of source.
quint64 freeBytesNeeded(qint64 usedBytes);

// The first volume of the image a chosen volume belongs to
// ("big_1_0.bkp" gives "big_0_0.bkp"); empty when the file is a first
// volume or has no volume name.
QString firstVolumeOf(const QString& chosenImage);

// The plan at Start. On a question `agree` is asked (with the result that
// asks); when it agrees, the request is given (after the old set was
// removed, for DeleteOldImageFirst); when not, the result still asks and
// the wizard starts nothing.
Result planAtStart(const Choices& choices, const std::function<bool(const Result&)>& agree);

// The question about an existing image set of a full backup into
// `localImageBase` on a destination of `destFsName` with `freeBytes` free,
// for `usedBytes` of source (0 or less: not measured): None when there is
// no set, NotEnoughSpace when the image does not fit even without the old
// set. Both programs' wizards and the one-drive backup take it from here.
Result replacementOf(const QString& localImageBase, const QString& destFsName, qint64 usedBytes,
                     quint64 freeBytes);

// Removes the old set before the job; false (with oldImageFile set) when a
// file stays.
bool removeOldSet(Result* plan);

// After the planned job into `localImageBase`: on success what the new
// image left of the replaced set goes; on failure or cancel the old set
// stays as it was, and what the job began goes (its unfinished volumes, and
// any volume of the base that was not there before it). Gives the files
// that could not be removed.
QStringList cleanUpAfterJob(const Result& plan, const QString& localImageBase,
                            const QStringList& filesBeforeJob, bool succeeded);

// Whether every file of the replaced set is still there with the size and
// time it had when the plan was made.
bool oldSetUnchanged(const Result& plan);

// Whether the image an incremental backup builds on holds a password.
bool previousImageProtected(const QString& localPreviousImage);

// The head block with its used-bytes field set to usedBytes (unchanged
// when they are not known or the block is too short).
QByteArray withUsedBytes(const QByteArray& headBlock, qint64 usedBytes);

// The file-system name of a code (4 "NTFS", 3 "FAT32", 2 "FAT16", else "").
QString fsNameOfCode(int fsCode);

}  // namespace BackupPlan

#endif
