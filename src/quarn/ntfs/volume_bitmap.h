// The volume bitmap ($Bitmap) of a restored NTFS partition, built up as the
// restore hands out clusters.
#ifndef QUARN_NTFS_VOLUME_BITMAP_H
#define QUARN_NTFS_VOLUME_BITMAP_H

#include <cstdint>
#include <vector>

class CResBitmap {
public:
    CResBitmap() = default;
    virtual ~CResBitmap() = default;

    // Sized for `clusters` clusters: the bytes rounded up to whole clusters
    // (allocated size) and to a multiple of 8 (used size); the bits past the
    // last cluster, up to the used size, are set. ERR_NO_MEMORY on failure.
    int Initialize(unsigned long long clusters, unsigned int clusterBytes);
    // Sets bits first .. first + count - 1. ERR_PART_TOO_SMALL (nothing set)
    // when the run passes the last cluster.
    int SetBitMap(unsigned long long first, unsigned long long count);
    // A run of at most 8 bits.
    int SetSmallBitMap(unsigned long long first, int count);
    bool IsSet(unsigned long long cluster) const;
    // The first clear (or set) cluster in [from, end), or end when none.
    uint64_t NextClear(uint64_t from, uint64_t end) const;
    uint64_t NextSet(uint64_t from, uint64_t end) const;

    const unsigned char* Bytes() const { return m_bits.data(); }
    uint64_t AllocatedSize() const { return m_allocatedSize; }
    uint64_t UsedSize() const { return m_usedSize; }
    uint64_t Lcn() const { return m_lcn; }
    void SetLcn(uint64_t lcn) { m_lcn = lcn; }

private:
    std::vector<unsigned char> m_bits;
    uint64_t m_allocatedSize = 0;
    uint64_t m_usedSize = 0;
    uint64_t m_clusters = 0;
    uint64_t m_lcn = 0;
};

#endif
