#include "platform/windows_engine/ntfs_index_reader.h"

#include "fslayout/ntfs/ntfs_bits.h"
#include "fslayout/ntfs/ntfs_index.h"
#include "fslayout/ntfs/ntfs_record.h"
#include "quarn/api/quarn.h"

#include <cstring>

namespace {

constexpr int kBadIndexBlock = 2;

tagDirEntryInfo EntryInfo(const Ntfs::IndexEntry& entry)
{
    tagDirEntryInfo info;
    info.hasSubNode = entry.hasSubNode;
    info.subNodeVcn = entry.subNodeVcn;
    info.recordNumber = entry.fileReference & Ntfs::kRecordNumberMask;
    info.sequenceNumber = uint16_t(entry.fileReference >> 48);
    info.isDirectory = (entry.key->flags & Ntfs::kFileNameIsDirectory) != 0;
    info.dosName = entry.key->nameSpace == Ntfs::kNameSpaceDos;
    std::vector<ushort> units(entry.key->nameLength);
    std::memcpy(units.data(), reinterpret_cast<const uint8_t*>(entry.key) + offsetof(tagATTR_FILE_NAME, name),
                units.size() * 2);
    info.name = QString::fromUtf16(units.data(), int(units.size()));
    info.hasName = !units.empty();
    return info;
}

}  // namespace

int CNtfsIndexReader::ParseNode(const uint8_t* node, uint32_t nodeBytes, std::vector<tagDirEntryInfo>& list)
{
    Ntfs::IndexNodeWalker walker(node, nodeBytes);
    Ntfs::IndexEntry entry;
    while (walker.Next(&entry)) {
        const tagDirEntryInfo info = EntryInfo(entry);
        if (info.recordNumber != Ntfs::kRecordNumberMask && info.recordNumber >= Ntfs::kFirstUserRecord &&
            info.hasName && !info.dosName)
            list.push_back(info);
    }
    return walker.Damaged() ? ERR_PART_INFO : 0;
}

int CNtfsIndexReader::ParseBlocks(const std::vector<uint8_t>& allocation, const std::vector<uint8_t>& inUse,
                                  uint32_t blockBytes, std::vector<tagDirEntryInfo>& list)
{
    std::vector<uint8_t> block(blockBytes);
    for (uint64_t n = 0; (n + 1) * blockBytes <= allocation.size(); ++n) {
        // A block the index no longer uses may still hold old entries.
        if (!Ntfs::BitSet(inUse, n))
            continue;
        std::memcpy(block.data(), allocation.data() + n * blockBytes, blockBytes);
        switch (Ntfs::PrepareIndexBlock(block.data(), blockBytes)) {
        case Ntfs::IndexBlockStatus::Ok:
            break;
        case Ntfs::IndexBlockStatus::BadFixup:
            DEBUG_TRACE("Index Block parse error: Update Sequence Number\n");
            return kBadIndexBlock;
        default:
            DEBUG_TRACE("Index Block parse error: Magic mismatch\n");
            return kBadIndexBlock;
        }
        const int result = ParseNode(block.data() + Ntfs::kIndexBlockHeaderBytes,
                                     blockBytes - Ntfs::kIndexBlockHeaderBytes, list);
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
        if (!Ntfs::IsFileNameIndex(attr))
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
            result =
                ParseNode(value + Ntfs::kIndexRootHeaderBytes, length - Ntfs::kIndexRootHeaderBytes, list);
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
