#include "quarn/ntfs/ntfs_attr_reader.h"

#include "quarn/api/quarn.h"
#include "fslayout/ntfs/ntfs_runs.h"

#include <algorithm>
#include <cstring>

CAttrReadData::CAttrReadData(CDeviceIo* device, const tagRECORD_ATTR* attribute, unsigned clusterBytes,
                             uint64_t clusterCount)
    : m_device(device), m_attr(attribute), m_clusterBytes(clusterBytes), m_clusterCount(clusterCount)
{}

int CAttrReadData::ParseDataRunList()
{
    if (m_clusterBytes == 0 || !m_attr->nonResident)
        return ERR_PART_INFO;
    if (!m_runList.ParseDataRunList(m_attr) || m_runList.Runs().empty())
        return ERR_PART_INFO;
    return CheckRuns();
}

int CAttrReadData::AppendExtent(const tagRECORD_ATTR* extent)
{
    if (m_extentBytes == 0 || !extent->nonResident || !m_runList.AppendExtent(extent))
        return ERR_PART_INFO;
    return CheckRuns();
}

int CAttrReadData::CheckRuns()
{
    m_extentBytes = 0;
    switch (Ntfs::CheckRuns(m_runList.Runs(), m_runList.Clusters(), m_clusterBytes, m_clusterCount)) {
    case Ntfs::RunsCheck::Ok:
        m_extentBytes = m_runList.Clusters() * m_clusterBytes;
        return 0;
    case Ntfs::RunsCheck::PastVolume:
        DEBUG_TRACE("DataRun points past the partition\n");
        return ERR_PART_INFO;
    default:
        return ERR_PART_INFO;
    }
}

bool CAttrReadData::ReadVirtualClusters(uint64_t vcn, unsigned count, void* buffer, unsigned bufferLength,
                                        unsigned* got)
{
    *got = 0;
    const auto& runs = m_runList.Runs();
    if (count == 0)
        return true;
    if (runs.empty() || vcn > runs.back().lastVcn || count - 1 > runs.back().lastVcn - vcn) {
        DEBUG_TRACE("Cluster exceeds DataRun bounds\n");
        return false;
    }
    const uint64_t bytes = uint64_t(count) * m_clusterBytes;
    if (bytes > bufferLength) {
        DEBUG_TRACE("Buffer size too small\n");
        return false;
    }
    // The runs follow on from VCN 0, so every cluster up to the last run's
    // lies in one; their bytes fit, as CheckRuns saw to.
    auto readAt = [this](uint64_t at, uint8_t* into, uint64_t length) {
        return at <= uint64_t(INT64_MAX) &&
               m_device->ReadAt(int64_t(at), into, int64_t(length)) == int64_t(length);
    };
    if (!Ntfs::ReadRuns(runs, m_clusterBytes, vcn * m_clusterBytes, static_cast<uint8_t*>(buffer), bytes,
                        readAt))
        return false;
    *got = unsigned(bytes);
    return true;
}

bool CAttrReadWindow::Load(uint64_t start)
{
    m_valid = 0;
    m_extentBytes = m_reader.ExtentBytes();
    if (start == m_failedStart || start >= m_extentBytes)
        return false;
    const unsigned length = unsigned(std::min<uint64_t>(kWindowBytes, m_extentBytes - start));
    if (m_bytes.size() < length)
        m_bytes.resize(kWindowBytes);
    unsigned got = 0;
    if (m_reader.AttrReadData(start, m_bytes.data(), length, &got) != 0 || got != length) {
        m_failedStart = start;
        return false;
    }
    m_start = start;
    m_valid = length;
    return true;
}

int CAttrReadWindow::AttrReadData(uint64_t offset, void* buffer, unsigned length, unsigned* got)
{
    // Later extents may have been added since the window was read.
    if (m_reader.ExtentBytes() != m_extentBytes) {
        m_valid = 0;
        m_failedStart = UINT64_MAX;
    }
    auto inWindow = [&] {
        return offset >= m_start && offset - m_start <= m_valid && length <= m_valid - (offset - m_start);
    };
    const bool servable = buffer != nullptr && length != 0 && length <= kWindowBytes;
    if (servable && (inWindow() || (Load(offset - offset % kWindowBytes) && inWindow()))) {
        std::memcpy(buffer, m_bytes.data() + (offset - m_start), length);
        *got = length;
        return 0;
    }
    return m_reader.AttrReadData(offset, buffer, length, got);
}

int CAttrReadData::AttrReadData(uint64_t offset, void* buffer, unsigned length, unsigned* got)
{
    *got = 0;
    if (buffer == nullptr || offset > m_extentBytes)
        return 1;
    length = unsigned(std::min<uint64_t>(length, m_extentBytes - offset));
    auto* out = static_cast<unsigned char*>(buffer);
    unsigned done = 0;
    while (done < length) {
        uint64_t position = offset + done;
        uint64_t vcn = position / m_clusterBytes;
        unsigned within = unsigned(position % m_clusterBytes);
        unsigned left = length - done;
        unsigned read = 0;
        if (within != 0 || left < m_clusterBytes) {
            // A partial cluster goes through the scratch buffer.
            if (m_scratch.size() != m_clusterBytes)
                m_scratch.resize(m_clusterBytes);
            if (!ReadVirtualClusters(vcn, 1, m_scratch.data(), m_clusterBytes, &read) ||
                read != m_clusterBytes)
                return ERR_READ_PART;
            unsigned piece = std::min(left, m_clusterBytes - within);
            std::memcpy(out + done, m_scratch.data() + within, piece);
            done += piece;
        } else {
            unsigned whole = left / m_clusterBytes;
            if (!ReadVirtualClusters(vcn, whole, out + done, left, &read) || read != whole * m_clusterBytes)
                return ERR_READ_PART;
            done += read;
        }
    }
    *got = done;
    return 0;
}
