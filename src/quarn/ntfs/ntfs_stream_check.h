// Walks the record stream of one NTFS image without writing anything: the
// entry count, the record numbers in their order, each record against its
// digest in the MFT record section, the data set of every stored
// attribute (decoded, and its size held against the attribute's) and the
// end mark, which must stand where the image's data ends.
#ifndef QUARN_NTFS_NTFS_STREAM_CHECK_H
#define QUARN_NTFS_NTFS_STREAM_CHECK_H

#include "quarn/image/data_set_reader.h"
#include "quarn/image/verify_source.h"
#include "quarn/api/image_format.h"
#include "quarn/ntfs/stored_data_sets.h"

#include <cstdint>
#include <functional>
#include <vector>

// One image of a chain as the walk needs it, from its end records.
struct NtfsStreamFacts {
    uint64_t dataSectionPos = 0;
    uint32_t recordCount = 0;
    uint32_t newestRecordCount = 0;   // the newest image's, which owner records follow
    bool full = true;                 // generation 0: one entry for every record
    bool checked = false;             // the image carries check records
    bool extentsStored = true;        // tagBLOCK_END::spare3
    bool rootSystemFilesOnly = true;  // tagBLOCK_END::spare1
    uint32_t clusterBytes = 0;
    std::vector<uint8_t> mftBitmap;
    std::vector<tagFileRecordInfo> summaries;  // the MFT record section
};

class CNtfsStreamCheck {
public:
    // Asked now and then: true when the caller cancels.
    using Cancelled = std::function<bool()>;

    CNtfsStreamCheck(CVerifySource& source, const NtfsStreamFacts& facts, Cancelled cancelled);

    // 0, or the code of the first fault. Marks in *held every record
    // number the stream holds.
    int Run(std::vector<bool>* held);

private:
    int CheckRecord(uint32_t n, const uint8_t* stored);
    // The record against its summary, in images without check records.
    int CheckRecordDigest(uint32_t n, const uint8_t* stored, bool inUse);
    int WalkAttributes(uint32_t n, const uint8_t* fixed);
    bool InUse(uint32_t n) const;

    CVerifySource& m_source;
    const NtfsStreamFacts& m_facts;
    Cancelled m_cancelled;
    CDataSetReader m_reader;
    StoredDataSets m_stored;
};

#endif
