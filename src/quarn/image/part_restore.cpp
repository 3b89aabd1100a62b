#include "quarn/image/part_restore.h"

#include "quarn/compression/compress_data.h"
#include "quarn/image/callbacks.h"
#include "quarn/image/volume_records.h"
#include "quarn/io/device_system.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

namespace {

bool EndsWithUnfinishedSuffix(const std::string& path)
{
    const std::string suffix = ImageFormat::kUnfinishedVolumeSuffix;
    return path.size() > suffix.size() &&
           path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

CPartRestore::CPartRestore(const tagRestoreArgument& arg, const tagCallBackFunc& cb)
    : m_cb(cb), m_imagePath(arg.imagePath), m_targetPartition(arg.targetPartition),
      m_hasMbr(static_cast<uint8_t>(arg.hasMbr & 0xFF))
{}

CPartRestore::~CPartRestore() = default;

std::string CPartRestore::DiskOfPartition(const std::string& partition)
{
    return DeviceSystem::DiskOfPartition(partition);
}

int CPartRestore::RestoreInit(uint8_t fsType)
{
    m_image = std::make_unique<CVolumeReader>();
    m_part = std::make_unique<CDeviceIo>();
    m_buffer.resize(m_bufferSize);
    if (m_part->Open(m_targetPartition, CDeviceIo::ModeUpdate) != 0)
        return ERR_OPEN_PART;
    m_diskPath = DeviceSystem::DiskHoldingPartition(*m_part, m_targetPartition);
    if (m_image->Open(m_imagePath, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    m_imageDir = GetFileNamePath(m_imagePath);

    int result = ReadBlkEnd();
    if (result == 0)
        result = ReadBlkStart();
    if (result == 0)
        result = ReadPartInfo();
    if (result == 0)
        result = CheckDiskForBootCode(fsType);
    if (result != 0)
        return result;

    GetDestPartSize();
    if (m_usedBytes >= m_targetBytes + kSizeSlack) {
        DEBUG_TRACE("The image holds %llu bytes; the target has %llu!\n",
                    static_cast<unsigned long long>(m_usedBytes),
                    static_cast<unsigned long long>(m_targetBytes));
        return ERR_PART_TOO_SMALL;
    }
    if (fsType != 0) {
        m_survey = std::make_unique<CImageSurvey>(
            m_imageDir, [this](std::string& path) { return AskForNextVolume(path); });
        result = m_survey->Survey(m_imagePath, fsType);
        if (result != 0)
            return result;
    }

    m_ownProgress = std::make_unique<CPartProgress>(m_usedBytes, m_cb.onProgress, m_cb.context);
    m_progress = m_ownProgress.get();
    m_progress->SetCallbacks(m_cb);
    m_progress->ProcessState(QStringLiteral("Initializing ..."));
    // Used bytes above the target (let through by the slack) leave nothing free.
    m_freeBytes = m_usedBytes < m_targetBytes ? m_targetBytes - m_usedBytes : 0;
    return 0;
}

uint64_t CPartRestore::ImageBytesLeft() const
{
    uint64_t bytes = 0;
    const int64_t pos = m_image->GetCurrentPos();
    if (pos < 0 || !DeviceSystem::FileBytes(m_image->Device(), &bytes) || bytes < uint64_t(pos))
        return 0;
    return bytes - uint64_t(pos);
}

int CPartRestore::ReadTrailer(tagBLOCK_END* end)
{
    std::string prevName;
    std::string nextName;
    const int result = VolumeRecords::Read(m_image->Device(), end, &prevName, &nextName);
    if (result != 0)
        return result;
    m_prevImagePath = prevName.empty() ? std::string() : m_imageDir + prevName;
    m_nextVolumePath = nextName.empty() ? std::string() : m_imageDir + nextName;
    return 0;
}

int CPartRestore::ReadBlkEnd()
{
    tagBLOCK_END end;
    int result = ReadTrailer(&end);
    // A volume still under its unfinished name was never written whole.
    if (result == ERR_BAD_MAGIC && EndsWithUnfinishedSuffix(m_image->Path())) {
        DEBUG_TRACE("%s is a volume whose backup never finished!\n", m_image->Path().c_str());
        return ERR_VOLUME_TRUNCATED;
    }
    if (result != 0)
        return result;

    const bool firstOfImage = m_expectFirstVolume;
    if (m_expectFirstVolume) {
        if (end.volumeIndex != 0)
            return ERR_NOT_FIRST_VOLUME;
        m_expectFirstVolume = false;
        m_chainId = end.chainId;
        m_generation = end.generation;
        m_fsType = end.fsType;
    } else {
        // A later volume must continue this very image: same chain, same
        // generation, file system and the next index.
        if (end.chainId != m_chainId || end.generation != m_generation || end.fsType != m_fsType)
            return ERR_VOLUME_CHAIN;
        if (end.volumeIndex != static_cast<uint8_t>(m_volumeIndex + 1) || m_volumeIndex == 0xFF)
            return ERR_VOLUME_ORDER;
    }
    KeepTrailer(end);
    return CheckVolume(end, firstOfImage);
}

int CPartRestore::CheckVolume(const tagBLOCK_END& end, bool firstOfImage)
{
    int result = AwaitVolumeCheck();
    if (result != 0)
        return result;
    VolumeCheck::Record record;
    bool present = false;
    result = VolumeCheck::ReadRecord(m_image->Device(), end, &record, &present);
    if (result != 0)
        return result;
    uint64_t volumeBytes = 0;
    DeviceSystem::FileBytes(m_image->Device(), &volumeBytes);
    m_dataEndPos = present ? record.head.coveredBytes : VolumeCheck::RecordEnd(volumeBytes, end);
    const std::string& path = m_image->Path();
    if (firstOfImage) {
        if (m_expectedBaseId != 0 && (!present || record.head.imageId != m_expectedBaseId)) {
            DEBUG_TRACE("%s is not the image the newer one builds on!\n", path.c_str());
            return ERR_OTHER_IMAGE;
        }
        m_imageChecked = present;
        m_imageId = present ? record.head.imageId : 0;
        m_expectedBaseId = present ? record.head.baseImageId : 0;
        if (!present)
            DEBUG_TRACE("%s carries no checksums: its data cannot be checked\n", path.c_str());
        if (!m_firstVolumeChecked && present) {
            m_firstVolumeCheck = record;
            m_firstVolumeChecked = true;
        }
    } else if (present != m_imageChecked || (present && record.head.imageId != m_imageId)) {
        DEBUG_TRACE("%s is a volume of another image!\n", path.c_str());
        return ERR_OTHER_IMAGE;
    }
    return m_image->BeginReadAhead(m_dataEndPos, present ? &record : nullptr);
}

int CPartRestore::AwaitVolumeCheck()
{
    if (m_image) {
        const int result = m_image->FinishCheck();
        if (m_checkVerdict == 0)
            m_checkVerdict = result;
    }
    return m_checkVerdict;
}

void CPartRestore::KeepTrailer(const tagBLOCK_END& end)
{
    m_blkStartPos = ImageFormat::BlockStartOf(end);
    m_volumeIndex = end.volumeIndex;
    m_extentLayout = end.spare3;
    m_formatFlags = end.spare1;
}

int CPartRestore::ReadBlockStartRecord(tagBLOCK_START* start, bool needsMftBitmap)
{
    ImageRecords::Trailer trailer;
    ImageRecords::EndRecords records;
    const int result = VolumeRecords::ReadEndRecords(m_image->Device(), &trailer, &records);
    if (result != 0)
        return result;
    *start = records.start;
    if (needsMftBitmap && start->mftBitmapSize == 0) {
        DEBUG_TRACE("Get MFT Bitmap failed, The MFT Bitmap Size is zero!\n");
        return ERR_BAD_MAGIC;
    }
    // The MFT bitmap is read from here on.
    return m_image->Seek(static_cast<int64_t>(records.mftBitmapAt), SEEK_SET) == 0 ? 0 : ERR_SEEK_FILE;
}

int CPartRestore::ReadPartitionInfoRecord(tagPARTITION_INFO* info)
{
    ImageRecords::Trailer trailer;
    ImageRecords::EndRecords records;
    const int result = VolumeRecords::ReadEndRecords(m_image->Device(), &trailer, &records);
    if (result != 0)
        return result;
    *info = records.info;
    return m_image->Seek(static_cast<int64_t>(records.blobsAt), SEEK_SET) == 0 ? 0 : ERR_SEEK_FILE;
}

int CPartRestore::ReadBlkStart()
{
    const bool ntfs = m_fsType == FS_TYPE_NTFS;
    tagBLOCK_START start{};
    int result = ReadBlockStartRecord(&start, ntfs);
    if (result != 0)
        return result;
    DEBUG_TRACE("Backup Time: %d-%d-%d %d:%d:%d\n", start.year, start.month, start.day, start.hour,
                start.minute, start.second);
    return ntfs ? SetMFTBitmapBuf(start.mftBitmapSize) : 0;
}

int CPartRestore::ReadPartInfo()
{
    ImageRecords::Trailer trailer;
    ImageRecords::EndRecords records;
    int result = VolumeRecords::ReadEndRecords(m_image->Device(), &trailer, &records);
    if (result != 0)
        return result;
    const tagPARTITION_INFO& info = records.info;
    SetPartInfo(info);
    m_clusterBytes = info.clusterBytes;
    m_sectorBytes = info.sectorBytes;
    m_compressType = info.compressType;
    m_usedBytes = info.usedBytes;
    Callbacks::TotalBytes(m_cb, m_usedBytes);

    // Writers only ever store these sizes; any other is a damaged record,
    // refused before its bytes go to a disk.
    result = VolumeRecords::Code(ImageRecords::CheckAreaSizes(info, m_fsType), m_image->Path());
    if (result != 0)
        return result;
    ImageRecords::Blobs blobs;
    result = VolumeRecords::ReadBlobs(m_image->Device(), trailer, records, &blobs);
    if (result != 0)
        return result;
    if (!blobs.mbr.empty()) {
        try {
            m_mbr = blobs.mbr;
        } catch (const std::bad_alloc&) {
            DEBUG_TRACE("Allocate memory for MBR failded!\n");
            return ERR_NO_MEMORY;
        }
        m_mbrSize = static_cast<uint32_t>(blobs.mbr.size());
    }
    if (!blobs.bootArea.empty()) {
        m_bootArea = blobs.bootArea;
        m_bootAreaSize = static_cast<uint16_t>(blobs.bootArea.size());
    }
    // The wizards check the password; the trace never shows its digest.
    if (!blobs.passwordDigest.empty())
        DEBUG_TRACE("Password: the image holds a digest\n");
    if (!blobs.description.empty()) {
        std::string text;
        if (ImageRecords::DecodeDescription(blobs.description, &text) != ImageRecords::Result::Ok ||
            text.empty())
            DEBUG_TRACE("corrupt compress data");
        else
            DEBUG_TRACE("Desciption:: %s\n", text.c_str());
    }
    if (!blobs.fileName.empty())
        DEBUG_TRACE("File Name: %s\n", blobs.fileName.c_str());
    return 0;
}

void CPartRestore::GetDestPartSize()
{
    uint64_t bytes = 0;
    m_targetBytes = DeviceSystem::TargetBytes(*m_part, &bytes) ? bytes : 0;
    m_targetSectors = m_targetBytes >> 9;
    m_targetClusters = m_clusterBytes != 0 ? m_targetBytes / m_clusterBytes : 0;
    DEBUG_TRACE("Total Size: %lld\n", static_cast<long long>(m_targetBytes));
}

int CPartRestore::CheckDiskForBootCode(uint8_t fsType) const
{
    const bool writesBootCode =
        fsType == 0 ? !m_mbr.empty() && m_mbrSize != 0 : m_hasMbr != 0 && !m_mbr.empty() && m_mbrSize >= 512;
    if (!writesBootCode || !m_diskPath.empty())
        return 0;
    DEBUG_TRACE("No disk is known to hold %s: its boot code cannot be restored!\n",
                m_targetPartition.c_str());
    return ERR_NO_DISK;
}

int CPartRestore::OnlyRestoreMbr()
{
    // Only the end records hold the disk start: they are checked here, and
    // the rest of the volume is not read.
    m_image->DropCheck();
    if (m_firstVolumeChecked) {
        const int result = VolumeCheck::VerifyEndRecords(m_image->Device(), m_firstVolumeCheck);
        if (result != 0)
            return result;
    }
    if (m_mbr.empty() || m_mbrSize == 0)
        return 0;
    return WriteDiskStart(std::min(m_mbrSize, ImageFormat::kBootCodeBytes));
}

int CPartRestore::RestoreDiskBootCode()
{
    if (m_hasMbr == 0 || m_mbr.empty() || m_mbrSize < 512)
        return 0;
    if (m_diskPath.empty())
        return ERR_NO_DISK;
    return WriteDiskStart(ImageFormat::kBootCodeBytes);
}

int CPartRestore::WriteDiskStart(uint32_t bootCodeBytes)
{
    if (m_diskPath.empty())
        return ERR_NO_DISK;
    CDeviceIo disk;
    if (disk.Open(m_diskPath, CDeviceIo::ModeUpdate) != 0)
        return ERR_OPEN_DISK;
    if (disk.pWrite(0, m_mbr.data(), bootCodeBytes) != static_cast<int64_t>(bootCodeBytes))
        return ERR_WRITE_MBR;
    const bool synced = disk.Sync() == 0;
    return disk.Close() == 0 && synced ? 0 : ERR_WRITE_MBR;
}

int CPartRestore::ClaimTarget()
{
    return m_part == nullptr ? ERR_OPEN_PART : DeviceSystem::ClaimTarget(*m_part, m_targetPartition);
}

int CPartRestore::SyncTarget()
{
    return m_part == nullptr || m_part->Sync() == 0 ? 0 : ERR_WRITE_PART;
}

std::string CPartRestore::LocatedVolume(const std::string& path) const
{
    return m_survey ? m_survey->Located(path) : path;
}

int CPartRestore::ConfirmImageWhole()
{
    return AwaitVolumeCheck();
}

int CPartRestore::ExplainFailure(int result)
{
    if (result == 0 || result == ERR_CANCELLED)
        return result;
    return AwaitVolumeCheck() == ERR_DAMAGED_IMAGE ? ERR_DAMAGED_IMAGE : result;
}

bool CPartRestore::AskForNextVolume(std::string&)
{
    return false;
}

int CPartRestore::OpenNextVolume()
{
    // The volume left must have proved whole before the walk goes on.
    const int checked = AwaitVolumeCheck();
    m_image->Close();
    if (checked != 0)
        return checked;
    if (m_nextVolumePath.empty()) {
        DEBUG_TRACE("A data set goes on after the image's last volume!\n");
        return ERR_SET_PAST_LAST_VOLUME;
    }
    std::string path = LocatedVolume(m_nextVolumePath);
    while (!DeviceSystem::FileExists(path)) {
        if (!AskForNextVolume(path))
            return ERR_FILE_NOT_FOUND;
    }
    if (m_image->Open(path, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    DEBUG_TRACE("Open next file --- %s\n", path.c_str());
    int result = ReadBlkEnd();
    if (result != 0)
        return result;
    if (m_image->Seek(0, SEEK_SET) != 0)
        return ERR_SEEK_FILE;
    return 0;
}
