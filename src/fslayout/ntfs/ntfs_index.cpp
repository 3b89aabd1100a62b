#include "fslayout/ntfs/ntfs_index.h"

#include <cstring>

Ntfs::IndexNodeWalker::IndexNodeWalker(const uint8_t* node, uint32_t nodeBytes) : m_node(node)
{
    tagINDEX_HEADER header;
    if (node == nullptr || nodeBytes < sizeof header) {
        Stop(true);
        return;
    }
    std::memcpy(&header, node, sizeof header);
    if (header.indexLength > nodeBytes || header.entriesOffset < sizeof header ||
        header.entriesOffset > header.indexLength) {
        Stop(true);
        return;
    }
    m_used = header.indexLength;
    m_at = header.entriesOffset;
}

bool Ntfs::IndexNodeWalker::Stop(bool damaged)
{
    m_done = true;
    m_damaged = damaged;
    return false;
}

bool Ntfs::IndexNodeWalker::Next(IndexEntry* entry)
{
    if (m_done)
        return false;
    *entry = IndexEntry();
    // A node ends with its last entry: running out of bytes before it is damage.
    tagINDEX_ENTRY_HEADER header;
    if (m_used - m_at < sizeof header)
        return Stop(true);
    const uint8_t* at = m_node + m_at;
    std::memcpy(&header, at, sizeof header);
    if (header.length < sizeof header || (header.length & 7) != 0 || header.length > m_used - m_at ||
        sizeof header + header.keyLength > header.length)
        return Stop(true);
    entry->hasSubNode = (header.flags & kIndexEntryHasSubNode) != 0;
    if (entry->hasSubNode) {
        if (header.length < sizeof header + 8 + header.keyLength)
            return Stop(true);
        std::memcpy(&entry->subNodeVcn, at + header.length - 8, 8);
    }
    if ((header.flags & kIndexEntryLast) != 0)
        return Stop(false);
    if (header.keyLength < offsetof(tagATTR_FILE_NAME, name))
        return Stop(true);
    const auto* key = reinterpret_cast<const tagATTR_FILE_NAME*>(at + sizeof header);
    if (offsetof(tagATTR_FILE_NAME, name) + 2u * key->nameLength > header.keyLength)
        return Stop(true);
    entry->fileReference = header.fileReference;
    entry->key = key;
    entry->keyBytes = header.keyLength;
    m_at += header.length;
    return true;
}

Ntfs::IndexBlockStatus Ntfs::PrepareIndexBlock(uint8_t* block, uint32_t blockBytes)
{
    if (block == nullptr || blockBytes < kIndexBlockHeaderBytes + sizeof(tagINDEX_HEADER))
        return IndexBlockStatus::TooShort;
    uint32_t magic;
    std::memcpy(&magic, block, 4);
    if (magic != kIndexBlockMagic)
        return IndexBlockStatus::NoIndexMagic;
    if (!RemoveFixup(block, blockBytes))
        return IndexBlockStatus::BadFixup;
    return IndexBlockStatus::Ok;
}
