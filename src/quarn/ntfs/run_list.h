// The decoded runs of one non-resident attribute extent, shared by the NTFS
// backup, the NTFS restore and the deleted-file scan.
#ifndef QUARN_NTFS_RUN_LIST_H
#define QUARN_NTFS_RUN_LIST_H

#include "fslayout/ntfs_layout.h"

#include <cstdint>
#include <vector>

class CRunList {
public:
    virtual ~CRunList() = default;

    // Reads one run at *cursor, not reading at or past end: its cluster
    // count and signed LCN offset (0 for an empty offset part). False, with
    // a trace line, when the header or length does not decode.
    static bool PickData(const unsigned char** cursor, long long* clusters, long long* offset,
                         const unsigned char* end);
    // Decodes the attribute's run list (the attribute must be one that
    // Ntfs::AttributeWalker yielded). False, with a trace line, when it
    // does not decode.
    bool ParseDataRunList(const tagRECORD_ATTR* attr);
    // Adds a later extent of the same attribute (one kept in an extension
    // record): it must start where the extents so far end, and those must
    // be covered by their runs. Its runs then count on from theirs. False,
    // with a trace line, when it does not decode or does not follow on.
    bool AppendExtent(const tagRECORD_ATTR* attr);
    // Clusters from the first extent's lowest VCN to the last one's highest.
    uint64_t Clusters() const { return m_endVcn - m_firstVcn; }

    const std::vector<tagDataRunList>& Runs() const { return m_runs; }
    bool WithinVolume(uint64_t clusterCount) const { return Ntfs::RunsWithinVolume(m_runs, clusterCount); }

private:
    bool Decode(const tagRECORD_ATTR* attr, std::vector<tagDataRunList>* runs);

    std::vector<tagDataRunList> m_runs;
    uint64_t m_firstVcn = 0;  // the first extent's lowest VCN
    uint64_t m_endVcn = 0;    // one past the last extent's highest VCN
};

#endif
