// The digest an NTFS image's record section keeps of each MFT record, and
// the test that a record read back from the image's stream is the record
// the backup summarised. One rule for the backup that writes the digest and
// the restore that checks it.
#ifndef QUARN_NTFS_RECORD_DIGEST_H
#define QUARN_NTFS_RECORD_DIGEST_H

#include "quarn/api/image_format.h"

#include <cstdint>

namespace RecordDigest {

// The first eight bytes of the MD5 of a record's bytes, update sequence
// undone: the digest of the images before content digests.
uint64_t Of(const uint8_t* record, uint32_t size);

// The same of the record with what reading a file changes put to zero: the
// access times of its $STANDARD_INFORMATION and $FILE_NAME attributes, its
// update sequence number and its log sequence number. Everything a change
// of content changes still counts (modification and MFT-change times,
// sizes, run lists, names, flags, resident data). The digest of images
// whose trailer carries ImageFormat::kFormatFlagContentDigests.
uint64_t OfContent(const uint8_t* record, uint32_t size);

// Whether a record as the stream holds it (update sequence in place) is the
// one its summary entry describes. Every writer's entries are accepted:
// - all zero: the backup found the record free or without its magic and
//   summarised nothing, so nothing can be proved;
// - the record digest (offset 1), either kind, whatever offset 9 holds (0,
//   or the data digest of the versions that kept one);
// - the oldest images' creation and modification times of the record's
//   last $STANDARD_INFORMATION (0 and 0 without one), which prove no more
//   than those times.
// A non-zero entry always stood for a record with its magic and a sound
// update sequence.
bool Matches(const uint8_t* stored, uint32_t size, const tagFileRecordInfo& entry);

}  // namespace RecordDigest

#endif
