// The entries of a directory's file-name index: the node in $INDEX_ROOT
// and the index blocks ("INDX") of $INDEX_ALLOCATION.
#ifndef FSLAYOUT_NTFS_NTFS_INDEX_H
#define FSLAYOUT_NTFS_NTFS_INDEX_H

#include "fslayout/ntfs_layout.h"

#include <cstdint>

namespace Ntfs {

constexpr uint16_t kIndexEntryHasSubNode = 0x0001;

// One entry that names a file. Its key, a $FILE_NAME value, lies whole
// inside the node with its name.
struct IndexEntry {
    uint64_t fileReference = 0;  // low 48 bits: record number
    bool hasSubNode = false;
    uint64_t subNodeVcn = ~0ull;  // the entry's last 8 bytes when it has a sub node
    const tagATTR_FILE_NAME* key = nullptr;
    uint32_t keyBytes = 0;
};

// Steps through the entries of one index node: `node` is its header (after
// the 16-byte root header in $INDEX_ROOT, at offset 24 of an index block).
// Every step moves on by a whole entry, a multiple of 8 bytes, inside the
// bytes the node uses, so damage cannot loop or overrun. Next() yields the
// entries before the last one (which names no file); damage ends the walk
// and Damaged() tells it apart from the last entry.
class IndexNodeWalker {
public:
    IndexNodeWalker(const uint8_t* node, uint32_t nodeBytes);

    bool Next(IndexEntry* entry);
    bool Damaged() const { return m_damaged; }

private:
    bool Stop(bool damaged);

    const uint8_t* m_node;
    uint32_t m_used = 0;  // bytes of the node in use
    uint32_t m_at = 0;
    bool m_done = false;
    bool m_damaged = false;
};

enum class IndexBlockStatus { Ok, TooShort, NoIndexMagic, BadFixup };

// Checks an index block's "INDX" magic and undoes its update sequence; on
// any status but Ok the block is left as it was. Its node then starts at
// kIndexBlockHeaderBytes.
IndexBlockStatus PrepareIndexBlock(uint8_t* block, uint32_t blockBytes);

}  // namespace Ntfs

#endif
