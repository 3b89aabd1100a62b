#include "ntfs_index_reader.h"

#include "quarn.h"

#include <cstring>

namespace {

constexpr uint16_t kEntryHasSubNode = 0x0001;
constexpr int kBadIndexBlock = 2;
const char16_t kFileNameIndex[] = u"$I30";

bool IsFileNameIndex(const tagRECORD_ATTR* attr)
{
    if (attr->nameLength != 4 || attr->nameOffset + 8u > attr->length)
        return false;
    return std::memcmp(reinterpret_cast<const uint8_t*>(attr) + attr->nameOffset, kFileNameIndex, 8) == 0;
}

bool BitSet(const std::vector<uint8_t>& bits, uint64_t n)
{
    return n / 8 < bits.size() && ((bits[n / 8] >> (n % 8)) & 1) != 0;
}

}  // namespace

bool CNtfsIndexReader::ParseEntry(const uint8_t* entry, const uint8_t* end, tagDirEntryInfo* info, bool* last)
{
    *info = tagDirEntryInfo();
    if (end < entry || size_t(end - entry) < sizeof(tagINDEX_ENTRY_HEADER))
        return false;
    tagINDEX_ENTRY_HEADER header;
    std::memcpy(&header, entry, sizeof header);
    if (header.length < sizeof header || header.length > size_t(end - entry) ||
        sizeof header + header.keyLength > header.length)
        return false;
    *last = (header.flags & Ntfs::kIndexEntryLast) != 0;
    info->hasSubNode = (header.flags & kEntryHasSubNode) != 0;
    if (info->hasSubNode) {
        if (header.length < sizeof header + 8)
            return false;
        std::memcpy(&info->subNodeVcn, entry + header.length - 8, 8);
    }
    if (*last || header.keyLength < offsetof(tagATTR_FILE_NAME, name))
        return true;
    const auto* name = reinterpret_cast<const tagATTR_FILE_NAME*>(entry + sizeof header);
    if (offsetof(tagATTR_FILE_NAME, name) + 2u * name->nameLength > header.keyLength)
        return false;
    info->recordNumber = header.fileReference & Ntfs::kRecordNumberMask;
    info->sequenceNumber = uint16_t(header.fileReference >> 48);
    info->isDirectory = (name->flags & Ntfs::kFileNameIsDirectory) != 0;
    info->dosName = name->nameSpace == Ntfs::kNameSpaceDos;
    std::vector<ushort> units(name->nameLength);
    std::memcpy(units.data(), entry + sizeof header + offsetof(tagATTR_FILE_NAME, name), units.size() * 2);
    info->name = QString::fromUtf16(units.data(), int(units.size()));
    info->hasName = name->nameLength != 0;
    return true;
}

int CNtfsIndexReader::ParseNode(const uint8_t* node, const uint8_t* end, std::vector<tagDirEntryInfo>& list)
{
    if (end < node || size_t(end - node) < sizeof(tagINDEX_HEADER))
        return ERR_PART_INFO;
    tagINDEX_HEADER header;
    std::memcpy(&header, node, sizeof header);
    if (header.indexLength > size_t(end - node) || header.entriesOffset > header.indexLength)
        return ERR_PART_INFO;
    const uint8_t* entry = node + header.entriesOffset;
    const uint8_t* used = node + header.indexLength;
    while (entry < used) {
        tagDirEntryInfo info;
        bool last = false;
        if (!ParseEntry(entry, used, &info, &last))
            return ERR_PART_INFO;
        if (info.recordNumber != (~0ull & Ntfs::kRecordNumberMask) && info.recordNumber != ~0ull &&
            info.recordNumber >= Ntfs::kFirstUserRecord && info.hasName && !info.dosName)
            list.push_back(info);
        if (last)
            break;
        uint16_t length;
        std::memcpy(&length, entry + 8, 2);
        entry += length;
    }
    return 0;
}

int CNtfsIndexReader::ParseBlocks(const std::vector<uint8_t>& allocation, const std::vector<uint8_t>& inUse,
                                  uint32_t blockBytes, std::vector<tagDirEntryInfo>& list)
{
    std::vector<uint8_t> block(blockBytes);
    for (uint64_t n = 0; (n + 1) * blockBytes <= allocation.size(); ++n) {
        // A block the index no longer uses may still hold old entries.
        if (!BitSet(inUse, n))
            continue;
        std::memcpy(block.data(), allocation.data() + n * blockBytes, blockBytes);
        uint32_t magic;
        std::memcpy(&magic, block.data(), 4);
        if (magic != Ntfs::kIndexBlockMagic) {
            DEBUG_TRACE("Index Block parse error: Magic mismatch\n");
            return kBadIndexBlock;
        }
        if (!Ntfs::RemoveFixup(block.data(), blockBytes)) {
            DEBUG_TRACE("Index Block parse error: Update Sequence Number\n");
            return kBadIndexBlock;
        }
        const int result =
            ParseNode(block.data() + Ntfs::kIndexBlockHeaderBytes, block.data() + blockBytes, list);
        if (result != 0)
            return result;
    }
    return 0;
}

int CNtfsIndexReader::listDirectoryIndex(uint64_t record, std::vector<tagDirEntryInfo>& list)
{
    list.clear();
    std::vector<uint8_t> bytes;
    int result = m_volume.ReadRecord(record, &bytes);
    if (result != 0)
        return result;
    uint32_t blockBytes = m_volume.Geometry().indexRecordBytes;
    std::vector<uint8_t> allocation;
    std::vector<uint8_t> inUse;
    bool hasAllocation = false;
    Ntfs::AttributeWalker walker(bytes.data(), uint32_t(bytes.size()));
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (!IsFileNameIndex(attr))
            continue;
        if (attr->type == Ntfs::ATTR_INDEX_ROOT && !attr->nonResident) {
            const uint8_t* value = Ntfs::ResidentValue(attr);
            const uint32_t length = attr->resident.valueLength;
            if (length < Ntfs::kIndexRootHeaderBytes + sizeof(tagINDEX_HEADER))
                return ERR_PART_INFO;
            uint32_t rootBlockBytes;
            std::memcpy(&rootBlockBytes, value + 8, 4);
            if (rootBlockBytes >= Ntfs::kUpdateSequenceStride && rootBlockBytes <= Ntfs::kMaxRecordBytes)
                blockBytes = rootBlockBytes;
            result = ParseNode(value + Ntfs::kIndexRootHeaderBytes, value + length, list);
        } else if (attr->type == Ntfs::ATTR_INDEX_ALLOCATION && attr->nonResident) {
            hasAllocation = true;
            result = m_volume.ReadValue(attr, &allocation);
        } else if (attr->type == Ntfs::ATTR_BITMAP) {
            result = m_volume.ReadValue(attr, &inUse);
        }
        if (result != 0)
            return result;
    }
    if (walker.Damaged())
        return ERR_PART_INFO;
    if (!hasAllocation)
        return 0;
    if (blockBytes < Ntfs::kUpdateSequenceStride || blockBytes % Ntfs::kUpdateSequenceStride != 0)
        return ERR_PART_INFO;
    return ParseBlocks(allocation, inUse, blockBytes, list);
}
