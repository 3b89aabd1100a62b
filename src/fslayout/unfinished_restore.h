// The mark a restore leaves in a target's first sector before it writes
// anything else: the old file system is gone from then on, and until the
// real boot sector goes on last the target says what it holds, to people
// and to the programs that list partitions, instead of looking empty or,
// worse, like the old volume.
#ifndef FSLAYOUT_UNFINISHED_RESTORE_H
#define FSLAYOUT_UNFINISHED_RESTORE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace UnfinishedRestore {

// At offset 3, where a boot sector names its file system; with no jump
// instruction before it and no boot signature at the sector's end, no file
// system is recognised in such a sector.
constexpr char kMark[] = "SORVIK UNFINISHED RESTORE";
constexpr size_t kMarkOffset = 3;
constexpr size_t kMarkBytes = sizeof kMark - 1;
constexpr size_t kSectorBytes = 512;

// A first sector of `bytes` (at least kSectorBytes): zeros and the mark.
inline void MarkSector(uint8_t* sector, size_t bytes)
{
    std::fill(sector, sector + bytes, uint8_t(0));
    std::memcpy(sector + kMarkOffset, kMark, kMarkBytes);
}

inline bool IsMarked(const uint8_t* sector, size_t bytes)
{
    return bytes >= kSectorBytes && std::memcmp(sector + kMarkOffset, kMark, kMarkBytes) == 0;
}

}  // namespace UnfinishedRestore

#endif
