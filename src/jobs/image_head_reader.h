// Reading a head block back from an image: every size is checked against
// the block and the file before it is used.
#ifndef JOBS_IMAGE_HEAD_READER_H
#define JOBS_IMAGE_HEAD_READER_H

#include "jobs/image_head_layout.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A head block as read back, in host byte order.
struct ImageHeadEntry {
    int number = 0;
    quint64 startSector = 0;
    quint64 sectorCount = 0;
    bool moreFollows = false;
};

struct ImageHeadView {
    quint32 blockSize = 0;
    int diskNumber = 0;
    quint64 diskBytes = 0;
    int primaryCount = 0;
    int logicalCount = 0;
    char driveLetter = ' ';
    int partitionNumber = 0;
    int fsCode = 0;
    bool active = false;
    quint64 partStartSector = 0;
    quint64 partSectorCount = 0;
    quint64 partitionUsedBytes = 0;
    QByteArray volumeSerial;  // 8 bytes
    QList<ImageHeadEntry> entries;
    QByteArray diskName;  // as stored, without terminator
    QByteArray partName;  // UTF-8 label, without terminator
};

enum class HeadReadResult {
    Ok = 0,
    CannotOpen,  // the file cannot be opened
    TooShort,    // fewer bytes than the fixed part, or than blockSize
    NotAnImage,  // no "SORVIK" signature
    Damaged,     // sizes that contradict the block or the file
};

// Whether the head block's partition number (the whole number of the
// device path: 12 for /dev/sda12) names a logical partition of an MBR disk:
// numbers 1 to 4 are the primary slots, 0 a volume without a table.
bool isLogicalPartitionNumber(int partitionNumber);

// The message a failed read shows the user.
QString headReadMessage(HeadReadResult result);

// Checks and decodes the fixed part only (the first 99 bytes; the
// incremental check reads no more). Entries and texts stay empty.
HeadReadResult parseHeadFixedPart(const QByteArray& head, ImageHeadView* view);
// Checks and decodes a whole block: every length must fit inside blockSize,
// and blockSize inside the bytes given.
HeadReadResult parseHeadBlock(const QByteArray& block, ImageHeadView* view);
// Reads the block at the start of an image's first volume: blockSize first,
// checked against the file's length and kMaxBlockSize, then the block.
HeadReadResult readHeadBlock(const QString& imagePath, ImageHeadView* view);

#endif
