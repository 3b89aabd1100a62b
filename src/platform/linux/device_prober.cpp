#include "platform/linux/device_prober.h"

#include "platform/linux/device_events.h"
#include "platform/linux/parted_disks.h"
#include "platform/linux/process_instance.h"
#include "platform/linux/system_paths.h"
#include "platform/linux/system_probes.h"
#include "platform/linux/volume_rules.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace {

dev_t nodeNumber(const char* path)
{
    NodeInfo info;
    return lookupNode(path, &info) ? info.rdev : 0;
}

// Moves a malloc'ed text into a record field.
void adoptText(char** field, char* text)
{
    freeText(*field);
    *field = text;
}

}  // namespace

DeviceProber* DeviceProber::instance()
{
    return processInstance<DeviceProber>();
}

DeviceProber::DeviceProber()
{
    registerDevMetaType();
}

DeviceProber::~DeviceProber()
{
    quit();
    wait();
    std::lock_guard<std::mutex> lock(mutex);
    freeDiskList(disks);
    disks = nullptr;
}

void DeviceProber::setDiskScanner(std::function<QStringList()> scanner)
{
    diskScanner = std::move(scanner);
}

void DeviceProber::setDriveStatusReader(std::function<int(const QString&)> reader)
{
    driveStatusReader = std::move(reader);
}

void DeviceProber::startProbe()
{
    switch (state.load()) {
    case NotStarted:
        connect(this, &DeviceProber::prepared, this, &DeviceProber::startProbe, Qt::UniqueConnection);
        start(QThread::InheritPriority);
        break;
    case Idle:
        if (DeviceEventDispather* target = dispatcher.load())
            QCoreApplication::postEvent(target, new QEvent(static_cast<QEvent::Type>(ProbeAllEvent)));
        break;
    default:
        break;  // a probe is running; its probeFinished() will come
    }
}

void DeviceProber::startProbeDevice(dev_t device)
{
    if (state.load() != Idle)
        return;
    if (DeviceEventDispather* target = dispatcher.load())
        QCoreApplication::postEvent(target, new ProbeDeviceEvent(device));
}

void DeviceProber::run()
{
    auto events = std::make_unique<DeviceEventDispather>(this);
    dispatcher.store(events.get());
    state.store(Idle);
    emit prepared();
    exec();
    dispatcher.store(nullptr);
}

bool DeviceProber::isAcceptedDiskPath(const QString& path)
{
    const QString prefix = QString::fromStdString(systemPaths().dev) + QLatin1Char('/');
    if (!path.startsWith(prefix))
        return false;
    const QString name = path.mid(prefix.size());
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    // SCSI/SATA/USB, NVMe, virtio and MMC disks (not the MMC boot areas).
    static const QRegularExpression modernDisk(QStringLiteral("^(sd.*|nvme\\d+n\\d+|vd[a-z]+|mmcblk\\d+)$"));
    if (modernDisk.match(name).hasMatch())
        return true;
    if (name.startsWith(QLatin1String("fd")) || name.startsWith(QLatin1String("scd")) ||
        name.startsWith(QLatin1String("sr")))
        return false;
    const QString ideCache = QString::fromStdString(systemPaths().proc) + QStringLiteral("/ide/") + name +
                             QStringLiteral("/cache");
    return QFileInfo(ideCache).isReadable();
}

QString DeviceProber::stripPartitionNumber(const QString& path)
{
    // nvme0n1p1, mmcblk0p2, loop0p1: a 'p' parts the disk's own number from
    // the partition number.
    static const QRegularExpression numberedDisk(QStringLiteral("^(.*\\d)p\\d+$"));
    static const QRegularExpression wholeNumberedDisk(QStringLiteral("(^|/)(nvme\\d+n\\d+|mmcblk\\d+)$"));
    const QRegularExpressionMatch match = numberedDisk.match(path);
    if (match.hasMatch())
        return match.captured(1);
    if (wholeNumberedDisk.match(path).hasMatch())
        return path;
    int end = path.size();
    while (end > 0 && path.at(end - 1).isDigit() && path.at(end - 1).unicode() < 128)
        --end;
    return path.left(end);
}

DiskRecord* DeviceProber::newDiskRecord(const PartedDisk& parted, dev_t rdev)
{
    DiskRecord* disk = new DiskRecord;
    const QByteArray path = parted.path.toLocal8Bit();
    disk->path = duplicateText(path.constData());
    disk->model = duplicateText(parted.model.constData());
    disk->sectorSize = parted.sectorSize;
    disk->length = parted.length;
    disk->rdev = rdev;
    disk->usb = isUsbDevice(disk->path);
    disk->removable = isRemovableDevice(disk->path);
    disk->kind = DiskKindDisk;
    return disk;
}

PartitionRecord* DeviceProber::newPartitionRecord(DiskRecord* disk, const TablePartition& entry)
{
    PartitionRecord* part = new PartitionRecord;
    const QByteArray path = entry.path.toLocal8Bit();
    part->disk = disk;
    part->path = duplicateText(path.constData());
    part->rdev = nodeNumber(part->path);
    if (!entry.fsName.isEmpty())
        part->fsName = duplicateText(entry.fsName.constData());
    part->start = entry.start;
    part->end = entry.end;
    part->length = entry.length;
    part->kind = entry.kind;
    part->active = entry.active ? 1 : 0;
    char* uuid = nullptr;
    part->label = probeVolume(part->path, part->length * disk->sectorSize, nullptr, &uuid);
    part->uuid = uuid;
    part->unfinishedRestore = !part->fsName && holdsUnfinishedRestore(part->path) ? 1 : 0;

    if (!takesLetter(part->fsName))
        return part;
    part->letter = isHiddenSystemPartition(*part) ? ' ' : letters.take();
    part->usedSectors = partitionUsedSectors(part->path, part->fsName);
    return part;
}

bool DeviceProber::probeWholeDiskVolume(DiskRecord* disk, char keepLetter)
{
    char* type = nullptr;
    char* uuid = nullptr;
    char* label = probeVolume(disk->path, disk->sectorSize * disk->length, &type, &uuid);
    if (!type) {
        freeText(label);
        freeText(uuid);
        return false;
    }
    PartitionRecord* volume = new PartitionRecord;
    volume->disk = disk;
    volume->path = duplicateText(disk->path);
    volume->rdev = disk->rdev;
    volume->start = 0;
    volume->length = disk->length;
    volume->end = disk->length ? disk->length - 1 : 0;
    volume->fsName = type;
    volume->label = label;
    volume->uuid = uuid;
    volume->kind = PartitionKindPrimary;
    volume->wholeDisk = 1;
    if (takesLetter(type)) {
        volume->letter = keepLetter ? keepLetter : letters.take();
        volume->usedSectors = partitionUsedSectors(volume->path, volume->fsName);
    } else {
        letters.release(keepLetter);
    }
    freePartitionList(disk->partitions);
    disk->partitions = volume;
    return true;
}

DiskRecord* DeviceProber::newOpticalDriveRecord(const QString& path, char letter)
{
    const QByteArray nativePath = path.toLocal8Bit();
    DiskRecord* drive = new DiskRecord;
    drive->path = duplicateText(nativePath.constData());
    drive->kind = DiskKindOptical;
    drive->rdev = nodeNumber(drive->path);
    drive->usb = isUsbDevice(drive->path);
    drive->removable = isRemovableDevice(drive->path);
    drive->driveStatus = readDriveStatus(drive->path);
    PartitionRecord* medium = new PartitionRecord;
    medium->disk = drive;
    medium->letter = letter;
    medium->rdev = drive->rdev;
    medium->path = duplicateText(drive->path);
    drive->partitions = medium;
    return drive;
}

int DeviceProber::readDriveStatus(const char* path) const
{
    return driveStatusReader ? driveStatusReader(QString::fromLocal8Bit(path)) : opticalDriveStatus(path);
}

void DeviceProber::addOpticalDrives()
{
    for (const OpticalDrive& drive : listOpticalDrives()) {
        const char letter = letters.take();
        appendDisk(&disks, newOpticalDriveRecord(QString::fromStdString(drive.path), letter));
        ++opticalCount;
    }
}

void DeviceProber::probeAll()
{
    std::lock_guard<std::mutex> lock(mutex);
    state.store(Probing);
    freeDiskList(disks);
    disks = nullptr;
    opticalCount = 0;
    letters.clear();

    const QStringList paths = diskScanner ? diskScanner() : scanPartedDiskPaths();
    for (const QString& path : paths) {
        if (!isAcceptedDiskPath(path))
            continue;
        PartedDisk parted;
        if (!readPartedDisk(path, true, &parted))
            continue;
        const QByteArray nativePath = parted.path.toLocal8Bit();
        DiskRecord* disk = newDiskRecord(parted, nodeNumber(nativePath.constData()));
        appendDisk(&disks, disk);
        if (probeWholeDiskVolume(disk, 0))
            continue;
        for (const TablePartition& entry : parted.partitions)
            appendPartition(&disk->partitions, newPartitionRecord(disk, entry));
    }
    addOpticalDrives();

    state.store(Idle);
    emit probeFinished();
}

void DeviceProber::handleDiskAdd(dev_t device, const QString& nodePath)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (device == 0 || findDiskByDev(disks, device))
        return;

    if (isOpticalDrive(device)) {
        DiskRecord* drive = newOpticalDriveRecord(nodePath, letters.take());
        drive->rdev = device;
        drive->partitions->rdev = device;
        appendDisk(&disks, drive);
        ++opticalCount;
        emit partitionArrived(device);
        emit diskArrived(device);
        return;
    }

    if (!isAcceptedDiskPath(nodePath))
        return;
    PartedDisk parted;
    if (!readPartedDisk(nodePath, true, &parted))
        return;
    DiskRecord* disk = newDiskRecord(parted, device);
    appendDisk(&disks, disk);
    emit diskArrived(device);

    if (probeWholeDiskVolume(disk, 0)) {
        emit partitionArrived(disk->partitions->rdev);
        return;
    }
    // Partitions announced before their disk were parked; the others come
    // through their own events.
    for (const TablePartition& entry : parted.partitions) {
        const QByteArray path = entry.path.toLocal8Bit();
        NodeInfo node;
        if (!lookupNode(path.constData(), &node) || !pendingPartitions.remove(node.rdev))
            continue;
        if (findPartitionInList(disk->partitions, node.rdev))
            continue;
        PartitionRecord* part = newPartitionRecord(disk, entry);
        appendPartition(&disk->partitions, part);
        emit partitionArrived(part->rdev);
    }
}

void DeviceProber::handlePartitionAdd(dev_t partition, dev_t parentDisk)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (partition == 0)
        return;
    DiskRecord* disk = findDiskByDev(disks, parentDisk);
    if (!disk) {
        pendingPartitions.insert(partition);
        return;
    }
    if (disk->kind != DiskKindDisk || findPartitionByDev(disks, partition))
        return;
    PartedDisk parted;
    if (!readPartedDisk(QString::fromLocal8Bit(disk->path), true, &parted))
        return;
    for (const TablePartition& entry : parted.partitions) {
        const QByteArray path = entry.path.toLocal8Bit();
        if (findPartitionByPath(disk->partitions, path.constData()))
            continue;
        PartitionRecord* part = newPartitionRecord(disk, entry);
        appendPartition(&disk->partitions, part);
        emit partitionArrived(part->rdev);
    }
}

void DeviceProber::handleDiskRemove(dev_t device)
{
    std::lock_guard<std::mutex> lock(mutex);
    DiskRecord* disk = device ? findDiskByDev(disks, device) : nullptr;
    if (!disk)
        return;
    unlinkDisk(&disks, disk);
    for (PartitionRecord* part = disk->partitions; part; part = part->next) {
        emit partitionRemoved(part->rdev);
        letters.release(part->letter);
    }
    if (disk->kind == DiskKindOptical)
        --opticalCount;
    delete disk;
    emit diskRemoved(device);
}

void DeviceProber::handlePartitionRemove(dev_t device)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (device == 0)
        return;
    for (DiskRecord* disk = disks; disk; disk = disk->next) {
        PartitionRecord* part = findPartitionInList(disk->partitions, device);
        if (!part)
            continue;
        unlinkPartition(&disk->partitions, part);
        letters.release(part->letter);
        delete part;
        emit partitionRemoved(device);
        return;
    }
}

void DeviceProber::probeDevice(dev_t device)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (device == 0)
        return;
    // A whole-disk volume and an optical medium share their disk's number:
    // the number names the disk then.
    if (DiskRecord* disk = findDiskByDev(disks, device)) {
        if (disk->kind == DiskKindDisk)
            rereadDisk(disk);
        return;
    }
    if (PartitionRecord* part = findPartitionByDev(disks, device))
        rereadPartition(part);
}

void DeviceProber::rereadPartition(PartitionRecord* part)
{
    const dev_t device = part->rdev;
    char node[DEV_NODE_PATH_SIZE];
    if (devNodePath(device, node) == 0)
        assignText(&part->path, node);
    // sysfs counts in 512-byte units whatever the disk's sector size.
    const uint64_t sectorSize = part->disk && part->disk->sectorSize ? part->disk->sectorSize : 512;
    const int64_t start = readSysfsBlockValue(device, "start");
    const int64_t size = readSysfsBlockValue(device, "size");
    if (start >= 0 && size > 0) {
        part->start = static_cast<uint64_t>(start) * 512 / sectorSize;
        part->length = static_cast<uint64_t>(size) * 512 / sectorSize;
        part->end = part->start + part->length - 1;
    }
    char* type = nullptr;
    char* uuid = nullptr;
    char* label = probeVolume(part->path, part->length * sectorSize, &type, &uuid);
    adoptText(&part->fsName, type);
    adoptText(&part->label, label);
    adoptText(&part->uuid, uuid);
    part->unfinishedRestore = !part->fsName && holdsUnfinishedRestore(part->path) ? 1 : 0;
    if (!takesLetter(part->fsName)) {
        letters.release(part->letter);
        part->letter = 0;
    }
    emit partitionUpdated(device);
}

void DeviceProber::rereadDisk(DiskRecord* disk)
{
    PartedDisk parted;
    if (!readPartedDisk(QString::fromLocal8Bit(disk->path), false, &parted))
        return;
    disk->usb = isUsbDevice(disk->path);
    disk->removable = isRemovableDevice(disk->path);
    assignText(&disk->model, parted.model.constData());
    disk->sectorSize = parted.sectorSize;
    disk->length = parted.length;
    emit diskUpdated(disk->rdev);

    PartitionRecord* first = disk->partitions;
    if (first && first->wholeDisk) {
        disk->partitions = nullptr;
        if (probeWholeDiskVolume(disk, first->letter)) {
            freePartitionList(first);
            emit partitionUpdated(disk->rdev);
        } else {
            disk->partitions = first;
        }
    } else if (!first && probeWholeDiskVolume(disk, 0)) {
        emit partitionArrived(disk->partitions->rdev);
    }
}

void DeviceProber::pollOpticalDrives()
{
    std::lock_guard<std::mutex> lock(mutex);
    for (DiskRecord* disk = disks; disk; disk = disk->next) {
        if (disk->kind != DiskKindOptical)
            continue;
        const int status = readDriveStatus(disk->path);
        if (status != disk->driveStatus) {
            disk->driveStatus = status;
            emit oddStatusChanged(disk->rdev, status);
        }
    }
}

namespace {

// Free bytes of a measured volume; 0 when its used space is unknown.
qint64 freeBytesOf(const PartitionRecord& part)
{
    if (!part.disk || part.usedSectors == 0)
        return 0;
    const unsigned __int128 total = static_cast<unsigned __int128>(part.length) * part.disk->sectorSize;
    const unsigned __int128 used = static_cast<unsigned __int128>(part.usedSectors) * USED_SECTOR_SIZE;
    if (used >= total)
        return 0;
    const unsigned __int128 free = total - used;
    const auto limit = static_cast<unsigned __int128>(std::numeric_limits<qint64>::max());
    return static_cast<qint64>(free > limit ? limit : free);
}

}  // namespace

// The partition of a listed disk with that node path. The disk is the one
// whose node the path names without its partition number, or the path
// itself for a whole-disk volume.
static const PartitionRecord* findListedPartition(const DiskRecord* disks, const QString& path)
{
    const QByteArray nativePath = path.toLocal8Bit();
    const QByteArray diskPath = DeviceProber::stripPartitionNumber(path).toLocal8Bit();
    for (const DiskRecord* disk = disks; disk; disk = disk->next) {
        if (!(disk->usb || disk->removable || disk->kind == DiskKindDisk) || !disk->path)
            continue;
        if (diskPath != disk->path && nativePath != disk->path)
            continue;
        if (const PartitionRecord* part = findPartitionByPath(disk->partitions, nativePath.constData()))
            return part;
    }
    return nullptr;
}

DiskList DeviceProber::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return DiskList(copyDiskList(disks));
}

qint64 DeviceProber::partitionFreeBytes(const QString& path) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const PartitionRecord* part = findListedPartition(disks, path);
    return part ? freeBytesOf(*part) : 0;
}

QString DeviceProber::diskOfPartition(const QString& path) const
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        const QByteArray nativePath = path.toLocal8Bit();
        for (const DiskRecord* disk = disks; disk; disk = disk->next) {
            if (disk->path && findPartitionByPath(disk->partitions, nativePath.constData()))
                return QString::fromLocal8Bit(disk->path);
        }
    }
    return stripPartitionNumber(path);
}

int DeviceProber::opticalDriveCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return opticalCount;
}

void DeviceProber::addDisk(DiskRecord* disk)
{
    std::lock_guard<std::mutex> lock(mutex);
    appendDisk(&disks, disk);
}

bool DeviceProber::takeDisk(DiskRecord* disk)
{
    std::lock_guard<std::mutex> lock(mutex);
    return unlinkDisk(&disks, disk);
}

void DeviceProber::clearDisks()
{
    std::lock_guard<std::mutex> lock(mutex);
    freeDiskList(disks);
    disks = nullptr;
}

QString DeviceProber::partitionFsName(const QString& path) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const PartitionRecord* part = findListedPartition(disks, path);
    return part && part->fsName ? QString::fromUtf8(part->fsName) : QString();
}
