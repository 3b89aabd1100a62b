#include "quarn/ntfs/ntfs_layout_writer.h"

#include "quarn/ntfs/run_list.h"
#include "fslayout/unfinished_restore.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr uint16_t kAttrFlagsPlacedWhole = 0x0001 | 0x4000 | 0x8000;  // compressed, encrypted, sparse
constexpr uint32_t kBootSectorPatchEnd = 0x40;
constexpr uint32_t kBootHiddenSectors = 0x1C;  // u32
constexpr uint32_t kBatchRecords = 256;
// No NTFS tool takes a volume of more clusters than this.
constexpr uint64_t kMaxClusters = 0xFFFFFFFFull;

tagRECORD_ATTR* AttrAt(uint8_t* record, uint32_t offset)
{
    return reinterpret_cast<tagRECORD_ATTR*>(record + offset);
}

}  // namespace

CResFileRecord::CResFileRecord(const NtfsLayoutInput& input, CDeviceIo& part, CPartProgress& progress,
                               DataSetSource& images)
    : m_input(input), m_part(&part), m_progress(&progress), m_reader(images),
      m_clusterBytes(input.clusterBytes), m_recordBytes(input.recordBytes), m_targetBytes(input.targetBytes),
      m_freeBytes(input.freeBytes)
{}

CResFileRecord::~CResFileRecord() = default;

int CResFileRecord::Initialize()
{
    const uint32_t c = m_clusterBytes;
    m_sectorBytes = m_input.sectorBytes;
    if (c < 512 || c > 65536 || (c & (c - 1)) != 0 || m_recordBytes != ImageFormat::kNtfsFileRecordBytes)
        return ERR_PART_INFO;
    if (m_sectorBytes < 256 || m_sectorBytes > 4096 || (m_sectorBytes & (m_sectorBytes - 1)) != 0 ||
        m_sectorBytes > c)
        return ERR_PART_INFO;
    if (m_targetBytes / m_sectorBytes < 2)
        return ERR_PART_TOO_SMALL;
    // The partition's last sector is kept for the backup boot sector.
    m_volumeSectors = m_targetBytes / m_sectorBytes - 1;
    m_clusters = m_volumeSectors * m_sectorBytes / c;
    m_layoutBytes = m_targetBytes;
    if (m_clusters > kMaxClusters) {
        // The largest volume that fits, its backup boot sector right behind
        // its last cluster; the rest of the partition stays unused.
        m_clusters = kMaxClusters;
        m_volumeSectors = kMaxClusters * c / m_sectorBytes;
        m_layoutBytes = (m_volumeSectors + 1) * m_sectorBytes;
        m_freeBytes -= std::min(m_freeBytes, m_targetBytes - m_layoutBytes);
        DEBUG_TRACE(
            "The target needs more than %llu clusters of %u bytes: the volume takes its first %llu bytes\n",
            static_cast<unsigned long long>(kMaxClusters), c, static_cast<unsigned long long>(m_layoutBytes));
    }

    // $Boot holds the first 8 KiB (at least one cluster); the MFT bitmap
    // follows it and the MFT starts at 16 KiB, or right behind the bitmap's
    // cluster when clusters are larger than 8 KiB.
    m_bootClusters = (0x2000 + c - 1) / c;
    m_mftBitmapLcn = m_bootClusters;
    m_mftLcn = std::max<uint64_t>(0x4000 / c, m_bootClusters + 1);
    m_mirrorLcn = (m_layoutBytes / 2) / c;
    m_mirrorReserve = std::max<uint64_t>((8ull * m_recordBytes + c - 1) / c, (MirrorBytes() + c - 1) / c);
    m_secondCursor = m_mirrorLcn + m_mirrorReserve;
    if (m_mirrorLcn <= m_mftLcn || m_secondCursor > m_clusters)
        return ERR_PART_TOO_SMALL;

    int result = m_bitmap.Initialize(m_clusters, c);
    if (result != 0)
        return result;
    try {
        m_transfer.assign(kTransferBytes, 0);
        m_recordBatch.assign(size_t(kBatchRecords) * m_recordBytes, 0);
        m_gathered.reserve(kGatherBytes);
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    return 0;
}

// ntfs-3g and Windows compare a whole cluster of records with the mirror
// when a cluster holds more than four.
uint64_t CResFileRecord::MirrorBytes() const
{
    return std::max<uint64_t>(4ull * m_recordBytes, m_clusterBytes);
}

int CResFileRecord::BeginImage(bool extentsStored, bool rootSystemFilesOnly)
{
    m_stored.Reset(extentsStored, rootSystemFilesOnly);
    return m_reader.Init();
}

int CResFileRecord::ProgressBytes(uint64_t bytes)
{
    return m_progress->ProgressFunc(bytes);
}

// --- walking records ------------------------------------------------------

int CResFileRecord::ProcFileRecord(unsigned int n, tagFILE_RECORD_HEADER* header, bool holderInUse,
                                   bool newestInUse)
{
    auto* record = reinterpret_cast<uint8_t*>(header);
    if (n != 0 && !m_mftPlaced)
        return ERR_PART_INFO;  // record 0 must come first: it places the MFT
    if (Ntfs::HasFileMagic(record) && holderInUse) {
        // The backup refuses records whose update sequence does not match,
        // so one in an image is damage.
        if (!Ntfs::RemoveFixup(record, m_recordBytes))
            return ERR_PART_INFO;
        int result = WalkAttributes(n, record, newestInUse);
        if (result != 0) {
            DEBUG_TRACE("Process non-resident data error!\n");
            return result;
        }
        // An older image's record that the newest image calls free: its
        // data sets were consumed but nothing was placed for it.
        if (!newestInUse)
            header->flags &= static_cast<uint16_t>(~Ntfs::kRecordInUse);
        Ntfs::ApplyFixup(record, m_recordBytes);
    }
    return WriteRecord(n, record);
}

int CResFileRecord::SeekFileRecord(unsigned int n, tagFILE_RECORD_HEADER* header, bool holderInUse)
{
    auto* record = reinterpret_cast<uint8_t*>(header);
    if (!Ntfs::HasFileMagic(record) || !holderInUse)
        return 0;
    if (!Ntfs::RemoveFixup(record, m_recordBytes))
        return ERR_PART_INFO;
    return WalkAttributes(n, record, false);
}

int CResFileRecord::WalkAttributes(unsigned int n, uint8_t* record, bool restore)
{
    const auto* header = reinterpret_cast<const tagFILE_RECORD_HEADER*>(record);
    uint32_t offset = header->attrsOffset;
    for (;;) {
        // The walk stays within the bytes in use, as the backup's did;
        // growing an attribute moves that bound along with the rest.
        uint32_t bound = std::min(m_recordBytes, header->bytesInUse);
        if (offset + 8u > bound)
            return 0;
        const tagRECORD_ATTR* attr = AttrAt(record, offset);
        if (attr->type == Ntfs::ATTR_END || !Ntfs::AttributeFits(record, bound, offset))
            return 0;
        if (attr->nonResident) {
            int result =
                restore ? ProcNonResident(n, record, offset) : SkipNonResident(OwnerRecord(n, record), attr);
            if (result != 0)
                return result;
        } else if (attr->type == Ntfs::ATTR_FILE_NAME) {
            DisplayName(OwnerRecord(n, record), attr);
        }
        // Re-read: placing the attribute may have grown it.
        offset += AttrAt(record, offset)->length;
    }
}

void CResFileRecord::DisplayName(unsigned int owner, const tagRECORD_ATTR* attr)
{
    const uint8_t* value = Ntfs::ResidentValue(attr);
    uint32_t valueLength = attr->resident.valueLength;
    if (valueLength < offsetof(tagATTR_FILE_NAME, name))
        return;
    const auto* name = reinterpret_cast<const tagATTR_FILE_NAME*>(value);
    uint32_t units = name->nameLength;
    if (units == 0 || name->nameSpace == Ntfs::kNameSpaceDos ||
        (name->flags & Ntfs::kFileNameIsDirectory) != 0 ||
        offsetof(tagATTR_FILE_NAME, name) + 2u * units > valueLength)
        return;
    char16_t text[256];
    std::memcpy(text, value + offsetof(tagATTR_FILE_NAME, name), 2u * units);
    QString decoded = QString::fromUtf16(text, static_cast<int>(units));
    // A name in an extension record names the file of its base record.
    m_stored.NoteName(owner, uint32_t(name->parentReference & Ntfs::kRecordNumberMask), decoded);
    m_progress->ProcessName(decoded.toLocal8Bit().constData());
}

// The record whose rules an attribute follows: the base record for an
// extension record, else the record itself.
unsigned int CResFileRecord::OwnerRecord(unsigned int n, const uint8_t* record) const
{
    return Ntfs::OwnerRecord(record, n, m_input.recordCount);
}

// The data of a record that a newer image restored, or that the newest image
// calls free, is no part of the restored volume: it is stepped over without
// counting as progress, so that a chain restore counts each byte once.
int CResFileRecord::SkipNonResident(unsigned int owner, const tagRECORD_ATTR* attr)
{
    if (!m_stored.CarriesDataSet(owner, attr))
        return 0;
    int result = m_reader.Begin();
    if (result == 0)
        result = m_reader.Skip();
    return result;
}

int CResFileRecord::ProcNonResident(unsigned int n, uint8_t* record, uint32_t offset)
{
    const tagRECORD_ATTR* attr = AttrAt(record, offset);
    const auto* header = reinterpret_cast<const tagFILE_RECORD_HEADER*>(record);
    uint32_t type = attr->type;
    bool data = type == Ntfs::ATTR_DATA;
    unsigned int owner = OwnerRecord(n, record);
    bool stored = m_stored.CarriesDataSet(owner, attr);

    if (n == Ntfs::kMftRecord && data)
        return attr->nonRes.lowestVcn == 0 ? PlaceMft(record, offset) : PlaceMftExtent(record, offset, false);
    if (n == Ntfs::kMftRecord && type == Ntfs::ATTR_BITMAP)
        return PlaceMftBitmap(record, offset);
    // A later extent of the MFT's own data, kept in an extension record.
    if (header->baseRecord != 0 && owner == Ntfs::kMftRecord && data)
        return PlaceMftExtent(record, offset, stored);
    if (n == Ntfs::kMftMirrRecord && data)
        return PlaceMirror(record, offset);
    if (n == Ntfs::kBitmapRecord && data)
        return PlaceVolumeBitmap(record, offset);
    if (n == Ntfs::kBootRecord && data)
        return MarkBoot(record, offset);
    if (n == Ntfs::kBadClusRecord)
        return PlaceBadClusters(record, offset);
    if (n < Ntfs::kFirstUserRecord)
        return PlaceData(n, record, offset, Area::Second, stored, stored);
    if (m_stored.IsUnstoredFileData(owner, attr->type))
        return PlaceData(n, record, offset, Area::First, false, false);
    return PlaceData(n, record, offset, Area::First, stored, stored);
}

// --- placing the system files ---------------------------------------------

int CResFileRecord::PlaceMft(uint8_t* record, uint32_t offset)
{
    tagRECORD_ATTR* attr = AttrAt(record, offset);
    const uint64_t c = m_clusterBytes;
    uint64_t allocated = attr->nonRes.allocatedSize;
    uint64_t extent = Ntfs::ExtentClusters(attr);
    uint64_t clusters = allocated / c;
    if (m_mftPlaced || clusters == 0 || allocated % c != 0 || extent > clusters)
        return ERR_PART_INFO;
    const uint64_t t = m_layoutBytes;
    uint64_t reserve = 0;
    if (m_mftLcn + clusters <= m_mirrorLcn) {
        // The MFT zone: the first of T/8, T/4, 3T/8, T/2 that holds the MFT.
        uint64_t zone = t / 2;
        for (uint64_t k = 1; k <= 4; ++k) {
            if (k * t / 8 >= allocated) {
                zone = k * t / 8;
                break;
            }
        }
        reserve = std::min(m_freeBytes, zone - std::min(zone, allocated));
        reserve = std::min<uint64_t>(reserve, 4096 * c);
    } else {
        int result = PlaceMirrorBehindMft(clusters);
        if (result != 0)
            return result;
    }
    int result =
        CResSetRunList::SetRunList(record, m_recordBytes, offset, (long long)extent, (long long)m_mftLcn);
    if (result != 0)
        return result;
    result = m_bitmap.SetBitMap(m_mftLcn, clusters);
    if (result != 0)
        return result;
    m_mftClusters = clusters;
    m_mftCapacity = allocated / m_recordBytes;
    m_firstCursor = m_mftLcn + clusters + reserve / c + 1;
    if (m_firstCursor >= m_mirrorLcn) {
        m_firstOpen = false;
        m_firstCursor = m_secondCursor;
    }
    try {
        m_written.assign(m_mftCapacity, false);
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    m_mftPlaced = true;
    return 0;
}

// A small volume full of small files can hold an MFT that reaches past the
// middle of a target of its own size. Rather than refuse it, the mirror
// goes right behind the MFT, which leaves no first area; the second area
// follows the mirror as usual.
int CResFileRecord::PlaceMirrorBehindMft(uint64_t mftClusters)
{
    // Nothing may have been placed behind the mirror yet.
    if (m_secondCursor != m_mirrorLcn + m_mirrorReserve || m_mirrorPlaced ||
        m_mftLcn + mftClusters + m_mirrorReserve > m_clusters) {
        DEBUG_TRACE("The target partition is too small for the restored data\n");
        return ERR_PART_TOO_SMALL;
    }
    m_mirrorLcn = m_mftLcn + mftClusters;
    m_secondCursor = m_mirrorLcn + m_mirrorReserve;
    return 0;
}

int CResFileRecord::PlaceMftExtent(uint8_t* record, uint32_t offset, bool stored)
{
    const tagRECORD_ATTR* attr = AttrAt(record, offset);
    uint64_t lowest = attr->nonRes.lowestVcn;
    uint64_t clusters = Ntfs::ExtentClusters(attr);
    if (!m_mftPlaced || lowest > m_mftClusters || clusters > m_mftClusters - lowest)
        return ERR_PART_INFO;
    if (stored) {
        // The MFT's records come one by one in the stream; their copy in
        // the set is not needed.
        int result = m_reader.Begin();
        if (result == 0)
            result = m_reader.Skip();
        if (result != 0)
            return result;
    }
    if (clusters == 0)
        return 0;
    return CResSetRunList::SetRunList(record, m_recordBytes, offset, (long long)clusters,
                                      (long long)(m_mftLcn + lowest));
}

int CResFileRecord::PlaceMftBitmap(uint8_t* record, uint32_t offset)
{
    const tagRECORD_ATTR* attr = AttrAt(record, offset);
    uint64_t clusters = Ntfs::ExtentClusters(attr);
    if (attr->nonRes.lowestVcn != 0 || clusters == 0 || m_mftBitmapClusters != 0)
        return ERR_PART_INFO;
    std::vector<Piece> pieces;
    int result = 0;
    if (m_mftBitmapLcn + clusters <= m_mftLcn)
        result = TakePiece(Piece{m_mftBitmapLcn, clusters}, &pieces);
    else
        result = AllocateSecond(clusters, &pieces, true);
    if (result != 0)
        return result;
    m_mftBitmapLcn = pieces[0].lcn;
    m_mftBitmapClusters = clusters;
    m_gapScan = std::min(m_gapScan, m_bootClusters);
    return CResSetRunList::SetRunList(record, m_recordBytes, offset, (long long)clusters,
                                      (long long)m_mftBitmapLcn);
}

int CResFileRecord::PlaceMirror(uint8_t* record, uint32_t offset)
{
    const tagRECORD_ATTR* attr = AttrAt(record, offset);
    uint64_t clusters = Ntfs::ExtentClusters(attr);
    if (attr->nonRes.lowestVcn != 0 || clusters == 0 || clusters > m_mirrorReserve)
        return ERR_PART_INFO;
    int result = CResSetRunList::SetRunList(record, m_recordBytes, offset, (long long)clusters,
                                            (long long)m_mirrorLcn);
    if (result == 0)
        result = m_bitmap.SetBitMap(m_mirrorLcn, clusters);
    if (result == 0) {
        m_mirrorPlaced = true;
        m_gapScan = std::min(m_gapScan, m_mirrorLcn);
    }
    return result;
}

int CResFileRecord::PlaceVolumeBitmap(uint8_t* record, uint32_t offset)
{
    tagRECORD_ATTR* attr = AttrAt(record, offset);
    if (attr->nonRes.lowestVcn != 0 || m_bitmap.Lcn() != 0)
        return ERR_PART_INFO;
    uint64_t clusters = m_bitmap.AllocatedSize() / m_clusterBytes;
    std::vector<Piece> pieces;
    int result = AllocateSecond(clusters, &pieces, true);
    if (result != 0)
        return result;
    uint64_t lcn = pieces[0].lcn;
    attr->nonRes.highestVcn = clusters - 1;
    attr->nonRes.allocatedSize = m_bitmap.AllocatedSize();
    attr->nonRes.dataSize = m_bitmap.UsedSize();
    attr->nonRes.initializedSize = m_bitmap.UsedSize();
    result = CResSetRunList::SetRunList(record, m_recordBytes, offset, (long long)clusters, (long long)lcn);
    if (result == 0)
        m_bitmap.SetLcn(lcn);
    return result;
}

int CResFileRecord::MarkBoot(uint8_t* record, uint32_t offset)
{
    const tagRECORD_ATTR* attr = AttrAt(record, offset);
    uint64_t clusters = Ntfs::ExtentClusters(attr);
    // $Boot stays where every NTFS keeps it: at cluster 0, before the MFT bitmap.
    if (attr->nonRes.lowestVcn != 0 || clusters == 0 || clusters > m_bootClusters)
        return ERR_PART_INFO;
    int result = CResSetRunList::SetRunList(record, m_recordBytes, offset, (long long)clusters, 0);
    if (result == 0)
        result = m_bitmap.SetBitMap(0, clusters);
    return result;
}

int CResFileRecord::PlaceBadClusters(uint8_t* record, uint32_t offset)
{
    tagRECORD_ATTR* attr = AttrAt(record, offset);
    attr->nonRes.lowestVcn = 0;
    attr->nonRes.highestVcn = m_clusters - 1;
    attr->nonRes.allocatedSize = m_clusters * m_clusterBytes;
    attr->nonRes.dataSize = m_clusters * m_clusterBytes;
    attr->nonRes.initializedSize = 0;
    return CResSetRunList::SetRunList(record, m_recordBytes, offset, (long long)m_clusters, -1);
}

// --- placing data -----------------------------------------------------------

int CResFileRecord::TakePiece(const Piece& piece, std::vector<Piece>* pieces)
{
    int result = m_bitmap.SetBitMap(piece.lcn, piece.clusters);
    if (result == 0)
        pieces->push_back(piece);
    return result;
}

int CResFileRecord::AllocateSecond(uint64_t clusters, std::vector<Piece>* pieces, bool contiguous)
{
    if (m_secondCursor > m_clusters || clusters > m_clusters - m_secondCursor)
        return AllocateFromGaps(clusters, contiguous, pieces);
    Piece piece{m_secondCursor, clusters};
    m_secondCursor += clusters;
    return TakePiece(piece, pieces);
}

int CResFileRecord::Allocate(uint64_t clusters, Area area, bool splittable, std::vector<Piece>* pieces)
{
    if (area == Area::Second || !m_firstOpen)
        return AllocateSecond(clusters, pieces);
    if (clusters <= m_mirrorLcn - m_firstCursor) {
        Piece piece{m_firstCursor, clusters};
        m_firstCursor += clusters;
        return TakePiece(piece, pieces);
    }
    uint64_t room = m_mirrorLcn - m_firstCursor;
    uint64_t splitClusters = std::max<uint64_t>(1, kSplitUnit / m_clusterBytes);
    uint64_t first = room * m_clusterBytes / kSplitUnit * kSplitUnit / m_clusterBytes;
    if (!splittable || room < splitClusters || first == 0) {
        m_firstOpen = false;
        return AllocateSecond(clusters, pieces);
    }
    m_firstOpen = false;
    int result = TakePiece(Piece{m_firstCursor, first}, pieces);
    if (result == 0)
        result = AllocateSecond(clusters - first, pieces);
    m_firstCursor = m_secondCursor;
    return result;
}

// Clusters whose bits are still clear but that the finishing steps write:
// $Boot's clusters, the mirror's (its whole reserve until record 1 placed
// it) and the MFT bitmap's place until record 0 placed it. Returns the first
// cluster from lcn on that is not kept.
uint64_t CResFileRecord::SkipKeptClusters(uint64_t lcn) const
{
    uint64_t mirrorKept =
        m_mirrorPlaced ? (MirrorBytes() + m_clusterBytes - 1) / m_clusterBytes : m_mirrorReserve;
    for (;;) {
        if (lcn < m_bootClusters)
            lcn = m_bootClusters;
        else if (m_mftBitmapClusters == 0 && lcn < m_mftLcn)
            lcn = m_mftLcn;
        else if (lcn >= m_mirrorLcn && lcn - m_mirrorLcn < mirrorKept)
            lcn = m_mirrorLcn + mirrorKept;
        else
            return lcn;
    }
}

// The next run of free clusters at or after `from` that nothing in the
// layout keeps for itself.
bool CResFileRecord::NextGap(uint64_t from, Piece* gap) const
{
    uint64_t lcn = from;
    for (;;) {
        uint64_t kept = SkipKeptClusters(lcn);
        lcn = m_bitmap.NextClear(kept, m_clusters);
        if (lcn >= m_clusters)
            return false;
        if (SkipKeptClusters(lcn) == lcn)
            break;
    }
    uint64_t end = m_bitmap.NextSet(lcn, m_clusters);
    if (lcn < m_mirrorLcn)
        end = std::min(end, m_mirrorLcn);
    *gap = Piece{lcn, end - lcn};
    return true;
}

// The layout keeps room in several places that data never reaches while
// the cursors find room: the MFT's reserve, what the first area leaves
// before the mirror when a file is not split there, the rest of the
// mirror's reserve and the clusters between the MFT bitmap and the MFT. A
// nearly full volume needs them to fit onto a target of its own size, so
// once the room behind the second cursor runs short the data takes them,
// lowest first, together with that room. Refused, with nothing taken, only
// when the free clusters of the whole volume do not suffice.
int CResFileRecord::AllocateFromGaps(uint64_t clusters, bool contiguous, std::vector<Piece>* pieces)
{
    if (!m_mftPlaced) {
        DEBUG_TRACE("The target partition is too small for the restored data\n");
        return ERR_PART_TOO_SMALL;  // the MFT's own place is not known yet
    }
    std::vector<Piece> found;
    uint64_t need = clusters;
    Piece gap{0, 0};
    uint64_t from = contiguous ? 0 : m_gapScan;
    while (need != 0 && NextGap(from, &gap)) {
        from = gap.lcn + gap.clusters;
        if (contiguous && gap.clusters < clusters)
            continue;
        uint64_t take = std::min(need, gap.clusters);
        found.push_back({gap.lcn, take});
        need -= take;
    }
    if (need != 0) {
        DEBUG_TRACE("The target partition is too small for the restored data\n");
        return ERR_PART_TOO_SMALL;
    }
    // The first area's cursor must not hand out what was taken here.
    m_firstOpen = false;
    for (const auto& piece : found) {
        int result = TakePiece(piece, pieces);
        if (result != 0)
            return result;
        m_secondCursor = std::max(m_secondCursor, piece.lcn + piece.clusters);
    }
    // Nothing below the last cluster taken here is free now (placing the
    // MFT bitmap or the mirror moves this back over what they no longer keep).
    if (!contiguous && !found.empty())
        m_gapScan = found.back().lcn + found.back().clusters;
    return 0;
}

int CResFileRecord::PlaceData(unsigned int n, uint8_t* record, uint32_t offset, Area area, bool stored,
                              bool writeData)
{
    const tagRECORD_ATTR* attr = AttrAt(record, offset);
    uint64_t extent = Ntfs::ExtentClusters(attr);
    if (extent == 0) {
        if (!stored)
            return 0;
        uint64_t extra = 0;
        int result = m_reader.Begin();
        if (result == 0)
            result = m_reader.Finish(&extra);
        return result != 0 ? result : (extra != 0 ? m_reader.MismatchCode() : 0);
    }
    bool pagefile = m_stored.IsUnstoredFileData(OwnerRecord(n, record), attr->type);
    // A continuation extent whose data the image does not hold reads as
    // zeros rather than pointing at clusters given to someone else.
    bool hole = attr->nonRes.lowestVcn != 0 && !stored && !pagefile;

    CRunList old;
    if (!old.ParseDataRunList(attr))
        return ERR_PART_INFO;
    // The shape of the new list in VCN order: sparse runs stay sparse,
    // allocated runs get new clusters.
    std::vector<tagNewRun> shape;
    uint64_t covered = 0;
    uint64_t allocated = 0;
    auto add = [&shape](long long lcn, uint64_t clusters) {
        if (!shape.empty() && (shape.back().lcn < 0) == (lcn < 0))
            shape.back().clusters += (long long)clusters;
        else
            shape.push_back({lcn, (long long)clusters});
    };
    for (const auto& run : old.Runs()) {
        bool sparse = hole || run.lcn < 0;
        add(sparse ? -1 : 0, run.clusters);
        covered += run.clusters;
        if (!sparse)
            allocated += run.clusters;
    }
    if (covered < extent)
        add(-1, extent - covered);

    std::vector<Piece> pieces;
    if (allocated != 0) {
        bool splittable = !pagefile && (attr->flags & kAttrFlagsPlacedWhole) == 0;
        int result = 0;
        if (pagefile) {
            // Room before the mirror or else behind it; the first area stays open.
            if (m_firstOpen && allocated <= m_mirrorLcn - m_firstCursor)
                result = Allocate(allocated, Area::First, false, &pieces);
            else
                result = AllocateSecond(allocated, &pieces);
        } else {
            result = Allocate(allocated, area, splittable, &pieces);
        }
        if (result != 0)
            return result;
    }

    std::vector<tagNewRun> runs;
    size_t piece = 0;
    uint64_t pieceUsed = 0;
    for (const auto& s : shape) {
        if (s.lcn < 0) {
            runs.push_back(s);
            continue;
        }
        uint64_t left = (uint64_t)s.clusters;
        while (left != 0) {
            uint64_t take = std::min(left, pieces[piece].clusters - pieceUsed);
            long long lcn = (long long)(pieces[piece].lcn + pieceUsed);
            if (!runs.empty() && runs.back().lcn >= 0 && runs.back().lcn + runs.back().clusters == lcn)
                runs.back().clusters += (long long)take;
            else
                runs.push_back({lcn, (long long)take});
            pieceUsed += take;
            left -= take;
            if (pieceUsed == pieces[piece].clusters) {
                ++piece;
                pieceUsed = 0;
            }
        }
    }

    int result = CResSetRunList::SetRuns(record, m_recordBytes, offset, runs);
    if (result != 0)
        return result;
    if (writeData)
        return WriteDataSet(runs, extent);
    if (pagefile)
        return ProgressBytes(allocated * m_clusterBytes);
    return 0;
}

int CResFileRecord::WriteDataSet(const std::vector<tagNewRun>& runs, uint64_t clusters)
{
    int result = m_reader.Begin();
    if (result == 0)
        result = ReadyToWrite();
    if (result != 0)
        return result;
    uint64_t planned = 0;
    for (const auto& run : runs) {
        uint64_t bytes = (uint64_t)run.clusters * m_clusterBytes;
        planned += (uint64_t)run.clusters;
        uint64_t at = run.lcn >= 0 ? uint64_t(run.lcn) * m_clusterBytes : 0;
        while (bytes != 0) {
            uint32_t want = (uint32_t)std::min<uint64_t>(bytes, m_transfer.size());
            uint32_t got = 0;
            result = m_reader.Read(m_transfer.data(), want, &got);
            if (result != 0)
                return result;
            if (got != want)
                return m_reader.MismatchCode();
            if (run.lcn >= 0) {
                result = GatherWrite(at, m_transfer.data(), want);
                if (result != 0)
                    return result;
                at += want;
                result = ProgressBytes(want);
                if (result != 0)
                    return result;
            }
            bytes -= want;
        }
    }
    if (planned != clusters)
        return ERR_PART_INFO;
    uint64_t extra = 0;
    result = m_reader.Finish(&extra);
    if (result != 0)
        return result;
    return extra != 0 ? m_reader.MismatchCode() : 0;
}

// --- records ----------------------------------------------------------------

int CResFileRecord::WriteRecord(unsigned int n, const uint8_t* record)
{
    if (!m_mftPlaced || n >= m_mftCapacity)
        return ERR_PART_INFO;
    if (m_batchCount != 0 && (n != m_batchFirst + m_batchCount || m_batchCount == kBatchRecords)) {
        int result = FlushRecords();
        if (result != 0)
            return result;
    }
    if (m_batchCount == 0)
        m_batchFirst = n;
    std::memcpy(m_recordBatch.data() + size_t(m_batchCount) * m_recordBytes, record, m_recordBytes);
    ++m_batchCount;
    m_written[n] = true;
    return ProgressBytes(m_recordBytes);
}

int CResFileRecord::WriteAt(uint64_t offset, const void* data, uint64_t length)
{
    const int result = ReadyToWrite();
    return result != 0 ? result : RawWriteAt(offset, data, length);
}

int CResFileRecord::RawWriteAt(uint64_t offset, const void* data, uint64_t length)
{
    const int result = FlushGathered();
    return result != 0 ? result : PutAt(offset, data, length);
}

int CResFileRecord::PutAt(uint64_t offset, const void* data, uint64_t length)
{
    if (m_part->Seek(int64_t(offset), SEEK_SET) != 0)
        return ERR_SEEK_PART;
    return m_part->Write(data, int64_t(length)) == int64_t(length) ? 0 : ERR_WRITE_PART;
}

int CResFileRecord::GatherWrite(uint64_t offset, const uint8_t* data, uint32_t length)
{
    const bool follows = offset == m_gatheredAt + m_gathered.size();
    if (!m_gathered.empty() && (!follows || m_gathered.size() + length > kGatherBytes)) {
        const int result = FlushGathered();
        if (result != 0)
            return result;
    }
    if (length >= kGatherBytes / 4)
        return PutAt(offset, data, length);
    if (m_gathered.empty())
        m_gatheredAt = offset;
    m_gathered.insert(m_gathered.end(), data, data + length);
    return 0;
}

int CResFileRecord::FlushGathered()
{
    if (m_gathered.empty())
        return 0;
    const int result = PutAt(m_gatheredAt, m_gathered.data(), m_gathered.size());
    m_gathered.clear();
    return result;
}

int CResFileRecord::FlushRecords()
{
    if (m_batchCount == 0)
        return 0;
    uint64_t length = uint64_t(m_batchCount) * m_recordBytes;
    uint64_t at = m_mftLcn * m_clusterBytes + m_batchFirst * m_recordBytes;
    m_batchCount = 0;
    return WriteAt(at, m_recordBatch.data(), length);
}

// MFT records that no image held are written as zeros, so that nothing the
// target held before can pass for a file record.
int CResFileRecord::ClearUnwrittenRecords()
{
    int result = ReadyToWrite();
    if (result == 0)
        result = FlushRecords();
    if (result == 0)
        result = FlushGathered();
    if (result != 0)
        return result;
    std::vector<uint8_t> zeros(m_recordBatch.size(), 0);
    uint64_t n = 0;
    while (n < m_mftCapacity) {
        if (m_written[n]) {
            ++n;
            continue;
        }
        uint64_t first = n;
        while (n < m_mftCapacity && n - first < kBatchRecords && !m_written[n])
            ++n;
        uint64_t length = (n - first) * m_recordBytes;
        if (m_part->pWrite(int64_t(m_mftLcn * m_clusterBytes + first * m_recordBytes), zeros.data(),
                           (int64_t)length) != (int64_t)length)
            return ERR_WRITE_PART;
    }
    return 0;
}

// --- finishing --------------------------------------------------------------

int CResFileRecord::ReadyToWrite()
{
    if (m_oldBootHidden)
        return 0;
    m_oldBootHidden = true;
    // The last sector by the image's sector size and by 512 bytes, whichever
    // starts first; both lie behind the new volume's last cluster.
    const uint64_t lastSector = (m_targetBytes / m_sectorBytes - 1) * m_sectorBytes;
    const uint64_t lastSmallSector = (m_targetBytes / 512 - 1) * 512;
    const uint64_t tail = std::min(lastSector, lastSmallSector);
    std::vector<uint8_t> zeros(std::max<uint64_t>(m_sectorBytes, m_targetBytes - tail), 0);
    std::vector<uint8_t> marked(m_sectorBytes);
    UnfinishedRestore::MarkSector(marked.data(), marked.size());
    int result = RawWriteAt(0, marked.data(), m_sectorBytes);
    if (result == 0)
        result = RawWriteAt(tail, zeros.data(), m_targetBytes - tail);
    if (result == 0 && m_part->Sync() != 0)
        result = ERR_WRITE_PART;
    return result;
}

int CResFileRecord::ResMFTBitmap()
{
    if (!m_mftPlaced)
        return ERR_PART_INFO;
    if (m_mftBitmapClusters == 0)
        return ERR_PART_INFO;  // record 0 held no $BITMAP
    uint64_t size = std::min(m_input.mftBitmapBytes, m_mftBitmapClusters * m_clusterBytes);
    int result = WriteAt(m_mftBitmapLcn * m_clusterBytes, m_input.mftBitmap, size);
    return result != 0 ? result : ProgressBytes(size);
}

int CResFileRecord::ResBitmap()
{
    if (m_bitmap.Lcn() == 0)
        return ERR_PART_INFO;  // the image held no $Bitmap record
    uint64_t size = m_bitmap.AllocatedSize();
    int result = WriteAt(m_bitmap.Lcn() * m_clusterBytes, m_bitmap.Bytes(), size);
    return result != 0 ? result : ProgressBytes(size);
}

int CResFileRecord::ResMFTMirr()
{
    int result = ClearUnwrittenRecords();
    if (result != 0)
        return result;
    uint64_t length = MirrorBytes();
    std::vector<uint8_t> mirror(length);
    if (m_part->Seek(int64_t(m_mftLcn * m_clusterBytes), SEEK_SET) != 0)
        return ERR_SEEK_PART;
    if (m_part->Read(mirror.data(), (int64_t)length) != (int64_t)length)
        return ERR_READ_PART;
    result = WriteAt(m_mirrorLcn * m_clusterBytes, mirror.data(), length);
    return result != 0 ? result : ProgressBytes(length);
}

int CResFileRecord::ResBootCode()
{
    uint32_t areaSize = m_input.bootAreaBytes;
    if (m_input.bootArea == nullptr || areaSize < 512)
        return ERR_NO_BOOT_AREA;
    // The saved area may not reach the MFT bitmap behind $Boot.
    areaSize = (uint32_t)std::min<uint64_t>(areaSize, m_bootClusters * m_clusterBytes);
    std::vector<uint8_t> area(m_input.bootArea, m_input.bootArea + areaSize);
    static_assert(kBootSectorPatchEnd <= 512, "patched fields lie in the boot sector");
    uint64_t values[3] = {m_volumeSectors, m_mftLcn, m_mirrorLcn};
    std::memcpy(area.data() + 0x28, values, sizeof(values));
    // The target's place on its disk, not the source's.
    std::memcpy(area.data() + kBootHiddenSectors, &m_input.hiddenSectors, sizeof(m_input.hiddenSectors));
    // The backup boot sector right behind the volume's last sector, then
    // the boot area itself: the first sector is what makes the target a
    // file system again.
    const uint32_t sectorBytes = std::min(m_sectorBytes, areaSize);
    int result = WriteAt(m_volumeSectors * m_sectorBytes, area.data(), sectorBytes);
    // A volume smaller than its partition: ntfs-3g looks for the backup in
    // the partition's last sector, so it gets a copy there too.
    const uint64_t lastSector = (m_targetBytes / m_sectorBytes - 1) * m_sectorBytes;
    if (result == 0 && lastSector != m_volumeSectors * m_sectorBytes)
        result = WriteAt(lastSector, area.data(), sectorBytes);
    if (result == 0)
        result = WriteAt(0, area.data(), areaSize);
    return result != 0 ? result : ProgressBytes(areaSize);
}
