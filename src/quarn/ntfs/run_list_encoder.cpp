#include "quarn/ntfs/run_list_encoder.h"

#include "fslayout/ntfs_layout.h"
#include "quarn/api/quarn.h"

#include <cstring>

int GetNumLength(long long v)
{
    if (v == 0)
        return 0;
    for (int bytes = 1; bytes < 8; ++bytes) {
        long long limit = 1LL << (8 * bytes - 1);
        if (v >= -limit && v < limit)
            return bytes;
    }
    return 8;
}

namespace {
void PutNumber(std::vector<uint8_t>& out, long long v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(static_cast<unsigned long long>(v) >> (8 * i)));
}
}  // namespace

std::vector<uint8_t> CResSetRunList::Encode(const std::vector<tagNewRun>& runs)
{
    std::vector<uint8_t> out;
    long long previous = 0;
    for (const auto& run : runs) {
        if (run.clusters <= 0 || run.lcn < -1)
            return {};
        int lengthBytes = GetNumLength(run.clusters);
        int offsetBytes = 0;
        long long delta = 0;
        if (run.lcn >= 0) {
            delta = run.lcn - previous;
            // A zero delta would read as a sparse run: spend one byte on it.
            offsetBytes = delta == 0 ? 1 : GetNumLength(delta);
            previous = run.lcn;
        }
        out.push_back(static_cast<uint8_t>(offsetBytes << 4 | lengthBytes));
        PutNumber(out, run.clusters, lengthBytes);
        PutNumber(out, delta, offsetBytes);
    }
    out.push_back(0);
    return out;
}

int CResSetRunList::SetRuns(uint8_t* record, uint32_t recordBytes, uint32_t attribute,
                            const std::vector<tagNewRun>& runs)
{
    std::vector<uint8_t> list = Encode(runs);
    if (list.empty())
        return ERR_PART_INFO;
    auto* header = reinterpret_cast<tagFILE_RECORD_HEADER*>(record);
    auto* attr = reinterpret_cast<tagRECORD_ATTR*>(record + attribute);
    uint32_t inUse = header->bytesInUse;
    uint32_t limit = header->bytesAllocated < recordBytes ? header->bytesAllocated : recordBytes;
    uint32_t attrEnd = attribute + attr->length;
    uint32_t listOffset = attr->nonRes.runListOffset;
    if (inUse > limit || attrEnd > inUse || listOffset > attr->length)
        return ERR_PART_INFO;
    uint32_t room = attr->length - listOffset;
    if (list.size() > room) {
        uint32_t grow = static_cast<uint32_t>((list.size() - room + 7) / 8 * 8);
        if (grow > limit - inUse)
            return ERR_PART_INFO;
        std::memmove(record + attrEnd + grow, record + attrEnd, inUse - attrEnd);
        std::memset(record + attrEnd, 0, grow);
        attr->length += grow;
        header->bytesInUse = inUse + grow;
        room += grow;
    }
    uint8_t* target = record + attribute + listOffset;
    std::memcpy(target, list.data(), list.size());
    std::memset(target + list.size(), 0, room - list.size());
    return 0;
}

int CResSetRunList::SetRunList(uint8_t* record, uint32_t recordBytes, uint32_t attribute, long long clusters,
                               long long lcn)
{
    return SetRuns(record, recordBytes, attribute, {{lcn, clusters}});
}
