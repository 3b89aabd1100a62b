#include "jobs/image_head_reader.h"

#include <QCoreApplication>
#include <QFile>
#include <QtEndian>

#include <cstring>

bool isLogicalPartitionNumber(int partitionNumber)
{
    return partitionNumber > 4;
}

QString headReadMessage(HeadReadResult result)
{
    switch (result) {
    case HeadReadResult::Ok:
        return QString();
    case HeadReadResult::CannotOpen:
        return QCoreApplication::translate("ImageHead", "The backup image file cannot be opened!");
    case HeadReadResult::NotAnImage:
        return QCoreApplication::translate("ImageHead", "The backup image file is invalid!");
    case HeadReadResult::TooShort:
    case HeadReadResult::Damaged:
        break;
    }
    return QCoreApplication::translate("ImageHead", "The head of the backup image file is damaged!");
}

HeadReadResult parseHeadFixedPart(const QByteArray& head, ImageHeadView* view)
{
    if (head.size() < ImageHead::kFixedSize)
        return HeadReadResult::TooShort;
    tagBackupImageHeadInfo fixed;
    memcpy(&fixed, head.constData(), sizeof fixed);
    if (!ImageHead::hasSignature(fixed.signature))
        return HeadReadResult::NotAnImage;
    const quint32 blockSize = qFromLittleEndian(fixed.blockSize);
    if (blockSize < static_cast<quint32>(ImageHead::kFixedSize) ||
        blockSize > static_cast<quint32>(ImageHead::kMaxBlockSize))
        return HeadReadResult::Damaged;

    ImageHeadView parsed;
    parsed.blockSize = blockSize;
    parsed.diskNumber = fixed.diskNumber;
    parsed.diskBytes = qFromLittleEndian(fixed.diskBytes);
    parsed.primaryCount = fixed.primaryCount;
    parsed.logicalCount = fixed.logicalCount;
    parsed.driveLetter = static_cast<char>(fixed.driveLetter);
    parsed.partitionNumber = fixed.partitionNumber;
    parsed.fsCode = fixed.fsCode;
    parsed.active = fixed.active != 0;
    parsed.partStartSector = qFromLittleEndian(fixed.partStartSector);
    parsed.partSectorCount = qFromLittleEndian(fixed.partSectorCount);
    parsed.partitionUsedBytes = qFromLittleEndian(fixed.partitionUsedBytes);
    parsed.volumeSerial = QByteArray(reinterpret_cast<const char*>(fixed.volumeSerial), 8);
    *view = parsed;
    return HeadReadResult::Ok;
}

HeadReadResult parseHeadBlock(const QByteArray& block, ImageHeadView* view)
{
    ImageHeadView parsed;
    const HeadReadResult fixedResult = parseHeadFixedPart(block, &parsed);
    if (fixedResult != HeadReadResult::Ok)
        return fixedResult;
    if (static_cast<quint64>(block.size()) < parsed.blockSize)
        return HeadReadResult::TooShort;

    tagBackupImageHeadInfo fixed;
    memcpy(&fixed, block.constData(), sizeof fixed);
    const quint64 partitionCount = fixed.partitionCount;
    const quint64 diskNameLength = fixed.diskNameLength;
    const quint64 partNameLength = qFromLittleEndian(fixed.partNameLength);
    // 64-bit sums: a 32-bit label length cannot wrap them.
    const quint64 needed =
        ImageHead::kFixedSize + ImageHead::kEntrySize * partitionCount + diskNameLength + partNameLength;
    if (needed > parsed.blockSize)
        return HeadReadResult::Damaged;

    const char* cursor = block.constData() + ImageHead::kFixedSize;
    for (quint64 i = 0; i < partitionCount; ++i, cursor += ImageHead::kEntrySize) {
        tagImagePartEntry raw;
        memcpy(&raw, cursor, sizeof raw);
        ImageHeadEntry entry;
        entry.number = raw.number;
        entry.startSector = qFromLittleEndian(raw.startSector);
        entry.sectorCount = qFromLittleEndian(raw.sectorCount);
        entry.moreFollows = raw.moreFollows != 0;
        parsed.entries.append(entry);
    }
    parsed.diskName = QByteArray(cursor, static_cast<int>(diskNameLength));
    cursor += diskNameLength;
    parsed.partName = QByteArray(cursor, static_cast<int>(partNameLength));
    *view = parsed;
    return HeadReadResult::Ok;
}

HeadReadResult readHeadBlock(const QString& imagePath, ImageHeadView* view)
{
    QFile file(imagePath);
    if (!file.open(QIODevice::ReadOnly))
        return HeadReadResult::CannotOpen;
    const QByteArray fixed = file.read(ImageHead::kFixedSize);
    ImageHeadView parsed;
    const HeadReadResult fixedResult = parseHeadFixedPart(fixed, &parsed);
    if (fixedResult != HeadReadResult::Ok)
        return fixedResult;
    // A block longer than the file is damaged; the size check before the
    // read keeps a bad length from driving the allocation.
    if (static_cast<quint64>(file.size()) < parsed.blockSize)
        return HeadReadResult::TooShort;
    if (!file.seek(0))
        return HeadReadResult::CannotOpen;
    const QByteArray block = file.read(parsed.blockSize);
    return parseHeadBlock(block, view);
}
