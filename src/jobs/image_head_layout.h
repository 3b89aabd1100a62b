// The layout of the head block at offset 0 of an image's first volume:
// which disk and partition the image was taken from. Every offset and width
// is part of the image file format.
#ifndef JOBS_IMAGE_HEAD_LAYOUT_H
#define JOBS_IMAGE_HEAD_LAYOUT_H

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// Multi-byte fields are stored little-endian whatever the host; read and
// write them through qFromLittleEndian / qToLittleEndian.
#pragma pack(push, 1)
struct tagImagePartEntry {
    uint8_t number;  // partition number from the device path
    uint64_t startSector;
    uint64_t sectorCount;
    uint8_t moreFollows;  // 1 while another entry follows, 0 in the last
};

// The fixed part; the entries, the disk's model text and the partition's
// label (no terminators) follow it inside blockSize.
struct tagBackupImageHeadInfo {
    uint32_t blockSize;
    char signature[7];  // "Sorvik "
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
    uint8_t fsCode;  // ImageFormat::FileSystemCode: 4 NTFS, 3 FAT32, 2 FAT16, 1 FAT12, 0 other
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

// True when the first 6 bytes are "SORVIK" in any case.
inline bool hasSignature(const char* signature)
{
    return qstrnicmp(signature, "SORVIK", 6) == 0;
}

}  // namespace ImageHead

#endif
