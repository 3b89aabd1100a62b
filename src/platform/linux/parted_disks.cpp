#include "platform/linux/parted_disks.h"

#include <QDebug>
#include <mutex>
#include <parted/parted.h>

namespace {

// libparted asks questions through exceptions. A rescue tool only reads:
// never answer "Fix" or "Yes" (both may write), prefer to go on reading.
PedExceptionOption answerQuietly(PedException* exception)
{
    qWarning("libparted: %s", exception->message);
    const int options = exception->options;
    if (options & PED_EXCEPTION_IGNORE)
        return PED_EXCEPTION_IGNORE;
    if (options & PED_EXCEPTION_CANCEL)
        return PED_EXCEPTION_CANCEL;
    if (options & PED_EXCEPTION_OK)
        return PED_EXCEPTION_OK;
    return PED_EXCEPTION_UNHANDLED;
}

void installExceptionHandler()
{
    static std::once_flag once;
    std::call_once(once, [] { ped_exception_set_handler(answerQuietly); });
}

void readTable(PedDevice* device, PartedDisk* out)
{
    if (!ped_disk_probe(device))
        return;
    PedDisk* disk = ped_disk_new(device);
    if (!disk)
        return;
    out->hasTable = true;
    for (PedPartition* part = ped_disk_next_partition(disk, nullptr); part;
         part = ped_disk_next_partition(disk, part)) {
        const bool normal = part->type == PED_PARTITION_NORMAL;
        const bool logical = (part->type & PED_PARTITION_LOGICAL) &&
                             !(part->type & (PED_PARTITION_FREESPACE | PED_PARTITION_METADATA |
                                             PED_PARTITION_EXTENDED | PED_PARTITION_PROTECTED));
        if ((!normal && !logical) || part->num < 1)
            continue;
        TablePartition entry;
        if (char* path = ped_partition_get_path(part)) {
            entry.path = QString::fromLocal8Bit(path);
            free(path);
        }
        if (part->fs_type && part->fs_type->name)
            entry.fsName = part->fs_type->name;
        entry.start = static_cast<uint64_t>(part->geom.start);
        entry.end = static_cast<uint64_t>(part->geom.end);
        entry.length = static_cast<uint64_t>(part->geom.length);
        entry.kind = logical ? 1 : 0;
        entry.active = ped_partition_is_flag_available(part, PED_PARTITION_BOOT) &&
                       ped_partition_get_flag(part, PED_PARTITION_BOOT);
        out->partitions.append(entry);
    }
    ped_disk_destroy(disk);
}

}  // namespace

QStringList scanPartedDiskPaths()
{
    installExceptionHandler();
    // Start from an empty cache so that vanished disks are forgotten and
    // changed ones are read afresh.
    ped_device_free_all();
    ped_device_probe_all();
    QStringList paths;
    for (PedDevice* device = ped_device_get_next(nullptr); device; device = ped_device_get_next(device))
        paths.append(QString::fromLocal8Bit(device->path));
    ped_device_free_all();
    return paths;
}

bool readPartedDisk(const QString& path, bool withTable, PartedDisk* out)
{
    installExceptionHandler();
    *out = PartedDisk();
    const QByteArray nativePath = path.toLocal8Bit();
    PedDevice* device = ped_device_get(nativePath.constData());
    if (!device)
        return false;
    bool opened = ped_device_open(device);
    if (opened) {
        out->path = QString::fromLocal8Bit(device->path);
        out->model = device->model ? QByteArray(device->model) : QByteArray();
        out->sectorSize = static_cast<uint64_t>(device->sector_size);
        out->length = static_cast<uint64_t>(device->length);
        if (withTable)
            readTable(device, out);
        ped_device_close(device);
    }
    // Drop it from libparted's cache: the next read sees the device as it
    // is then, not as it was.
    ped_device_destroy(device);
    return opened;
}
