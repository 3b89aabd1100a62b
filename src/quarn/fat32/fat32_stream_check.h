// Walks the directory stream of a FAT32 image without writing anything:
// every directory's entries down to its end entry, the data set of each
// file that carries data (decoded, and its size held against the entry's),
// and the entries counted against the recordCount that each volume's
// partition record holds. The stream must end where the image's data ends.
#ifndef QUARN_FAT32_FAT32_STREAM_CHECK_H
#define QUARN_FAT32_FAT32_STREAM_CHECK_H

#include "quarn/image/data_set_reader.h"
#include "quarn/image/verify_source.h"

#include <cstdint>
#include <functional>
#include <vector>

class CFat32StreamCheck {
public:
    // Asked now and then: true when the caller cancels.
    using Cancelled = std::function<bool()>;

    CFat32StreamCheck(CVerifySource& source, const std::vector<VerifyVolume>& volumes,
                      uint64_t dataSectionPos, Cancelled cancelled);

    // 0, or the code of the first fault.
    int Run();

private:
    // The entries counted up to the end of volume `index` against the
    // count its partition record holds.
    int CheckCount(size_t index);

    CVerifySource& m_source;
    const std::vector<VerifyVolume>& m_volumes;
    uint64_t m_dataSectionPos;
    Cancelled m_cancelled;
    CDataSetReader m_reader;
    // The backup counts every entry it writes but the end entries at a
    // first byte 0 and the files without data; the end entry it writes at
    // the end of a cluster chain looks the same in the stream but counts,
    // and older backups counted the page file in any folder. The count
    // must therefore lie between these two.
    uint64_t m_surelyCounted = 0;
    uint64_t m_maybeCounted = 0;
};

#endif
