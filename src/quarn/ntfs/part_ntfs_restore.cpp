#include "quarn/ntfs/part_ntfs_restore.h"

#include "quarn/image/callbacks.h"
#include "quarn/io/device_system.h"
#include "fslayout/ntfs/ntfs_bits.h"
#include "quarn/ntfs/ntfs_layout_writer.h"
#include "quarn/ntfs/record_digest.h"

#include <QString>

#include <cstring>
#include <new>

CPartNtfsRestore::CPartNtfsRestore(const tagRestoreArgument& arg, const tagCallBackFunc& cb)
    : CPartRestore(arg, cb)
{}

CPartNtfsRestore::~CPartNtfsRestore() = default;

int CPartNtfsRestore::ReadBitmap(unsigned int size, std::unique_ptr<unsigned char[]>* bitmap,
                                 uint64_t* bitmapSize)
{
    bitmap->reset();
    *bitmapSize = 0;
    // The bitmap lies in the image: a size beyond the volume's end is a lie.
    if (size > ImageBytesLeft())
        return ERR_READ_FILE;
    // An empty bitmap is still one the image announced (unlike none).
    try {
        *bitmap = std::make_unique<unsigned char[]>(size);
    } catch (const std::bad_alloc&) {
        DEBUG_TRACE("Allocate Memory for MFT Bitmap failed!\n");
        return ERR_NO_MEMORY;
    }
    if (m_image->Read(bitmap->get(), size) != static_cast<int64_t>(size))
        return ERR_READ_FILE;
    *bitmapSize = size;
    return 0;
}

int CPartNtfsRestore::SetMFTBitmapBuf(unsigned int size)
{
    return ReadBitmap(size, &m_mftBitmap, &m_mftBitmapSize);
}

void CPartNtfsRestore::SetPartInfo(tagPARTITION_INFO info)
{
    m_dataSectionPos = info.dataSectionPos;
    m_recordSectionPos = info.recordSectionPos;
    m_recordCount = info.recordCount;
    m_fileRecordSize = info.fileRecordSize;
}

bool CPartNtfsRestore::AskForNextVolume(std::string& path)
{
    QString asked = QString::fromLocal8Bit(path.c_str());
    if (Callbacks::NextFile(m_cb, asked) != 0)
        return false;
    path = asked.toLocal8Bit().toStdString();
    return true;
}

bool CPartNtfsRestore::RecordInUse(unsigned int n) const
{
    return Ntfs::BitSet(m_mftBitmap.get(), m_mftBitmapSize, n);
}

bool CPartNtfsRestore::RecordInUseInHolder(unsigned int n) const
{
    if (m_curMftBitmap == nullptr)
        return RecordInUse(n);
    return Ntfs::BitSet(m_curMftBitmap.get(), m_curMftBitmapSize, n);
}

int CPartNtfsRestore::RestorePartition()
{
    if (m_fsType != FS_TYPE_NTFS || m_mftBitmap == nullptr)
        return ERR_BAD_MAGIC;
    if (m_fileRecordSize == 0) {
        DEBUG_TRACE("File Record size is zero!\n");
        return ERR_BAD_MAGIC;
    }
    // Only 1024-byte records are ever stored; the record count cannot pass
    // what the MFT bitmap describes.
    if (m_fileRecordSize != ImageFormat::kNtfsFileRecordBytes || m_recordCount == 0 ||
        m_recordCount / 8 > m_mftBitmapSize)
        return ERR_PART_INFO;
    if (m_bootArea.empty() || m_bootAreaSize < 512)
        return ERR_NO_BOOT_AREA;
    int result = CheckBootArea();
    if (result != 0)
        return result;
    m_record.resize(m_fileRecordSize);
    try {
        m_restored.assign(m_recordCount, false);
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    result = ReadSummaries(m_recordSectionPos, m_recordCount, m_dataSectionPos);
    if (result != 0)
        return result;
    m_progress->ProcessState(QStringLiteral("Restoring partition ..."));
    if (m_image->Seek(static_cast<int64_t>(m_dataSectionPos), SEEK_SET) != 0)
        return ERR_SEEK_FILE;

    CResFileRecord records(LayoutInput(), *m_part, *m_progress, *this);
    result = records.Initialize();
    if (result != 0)
        return result;
    uint32_t entries = 0;
    if (m_image->Read(&entries, sizeof(entries)) != static_cast<int64_t>(sizeof(entries)))
        return ERR_READ_FILE;

    for (;;) {
        DEBUG_TRACE("Restore File: %s\n", m_imagePath.c_str());
        // Each image of a chain is read by the rules its own trailer names.
        result = records.BeginImage(m_extentLayout == ImageFormat::kExtentLayoutEveryExtent,
                                    (m_formatFlags & ImageFormat::kFormatFlagRootSystemFiles) != 0);
        if (result == 0)
            result = RestoreImageRecords(records, entries);
        if (result != 0)
            return result;
        if (m_generation == 0)
            break;
        result = OpenPrevImage();
        if (result != 0)
            return result;
        result = ReadPrevFileInfo();
        if (result != 0) {
            DEBUG_TRACE("ReadPrevFileInfo failed!\n");
            return result;
        }
        if (m_image->Seek(static_cast<int64_t>(m_dataSectionPos), SEEK_SET) != 0)
            return ERR_SEEK_FILE;
        if (m_image->Read(&entries, sizeof(entries)) != static_cast<int64_t>(sizeof(entries)))
            return ERR_READ_FILE;
        DEBUG_TRACE("this file totoal MFT counts %lld\n", static_cast<long long>(entries));
    }

    // Every record the newest MFT bitmap calls in use must have come from
    // some image of the chain; a stream that left one out lied about itself.
    for (uint32_t n = 0; n < m_recordCount; ++n) {
        if (RecordInUse(n) && !m_restored[n]) {
            DEBUG_TRACE("Record %u is in use but no image holds it\n", n);
            return ERR_PART_INFO;
        }
    }
    DEBUG_TRACE("finish restore file\n");
    m_progress->ProcessState(QStringLiteral("Finishing restore partition ..."));
    result = records.ResMFTBitmap();
    if (result == 0)
        result = records.ResBitmap();
    if (result == 0)
        result = records.ResMFTMirr();
    // Only an image that proved whole, with everything else on the device,
    // gets the boot sectors that make the target a file system.
    if (result == 0)
        result = ConfirmImageWhole();
    if (result == 0)
        result = SyncTarget();
    if (result == 0)
        result = records.ResBootCode();
    if (result == 0)
        result = RestoreDiskBootCode();
    if (result != 0) {
        DEBUG_TRACE("Restore MFT Bitmap or Bitmap or MFTMirr failed!\n");
        return result;
    }
    DEBUG_TRACE("finish restore!\n");
    m_progress->Complete();
    m_progress->ProcessState(QStringLiteral("Finish"));
    return 0;
}

int CPartNtfsRestore::CheckBootArea() const
{
    // The backup read both from the same boot sector: any difference is
    // damage, and the volume laid out by the partition info would not be
    // the one the written boot sector describes.
    tagNTFS_BOOT_SECTOR boot;
    std::memcpy(&boot, m_bootArea.data(), sizeof boot);
    Ntfs::BootGeometry geometry;
    if (!Ntfs::ReadBootGeometry(boot, &geometry) || geometry.sectorBytes != m_sectorBytes ||
        geometry.clusterBytes != m_clusterBytes) {
        DEBUG_TRACE("The saved boot sector does not fit the image: %u bytes per sector, %u per cluster\n",
                    unsigned(boot.bytesPerSector), unsigned(boot.sectorsPerCluster));
        return ERR_DAMAGED_IMAGE;
    }
    return 0;
}

NtfsLayoutInput CPartNtfsRestore::LayoutInput() const
{
    NtfsLayoutInput input;
    input.clusterBytes = m_clusterBytes;
    input.sectorBytes = m_sectorBytes;
    input.recordBytes = m_fileRecordSize;
    input.recordCount = m_recordCount;
    input.targetBytes = m_targetBytes;
    input.freeBytes = m_freeBytes;
    input.mftBitmap = m_mftBitmap.get();
    input.mftBitmapBytes = m_mftBitmapSize;
    input.bootArea = m_bootArea.data();
    input.bootAreaBytes = m_bootAreaSize;
    input.hiddenSectors = DeviceSystem::PartitionStartSector(*m_part, m_targetPartition);
    return input;
}

int CPartNtfsRestore::RestoreImageRecords(CResFileRecord& records, uint32_t entries)
{
    auto* header = reinterpret_cast<tagFILE_RECORD_HEADER*>(m_record.data());
    for (uint32_t i = 0; i < entries; ++i) {
        uint32_t n = 0;
        if (m_image->Read(&n, sizeof(n)) != static_cast<int64_t>(sizeof(n)))
            return ERR_READ_FILE;
        if (n == ImageFormat::kRecordStreamEnd)
            break;
        if (m_image->Read(m_record.data(), m_fileRecordSize) != static_cast<int64_t>(m_fileRecordSize))
            return ERR_READ_FILE;
        // An image with check records proves its records' bytes itself; its
        // summaries may differ from them where a live volume changed a
        // record between the two reads of the backup (they only steer
        // incrementals). Older images have only the summaries to prove them.
        if (!ImageChecked() && !RecordMatchesSummary(n, m_record.data())) {
            DEBUG_TRACE("MFT record %u differs from its summary in the image\n", n);
            return ERR_DAMAGED_IMAGE;
        }
        bool holderInUse = RecordInUseInHolder(n);
        int result = 0;
        // Records past the newest MFT's end and records a newer image
        // restored already: only their data sets are stepped over.
        if (n >= m_recordCount || m_restored[n]) {
            result = records.SeekFileRecord(n, header, holderInUse);
        } else {
            m_restored[n] = true;
            result = records.ProcFileRecord(n, header, holderInUse, RecordInUse(n));
        }
        if (result != 0)
            return result;
    }
    return 0;
}

int CPartNtfsRestore::OpenPrevImage()
{
    // The newer image must have proved whole before an older one is read.
    const int checked = AwaitVolumeCheck();
    m_image->Close();
    if (checked != 0)
        return checked;
    DEBUG_TRACE("Open prev file: %s \n", m_prevImagePath.c_str());
    std::string path = LocatedVolume(m_prevImagePath);
    // A previous image that cannot be opened is asked for like a missing volume.
    while (path.empty() || m_image->Open(path, CDeviceIo::ModeRead) != 0) {
        if (!AskForNextVolume(path))
            return ERR_OPEN_FILE;
    }
    return 0;
}

int CPartNtfsRestore::ReadPrevFileInfo()
{
    tagBLOCK_END end;
    int result = ReadTrailer(&end);
    if (result != 0)
        return result;
    // Each older image must belong to the chain and be older than the one
    // before it, which also ends a chain whose names loop.
    if (end.chainId != m_chainId || end.generation >= m_generation || end.fsType != FS_TYPE_NTFS)
        return ERR_VOLUME_CHAIN;
    if (end.volumeIndex != 0)
        return ERR_NOT_FIRST_VOLUME;
    m_generation = end.generation;
    KeepTrailer(end);
    result = CheckVolume(end, true);
    if (result != 0)
        return result;

    tagBLOCK_START start;
    result = ReadBlockStartRecord(&start, true);
    if (result == 0)
        result = ReadBitmap(start.mftBitmapSize, &m_curMftBitmap, &m_curMftBitmapSize);
    tagPARTITION_INFO info;
    if (result == 0)
        result = ReadPartitionInfoRecord(&info);
    if (result != 0)
        return result;
    // Every image of a chain describes the same volume.
    if (info.clusterBytes != m_clusterBytes || info.fileRecordSize != m_fileRecordSize)
        return ERR_PART_INFO;
    result = ReadSummaries(info.recordSectionPos, info.recordCount, info.dataSectionPos);
    if (result != 0)
        return result;
    m_dataSectionPos = info.dataSectionPos;
    m_compressType = info.compressType;
    return 0;
}

int CPartNtfsRestore::ReadSummaries(uint32_t sectionPos, uint32_t recordCount, uint64_t dataSectionPos)
{
    // The section holds a summary of every record and ends where the
    // record stream begins; the offset is kept in 32 bits.
    const uint64_t sectionBytes = 4 + uint64_t(recordCount) * sizeof(tagFileRecordInfo);
    if (dataSectionPos < sectionBytes || uint32_t(dataSectionPos - sectionBytes) != sectionPos) {
        DEBUG_TRACE("The MFT record section does not end where the record stream begins\n");
        return ERR_DAMAGED_IMAGE;
    }
    const uint64_t at = dataSectionPos - sectionBytes;
    uint32_t count = 0;
    if (m_image->Seek(static_cast<int64_t>(at), SEEK_SET) != 0)
        return ERR_SEEK_FILE;
    if (m_image->Read(&count, sizeof count) != static_cast<int64_t>(sizeof count))
        return ERR_READ_FILE;
    if (count != recordCount) {
        DEBUG_TRACE("The MFT record section holds %u records, the image %u\n", count, recordCount);
        return ERR_DAMAGED_IMAGE;
    }
    // The entries lie in this volume: a count beyond its end is a lie.
    const uint64_t bytes = uint64_t(count) * sizeof(tagFileRecordInfo);
    if (bytes > ImageBytesLeft())
        return ERR_DAMAGED_IMAGE;
    try {
        m_summaries.assign(count, tagFileRecordInfo{});
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    if (bytes != 0 && m_image->Read(m_summaries.data(), int64_t(bytes)) != int64_t(bytes))
        return ERR_READ_FILE;
    return 0;
}

bool CPartNtfsRestore::RecordMatchesSummary(unsigned int n, const unsigned char* record) const
{
    // Every writer summarised each record of its stream.
    return n < m_summaries.size() && RecordDigest::Matches(record, m_fileRecordSize, m_summaries[n]);
}
