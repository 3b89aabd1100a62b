// The backup plan: the user's choices of a backup wizard go in, and one
// function gives either the problem the wizard shows, a question it must
// ask first, or the engine's request with the head block. Both programs'
// wizards (the console's, the desktop's and its one-drive backup) take
// their rules from here.
#ifndef JOBS_BACKUP_PLAN_H
#define JOBS_BACKUP_PLAN_H

#include "quarn.h"

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
    NotEnoughSpace,        // used bytes above 0.8 of the destination's free bytes (bytesNeeded, bytesFree)
    PasswordTooShort,      // 1 to 5 characters in either field
    PasswordsDiffer,       // the two fields differ
    DestinationFsUnknown,  // "Auto" volume size on an unknown file system
    OldImageNotRemovable,  // a file of the replaced set stays (oldImageFile names it)
};

// A question the wizard asks before the plan gives the request.
enum class Question {
    None,
    ReplaceImageSet,  // a full backup over an existing image set (filesToReplace)
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
    int compressIndex = 1;    // 0 fast, 1 normal, 2 high
    int volumeSizeIndex = 0;  // BackupRules::VolumeSizeChoice
    QString description;

    // The user agreed to replace the existing image set.
    bool replaceConfirmed = false;
};

struct Result {
    Problem problem = Problem::None;
    Question question = Question::None;
    // The first volume of the newest image of the chain (PreviousImageNotNewest).
    QString newerImage;
    // The first volume of the image whose later volume was chosen
    // (PreviousImageNotFirstVolume).
    QString firstVolume;
    // The free bytes the destination needs for the source's used bytes, and
    // those it has (NotEnoughSpace).
    quint64 bytesNeeded = 0;
    quint64 bytesFree = 0;
    // The files of the image set a full backup replaces (local paths); the
    // wizard removes them once the user agreed.
    QStringList filesToReplace;
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

// The plan at Start. On the question `agree` is asked (with the result that
// asks); when it agrees, the old set is removed and the request given;
// when not, the result still asks and the wizard starts nothing.
Result planAtStart(const Choices& choices, const std::function<bool(const Result&)>& agree);

// The head block with its used-bytes field set to usedBytes (unchanged
// when they are not known or the block is too short).
QByteArray withUsedBytes(const QByteArray& headBlock, qint64 usedBytes);

// The file-system name of a code (4 "NTFS", 3 "FAT32", 2 "FAT16", else "").
QString fsNameOfCode(int fsCode);

}  // namespace BackupPlan

#endif
