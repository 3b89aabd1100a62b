// An MFT file record as read from disk: its "FILE" magic and update
// sequence checked and undone, and the look-up of its attributes.
#ifndef FSLAYOUT_NTFS_NTFS_RECORD_H
#define FSLAYOUT_NTFS_NTFS_RECORD_H

#include "fslayout/ntfs_layout.h"

#include <cstdint>

namespace Ntfs {

enum class RecordStatus { Ok, TooShort, NoFileMagic, BadFixup };

// Checks the record's "FILE" magic and undoes its update sequence. On any
// status but Ok the record's bytes are left as they were.
RecordStatus PrepareRecord(uint8_t* record, uint32_t recordBytes);

// The first attribute of `type` without a name whose extent starts at
// `lowestVcn` (a resident attribute starts at 0) in a prepared record, or
// null. The unnamed $DATA is a file's own data stream; at VCN 0 its first
// extent, the one that carries the stream's sizes. A damaged attribute
// ends the search as the record's end does.
const tagRECORD_ATTR* FindUnnamed(const uint8_t* record, uint32_t recordBytes, uint32_t type,
                                  uint64_t lowestVcn = 0);

// Directories keep their file-name index in attributes named "$I30". The
// attribute must be one that AttributeWalker yielded.
bool IsFileNameIndex(const tagRECORD_ATTR* attr);

}  // namespace Ntfs

#endif
