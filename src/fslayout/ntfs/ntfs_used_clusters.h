// The clusters an NTFS volume uses: the bits set in the unnamed $DATA of
// $Bitmap (record 6) below the volume's cluster count, read through the
// attribute's run list from any source of the volume's bytes.
#ifndef FSLAYOUT_NTFS_NTFS_USED_CLUSTERS_H
#define FSLAYOUT_NTFS_NTFS_USED_CLUSTERS_H

#include "fslayout/ntfs_layout.h"

#include <cstdint>
#include <vector>

namespace Ntfs {

// Where the volume's bytes come from: a device, an image file, a buffer.
class VolumeSource {
public:
    virtual ~VolumeSource() = default;
    // False unless all length bytes at offset (from the volume's start) were read.
    virtual bool ReadAt(uint64_t offset, void* buffer, uint64_t length) const = 0;
};

// The bytes of one non-resident attribute extent that starts at VCN 0,
// read through its runs; a sparse run reads as zeros.
class StreamReader {
public:
    StreamReader(const VolumeSource& source, const BootGeometry& geometry)
        : m_source(source), m_geometry(geometry)
    {}

    // False when the attribute is resident, is not the stream's first
    // extent, or its run list does not decode, is empty, leaves the volume
    // or spans more bytes than 63 bits count (CheckRuns).
    bool Load(const tagRECORD_ATTR* attr);
    // False when a byte lies past the runs or the source fails to read.
    bool Read(uint64_t offset, uint8_t* out, uint64_t length) const;

private:
    const VolumeSource& m_source;
    BootGeometry m_geometry;
    std::vector<tagDataRunList> m_runs;
};

enum class UsedStatus { Ok, NoBitmapData, BadRunList, ReadFailed };

// The used clusters from $Bitmap's record (fixups already undone): the set
// bits of its unnamed $DATA below geometry.clusterCount. Bits the stream
// does not reach count as free.
UsedStatus CountUsedClusters(const VolumeSource& source, const BootGeometry& geometry,
                             const uint8_t* bitmapRecord, uint32_t recordBytes, uint64_t* clusters);

}  // namespace Ntfs

#endif
