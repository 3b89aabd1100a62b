// On-disk structures of FAT32 and the few rules about directory entries that
// the backup walk and the restore replay must agree on.
#ifndef FSLAYOUT_FAT32_LAYOUT_H
#define FSLAYOUT_FAT32_LAYOUT_H

#include <QString>

#include <cstdint>
#include <cstring>
#include <string>

namespace Fat32 {
constexpr uint32_t kEntryMask = 0x0FFFFFFF;  // FAT32 entries use 28 bits
constexpr uint32_t kBadCluster = 0x0FFFFFF7;
constexpr uint32_t kEndOfChainMin = 0x0FFFFFF8;  // this and above end a chain
constexpr uint32_t kEndOfChain = 0x0FFFFFFF;
constexpr uint32_t kFirstDataCluster = 2;
// Fewer clusters would make other systems read the volume as FAT16.
constexpr uint64_t kMinClusterCount = 65525;
constexpr uint64_t kMaxClusterCount = 0x0FFFFFF0;

constexpr uint8_t kAttrReadOnly = 0x01;
constexpr uint8_t kAttrHidden = 0x02;
constexpr uint8_t kAttrSystem = 0x04;
constexpr uint8_t kAttrVolumeId = 0x08;
constexpr uint8_t kAttrDirectory = 0x10;
constexpr uint8_t kAttrArchive = 0x20;
constexpr uint8_t kAttrLongName = 0x0F;

constexpr uint8_t kDeletedMark = 0xE5;
constexpr uint8_t kLongNameLastFlag = 0x40;
constexpr int kLongNameCharsPerEntry = 13;
// 20 entries of 13 characters hold the longest name FAT allows (255).
constexpr int kMaxLongNameEntries = 20;

constexpr uint32_t kFsInfoLeadSignature = 0x41615252;
constexpr uint32_t kFsInfoStructSignature = 0x61417272;
constexpr uint32_t kFsInfoTrailSignature = 0xAA550000;
constexpr uint32_t kFsInfoUnknown = 0xFFFFFFFF;
constexpr uint16_t kBootSignature = 0xAA55;
}  // namespace Fat32

#pragma pack(push, 1)

// Sector 0 of a FAT32 volume: the BIOS parameter block and the boot code.
struct tagFat32BootSector {
    uint8_t jump[3];
    char oemName[8];
    uint16_t bytesPerSector;    // 11
    uint8_t sectorsPerCluster;  // 13
    uint16_t reservedSectors;   // 14
    uint8_t numberOfFats;       // 16
    uint16_t rootEntries;       // 17, 0 on FAT32
    uint16_t totalSectors16;    // 19
    uint8_t media;              // 21
    uint16_t fatSize16;         // 22, 0 on FAT32
    uint16_t sectorsPerTrack;   // 24
    uint16_t heads;             // 26
    uint32_t hiddenSectors;     // 28
    uint32_t totalSectors32;    // 32
    uint32_t fatSize32;         // 36
    uint16_t extFlags;          // 40
    uint16_t fsVersion;         // 42
    uint32_t rootCluster;       // 44
    uint16_t fsInfoSector;      // 48
    uint16_t backupBootSector;  // 50
    uint8_t reserved[12];       // 52
    uint8_t driveNumber;        // 64
    uint8_t reserved1;          // 65
    uint8_t bootSignature;      // 66
    uint32_t volumeId;          // 67
    char volumeLabel[11];       // 71
    char fsTypeText[8];         // 82
    uint8_t bootCode[420];      // 90
    uint16_t signature;         // 510
};

// The FSInfo sector: a hint of the free-cluster count and the next free cluster.
struct tagFat32FsInfo {
    uint32_t leadSignature;
    uint8_t reserved1[480];
    uint32_t structSignature;  // 484
    uint32_t freeCount;        // 488
    uint32_t nextFree;         // 492
    uint8_t reserved2[12];
    uint32_t trailSignature;  // 508
};

struct tagFatDirEntry {
    char name[8];
    char ext[3];
    uint8_t attributes;  // 11
    uint8_t ntReserved;
    uint8_t createTimeTenth;
    uint16_t createTime;
    uint16_t createDate;
    uint16_t accessDate;
    uint16_t firstClusterHigh;  // 20
    uint16_t writeTime;
    uint16_t writeDate;
    uint16_t firstClusterLow;  // 26
    uint32_t fileSize;         // 28

    uint32_t FirstCluster() const { return (uint32_t(firstClusterHigh) << 16) | firstClusterLow; }
    void SetFirstCluster(uint32_t cluster)
    {
        firstClusterHigh = static_cast<uint16_t>(cluster >> 16);
        firstClusterLow = static_cast<uint16_t>(cluster & 0xFFFF);
    }
};

// One part of a long name: 13 UTF-16LE characters in three runs.
struct tagFatLongNameEntry {
    uint8_t ordinal;
    uint8_t name1[10];   // 1
    uint8_t attributes;  // 11, always 0x0F
    uint8_t type;
    uint8_t checksum;
    uint8_t name2[12];         // 14
    uint16_t firstClusterLow;  // 26, always 0
    uint8_t name3[4];          // 28
};

#pragma pack(pop)

static_assert(sizeof(tagFat32BootSector) == 512, "tagFat32BootSector layout");
static_assert(sizeof(tagFat32FsInfo) == 512, "tagFat32FsInfo layout");
static_assert(sizeof(tagFatDirEntry) == 32, "tagFatDirEntry layout");
static_assert(sizeof(tagFatLongNameEntry) == 32, "tagFatLongNameEntry layout");

namespace Fat32 {

enum class EntryKind { Deleted, End, LongName, Dot, VolumeLabel, File, Directory };

inline EntryKind ClassifyEntry(const tagFatDirEntry& entry)
{
    const uint8_t first = static_cast<uint8_t>(entry.name[0]);
    if (first == kDeletedMark)
        return EntryKind::Deleted;
    if (first == 0)
        return EntryKind::End;
    if ((entry.attributes & 0x3F) == kAttrLongName)
        return EntryKind::LongName;
    if (std::memcmp(entry.name, ".       ", 8) == 0 || std::memcmp(entry.name, "..      ", 8) == 0)
        return EntryKind::Dot;
    if (entry.attributes & kAttrVolumeId)
        return EntryKind::VolumeLabel;
    if (entry.attributes & kAttrDirectory)
        return EntryKind::Directory;
    return EntryKind::File;
}

inline bool IsDotDot(const tagFatDirEntry& entry)
{
    return std::memcmp(entry.name, "..      ", 8) == 0;
}

// The name of the page file, whose data a backup never stores when it stands
// in the root folder: only its entry, with no clusters.
inline bool IsPageFile(const tagFatDirEntry& entry)
{
    return std::memcmp(entry.name, "PAGEFILESYS", 11) == 0 && (entry.attributes & kAttrArchive);
}

// In the directory stream a file entry is followed by a data set exactly
// when it has both a start cluster and a size.
inline bool HasDataSet(const tagFatDirEntry& entry)
{
    return entry.FirstCluster() != 0 && entry.fileSize != 0;
}

// True when a boot sector's geometry can describe a FAT32 volume: a sector
// of 512 to 4096 bytes and a cluster of a power of two sectors, reserved
// sectors, at least one FAT of a size, and a data area inside the volume.
inline bool HasFat32Geometry(const tagFat32BootSector& boot)
{
    auto powerOfTwo = [](uint32_t value) { return value != 0 && (value & (value - 1)) == 0; };
    const uint32_t sectorBytes = boot.bytesPerSector;
    const uint64_t totalSectors = boot.totalSectors16 != 0 ? boot.totalSectors16 : boot.totalSectors32;
    const uint64_t dataStart = uint64_t(boot.reservedSectors) + uint64_t(boot.numberOfFats) * boot.fatSize32;
    return sectorBytes >= 512 && sectorBytes <= 4096 && powerOfTwo(sectorBytes) &&
           powerOfTwo(boot.sectorsPerCluster) && boot.reservedSectors != 0 && boot.numberOfFats != 0 &&
           boot.fatSize32 != 0 && dataStart < totalSectors;
}

// "BASE.EXT", or "BASE" when the extension is blank.
inline std::string ShortNameText(const tagFatDirEntry& entry)
{
    auto trimmed = [](const char* text, size_t length) {
        while (length > 0 && text[length - 1] == ' ')
            --length;
        return std::string(text, length);
    };
    std::string base = trimmed(entry.name, 8);
    if (!base.empty() && static_cast<uint8_t>(base[0]) == 0x05)
        base[0] = static_cast<char>(kDeletedMark);  // 0x05 stands for a leading 0xE5
    const std::string ext = trimmed(entry.ext, 3);
    return ext.empty() ? base : base + "." + ext;
}

// Gathers the parts of a long name that precede a short entry. Parts with
// an ordinal outside 1..20 are ignored: they cannot belong to a valid name.
class LongNameBuffer {
public:
    void Add(const tagFatLongNameEntry& part)
    {
        const int ordinal = part.ordinal & ~kLongNameLastFlag;
        if (ordinal < 1 || ordinal > kMaxLongNameEntries)
            return;
        uint16_t* slot = m_units + (ordinal - 1) * kLongNameCharsPerEntry;
        std::memcpy(slot, part.name1, sizeof part.name1);
        std::memcpy(slot + 5, part.name2, sizeof part.name2);
        std::memcpy(slot + 11, part.name3, sizeof part.name3);
        if (ordinal * kLongNameCharsPerEntry > m_length)
            m_length = ordinal * kLongNameCharsPerEntry;
    }
    void Clear() { m_length = 0; }
    bool Present() const { return m_length > 0; }
    // The name up to its terminating zero, as UTF-8.
    std::string Utf8() const
    {
        int length = 0;
        while (length < m_length && m_units[length] != 0)
            ++length;
        return QString::fromUtf16(m_units, length).toUtf8().toStdString();
    }

private:
    uint16_t m_units[kMaxLongNameEntries * kLongNameCharsPerEntry] = {};
    int m_length = 0;
};

// The name a file is shown under: its long name when one precedes it.
inline std::string DisplayName(const LongNameBuffer& longName, const tagFatDirEntry& entry)
{
    return longName.Present() ? longName.Utf8() : ShortNameText(entry);
}

}  // namespace Fat32

#endif
