// Reads one extent of a non-resident NTFS attribute through its run list:
// byte offsets count from the extent's lowest VCN, sparse runs read as zeros.
// The engine's side of the reads through runs in fslayout/ntfs (the run
// checks, the run of a VCN, the read run by run): it decodes with the
// engine's traces, takes later extents, and reads whole clusters from its
// device straight into the caller's buffer.
#ifndef QUARN_NTFS_NTFS_ATTR_READER_H
#define QUARN_NTFS_NTFS_ATTR_READER_H

#include "quarn/io/device_io.h"
#include "quarn/ntfs/run_list.h"
#include "fslayout/ntfs_layout.h"

#include <cstdint>
#include <vector>

class CAttrReadData {
public:
    // attribute must stay valid while ParseDataRunList runs; clusterCount
    // is the volume's, which every run must lie within.
    CAttrReadData(CDeviceIo* device, const tagRECORD_ATTR* attribute, unsigned clusterBytes,
                  uint64_t clusterCount);
    virtual ~CAttrReadData() = default;

    // 0, or ERR_PART_INFO when the run list does not decode, yields no run
    // or points past the volume.
    int ParseDataRunList();
    // Adds a later extent of the same attribute, after ParseDataRunList:
    // reads then go on into its clusters. ERR_PART_INFO when it does not
    // decode, does not follow on or points past the volume.
    int AppendExtent(const tagRECORD_ATTR* extent);
    // Reads length bytes at offset into buffer; *got receives the bytes read
    // (fewer at the extent's end). 1 for a null buffer or an offset past
    // the extent, ERR_READ_PART for a short read, else 0.
    int AttrReadData(uint64_t offset, void* buffer, unsigned length, unsigned* got);

    // Bytes the extents cover: (highest VCN - lowest VCN + 1) x cluster bytes.
    uint64_t ExtentBytes() const { return m_extentBytes; }

private:
    int CheckRuns();
    // Reads count whole clusters from vcn on into buffer; *got receives
    // their bytes. False when they do not all lie in runs, do not fit in
    // bufferLength or cannot be read.
    bool ReadVirtualClusters(uint64_t vcn, unsigned count, void* buffer, unsigned bufferLength,
                             unsigned* got);

    CDeviceIo* m_device;
    const tagRECORD_ATTR* m_attr;
    unsigned m_clusterBytes;
    uint64_t m_clusterCount;
    uint64_t m_extentBytes = 0;
    CRunList m_runList;
    std::vector<unsigned char> m_scratch;  // one cluster, for partial clusters
};

// Serves small reads of an attribute, such as MFT records one after
// another, from a window of it read in one piece: one device read per
// window instead of one for each record.
class CAttrReadWindow {
public:
    static constexpr unsigned kWindowBytes = 1 << 20;

    explicit CAttrReadWindow(CAttrReadData& reader) : m_reader(reader) {}
    virtual ~CAttrReadWindow() = default;

    // As CAttrReadData::AttrReadData. A read the window cannot serve, or
    // one in a window that could not be read whole, goes to the reader
    // itself, so errors come out as they would without the window.
    int AttrReadData(uint64_t offset, void* buffer, unsigned length, unsigned* got);

private:
    bool Load(uint64_t start);

    CAttrReadData& m_reader;
    std::vector<unsigned char> m_bytes;
    uint64_t m_start = 0;
    uint64_t m_valid = 0;                 // bytes of the window read
    uint64_t m_extentBytes = 0;           // the reader's extent when loaded
    uint64_t m_failedStart = UINT64_MAX;  // a window that could not be read
};

#endif
