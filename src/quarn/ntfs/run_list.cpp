#include "quarn/ntfs/run_list.h"

#include "quarn/api/quarn.h"

bool CRunList::PickData(const unsigned char** cursor, long long* clusters, long long* offset,
                        const unsigned char* end)
{
    const unsigned char* start = *cursor;
    int64_t length = 0;
    int64_t delta = 0;
    bool sparse = false;
    switch (Ntfs::DecodeRun(cursor, end, &length, &delta, &sparse)) {
    case Ntfs::RunStatus::Ok:
        *clusters = length;
        *offset = delta;
        return true;
    case Ntfs::RunStatus::BadLength:
        DEBUG_TRACE("DataRun length error: %lld\n", static_cast<long long>(length));
        return false;
    case Ntfs::RunStatus::End:
        *clusters = 0;
        *offset = 0;
        return false;
    default:
        DEBUG_TRACE("DataRun decode error 1: 0x%02X\n", start < end ? *start : 0u);
        return false;
    }
}

bool CRunList::ParseDataRunList(const tagRECORD_ATTR* attr)
{
    m_firstVcn = attr->nonRes.lowestVcn;
    m_endVcn = attr->nonRes.highestVcn + 1;
    return Decode(attr, &m_runs);
}

bool CRunList::AppendExtent(const tagRECORD_ATTR* attr)
{
    const uint64_t covered = m_runs.empty() ? 0 : m_runs.back().lastVcn + 1;
    if (m_endVcn == m_firstVcn || attr->nonRes.lowestVcn != m_endVcn || covered != Clusters()) {
        DEBUG_TRACE("DataRun extent does not follow on: VCN %llu after %llu\n",
                    static_cast<unsigned long long>(attr->nonRes.lowestVcn),
                    static_cast<unsigned long long>(m_endVcn));
        return false;
    }
    std::vector<tagDataRunList> runs;
    if (!Decode(attr, &runs))
        return false;
    for (auto& run : runs) {
        run.firstVcn += covered;
        run.lastVcn += covered;
        m_runs.push_back(run);
    }
    m_endVcn = attr->nonRes.highestVcn + 1;
    return true;
}

bool CRunList::Decode(const tagRECORD_ATTR* attr, std::vector<tagDataRunList>* runs)
{
    switch (Ntfs::DecodeRunList(attr, runs)) {
    case Ntfs::RunListStatus::Ok:
        return true;
    case Ntfs::RunListStatus::NegativeLcn:
        DEBUG_TRACE("DataRun decode error 2\n");
        return false;
    case Ntfs::RunListStatus::VcnPastBound:
        DEBUG_TRACE("DataRun decode error: VCN exceeds bound\n");
        return false;
    case Ntfs::RunListStatus::BadRun:
    default:
        DEBUG_TRACE("DataRun decode error 1\n");
        return false;
    }
}
