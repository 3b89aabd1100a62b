// The restore plan: the user's choices of a restore wizard go in, and one
// function gives either the problem the wizard shows or the engine's
// request with the question the wizard asks before it starts. Both
// programs' restore wizards take their rules from here; what only the
// machine knows (whether the target holds the image, is the running
// system, fills its whole disk) the wizard finds out and passes in.
#ifndef JOBS_RESTORE_PLAN_H
#define JOBS_RESTORE_PLAN_H

#include "quarn/api/quarn.h"

#include <QByteArray>
#include <QString>

namespace RestorePlan {

// What the wizard shows instead of starting (JobMessages words it).
enum class Problem {
    None,
    NoImage,           // no image chosen
    ImageGone,         // the chosen image can no longer be read (its place went away)
    NoTarget,          // no target partition chosen
    TargetIsSystem,    // the running system's partition
    TargetTooSmall,    // the image holds more than the target can (imageBytes, targetBytes)
    WrongPassword,     // the typed password is not the image's
    NothingChosen,     // neither the partition nor the MBR
    TargetHoldsImage,  // a partition restore would overwrite the image it reads
    NoMbrOnWholeDisk,  // the MBR alone onto a volume that fills its disk
};

// The question the wizard asks before the job starts.
enum class Question {
    None,
    EraseTarget,  // the partition's data will be erased
    RestoreMbr,   // the disk's MBR will be overwritten
};

struct Choices {
    // The image's first volume and the target, as the engine opens them.
    QString imagePath;
    QString targetPath;
    int fsCode = 0;
    bool restorePartition = true;
    bool restoreMbr = false;
    // The image's stored password digest (empty: none) and the password
    // the user typed (empty: none); they must agree.
    QByteArray storedDigest;
    QString typedPassword;
    // The bytes the image holds and the target's size; 0 when not known
    // (the size rule then passes).
    quint64 imageBytes = 0;
    quint64 targetBytes = 0;
    // Found out by the wizard on its machine, when it starts the job: a
    // place unmounted since the image was chosen takes the image with it.
    bool imageReadable = true;
    bool targetHoldsImage = false;
    bool targetIsSystem = false;
    bool targetFillsWholeDisk = false;
};

struct Result {
    Problem problem = Problem::None;
    Question question = Question::None;
    tagRestoreArgument request;
    // True: the partition (with the MBR when hasMbr); false: the MBR alone.
    bool partitionJob = true;
    // The figures of TargetTooSmall.
    quint64 imageBytes = 0;
    quint64 targetBytes = 0;
    // The image that can no longer be read (ImageGone).
    QString imagePath;

    bool refused() const { return problem != Problem::None; }
};

// Applies every rule in the order the wizards show them.
Result plan(const Choices& choices);

// The rules of the image and the target alone (steps 1 and 2): no
// password, no question.
Result checkTarget(const Choices& choices);

// Whether the image file at `imagePath` (a path of the machine the wizard
// runs on) can be read now, for Choices::imageReadable: true for no path,
// which plan() refuses on its own.
bool imageReadable(const QString& imagePath);

// Whether a target of `targetBytes` is too small for an image holding
// `imageBytes` (the engine's own limit; unknown sizes pass).
bool targetTooSmall(quint64 imageBytes, quint64 targetBytes);

}  // namespace RestorePlan

#endif
