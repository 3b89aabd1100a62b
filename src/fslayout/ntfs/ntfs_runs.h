// A non-resident attribute's clusters as its decoded runs lay them out, for
// every reader of its bytes (the engine's backup and the used-space count
// alike): the checks the runs pass before anything is read through them, the
// run that holds a VCN, and the read of a byte range through the runs, one
// piece for each run it touches.
#ifndef FSLAYOUT_NTFS_NTFS_RUNS_H
#define FSLAYOUT_NTFS_NTFS_RUNS_H

#include "fslayout/ntfs_layout.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Ntfs {

enum class RunsCheck { Ok, NoRuns, PastVolume, TooLong };

// Runs in rising VCN order from VCN 0 (as DecodeRunList gives them), for
// extents that span spanClusters clusters (highest - lowest VCN + 1): NoRuns
// when there is no run or the span is empty, PastVolume when an allocated
// run leaves a volume of clusterCount clusters, TooLong when the span's
// bytes do not fit in 63 bits (or there is no cluster size).
RunsCheck CheckRuns(const std::vector<tagDataRunList>& runs, uint64_t spanClusters, uint32_t clusterBytes,
                    uint64_t clusterCount);

// The run that holds vcn, or null.
const tagDataRunList* FindRun(const std::vector<tagDataRunList>& runs, uint64_t vcn);

// Reads length bytes from byte offset of the runs into out: a sparse
// piece is zeros, an allocated one comes from readAt(volumeOffset, into,
// bytes), called once for each run the range touches (no copy, no call per
// cluster). False when a byte lies in no run, a volume offset does not fit
// in 64 bits or readAt returns false.
template <class ReadAt>
bool ReadRuns(const std::vector<tagDataRunList>& runs, uint32_t clusterBytes, uint64_t offset, uint8_t* out,
              uint64_t length, ReadAt&& readAt)
{
    while (length > 0) {
        const tagDataRunList* run = FindRun(runs, offset / clusterBytes);
        if (run == nullptr)
            return false;
        uint64_t runEnd = UINT64_MAX;
        if (run->lastVcn < UINT64_MAX / clusterBytes)
            runEnd = (run->lastVcn + 1) * clusterBytes;
        const uint64_t piece = std::min(length, runEnd - offset);
        if (run->lcn < 0) {
            std::memset(out, 0, piece);
        } else {
            uint64_t at = 0;
            if (__builtin_mul_overflow(uint64_t(run->lcn), uint64_t(clusterBytes), &at) ||
                __builtin_add_overflow(at, offset - run->firstVcn * clusterBytes, &at) ||
                !readAt(at, out, piece))
                return false;
        }
        out += piece;
        offset += piece;
        length -= piece;
    }
    return true;
}

}  // namespace Ntfs

#endif
