// What libparted tells about disks and their partition tables, read in one
// go so that no libparted object outlives the call. libparted is not
// thread-safe: only the device prober's thread (or a test) calls these.
#ifndef PARTED_DISKS_H
#define PARTED_DISKS_H

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

struct TablePartition {
    QString path;       // node libparted names for it, for instance /dev/sdb1
    QByteArray fsName;  // libparted's file-system name; empty when unknown
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t length = 0;
    int kind = 0;  // 0 primary, 1 logical
    bool active = false;
};

struct PartedDisk {
    QString path;
    QByteArray model;
    uint64_t sectorSize = 0;
    uint64_t length = 0;
    bool hasTable = false;
    QList<TablePartition> partitions;  // normal and logical ones, table order
};

// The disk nodes libparted finds on the machine, in its order.
QStringList scanPartedDiskPaths();

// Reads the device and, when asked, its partition table. False when libparted
// cannot open the device. Nothing is ever written to the device.
bool readPartedDisk(const QString& path, bool withTable, PartedDisk* out);

#endif
