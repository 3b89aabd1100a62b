#include "fslayout/ntfs/ntfs_used_clusters.h"

#include "fslayout/ntfs/ntfs_bits.h"
#include "fslayout/ntfs/ntfs_record.h"
#include "fslayout/ntfs/ntfs_runs.h"

#include <algorithm>

bool Ntfs::StreamReader::Load(const tagRECORD_ATTR* attr)
{
    m_runs.clear();
    if (m_geometry.clusterBytes == 0 || !attr->nonResident || attr->nonRes.lowestVcn != 0)
        return false;
    return DecodeRunList(attr, &m_runs) == RunListStatus::Ok &&
           CheckRuns(m_runs, ExtentClusters(attr), m_geometry.clusterBytes, m_geometry.clusterCount) ==
               RunsCheck::Ok;
}

bool Ntfs::StreamReader::Read(uint64_t offset, uint8_t* out, uint64_t length) const
{
    return ReadRuns(
        m_runs, m_geometry.clusterBytes, offset, out, length,
        [this](uint64_t at, uint8_t* into, uint64_t bytes) { return m_source.ReadAt(at, into, bytes); });
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
