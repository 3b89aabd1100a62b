#include "quarn/ntfs/part_ntfs_backup.h"

#include "quarn/compression/parallel_compressor.h"
#include "quarn/image/callbacks.h"
#include "quarn/image/volume_records.h"
#include "fslayout/ntfs/ntfs_bits.h"
#include "fslayout/ntfs/ntfs_index.h"
#include "fslayout/ntfs/ntfs_record.h"
#include "quarn/ntfs/record_digest.h"
#include "usedspace/usedspace.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kRecordBytes = ImageFormat::kNtfsFileRecordBytes;
constexpr unsigned kSystemRecords = Ntfs::kFirstUserRecord;
constexpr size_t kSummaryBatch = 4096;
// While an incremental job reads the MFT to compare it, the caller is
// asked whether to cancel after each this many records (4 MiB of MFT).
constexpr uint32_t kCancelCheckRecords = 4096;
constexpr uint64_t kMaxAttributeListBytes = 0x40000;
// "pagefile.sys" and "hiberfil.sys" alike.
constexpr int kSpecialNameLength = 12;

const tagFILE_RECORD_HEADER* Header(const uint8_t* record)
{
    return reinterpret_cast<const tagFILE_RECORD_HEADER*>(record);
}

// Attributes are walked only as far as the record says it uses, the bound
// the restore walks by too, so both agree on which data sets follow.
uint32_t WalkBound(const uint8_t* record)
{
    return std::min<uint32_t>(kRecordBytes, Header(record)->bytesInUse);
}

// The name of a resident $FILE_NAME value, or an empty string when the
// value is too short for it.
QString FileNameText(const tagATTR_FILE_NAME* name, uint32_t valueLength)
{
    if (valueLength < offsetof(tagATTR_FILE_NAME, name) ||
        offsetof(tagATTR_FILE_NAME, name) + 2u * name->nameLength > valueLength)
        return QString();
    std::vector<ushort> units(name->nameLength);
    std::memcpy(units.data(), name->name, units.size() * 2);
    return QString::fromUtf16(units.data(), int(units.size()));
}

// The names a file is shown by: not DOS names, not directories unless asked.
bool IsShownName(const tagATTR_FILE_NAME* name, bool evenDirectories)
{
    return name->nameLength != 0 && name->nameSpace != Ntfs::kNameSpaceDos &&
           (evenDirectories || (name->flags & Ntfs::kFileNameIsDirectory) == 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// CNtfsBackupData

CNtfsBackupData::CNtfsBackupData(CPartNtfsBackup& job) : m_job(job)
{}

int CNtfsBackupData::Init()
{
    return m_job.CompressorReady() ? 0 : ERR_NO_MEMORY;
}

int CNtfsBackupData::WriteDataSet()
{
    return m_job.BeginDataSet(m_job.m_storedRaw);
}

int CNtfsBackupData::WriteData(unsigned char* bytes, unsigned length)
{
    return m_job.WriteDataChunk(bytes, length);
}

int CNtfsBackupData::BackupData(const tagRECORD_ATTR* attribute, unsigned)
{
    CAttrReadData reader(&m_job.Source(), attribute, m_job.ClusterBytes(), m_job.m_clusterCount);
    int result = reader.ParseDataRunList();
    if (result != 0)
        return result;
    result = WriteDataSet();
    if (result != 0)
        return result;
    const uint64_t total = reader.ExtentBytes();
    for (uint64_t offset = 0; offset < total;) {
        unsigned length = unsigned(std::min<uint64_t>(m_job.ChunkBytes(), total - offset));
        unsigned got = 0;
        if (reader.AttrReadData(offset, m_job.ChunkBuffer(), length, &got) != 0 || got != length)
            return ERR_READ_PART;
        result = WriteData(m_job.ChunkBuffer(), length);
        if (result != 0)
            return result;
        if (m_job.Progress().ProgressFunc(length) != 0)
            return ERR_CANCELLED;
        offset += length;
    }
    return m_job.EndDataSet();
}

// ---------------------------------------------------------------------------
// CPartNtfsBackup

CPartNtfsBackup::CPartNtfsBackup(const tagBackupArgument& arg, const tagCallBackFunc& cb,
                                 tagBackupImageHeadInfo* head, int headLength)
    : CPartBackup(arg, cb, head, headLength)
{
    StoreEveryExtent();
    // Only the root folder's page and hibernation files stay out.
    SetFormatFlags(ImageFormat::kFormatFlagRootSystemFiles | ImageFormat::kFormatFlagContentDigests);
    // Records go through WriteInOrder, so data sets may still be compressed
    // while the walk reads on.
    DeferRecords();
}

CPartNtfsBackup::~CPartNtfsBackup() = default;

int CPartNtfsBackup::GetBootCodeInfo()
{
    if (Source().pRead(0, &m_boot, sizeof m_boot) != int64_t(sizeof m_boot))
        return ERR_READ_PART;
    Ntfs::BootGeometry geometry;
    if (!Ntfs::ReadBootGeometry(m_boot, &geometry)) {
        DEBUG_TRACE("dev:%s, no usable NTFS boot sector\n", SourcePath().c_str());
        return ERR_PART_INFO;
    }
    m_clusterCount = geometry.clusterCount;
    m_mftLcn = geometry.mftLcn;
    m_mftMirrLcn = geometry.mftMirrLcn;
    m_indexRecordSize = geometry.indexRecordBytes;
    m_fileRecordSize = geometry.fileRecordBytes;
    if (m_fileRecordSize != kRecordBytes) {
        // Images hold 1024-byte records; walking larger ones in 1024-byte
        // steps would store garbage. No volume has been created yet.
        DEBUG_TRACE("dev:%s, file record size is %u\n", SourcePath().c_str(), m_fileRecordSize);
        return ERR_PART_INFO;
    }
    const int result = TakeGeometry(geometry.sectorBytes, geometry.clusterBytes);
    if (result != 0)
        return result;
    m_record.assign(kRecordBytes, 0);
    m_fixed.assign(kRecordBytes, 0);
    return 0;
}

int CPartNtfsBackup::GetPartNumOfUsedBytes()
{
    unsigned long long used = 0;
    if (ntfs_used(SourcePath().c_str(), &used) != 0)
        return ERR_PART_INFO;
    SetUsedBytes(used);
    return 0;
}

int CPartNtfsBackup::WriteMFTBitmap()
{
    const int result = WriteToVolume(m_mftBitmap.data(), m_mftBitmap.size(), 0);
    if (result != 0)
        return result;
    return Progress().ProgressFunc(m_mftBitmap.size()) != 0 ? ERR_CANCELLED : 0;
}

void CPartNtfsBackup::WritePartInfoDiff(tagPARTITION_INFO* info)
{
    info->recordSectionPos = uint32_t(m_recordSectionPos);
    info->dataSectionPos = m_dataSectionPos;
    info->recordCount = m_recordCount;
    info->fileRecordSize = kRecordBytes;
    info->indexRecordSize = m_indexRecordSize;
    info->reservedFs = uint32_t(m_reservedFs);
    info->bootAreaSize = ImageFormat::kNtfsBootAreaBytes;
}

int CPartNtfsBackup::BackupFiles()
{
    m_exclusions = CRecordExclusions::ForThisSystem();
    int result = m_exclusions ? m_exclusions->Build(Source()) : ERR_NO_MEMORY;
    if (result == 0)
        result = ProcMFT();
    if (result == 0)
        result = BackupFilesInfo();
    if (result != 0)
        return result;

    result = ImagePosition(&m_dataSectionPos);
    if (result != 0)
        return result;
    m_backupData = std::make_unique<CNtfsBackupData>(*this);
    if (m_backupData->Init() != 0) {
        DEBUG_TRACE("Allocate memory failed!\n");
        return ERR_NO_MEMORY;
    }
    DEBUG_TRACE("start backup files ...\n");
    Progress().ProcessState(QStringLiteral("Backing up partition ..."));
    return WriteRecordStream();
}

int CPartNtfsBackup::PrepareStream(bool leaveOutPagefile, bool leaveOutHiberfile)
{
    m_storedSets.LeaveOut(leaveOutPagefile, leaveOutHiberfile);
    m_exclusions = CRecordExclusions::ForThisSystem();
    int result = m_exclusions ? m_exclusions->Build(Source()) : ERR_NO_MEMORY;
    if (result == 0)
        result = ProcMFT();
    if (result == 0)
        result = ProveRecordsInUse();
    if (result != 0)
        return result;
    m_backupData = std::make_unique<CNtfsBackupData>(*this);
    return m_backupData->Init() == 0 ? 0 : ERR_NO_MEMORY;
}

int CPartNtfsBackup::ProveRecordsInUse()
{
    // The stream's walk refuses a damaged record in use when it meets it,
    // which for a clone is after its destination's old file system is
    // gone: the same checks (update sequence, attributes, run lists) run
    // over every record in use first.
    // The sets the walk reads, by its rule (before any name is met, so
    // also those of the page and hibernation files).
    const StoredDataSets rule = m_storedSets;
    for (uint32_t record = 0; record < m_recordCount; ++record) {
        if (!IsRecordInUse(record))
            continue;
        int result = ReadFileRecord(record);
        if (result != 0)
            return result;
        if (!TurnOffFixup()) {
            DEBUG_TRACE("File record %u: update sequence does not match\n", record);
            return ERR_PART_INFO;
        }
        Ntfs::AttributeWalker walker(m_record.data(), WalkBound(m_record.data()));
        while (const tagRECORD_ATTR* attr = walker.Next()) {
            if (!attr->nonResident || !rule.CarriesDataSet(OwnerRecord(record), attr))
                continue;
            CAttrReadData runs(&Source(), attr, ClusterBytes(), m_clusterCount);
            result = runs.ParseDataRunList();
            if (result != 0) {
                DEBUG_TRACE("File record %u: a run list that does not decode\n", record);
                return result;
            }
        }
        if (walker.Damaged()) {
            DEBUG_TRACE("File record %u: damaged attribute\n", record);
            return ERR_PART_INFO;
        }
    }
    return 0;
}

int CPartNtfsBackup::ProcMFT()
{
    if (m_mftLcn >= m_clusterCount)
        return ERR_PART_INFO;
    if (Source().pRead(int64_t(m_mftLcn * ClusterBytes()), m_record.data(), kRecordBytes) != kRecordBytes)
        return ERR_READ_PART;
    if (!Ntfs::HasFileMagic(m_record.data()))
        return ERR_PART_INFO;
    m_fixed = m_record;
    if (!Ntfs::RemoveFixup(m_fixed.data(), kRecordBytes))
        return ERR_PART_INFO;

    // No volume has more records than 1024-byte pieces, so no sound MFT
    // bitmap is longer than one bit for each, plus cluster rounding.
    const uint64_t volumeBytes = m_clusterCount * ClusterBytes();
    const uint64_t bitmapLimit = volumeBytes / (kRecordBytes * 8) + 2ull * ClusterBytes() + 8;
    uint64_t count = UINT64_MAX;
    std::vector<unsigned char> attributeList;
    Ntfs::AttributeWalker walker(m_fixed.data(), kRecordBytes);
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type == Ntfs::ATTR_ATTRIBUTE_LIST && attributeList.empty()) {
            int result = ReadAttributeList(attr, &attributeList);
            if (result != 0)
                return result;
            continue;
        }
        if (!attr->nonResident || attr->nameLength != 0)
            continue;
        if (attr->type == Ntfs::ATTR_BITMAP && m_mftBitmap.empty()) {
            uint64_t allocated = attr->nonRes.allocatedSize;
            if (allocated == 0 || allocated > bitmapLimit || allocated > UINT32_MAX)
                return ERR_PART_INFO;
            count = std::min(count, attr->nonRes.dataSize * 8);
            CAttrReadData reader(&Source(), attr, ClusterBytes(), m_clusterCount);
            int result = reader.ParseDataRunList();
            if (result != 0)
                return result;
            try {
                m_mftBitmap.assign(allocated, 0);
            } catch (const std::bad_alloc&) {
                DEBUG_TRACE("Allocate memory failed!\n");
                return ERR_NO_MEMORY;
            }
            unsigned got = 0;
            if (reader.AttrReadData(0, m_mftBitmap.data(), unsigned(allocated), &got) != 0 ||
                got != allocated)
                return ERR_READ_PART;
            ReserveForEndRecords(allocated);
        } else if (attr->type == Ntfs::ATTR_DATA && m_mftDataAttr.empty()) {
            if (attr->nonRes.lowestVcn != 0)
                return ERR_PART_INFO;
            const auto* bytes = reinterpret_cast<const unsigned char*>(attr);
            m_mftDataAttr.assign(bytes, bytes + attr->length);
            count = std::min(count, attr->nonRes.allocatedSize / kRecordBytes);
        }
    }
    if (walker.Damaged() || m_mftDataAttr.empty() || m_mftBitmap.empty())
        return ERR_PART_INFO;
    // Records 0-15 belong to the system files: a table without them is not
    // an MFT, and an incremental job always stores them.
    if (count < kSystemRecords || count > UINT32_MAX) {
        DEBUG_TRACE("dev:%s, unusable MFT record count %llu\n", SourcePath().c_str(),
                    static_cast<unsigned long long>(count));
        return ERR_PART_INFO;
    }
    m_recordCount = uint32_t(count);
    m_mftWindow.reset();
    m_mftReader = std::make_unique<CAttrReadData>(
        &Source(), reinterpret_cast<const tagRECORD_ATTR*>(m_mftDataAttr.data()), ClusterBytes(),
        m_clusterCount);
    m_mftWindow = std::make_unique<CAttrReadWindow>(*m_mftReader);
    int result = m_mftReader->ParseDataRunList();
    if (result == 0 && !attributeList.empty())
        result = AddMftExtents(attributeList);
    if (result != 0)
        return result;
    if (m_mftReader->ExtentBytes() / kRecordBytes < m_recordCount) {
        DEBUG_TRACE("dev:%s, the MFT's extents hold fewer than its %u records\n", SourcePath().c_str(),
                    m_recordCount);
        return ERR_PART_INFO;
    }
    return 0;
}

int CPartNtfsBackup::ReadAttributeList(const tagRECORD_ATTR* attr, std::vector<unsigned char>* value)
{
    if (!attr->nonResident) {
        const unsigned char* bytes = Ntfs::ResidentValue(attr);
        value->assign(bytes, bytes + attr->resident.valueLength);
        return 0;
    }
    // No attribute list is longer than this; a larger size is damage.
    const uint64_t size = attr->nonRes.dataSize;
    if (attr->nonRes.lowestVcn != 0 || size > kMaxAttributeListBytes)
        return ERR_PART_INFO;
    CAttrReadData reader(&Source(), attr, ClusterBytes(), m_clusterCount);
    int result = reader.ParseDataRunList();
    if (result != 0)
        return result;
    value->assign(size, 0);
    unsigned got = 0;
    if (reader.AttrReadData(0, value->data(), unsigned(size), &got) != 0 || got != size)
        return ERR_PART_INFO;
    return 0;
}

// The MFT's own $DATA may go on in extension records that record 0's
// attribute list names. They always lie among the low records, which the
// extents read so far reach; each extent must follow on from the one
// before, so a list that repeats, loops back or leaves a gap is refused.
int CPartNtfsBackup::AddMftExtents(const std::vector<unsigned char>& attributeList)
{
    struct Extent {
        uint64_t lowestVcn;
        uint64_t record;
    };
    std::vector<Extent> extents;
    for (size_t at = 0; at < attributeList.size();) {
        tagATTR_LIST_ENTRY entry;
        if (attributeList.size() - at < sizeof entry)
            return ERR_PART_INFO;
        std::memcpy(&entry, attributeList.data() + at, sizeof entry);
        if (entry.length < sizeof entry || entry.length > attributeList.size() - at)
            return ERR_PART_INFO;
        at += entry.length;
        const uint64_t record = entry.recordReference & Ntfs::kRecordNumberMask;
        if (entry.type != Ntfs::ATTR_DATA || entry.nameLength != 0 || entry.lowestVcn == 0)
            continue;
        if (record == Ntfs::kMftRecord)
            return ERR_PART_INFO;
        extents.push_back({entry.lowestVcn, record});
    }
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.lowestVcn < b.lowestVcn; });
    for (const Extent& extent : extents) {
        if (extent.record >= m_recordCount ||
            (extent.record + 1) * kRecordBytes > m_mftReader->ExtentBytes()) {
            DEBUG_TRACE("MFT extension record %llu lies outside the MFT read so far\n",
                        static_cast<unsigned long long>(extent.record));
            return ERR_PART_INFO;
        }
        int result = ReadFileRecord(unsigned(extent.record));
        if (result != 0)
            return result;
        std::memcpy(m_fixed.data(), m_record.data(), kRecordBytes);
        const auto* header = Header(m_fixed.data());
        if (!Ntfs::HasFileMagic(m_fixed.data()) || !Ntfs::RemoveFixup(m_fixed.data(), kRecordBytes) ||
            !Ntfs::IsRecordInUse(m_fixed.data()) ||
            (header->baseRecord & Ntfs::kRecordNumberMask) != Ntfs::kMftRecord)
            return ERR_PART_INFO;
        const tagRECORD_ATTR* data =
            Ntfs::FindUnnamed(m_fixed.data(), WalkBound(m_fixed.data()), Ntfs::ATTR_DATA, extent.lowestVcn);
        if (data == nullptr || m_mftReader->AppendExtent(data) != 0) {
            DEBUG_TRACE("MFT extent at VCN %llu in record %llu does not decode\n",
                        static_cast<unsigned long long>(extent.lowestVcn),
                        static_cast<unsigned long long>(extent.record));
            return ERR_PART_INFO;
        }
    }
    return 0;
}

int CPartNtfsBackup::ReadFileRecord(unsigned record)
{
    unsigned got = 0;
    if (m_mftWindow->AttrReadData(uint64_t(record) * kRecordBytes, m_record.data(), kRecordBytes, &got) !=
            0 ||
        got != kRecordBytes)
        return ERR_READ_PART;
    // Summaries and the stored record alike see an excluded file as empty.
    if (m_exclusions)
        m_exclusions->Apply(record, m_record.data(), kRecordBytes);
    return 0;
}

bool CPartNtfsBackup::IsFileRecordFree(unsigned record) const
{
    size_t byte = record / 8;
    return byte >= m_mftBitmap.size() || ((m_mftBitmap[byte] >> (record % 8)) & 1) == 0;
}

bool CPartNtfsBackup::IsRecordInUse(unsigned record) const
{
    return Ntfs::HasFileMagic(m_record.data()) && !IsFileRecordFree(record);
}

bool CPartNtfsBackup::TurnOffFixup()
{
    return Ntfs::RemoveFixup(m_record.data(), kRecordBytes);
}

bool CPartNtfsBackup::GetFileRecordInfo(const uint8_t* record, uint32_t size, tagFileRecordInfo* info)
{
    *info = tagFileRecordInfo{};
    const tagRECORD_ATTR* standard = nullptr;
    const tagRECORD_ATTR* fileName = nullptr;
    unsigned nonResident = 0;
    Ntfs::AttributeWalker walker(record, std::min(size, Header(record)->bytesInUse));
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->nonResident) {
            ++nonResident;
            continue;
        }
        if (attr->type == Ntfs::ATTR_STANDARD_INFORMATION)
            standard = attr;
        else if (attr->type == Ntfs::ATTR_FILE_NAME)
            fileName = attr;
    }
    if (walker.Damaged())
        return false;
    info->nonResidentCount = uint8_t(std::min(nonResident, 255u));
    // Modification and MFT-change times, sizes, run lists, flags, names and
    // resident values all stand in the record: any change to them changes
    // its digest. What reading a file changes (access times, the update and
    // log sequence numbers) is left out, so that a source read through a
    // mount does not look changed all over. Data rewritten in place that
    // leaves all of the rest as it was is not seen.
    info->recordDigest = RecordDigest::OfContent(record, size);
    if (standard != nullptr && standard->resident.valueLength >= 36) {
        tagATTR_STANDARD_INFORMATION si;
        std::memcpy(&si, Ntfs::ResidentValue(standard), 36);
        info->fileAttributes = si.fileAttributes;
    }
    if (fileName != nullptr) {
        const auto* name = reinterpret_cast<const tagATTR_FILE_NAME*>(Ntfs::ResidentValue(fileName));
        if (fileName->resident.valueLength >= offsetof(tagATTR_FILE_NAME, name) && IsShownName(name, false)) {
            QByteArray utf8 = FileNameText(name, fileName->resident.valueLength).toUtf8().left(1024);
            info->nameLength = uint16_t(utf8.size());
            info->nameChecksum = qChecksum(utf8.constData(), uint(utf8.size()));
        }
    }
    return true;
}

// Every field counts, the retired one too: an older image's entry holding a
// data digest or a time there differs from a new one, so its record is
// stored once more rather than judged by a field that meant something else.
bool CPartNtfsBackup::CompareFileRecordInfo(const tagFileRecordInfo* a, const tagFileRecordInfo* b)
{
    return a->nonResidentCount == b->nonResidentCount && a->recordDigest == b->recordDigest &&
           a->formerDataDigest == b->formerDataDigest && a->fileAttributes == b->fileAttributes &&
           a->nameLength == b->nameLength && a->nameChecksum == b->nameChecksum;
}

void CPartNtfsBackup::NoteStoredName(StoredDataSets& sets, unsigned owner, const tagATTR_FILE_NAME* name,
                                     uint32_t valueLength)
{
    // Only a shown name as long as the special ones is worth converting.
    if (valueLength < offsetof(tagATTR_FILE_NAME, name) || !IsShownName(name, false) ||
        name->nameLength != kSpecialNameLength)
        return;
    const uint32_t parent = uint32_t(name->parentReference & Ntfs::kRecordNumberMask);
    sets.NoteName(owner, parent, FileNameText(name, valueLength));
}

int CPartNtfsBackup::SummarizeRecord(unsigned record, bool evenWhenFree, tagFileRecordInfo* info)
{
    *info = tagFileRecordInfo{};
    const bool inUse = IsRecordInUse(record);
    if (!Ntfs::HasFileMagic(m_record.data()) || (!inUse && !evenWhenFree))
        return 0;
    std::memcpy(m_fixed.data(), m_record.data(), kRecordBytes);
    if (!Ntfs::RemoveFixup(m_fixed.data(), kRecordBytes) ||
        !GetFileRecordInfo(m_fixed.data(), kRecordBytes, info)) {
        *info = tagFileRecordInfo{};
        if (!inUse)
            return 0;
        DEBUG_TRACE("File record %u is damaged\n", record);
        return ERR_PART_INFO;
    }
    return 0;
}

int CPartNtfsBackup::WriteSummaries(std::vector<tagFileRecordInfo>& entries)
{
    if (entries.empty())
        return 0;
    const uint32_t bytes = uint32_t(entries.size() * sizeof(tagFileRecordInfo));
    const int result = WriteInOrder(entries.data(), bytes, bytes);
    entries.clear();
    return result;
}

// Summaries are written in batches rather than 25 bytes at a time.
int CPartNtfsBackup::AddSummary(std::vector<tagFileRecordInfo>& batch, const tagFileRecordInfo& info)
{
    batch.push_back(info);
    return batch.size() == kSummaryBatch ? WriteSummaries(batch) : 0;
}

int CPartNtfsBackup::BackupFilesInfo()
{
    return Incremental() ? BackupFilesInfoInc() : BackupFilesInfoFull();
}

int CPartNtfsBackup::BackupFilesInfoFull()
{
    int result = ImagePosition(&m_recordSectionPos);
    if (result != 0)
        return result;
    m_changeList.clear();
    // Nothing waits to be written before the first data set.
    result = WriteInOrder(&m_recordCount, 4, 0);
    if (result != 0)
        return result;
    std::vector<tagFileRecordInfo> batch;
    batch.reserve(kSummaryBatch);
    for (uint32_t record = 0; record < m_recordCount; ++record) {
        result = ReadFileRecord(record);
        tagFileRecordInfo info{};
        if (result == 0)
            result = SummarizeRecord(record, false, &info);
        if (result == 0)
            result = AddSummary(batch, info);
        if (result != 0)
            return result;
    }
    return WriteSummaries(batch);
}

int CPartNtfsBackup::BackupFilesInfoInc()
{
    CDeviceIo prev;
    int result = OpenPreviousImage(prev);
    if (result != 0)
        return result;

    // Only an image's first volume holds its block start.
    ImageRecords::Trailer trailer;
    ImageRecords::EndRecords records;
    result = VolumeRecords::ReadEndRecords(prev, &trailer, &records);
    if (result != 0)
        return result;
    if (ImageFormat::BlockStartOf(trailer.end) == 0)
        return ERR_BAD_MAGIC;
    if (records.start.mftBitmapSize == 0) {
        DEBUG_TRACE("Get MFT Bitmap failed, The MFT Bitmap Size is zero!\n");
        return ERR_BAD_MAGIC;
    }
    const tagPARTITION_INFO& info = records.info;
    uint32_t prevCount = 0;
    if (prev.Seek(info.recordSectionPos, SEEK_SET) != 0)
        return ERR_SEEK_FILE;
    if (prev.Read(&prevCount, 4) != 4)
        return ERR_READ_FILE;

    result = ImagePosition(&m_recordSectionPos);
    if (result != 0)
        return result;
    result = WriteInOrder(&m_recordCount, 4, 0);
    if (result != 0)
        return result;
    m_changeList.clear();
    const uint32_t limit = std::min(m_recordCount, prevCount);
    if (prev.Seek(int64_t(kSystemRecords * sizeof(tagFileRecordInfo)), SEEK_CUR) != 0)
        return ERR_SEEK_FILE;

    // Images before content digests summarised the whole record.
    const bool prevContentDigests = (PreviousFormatFlags() & ImageFormat::kFormatFlagContentDigests) != 0;
    std::vector<tagFileRecordInfo> batch;
    batch.reserve(kSummaryBatch);
    for (uint32_t record = 0; record < m_recordCount; ++record) {
        // Reading the MFT only to compare it counts for nothing in the
        // image: the caller is asked without moving the progress.
        if (record % kCancelCheckRecords == kCancelCheckRecords - 1 && AskCancel() != 0)
            return ERR_CANCELLED;
        result = ReadFileRecord(record);
        if (result != 0)
            return result;
        tagFileRecordInfo current{};
        bool listed = false;
        if (record < kSystemRecords) {
            // The system files are always stored, whatever they hold.
            result = SummarizeRecord(record, true, &current);
            listed = true;
        } else if (record < limit) {
            tagFileRecordInfo previous{};
            if (prev.Read(&previous, sizeof previous) != int64_t(sizeof previous))
                return ERR_READ_FILE;
            // A record not in use is summarised as zero, as a full backup
            // does: a file deleted since the previous image is then listed
            // and restored as free rather than from the older image.
            result = SummarizeRecord(record, false, &current);
            // A previous image of the whole-record kind is compared by its kind.
            tagFileRecordInfo compared = current;
            if (!prevContentDigests && uint64_t(current.recordDigest) != 0)
                compared.recordDigest = RecordDigest::Of(m_fixed.data(), kRecordBytes);
            listed = !CompareFileRecordInfo(&compared, &previous);
        } else {
            result = SummarizeRecord(record, false, &current);
            listed = Ntfs::HasFileMagic(m_record.data());
        }
        if (result == 0)
            result = AddSummary(batch, current);
        if (result != 0)
            return result;
        if (listed)
            m_changeList.push_back(record);
    }
    return WriteSummaries(batch);
}

int CPartNtfsBackup::WriteRecordStream()
{
    const bool full = !Incremental();
    const uint32_t entries = full ? m_recordCount : uint32_t(m_changeList.size());
    // Nothing waits to be written yet: in an image the count lands right
    // here, as the walk's records and sets do after it.
    const int countResult = WriteInOrder(&entries, 4, 0);
    if (countResult != 0)
        return countResult;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint32_t record = full ? i : m_changeList[i];
        int result = ReadFileRecord(record);
        if (result == 0)
            result = WriteFileRecord(record, m_record.data(), kRecordBytes);
        if (result == 0 && IsRecordInUse(record))
            result = ProcFileRecord(record);
        if (result != 0)
            return result;
    }
    m_recordCountWritten = entries;
    const uint32_t endMark = ImageFormat::kRecordStreamEnd;
    return WriteInOrder(&endMark, 4, 0);
}

int CPartNtfsBackup::WriteFileRecord(unsigned record, const unsigned char* bytes, unsigned size)
{
    unsigned char entry[4 + kRecordBytes];
    uint32_t number = record;
    std::memcpy(entry, &number, 4);
    std::memcpy(entry + 4, bytes, std::min(size, kRecordBytes));
    const int result = WriteInOrder(entry, sizeof entry, kRecordBytes);
    if (result != 0)
        return result;
    return Progress().ProgressFunc(kRecordBytes) != 0 ? ERR_CANCELLED : 0;
}

unsigned CPartNtfsBackup::OwnerOf(const uint8_t* bytes, unsigned record) const
{
    return Ntfs::OwnerRecord(bytes, record, m_recordCount);
}

unsigned CPartNtfsBackup::OwnerRecord(unsigned record) const
{
    return OwnerOf(m_record.data(), record);
}

int CPartNtfsBackup::ProcFileRecord(unsigned record)
{
    if (!TurnOffFixup()) {
        DEBUG_TRACE("File record %u: update sequence does not match\n", record);
        return ERR_PART_INFO;
    }
    Ntfs::AttributeWalker walker(m_record.data(), WalkBound(m_record.data()));
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->nonResident) {
            int result = ProcNonResident(record, attr);
            if (result != 0) {
                DEBUG_TRACE("Process non-resident data error!\n");
                return result;
            }
        } else if (attr->type == Ntfs::ATTR_FILE_NAME) {
            const auto* name = reinterpret_cast<const tagATTR_FILE_NAME*>(Ntfs::ResidentValue(attr));
            // The restore learns the page file from the stream at this same
            // point: so must the backup.
            // A name may stand in an extension record; the file is its base record.
            NoteStoredName(m_storedSets, OwnerRecord(record), name, attr->resident.valueLength);
            DisplayName(record, name, attr->resident.valueLength, false);
        }
    }
    if (walker.Damaged()) {
        DEBUG_TRACE("File record %u: damaged attribute\n", record);
        return ERR_PART_INFO;
    }
    return 0;
}

int CPartNtfsBackup::ProcNonResident(unsigned record, const tagRECORD_ATTR* attribute)
{
    const unsigned owner = OwnerRecord(record);
    if (m_storedSets.IsUnstoredFileData(owner, attribute->type) &&
        !Ntfs::IsUnstoredSystemAttribute(owner, attribute->type)) {
        // Not stored, but its size still moves the progress (once, with the
        // extent that carries the attribute's sizes).
        if (attribute->nonRes.lowestVcn == 0 && Progress().ProgressFunc(attribute->nonRes.allocatedSize) != 0)
            return ERR_CANCELLED;
        return 0;
    }
    if (!m_storedSets.CarriesDataSet(owner, attribute))
        return 0;
    return m_backupData->BackupData(attribute, record);
}

// The name only reports progress; which file is the page file is the
// walk's business (NoteStoredName), not the index search's.
void CPartNtfsBackup::DisplayName(unsigned /*record*/, const tagATTR_FILE_NAME* name, uint32_t valueLength,
                                  bool evenDirectories)
{
    if (valueLength < offsetof(tagATTR_FILE_NAME, name) || !IsShownName(name, evenDirectories))
        return;
    QString text = FileNameText(name, valueLength);
    if (text.isEmpty())
        return;
    QByteArray utf8 = text.toUtf8();
    m_storedRaw = IsCompressFile(utf8.constData()) != 0;
    Progress().ProcessName(utf8.constData());
}

// ---------------------------------------------------------------------------
// Directory look-up

namespace {

constexpr int kNotFound = -1;
constexpr uint64_t kMaxIndexBitmapBytes = 1 << 20;

}  // namespace

// Looks for `name` among the entries of one index node.
int CPartNtfsBackup::SearchIndexNode(const uint8_t* node, uint32_t nodeBytes, const std::string& name,
                                     bool directoriesOnly, unsigned* out)
{
    Ntfs::IndexNodeWalker walker(node, nodeBytes);
    Ntfs::IndexEntry entry;
    while (walker.Next(&entry)) {
        if (directoriesOnly && (entry.key->flags & Ntfs::kFileNameIsDirectory) == 0)
            continue;
        const unsigned record = unsigned(entry.fileReference & Ntfs::kRecordNumberMask);
        DisplayName(record, entry.key, entry.keyBytes, true);
        if (FileNameText(entry.key, entry.keyBytes).toUtf8().toStdString() == name) {
            *out = record;
            return 0;
        }
    }
    if (walker.Damaged())
        return ERR_PART_INFO;
    DEBUG_TRACE("Last Index Entry\n");
    return kNotFound;
}

int CPartNtfsBackup::SearchIndexBlocks(const tagRECORD_ATTR* allocation, const std::vector<uint8_t>& inUse,
                                       const std::string& name, bool directoriesOnly, unsigned* out)
{
    const uint32_t blockBytes = m_indexRecordSize;
    if (blockBytes < Ntfs::kUpdateSequenceStride || blockBytes > Ntfs::kMaxRecordBytes ||
        blockBytes % Ntfs::kUpdateSequenceStride != 0)
        return ERR_PART_INFO;
    CAttrReadData reader(&Source(), allocation, ClusterBytes(), m_clusterCount);
    if (reader.ParseDataRunList() != 0)
        return ERR_PART_INFO;
    std::vector<uint8_t> block(blockBytes);
    const uint64_t blocks = reader.ExtentBytes() / blockBytes;
    for (uint64_t n = 0; n < blocks; ++n) {
        // A free block may still hold the entries of deleted files.
        if (!Ntfs::BitSet(inUse, n))
            continue;
        unsigned got = 0;
        if (reader.AttrReadData(n * blockBytes, block.data(), blockBytes, &got) != 0 || got != blockBytes)
            return ERR_READ_PART;
        if (Ntfs::PrepareIndexBlock(block.data(), blockBytes) != Ntfs::IndexBlockStatus::Ok)
            return ERR_PART_INFO;
        int result = SearchIndexNode(block.data() + Ntfs::kIndexBlockHeaderBytes,
                                     blockBytes - Ntfs::kIndexBlockHeaderBytes, name, directoriesOnly, out);
        if (result != kNotFound)
            return result;
    }
    return kNotFound;
}

int CPartNtfsBackup::GetFileRecordNo(unsigned directoryRecord, std::string name, unsigned* out,
                                     bool directoriesOnly)
{
    if (!m_mftReader || directoryRecord >= m_recordCount)
        return kNotFound;
    int result = ReadFileRecord(directoryRecord);
    if (result != 0)
        return result;
    if (!IsRecordInUse(directoryRecord))
        return kNotFound;
    std::vector<uint8_t> record(m_record);
    if (!Ntfs::RemoveFixup(record.data(), kRecordBytes))
        return ERR_PART_INFO;

    const tagRECORD_ATTR* root = nullptr;
    const tagRECORD_ATTR* allocation = nullptr;
    const tagRECORD_ATTR* bitmap = nullptr;
    Ntfs::AttributeWalker walker(record.data(), WalkBound(record.data()));
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (!Ntfs::IsFileNameIndex(attr))
            continue;
        if (attr->type == Ntfs::ATTR_INDEX_ROOT && !attr->nonResident)
            root = attr;
        else if (attr->type == Ntfs::ATTR_INDEX_ALLOCATION && attr->nonResident)
            allocation = attr;
        else if (attr->type == Ntfs::ATTR_BITMAP)
            bitmap = attr;
    }
    if (walker.Damaged())
        return ERR_PART_INFO;

    // Small directories keep all their entries in the index root; larger
    // ones keep some there and the rest in the index blocks.
    result = kNotFound;
    if (root != nullptr) {
        if (root->resident.valueLength < Ntfs::kIndexRootHeaderBytes)
            return ERR_PART_INFO;
        result = SearchIndexNode(Ntfs::ResidentValue(root) + Ntfs::kIndexRootHeaderBytes,
                                 root->resident.valueLength - Ntfs::kIndexRootHeaderBytes, name,
                                 directoriesOnly, out);
    }
    if (result == kNotFound && allocation != nullptr) {
        std::vector<uint8_t> inUse;
        if (bitmap != nullptr && !bitmap->nonResident) {
            inUse.assign(Ntfs::ResidentValue(bitmap),
                         Ntfs::ResidentValue(bitmap) + bitmap->resident.valueLength);
        } else if (bitmap != nullptr) {
            if (bitmap->nonRes.dataSize > kMaxIndexBitmapBytes)
                return ERR_PART_INFO;
            CAttrReadData reader(&Source(), bitmap, ClusterBytes(), m_clusterCount);
            inUse.assign(size_t(bitmap->nonRes.dataSize), 0);
            unsigned got = 0;
            if (!inUse.empty() && (reader.ParseDataRunList() != 0 ||
                                   reader.AttrReadData(0, inUse.data(), unsigned(inUse.size()), &got) != 0 ||
                                   got != inUse.size()))
                return ERR_PART_INFO;
        } else {
            return ERR_PART_INFO;  // an allocation without its bitmap
        }
        result = SearchIndexBlocks(allocation, inUse, name, directoriesOnly, out);
    }
    if (result != 0 || name == "BCD")
        return result;
    return GetFileRecordNo(*out, "BCD", out, false);
}
