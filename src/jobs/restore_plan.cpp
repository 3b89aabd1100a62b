#include "jobs/restore_plan.h"

#include "jobs/backup_rules.h"
#include "quarn/api/image_format.h"

#include <QFileInfo>

namespace RestorePlan {

bool imageReadable(const QString& imagePath)
{
    return imagePath.isEmpty() || QFileInfo(imagePath).isReadable();
}

bool targetTooSmall(quint64 imageBytes, quint64 targetBytes)
{
    return imageBytes != 0 && targetBytes != 0 && imageBytes >= targetBytes + ImageFormat::kTargetSizeSlack;
}

Result checkTarget(const Choices& choices)
{
    Result result;
    const auto refuse = [&result](Problem problem) {
        result.problem = problem;
        return result;
    };
    if (choices.imagePath.isEmpty())
        return refuse(Problem::NoImage);
    if (!choices.imageReadable) {
        result.imagePath = choices.imagePath;
        return refuse(Problem::ImageGone);
    }
    if (choices.targetPath.isEmpty())
        return refuse(Problem::NoTarget);
    if (choices.targetIsSystem)
        return refuse(Problem::TargetIsSystem);
    // Refused before the erase question: the engine would stop only once
    // the user agreed.
    if (choices.restorePartition && targetTooSmall(choices.imageBytes, choices.targetBytes)) {
        result.imageBytes = choices.imageBytes;
        result.targetBytes = choices.targetBytes;
        return refuse(Problem::TargetTooSmall);
    }
    return result;
}

Result plan(const Choices& choices)
{
    Result result = checkTarget(choices);
    if (result.refused())
        return result;
    const auto refuse = [&result](Problem problem) {
        result.problem = problem;
        return result;
    };
    // All 16 bytes of the digest count (one may start with a zero byte); a
    // password typed for an image without one is wrong too.
    const QByteArray typed =
        choices.typedPassword.isEmpty() ? QByteArray() : BackupRules::passwordDigest(choices.typedPassword);
    if (typed != choices.storedDigest)
        return refuse(Problem::WrongPassword);
    if (!choices.restorePartition && !choices.restoreMbr)
        return refuse(Problem::NothingChosen);
    // The boot code alone leaves the partition, and the image on it, as it is.
    if (choices.restorePartition && choices.targetHoldsImage)
        return refuse(Problem::TargetHoldsImage);
    // A volume without a partition table starts at the disk's first sector:
    // boot code written "to its disk" would overwrite the volume itself.
    if (!choices.restorePartition && choices.targetFillsWholeDisk)
        return refuse(Problem::NoMbrOnWholeDisk);

    using BackupRules::engineText;
    result.request.imagePath = engineText(choices.imagePath).toStdString();
    result.request.targetPartition = engineText(choices.targetPath).toStdString();
    result.request.hasMbr = choices.restoreMbr && !choices.targetFillsWholeDisk ? 1 : 0;
    result.partitionJob = choices.restorePartition;
    result.question = choices.restorePartition ? Question::EraseTarget : Question::RestoreMbr;
    return result;
}

}  // namespace RestorePlan
