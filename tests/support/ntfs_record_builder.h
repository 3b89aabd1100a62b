// Hand-made MFT file records and index nodes for the NTFS reader's tests:
// a record of 1024 bytes (two strides) with its update sequence at 48 and
// attributes from 56, attributes appended one after another, and index
// nodes built entry by entry. Finish() applies the fixup as a disk holds it.
#ifndef TEST_SUPPORT_NTFS_RECORD_BUILDER_H
#define TEST_SUPPORT_NTFS_RECORD_BUILDER_H

#include "fslayout/ntfs_layout.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

class NtfsRecordBuilder {
public:
    static constexpr uint32_t kBytes = 1024;
    static constexpr uint16_t kUsaOffset = 48;
    static constexpr uint16_t kFirstAttribute = 56;
    static constexpr uint16_t kSequenceNumber = 0x0A0B;

    NtfsRecordBuilder() : m_bytes(kBytes, 0)
    {
        auto* header = reinterpret_cast<tagFILE_RECORD_HEADER*>(m_bytes.data());
        header->magic = Ntfs::kFileMagic;
        header->usaOffset = kUsaOffset;
        header->usaCount = kBytes / Ntfs::kUpdateSequenceStride + 1;
        header->attrsOffset = kFirstAttribute;
        header->flags = Ntfs::kRecordInUse;
        header->bytesAllocated = kBytes;
        m_end = kFirstAttribute;
        WriteEnd();
    }

    // A resident attribute with `value` and an optional UTF-16 name.
    NtfsRecordBuilder& Resident(uint32_t type, const std::vector<uint8_t>& value,
                                const std::u16string& name = std::u16string())
    {
        const uint32_t nameBytes = uint32_t(name.size() * 2);
        const uint32_t valueOffset = Round8(Ntfs::kResidentHeaderBytes + nameBytes);
        std::vector<uint8_t> attr(Round8(valueOffset + uint32_t(value.size())), 0);
        auto* header = reinterpret_cast<tagRECORD_ATTR*>(attr.data());
        header->type = type;
        header->length = uint32_t(attr.size());
        header->nameLength = uint8_t(name.size());
        header->nameOffset = name.empty() ? 0 : uint16_t(Ntfs::kResidentHeaderBytes);
        header->resident.valueLength = uint32_t(value.size());
        header->resident.valueOffset = uint16_t(valueOffset);
        std::memcpy(attr.data() + Ntfs::kResidentHeaderBytes, name.data(), nameBytes);
        std::copy(value.begin(), value.end(), attr.begin() + valueOffset);
        return Raw(attr);
    }

    // A non-resident attribute extent of VCNs lowest..highest with run list
    // `runs`, data size `dataSize` and an optional name.
    NtfsRecordBuilder& NonResident(uint32_t type, uint64_t lowest, uint64_t highest,
                                   const std::vector<uint8_t>& runs, uint64_t dataSize,
                                   const std::u16string& name = std::u16string())
    {
        const uint32_t nameBytes = uint32_t(name.size() * 2);
        const uint32_t runOffset = Round8(Ntfs::kNonResidentHeaderBytes + nameBytes);
        std::vector<uint8_t> attr(Round8(runOffset + uint32_t(runs.size()) + 1), 0);
        auto* header = reinterpret_cast<tagRECORD_ATTR*>(attr.data());
        header->type = type;
        header->length = uint32_t(attr.size());
        header->nonResident = 1;
        header->nameLength = uint8_t(name.size());
        header->nameOffset = name.empty() ? 0 : uint16_t(Ntfs::kNonResidentHeaderBytes);
        header->nonRes.lowestVcn = lowest;
        header->nonRes.highestVcn = highest;
        header->nonRes.runListOffset = uint16_t(runOffset);
        header->nonRes.allocatedSize = (highest + 1 - lowest) * 4096;
        header->nonRes.dataSize = dataSize;
        header->nonRes.initializedSize = dataSize;
        std::memcpy(attr.data() + Ntfs::kNonResidentHeaderBytes, name.data(), nameBytes);
        std::copy(runs.begin(), runs.end(), attr.begin() + runOffset);
        return Raw(attr);
    }

    // Bytes as given, for attributes whose header lies about itself.
    NtfsRecordBuilder& Raw(const std::vector<uint8_t>& attr)
    {
        std::memcpy(m_bytes.data() + m_end, attr.data(), attr.size());
        m_end += uint32_t(attr.size());
        WriteEnd();
        return *this;
    }

    // The offset the next attribute goes to.
    uint32_t End() const { return m_end; }

    // The record as it lies on disk: the update sequence applied.
    std::vector<uint8_t> Finish() const
    {
        std::vector<uint8_t> bytes = m_bytes;
        std::memcpy(bytes.data() + kUsaOffset, &kSequenceNumber, 2);
        Ntfs::ApplyFixup(bytes.data(), kBytes);
        return bytes;
    }

    // The record with its update sequence already undone.
    const std::vector<uint8_t>& Plain() const { return m_bytes; }

    static uint32_t Round8(uint32_t n) { return (n + 7) & ~7u; }

private:
    void WriteEnd()
    {
        const uint32_t end = Ntfs::ATTR_END;
        std::memcpy(m_bytes.data() + m_end, &end, 4);
        reinterpret_cast<tagFILE_RECORD_HEADER*>(m_bytes.data())->bytesInUse = m_end + 8;
    }

    std::vector<uint8_t> m_bytes;
    uint32_t m_end;
};

// An index node: its 16-byte header, then entries, the last one ending it.
class NtfsIndexNodeBuilder {
public:
    NtfsIndexNodeBuilder() : m_bytes(sizeof(tagINDEX_HEADER), 0) {}

    // An entry naming `name` in record `record` (a $FILE_NAME key).
    NtfsIndexNodeBuilder& Entry(uint64_t record, const std::u16string& name, bool directory = false,
                                uint8_t nameSpace = 1)
    {
        std::vector<uint8_t> key(offsetof(tagATTR_FILE_NAME, name) + name.size() * 2, 0);
        auto* fileName = reinterpret_cast<tagATTR_FILE_NAME*>(key.data());
        fileName->parentReference = Ntfs::kRootRecord;
        fileName->flags = directory ? Ntfs::kFileNameIsDirectory : 0;
        fileName->nameLength = uint8_t(name.size());
        fileName->nameSpace = nameSpace;
        std::memcpy(key.data() + offsetof(tagATTR_FILE_NAME, name), name.data(), name.size() * 2);
        return RawEntry(record, key, 0);
    }

    // An entry with `key` and `flags`; with kIndexEntryHasSubNode (0x01) the
    // entry ends with `subNodeVcn`.
    NtfsIndexNodeBuilder& RawEntry(uint64_t reference, const std::vector<uint8_t>& key, uint16_t flags,
                                   uint64_t subNodeVcn = 0)
    {
        const bool subNode = (flags & 0x0001) != 0;
        const uint32_t length =
            NtfsRecordBuilder::Round8(uint32_t(sizeof(tagINDEX_ENTRY_HEADER) + key.size())) +
            (subNode ? 8 : 0);
        std::vector<uint8_t> entry(length, 0);
        tagINDEX_ENTRY_HEADER header{};
        header.fileReference = reference;
        header.length = uint16_t(length);
        header.keyLength = uint16_t(key.size());
        header.flags = flags;
        std::memcpy(entry.data(), &header, sizeof header);
        std::copy(key.begin(), key.end(), entry.begin() + sizeof header);
        if (subNode)
            std::memcpy(entry.data() + length - 8, &subNodeVcn, 8);
        m_entryOffsets.push_back(uint32_t(m_bytes.size()));
        m_bytes.insert(m_bytes.end(), entry.begin(), entry.end());
        return *this;
    }

    NtfsIndexNodeBuilder& Last(uint16_t flags = Ntfs::kIndexEntryLast, uint64_t subNodeVcn = 0)
    {
        return RawEntry(0, {}, uint16_t(flags | Ntfs::kIndexEntryLast), subNodeVcn);
    }

    // The node with its header filled in; `slack` unused bytes after the entries.
    std::vector<uint8_t> Finish(uint32_t slack = 0) const
    {
        std::vector<uint8_t> bytes = m_bytes;
        bytes.resize(bytes.size() + slack, 0);
        tagINDEX_HEADER header{};
        header.entriesOffset = sizeof header;
        header.indexLength = uint32_t(m_bytes.size());
        header.allocatedSize = uint32_t(bytes.size());
        std::memcpy(bytes.data(), &header, sizeof header);
        return bytes;
    }

    // Where entry n starts in the node.
    uint32_t EntryOffset(size_t n) const { return m_entryOffsets.at(n); }

private:
    std::vector<uint8_t> m_bytes;
    std::vector<uint32_t> m_entryOffsets;
};

}  // namespace testsupport

#endif
