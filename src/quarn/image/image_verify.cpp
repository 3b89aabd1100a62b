#include "quarn/image/image_verify.h"

#include "quarn/fat32/fat32_stream_check.h"
#include "quarn/image/callbacks.h"
#include "quarn/image/image_survey.h"
#include "quarn/image/volume_read_ahead.h"
#include "quarn/image/volume_check.h"
#include "quarn/image/volume_records.h"
#include "quarn/io/device_io.h"
#include "quarn/io/device_system.h"
#include "fslayout/ntfs/ntfs_bits.h"
#include "quarn/ntfs/ntfs_stream_check.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>

namespace {

// How often the progress of a volume's reading goes out while the walk
// waits for it.
constexpr std::chrono::milliseconds kReportInterval(20);

}  // namespace

CImageVerify::CImageVerify(const tagRestoreArgument& arg, const tagCallBackFunc& cb)
    : m_imagePath(arg.imagePath), m_imageDir(GetFileNamePath(arg.imagePath)), m_cb(cb)
{}

bool CImageVerify::AskForVolume(std::string& path)
{
    QString asked = QString::fromLocal8Bit(path.c_str());
    if (Callbacks::NextFile(m_cb, asked) != 0)
        return false;
    path = asked.toLocal8Bit().toStdString();
    return true;
}

bool CImageVerify::Cancelled()
{
    // The bytes read so far go out as progress, whose steps ask the
    // caller; between steps the last one is asked again.
    if (ReportRead() != 0)
        return true;
    const int step = m_progress ? m_progress->LastStep() : 0;
    return step > 0 && Callbacks::Progress(m_cb, step) != 0;
}

int CImageVerify::Run()
{
    Callbacks::State(m_cb, QStringLiteral("Initializing ..."));
    int result = Collect();
    if (result != 0)
        return result;
    uint64_t total = 0;
    for (const Image& image : m_images) {
        for (const VerifyVolume& volume : image.volumes)
            total += volume.bytes;
    }
    Callbacks::TotalBytes(m_cb, total);
    m_progress = std::make_unique<CPartProgress>(total, m_cb.onProgress, m_cb.context);
    m_progress->SetCallbacks(m_cb);
    m_progress->ProcessState(QStringLiteral("Verifying image ..."));

    bool allChecked = true;
    std::vector<bool> held(m_images.front().volumes.front().info.recordCount, false);
    for (const Image& image : m_images) {
        result = image.fsType == FS_TYPE_NTFS ? CheckNtfsImage(image, &held) : CheckFat32Image(image);
        if (result != 0)
            return result;
        if (!image.checked) {
            allChecked = false;
            DEBUG_TRACE("%s carries no data checksums: only its structure%s could be checked\n",
                        image.volumes.front().path.c_str(),
                        image.fsType == FS_TYPE_NTFS ? " and record digests" : "");
        }
    }
    if (m_images.front().fsType == FS_TYPE_NTFS) {
        // Every record the newest MFT bitmap calls in use must come from
        // some image of the chain.
        const std::vector<uint8_t>& bitmap = m_images.front().mftBitmap;
        for (uint32_t n = 0; n < held.size(); ++n) {
            if (Ntfs::BitSet(bitmap, n) && !held[n]) {
                DEBUG_TRACE("Record %u is in use but no image holds it\n", n);
                return DamagedAt(m_images.front().volumes.front().path, "a record in use that no image holds",
                                 0);
            }
        }
    }
    m_progress->Complete();
    m_progress->ProcessState(QStringLiteral("Finish"));
    return allChecked ? 0 : VERIFY_NO_DATA_CHECKSUMS;
}

int CImageVerify::Collect()
{
    CImageSurvey survey(m_imageDir, [this](std::string& path) { return AskForVolume(path); });
    int result = survey.Survey(m_imagePath, 0);
    if (result != 0) {
        NameVolume(survey.LastVolume());
        return result;
    }
    std::string first = m_imagePath;
    for (;;) {
        Image image;
        std::string prevName;
        std::string path = first;
        for (;;) {
            std::string nextName;
            result = CollectVolume(survey.Located(path), &image, &nextName, &prevName);
            if (result != 0)
                return result;
            if (nextName.empty())
                break;
            path = m_imageDir + nextName;
        }
        m_images.push_back(std::move(image));
        const Image& added = m_images.back();
        if (added.generation == 0 || added.fsType != FS_TYPE_NTFS)
            return 0;
        first = m_imageDir + prevName;
    }
}

int CImageVerify::CollectVolume(const std::string& path, Image* image, std::string* nextName,
                                std::string* prevName)
{
    VerifyVolume volume;
    volume.path = path;
    CDeviceIo io;
    if (io.Open(path, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    int result = VolumeRecords::Read(io, &volume.end, prevName, nextName);
    if (result == 0)
        result = VolumeCheck::ReadRecord(io, volume.end, &volume.record, &volume.checked);
    if (result != 0)
        return result;
    if (!DeviceSystem::FileBytes(io, &volume.bytes))
        return ERR_READ_FILE;
    const uint64_t recordEnd = VolumeCheck::RecordEnd(volume.bytes, volume.end);
    volume.dataEnd = volume.checked ? volume.record.head.coveredBytes : recordEnd;
    io.Close();

    const bool firstVolume = image->volumes.empty();
    if (firstVolume) {
        image->fsType = volume.end.fsType;
        image->generation = volume.end.generation;
        image->checked = volume.checked;
        if (image->fsType != FS_TYPE_NTFS && image->fsType != FS_TYPE_FAT32)
            return DamagedAt(path, "the trailer's file-system code", volume.bytes - sizeof(tagBLOCK_END));
    }
    // Every FAT32 volume ends with its own end records; of an NTFS image
    // only the first does.
    const bool ownsEndRecords = firstVolume || image->fsType == FS_TYPE_FAT32;
    if (ownsEndRecords != (ImageFormat::BlockStartOf(volume.end) != 0))
        return DamagedAt(path, "the trailer's block-start offset", volume.bytes - sizeof(tagBLOCK_END));
    if (ownsEndRecords) {
        result = ReadEndRecords(volume, image->fsType, firstVolume ? &image->mftBitmap : nullptr);
        if (result != 0)
            return result;
        if (!firstVolume) {
            const tagPARTITION_INFO& a = image->volumes.front().info;
            const tagPARTITION_INFO& b = volume.info;
            if (a.dataSectionPos != b.dataSectionPos || a.partitionBytes != b.partitionBytes ||
                a.usedBytes != b.usedBytes || a.clusterBytes != b.clusterBytes ||
                a.sectorBytes != b.sectorBytes || a.compressType != b.compressType || a.mbrSize != b.mbrSize)
                return DamagedAt(path, "a partition record unlike the first volume's",
                                 ImageFormat::BlockStartOf(volume.end));
        }
    }
    image->volumes.push_back(std::move(volume));
    return 0;
}

int CImageVerify::ReadEndRecords(VerifyVolume& volume, uint8_t fsType, std::vector<uint8_t>* mftBitmap)
{
    const bool ntfs = fsType == FS_TYPE_NTFS;
    const uint64_t blockStart = ImageFormat::BlockStartOf(volume.end);
    const uint64_t trailerStart = ImageFormat::TrailerStartOf(volume.bytes, volume.end);
    CDeviceIo io;
    if (io.Open(volume.path, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    ImageRecords::Trailer trailer;
    trailer.end = volume.end;
    trailer.volumeBytes = volume.bytes;
    ImageRecords::EndRecords records;
    DeviceRecordFile file(io);
    const ImageRecords::Result read = blockStart < volume.dataEnd
                                          ? ImageRecords::Result::BadBlockStart
                                          : ImageRecords::ReadEndRecords(file, trailer, &records);
    const tagBLOCK_START& start = records.start;
    const uint64_t infoAt = records.InfoAt();
    switch (read) {
    case ImageRecords::Result::Ok:
        break;
    case ImageRecords::Result::MftBitmapPastEnd:
        return DamagedAt(volume.path, "the MFT bitmap's size", blockStart);
    case ImageRecords::Result::PartitionInfoPastEnd:
    case ImageRecords::Result::BadPartitionInfo:
        return DamagedAt(volume.path, "the partition record", infoAt);
    default:
        return DamagedAt(volume.path, "the block start record", blockStart);
    }
    uint64_t at = records.mftBitmapAt;
    if (ntfs ? start.mftBitmapSize == 0 : start.mftBitmapSize != 0)
        return DamagedAt(volume.path, "the MFT bitmap's size", blockStart);
    if (mftBitmap != nullptr && ntfs) {
        try {
            mftBitmap->resize(start.mftBitmapSize);
        } catch (const std::bad_alloc&) {
            return ERR_NO_MEMORY;
        }
        if (io.ReadAt(int64_t(at), mftBitmap->data(), start.mftBitmapSize) != int64_t(start.mftBitmapSize))
            return ERR_READ_FILE;
    }
    at = infoAt;
    tagPARTITION_INFO& info = volume.info;
    info = records.info;
    volume.hasInfo = true;
    const bool common = ImageRecords::CheckAreaSizes(info, fsType) == ImageRecords::Result::Ok &&
                        ImageRecords::CheckBlobSizes(info) == ImageRecords::Result::Ok &&
                        info.fileNameSize != 0 && info.compressType <= 3 && info.clusterBytes != 0 &&
                        info.sectorBytes != 0 && info.clusterBytes % info.sectorBytes == 0 &&
                        info.dataSectionPos <= blockStart;
    const bool ntfsFields = info.bootAreaSize == ImageFormat::kNtfsBootAreaBytes &&
                            info.fileRecordSize == ImageFormat::kNtfsFileRecordBytes &&
                            info.reservedFs == ImageFormat::kNtfsReservedFs && info.recordCount != 0 &&
                            (info.recordCount + 7) / 8 <= start.mftBitmapSize &&
                            info.recordSectionPos < info.dataSectionPos;
    const bool fatFields = info.bootAreaSize == ImageFormat::kFat32BootAreaBytes &&
                           info.fileRecordSize == 0 && info.recordSectionPos == 0;
    if (!common || !(ntfs ? ntfsFields : fatFields))
        return DamagedAt(volume.path, "the partition record's fields", at);
    at += sizeof info;
    const uint64_t blobs = uint64_t(info.mbrSize) + info.bootAreaSize + info.passwordHashSize +
                           info.descriptionSize + info.fileNameSize;
    if (at + blobs != trailerStart)
        return DamagedAt(volume.path, "the end records do not fill the volume up to its trailer", at);
    return 0;
}

void CImageVerify::NameVolume(const std::string& path) const
{
    Callbacks::Name(m_cb, QString::fromStdString(path.substr(path.find_last_of("/\\") + 1)));
}

int CImageVerify::EnterVolume(const VerifyVolume& volume)
{
    const int result = FinishReadAhead();
    if (result != 0)
        return result;
    // The volume now checked, shown as the job's current file: after a
    // fault, the one that holds it.
    NameVolume(volume.path);
    m_reported = 0;
    try {
        m_readAhead = std::make_unique<CVolumeReadAhead>(volume);
    } catch (const std::system_error&) {
        DEBUG_TRACE("No thread to read %s!\n", volume.path.c_str());
        return ERR_NO_MEMORY;
    }
    return 0;
}

int CImageVerify::ReportRead()
{
    if (!m_readAhead)
        return 0;
    const uint64_t read = m_readAhead->BytesRead();
    if (read == m_reported)
        return 0;
    const uint64_t bytes = read - m_reported;
    m_reported = read;
    return m_progress->ProgressFunc(bytes);
}

int CImageVerify::FinishReadAhead()
{
    if (!m_readAhead)
        return 0;
    // The caller sees the reading go on, and can cancel it, while it ends.
    while (!m_readAhead->WaitFor(kReportInterval)) {
        if (ReportRead() != 0) {
            m_readAhead.reset();
            return ERR_CANCELLED;
        }
    }
    int result = m_readAhead->Result();
    if (result == 0)
        result = ReportRead();
    m_readAhead.reset();
    return result;
}

int CImageVerify::EndWalk(int result)
{
    if (result == 0)
        return FinishReadAhead();
    // A walk that lost its way in a damaged volume: the checksums tell
    // where the damage lies.
    if (result != ERR_CANCELLED && result != ERR_DAMAGED_IMAGE && result != ERR_NO_MEMORY &&
        FinishReadAhead() == ERR_DAMAGED_IMAGE)
        return ERR_DAMAGED_IMAGE;
    m_readAhead.reset();
    return result;
}

int CImageVerify::AsDamage(int result, const CVerifySource& source)
{
    switch (result) {
    case ERR_READ_FILE:
    case ERR_SEEK_FILE:
        return source.Damaged("a data set whose stored bytes do not fit its volume or its size");
    case ERR_COMPRESS:
        return source.Damaged("a data set that does not decode to its size");
    case ERR_BAD_MAGIC:
    case ERR_PART_INFO:
        return source.Damaged("the data section");
    default:
        return result;
    }
}

int CImageVerify::CheckNtfsImage(const Image& image, std::vector<bool>* held)
{
    const VerifyVolume& first = image.volumes.front();
    const tagPARTITION_INFO& info = first.info;
    NtfsStreamFacts facts;
    facts.dataSectionPos = info.dataSectionPos;
    facts.recordCount = info.recordCount;
    facts.newestRecordCount = m_images.front().volumes.front().info.recordCount;
    facts.full = image.generation == 0;
    facts.checked = image.checked;
    facts.extentsStored = first.end.spare3 == ImageFormat::kExtentLayoutEveryExtent;
    facts.rootSystemFilesOnly = (first.end.spare1 & ImageFormat::kFormatFlagRootSystemFiles) != 0;
    facts.mftBitmap = image.mftBitmap;
    facts.clusterBytes = info.clusterBytes;

    // The MFT record section: a count, then one summary per record; the
    // data section follows it at once.
    CDeviceIo io;
    if (io.Open(first.path, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    uint32_t count = 0;
    const uint64_t sectionBytes = 4 + uint64_t(info.recordCount) * sizeof(tagFileRecordInfo);
    if (io.ReadAt(info.recordSectionPos, &count, 4) != 4 || count != info.recordCount ||
        info.recordSectionPos + sectionBytes != info.dataSectionPos)
        return DamagedAt(first.path, "the MFT record section", info.recordSectionPos);
    try {
        facts.summaries.resize(count);
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    const int64_t summaryBytes = int64_t(count) * int64_t(sizeof(tagFileRecordInfo));
    if (io.ReadAt(int64_t(info.recordSectionPos) + 4, facts.summaries.data(), summaryBytes) != summaryBytes)
        return ERR_READ_FILE;
    io.Close();

    CVerifySource source(image.volumes, info.compressType);
    source.OnVolumeEntered([this, &image](size_t index) { return EnterVolume(image.volumes[index]); });
    CNtfsStreamCheck check(source, facts, [this] { return Cancelled(); });
    return EndWalk(AsDamage(check.Run(held), source));
}

int CImageVerify::CheckFat32Image(const Image& image)
{
    const tagPARTITION_INFO& info = image.volumes.front().info;
    CVerifySource source(image.volumes, info.compressType);
    source.OnVolumeEntered([this, &image](size_t index) { return EnterVolume(image.volumes[index]); });
    CFat32StreamCheck check(source, image.volumes, info.dataSectionPos, [this] { return Cancelled(); });
    return EndWalk(AsDamage(check.Run(), source));
}
