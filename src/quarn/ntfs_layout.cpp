#include "ntfs_layout.h"

#include "quarn.h"

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
    switch (Ntfs::DecodeRunList(attr, &m_runs)) {
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
