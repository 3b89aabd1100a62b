#include "quarn/image/part_backup.h"

#include "quarn/compression/compress_data.h"
#include "quarn/compression/compression_probe.h"
#include "quarn/compression/parallel_compressor.h"
#include "quarn/image/callbacks.h"
#include "quarn/image/volume_records.h"
#include "quarn/io/device_system.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <cctype>
#include <cstring>
#include <new>
#include <vector>

namespace {

// qCompress of the description, as stored in the image.
QByteArray CompressDescription(const std::string& description)
{
    if (description.empty())
        return QByteArray();
    return qCompress(QByteArray(description.data(), static_cast<int>(description.size())));
}

bool WriteAll(CVolumeWriter& io, const void* data, uint64_t length)
{
    return length == 0 || io.Write(data, static_cast<int64_t>(length)) == static_cast<int64_t>(length);
}

// The base path of a volume named "<base>_<volume>_<generation>.bkp"; empty
// for a name of another form.
std::string ImageBaseOf(const std::string& volumePath)
{
    static const std::string kExtension = ".bkp";
    if (volumePath.size() <= kExtension.size() ||
        volumePath.compare(volumePath.size() - kExtension.size(), kExtension.size(), kExtension) != 0)
        return std::string();
    size_t end = volumePath.size() - kExtension.size();
    for (int number = 0; number < 2; ++number) {
        size_t digits = end;
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(volumePath[digits - 1])))
            --digits;
        if (digits == end || digits == 0 || volumePath[digits - 1] != '_')
            return std::string();
        end = digits - 1;
    }
    return volumePath.substr(0, end);
}

}  // namespace

CPartBackup::CPartBackup(const tagBackupArgument& arg, const tagCallBackFunc& cb,
                         tagBackupImageHeadInfo* head, int headLength)
    : m_incremental(arg.incremental), m_srcPartition(arg.srcPartition),
      m_prevImage(arg.incremental ? arg.prevImage : std::string()), m_fsType(arg.fsType),
      // A negative size cannot be read from a disk: treat it as no MBR area.
      m_mbrSize(arg.mbrSize > 0 ? arg.mbrSize : 0), m_compressType(arg.compressType),
      m_password(arg.password), m_description(arg.description), m_totalBytes(arg.bytesToProcess), m_cb(cb),
      m_head(head), m_imagePath(arg.imagePath), m_mbrSource(arg.mbrSource), m_reserved(arg.reserved),
      m_saveMbr(arg.saveMbr), m_volumeSize(arg.volumeSize),
      m_headLength(head != nullptr && headLength > 0 ? headLength : 0)
{
    // Room for the records that end the first volume.
    m_volumeBytes = CheckRecordReserve() + 1024 + m_prevImage.size() + m_password.size() +
                    m_description.size() + static_cast<uint64_t>(m_mbrSize) +
                    static_cast<uint64_t>(m_headLength);
    m_volumePath = VolumePath(0);
}

CPartBackup::~CPartBackup()
{
    // First: its workers write to m_image until they are joined.
    m_parallel.reset();
    DiscardVolumes();
}

uint64_t CPartBackup::CheckRecordReserve() const
{
    return m_volumeSize == ImageFormat::kNeverSplit ? 0 : ImageFormat::VolumeCheckBytes(m_volumeSize);
}

std::string CPartBackup::VolumePath(unsigned index) const
{
    return VolumeFileName(m_imagePath, index, m_generation);
}

int CPartBackup::BackupPartition()
{
    int result = BackupInit();
    if (result == 0)
        result = BackupFiles();
    if (result == 0 && m_parallel != nullptr)
        result = ParallelResult(m_parallel->Drain());
    if (result == 0) {
        m_progress->ProcessState(QStringLiteral("Finish"));
        result = WriteBackupFileEndInfo();
    }
    if (result == 0)
        result = CloseVolume();
    if (result == 0)
        result = PublishVolumes();
    if (result != 0) {
        // Nothing may write to a volume while it is removed.
        m_parallel.reset();  // joins its workers
        DiscardVolumes();
    }
    return result;
}

int CPartBackup::CheckRequest()
{
    if (m_incremental) {
        int result = GetPrevFileInfo();
        if (result != 0)
            return result;
    }
    // Readers take a description blob of kMaxBlobBytes at most,
    // which a text of kMaxDescriptionBytes never exceeds.
    if (m_description.size() > ImageFormat::kMaxDescriptionBytes ||
        static_cast<uint32_t>(CompressDescription(m_description).size()) > ImageFormat::kMaxBlobBytes) {
        DEBUG_TRACE("The description is longer than %u bytes!\n", ImageFormat::kMaxDescriptionBytes);
        return ERR_FIELD_TOO_LONG;
    }
    return 0;
}

int CPartBackup::BackupInit()
{
    int result = CheckRequest();
    if (result != 0)
        return result;

    m_part = std::make_unique<CDeviceIo>();
    m_image = std::make_unique<CVolumeWriter>();
    m_buffer.resize(kBufferBytes);
    if (m_compressType != 0) {
        m_compressor = std::make_unique<CCompressData>(static_cast<unsigned char>(m_compressType));
        m_probe = std::make_unique<CCompressionProbe>(m_compressType);
    }
    const bool compressorReady =
        m_compressor != nullptr && m_compressor->IsReady() && m_probe != nullptr && m_probe->IsReady();
    // A type without a coder keeps the single path, which fails its first
    // data set as every such job does.
    const bool parallel = compressorReady && m_compressType >= 1 && m_compressType <= 3 &&
                          CParallelCompressor::ThreadsFromEnvironment() > 1;
    if (parallel)
        m_parallel = std::make_unique<CParallelCompressor>(
            m_compressType, CParallelCompressor::ThreadsFromEnvironment(),
            [this](const unsigned char* stored, uint64_t bytes) { return WriteStoredBytes(stored, bytes); });
    if ((m_compressType != 0 && !compressorReady) || (parallel && !m_parallel->IsReady())) {
        DEBUG_TRACE("Allocate memory failed!\n");
        return ERR_NO_MEMORY;
    }

    // The source is checked before any volume is created: a source the job
    // cannot back up leaves every file of the image folder as it was.
    result = OpenSource();
    if (result != 0)
        return result;
    result = OpenVolume(m_volumePath);
    if (result != 0)
        return result;
    Callbacks::TotalBytes(m_cb, m_totalBytes);

    m_progress = std::make_unique<CPartProgress>(m_totalBytes, m_cb.onProgress, m_cb.context);
    m_progress->SetCallbacks(m_cb);
    m_progress->ProcessState(QStringLiteral("Initializing ..."));

    time_t now = time(nullptr);
#ifdef _WIN32
    localtime_s(&m_startTime, &now);
#else
    localtime_r(&now, &m_startTime);
#endif
    char line[256];
    if (strftime(line, sizeof line, "Backup Time: %A, day %d of %B in the year %Y.\n", &m_startTime) > 0)
        DEBUG_TRACE("%s", line);
    if (!m_incremental)
        m_chainId = static_cast<uint32_t>(now);
    m_imageId = VolumeCheck::NewImageId();

    if (m_headLength > 0 && !WriteAll(*m_image, m_head, static_cast<uint64_t>(m_headLength)))
        return ERR_WRITE_FILE;
    return 0;
}

int CPartBackup::OpenSource()
{
    if (m_part->Open(m_srcPartition, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_PART;
    const int result = GetBootCodeInfo();
    if (result != 0)
        return result;
    // The used-size query may fail; the request's total then stands.
    (void)GetPartNumOfUsedBytes();
    return m_totalBytes != 0 ? 0 : MeasurePartition(&m_totalBytes);
}

int CPartBackup::StreamInit(StreamSink& sink)
{
    m_streamSink = &sink;
    m_compressType = 0;
    m_chunkBytes = kStreamChunkBytes;
    m_part = std::make_unique<CDeviceIo>();
    m_buffer.resize(m_chunkBytes);
    const int result = OpenSource();
    if (result != 0)
        return result;
    m_progress = std::make_unique<CPartProgress>(m_totalBytes, nullptr, nullptr);
    return 0;
}

int CPartBackup::GetPrevFileInfo()
{
    if (!DeviceSystem::FileExists(m_prevImage))
        return ERR_FILE_NOT_FOUND;
    CDeviceIo prev;
    if (prev.Open(m_prevImage, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    tagBLOCK_END end{};
    const int result = ReadVolumeTrailer(prev, &end);
    if (result != 0)
        return result;
    // The generation is one byte: a further image would take generation 0
    // and overwrite the full backup's first volume.
    if (end.generation >= ImageFormat::kMaxGeneration) {
        DEBUG_TRACE("The incremental chain of %s is full!\n", m_prevImage.c_str());
        return ERR_CHAIN_FULL;
    }
    // A later image of the chain already builds on this one: another one
    // would take its generation, and the later images their base.
    const std::string prevBase = ImageBaseOf(m_prevImage);
    if (!prevBase.empty() && DeviceSystem::FileExists(VolumeFileName(prevBase, 0, end.generation + 1u))) {
        DEBUG_TRACE("%s is not the newest image of its chain!\n", m_prevImage.c_str());
        return ERR_NOT_NEWEST_IMAGE;
    }
    VolumeCheck::Record check;
    bool checked = false;
    const int checkResult = VolumeCheck::ReadRecord(prev, end, &check, &checked);
    if (checkResult != 0)
        return checkResult;
    m_baseImageId = checked ? check.head.imageId : 0;
    m_prevFormatFlags = end.spare1;
    m_generation = static_cast<uint8_t>(end.generation + 1);
    m_chainId = end.chainId;
    m_volumePath = VolumePath(0);
    return 0;
}

int CPartBackup::TakeGeometry(uint32_t sectorBytes, uint32_t clusterBytes)
{
    m_sectorBytes = sectorBytes;
    m_clusterBytes = clusterBytes;
    return MeasurePartition(&m_partitionBytes);
}

void CPartBackup::EndEveryVolumeWithRecords()
{
    m_recordsInEveryVolume = true;
    m_volumeBytes = 0;
}

int CPartBackup::WriteToVolume(const void* data, uint64_t length, uint64_t counted)
{
    m_volumeBytes += counted;
    return WriteAll(*m_image, data, length) ? 0 : ERR_WRITE_FILE;
}

int CPartBackup::ImagePosition(uint64_t* pos) const
{
    const int64_t at = m_image->GetCurrentPos();
    if (at < 0)
        return ERR_SEEK_FILE;
    *pos = static_cast<uint64_t>(at);
    return 0;
}

namespace {

// Where WithoutOutput's walk puts its stream: nowhere.
class DiscardedStream final : public StreamSink {
public:
    int Put(const void*, uint64_t) override { return 0; }
};

}  // namespace

int CPartBackup::WithoutOutput(const std::function<int()>& walk)
{
    StreamSink* sink = m_streamSink;
    DiscardedStream nowhere;
    m_streamSink = &nowhere;
    const int result = walk();
    m_streamSink = sink;
    return result;
}

int CPartBackup::OpenPreviousImage(CDeviceIo& prev)
{
    while (prev.Open(m_prevImage, CDeviceIo::ModeRead) != 0) {
        QString path = QString::fromLocal8Bit(m_prevImage.c_str());
        if (Callbacks::NextFile(m_cb, path) != 0)
            return ERR_OPEN_FILE;
        m_prevImage = path.toLocal8Bit().toStdString();
    }
    return 0;
}

int CPartBackup::AskCancel()
{
    return Callbacks::Progress(m_cb, m_progress->LastStep()) != 0 ? ERR_CANCELLED : 0;
}

int CPartBackup::MeasurePartition(uint64_t* bytes)
{
    if (m_part->Seek(0, SEEK_END) != 0)
        return ERR_SEEK_PART;
    const int64_t size = m_part->GetCurrentPos();
    if (size < 0 || m_part->Seek(0, SEEK_SET) != 0)
        return ERR_SEEK_PART;
    *bytes = static_cast<uint64_t>(size);
    return 0;
}

int CPartBackup::ReadVolumeTrailer(CDeviceIo& volume, tagBLOCK_END* end)
{
    std::string prevName;
    std::string nextName;
    return VolumeRecords::Read(volume, end, &prevName, &nextName);
}

int CPartBackup::WriteBackupFileEndInfo()
{
    m_image->BeginEndRecords();
    int result = 0;
    if (m_firstVolume) {
        result = WriteBlkStart();
        if (result == 0)
            result = WritePartInfo();
    }
    if (result == 0)
        result = WriteBlkEnd();
    const int finished = m_image->FinishVolume(m_imageId, m_baseImageId);
    return result != 0 ? result : finished;
}

int CPartBackup::WriteBlkStart()
{
    int64_t pos = m_image->GetCurrentPos();
    if (pos < 0)
        return ERR_SEEK_FILE;
    m_blkStartPos = static_cast<uint64_t>(pos);

    tagBLOCK_START start{};
    start.magic = ImageFormat::kBlockStartMagic;
    start.year = static_cast<uint16_t>(m_startTime.tm_year + 1900);
    start.month = static_cast<uint8_t>(m_startTime.tm_mon + 1);
    start.day = static_cast<uint8_t>(m_startTime.tm_mday);
    start.hour = static_cast<uint8_t>(m_startTime.tm_hour);
    start.minute = static_cast<uint8_t>(m_startTime.tm_min);
    start.second = static_cast<uint8_t>(m_startTime.tm_sec);
    start.mftBitmapSize = static_cast<uint32_t>(GetMftBitmapAllocSize());
    if (!WriteAll(*m_image, &start, sizeof start))
        return ERR_WRITE_FILE;
    return WriteMFTBitmap();
}

int CPartBackup::WritePartInfo()
{
    tagPARTITION_INFO info{};
    info.magic = ImageFormat::kPartitionInfoMagic;
    WritePartInfoDiff(&info);
    info.partitionBytes = m_partitionBytes;
    info.usedBytes = m_totalBytes;
    info.clusterBytes = m_clusterBytes;
    info.sectorBytes = m_sectorBytes;
    info.compressType = static_cast<uint8_t>(m_compressType);
    info.mbrSize = static_cast<uint32_t>(m_mbrSize);

    QByteArray digest;
    if (!m_password.empty()) {
        digest = QCryptographicHash::hash(QByteArray(m_password.data(), static_cast<int>(m_password.size())),
                                          QCryptographicHash::Md5);
        // The digest is as good as the password to whoever reads it: the
        // trace says only that there is one.
        DEBUG_TRACE("password: stored as its digest\n");
    }
    info.passwordHashSize = static_cast<uint16_t>(digest.size());

    QByteArray description = CompressDescription(m_description);
    if (!description.isEmpty()) {
        DEBUG_TRACE("description: %s\n", m_description.c_str());
        DEBUG_TRACE("compress deccription: %s\n", description.toHex().constData());
        DEBUG_TRACE("compress description size : %d\n", description.size());
    }
    info.descriptionSize = static_cast<uint16_t>(description.size());

    const std::string fileName = SplitFileName(m_volumePath);
    info.fileNameSize = static_cast<uint16_t>(fileName.size());

    // A short write of the record still lets the blobs follow; a later
    // failure replaces its code.
    int result = WriteAll(*m_image, &info, sizeof info) ? 0 : ERR_WRITE_FILE;

    if (m_mbrSize > 0) {
        std::vector<unsigned char> mbr;
        try {
            mbr.resize(static_cast<size_t>(m_mbrSize));
        } catch (const std::bad_alloc&) {
            DEBUG_TRACE("Allocate memory failed!\n");
            return ERR_NO_MEMORY;
        }
        CDeviceIo disk;
        if (disk.Open(m_mbrSource, CDeviceIo::ModeRead) != 0)
            return ERR_OPEN_DISK;
        if (disk.Read(mbr.data(), m_mbrSize) != m_mbrSize)
            return ERR_READ_MBR;
        if (!WriteAll(*m_image, mbr.data(), mbr.size()))
            return ERR_WRITE_FILE;
    }

    if (info.bootAreaSize != 0) {
        // Not through m_buffer: a volume change ends the volume while the
        // data chunk that caused it still waits there to be written.
        // Nor may it move the source: a walk that reads a file
        // sequentially goes on where it was after a volume change.
        std::vector<unsigned char> boot(info.bootAreaSize);
        const int64_t sourcePos = m_part->GetCurrentPos();
        if (sourcePos < 0 || m_part->Seek(0, SEEK_SET) != 0)
            return ERR_SEEK_PART;
        if (m_part->Read(boot.data(), info.bootAreaSize) != info.bootAreaSize)
            return ERR_READ_PART;
        if (m_part->Seek(sourcePos, SEEK_SET) != 0)
            return ERR_SEEK_PART;
        if (!WriteAll(*m_image, boot.data(), boot.size()))
            return ERR_WRITE_FILE;
        if (m_progress->ProgressFunc(info.bootAreaSize) != 0)
            return ERR_CANCELLED;
    }

    if (!WriteAll(*m_image, digest.constData(), static_cast<uint64_t>(digest.size())) ||
        !WriteAll(*m_image, description.constData(), static_cast<uint64_t>(description.size())) ||
        !WriteAll(*m_image, fileName.data(), fileName.size()))
        return ERR_WRITE_FILE;
    return result;
}

int CPartBackup::WriteBlkEnd()
{
    const std::string prevName = m_incremental ? SplitFileName(m_prevImage) : std::string();

    tagBLOCK_END end{};
    end.magic = ImageFormat::kBlockEndMagic;
    end.chainId = m_chainId;
    if (m_firstVolume) {
        end.blkStartLow = static_cast<uint32_t>(m_blkStartPos);
        end.blkStartHigh = static_cast<uint32_t>(m_blkStartPos >> 32);
    }
    end.volumeIndex = m_volumeIndex++;
    end.singleVolume = m_singleVolume;
    end.generation = m_generation;
    end.spare1 = m_formatFlags | ImageFormat::kFormatFlagVolumeCheck;
    end.fsType = static_cast<uint8_t>(m_fsType);
    end.spare2 = ImageFormat::kEndRecordFixedByte;
    end.spare3 = m_extentLayout;
    end.prevNameSize = static_cast<uint16_t>(prevName.size());
    end.nextNameSize = static_cast<uint16_t>(m_nextVolumeName.size());

    if (!WriteAll(*m_image, prevName.data(), prevName.size()) ||
        !WriteAll(*m_image, m_nextVolumeName.data(), m_nextVolumeName.size()) ||
        !WriteAll(*m_image, &end, sizeof end))
        return ERR_WRITE_FILE;
    return 0;
}

int CPartBackup::IntoNewVolume()
{
    // The index is one byte in the trailer: a 257th volume would carry
    // index 0 again and could not be told from the first.
    const unsigned nextIndex = m_volumeIndex + 1u;
    if (nextIndex >= ImageFormat::kMaxVolumes) {
        DEBUG_TRACE("An image cannot have more than %u volumes!\n", ImageFormat::kMaxVolumes);
        return ERR_TOO_MANY_VOLUMES;
    }
    const std::string nextPath = VolumePath(nextIndex);
    m_nextVolumeName = SplitFileName(nextPath);
    m_singleVolume = 0;

    int result = WriteBackupFileEndInfo();
    m_nextVolumeName.clear();
    if (result == 0)
        result = CloseVolume();
    if (result != 0)
        return result;

    result = OpenVolume(nextPath);
    if (result != 0)
        return result;
    DEBUG_TRACE("Create a new volume file --- %s\n", m_volumePath.c_str());
    if (!m_recordsInEveryVolume)
        m_firstVolume = false;
    m_volumeBytes = CheckRecordReserve();
    return 0;
}

int CPartBackup::OpenVolume(const std::string& path)
{
    m_volumePath = path;
    m_unfinishedVolumes.push_back(path);
    if (m_image->Open(UnfinishedVolumeName(path), CDeviceIo::ModeCreate) != 0)
        return ERR_OPEN_FILE;
    m_image->BufferWrites();
    return 0;
}

// Every volume is on its device (CloseVolume) before any takes its final
// name. Readers start from volume 0, so it takes its name last: the new
// image can be found only once all of its volumes bear their names.
int CPartBackup::PublishVolumes()
{
    while (!m_unfinishedVolumes.empty()) {
        const std::string& path = m_unfinishedVolumes.back();
        if (DeviceSystem::ReplaceFile(UnfinishedVolumeName(path), path) != 0)
            return ERR_WRITE_FILE;
        m_unfinishedVolumes.pop_back();
    }
    return DeviceSystem::SyncFolder(GetFileNamePath(m_imagePath)) == 0 ? 0 : ERR_WRITE_FILE;
}

void CPartBackup::DiscardVolumes()
{
    if (m_image != nullptr && m_image->IsOpen())
        m_image->Close();
    for (const std::string& path : m_unfinishedVolumes)
        DeviceSystem::RemoveFile(UnfinishedVolumeName(path));
    m_unfinishedVolumes.clear();
}

// A finished volume must be on its device before the job goes on or says
// it succeeded: the user may take the disc or the disk away next.
int CPartBackup::CloseVolume()
{
    const bool synced = m_image->Sync() == 0;
    const bool closed = m_image->Close() == 0;
    return synced && closed ? 0 : ERR_WRITE_FILE;
}

int CPartBackup::BeginDataSet(bool storedRaw)
{
    m_dataSetOpen = true;
    m_dataSetRaw = storedRaw;
    m_dataSetUnjudged = !storedRaw && m_compressor != nullptr;
    if (m_streamSink != nullptr)
        return 0;
    return InOrder([this, storedRaw] {
        m_dataSetHead = tagDATA_SET_HEAD{};
        m_dataSetHead.storedRaw = storedRaw ? 1 : 0;
        return WriteDataSetHead();
    });
}

int CPartBackup::WriteInOrder(const void* data, uint32_t length, uint64_t counted)
{
    if (m_streamSink != nullptr)
        return m_streamSink->Put(data, length);
    auto write = [this, counted](const void* bytes, uint32_t size) {
        m_volumeBytes += counted;
        return WriteAll(*m_image, bytes, size) ? 0 : ERR_WRITE_FILE;
    };
    if (m_parallel == nullptr || m_parallel->Idle())
        return write(data, length);
    const auto* first = static_cast<const unsigned char*>(data);
    std::vector<unsigned char> copy(first, first + length);
    return InOrder(
        [write, copy = std::move(copy)] { return write(copy.data(), static_cast<uint32_t>(copy.size())); });
}

int CPartBackup::InOrder(std::function<int()> write)
{
    if (m_parallel == nullptr)
        return write();
    return ParallelResult(m_parallel->Later(std::move(write)));
}

int CPartBackup::ParallelResult(int result)
{
    return result == ERR_COMPRESS ? FailCompress() : result;
}

int CPartBackup::WriteDataSetHead()
{
    int64_t pos = m_image->GetCurrentPos();
    if (pos < 0)
        return ERR_SEEK_FILE;
    m_dataSetHeadPos = static_cast<uint64_t>(pos);
    const int64_t length = sizeof m_dataSetHead;
    return m_image->WritePlaceholder(&m_dataSetHead, length) == length ? 0 : ERR_WRITE_FILE;
}

int CPartBackup::PatchDataSetHead()
{
    const int64_t length = sizeof m_dataSetHead;
    return m_image->WriteAt(static_cast<int64_t>(m_dataSetHeadPos), &m_dataSetHead, length) == length
               ? 0
               : ERR_WRITE_FILE;
}

int CPartBackup::WriteStoredBytes(const unsigned char* data, uint64_t length)
{
    if (length == 0)
        return 0;
    const bool overflows = m_volumeSize != ImageFormat::kNeverSplit &&
                           (m_volumeBytes > m_volumeSize || length > m_volumeSize - m_volumeBytes);
    if (overflows) {
        m_dataSetHead.continued = 1;
        int result = PatchDataSetHead();
        if (result == 0)
            result = IntoNewVolume();
        if (result != 0)
            return result;
        m_dataSetHead.continued = 0;
        m_dataSetHead.dataBytes = 0;
        result = WriteDataSetHead();
        if (result != 0)
            return result;
    }
    m_dataSetHead.dataBytes += length;
    m_volumeBytes += length;
    return WriteAll(*m_image, data, length) ? 0 : ERR_WRITE_FILE;
}

int CPartBackup::FailCompress()
{
    DEBUG_TRACE(m_fsType == FS_TYPE_FAT32 ? "fat32 compress failed!\n" : "compress data failed!\n");
    return ERR_COMPRESS;
}

int CPartBackup::WriteCompressorOutput(unsigned char* data, uint32_t length, bool final)
{
    bool more = false;
    do {
        unsigned char* out = nullptr;
        unsigned long outLength = 0;
        if (m_compressor->Compress(more ? nullptr : data, more ? 0 : length, final, &out, &outLength, more) !=
            0)
            return FailCompress();
        if (outLength != 0) {
            if (out == nullptr)
                return FailCompress();
            int result = WriteStoredBytes(out, outLength);
            if (result != 0)
                return result;
        }
    } while (more);
    return 0;
}

int CPartBackup::WriteDataChunk(const unsigned char* data, uint32_t length)
{
    if (!m_dataSetOpen)
        return ERR_WRITE_FILE;
    if (length == 0)
        return 0;
    if (m_streamSink != nullptr)
        return PutStreamPart(data, length, true);
    if (m_dataSetUnjudged) {
        m_dataSetUnjudged = false;
        if (!m_probe->Pays(data, length)) {
            // Before any stored byte: the head says so wherever it is written.
            m_dataSetRaw = true;
            const int result = InOrder([this] {
                m_dataSetHead.storedRaw = 1;
                return 0;
            });
            if (result != 0)
                return result;
        }
    }
    if (m_compressor == nullptr || m_dataSetRaw) {
        if (m_parallel == nullptr || m_parallel->Idle())
            return WriteStoredBytes(data, length);
        std::vector<unsigned char> copy(data, data + length);
        return InOrder([this, copy = std::move(copy)] { return WriteStoredBytes(copy.data(), copy.size()); });
    }
    if (m_parallel != nullptr)
        return ParallelResult(m_parallel->Append(data, length));
    return WriteCompressorOutput(const_cast<unsigned char*>(data), length, false);
}

int CPartBackup::EndDataSet()
{
    if (!m_dataSetOpen)
        return ERR_WRITE_FILE;
    m_dataSetOpen = false;
    if (m_streamSink != nullptr)
        return PutStreamPart(nullptr, 0, false);
    if (m_compressor != nullptr && !m_dataSetRaw) {
        const int result = m_parallel != nullptr ? ParallelResult(m_parallel->Finish(!m_deferRecords))
                                                 : WriteCompressorOutput(nullptr, 0, true);
        if (result != 0)
            return result;
    }
    return InOrder([this] {
        m_dataSetHead.continued = 0;
        return PatchDataSetHead();
    });
}

int CPartBackup::PutStreamPart(const unsigned char* data, uint32_t length, bool continued)
{
    // Each chunk is a part of its own, announced by its head, so that no
    // head waits for the set's size: the reader follows a continued part
    // into the next one as across volumes, and an empty last part ends it.
    tagDATA_SET_HEAD head{};
    head.storedRaw = 1;
    head.continued = continued ? 1 : 0;
    head.dataBytes = length;
    int result = m_streamSink->Put(&head, sizeof head);
    if (result == 0 && length != 0)
        result = m_streamSink->Put(data, length);
    return result;
}
