#include "jobs/backup_plan.h"

#include "jobs/backup_rules.h"
#include "jobs/image_head_layout.h"
#include "jobs/image_head_reader.h"
#include "jobs/image_trailer.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtEndian>

#include <cstddef>

namespace BackupPlan {

namespace {

QString orEngine(const QString& local, const QString& engine)
{
    return local.isEmpty() ? engine : local;
}

bool passwordTooShort(const QString& text)
{
    return !text.isEmpty() && text.size() < kMinPasswordLength;
}

// The previous image's head describes the source partition of the head
// block: same number, file system, boot flag, start and length.
Problem comparePreviousHead(const QString& previousImage, const QByteArray& headBlock)
{
    QFile file(previousImage);
    ImageHeadView previous;
    ImageHeadView current;
    if (!file.open(QIODevice::ReadOnly) ||
        parseHeadFixedPart(file.read(ImageHead::kFixedSize), &previous) != HeadReadResult::Ok)
        return Problem::PreviousImageUnreadable;
    if (parseHeadFixedPart(headBlock.left(ImageHead::kFixedSize), &current) != HeadReadResult::Ok ||
        previous.partitionNumber != current.partitionNumber || previous.fsCode != current.fsCode ||
        previous.active != current.active || previous.partStartSector != current.partStartSector ||
        previous.partSectorCount != current.partSectorCount)
        return Problem::PreviousImageOtherPartition;
    return Problem::None;
}

QStringList stampsOf(const QStringList& files)
{
    QStringList stamps;
    for (const QString& file : files) {
        const QFileInfo info(file);
        stamps << (info.exists()
                       ? QStringLiteral("%1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch())
                       : QString());
    }
    return stamps;
}

bool fitsBeside(qint64 usedBytes, quint64 freeBytes)
{
    return usedBytes <= 0 || double(usedBytes) <= kMaxShareOfFreeBytes * double(freeBytes);
}

// The image built on must be readable for its password digest: a protected
// one is built on only with its password, so that no incremental opens a
// protected chain.
Problem checkPreviousPassword(const QString& previousImage, const QString& typed, bool* isProtected)
{
    const ImageTrailer trailer = readImageTrailerRecords(previousImage);
    if (trailer.status != ImageTrailer::Ok)
        return Problem::PreviousImageUnreadable;
    *isProtected = !trailer.passwordDigest.isEmpty();
    if (!*isProtected)
        return Problem::None;
    if (typed.isEmpty())
        return Problem::PreviousImagePasswordMissing;
    return BackupRules::passwordDigest(typed) == trailer.passwordDigest ? Problem::None
                                                                        : Problem::PreviousImagePasswordWrong;
}

}  // namespace

bool previousImageProtected(const QString& localPreviousImage)
{
    const ImageTrailer trailer = readImageTrailerRecords(localPreviousImage);
    return trailer.status == ImageTrailer::Ok && !trailer.passwordDigest.isEmpty();
}

Result replacementOf(const QString& localImageBase, const QString& destFsName, qint64 usedBytes,
                     quint64 freeBytes)
{
    Result result;
    result.usedBytes = usedBytes;
    result.freeBytes = freeBytes;
    result.neededFreeBytes = freeBytesNeeded(usedBytes);
    result.nameCase = BackupRules::nameCaseOf(destFsName);
    result.filesToReplace = BackupRules::imageSetFiles(localImageBase, result.nameCase);
    result.oldSetBytes = BackupRules::filesBytes(result.filesToReplace);
    result.oldSetStamps = stampsOf(result.filesToReplace);
    if (fitsBeside(usedBytes, freeBytes)) {
        if (!result.filesToReplace.isEmpty())
            result.question = Question::ReplaceImageSet;
    } else if (!result.filesToReplace.isEmpty() && fitsBeside(usedBytes, freeBytes + result.oldSetBytes)) {
        result.question = Question::DeleteOldImageFirst;
    } else {
        result.problem = Problem::NotEnoughSpace;
    }
    return result;
}

bool removeOldSet(Result* plan)
{
    for (const QString& file : plan->filesToReplace) {
        if (QFile::exists(file) && !QFile::remove(file)) {
            plan->problem = Problem::OldImageNotRemovable;
            plan->oldImageFile = file;
            return false;
        }
    }
    plan->oldSetDeletedFirst = true;
    return true;
}

bool oldSetUnchanged(const Result& plan)
{
    return !plan.oldSetDeletedFirst && stampsOf(plan.filesToReplace) == plan.oldSetStamps;
}

QStringList cleanUpAfterJob(const Result& plan, const QString& localImageBase,
                            const QStringList& filesBeforeJob, bool succeeded)
{
    QStringList going;
    if (succeeded) {
        going = BackupRules::replacedSetLeftovers(plan.filesToReplace, localImageBase, plan.nameCase);
    } else {
        going = BackupRules::unfinishedVolumes(localImageBase, plan.nameCase);
        for (const QString& file : BackupRules::imageSetFiles(localImageBase, plan.nameCase)) {
            if (!filesBeforeJob.contains(file, plan.nameCase))
                going << file;
        }
    }
    QStringList stayed;
    for (const QString& file : going) {
        if (QFile::exists(file) && !QFile::remove(file))
            stayed << file;
    }
    return stayed;
}

QString fsNameOfCode(int fsCode)
{
    switch (fsCode) {
    case kNtfsCode:
        return QStringLiteral("NTFS");
    case kFat32Code:
        return QStringLiteral("FAT32");
    case 2:
        return QStringLiteral("FAT16");
    default:
        return QString();
    }
}

QString firstVolumeOf(const QString& chosenImage)
{
    // On the whole path: the desktop's paths use backslashes.
    static const QRegularExpression ending(QStringLiteral("_(\\d+)_(\\d+)\\.bkp$"));
    const QRegularExpressionMatch match = ending.match(chosenImage);
    if (!match.hasMatch() || match.captured(1).toULongLong() == 0)
        return QString();
    return chosenImage.left(match.capturedStart()) + QStringLiteral("_0_") + match.captured(2) +
           QStringLiteral(".bkp");
}

quint64 freeBytesNeeded(qint64 usedBytes)
{
    if (usedBytes <= 0)
        return 0;
    // The smallest free count whose share holds the used bytes.
    quint64 needed = quint64(double(usedBytes) / kMaxShareOfFreeBytes);
    while (double(usedBytes) > kMaxShareOfFreeBytes * double(needed))
        ++needed;
    return needed;
}

QByteArray withUsedBytes(const QByteArray& headBlock, qint64 usedBytes)
{
    const size_t field = offsetof(tagBackupImageHeadInfo, partitionUsedBytes);
    if (usedBytes <= 0 || size_t(headBlock.size()) < field + sizeof(quint64))
        return headBlock;
    // Replaced as bytes: GCC 12 at -O3 takes a store through data() of the
    // copy for an overflow.
    const quint64 value = qToLittleEndian<quint64>(quint64(usedBytes));
    QByteArray block = headBlock;
    block.replace(int(field), int(sizeof value), reinterpret_cast<const char*>(&value), int(sizeof value));
    return block;
}

Result plan(const Choices& choices)
{
    Result result;
    bool previousProtected = false;
    const QString localImage = orEngine(choices.localImagePath, choices.imagePath);
    const QString localPrevious = orEngine(choices.localPreviousImage, choices.previousImage);
    if (choices.incremental) {
        if (choices.fsCode != kIncrementalFsCode) {
            result.problem = Problem::IncrementalNotNtfs;
            return result;
        }
        // The engine reads the chain from an image's first volume; a later
        // volume has no head to compare.
        result.firstVolume = firstVolumeOf(choices.previousImage);
        if (!result.firstVolume.isEmpty()) {
            result.problem = Problem::PreviousImageNotFirstVolume;
            return result;
        }
        if (choices.checkPreviousPartition) {
            result.problem = comparePreviousHead(localPrevious, choices.headBlock);
            if (result.problem != Problem::None)
                return result;
        }
        // An incremental image built on an older one would replace the
        // newer images' files, and the chain would restore wrong data.
        result.newerImage = BackupRules::newerImageInChain(localPrevious);
        if (!result.newerImage.isEmpty()) {
            result.problem = Problem::PreviousImageNotNewest;
            return result;
        }
        // The base's password is typed at step 3: the place alone passes without it.
        if (!choices.placeOnly) {
            result.problem =
                checkPreviousPassword(localPrevious, choices.previousImagePassword, &previousProtected);
            if (result.problem != Problem::None)
                return result;
        }
    }
    // A full backup over an image of the same name replaces the whole old
    // set: its later volumes and the incremental images built on it would
    // point at data that is gone. The old set stays until the new image is
    // whole, so both must fit, or the old set must go first.
    Result replacement;
    if (choices.incremental) {
        replacement.usedBytes = choices.usedBytes;
        replacement.freeBytes = choices.destFreeBytes;
        if (!fitsBeside(choices.usedBytes, choices.destFreeBytes))
            replacement.problem = Problem::NotEnoughSpace;
    } else {
        replacement = replacementOf(localImage, choices.destFsName, choices.usedBytes, choices.destFreeBytes);
    }
    if (replacement.problem == Problem::NotEnoughSpace) {
        replacement.neededFreeBytes = freeBytesNeeded(choices.usedBytes);
        replacement.freeBytes = choices.destFreeBytes;
    }
    if (replacement.problem != Problem::None)
        return replacement;
    result.filesToReplace = replacement.filesToReplace;
    result.usedBytes = replacement.usedBytes;
    result.freeBytes = replacement.freeBytes;
    result.oldSetBytes = replacement.oldSetBytes;
    result.neededFreeBytes = replacement.neededFreeBytes;
    result.oldSetStamps = replacement.oldSetStamps;
    result.nameCase = BackupRules::nameCaseOf(choices.destFsName);
    if (passwordTooShort(choices.password) || passwordTooShort(choices.confirmPassword)) {
        result.problem = Problem::PasswordTooShort;
        return result;
    }
    if (choices.password != choices.confirmPassword) {
        result.problem = Problem::PasswordsDiffer;
        return result;
    }
    uint64_t volumeSize = 0;
    if (!BackupRules::splitSize(choices.volumeSizeIndex, choices.destFsName, &volumeSize)) {
        result.problem = Problem::DestinationFsUnknown;
        return result;
    }
    if (replacement.question != Question::None && !choices.replaceConfirmed) {
        result.question = replacement.question;
        return result;
    }

    using BackupRules::engineText;
    tagBackupArgument& arg = result.request;
    arg.incremental = choices.incremental;
    arg.srcPartition = engineText(choices.sourcePartition).toStdString();
    arg.imagePath = engineText(choices.imagePath).toStdString();
    arg.mbrSource = engineText(choices.mbrSource).toStdString();
    arg.prevImage = choices.incremental ? engineText(choices.previousImage).toStdString() : std::string();
    arg.fsType = choices.fsCode;
    arg.reserved = 0;
    arg.compressType = choices.compressIndex + 1;
    arg.saveMbr = choices.active && !choices.mbrSource.isEmpty();
    arg.mbrSize = arg.saveMbr ? 512 : 0;
    // An incremental without a password of its own on a protected image
    // keeps that image's digest: the engine stores the digest of the
    // password it is given, and this one was checked against it.
    const QString& password =
        previousProtected && choices.password.isEmpty() ? choices.previousImagePassword : choices.password;
    arg.password = engineText(password).toStdString();
    arg.description = engineText(choices.description).toStdString();
    arg.volumeSize = volumeSize;
    arg.bytesToProcess = choices.usedBytes > 0 ? uint64_t(choices.usedBytes) : 0;
    result.headBlock = withUsedBytes(choices.headBlock, choices.usedBytes);
    return result;
}

Result check(Choices choices)
{
    choices.volumeSizeIndex = BackupRules::Size2GB;
    choices.replaceConfirmed = true;
    return plan(choices);
}

Result checkPlace(Choices choices)
{
    choices.password.clear();
    choices.confirmPassword.clear();
    choices.placeOnly = true;
    return check(choices);
}

Result planAtStart(const Choices& choices, const std::function<bool(const Result&)>& agree)
{
    Result asking = plan(choices);
    if (asking.question == Question::None || !agree(asking))
        return asking;
    Choices agreed = choices;
    agreed.replaceConfirmed = true;
    if (asking.question == Question::ReplaceImageSet)
        return plan(agreed);
    if (!removeOldSet(&asking))
        return asking;
    // The space the old set took is free now.
    agreed.destFreeBytes += asking.oldSetBytes;
    Result result = plan(agreed);
    result.oldSetDeletedFirst = true;
    return result;
}

}  // namespace BackupPlan
