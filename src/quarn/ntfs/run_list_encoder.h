// Writes new run lists into the non-resident attributes of an MFT record
// (update sequence already undone), growing the attribute when the new list
// needs more room than the old one had.
#ifndef QUARN_NTFS_RUN_LIST_ENCODER_H
#define QUARN_NTFS_RUN_LIST_ENCODER_H

#include <cstdint>
#include <vector>

// Bytes of the shortest little-endian two's-complement form of v (0 for 0).
int GetNumLength(long long v);

struct tagNewRun {
    long long lcn;  // -1: a sparse run
    long long clusters;
};

class CResSetRunList {
public:
    virtual ~CResSetRunList() = default;

    // Each returns 0, or ERR_PART_INFO when the list does not fit in the
    // record (the record is then left unchanged). `attribute` is the byte
    // offset of the attribute in the record of `recordBytes` bytes.
    static int SetRunList(uint8_t* record, uint32_t recordBytes, uint32_t attribute, long long clusters,
                          long long lcn);
    // Any list of runs, in VCN order.
    static int SetRuns(uint8_t* record, uint32_t recordBytes, uint32_t attribute,
                       const std::vector<tagNewRun>& runs);
    // The encoded list (terminating zero included); empty when a run is invalid.
    static std::vector<uint8_t> Encode(const std::vector<tagNewRun>& runs);
};

#endif
