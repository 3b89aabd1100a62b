#include "platform/windows_engine/ntfs_volume_reader.h"

#include "fslayout/ntfs/ntfs_record.h"
#include "quarn/api/quarn.h"

#include <cstring>
#include <memory>

int CNtfsVolumeReader::Open()
{
    tagNTFS_BOOT_SECTOR boot{};
    if (m_part.pRead(0, &boot, sizeof boot) != int64_t(sizeof boot))
        return ERR_READ_PART;
    if (!Ntfs::ReadBootGeometry(boot, &m_geometry) ||
        m_geometry.fileRecordBytes < Ntfs::kUpdateSequenceStride ||
        m_geometry.fileRecordBytes > Ntfs::kMaxRecordBytes || m_geometry.mftLcn >= m_geometry.clusterCount)
        return ERR_PART_INFO;
    m_mftRecord.assign(m_geometry.fileRecordBytes, 0);
    const uint64_t at = m_geometry.mftLcn * m_geometry.clusterBytes;
    if (m_part.pRead(int64_t(at), m_mftRecord.data(), int64_t(m_mftRecord.size())) !=
        int64_t(m_mftRecord.size()))
        return ERR_READ_PART;
    if (Ntfs::PrepareRecord(m_mftRecord.data(), uint32_t(m_mftRecord.size())) != Ntfs::RecordStatus::Ok)
        return ERR_PART_INFO;
    const tagRECORD_ATTR* data =
        Ntfs::FindUnnamed(m_mftRecord.data(), uint32_t(m_mftRecord.size()), Ntfs::ATTR_DATA);
    if (data == nullptr || !data->nonResident)
        return ERR_PART_INFO;
    m_mft = std::make_unique<CAttrReadData>(&m_part, data, m_geometry.clusterBytes, m_geometry.clusterCount);
    return m_mft->ParseDataRunList() == 0 ? 0 : ERR_PART_INFO;
}

uint64_t CNtfsVolumeReader::RecordCount() const
{
    return m_mft && m_geometry.fileRecordBytes != 0 ? m_mft->ExtentBytes() / m_geometry.fileRecordBytes : 0;
}

int CNtfsVolumeReader::ReadRecord(uint64_t record, std::vector<uint8_t>* bytes)
{
    if (!m_mft || record >= RecordCount())
        return ERR_PART_INFO;
    bytes->assign(m_geometry.fileRecordBytes, 0);
    unsigned got = 0;
    if (m_mft->AttrReadData(record * m_geometry.fileRecordBytes, bytes->data(), unsigned(bytes->size()),
                            &got) != 0 ||
        got != bytes->size())
        return ERR_READ_PART;
    if (Ntfs::PrepareRecord(bytes->data(), uint32_t(bytes->size())) != Ntfs::RecordStatus::Ok)
        return ERR_PART_INFO;
    return 0;
}

int CNtfsVolumeReader::ReadValue(const tagRECORD_ATTR* attr, std::vector<uint8_t>* value)
{
    value->clear();
    if (!attr->nonResident) {
        const uint8_t* begin = Ntfs::ResidentValue(attr);
        value->assign(begin, begin + attr->resident.valueLength);
        return 0;
    }
    const uint64_t size = attr->nonRes.dataSize;
    if (size > kMaxValueBytes)
        return ERR_NO_MEMORY;
    CAttrReadData reader(&m_part, attr, m_geometry.clusterBytes, m_geometry.clusterCount);
    if (reader.ParseDataRunList() != 0)
        return ERR_PART_INFO;
    try {
        value->assign(size_t(size), 0);
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    constexpr unsigned kPiece = 1u << 20;
    for (uint64_t done = 0; done < size;) {
        const unsigned ask = unsigned(std::min<uint64_t>(kPiece, size - done));
        unsigned got = 0;
        if (reader.AttrReadData(done, value->data() + done, ask, &got) != 0 || got != ask)
            return ERR_READ_PART;
        done += got;
    }
    return 0;
}
