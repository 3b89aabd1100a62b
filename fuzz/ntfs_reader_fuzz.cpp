// The NTFS reader over any bytes: as a file record (fixups, attribute
// look-up, the index node of its $INDEX_ROOT), as an index node and an index
// block, and as a volume whose $Bitmap record is the input's start. Damage
// must come out as a named status, never a read past the input.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fslayout/ntfs/ntfs_bits.h"
#include "fslayout/ntfs/ntfs_index.h"
#include "fslayout/ntfs/ntfs_record.h"
#include "fslayout/ntfs/ntfs_used_clusters.h"

namespace {

class InputVolume : public Ntfs::VolumeSource {
public:
    InputVolume(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool ReadAt(std::uint64_t offset, void* buffer, std::uint64_t length) const override
    {
        if (offset > m_size || length > m_size - offset)
            return false;
        std::memcpy(buffer, m_data + offset, length);
        return true;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

void WalkNode(const std::uint8_t* node, std::uint32_t bytes)
{
    Ntfs::IndexNodeWalker walker(node, bytes);
    Ntfs::IndexEntry entry;
    volatile std::uint64_t sink = 0;
    while (walker.Next(&entry))
        sink = sink + entry.fileReference + entry.key->nameLength + entry.subNodeVcn;
}

void ReadAsRecord(const std::uint8_t* data, std::size_t size)
{
    // Exactly the input's bytes, so that a read past them is caught.
    std::vector<std::uint8_t> record(data, data + size);
    const auto bytes = std::uint32_t(std::min<std::size_t>(size, Ntfs::kMaxRecordBytes));
    if (size == 0)
        return;
    Ntfs::PrepareRecord(record.data(), bytes);
    for (std::uint32_t type : {Ntfs::ATTR_DATA, Ntfs::ATTR_BITMAP, Ntfs::ATTR_INDEX_ROOT})
        Ntfs::FindUnnamed(record.data(), bytes, type, record.size() > 8 ? record[8] : 0);
    Ntfs::AttributeWalker walker(record.data(), bytes);
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (!Ntfs::IsFileNameIndex(attr) || attr->type != Ntfs::ATTR_INDEX_ROOT || attr->nonResident ||
            attr->resident.valueLength < Ntfs::kIndexRootHeaderBytes)
            continue;
        WalkNode(Ntfs::ResidentValue(attr) + Ntfs::kIndexRootHeaderBytes,
                 attr->resident.valueLength - Ntfs::kIndexRootHeaderBytes);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    ReadAsRecord(data, size);

    std::vector<std::uint8_t> node(data, data + size);
    WalkNode(node.data(), std::uint32_t(node.size()));

    std::vector<std::uint8_t> block(data, data + size);
    if (Ntfs::PrepareIndexBlock(block.data(), std::uint32_t(block.size())) == Ntfs::IndexBlockStatus::Ok)
        WalkNode(block.data() + Ntfs::kIndexBlockHeaderBytes,
                 std::uint32_t(block.size() - Ntfs::kIndexBlockHeaderBytes));

    // A volume of 512-byte clusters whose first bytes are $Bitmap's record
    // (fixups undone or not): its bitmap is read from the input itself.
    Ntfs::BootGeometry geometry;
    geometry.sectorBytes = 512;
    geometry.clusterBytes = 512;
    geometry.clusterCount = std::max<std::uint64_t>(1, std::uint64_t(size) * 8);
    geometry.fileRecordBytes = 1024;
    const InputVolume volume(data, size);
    std::vector<std::uint8_t> bitmapRecord(data, data + size);
    const auto recordBytes = std::uint32_t(std::min<std::size_t>(size, Ntfs::kMaxRecordBytes));
    if (size > 0 && (size < 2 || (data[1] & 1) != 0))
        Ntfs::PrepareRecord(bitmapRecord.data(), recordBytes);
    std::uint64_t clusters = 0;
    if (size > 0)
        Ntfs::CountUsedClusters(volume, geometry, bitmapRecord.data(), recordBytes, &clusters);
    return 0;
}
