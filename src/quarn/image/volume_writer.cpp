#include "quarn/image/volume_writer.h"

#include "quarn/api/quarn.h"

#include <cstring>

int CVolumeWriter::Open(const std::string& path, int mode)
{
    m_digester.Reset();
    m_inEndRecords = false;
    m_coveredBytes = 0;
    m_endRecords.clear();
    return m_io.Open(path, mode);
}

int64_t CVolumeWriter::Write(const void* buffer, int64_t length)
{
    if (length <= 0)
        return 0;
    if (m_inEndRecords) {
        const auto* bytes = static_cast<const unsigned char*>(buffer);
        m_endRecords.insert(m_endRecords.end(), bytes, bytes + length);
        return length;
    }
    const int64_t written = m_io.Write(buffer, length);
    if (written == length)
        m_digester.Append(buffer, static_cast<size_t>(length));
    return written;
}

int64_t CVolumeWriter::WritePlaceholder(const void* buffer, int64_t length)
{
    if (m_inEndRecords || length <= 0)
        return 0;
    m_digester.MarkPlaceholder(static_cast<size_t>(length));
    return Write(buffer, length);
}

int64_t CVolumeWriter::WriteAt(int64_t offset, const void* buffer, int64_t length)
{
    if (m_inEndRecords || offset < 0 || length <= 0 ||
        !m_digester.Replace(uint64_t(offset), buffer, static_cast<size_t>(length)))
        return 0;
    return m_io.WriteAt(offset, buffer, length);
}

int64_t CVolumeWriter::GetCurrentPos() const
{
    if (!m_inEndRecords)
        return m_io.GetCurrentPos();
    return int64_t(m_coveredBytes + ImageFormat::VolumeCheckBytes(m_coveredBytes) + m_endRecords.size());
}

void CVolumeWriter::BeginEndRecords()
{
    m_coveredBytes = m_digester.Bytes();
    m_endRecords.clear();
    m_inEndRecords = true;
}

int CVolumeWriter::FinishVolume(uint64_t imageId, uint64_t baseImageId)
{
    m_inEndRecords = false;
    std::vector<uint64_t> digests;
    if (!m_digester.Finish(&digests)) {
        DEBUG_TRACE("A data set head of %s was never completed!\n", m_io.Path().c_str());
        return ERR_DAMAGED_IMAGE;
    }
    tagVOLUME_CHECK_HEAD head{};
    head.magic = ImageFormat::kVolumeCheckMagic;
    head.recordBytes = static_cast<uint32_t>(ImageFormat::VolumeCheckBytes(m_coveredBytes));
    head.imageId = imageId;
    head.baseImageId = baseImageId;
    head.coveredBytes = m_coveredBytes;
    head.blockBytes = ImageFormat::kCheckBlockBytes;
    head.blockCount = static_cast<uint32_t>(digests.size());
    head.endDigest = VolumeCheck::Digest(m_endRecords.data(), m_endRecords.size());

    std::vector<unsigned char> record(head.recordBytes);
    std::memcpy(record.data(), &head, sizeof head);
    if (!digests.empty())
        std::memcpy(record.data() + sizeof head, digests.data(), digests.size() * 8);
    tagVOLUME_CHECK_TAIL tail{};
    tail.recordBytes = head.recordBytes;
    tail.magic = ImageFormat::kVolumeCheckMagic;
    tail.recordDigest = VolumeCheck::Digest(record.data(), record.size() - sizeof tail);
    std::memcpy(record.data() + record.size() - sizeof tail, &tail, sizeof tail);

    const auto recordLength = static_cast<int64_t>(record.size());
    const auto endLength = static_cast<int64_t>(m_endRecords.size());
    if (m_io.Write(record.data(), recordLength) != recordLength ||
        (endLength > 0 && m_io.Write(m_endRecords.data(), endLength) != endLength))
        return ERR_WRITE_FILE;
    m_endRecords.clear();
    return 0;
}
