#include "fslayout/ntfs/ntfs_used_clusters.h"

#include "fslayout/ntfs/ntfs_bits.h"
#include "fslayout/ntfs/ntfs_record.h"

#include <algorithm>

bool Ntfs::StreamReader::Load(const tagRECORD_ATTR* attr)
{
    m_runs.clear();
    if (m_geometry.clusterBytes == 0 || !attr->nonResident || attr->nonRes.lowestVcn != 0)
        return false;
    return DecodeRunList(attr, &m_runs) == RunListStatus::Ok && !m_runs.empty() &&
           RunsWithinVolume(m_runs, m_geometry.clusterCount);
}

const tagDataRunList* Ntfs::StreamReader::Find(uint64_t vcn) const
{
    for (const auto& run : m_runs) {
        if (vcn >= run.firstVcn && vcn <= run.lastVcn)
            return &run;
    }
    return nullptr;
}

bool Ntfs::StreamReader::Read(uint64_t offset, uint8_t* out, uint64_t length) const
{
    const uint64_t clusterBytes = m_geometry.clusterBytes;
    while (length > 0) {
        const tagDataRunList* run = Find(offset / clusterBytes);
        if (run == nullptr)
            return false;
        uint64_t runEnd = UINT64_MAX;
        if (run->lastVcn < UINT64_MAX / clusterBytes)
            runEnd = (run->lastVcn + 1) * clusterBytes;
        const uint64_t piece = std::min(length, runEnd - offset);
        if (run->lcn < 0) {
            std::fill(out, out + piece, 0);
        } else {
            uint64_t at = 0;
            if (__builtin_mul_overflow(uint64_t(run->lcn), clusterBytes, &at) ||
                __builtin_add_overflow(at, offset - run->firstVcn * clusterBytes, &at) ||
                !m_source.ReadAt(at, out, piece))
                return false;
        }
        out += piece;
        offset += piece;
        length -= piece;
    }
    return true;
}

Ntfs::UsedStatus Ntfs::CountUsedClusters(const VolumeSource& source, const BootGeometry& geometry,
                                         const uint8_t* bitmapRecord, uint32_t recordBytes,
                                         uint64_t* clusters)
{
    const tagRECORD_ATTR* bitmap = FindUnnamed(bitmapRecord, recordBytes, ATTR_DATA);
    if (bitmap == nullptr)
        return UsedStatus::NoBitmapData;
    const uint64_t neededBytes = (geometry.clusterCount + 7) / 8;
    if (!bitmap->nonResident) {
        const uint64_t bytes = std::min<uint64_t>(bitmap->resident.valueLength, neededBytes);
        *clusters = CountSetBits(ResidentValue(bitmap), bytes, 0, geometry.clusterCount);
        return UsedStatus::Ok;
    }
    StreamReader stream(source, geometry);
    if (!stream.Load(bitmap))
        return UsedStatus::BadRunList;
    // A copy: the packed header's fields may lie at any address.
    const uint64_t dataSize = bitmap->nonRes.dataSize;
    const uint64_t bytes = std::min(dataSize, neededBytes);
    std::vector<uint8_t> chunk(1 << 16);
    uint64_t set = 0;
    for (uint64_t offset = 0; offset < bytes; offset += chunk.size()) {
        const uint64_t piece = std::min<uint64_t>(chunk.size(), bytes - offset);
        if (!stream.Read(offset, chunk.data(), piece))
            return UsedStatus::ReadFailed;
        set += CountSetBits(chunk.data(), piece, offset * 8, geometry.clusterCount);
    }
    *clusters = set;
    return UsedStatus::Ok;
}
