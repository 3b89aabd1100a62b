#include "programs/rescue/console/image_head_info.h"

#include "platform/linux/device_prober.h"
#include "platform/linux/device_records.h"
#include "platform/linux/system_probes.h"
#include "wizard/tree_item.h"

#include <QMutexLocker>

#include <cstdio>

namespace ImageHead {

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

// One partition of the disk as the block stores it: its number on the disk,
// primary in the four slots of an MBR.
HeadSourceEntry entryOf(const PartitionRecord& part)
{
    HeadSourceEntry entry;
    entry.number = ImageHead::partitionNumberOfPath(QString::fromLocal8Bit(part.path));
    entry.startSector = part.start;
    entry.sectorCount = part.length;
    entry.primary = !isLogicalPartitionNumber(entry.number);
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

    HeadSource source;
    source.diskName = QByteArray(disk->model ? disk->model : "");
    source.diskNumber = diskNumber;
    source.diskBytes = disk->length * disk->sectorSize;
    for (PartitionRecord* p = disk->partitions; p; p = p->next)
        source.entries.append(entryOf(*p));
    source.letter = part->letter;
    source.label = QByteArray(part->label ? part->label : "");
    source.partitionNumber = ImageHead::partitionNumberOfPath(QString::fromLocal8Bit(part->path));
    source.fsCode = ImageHead::fsCodeOfName(QString::fromLatin1(part->fsName ? part->fsName : ""));
    source.active = part->active != 0;
    source.startSector = part->start;
    source.sectorCount = part->length;
    // Used space is measured in 512-byte units whatever the disk's sector size.
    source.usedBytes = part->usedSectors * USED_SECTOR_SIZE;
    source.partBytes = static_cast<qint64>(part->length * disk->sectorSize);
    uint64_t serial = 0;
    if (readVolumeSerial(part->path, source.fsCode, &serial) == 0)
        source.volumeSerial = serial;
    *block = buildImageHeadBlock(source);
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
