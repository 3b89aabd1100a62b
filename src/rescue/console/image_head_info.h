// The head block at offset 0 of an image's first volume: which disk and
// partition the image was taken from. The engine stores it unchanged; the
// console builds it before a backup and reads it back to list and check
// images. Every offset and width is part of the image file format.
#ifndef RESCUE_CONSOLE_IMAGE_HEAD_INFO_H
#define RESCUE_CONSOLE_IMAGE_HEAD_INFO_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

class DeviceProber;
class TreeItem;

// Multi-byte fields are stored little-endian whatever the host; read and
// write them through qFromLittleEndian / qToLittleEndian.
#pragma pack(push, 1)
struct tagImagePartEntry {
    uint8_t number;        // partition number from the device path
    uint64_t startSector;
    uint64_t sectorCount;
    uint8_t moreFollows;   // 1 while another entry follows, 0 in the last
};

// The fixed part; the entries, the disk's model text and the partition's
// label (no terminators) follow it inside blockSize.
struct tagBackupImageHeadInfo {
    uint32_t blockSize;
    char signature[7];     // "Sorvik "
    uint8_t zero1[5];
    char contact[21];
    uint8_t zero2[9];
    uint8_t diskNameLength;
    uint8_t diskNumber;
    uint64_t diskBytes;
    uint8_t partitionCount;
    uint8_t primaryCount;
    uint8_t logicalCount;
    uint8_t driveLetter;
    uint32_t partNameLength;
    uint8_t partitionNumber;
    uint8_t fsCode;        // 4 NTFS, 3 FAT32, 2 FAT16, 1 FAT12, 0 other
    uint8_t active;
    uint64_t partStartSector;
    uint64_t partSectorCount;
    uint64_t partitionUsedBytes;
    uint8_t volumeSerial[8];
};
#pragma pack(pop)

static_assert(sizeof(tagImagePartEntry) == 18, "image part entry is 18 bytes");
static_assert(offsetof(tagImagePartEntry, startSector) == 1, "entry layout");
static_assert(offsetof(tagImagePartEntry, moreFollows) == 17, "entry layout");
static_assert(sizeof(tagBackupImageHeadInfo) == 99, "head block fixed part is 99 bytes");
static_assert(offsetof(tagBackupImageHeadInfo, signature) == 4, "head layout");
static_assert(offsetof(tagBackupImageHeadInfo, contact) == 16, "head layout");
static_assert(offsetof(tagBackupImageHeadInfo, diskNameLength) == 46, "head layout");
static_assert(offsetof(tagBackupImageHeadInfo, diskBytes) == 48, "head layout");
static_assert(offsetof(tagBackupImageHeadInfo, partitionCount) == 56, "head layout");
static_assert(offsetof(tagBackupImageHeadInfo, partNameLength) == 60, "head layout");
static_assert(offsetof(tagBackupImageHeadInfo, partitionNumber) == 64, "head layout");
static_assert(offsetof(tagBackupImageHeadInfo, partStartSector) == 67, "head layout");
static_assert(offsetof(tagBackupImageHeadInfo, partitionUsedBytes) == 83, "head layout");
static_assert(offsetof(tagBackupImageHeadInfo, volumeSerial) == 91, "head layout");

namespace ImageHead {

const int kFixedSize = sizeof(tagBackupImageHeadInfo);
const int kEntrySize = sizeof(tagImagePartEntry);
const int kMaxDiskNameBytes = 255;  // diskNameLength is one byte
// A label is at most 128 UTF-16 characters (NTFS): 512 UTF-8 bytes. The
// bound keeps a damaged length from driving a huge read.
const int kMaxPartNameBytes = 1024;
const int kMaxBlockSize = kFixedSize + 255 * kEntrySize + kMaxDiskNameBytes + kMaxPartNameBytes;

const char kSignature[7] = {'S', 'o', 'r', 'v', 'i', 'k', ' '};
const char kContact[21] = {'s', 'o', 'r', 'v', 'i', 'k', ' ', 'r', 'e', 's', 'c',
                           'u', 'e', ' ', 'c', 'o', 'n', 's', 'o', 'l', 'e'};

// File-system code of a file-system name, in any case.
int fsCodeOfName(const QString& fsName);

// The whole number after the disk part of a partition's device path:
// 12 for /dev/sda12, 3 for /dev/nvme0n1p3, 2 for /dev/mmcblk0p2, 0 for a
// whole-disk node or a path without a number. Capped at 255 (one byte).
int partitionNumberOfPath(const QString& path);

// True when the first 6 bytes are "SORVIK" in any case.
bool hasSignature(const char* signature);

}  // namespace ImageHead

// A built head block and the values the backup wizard checks beside it.
struct ImageHeadBlock {
    QByteArray bytes;            // the whole block; empty before a build
    int fsCode = 0;
    qint64 usedBytes = -1;
    qint64 partBytes = -1;
    bool active = false;
    char letter = ' ';

    bool isEmpty() const { return bytes.isEmpty(); }
    tagBackupImageHeadInfo* data()
    {
        return bytes.isEmpty() ? nullptr : reinterpret_cast<tagBackupImageHeadInfo*>(bytes.data());
    }
    int size() const { return bytes.size(); }
};

// Builds the block for a partition of the disk at diskPath (diskNumber as
// the partition tree numbers the disk row) from the prober's list, under
// its lock. 0 on success; -1 when the disk or partition is not listed, with
// "get partition information failed!" on standard error and *block as it
// was.
int buildHeadInfo(DeviceProber& prober, const QString& diskPath, int diskNumber,
                  const QString& partitionPath, ImageHeadBlock* block);
// The same for a partition row of the partition tree (its parent is the
// disk row).
int buildHeadInfo(DeviceProber& prober, const TreeItem* partitionRow, ImageHeadBlock* block);

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
    QByteArray volumeSerial;      // 8 bytes
    QList<ImageHeadEntry> entries;
    QByteArray diskName;          // as stored, without terminator
    QByteArray partName;          // UTF-8 label, without terminator
};

enum class HeadReadResult {
    Ok = 0,
    CannotOpen,     // the file cannot be opened
    TooShort,       // fewer bytes than the fixed part, or than blockSize
    NotAnImage,     // no "SORVIK" signature
    Damaged,        // sizes that contradict the block or the file
};

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
