// The one builder of the head block (image_head_layout.h) for both
// programs: each gathers what it knows of the source partition and its
// disk from its own inventory into a HeadSource, and this lays it out.
#ifndef JOBS_IMAGE_HEAD_BUILDER_H
#define JOBS_IMAGE_HEAD_BUILDER_H

#include "jobs/image_head_block.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One partition of the source disk, as its entry stores it.
struct HeadSourceEntry {
    int number = 0;  // its number on its disk (12 for /dev/sda12), capped at 255
    quint64 startSector = 0;
    quint64 sectorCount = 0;
    bool primary = true;  // counted in primaryCount, else in logicalCount
};

// The source partition and its disk.
struct HeadSource {
    QByteArray diskName;  // the disk's model text; cut to kMaxDiskNameBytes
    int diskNumber = 0;   // as the program's partition tree numbers the disk
    quint64 diskBytes = 0;
    QList<HeadSourceEntry> entries;  // every partition of the disk, in list order; the first 255 are stored

    char letter = ' ';
    QByteArray label;         // UTF-8; cut to kMaxPartNameBytes
    int partitionNumber = 0;  // its number on its disk, capped at 255
    int fsCode = 0;           // ImageFormat::FileSystemCode
    bool active = false;
    quint64 startSector = 0;
    quint64 sectorCount = 0;
    quint64 usedBytes = 0;
    qint64 partBytes = -1;     // the partition's length in bytes
    quint64 volumeSerial = 0;  // 0 when unknown: 8 zero bytes
};

namespace ImageHead {

// File-system code of a file-system name, in any case.
int fsCodeOfName(const QString& fsName);

}  // namespace ImageHead

// The block and the values the backup wizards check beside it.
ImageHeadBlock buildImageHeadBlock(const HeadSource& source);

#endif
