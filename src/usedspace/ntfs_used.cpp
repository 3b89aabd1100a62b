// NTFS used space: the clusters set in the volume bitmap ($Bitmap, MFT
// record 6) times the cluster size.
#include "usedspace/usedspace.h"

#include "usedspace/device_reader.h"
#include "fslayout/ntfs_layout.h"
#include "fslayout/ntfs/ntfs_record.h"
#include "fslayout/ntfs/ntfs_used_clusters.h"

#include <vector>

namespace {

class DeviceSource : public Ntfs::VolumeSource {
public:
    explicit DeviceSource(const DeviceReader& device) : m_device(device) {}
    bool ReadAt(uint64_t offset, void* buffer, uint64_t length) const override
    {
        return m_device.ReadAt(offset, buffer, length);
    }

private:
    const DeviceReader& m_device;
};

bool ReadRecord(const Ntfs::StreamReader& mft, uint32_t number, uint32_t recordBytes,
                std::vector<uint8_t>* record)
{
    record->assign(recordBytes, 0);
    return mft.Read(uint64_t(number) * recordBytes, record->data(), recordBytes) &&
           Ntfs::PrepareRecord(record->data(), recordBytes) == Ntfs::RecordStatus::Ok;
}

}  // namespace

int ntfs_used(const char* device, unsigned long long* used)
{
    if (used == nullptr)
        return -1;
    DeviceReader reader(device);
    const DeviceSource source(reader);
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
        Ntfs::PrepareRecord(record.data(), recordBytes) != Ntfs::RecordStatus::Ok)
        return -1;
    const tagRECORD_ATTR* mftData = Ntfs::FindUnnamed(record.data(), recordBytes, Ntfs::ATTR_DATA);
    Ntfs::StreamReader mft(source, geometry);
    if (mftData == nullptr || !mft.Load(mftData))
        return -1;

    std::vector<uint8_t> bitmapRecord;
    if (!ReadRecord(mft, Ntfs::kBitmapRecord, recordBytes, &bitmapRecord))
        return -1;
    uint64_t clusters = 0;
    if (Ntfs::CountUsedClusters(source, geometry, bitmapRecord.data(), recordBytes, &clusters) !=
        Ntfs::UsedStatus::Ok)
        return -1;
    *used = clusters * geometry.clusterBytes;
    return 0;
}
