#include "quarn/ntfs/volume_bitmap.h"

#include "quarn/api/quarn.h"

#include <algorithm>
#include <new>

int CResBitmap::Initialize(unsigned long long clusters, unsigned int clusterBytes)
{
    if (clusterBytes == 0)
        return ERR_PART_INFO;
    uint64_t bytes = (clusters + 7) / 8;
    m_allocatedSize = (bytes + clusterBytes - 1) / clusterBytes * clusterBytes;
    m_usedSize = (bytes + 7) / 8 * 8;
    m_clusters = clusters;
    try {
        m_bits.assign(m_allocatedSize, 0);
    } catch (const std::bad_alloc&) {
        DEBUG_TRACE("Allocate memory for Bitmap(size: %d) failed!\n", static_cast<int>(m_allocatedSize));
        return ERR_NO_MEMORY;
    }
    for (uint64_t bit = clusters; bit < m_usedSize * 8; ++bit)
        m_bits[bit / 8] |= static_cast<unsigned char>(1u << (bit % 8));
    return 0;
}

int CResBitmap::SetBitMap(unsigned long long first, unsigned long long count)
{
    if (first > m_clusters || count > m_clusters - first)
        return ERR_PART_TOO_SMALL;
    uint64_t bit = first;
    uint64_t end = first + count;
    while (bit < end && bit % 8 != 0) {
        m_bits[bit / 8] |= static_cast<unsigned char>(1u << (bit % 8));
        ++bit;
    }
    while (end - bit >= 8) {
        m_bits[bit / 8] = 0xFF;
        bit += 8;
    }
    while (bit < end) {
        m_bits[bit / 8] |= static_cast<unsigned char>(1u << (bit % 8));
        ++bit;
    }
    return 0;
}

int CResBitmap::SetSmallBitMap(unsigned long long first, int count)
{
    if (count < 0 || count > 8)
        return ERR_PART_INFO;
    return SetBitMap(first, static_cast<unsigned long long>(count));
}

bool CResBitmap::IsSet(unsigned long long cluster) const
{
    return cluster < m_clusters && (m_bits[cluster / 8] >> (cluster % 8) & 1) != 0;
}

namespace {

// The first bit in [from, end) that equals `wanted`, else end; whole bytes
// without such a bit are stepped over at once.
uint64_t NextWithBit(const std::vector<unsigned char>& bits, uint64_t from, uint64_t end, bool wanted)
{
    const unsigned char skipByte = wanted ? 0x00 : 0xFF;
    uint64_t bit = from;
    while (bit < end) {
        if (bit % 8 == 0 && end - bit >= 8 && bits[bit / 8] == skipByte) {
            bit += 8;
            continue;
        }
        if (((bits[bit / 8] >> (bit % 8) & 1) != 0) == wanted)
            return bit;
        ++bit;
    }
    return end;
}

}  // namespace

uint64_t CResBitmap::NextClear(uint64_t from, uint64_t end) const
{
    uint64_t limit = std::min<uint64_t>(end, m_clusters);
    uint64_t found = from < limit ? NextWithBit(m_bits, from, limit, false) : limit;
    return found < limit ? found : end;
}

uint64_t CResBitmap::NextSet(uint64_t from, uint64_t end) const
{
    uint64_t limit = std::min<uint64_t>(end, m_clusters);
    uint64_t found = from < limit ? NextWithBit(m_bits, from, limit, true) : limit;
    return found < limit ? found : end;
}
