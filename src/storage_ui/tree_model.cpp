#include "storage_ui/tree_model.h"

#include "platform/linux/device_prober.h"
#include "jobs/size_text.h"
#include "platform/linux/system_probes.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>

namespace {

QString utf8(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

int trailingNumber(const QString& path)
{
    static const QRegularExpression number(QStringLiteral("(\\d+)$"));
    const QRegularExpressionMatch match = number.match(path);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QString flagsText(const PartitionRecord& part)
{
    if (part.active) {
        if (part.kind == PartitionKindPrimary)
            return TreeModel::tr("Pri,Act");
        if (part.kind == PartitionKindLogical)
            return TreeModel::tr("Logic,Act");
        return TreeModel::tr("Act");
    }
    if (part.kind == PartitionKindPrimary)
        return TreeModel::tr("Pri");
    if (part.kind == PartitionKindLogical)
        return TreeModel::tr("Logic");
    return QString();
}

qint64 bytesOf(uint64_t sectors, uint64_t sectorSize)
{
    return static_cast<qint64>(sectors * sectorSize);
}

}  // namespace

TreeModel::TreeModel(QObject* parent) : TreeModel(DeviceProber::instance(), parent)
{}

TreeModel::TreeModel(DeviceProber* prober, QObject* parent) : TreeItemModel(parent), m_prober(prober)
{
    m_root = new TreeItem(
        {QStringLiteral(" "), tr("Partition"), tr("Flags"), tr("Capacity"), tr("Used space"), tr("Type")});
    connect(m_prober, &DeviceProber::probeFinished, this, &TreeModel::refresh);
}

TreeModel::~TreeModel() = default;

TreeItem* TreeModel::newDiskItem(const DiskRecord& disk, int number) const
{
    const QString model = utf8(disk.model);
    TreeItem* item = new TreeItem({tr("Disk %1").arg(number), model, QStringLiteral(" "),
                                   formatSize(bytesOf(disk.length, disk.sectorSize)), QStringLiteral(" "),
                                   QStringLiteral(" ")});
    item->type = disk.usb ? TreeItem::UsbDisk : TreeItem::Disk;
    item->path = utf8(disk.path);
    item->number = number;
    item->text = model;
    item->sectorCount = disk.length;
    item->partitionCount = countPartitions(disk.partitions);
    return item;
}

void TreeModel::setListsEveryPartition(bool every)
{
    m_listsEveryPartition = every;
    refresh();
}

bool TreeModel::isListed(const PartitionRecord& part) const
{
    if (m_listsEveryPartition)
        return true;
    // The volumes the wizards work on, and those a restore left unfinished,
    // which only a restore may take.
    return part.letter != 0 || part.unfinishedRestore != 0;
}

TreeItem* TreeModel::newPartitionItem(const PartitionRecord& part) const
{
    const DiskRecord* disk = part.disk;
    const uint64_t sectorSize = disk ? disk->sectorSize : 0;
    const QString label = utf8(part.label);
    const QString name = part.letter == 0 ? QFileInfo(utf8(part.path)).fileName()
                         : part.letter == ' '
                             ? label
                             : QStringLiteral("%1 (%2:)").arg(label, QChar::fromLatin1(part.letter));
    // A partition a restore left half-written says so where its file
    // system would stand.
    const QString type = part.unfinishedRestore ? tr("Unfinished restore") : utf8(part.fsName).toUpper();
    TreeItem* item = new TreeItem({QStringLiteral(" "), name, flagsText(part),
                                   formatSize(bytesOf(part.length, sectorSize)),
                                   formatSize(bytesOf(part.usedSectors, USED_SECTOR_SIZE)), type});
    item->type = disk && disk->usb ? TreeItem::UsbDiskPartition : TreeItem::DiskPartition;
    item->path = utf8(part.path);
    item->number = trailingNumber(item->path);
    item->letter = part.letter;
    item->text = label;
    item->startSector = part.start;
    item->sectorCount = part.length;
    item->usedBytes = part.usedSectors * USED_SECTOR_SIZE;
    item->unfinishedRestore = part.unfinishedRestore != 0;
    return item;
}

void TreeModel::rebuild()
{
    const DiskList disks = m_prober->snapshot();
    int number = 0;
    for (const DiskRecord* disk = disks.first(); disk; disk = disk->next) {
        if (disk->kind == DiskKindOptical)
            continue;
        TreeItem* diskItem = newDiskItem(*disk, number++);
        for (const PartitionRecord* part = disk->partitions; part; part = part->next) {
            if (!isListed(*part))
                continue;
            diskItem->appendChild(newPartitionItem(*part));
        }
        m_root->appendChild(diskItem);
    }
}

void TreeModel::refresh()
{
    beginResetModel();
    m_root->deleteChildren();
    rebuild();
    endResetModel();
    emit rowCountChanged();
}

void TreeModel::addDisk(dev_t device)
{
    const DiskList disks = m_prober->snapshot();
    int number = 0;
    const DiskRecord* disk = disks.first();
    for (; disk; disk = disk->next) {
        if (disk->kind == DiskKindOptical)
            continue;
        if (disk->rdev == device)
            break;
        ++number;
    }
    if (!disk)
        return;
    TreeItem* diskItem = newDiskItem(*disk, number);
    const int diskRow = m_root->childCount();
    beginInsertRows(QModelIndex(), diskRow, diskRow);
    m_root->appendChild(diskItem);
    endInsertRows();
    const QModelIndex diskIndex = index(diskRow, 0);
    for (const PartitionRecord* part = disk->partitions; part; part = part->next) {
        if (!isListed(*part))
            continue;
        const int row = diskItem->childCount();
        beginInsertRows(diskIndex, row, row);
        diskItem->appendChild(newPartitionItem(*part));
        endInsertRows();
    }
    emit rowCountChanged();
}

void TreeModel::addPartition(dev_t device)
{
    const DiskList disks = m_prober->snapshot();
    const PartitionRecord* part = disks.partitionByDev(device);
    if (!part || !part->disk || part->disk->kind == DiskKindOptical || !isListed(*part))
        return;
    const QString diskPath = utf8(part->disk->path);
    const QString partPath = utf8(part->path);
    TreeItem* diskItem = nullptr;
    for (TreeItem* candidate : qAsConst(m_root->children)) {
        if (candidate->path == diskPath)
            diskItem = candidate;
    }
    if (!diskItem)
        return;
    for (const TreeItem* child : qAsConst(diskItem->children)) {
        if (child->path == partPath)
            return;
    }
    const int row = diskItem->childCount();
    beginInsertRows(index(diskItem->row(), 0), row, row);
    diskItem->appendChild(newPartitionItem(*part));
    endInsertRows();
    emit rowCountChanged();
}
