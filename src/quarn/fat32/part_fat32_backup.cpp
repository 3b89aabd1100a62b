#include "quarn/fat32/part_fat32_backup.h"

#include "usedspace/usedspace.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kFatWindowEntries = 4096;

int DamagedFileSystem(const char* what, uint32_t cluster)
{
    DEBUG_TRACE("The FAT32 file system is damaged: %s (cluster %u)!\n", what, cluster);
    return ERR_PART_INFO;
}

}  // namespace

CPartFat32Backup::CPartFat32Backup(const tagBackupArgument& arg, const tagCallBackFunc& cb,
                                   tagBackupImageHeadInfo* head, int headLength)
    : CPartBackup(arg, cb, head, headLength)
{
    // Every FAT32 volume ends with its own records: no reserve.
    EndEveryVolumeWithRecords();
}

int CPartFat32Backup::GetBootCodeInfo()
{
    if (Source().Read(&m_boot, sizeof m_boot) != static_cast<int64_t>(sizeof m_boot))
        return ERR_READ_PART;

    const uint32_t sectorBytes = m_boot.bytesPerSector;
    const uint32_t totalSectors = m_boot.totalSectors16 != 0 ? m_boot.totalSectors16 : m_boot.totalSectors32;
    if (!Fat32::HasFat32Geometry(m_boot)) {
        DEBUG_TRACE("The boot sector holds no FAT32 file system!\n");
        return ERR_PART_INFO;
    }
    m_firstFatPos = uint64_t(m_boot.reservedSectors) * sectorBytes;
    m_fatBytes = uint64_t(m_boot.fatSize32) * sectorBytes;
    m_dataAreaPos = m_firstFatPos + m_fatBytes * m_boot.numberOfFats;
    m_rootCluster = m_boot.rootCluster;

    const uint64_t dataStartSector = m_dataAreaPos / sectorBytes;
    if (dataStartSector >= totalSectors) {
        DEBUG_TRACE("The boot sector holds no FAT32 file system!\n");
        return ERR_PART_INFO;
    }
    const uint64_t dataClusters = (totalSectors - dataStartSector) / m_boot.sectorsPerCluster;
    const uint64_t fatEntries = m_fatBytes / 4;
    uint64_t lastCluster = std::min<uint64_t>(dataClusters + 1, fatEntries - 1);
    lastCluster = std::min<uint64_t>(lastCluster, Fat32::kBadCluster - 1);
    m_lastCluster = static_cast<uint32_t>(lastCluster);
    if (!IsDataCluster(m_rootCluster))
        return DamagedFileSystem("the root directory lies outside the data area", m_rootCluster);

    const int result = TakeGeometry(sectorBytes, sectorBytes * m_boot.sectorsPerCluster);
    if (result != 0)
        return result;

    m_dirCluster.assign(ClusterBytes(), 0);
    m_recordCount = 0;
    return 0;
}

int CPartFat32Backup::GetPartNumOfUsedBytes()
{
    unsigned long long used = 0;
    if (fat32_used(SourcePath().c_str(), &used) != 0)
        return ERR_PART_INFO;
    SetUsedBytes(used);
    return 0;
}

void CPartFat32Backup::WritePartInfoDiff(tagPARTITION_INFO* info)
{
    info->dataSectionPos = m_dataSectionPos;
    info->recordCount = m_recordCount;
    info->bootAreaSize = ImageFormat::kFat32BootAreaBytes;
}

int CPartFat32Backup::BackupFiles()
{
    Progress().ProcessState(QStringLiteral("Backing up partition ..."));
    int result = ImagePosition(&m_dataSectionPos);
    if (result != 0)
        return result;
    if (m_fatDevice.Open(SourcePath(), CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_PART;
    result = TraverDirEntry();
    m_fatDevice.Close();
    Progress().ProcessState(QStringLiteral("Finish"));
    return result;
}

int CPartFat32Backup::WriteStream(bool leaveOutPageFile)
{
    m_leaveOutPageFile = leaveOutPageFile;
    if (m_fatDevice.Open(SourcePath(), CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_PART;
    const int result = TraverDirEntry();
    m_fatDevice.Close();
    return result;
}

int CPartFat32Backup::ProveStream(bool leaveOutPageFile)
{
    m_proveOnly = true;
    const int result = WithoutOutput([this, leaveOutPageFile] { return WriteStream(leaveOutPageFile); });
    m_proveOnly = false;
    // The real walk starts afresh.
    m_dirClustersSeen.clear();
    m_recordCount = 0;
    m_longName.Clear();
    return result;
}

int CPartFat32Backup::TraverDirEntry()
{
    const uint32_t entriesPerCluster = ClusterBytes() / ImageFormat::kFat32DirEntryBytes;
    std::vector<DirPosition> path;
    int result = EnterDirectory(path, m_rootCluster);
    while (result == 0 && !path.empty()) {
        // (Re)read the cluster of the innermost directory: after a
        // subdirectory the buffer holds that subdirectory's last cluster.
        const size_t depth = path.size();
        result = ReadCluster(path.back().cluster);
        while (result == 0 && path.size() == depth && path.back().nextEntry < entriesPerCluster) {
            tagFatDirEntry entry;
            std::memcpy(&entry, &m_dirCluster[path.back().nextEntry * ImageFormat::kFat32DirEntryBytes],
                        sizeof entry);
            ++path.back().nextEntry;
            result = ProcessEntry(path, entry);
        }
        if (result != 0 || path.size() != depth)
            continue;

        // The cluster is used up: follow the directory's chain.
        uint32_t next = 0;
        result = ReadFatEntry(path.back().cluster, next);
        if (result != 0)
            break;
        if (next >= Fat32::kEndOfChainMin) {
            result = EndDirectory(path, true);
        } else if (!IsDataCluster(next)) {
            result = DamagedFileSystem("a directory chain leaves the data area", next);
        } else if (!m_dirClustersSeen.insert(next).second) {
            result = DamagedFileSystem("a directory chain loops", next);
        } else {
            path.back().cluster = next;
            path.back().nextEntry = 0;
        }
    }
    return result;
}

int CPartFat32Backup::ProcessEntry(std::vector<DirPosition>& path, const tagFatDirEntry& entry)
{
    switch (Fat32::ClassifyEntry(entry)) {
    case Fat32::EntryKind::Deleted:
        return 0;
    case Fat32::EntryKind::End:
        return EndDirectory(path, false);
    case Fat32::EntryKind::LongName: {
        tagFatLongNameEntry part;
        std::memcpy(&part, &entry, sizeof part);
        m_longName.Add(part);
        return WriteDirEntry(entry, true);
    }
    case Fat32::EntryKind::Dot:
    case Fat32::EntryKind::VolumeLabel:
        return WriteDirEntry(entry, true);
    case Fat32::EntryKind::File: {
        const int result = BackupFile(entry, path.size() == 1);
        m_longName.Clear();
        return result;
    }
    case Fat32::EntryKind::Directory: {
        m_longName.Clear();
        const int result = WriteDirEntry(entry, true);
        return result != 0 ? result : EnterDirectory(path, entry.FirstCluster());
    }
    }
    return 0;
}

int CPartFat32Backup::EndDirectory(std::vector<DirPosition>& path, bool counted)
{
    path.pop_back();
    const tagFatDirEntry end{};
    return WriteDirEntry(end, counted);
}

int CPartFat32Backup::EnterDirectory(std::vector<DirPosition>& path, uint32_t cluster)
{
    if (!IsDataCluster(cluster))
        return DamagedFileSystem("a directory starts outside the data area", cluster);
    // A directory met again (an ancestor, or another directory's cluster)
    // would make the walk go round for ever.
    if (!m_dirClustersSeen.insert(cluster).second)
        return DamagedFileSystem("a subdirectory points back into the directory tree", cluster);
    path.push_back(DirPosition{cluster, 0});
    return 0;
}

int CPartFat32Backup::BackupFile(const tagFatDirEntry& entry, bool inRoot)
{
    // The system's page file lives in the root folder; a file of that name
    // anywhere else is an ordinary file.
    if (inRoot && Fat32::IsPageFile(entry) && m_leaveOutPageFile) {
        if (Progress().ProgressFunc(entry.fileSize) != 0)
            return ERR_CANCELLED;
        tagFatDirEntry withoutData = entry;
        withoutData.SetFirstCluster(0);
        return WriteDirEntry(withoutData, true);
    }
    DisplayName(entry);
    if (!Fat32::HasDataSet(entry))
        return WriteDirEntry(entry, false);
    if (!IsDataCluster(entry.FirstCluster()))
        return DamagedFileSystem("a file starts outside the data area", entry.FirstCluster());

    int result = WriteDirEntry(entry, true);
    if (result == 0)
        result = BeginDataSet(m_storedRaw);
    if (result == 0)
        result = BackupFileData(entry.FirstCluster(), entry.fileSize);
    if (result == 0)
        result = EndDataSet();
    return result;
}

int CPartFat32Backup::BackupFileData(uint32_t firstCluster, uint32_t size)
{
    const int result = ReadFileChain(firstCluster, size);
    ReleaseFileClusters();
    return result;
}

bool CPartFat32Backup::ClaimFileCluster(uint32_t cluster)
{
    if (m_fileClusters.empty())
        m_fileClusters.assign(size_t(m_lastCluster) + 1, false);
    if (m_fileClusters[cluster])
        return false;
    m_fileClusters[cluster] = true;
    if (!m_fileRuns.empty() && m_fileRuns.back().first + m_fileRuns.back().count == cluster)
        ++m_fileRuns.back().count;
    else
        m_fileRuns.push_back(ClusterRun{cluster, 1});
    return true;
}

void CPartFat32Backup::ReleaseFileClusters()
{
    for (const ClusterRun& run : m_fileRuns)
        for (uint32_t i = 0; i < run.count; ++i)
            m_fileClusters[run.first + i] = false;
    m_fileRuns.clear();
}

int CPartFat32Backup::ReadFileChain(uint32_t firstCluster, uint32_t size)
{
    ClaimFileCluster(firstCluster);
    uint32_t cluster = firstCluster;
    uint32_t usedOfCluster = 0;
    uint64_t remaining = size;
    while (remaining > 0) {
        const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(remaining, kBufferBytes));
        uint32_t filled = 0;
        while (filled < chunk) {
            if (usedOfCluster == ClusterBytes()) {
                uint32_t next = 0;
                const int result = ReadFatEntry(cluster, next);
                if (result != 0)
                    return result;
                if (!IsDataCluster(next)) {
                    DEBUG_TRACE("%s is longer than its cluster chain!\n", m_fileName.c_str());
                    return DamagedFileSystem("a file's chain ends early", next);
                }
                // Read on, a looping chain would give the file's size in
                // copies of the same clusters.
                if (!ClaimFileCluster(next)) {
                    DEBUG_TRACE("The cluster chain of %s loops!\n", m_fileName.c_str());
                    return DamagedFileSystem("a file's chain loops", next);
                }
                cluster = next;
                usedOfCluster = 0;
            }
            const uint32_t take = std::min(chunk - filled, ClusterBytes() - usedOfCluster);
            if (!m_proveOnly) {
                const int64_t got =
                    Source().pRead(static_cast<int64_t>(ClusterOffset(cluster) + usedOfCluster),
                                   ChunkBuffer() + filled, take);
                if (got < 0)
                    return ERR_SEEK_PART;
                if (got != take)
                    return ERR_READ_PART;
            }
            filled += take;
            usedOfCluster += take;
        }
        int result = WriteDataChunk(ChunkBuffer(), chunk);
        if (result != 0)
            return result;
        if (Progress().ProgressFunc(chunk) != 0)
            return ERR_CANCELLED;
        remaining -= chunk;
    }
    return 0;
}

int CPartFat32Backup::WriteDirEntry(const tagFatDirEntry& entry, bool counted)
{
    // Between data sets, each of which is written out when it ends.
    const int result = WriteInOrder(&entry, sizeof entry, sizeof entry);
    if (result != 0)
        return result;
    if (counted)
        ++m_recordCount;
    return 0;
}

int CPartFat32Backup::ReadCluster(uint32_t cluster)
{
    const int64_t got =
        Source().pRead(static_cast<int64_t>(ClusterOffset(cluster)), m_dirCluster.data(), ClusterBytes());
    if (got < 0)
        return ERR_SEEK_PART;
    return got == ClusterBytes() ? 0 : ERR_READ_PART;
}

int CPartFat32Backup::ReadFatEntry(uint32_t cluster, uint32_t& next)
{
    const bool cached = !m_fatWindow.empty() && cluster >= m_fatWindowFirst &&
                        cluster - m_fatWindowFirst < m_fatWindow.size();
    if (!cached) {
        const uint32_t first = cluster - cluster % kFatWindowEntries;
        const uint64_t count = std::min<uint64_t>(kFatWindowEntries, m_fatBytes / 4 - first);
        m_fatWindow.assign(count, 0);
        const int64_t bytes = static_cast<int64_t>(count * 4);
        const int64_t got = m_fatDevice.pRead(static_cast<int64_t>(m_firstFatPos + uint64_t(first) * 4),
                                              m_fatWindow.data(), bytes);
        if (got != bytes) {
            m_fatWindow.clear();
            return got < 0 ? ERR_SEEK_PART : ERR_READ_PART;
        }
        m_fatWindowFirst = first;
    }
    next = m_fatWindow[cluster - m_fatWindowFirst] & Fat32::kEntryMask;
    return 0;
}

bool CPartFat32Backup::IsDataCluster(uint32_t cluster) const
{
    return cluster >= Fat32::kFirstDataCluster && cluster <= m_lastCluster;
}

uint64_t CPartFat32Backup::ClusterOffset(uint32_t cluster) const
{
    return m_dataAreaPos + uint64_t(cluster - Fat32::kFirstDataCluster) * ClusterBytes();
}

void CPartFat32Backup::DisplayName(const tagFatDirEntry& entry)
{
    m_fileName = Fat32::DisplayName(m_longName, entry);
    Progress().ProcessName(m_fileName.c_str());
    m_storedRaw = IsCompressFile(m_fileName.c_str()) != 0;
}
