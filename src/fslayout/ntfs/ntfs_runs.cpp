#include "fslayout/ntfs/ntfs_runs.h"

Ntfs::RunsCheck Ntfs::CheckRuns(const std::vector<tagDataRunList>& runs, uint64_t spanClusters,
                                uint32_t clusterBytes, uint64_t clusterCount)
{
    if (runs.empty())
        return RunsCheck::NoRuns;
    if (!RunsWithinVolume(runs, clusterCount))
        return RunsCheck::PastVolume;
    if (spanClusters == 0)
        return RunsCheck::NoRuns;
    // Half the range: offsets into the span and their sums stay far from
    // wrapping.
    if (clusterBytes == 0 || spanClusters > UINT64_MAX / 2 / clusterBytes)
        return RunsCheck::TooLong;
    return RunsCheck::Ok;
}

const tagDataRunList* Ntfs::FindRun(const std::vector<tagDataRunList>& runs, uint64_t vcn)
{
    auto it = std::lower_bound(runs.begin(), runs.end(), vcn,
                               [](const tagDataRunList& run, uint64_t v) { return run.lastVcn < v; });
    return it != runs.end() && it->firstVcn <= vcn ? &*it : nullptr;
}
