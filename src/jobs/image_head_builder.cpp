#include "jobs/image_head_builder.h"

#include "quarn/api/image_format.h"

#include <QtEndian>

#include <cstring>

namespace ImageHead {

int fsCodeOfName(const QString& fsName)
{
    return ImageFormat::FileSystemCodeOfName(fsName.toStdString());
}

}  // namespace ImageHead

namespace {

uint8_t oneByte(int value)
{
    return static_cast<uint8_t>(qBound(0, value, 255));
}

}  // namespace

ImageHeadBlock buildImageHeadBlock(const HeadSource& source)
{
    const int partitionCount = qMin(source.entries.size(), 255);
    const QByteArray diskName = source.diskName.left(ImageHead::kMaxDiskNameBytes);
    const QByteArray partName = source.label.left(ImageHead::kMaxPartNameBytes);
    const int size =
        ImageHead::kFixedSize + ImageHead::kEntrySize * partitionCount + diskName.size() + partName.size();

    tagBackupImageHeadInfo head;
    std::memset(&head, 0, sizeof head);
    head.blockSize = qToLittleEndian<quint32>(static_cast<quint32>(size));
    std::memcpy(head.signature, ImageHead::kSignature, sizeof head.signature);
    std::memcpy(head.contact, ImageHead::kContact, sizeof head.contact);
    head.diskNameLength = static_cast<uint8_t>(diskName.size());
    head.diskNumber = static_cast<uint8_t>(source.diskNumber);
    head.diskBytes = qToLittleEndian<quint64>(source.diskBytes);
    head.partitionCount = static_cast<uint8_t>(partitionCount);
    head.driveLetter = static_cast<uint8_t>(source.letter);
    head.partNameLength = qToLittleEndian<quint32>(static_cast<quint32>(partName.size()));
    head.partitionNumber = oneByte(source.partitionNumber);
    head.fsCode = static_cast<uint8_t>(source.fsCode);
    head.active = source.active ? 1 : 0;
    head.partStartSector = qToLittleEndian<quint64>(source.startSector);
    head.partSectorCount = qToLittleEndian<quint64>(source.sectorCount);
    head.partitionUsedBytes = qToLittleEndian<quint64>(source.usedBytes);
    if (source.volumeSerial != 0)
        qToLittleEndian<quint64>(source.volumeSerial, head.volumeSerial);

    QByteArray entries;
    int primary = 0;
    for (int i = 0; i < partitionCount; ++i) {
        const HeadSourceEntry& from = source.entries.at(i);
        primary += from.primary ? 1 : 0;
        tagImagePartEntry entry;
        std::memset(&entry, 0, sizeof entry);
        entry.number = oneByte(from.number);
        entry.startSector = qToLittleEndian<quint64>(from.startSector);
        entry.sectorCount = qToLittleEndian<quint64>(from.sectorCount);
        entry.moreFollows = i + 1 < partitionCount ? 1 : 0;
        entries.append(reinterpret_cast<const char*>(&entry), static_cast<int>(sizeof entry));
    }
    head.primaryCount = static_cast<uint8_t>(primary);
    head.logicalCount = static_cast<uint8_t>(partitionCount - primary);

    QByteArray bytes(reinterpret_cast<const char*>(&head), static_cast<int>(sizeof head));
    bytes += entries + diskName + partName;
    Q_ASSERT(bytes.size() == size);

    ImageHeadBlock block;
    block.bytes = bytes;
    block.fsCode = source.fsCode;
    block.usedBytes = static_cast<qint64>(source.usedBytes);
    block.partBytes = source.partBytes;
    block.active = source.active;
    block.letter = source.letter;
    return block;
}
