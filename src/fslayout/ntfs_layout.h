// The NTFS on-disk structures that the engine and the used-space library
// read and write: boot sector, MFT file record header, attribute headers,
// the update-sequence fixup and run lists. Everything here checks its
// bounds, because a damaged or hostile volume must never make a reader step
// outside the buffer it was given.
#ifndef FSLAYOUT_NTFS_LAYOUT_H
#define FSLAYOUT_NTFS_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class QString;

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "NTFS structures are read as they lie in memory");

namespace Ntfs {
constexpr uint32_t kFileMagic = 0x454C4946;        // "FILE"
constexpr uint32_t kIndexBlockMagic = 0x58444E49;  // "INDX"
constexpr uint32_t kIndexBlockHeaderBytes = 24;    // the node header follows
constexpr uint32_t kIndexRootHeaderBytes = 16;     // likewise in $INDEX_ROOT
constexpr uint16_t kIndexEntryLast = 0x0002;
constexpr uint32_t kUpdateSequenceStride = 512;
constexpr uint16_t kRecordInUse = 0x0001;
constexpr uint16_t kRecordIsDirectory = 0x0002;
constexpr uint32_t kFileNameIsDirectory = 0x10000000;  // $FILE_NAME flags
constexpr uint8_t kNameSpaceDos = 2;

// Fixed MFT record numbers of the system files.
constexpr uint32_t kMftRecord = 0;
constexpr uint32_t kMftMirrRecord = 1;
constexpr uint32_t kBitmapRecord = 6;
constexpr uint32_t kBootRecord = 7;
constexpr uint32_t kRootRecord = 5;  // the root folder
constexpr uint32_t kBadClusRecord = 8;
constexpr uint32_t kFirstUserRecord = 16;                  // records 0-15 are reserved for the system
constexpr uint64_t kRecordNumberMask = 0xFFFFFFFFFFFFull;  // a file reference's low 48 bits

enum AttrType : uint32_t {
    ATTR_STANDARD_INFORMATION = 0x10,
    ATTR_ATTRIBUTE_LIST = 0x20,
    ATTR_FILE_NAME = 0x30,
    ATTR_OBJECT_ID = 0x40,
    ATTR_SECURITY_DESCRIPTOR = 0x50,
    ATTR_VOLUME_NAME = 0x60,
    ATTR_VOLUME_INFORMATION = 0x70,
    ATTR_DATA = 0x80,
    ATTR_INDEX_ROOT = 0x90,
    ATTR_INDEX_ALLOCATION = 0xA0,
    ATTR_BITMAP = 0xB0,
    ATTR_REPARSE_POINT = 0xC0,
    ATTR_EA_INFORMATION = 0xD0,
    ATTR_EA = 0xE0,
    ATTR_LOGGED_UTILITY_STREAM = 0x100,
    ATTR_END = 0xFFFFFFFF,
};
}  // namespace Ntfs

#pragma pack(push, 1)

struct tagNTFS_BOOT_SECTOR {
    uint8_t jump[3];
    char oemId[8];                 // "NTFS    "
    uint16_t bytesPerSector;       // 11
    uint8_t sectorsPerCluster;     // 13
    uint16_t reservedSectors;      // 14
    uint8_t unused1[5];            // 16
    uint8_t mediaDescriptor;       // 21
    uint16_t unused2;              // 22
    uint16_t sectorsPerTrack;      // 24
    uint16_t heads;                // 26
    uint32_t hiddenSectors;        // 28
    uint32_t unused3;              // 32
    uint32_t unused4;              // 36
    uint64_t totalSectors;         // 40
    uint64_t mftLcn;               // 48
    uint64_t mftMirrLcn;           // 56
    int8_t clustersPerFileRecord;  // 64: negative n means 2^-n bytes
    uint8_t unused5[3];
    int8_t clustersPerIndexRecord;  // 68: same encoding
    uint8_t unused6[3];
    uint64_t volumeSerial;  // 72
    uint32_t checksum;      // 80
    uint8_t bootCode[426];  // 84
    uint16_t endMarker;     // 510: 0xAA55
};

struct tagFILE_RECORD_HEADER {
    uint32_t magic;      // "FILE"
    uint16_t usaOffset;  // offset of the update sequence
    uint16_t usaCount;   // its entries: the number plus one per 512 bytes
    uint64_t logSequence;
    uint16_t sequenceNumber;
    uint16_t linkCount;
    uint16_t attrsOffset;  // 20: first attribute
    uint16_t flags;        // kRecordInUse, kRecordIsDirectory
    uint32_t bytesInUse;
    uint32_t bytesAllocated;
    uint64_t baseRecord;  // 32: non-zero in an extension record
    uint16_t nextAttrInstance;
    uint16_t reserved;
    uint32_t recordNumber;  // 44
};

struct tagRESIDENT_PART {
    uint32_t valueLength;  // 16
    uint16_t valueOffset;  // 20
    uint8_t indexedFlag;
    uint8_t reserved;
};

struct tagNON_RESIDENT_PART {
    uint64_t lowestVcn;       // 16
    uint64_t highestVcn;      // 24
    uint16_t runListOffset;   // 32
    uint8_t compressionUnit;  // 34
    uint8_t reserved[5];
    uint64_t allocatedSize;    // 40
    uint64_t dataSize;         // 48
    uint64_t initializedSize;  // 56
};

// An attribute header. Only the first 16 bytes and the part its
// nonResident byte selects are valid: a resident header is 24 bytes long.
struct tagRECORD_ATTR {
    uint32_t type;        // Ntfs::AttrType
    uint32_t length;      // whole attribute, header included
    uint8_t nonResident;  // 8
    uint8_t nameLength;   // UTF-16 units
    uint16_t nameOffset;
    uint16_t flags;
    uint16_t instance;
    union {
        tagRESIDENT_PART resident;
        tagNON_RESIDENT_PART nonRes;
    };
};

struct tagATTR_STANDARD_INFORMATION {
    uint64_t creationTime;      // 0
    uint64_t modificationTime;  // 8: last data change
    uint64_t mftChangeTime;
    uint64_t accessTime;
    uint32_t fileAttributes;  // 32
};

struct tagATTR_FILE_NAME {
    uint64_t parentReference;
    uint64_t creationTime;
    uint64_t modificationTime;
    uint64_t mftChangeTime;
    uint64_t accessTime;
    uint64_t allocatedSize;
    uint64_t dataSize;
    uint32_t flags;  // 56: kFileNameIsDirectory
    uint32_t reparse;
    uint8_t nameLength;  // 64: UTF-16 units
    uint8_t nameSpace;   // 65: 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
    uint16_t name[1];    // 66
};

// One entry of an $ATTRIBUTE_LIST value.
struct tagATTR_LIST_ENTRY {
    uint32_t type;
    uint16_t length;
    uint8_t nameLength;
    uint8_t nameOffset;
    uint64_t lowestVcn;
    uint64_t recordReference;  // low 48 bits: record number
    uint16_t instance;
};

// The header of an index node: in $INDEX_ROOT after its 16-byte root
// header, in an index block ("INDX") at offset 24. Offsets count from it.
struct tagINDEX_HEADER {
    uint32_t entriesOffset;
    uint32_t indexLength;  // bytes in use
    uint32_t allocatedSize;
    uint8_t flags;
    uint8_t reserved[3];
};

// One entry of a directory index; its key is a $FILE_NAME value.
struct tagINDEX_ENTRY_HEADER {
    uint64_t fileReference;  // low 48 bits: record number
    uint16_t length;         // whole entry
    uint16_t keyLength;
    uint16_t flags;  // Ntfs::kIndexEntryLast
    uint16_t reserved;
};

// One decoded run: lcn -1 marks a sparse run.
struct tagDataRunList {
    int64_t lcn;
    uint64_t clusters;
    uint64_t firstVcn;
    uint64_t lastVcn;
};

#pragma pack(pop)

static_assert(sizeof(tagNTFS_BOOT_SECTOR) == 512, "boot sector layout");
static_assert(sizeof(tagFILE_RECORD_HEADER) == 48, "file record header layout");
static_assert(sizeof(tagRECORD_ATTR) == 64, "non-resident attribute header layout");
static_assert(offsetof(tagRECORD_ATTR, nonRes) == 16, "attribute header layout");
static_assert(offsetof(tagATTR_FILE_NAME, name) == 66, "file name layout");
static_assert(sizeof(tagATTR_LIST_ENTRY) == 26, "attribute list entry layout");
static_assert(sizeof(tagDataRunList) == 32, "run layout");
static_assert(sizeof(tagINDEX_HEADER) == 16, "index header layout");
static_assert(sizeof(tagINDEX_ENTRY_HEADER) == 16, "index entry layout");

namespace Ntfs {

constexpr uint32_t kResidentHeaderBytes = 24;
constexpr uint32_t kNonResidentHeaderBytes = 64;
// Resident values of a file record cannot be longer than the largest record.
constexpr uint32_t kMaxRecordBytes = 65536;

// Size in bytes of a file or index record from the boot sector's signed
// byte: negative n is 2^-n bytes, positive n is n clusters. 0 when the
// encoding is out of any sensible range.
inline uint32_t RecordBytesFromBootByte(int8_t value, uint32_t clusterBytes)
{
    if (value < 0) {
        int shift = -value;
        return shift <= 31 ? (1u << shift) : 0;
    }
    uint64_t bytes = uint64_t(uint8_t(value)) * clusterBytes;
    return bytes <= 0xFFFFFFFFu ? uint32_t(bytes) : 0;
}

// The boot sector's geometry, checked for plausibility.
struct BootGeometry {
    uint32_t sectorBytes = 0;
    uint32_t clusterBytes = 0;
    uint64_t clusterCount = 0;
    uint64_t mftLcn = 0;
    uint64_t mftMirrLcn = 0;
    uint32_t fileRecordBytes = 0;
    uint32_t indexRecordBytes = 0;
};

// False when the sector is not a usable NTFS boot sector.
inline bool ReadBootGeometry(const tagNTFS_BOOT_SECTOR& boot, BootGeometry* out)
{
    if (std::memcmp(boot.oemId, "NTFS    ", 8) != 0)
        return false;
    uint32_t sector = boot.bytesPerSector;
    uint32_t perCluster = boot.sectorsPerCluster;
    // Sectors per cluster above 128 are stored as a negative power of two.
    if (perCluster > 0x80) {
        uint32_t shift = 0x100 - perCluster;
        perCluster = shift <= 24 ? 1u << shift : 0;
    }
    if (sector < 256 || sector > 4096 || (sector & (sector - 1)) != 0)
        return false;
    if (perCluster == 0 || (perCluster & (perCluster - 1)) != 0)
        return false;
    uint64_t cluster = uint64_t(sector) * perCluster;
    if (cluster > (1u << 21))
        return false;
    out->sectorBytes = sector;
    out->clusterBytes = uint32_t(cluster);
    out->clusterCount = boot.totalSectors / perCluster;
    out->mftLcn = boot.mftLcn;
    out->mftMirrLcn = boot.mftMirrLcn;
    out->fileRecordBytes = RecordBytesFromBootByte(boot.clustersPerFileRecord, out->clusterBytes);
    out->indexRecordBytes = RecordBytesFromBootByte(boot.clustersPerIndexRecord, out->clusterBytes);
    return out->clusterCount != 0 && out->fileRecordBytes != 0;
}

// Undoes the update sequence of a record read from disk: the last two bytes
// of every 512-byte stride must hold the update sequence number and get back
// their saved values. False (record unchanged) when the sequence does not
// fit the record or a stride does not carry the number.
// The offset of the update sequence of a record (or index block: both
// keep it at the same place) when it has one entry per stride and lies
// inside the record, else 0.
inline uint32_t UpdateSequenceOffset(const uint8_t* record, uint32_t recordBytes)
{
    if (recordBytes < kUpdateSequenceStride || recordBytes % kUpdateSequenceStride != 0)
        return 0;
    const auto* header = reinterpret_cast<const tagFILE_RECORD_HEADER*>(record);
    uint32_t strides = recordBytes / kUpdateSequenceStride;
    uint32_t offset = header->usaOffset;
    if (offset == 0 || header->usaCount != strides + 1 || (offset & 1) != 0 ||
        offset + 2u * header->usaCount > recordBytes)
        return 0;
    return offset;
}

inline bool RemoveFixup(uint8_t* record, uint32_t recordBytes)
{
    uint32_t offset = UpdateSequenceOffset(record, recordBytes);
    if (offset == 0)
        return false;
    uint32_t strides = recordBytes / kUpdateSequenceStride;
    uint16_t number;
    std::memcpy(&number, record + offset, 2);
    for (uint32_t i = 1; i <= strides; ++i) {
        if (std::memcmp(record + i * kUpdateSequenceStride - 2, &number, 2) != 0)
            return false;
    }
    for (uint32_t i = 1; i <= strides; ++i)
        std::memcpy(record + i * kUpdateSequenceStride - 2, record + offset + 2 * i, 2);
    return true;
}

// The reverse of RemoveFixup: saves the last two bytes of every stride into
// the update sequence and puts the number in their place.
inline bool ApplyFixup(uint8_t* record, uint32_t recordBytes)
{
    uint32_t offset = UpdateSequenceOffset(record, recordBytes);
    if (offset == 0)
        return false;
    uint32_t strides = recordBytes / kUpdateSequenceStride;
    for (uint32_t i = 1; i <= strides; ++i) {
        std::memcpy(record + offset + 2 * i, record + i * kUpdateSequenceStride - 2, 2);
        std::memcpy(record + i * kUpdateSequenceStride - 2, record + offset, 2);
    }
    return true;
}

inline bool HasFileMagic(const uint8_t* record)
{
    uint32_t magic;
    std::memcpy(&magic, record, 4);
    return magic == kFileMagic;
}

inline bool IsRecordInUse(const uint8_t* record)
{
    return (reinterpret_cast<const tagFILE_RECORD_HEADER*>(record)->flags & kRecordInUse) != 0;
}

// The record whose rules the attributes of record `number` follow: an
// extension record's belong to its base record. The MFT's own extension
// records name record 0 as their base, so only the whole reference, not
// the record number in it, tells an extension record.
inline uint32_t OwnerRecord(const uint8_t* record, uint32_t number, uint32_t recordCount)
{
    uint64_t reference = reinterpret_cast<const tagFILE_RECORD_HEADER*>(record)->baseRecord;
    uint64_t base = reference & kRecordNumberMask;
    return reference != 0 && base < recordCount ? uint32_t(base) : number;
}

// True when the attribute at `offset` (at least 8 bytes before `bound`)
// lies whole before `bound`, with a header long enough for its kind and its
// name and value (resident) or run list (non-resident) inside its length.
inline bool AttributeFits(const uint8_t* record, uint32_t bound, uint32_t offset)
{
    const auto* attr = reinterpret_cast<const tagRECORD_ATTR*>(record + offset);
    uint32_t length = attr->length;
    if (length < kResidentHeaderBytes || length > bound - offset || (length & 7) != 0)
        return false;
    if (attr->nameLength != 0 && uint32_t(attr->nameOffset) + 2u * attr->nameLength > length)
        return false;
    if (attr->nonResident) {
        if (length < kNonResidentHeaderBytes)
            return false;
        if (attr->nonRes.runListOffset >= length || attr->nonRes.runListOffset < 0x40)
            return false;
        return attr->nonRes.highestVcn + 1 >= attr->nonRes.lowestVcn;
    }
    return uint64_t(attr->resident.valueOffset) + attr->resident.valueLength <= length;
}

// Steps through the attributes of a record (fixup already removed). Each
// attribute it yields lies whole inside the record, with a header long
// enough for its kind and its name and value (resident) or run list
// (non-resident) inside its own length. Damage ends the walk; Damaged()
// then tells it apart from the end marker.
class AttributeWalker {
public:
    AttributeWalker(const uint8_t* record, uint32_t recordBytes) : m_record(record), m_size(recordBytes)
    {
        m_offset = recordBytes >= sizeof(tagFILE_RECORD_HEADER)
                       ? reinterpret_cast<const tagFILE_RECORD_HEADER*>(record)->attrsOffset
                       : recordBytes;
    }

    // The next attribute, or null at the end marker, at the record's end
    // or at damage.
    const tagRECORD_ATTR* Next()
    {
        if (m_done)
            return nullptr;
        if (m_offset + 8u > m_size) {
            return Stop(true);
        }
        const auto* attr = reinterpret_cast<const tagRECORD_ATTR*>(m_record + m_offset);
        if (attr->type == ATTR_END)
            return Stop(false);
        if (!AttributeFits(m_record, m_size, m_offset))
            return Stop(true);
        m_offset += attr->length;
        return attr;
    }

    bool Damaged() const { return m_damaged; }

private:
    const tagRECORD_ATTR* Stop(bool damaged)
    {
        m_done = true;
        m_damaged = damaged;
        return nullptr;
    }

    const uint8_t* m_record;
    uint32_t m_size;
    uint32_t m_offset;
    bool m_done = false;
    bool m_damaged = false;
};

// The value of a resident attribute (the walker has checked its bounds).
inline const uint8_t* ResidentValue(const tagRECORD_ATTR* attr)
{
    return reinterpret_cast<const uint8_t*>(attr) + attr->resident.valueOffset;
}

// Clusters an extent of a non-resident attribute covers (highest - lowest + 1).
inline uint64_t ExtentClusters(const tagRECORD_ATTR* attr)
{
    return attr->nonRes.highestVcn + 1 - attr->nonRes.lowestVcn;
}

enum class RunStatus { Ok, End, BadHeader, BadLength, Truncated };

// Decodes one run at *cursor (never reading at or past end): its cluster
// count and its signed LCN offset from the previous run (0 with an empty
// offset part, which marks a sparse run; *sparse tells). Moves the cursor
// past the run. End at the zero header.
inline RunStatus DecodeRun(const uint8_t** cursor, const uint8_t* end, int64_t* clusters, int64_t* offset,
                           bool* sparse)
{
    const uint8_t* p = *cursor;
    if (p >= end)
        return RunStatus::Truncated;
    uint8_t header = *p++;
    if (header == 0)
        return RunStatus::End;
    unsigned lengthBytes = header & 0x0F;
    unsigned offsetBytes = header >> 4;
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8)
        return RunStatus::BadHeader;
    if (size_t(end - p) < lengthBytes + offsetBytes)
        return RunStatus::Truncated;
    uint64_t length = 0;
    for (unsigned i = 0; i < lengthBytes; ++i)
        length |= uint64_t(p[i]) << (8 * i);
    p += lengthBytes;
    if (int64_t(length) <= 0)
        return RunStatus::BadLength;
    uint64_t delta = 0;
    for (unsigned i = 0; i < offsetBytes; ++i)
        delta |= uint64_t(p[i]) << (8 * i);
    if (offsetBytes != 0 && offsetBytes < 8 && (p[offsetBytes - 1] & 0x80) != 0)
        delta |= ~0ULL << (8 * offsetBytes);
    p += offsetBytes;
    *clusters = int64_t(length);
    *offset = int64_t(delta);
    *sparse = offsetBytes == 0;
    *cursor = p;
    return RunStatus::Ok;
}

enum class RunListStatus { Ok, BadRun, NegativeLcn, VcnPastBound };

// Decodes the run list of one non-resident attribute extent (already
// walked by AttributeWalker). VCNs count from the extent's lowest VCN; the
// runs may not cover more than the extent's highest - lowest + 1 clusters.
inline RunListStatus DecodeRunList(const tagRECORD_ATTR* attr, std::vector<tagDataRunList>* runs)
{
    runs->clear();
    const auto* base = reinterpret_cast<const uint8_t*>(attr);
    const uint8_t* cursor = base + attr->nonRes.runListOffset;
    const uint8_t* end = base + attr->length;
    bool empty = ExtentClusters(attr) == 0;
    uint64_t bound = attr->nonRes.highestVcn - attr->nonRes.lowestVcn;  // last relative VCN
    int64_t lcn = 0;
    uint64_t vcn = 0;
    for (;;) {
        int64_t clusters = 0;
        int64_t delta = 0;
        bool sparse = false;
        RunStatus status = DecodeRun(&cursor, end, &clusters, &delta, &sparse);
        if (status == RunStatus::End)
            return RunListStatus::Ok;
        if (status != RunStatus::Ok)
            return RunListStatus::BadRun;
        if (!sparse) {
            if (__builtin_add_overflow(lcn, delta, &lcn) || lcn < 0)
                return RunListStatus::NegativeLcn;
        }
        tagDataRunList run;
        run.lcn = sparse ? -1 : lcn;
        run.clusters = uint64_t(clusters);
        run.firstVcn = vcn;
        if (__builtin_add_overflow(vcn, run.clusters - 1, &run.lastVcn) || empty || run.lastVcn > bound)
            return RunListStatus::VcnPastBound;
        runs->push_back(run);
        vcn = run.lastVcn + 1;
    }
}

// True when every allocated run lies inside a volume of clusterCount clusters.
inline bool RunsWithinVolume(const std::vector<tagDataRunList>& runs, uint64_t clusterCount)
{
    for (const auto& run : runs) {
        if (run.lcn < 0)
            continue;
        if (uint64_t(run.lcn) >= clusterCount || run.clusters > clusterCount - uint64_t(run.lcn))
            return false;
    }
    return true;
}

// The system files whose attribute data no image stores: $BadClus, the
// MFT's own data and bitmap, and the data of $MFTMirr, $Bitmap and $Boot.
// Backup and restore must agree on it, or the data sets would not line up.
inline bool IsUnstoredSystemAttribute(uint32_t owner, uint32_t type)
{
    const bool data = type == ATTR_DATA;
    if (owner == kBadClusRecord)
        return true;
    if (owner == kMftRecord && (data || type == ATTR_BITMAP))
        return true;
    return data && (owner == kMftMirrRecord || owner == kBitmapRecord || owner == kBootRecord);
}

// The files whose data no image stores either, known only by name.
enum class SpecialFile { None, Pagefile, Hiberfile };

// Which of them a $FILE_NAME names, without regard to case.
SpecialFile SpecialFileNamed(const QString& name);

}  // namespace Ntfs

#endif
