// Test edits of a volume's check record. ResealVolume gives a volume whose
// bytes a test changed on purpose a check record that agrees with them
// again, so that the test reaches the reader's own checks of what the bytes
// say (which a real damaged volume never gets past); StripVolumeCheck makes
// an image of the engines before check records.
#ifndef TEST_SUPPORT_RESEAL_VOLUME_H
#define TEST_SUPPORT_RESEAL_VOLUME_H

#include "quarn/image/volume_check.h"
#include "quarn/api/image_format.h"
#include "support/test_support.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

// Where a volume's bytes `b` hold their check record: the trailer, the
// record's end and its tail. False when there is none where the trailer says.
struct CheckRecordPlace {
    tagBLOCK_END end{};
    uint64_t recordEnd = 0;
    tagVOLUME_CHECK_TAIL tail{};
};

inline bool FindCheckRecord(const std::vector<uint8_t>& b, CheckRecordPlace* at)
{
    if (b.size() < sizeof(tagBLOCK_END))
        return false;
    std::memcpy(&at->end, b.data() + b.size() - sizeof at->end, sizeof at->end);
    at->recordEnd = VolumeCheck::RecordEnd(b.size(), at->end);
    if (at->recordEnd < sizeof at->tail || at->recordEnd > b.size())
        return false;
    std::memcpy(&at->tail, b.data() + at->recordEnd - sizeof at->tail, sizeof at->tail);
    return at->tail.magic == ImageFormat::kVolumeCheckMagic && at->tail.recordBytes <= at->recordEnd;
}

// False when the volume carries no check record where its trailer says.
inline bool ResealVolume(const std::string& path)
{
    std::vector<uint8_t> b = ReadFileBytes(path);
    CheckRecordPlace at;
    if (!FindCheckRecord(b, &at))
        return false;
    const uint64_t recordEnd = at.recordEnd;
    tagVOLUME_CHECK_TAIL& tail = at.tail;
    const uint64_t start = recordEnd - tail.recordBytes;
    tagVOLUME_CHECK_HEAD head{};
    std::memcpy(&head, b.data() + start, sizeof head);
    for (uint32_t i = 0; i < head.blockCount; ++i) {
        const uint64_t from = uint64_t(i) * head.blockBytes;
        const uint64_t length = std::min<uint64_t>(head.blockBytes, start - from);
        const uint64_t digest = VolumeCheck::Digest(b.data() + from, length);
        std::memcpy(b.data() + start + sizeof head + 8 * i, &digest, 8);
    }
    head.endDigest = VolumeCheck::Digest(b.data() + recordEnd, b.size() - recordEnd);
    std::memcpy(b.data() + start, &head, sizeof head);
    tail.recordDigest = VolumeCheck::Digest(b.data() + start, tail.recordBytes - sizeof tail);
    std::memcpy(b.data() + recordEnd - sizeof tail, &tail, sizeof tail);
    WriteFileBytes(path, b);
    return true;
}

// Makes a volume look as the engines before check records wrote it: the
// record cut out, the block start moved back, the trailer's flag cleared.
// False when the volume carries no check record.
inline bool StripVolumeCheck(const std::string& path)
{
    std::vector<uint8_t> b = ReadFileBytes(path);
    CheckRecordPlace at;
    if (!FindCheckRecord(b, &at))
        return false;
    tagBLOCK_END& end = at.end;
    const uint64_t recordEnd = at.recordEnd;
    const tagVOLUME_CHECK_TAIL& tail = at.tail;
    b.erase(b.begin() + long(recordEnd - tail.recordBytes), b.begin() + long(recordEnd));
    const uint64_t blockStart = uint64_t(end.blkStartHigh) << 32 | end.blkStartLow;
    if (blockStart != 0) {
        end.blkStartLow = uint32_t(blockStart - tail.recordBytes);
        end.blkStartHigh = uint32_t((blockStart - tail.recordBytes) >> 32);
    }
    end.spare1 &= uint8_t(~ImageFormat::kFormatFlagVolumeCheck);
    std::memcpy(b.data() + b.size() - sizeof end, &end, sizeof end);
    WriteFileBytes(path, b);
    return true;
}

// Zeroes what a volume's check record holds by chance or by the clock (the
// image id, the digest of the end records with their start time, the
// record's own digest), so that two backups of the same data compare equal.
inline void MaskCheckRecordChance(std::vector<uint8_t>& b)
{
    CheckRecordPlace at;
    if (!FindCheckRecord(b, &at))
        return;
    const uint64_t recordEnd = at.recordEnd;
    const tagVOLUME_CHECK_TAIL& tail = at.tail;
    const uint64_t record = recordEnd - tail.recordBytes;
    for (size_t field : {offsetof(tagVOLUME_CHECK_HEAD, imageId), offsetof(tagVOLUME_CHECK_HEAD, endDigest)})
        std::fill_n(b.begin() + long(record + field), 8, 0);
    std::fill_n(b.begin() + long(recordEnd - sizeof tail), 8, 0);
}

}  // namespace testsupport

#endif
