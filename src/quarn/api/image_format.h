// The records of an image volume, defined once for writers and readers (the
// engine and the console, which reads image trailers itself). Header only:
// nothing here is a symbol of libquarn.so.1.
// All integers are little-endian; records are packed; stored names carry no
// terminating zero. docs/image-format.md describes the layout in prose.
#ifndef QUARN_IMAGE_FORMAT_H
#define QUARN_IMAGE_FORMAT_H

#include <cstdint>
#include <string>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "image records are written as they lie in memory");

namespace ImageFormat {
constexpr uint32_t kBlockStartMagic = 0x534B4C42;     // "BLKS"
constexpr uint32_t kPartitionInfoMagic = 0x4F464950;  // "PIFO"
constexpr uint32_t kBlockEndMagic = 0x454B4C42;       // "BLKE"
constexpr uint32_t kRecordStreamEnd = 0xFFFFFFFF;     // closes the NTFS record stream

// The file-system codes of the trailer's fsType and the head block's fsCode.
enum FileSystemCode : uint8_t { kFsOther = 0, kFsFat12 = 1, kFsFat16 = 2, kFsFat32 = 3, kFsNtfs = 4 };

// The code of a file-system name in any case ("ntfs" and "NTFS" both
// kFsNtfs); kFsOther for any other name.
inline uint8_t FileSystemCodeOfName(std::string name)
{
    for (char& c : name)
        c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    if (name == "NTFS")
        return kFsNtfs;
    if (name == "FAT32")
        return kFsFat32;
    if (name == "FAT16")
        return kFsFat16;
    if (name == "FAT12")
        return kFsFat12;
    return kFsOther;
}

constexpr uint32_t kChunkBytes = 0x20000;  // plain bytes per data-set chunk
constexpr uint32_t kNtfsFileRecordBytes = 1024;
constexpr uint16_t kNtfsBootAreaBytes = 0x1200;
constexpr uint16_t kFat32BootAreaBytes = 0x4000;
// The disk start a backup stores with the partition: none or one sector.
constexpr uint32_t kStoredMbrBytes = 512;
constexpr uint32_t kNtfsReservedFs = 0xFFFFFFFF;
// What every backup writes in tagBLOCK_END::spare2; no reader tests it.
constexpr uint8_t kEndRecordFixedByte = 2;
// tagBLOCK_END::spare3 of an NTFS image that stores a data set for every
// extent of an attribute, continuation extents included.
constexpr uint8_t kExtentLayoutEveryExtent = 1;
// Bits of tagBLOCK_END::spare1, which images written before these bits
// always hold 0. kFormatFlagRootSystemFiles: an NTFS image leaves out the data
// of "pagefile.sys" and "hiberfil.sys" only in the root folder; without it,
// that of the first files met under these names, in any folder.
constexpr uint8_t kFormatFlagRootSystemFiles = 0x01;
// kFormatFlagVolumeCheck: the volume carries a tagVOLUME_CHECK, the checksums
// of all of its bytes, just before its end records.
constexpr uint8_t kFormatFlagVolumeCheck = 0x02;
// kFormatFlagContentDigests: an NTFS image whose record summaries digest what a
// change of content changes, leaving out what reading a file changes (the
// access times, the update and log sequence numbers); without it, the
// whole record.
constexpr uint8_t kFormatFlagContentDigests = 0x04;
constexpr uint32_t kVolumeCheckMagic = 0x4B484356;  // "VCHK"
// A volume's bytes before its check record are digested in blocks of this
// size, so that a mismatch names where the damage lies.
constexpr uint32_t kCheckBlockBytes = 1u << 20;
constexpr uint32_t kFat32DirEntryBytes = 32;
constexpr uint64_t kNeverSplit = ~0ULL;
// Volume index and generation are one byte each in the trailer and the name.
constexpr unsigned kMaxVolumes = 256;
// A restore refuses a target whose size plus this falls short of the
// image's used bytes (or equals them).
constexpr uint64_t kTargetSizeSlack = 0xA00000;
constexpr unsigned kMaxGeneration = 255;
// The longest stored name or blob (the trailer's names, the description's
// blob) every reader has always taken; a reader refuses a longer one. The
// description a backup stores is at most kMaxDescriptionBytes bytes of
// UTF-8 text, so that its blob (qCompress: a 4-byte length, then zlib) is
// never longer.
constexpr uint32_t kMaxDescriptionBytes = 1000;
constexpr uint32_t kMaxBlobBytes = 1023;
// zlib's bound for n bytes compressed, plus the 4-byte length before them.
constexpr uint32_t DescriptionBlobBound(uint32_t n)
{
    return 4 + n + (n >> 12) + (n >> 14) + (n >> 25) + 13;
}
static_assert(DescriptionBlobBound(kMaxDescriptionBytes) <= kMaxBlobBytes,
              "every description the writer takes fits every reader");
// A reader refuses a description blob whose first four bytes state a
// longer plain text: qUncompress would allocate whatever they claim.
constexpr uint32_t kMaxDecodedDescriptionBytes = 0x100000;
// Bytes of the password digest an image stores (an MD5 digest).
constexpr uint16_t kPasswordDigestBytes = 16;
// Bytes of the saved disk start that a restore writes back to the disk's
// first sector: the boot code, not the disk signature nor the partition
// table.
constexpr uint32_t kBootCodeBytes = 440;
// A volume is written under its final name plus this suffix, and takes its
// final name only once the whole image is written and on its device.
constexpr const char* kUnfinishedVolumeSuffix = ".part";
}  // namespace ImageFormat

#pragma pack(push, 1)

struct tagBLOCK_START {
    uint32_t magic;
    uint16_t year;
    uint8_t month;
    uint8_t day;
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
    uint32_t mftBitmapSize;
};

struct tagPARTITION_INFO {
    uint32_t magic;
    uint32_t recordSectionPos;
    uint64_t dataSectionPos;
    uint32_t recordCount;
    uint32_t fileRecordSize;
    uint32_t indexRecordSize;
    uint32_t reservedFs;
    uint64_t partitionBytes;
    uint64_t usedBytes;
    uint32_t clusterBytes;
    uint32_t sectorBytes;
    uint8_t compressType;
    uint32_t mbrSize;
    uint16_t bootAreaSize;
    uint16_t passwordHashSize;
    uint16_t descriptionSize;
    uint16_t fileNameSize;
};

struct tagBLOCK_END {
    uint32_t magic;
    uint32_t chainId;
    uint32_t blkStartLow;
    uint8_t volumeIndex;
    uint8_t singleVolume;
    uint8_t generation;
    uint8_t spare1;
    uint8_t fsType;
    uint8_t spare2;
    uint8_t spare3;
    uint32_t blkStartHigh;
    uint16_t prevNameSize;
    uint16_t nextNameSize;
};

struct tagDATA_SET_HEAD {
    uint8_t storedRaw;
    uint64_t dataBytes;
    uint8_t continued;
};

// The check record of a volume: the head, then blockCount 64-bit digests
// (XXH3-64) of the volume's bytes before the record in blocks of
// blockBytes (the last one shorter), then the tail. Readers find it
// through its tail, which ends where the volume's end records begin.
struct tagVOLUME_CHECK_HEAD {
    uint32_t magic;         // kVolumeCheckMagic
    uint32_t recordBytes;   // the whole record, head to tail
    uint64_t imageId;       // random, the same in every volume of one image
    uint64_t baseImageId;   // an incremental's base image's id; 0 for a full image or an unchecked base
    uint64_t coveredBytes;  // bytes before the record: its offset in the volume
    uint32_t blockBytes;
    uint32_t blockCount;
    uint64_t endDigest;  // XXH3-64 of the bytes after the record, to the end of the volume
};

struct tagVOLUME_CHECK_TAIL {
    uint64_t recordDigest;  // XXH3-64 of the record's bytes before this field
    uint32_t recordBytes;   // as in the head
    uint32_t magic;         // kVolumeCheckMagic
};

// One entry of the NTFS MFT record section: a summary of MFT record i, all
// zero for a record not in use. An incremental backup stores a record again
// when its summary differs from the previous image's, so the summary changes
// with any byte of the record (times, sizes, run lists, resident data): the
// MFT alone tells what changed. Only backups read it.
struct tagFileRecordInfo {
    uint8_t nonResidentCount;
    uint64_t recordDigest;      // the record's 1024 bytes, update sequence undone
    uint64_t formerDataDigest;  // 0; older images held a data digest or a time here
    uint32_t fileAttributes;
    uint16_t nameLength;
    uint16_t nameChecksum;
};

#pragma pack(pop)

static_assert(sizeof(tagBLOCK_START) == 15, "tagBLOCK_START layout");
static_assert(sizeof(tagPARTITION_INFO) == 69, "tagPARTITION_INFO layout");
static_assert(sizeof(tagBLOCK_END) == 27, "tagBLOCK_END layout");
static_assert(sizeof(tagDATA_SET_HEAD) == 10, "tagDATA_SET_HEAD layout");
static_assert(sizeof(tagFileRecordInfo) == 25, "tagFileRecordInfo layout");
static_assert(sizeof(tagVOLUME_CHECK_HEAD) == 48, "tagVOLUME_CHECK_HEAD layout");
static_assert(sizeof(tagVOLUME_CHECK_TAIL) == 16, "tagVOLUME_CHECK_TAIL layout");

namespace ImageFormat {
// Bytes of the check record of a volume whose bytes before it are `covered`.
constexpr uint64_t VolumeCheckBytes(uint64_t covered)
{
    return sizeof(tagVOLUME_CHECK_HEAD) + 8 * ((covered + kCheckBlockBytes - 1) / kCheckBlockBytes) +
           sizeof(tagVOLUME_CHECK_TAIL);
}

// The offset of a volume's tagBLOCK_START, which its trailer keeps in two
// halves (0 where the volume has none).
constexpr uint64_t BlockStartOf(const tagBLOCK_END& end)
{
    return (uint64_t(end.blkStartHigh) << 32) | end.blkStartLow;
}

// Where a volume's trailer begins: its two names, then tagBLOCK_END.
constexpr uint64_t TrailerStartOf(uint64_t volumeBytes, const tagBLOCK_END& end)
{
    return volumeBytes - sizeof(tagBLOCK_END) - end.prevNameSize - end.nextNameSize;
}
}  // namespace ImageFormat

// "<base>_<volume>_<generation>.bkp"
inline std::string VolumeFileName(const std::string& base, unsigned volumeIndex, unsigned generation)
{
    return base + "_" + std::to_string(volumeIndex) + "_" + std::to_string(generation) + ".bkp";
}

// The name a volume is written under until its image is finished.
inline std::string UnfinishedVolumeName(const std::string& volumePath)
{
    return volumePath + ImageFormat::kUnfinishedVolumeSuffix;
}

#endif
