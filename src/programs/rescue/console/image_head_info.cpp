#include "image_head_info.h"

#include "device_prober.h"
#include "device_records.h"
#include "system_probes.h"
#include "tree_item.h"

#include <QMutexLocker>
#include <QtEndian>

#include <cstdio>
#include <cstring>

namespace ImageHead {

int fsCodeOfName(const QString& fsName)
{
    const QString name = fsName.toUpper();
    if (name == QLatin1String("NTFS"))
        return 4;
    if (name == QLatin1String("FAT32"))
        return 3;
    if (name == QLatin1String("FAT16"))
        return 2;
    if (name == QLatin1String("FAT12"))
        return 1;
    return 0;
}

int partitionNumberOfPath(const QString& path)
{
    // The storage layer knows where the disk's name ends (sda|12,
    // nvme0n1|p3, mmcblk0|p2); what follows is the partition's number.
    QString tail = path.mid(DeviceProber::stripPartitionNumber(path).size());
    if (tail.startsWith(QLatin1Char('p')))
        tail.remove(0, 1);
    bool ok = false;
    const int number = tail.toInt(&ok);
    if (!ok || number < 0)
        return 0;
    return number > 255 ? 255 : number;
}

}  // namespace ImageHead

namespace {

// One partition of the disk as the block stores it.
ImageHeadEntry entryOf(const PartitionRecord& part)
{
    ImageHeadEntry entry;
    entry.number = ImageHead::partitionNumberOfPath(QString::fromLocal8Bit(part.path));
    entry.startSector = part.start;
    entry.sectorCount = part.length;
    return entry;
}

const DiskRecord* findDiskByPath(const DiskRecord* head, const QByteArray& path)
{
    for (const DiskRecord* disk = head; disk; disk = disk->next) {
        if (disk->path && path == disk->path)
            return disk;
    }
    return nullptr;
}

QByteArray cut(const char* text, int maxBytes)
{
    QByteArray bytes(text ? text : "");
    return bytes.left(maxBytes);
}

}  // namespace

int buildHeadInfo(DeviceProber& prober, const QString& diskPath, int diskNumber, const QString& partitionPath,
                  ImageHeadBlock* block)
{
    const DiskList disks = prober.snapshot();
    const DiskRecord* disk = findDiskByPath(disks.first(), diskPath.toLocal8Bit());
    const PartitionRecord* part =
        disk ? findPartitionByPath(disk->partitions, partitionPath.toLocal8Bit().constData()) : nullptr;
    if (!part) {
        qWarning("get partition information failed!");
        return -1;
    }

    const int partitionCount = qMin(countPartitions(disk->partitions), 255);
    const QByteArray diskName = cut(disk->model, ImageHead::kMaxDiskNameBytes);
    const QByteArray partName = cut(part->label, ImageHead::kMaxPartNameBytes);
    const int size =
        ImageHead::kFixedSize + ImageHead::kEntrySize * partitionCount + diskName.size() + partName.size();

    QByteArray bytes(size, '\0');
    auto* head = reinterpret_cast<tagBackupImageHeadInfo*>(bytes.data());
    head->blockSize = qToLittleEndian<quint32>(size);
    memcpy(head->signature, ImageHead::kSignature, sizeof head->signature);
    memcpy(head->contact, ImageHead::kContact, sizeof head->contact);
    head->diskNameLength = static_cast<uint8_t>(diskName.size());
    head->diskNumber = static_cast<uint8_t>(diskNumber);
    head->diskBytes = qToLittleEndian<quint64>(disk->length * disk->sectorSize);
    head->partitionCount = static_cast<uint8_t>(partitionCount);
    head->driveLetter = static_cast<uint8_t>(part->letter);
    head->partNameLength = qToLittleEndian<quint32>(partName.size());
    head->partitionNumber =
        static_cast<uint8_t>(ImageHead::partitionNumberOfPath(QString::fromLocal8Bit(part->path)));
    const int fsCode = ImageHead::fsCodeOfName(QString::fromLatin1(part->fsName ? part->fsName : ""));
    head->fsCode = static_cast<uint8_t>(fsCode);
    head->active = part->active ? 1 : 0;
    head->partStartSector = qToLittleEndian<quint64>(part->start);
    head->partSectorCount = qToLittleEndian<quint64>(part->length);
    // Used space is measured in 512-byte units whatever the disk's sector size.
    const quint64 usedBytes = part->usedSectors * USED_SECTOR_SIZE;
    head->partitionUsedBytes = qToLittleEndian<quint64>(usedBytes);
    uint64_t serial = 0;
    if (readVolumeSerial(part->path, fsCode, &serial) == 0)
        qToLittleEndian<quint64>(serial, head->volumeSerial);

    auto* entries = reinterpret_cast<tagImagePartEntry*>(bytes.data() + ImageHead::kFixedSize);
    int primary = 0;
    int logical = 0;
    int index = 0;
    for (PartitionRecord* p = disk->partitions; p && index < partitionCount; p = p->next, ++index) {
        const ImageHeadEntry entry = entryOf(*p);
        (entry.number <= 4 ? primary : logical) += 1;
        entries[index].number = static_cast<uint8_t>(entry.number);
        entries[index].startSector = qToLittleEndian<quint64>(entry.startSector);
        entries[index].sectorCount = qToLittleEndian<quint64>(entry.sectorCount);
        entries[index].moreFollows = index + 1 < partitionCount ? 1 : 0;
    }
    head->primaryCount = static_cast<uint8_t>(primary);
    head->logicalCount = static_cast<uint8_t>(logical);

    char* texts = bytes.data() + ImageHead::kFixedSize + ImageHead::kEntrySize * partitionCount;
    memcpy(texts, diskName.constData(), diskName.size());
    memcpy(texts + diskName.size(), partName.constData(), partName.size());

    block->bytes = bytes;
    block->fsCode = fsCode;
    block->usedBytes = static_cast<qint64>(usedBytes);
    block->partBytes = static_cast<qint64>(part->length * disk->sectorSize);
    block->active = part->active != 0;
    block->letter = part->letter;
    return 0;
}

int buildHeadInfo(DeviceProber& prober, const TreeItem* partitionRow, ImageHeadBlock* block)
{
    if (!partitionRow || !partitionRow->parentItem) {
        qWarning("get partition information failed!");
        return -1;
    }
    const TreeItem* diskRow = partitionRow->parentItem;
    return buildHeadInfo(prober, diskRow->path, diskRow->number, partitionRow->path, block);
}
