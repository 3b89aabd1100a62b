#include "quarn/fat32/part_fat32_restore.h"

#include <QString>

#include "quarn/io/device_system.h"
#include "fslayout/unfinished_restore.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t kOneGiB = 1ull << 30;
// Deeper nesting than any real FAT32 path allows (paths stop at 32,767
// characters): the image is damaged.
constexpr size_t kMaxDirectoryDepth = 65536;
constexpr size_t kZeroBytes = 0x40000;

}  // namespace

uint32_t CalSectorsPerCluster(uint64_t targetBytes)
{
    if (targetBytes <= 0x103FFFFF)
        return 1;
    if (targetBytes < 8 * kOneGiB)
        return 8;
    if (targetBytes < 16 * kOneGiB)
        return 16;
    return 32;
}

int PlanFat32Layout(uint64_t targetSectors, Fat32NewLayout& layout)
{
    // The boot sector counts sectors in 32 bits.
    if (targetSectors > 0xFFFFFFFFull) {
        DEBUG_TRACE("The target partition is too large for FAT32!\n");
        return ERR_PART_INFO;
    }
    if (targetSectors < Fat32NewLayout::kReservedSectors + 4)
        return ERR_PART_TOO_SMALL;
    const uint64_t perCluster =
        DeviceSystem::Fat32SectorsPerCluster(targetSectors * Fat32NewLayout::kSectorBytes);
    const uint64_t sectors = targetSectors - Fat32NewLayout::kReservedSectors;

    // The smallest FAT found by halving the gap: each FAT sector describes
    // 128 clusters, and every FAT sector taken leaves fewer clusters.
    uint64_t fatSectors = 1;
    uint64_t clusters = 0;
    for (;;) {
        if (Fat32NewLayout::kNumberOfFats * fatSectors >= sectors)
            return ERR_PART_TOO_SMALL;
        clusters = (sectors - Fat32NewLayout::kNumberOfFats * fatSectors) / perCluster;
        const uint64_t needed =
            (4 * clusters + 8 + Fat32NewLayout::kSectorBytes - 1) / Fat32NewLayout::kSectorBytes;
        if (needed <= fatSectors)
            break;
        fatSectors += ((needed - fatSectors) / 2) | 1;
    }
    if (clusters < Fat32::kMinClusterCount) {
        DEBUG_TRACE("The target partition is too small for FAT32: %llu clusters!\n",
                    static_cast<unsigned long long>(clusters));
        return ERR_PART_TOO_SMALL;
    }
    if (clusters > Fat32::kMaxClusterCount) {
        DEBUG_TRACE("The target partition is too large for FAT32!\n");
        return ERR_PART_INFO;
    }
    layout.totalSectors = static_cast<uint32_t>(targetSectors);
    layout.sectorsPerCluster = static_cast<uint32_t>(perCluster);
    layout.fatSectors = static_cast<uint32_t>(fatSectors);
    layout.clusterCount = static_cast<uint32_t>(clusters);
    return 0;
}

CPartFatRestore::CPartFatRestore(const tagRestoreArgument& arg, const tagCallBackFunc& cb)
    : CPartRestore(arg, cb)
{}

CPartFatRestore::~CPartFatRestore() = default;

void CPartFatRestore::SetPartInfo(tagPARTITION_INFO info)
{
    m_dataSectionPos = info.dataSectionPos;
    m_recordCount = info.recordCount;
}

int CPartFatRestore::RestorePartition()
{
    bool streamWritten = false;
    const int result = WriteFileSystem(QStringLiteral("Restoring partition ..."), &streamWritten);
    if (streamWritten)
        m_progress->ProcessState(QStringLiteral("Finish"));
    return result;
}

int CPartFatRestore::StartStream()
{
    return m_image->Seek(static_cast<int64_t>(m_dataSectionPos), SEEK_SET) == 0 ? 0 : ERR_SEEK_FILE;
}

int CPartFatRestore::WriteFileSystem(const QString& writingState, bool* streamWritten)
{
    *streamWritten = false;
    int result = SetFatInit();
    if (result == 0)
        result = HideOldFileSystem();
    if (result == 0)
        result = ZeroFat();
    if (result == 0)
        result = StartStream();
    if (result != 0)
        return result;
    m_progress->ProcessState(writingState);
    result = ProcDirEntry();
    if (result != 0)
        return result;
    *streamWritten = true;

    m_progress->ProcessState(QStringLiteral("Finish restore partition"));
    result = ResBootCode();
    // Only a partition restored whole is worth checking. The check leaves
    // the target as the restore wrote it; a fault it finds is the result,
    // a checker that cannot run is only traced.
    if (result == 0) {
        m_progress->ProcessState(QStringLiteral("Checking partition ... "));
        if (CheckPartition(m_targetPartition) == ERR_FS_CHECK)
            result = ERR_FS_CHECK;
        m_progress->Complete();
    }
    return result;
}

int CPartFatRestore::SetFatInit()
{
    int result = ResetBpb();
    if (result != 0)
        return result;
    m_targetClusters = m_targetBytes / m_layout.ClusterBytes();
    m_zeros.assign(kZeroBytes, 0);
    m_reader.reset(new CDataSetReader(*this));
    return m_reader->Init();
}

int CPartFatRestore::ResetBpb()
{
    if (m_bootArea.empty() || m_bootAreaSize < sizeof(tagFat32BootSector)) {
        DEBUG_TRACE("The image holds no boot area!\n");
        return ERR_NO_BOOT_AREA;
    }
    int result = CheckStoredBootSector();
    if (result != 0)
        return result;
    if (m_part->Seek(0, SEEK_SET) != 0)
        return ERR_SEEK_PART;
    // Refused here, before anything is written.
    result = PlanFat32Layout(m_targetSectors, m_layout);
    if (result != 0)
        return result;

    uint16_t heads = 255;
    uint16_t sectorsPerTrack = 63;
    DeviceSystem::DriveGeometry(*m_part, &heads, &sectorsPerTrack);

    std::memcpy(&m_newBoot, m_bootArea.data(), sizeof m_newBoot);
    tagFat32BootSector& b = m_newBoot;
    b.bytesPerSector = Fat32NewLayout::kSectorBytes;
    b.sectorsPerCluster = static_cast<uint8_t>(m_layout.sectorsPerCluster);
    b.reservedSectors = Fat32NewLayout::kReservedSectors;
    b.numberOfFats = Fat32NewLayout::kNumberOfFats;
    b.rootEntries = 0;
    b.totalSectors16 = 0;
    if (b.media != 0xF0 && b.media < 0xF8)
        b.media = 0xF8;
    b.fatSize16 = 0;
    b.sectorsPerTrack = sectorsPerTrack;
    b.heads = heads;
    b.hiddenSectors = DeviceSystem::PartitionStartSector(*m_part, m_targetPartition);
    b.totalSectors32 = m_layout.totalSectors;
    b.fatSize32 = m_layout.fatSectors;
    b.extFlags = 0;  // both FATs mirrored
    b.fsVersion = 0;
    b.rootCluster = Fat32NewLayout::kRootCluster;
    b.fsInfoSector = Fat32NewLayout::kFsInfoSector;
    b.backupBootSector = Fat32NewLayout::kBackupBootSector;
    std::memset(b.reserved, 0, sizeof b.reserved);
    b.signature = Fat32::kBootSignature;
    return 0;
}

int CPartFatRestore::CheckStoredBootSector() const
{
    tagFat32BootSector stored;
    std::memcpy(&stored, m_bootArea.data(), sizeof stored);
    const uint32_t clusterBytes = uint32_t(stored.bytesPerSector) * stored.sectorsPerCluster;
    if (!Fat32::HasFat32Geometry(stored) || stored.bytesPerSector != m_sectorBytes ||
        clusterBytes != m_clusterBytes) {
        DEBUG_TRACE("The image's saved boot sector is damaged: %u bytes a sector, %u sectors a cluster, "
                    "%u reserved sectors, %u FATs of %u sectors; the partition record says %u bytes a "
                    "sector, %u a cluster\n",
                    unsigned(stored.bytesPerSector), unsigned(stored.sectorsPerCluster),
                    unsigned(stored.reservedSectors), unsigned(stored.numberOfFats),
                    unsigned(stored.fatSize32), unsigned(m_sectorBytes), unsigned(m_clusterBytes));
        return ERR_DAMAGED_IMAGE;
    }
    return 0;
}

int CPartFatRestore::HideOldFileSystem()
{
    constexpr uint32_t sector = Fat32NewLayout::kSectorBytes;
    std::vector<uint8_t> marked(sector);
    UnfinishedRestore::MarkSector(marked.data(), marked.size());
    int result = WritePart(0, marked.data(), sector);
    if (result == 0)
        result = WritePart(uint64_t(Fat32NewLayout::kBackupBootSector) * sector, m_zeros.data(), sector);
    // On the device before any data: otherwise the zeros could land after it.
    return result != 0 ? result : SyncTarget();
}

int CPartFatRestore::WritePart(uint64_t offset, const void* data, uint64_t length)
{
    const int64_t written = m_part->pWrite(static_cast<int64_t>(offset), data, static_cast<int64_t>(length));
    if (written < 0)
        return ERR_SEEK_PART;
    return uint64_t(written) == length ? 0 : ERR_WRITE_PART;
}

int CPartFatRestore::ZeroFat()
{
    const uint64_t end = m_layout.FatPos() + m_layout.FatBytes();
    for (uint64_t pos = m_layout.FatPos(); pos < end;) {
        const uint64_t n = std::min<uint64_t>(m_zeros.size(), end - pos);
        const int result = WritePart(pos, m_zeros.data(), n);
        if (result != 0)
            return result;
        pos += n;
    }
    int result = WriteFatEntry(0, 0x0FFFFF00u | m_newBoot.media);
    if (result == 0)
        result = WriteFatEntry(1, Fat32::kEndOfChain);
    return result;
}

int CPartFatRestore::WriteFatEntry(uint32_t cluster, uint32_t value)
{
    return WritePart(m_layout.FatPos() + uint64_t(cluster) * 4, &value, sizeof value);
}

int CPartFatRestore::SetFatTable(uint32_t first, uint32_t count)
{
    const uint32_t perWrite = m_bufferSize / 4;
    for (uint32_t done = 0; done < count;) {
        const uint32_t n = std::min(perWrite, count - done);
        uint32_t values[CPartRestore::kBufferBytes / 4];
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t index = done + i;
            values[i] = index + 1 < count ? first + index + 1 : Fat32::kEndOfChain;
        }
        const int result = WritePart(m_layout.FatPos() + uint64_t(first + done) * 4, values, uint64_t(n) * 4);
        if (result != 0)
            return result;
        done += n;
    }
    return 0;
}

int CPartFatRestore::AllocateClusters(uint64_t count, uint32_t& first)
{
    if (uint64_t(m_lastHandedOut) + count > m_layout.LastCluster()) {
        DEBUG_TRACE("The target partition is too small for the image!\n");
        return ERR_PART_TOO_SMALL;
    }
    first = m_lastHandedOut + 1;
    m_lastHandedOut += static_cast<uint32_t>(count);
    return 0;
}

int CPartFatRestore::ZeroCluster(uint32_t cluster)
{
    return WritePart(m_layout.ClusterPos(cluster), m_zeros.data(), m_layout.ClusterBytes());
}

int CPartFatRestore::ReadStreamEntry(tagFatDirEntry& entry)
{
    const int64_t pos = m_image->GetCurrentPos();
    if (pos < 0)
        return ERR_SEEK_FILE;
    // The stream never runs into the records that end its volume.
    if (uint64_t(pos) + sizeof entry > DataEndPos()) {
        DEBUG_TRACE("The directory stream of %s runs past its data at offset %llu!\n",
                    m_image->Path().c_str(), static_cast<unsigned long long>(pos));
        return ERR_READ_FILE;
    }
    return m_image->Read(&entry, sizeof entry) == static_cast<int64_t>(sizeof entry) ? 0 : ERR_READ_FILE;
}

int CPartFatRestore::CheckStreamEnd()
{
    const int64_t pos = m_image->GetCurrentPos();
    if (pos < 0)
        return ERR_SEEK_FILE;
    const std::string volume = m_image->Path();
    if (!m_nextVolumePath.empty()) {
        DEBUG_TRACE("The directory stream of %s ends at offset %llu, but the image goes on in %s!\n",
                    volume.c_str(), static_cast<unsigned long long>(pos), m_nextVolumePath.c_str());
        return ERR_DAMAGED_IMAGE;
    }
    if (uint64_t(pos) != DataEndPos()) {
        DEBUG_TRACE("The directory stream of %s ends at offset %llu, but its data ends at %llu!\n",
                    volume.c_str(), static_cast<unsigned long long>(pos),
                    static_cast<unsigned long long>(DataEndPos()));
        return ERR_DAMAGED_IMAGE;
    }
    uint32_t stored = 0;
    const int result = StoredRecordCount(&stored);
    if (result != 0)
        return result;
    if (stored < m_countedEntries || stored > m_countedEntries + m_mayBeCounted) {
        DEBUG_TRACE("The directory stream of %s ends at offset %llu with %llu counted entries and %llu "
                    "that may be, but the image counts %u!\n",
                    volume.c_str(), static_cast<unsigned long long>(pos),
                    static_cast<unsigned long long>(m_countedEntries),
                    static_cast<unsigned long long>(m_mayBeCounted), stored);
        return ERR_DAMAGED_IMAGE;
    }
    return 0;
}

int CPartFatRestore::StoredRecordCount(uint32_t* count)
{
    // Every volume's partition record counts the entries up to its own end;
    // the first volume's was read at the start.
    if (m_volumeIndex == 0) {
        *count = m_recordCount;
        return 0;
    }
    tagBLOCK_START start;
    tagPARTITION_INFO info;
    int result = ReadBlockStartRecord(&start, false);
    if (result == 0)
        result = ReadPartitionInfoRecord(&info);
    if (result == 0)
        *count = info.recordCount;
    return result;
}

int CPartFatRestore::NewDirectoryCluster(uint32_t& cluster)
{
    int result = AllocateClusters(1, cluster);
    return result != 0 ? result : ZeroCluster(cluster);
}

int CPartFatRestore::PlaceEntry(DirCursor& dir, const tagFatDirEntry& entry)
{
    const uint64_t at =
        m_layout.ClusterPos(dir.cluster) + uint64_t(dir.entriesInCluster) * ImageFormat::kFat32DirEntryBytes;
    const int result = WritePart(at, &entry, sizeof entry);
    if (result == 0)
        ++dir.entriesInCluster;
    return result;
}

int CPartFatRestore::ProcDirEntry()
{
    const uint32_t entriesPerCluster = m_layout.ClusterBytes() / ImageFormat::kFat32DirEntryBytes;
    std::vector<DirCursor> path;
    uint32_t root = 0;
    int result = NewDirectoryCluster(root);
    if (result == 0)
        path.push_back(DirCursor{root, root, 0, 0});
    while (result == 0 && !path.empty()) {
        tagFatDirEntry entry;
        result = ReadStreamEntry(entry);
        if (result != 0)
            break;
        const Fat32::EntryKind kind = Fat32::ClassifyEntry(entry);
        if (kind == Fat32::EntryKind::Deleted)
            continue;
        if (kind == Fat32::EntryKind::End) {
            // The rest of the cluster is zero: the directory's end mark.
            // Counted when its directory's chain ended rather than an end
            // entry: the stream alone cannot tell which.
            ++m_mayBeCounted;
            result = WriteFatEntry(path.back().cluster, Fat32::kEndOfChain);
            path.pop_back();
            if (result == 0 && path.empty())
                result = CheckStreamEnd();
            continue;
        }
        // What the backup counts: every entry but the end marks and the
        // files without data, the page file in the root excepted (older
        // backups stored and counted the page file so in any folder).
        const bool pageFileWithoutData = Fat32::IsPageFile(entry) && !Fat32::HasDataSet(entry);
        if (kind != Fat32::EntryKind::File || Fat32::HasDataSet(entry) ||
            (pageFileWithoutData && path.size() == 1))
            ++m_countedEntries;
        else if (pageFileWithoutData)
            ++m_mayBeCounted;

        // Room for one more entry: a full cluster gets a successor.
        if (path.back().entriesInCluster == entriesPerCluster) {
            uint32_t next = 0;
            result = NewDirectoryCluster(next);
            if (result == 0)
                result = WriteFatEntry(path.back().cluster, next);
            if (result != 0)
                break;
            path.back().cluster = next;
            path.back().entriesInCluster = 0;
        }
        DirCursor& dir = path.back();
        // ".." of a directory in the root holds 0, not the root's cluster.
        const uint32_t dirAsParent = path.size() == 1 ? 0 : dir.firstCluster;

        switch (kind) {
        case Fat32::EntryKind::LongName: {
            tagFatLongNameEntry part;
            std::memcpy(&part, &entry, sizeof part);
            m_longName.Add(part);
            result = PlaceEntry(dir, entry);
            break;
        }
        case Fat32::EntryKind::Dot:
            entry.SetFirstCluster(Fat32::IsDotDot(entry) ? dir.parentCluster : dir.firstCluster);
            result = PlaceEntry(dir, entry);
            break;
        case Fat32::EntryKind::VolumeLabel:
            result = PlaceEntry(dir, entry);
            break;
        case Fat32::EntryKind::Directory: {
            m_longName.Clear();
            uint32_t first = 0;
            result = NewDirectoryCluster(first);
            if (result != 0)
                break;
            entry.SetFirstCluster(first);
            entry.fileSize = 0;
            result = PlaceEntry(dir, entry);
            if (result == 0 && path.size() >= kMaxDirectoryDepth) {
                DEBUG_TRACE("The directory stream of the image is damaged!\n");
                result = ERR_BAD_MAGIC;
            }
            if (result == 0)
                path.push_back(DirCursor{first, first, 0, dirAsParent});
            break;
        }
        case Fat32::EntryKind::File:
            DisplayName(entry);
            m_longName.Clear();
            if (Fat32::HasDataSet(entry)) {
                result = RestoreFile(entry);
            } else {
                // The page file, an empty file, or a damaged entry whose data
                // the backup could not store: all restored empty.
                if (Fat32::IsPageFile(entry) && m_progress->ProgressFunc(entry.fileSize) != 0)
                    result = ERR_CANCELLED;
                entry.fileSize = 0;
                entry.SetFirstCluster(0);
            }
            if (result == 0)
                result = PlaceEntry(path.back(), entry);
            break;
        default:
            break;
        }
    }
    return result;
}

int CPartFatRestore::RestoreFile(tagFatDirEntry& entry)
{
    const uint32_t clusterBytes = m_layout.ClusterBytes();
    const uint64_t clusters = (uint64_t(entry.fileSize) + clusterBytes - 1) / clusterBytes;
    uint32_t first = 0;
    int result = AllocateClusters(clusters, first);
    if (result == 0)
        result = m_reader->Begin();
    if (result != 0)
        return result;

    uint64_t pos = m_layout.ClusterPos(first);
    uint32_t remaining = entry.fileSize;
    while (remaining > 0) {
        const uint32_t want = std::min(remaining, m_bufferSize);
        uint32_t got = 0;
        result = m_reader->Read(m_buffer.data(), want, &got);
        if (result != 0)
            return result;
        if (got == 0)
            break;
        result = WritePart(pos, m_buffer.data(), got);
        if (result != 0)
            return result;
        if (m_progress->ProgressFunc(got) != 0)
            return ERR_CANCELLED;
        pos += got;
        remaining -= got;
    }
    uint64_t extra = 0;
    result = m_reader->Finish(&extra);
    if (result != 0)
        return result;
    // The set must hold the file's bytes exactly: more would spill over
    // the clusters handed out, fewer would leave a hole.
    if (remaining != 0 || extra != 0) {
        DEBUG_TRACE("decompress data size != m_strDirEntry.dwFileSize\n");
        return m_reader->MismatchCode();
    }
    result = SetFatTable(first, static_cast<uint32_t>(clusters));
    if (result == 0)
        entry.SetFirstCluster(first);
    return result;
}

int CPartFatRestore::ResBootCode()
{
    constexpr uint32_t sector = Fat32NewLayout::kSectorBytes;
    std::vector<unsigned char> area(std::min<size_t>(std::max<size_t>(m_bootAreaSize, 9 * sector),
                                                     Fat32NewLayout::kReservedSectors * sector),
                                    0);
    std::memcpy(area.data(), m_bootArea.data(), std::min<size_t>(m_bootAreaSize, area.size()));

    // The target's own free count and next free cluster, not the source's.
    tagFat32FsInfo fsInfo{};
    fsInfo.leadSignature = Fat32::kFsInfoLeadSignature;
    fsInfo.structSignature = Fat32::kFsInfoStructSignature;
    fsInfo.freeCount = m_layout.clusterCount - (m_lastHandedOut - 1);
    fsInfo.nextFree = m_lastHandedOut < m_layout.LastCluster() ? m_lastHandedOut + 1 : Fat32::kFsInfoUnknown;
    fsInfo.trailSignature = Fat32::kFsInfoTrailSignature;

    const uint32_t backup = Fat32NewLayout::kBackupBootSector * sector;
    std::memcpy(&area[0], &m_newBoot, sector);
    std::memcpy(&area[Fat32NewLayout::kFsInfoSector * sector], &fsInfo, sector);
    std::memcpy(&area[backup], &m_newBoot, sector);
    std::memcpy(&area[backup + Fat32NewLayout::kFsInfoSector * sector], &fsInfo, sector);
    std::memcpy(&area[backup + 2 * sector], &area[2 * sector], sector);

    // Only a whole image may make the target a file system again; until the
    // boot sectors stand, everything else must be on the device.
    int result = ConfirmImageWhole();
    if (result == 0)
        result = WritePart(sector, &area[sector], backup - sector);
    if (result == 0)
        result = WritePart(backup + sector, &area[backup + sector], area.size() - backup - sector);
    if (result == 0)
        result = MirrorFat();
    if (result == 0)
        result = RestoreDiskBootCode();
    if (result == 0)
        result = SyncTarget();
    if (result == 0)
        result = WritePart(backup, &area[backup], sector);
    if (result == 0)
        result = WritePart(0, area.data(), sector);
    // The checker that runs next judges what is on the device.
    return result != 0 ? result : SyncTarget();
}

int CPartFatRestore::MirrorFat()
{
    const uint64_t bytes = m_layout.FatBytes();
    for (uint64_t done = 0; done < bytes;) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(m_bufferSize, bytes - done));
        const int64_t got = m_part->pRead(static_cast<int64_t>(m_layout.FatPos() + done), m_buffer.data(), n);
        if (got < 0)
            return ERR_SEEK_PART;
        if (got != n)
            return ERR_READ_PART;
        const int result = WritePart(m_layout.FatPos() + bytes + done, m_buffer.data(), n);
        if (result != 0)
            return result;
        done += n;
    }
    return 0;
}

int CPartFatRestore::CheckPartition(const std::string& partition)
{
    return DeviceSystem::CheckFat32(partition);
}

void CPartFatRestore::DisplayName(const tagFatDirEntry& entry)
{
    m_progress->ProcessName(Fat32::DisplayName(m_longName, entry).c_str());
}
