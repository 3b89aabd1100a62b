// NTFS used space: the clusters set in the volume bitmap ($Bitmap, MFT
// record 6) times the cluster size.
#include "usedspace.h"

#include "device_reader.h"
#include "ntfs_layout.h"

#include <algorithm>
#include <vector>

namespace {

// A non-resident attribute's bytes, read through its runs.
class RunReader {
public:
    RunReader(const DeviceReader& device, uint32_t clusterBytes, uint64_t clusterCount)
        : m_device(device), m_clusterBytes(clusterBytes), m_clusterCount(clusterCount)
    {}

    bool Load(const tagRECORD_ATTR* attr)
    {
        if (attr->nonRes.lowestVcn != 0)
            return false;
        return Ntfs::DecodeRunList(attr, &m_runs) == Ntfs::RunListStatus::Ok &&
               Ntfs::RunsWithinVolume(m_runs, m_clusterCount);
    }

    // Reads length bytes from offset; a sparse run reads as zeros.
    bool Read(uint64_t offset, uint8_t* out, uint64_t length) const
    {
        while (length > 0) {
            uint64_t vcn = offset / m_clusterBytes;
            const tagDataRunList* run = Find(vcn);
            if (run == nullptr)
                return false;
            uint64_t runEnd = UINT64_MAX;
            if (run->lastVcn < UINT64_MAX / m_clusterBytes)
                runEnd = (run->lastVcn + 1) * m_clusterBytes;
            uint64_t piece = std::min(length, runEnd - offset);
            if (run->lcn < 0) {
                std::fill(out, out + piece, 0);
            } else {
                uint64_t at = uint64_t(run->lcn) * m_clusterBytes + (offset - run->firstVcn * m_clusterBytes);
                if (!m_device.ReadAt(at, out, piece))
                    return false;
            }
            out += piece;
            offset += piece;
            length -= piece;
        }
        return true;
    }

private:
    const tagDataRunList* Find(uint64_t vcn) const
    {
        for (const auto& run : m_runs) {
            if (vcn >= run.firstVcn && vcn <= run.lastVcn)
                return &run;
        }
        return nullptr;
    }

    const DeviceReader& m_device;
    uint32_t m_clusterBytes;
    uint64_t m_clusterCount;
    std::vector<tagDataRunList> m_runs;
};

// The unnamed $DATA attribute of a record, or null.
const tagRECORD_ATTR* FindData(const uint8_t* record, uint32_t recordBytes)
{
    Ntfs::AttributeWalker walker(record, recordBytes);
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type == Ntfs::ATTR_DATA && attr->nameLength == 0)
            return attr;
    }
    return nullptr;
}

bool ReadRecord(const RunReader& mft, uint32_t number, uint32_t recordBytes, std::vector<uint8_t>* record)
{
    record->assign(recordBytes, 0);
    return mft.Read(uint64_t(number) * recordBytes, record->data(), recordBytes) &&
           Ntfs::HasFileMagic(record->data()) && Ntfs::RemoveFixup(record->data(), recordBytes);
}

uint64_t CountBits(const uint8_t* bytes, uint64_t byteCount, uint64_t firstBit, uint64_t bitLimit)
{
    uint64_t count = 0;
    for (uint64_t i = 0; i < byteCount; ++i) {
        uint64_t bit = firstBit + i * 8;
        if (bit >= bitLimit)
            break;
        uint8_t value = bytes[i];
        if (bitLimit - bit < 8)
            value &= uint8_t((1u << (bitLimit - bit)) - 1);
        count += unsigned(__builtin_popcount(value));
    }
    return count;
}

}  // namespace

int ntfs_used(const char* device, unsigned long long* used)
{
    if (used == nullptr)
        return -1;
    DeviceReader reader(device);
    tagNTFS_BOOT_SECTOR boot;
    Ntfs::BootGeometry geometry;
    if (!reader.ReadAt(0, &boot, sizeof boot) || !Ntfs::ReadBootGeometry(boot, &geometry))
        return -1;
    if (geometry.clusterCount > reader.Size() / geometry.clusterBytes)
        return -1;  // the volume does not fit on the device
    uint32_t recordBytes = geometry.fileRecordBytes;
    if (recordBytes < 512 || recordBytes > Ntfs::kMaxRecordBytes)
        return -1;

    // Record 0 maps the MFT; through it, record 6 maps the volume bitmap.
    std::vector<uint8_t> record(recordBytes);
    uint64_t mftOffset = geometry.mftLcn * geometry.clusterBytes;
    if (geometry.mftLcn >= geometry.clusterCount || !reader.ReadAt(mftOffset, record.data(), recordBytes) ||
        !Ntfs::HasFileMagic(record.data()) || !Ntfs::RemoveFixup(record.data(), recordBytes))
        return -1;
    const tagRECORD_ATTR* mftData = FindData(record.data(), recordBytes);
    RunReader mft(reader, geometry.clusterBytes, geometry.clusterCount);
    if (mftData == nullptr || !mftData->nonResident || !mft.Load(mftData))
        return -1;

    std::vector<uint8_t> bitmapRecord;
    if (!ReadRecord(mft, Ntfs::kBitmapRecord, recordBytes, &bitmapRecord))
        return -1;
    const tagRECORD_ATTR* bitmap = FindData(bitmapRecord.data(), recordBytes);
    if (bitmap == nullptr)
        return -1;

    uint64_t neededBytes = (geometry.clusterCount + 7) / 8;
    uint64_t setBits = 0;
    if (!bitmap->nonResident) {
        uint64_t bytes = std::min<uint64_t>(bitmap->resident.valueLength, neededBytes);
        setBits = CountBits(Ntfs::ResidentValue(bitmap), bytes, 0, geometry.clusterCount);
    } else {
        RunReader bits(reader, geometry.clusterBytes, geometry.clusterCount);
        if (!bits.Load(bitmap))
            return -1;
        uint64_t bytes = std::min(bitmap->nonRes.dataSize, neededBytes);
        std::vector<uint8_t> chunk(1 << 16);
        for (uint64_t offset = 0; offset < bytes; offset += chunk.size()) {
            uint64_t piece = std::min<uint64_t>(chunk.size(), bytes - offset);
            if (!bits.Read(offset, chunk.data(), piece))
                return -1;
            setBits += CountBits(chunk.data(), piece, offset * 8, geometry.clusterCount);
        }
    }
    *used = setBits * geometry.clusterBytes;
    return 0;
}
