// Reads MFT records and attribute values of an NTFS volume through the
// engine's device class, for the Windows engine's own look-ups (used space,
// directory listings). Records are read through the $MFT's $DATA extent in
// record 0.
#pragma once

#include "quarn/io/device_io.h"
#include "quarn/ntfs/ntfs_attr_reader.h"
#include "fslayout/ntfs_layout.h"

#include <cstdint>
#include <memory>
#include <vector>

class CNtfsVolumeReader {
public:
    explicit CNtfsVolumeReader(CDeviceIo& part) : m_part(part) {}
    virtual ~CNtfsVolumeReader() = default;

    // Reads the boot sector and record 0: 0, ERR_READ_PART (a short read),
    // ERR_PART_INFO (no NTFS boot sector, no "FILE", a damaged record) or
    // ERR_NO_MEMORY.
    int Open();
    // Record `record` with its update sequence undone: 0, ERR_READ_PART,
    // ERR_PART_INFO (no "FILE" or a damaged update sequence).
    int ReadRecord(uint64_t record, std::vector<uint8_t>* bytes);
    // The whole value of an attribute of a record read by ReadRecord
    // (resident: copied; non-resident: read through its run list, up to its
    // data size): 0, ERR_PART_INFO, ERR_READ_PART or ERR_NO_MEMORY.
    int ReadValue(const tagRECORD_ATTR* attr, std::vector<uint8_t>* value);

    const Ntfs::BootGeometry& Geometry() const { return m_geometry; }
    uint64_t RecordCount() const;
    CDeviceIo& Device() { return m_part; }

    // Largest attribute value read whole.
    static constexpr uint64_t kMaxValueBytes = 1ull << 30;

private:
    CDeviceIo& m_part;
    Ntfs::BootGeometry m_geometry{};
    std::vector<uint8_t> m_mftRecord;  // record 0, holding the $MFT $DATA
    std::unique_ptr<CAttrReadData> m_mft;
};
