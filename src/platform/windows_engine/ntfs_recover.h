// Finds deleted files on an NTFS volume and copies one of them out. A
// deleted file is an MFT record marked free in the MFT bitmap that still
// holds a file record (not a directory) whose in-use flag is clear; how
// much of its data survives is judged by how many of its clusters are still
// free in the volume bitmap. Nothing is ever written to the scanned volume.
#pragma once

#include "platform/windows_engine/quarn_windows_export.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Passed by value to ScanPartition. foundFile gets one FoundFileRow per
// file found; progress gets whole percentages and cancels the scan by
// returning non-zero; user is handed back to both.
struct tagCallBackFuncForRecover {
    void (*foundFile)(QStringList row, void* user);
    int (*progress)(int percent, void* user);
    void* user;
};

// The row of one file found: record number, name, creation time (local,
// "y-m-d h:m:s" without zero padding), size text, "<integrity>%".
namespace FoundFileRow {
enum Column { Record = 0, Name, Time, Size, Integrity, ColumnCount };
}

// quarn.dll exports the scan and the copy, not the helpers behind them.
class NTFSRecover {
public:
    QUARN_WINDOWS_API NTFSRecover();
    QUARN_WINDOWS_API ~NTFSRecover();
    NTFSRecover(const NTFSRecover&) = delete;
    NTFSRecover& operator=(const NTFSRecover&) = delete;

    // Scans the volume `partition` ("E:\", "E:" or a device path): 0, 97
    // when cancelled, else the first failure (32 the volume cannot be
    // opened, 33 a read failed, 47 the volume's own records are unusable,
    // 64 no memory). A damaged record of a deleted file is skipped.
    QUARN_WINDOWS_API unsigned long ScanPartition(std::string partition, tagCallBackFuncForRecover callbacks);
    // Writes the unnamed data stream of deleted record `record` of the last
    // scanned volume into the new file `outPath`, exactly its data size:
    // 0; 0xFFFFFFFF without a scan, for a record past the end, one in use
    // or one that is not a deleted file; 16 the output cannot be created;
    // 18 a short write; 33 a read failed or the data lies partly outside
    // the record; 47 a damaged record; 64 no memory. A failed copy leaves
    // no output file behind. The progress function
    // gets the user pointer of the last scan.
    QUARN_WINDOWS_API unsigned long RecoverFile(unsigned long record, std::string outPath,
                                                int (*progress)(int, void*));

    static constexpr unsigned long kFailed = 0xFFFFFFFFul;
    static constexpr unsigned kTransferBytes = 0x20000;

    // "1.50 GB", "12.3 MB", "2.5 KB", "1024 B" (the page's size text).
    static QString SizeText(uint64_t bytes);
    // Percentage of a run list's clusters still free in `bitmap` (`bits`
    // clusters; sparse runs count as free, clusters past the bitmap not at
    // all); 0 when nothing is counted.
    struct Run {
        int64_t lcn;  // -1: sparse
        uint64_t clusters;
    };
    static int Integrity(const std::vector<Run>& runs, const std::vector<uint8_t>& bitmap, uint64_t bits);

private:
    struct Volume;
    static unsigned long CopyData(Volume& volume, const struct tagRECORD_ATTR* data, class CFerrin& out,
                                  int (*progress)(int, void*));
    std::unique_ptr<Volume> m_volume;  // null until the first scan
};
