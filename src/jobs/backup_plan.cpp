#include "backup_plan.h"

#include "backup_rules.h"
#include "image_head_layout.h"
#include "image_head_reader.h"

#include <QFile>
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

}  // namespace

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
    }
    if (choices.usedBytes > 0 &&
        double(choices.usedBytes) > kMaxShareOfFreeBytes * double(choices.destFreeBytes)) {
        result.problem = Problem::NotEnoughSpace;
        result.bytesNeeded = freeBytesNeeded(choices.usedBytes);
        result.bytesFree = choices.destFreeBytes;
        return result;
    }
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
    // A full backup over an image of the same name would leave the old
    // image's later volumes and the incremental images built on it behind,
    // pointing at data that is gone.
    if (!choices.incremental) {
        result.filesToReplace = BackupRules::imageSetFiles(localImage);
        if (!result.filesToReplace.isEmpty() && !choices.replaceConfirmed) {
            result.question = Question::ReplaceImageSet;
            return result;
        }
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
    arg.password = engineText(choices.password).toStdString();
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
    return check(choices);
}

Result planAtStart(const Choices& choices, const std::function<bool(const Result&)>& agree)
{
    Result asking = plan(choices);
    if (asking.question != Question::ReplaceImageSet || !agree(asking))
        return asking;
    for (const QString& file : asking.filesToReplace) {
        if (!QFile::remove(file)) {
            Result refused;
            refused.problem = Problem::OldImageNotRemovable;
            refused.oldImageFile = file;
            return refused;
        }
    }
    Choices agreed = choices;
    agreed.replaceConfirmed = true;
    return plan(agreed);
}

}  // namespace BackupPlan
