#include "quarn/fat32/part_fat32_clone.h"

#include "quarn/io/device_system.h"

#include <QString>

#include <cstring>
#include <new>

CFat32CloneWriter::CFat32CloneWriter(const std::string& destPartition, CStreamPipe& stream,
                                     CPartProgress& progress)
    : CPartFatRestore(tagRestoreArgument{std::string(), destPartition, 0}, tagCallBackFunc()),
      m_stream(stream)
{
    // Borrowed from the clone job, which reports for both sides.
    m_progress = &progress;
}

CFat32CloneWriter::~CFat32CloneWriter() = default;

int CFat32CloneWriter::Open(uint32_t sectorBytes, uint32_t clusterBytes, uint64_t usedBytes,
                            const std::vector<unsigned char>& bootArea)
{
    m_part = std::make_unique<CDeviceIo>();
    m_buffer.resize(m_bufferSize);
    m_bootArea = bootArea;
    m_bootAreaSize = static_cast<uint16_t>(bootArea.size());
    m_sectorBytes = sectorBytes;
    m_clusterBytes = clusterBytes;
    m_usedBytes = usedBytes;
    m_fsType = FS_TYPE_FAT32;
    if (m_part->Open(m_targetPartition, CDeviceIo::ModeUpdate) != 0)
        return ERR_OPEN_PART;
    GetDestPartSize();
    m_freeBytes = m_usedBytes < m_targetBytes ? m_targetBytes - m_usedBytes : 0;
    return RefuseTooFewClusters();
}

int CFat32CloneWriter::RefuseTooFewClusters() const
{
    Fat32NewLayout layout;
    const int result = PlanFat32Layout(m_targetSectors, layout);
    if (result != 0)
        return result;
    // A file takes no more of the destination's clusters than it took of
    // the source's, or, where the destination's clusters are smaller, no
    // more than its source clusters' bytes in them: the used clusters bound
    // what the replay hands out, so a destination that passes never runs
    // out half way.
    const uint64_t sourceClusters = m_clusterBytes != 0 ? m_usedBytes / m_clusterBytes : 0;
    const uint32_t destCluster = layout.ClusterBytes();
    const uint64_t needed =
        destCluster >= m_clusterBytes ? sourceClusters : sourceClusters * (m_clusterBytes / destCluster);
    if (needed <= layout.clusterCount)
        return 0;
    DEBUG_TRACE("The source uses %llu clusters of %u bytes (%llu bytes); the destination of %llu bytes holds "
                "%u clusters of %u bytes, the copy may need %llu!\n",
                static_cast<unsigned long long>(sourceClusters), m_clusterBytes,
                static_cast<unsigned long long>(m_usedBytes), static_cast<unsigned long long>(m_targetBytes),
                layout.clusterCount, destCluster, static_cast<unsigned long long>(needed));
    return ERR_PART_TOO_SMALL;
}

int CFat32CloneWriter::ReadStreamEntry(tagFatDirEntry& entry)
{
    return m_stream.Take(&entry, sizeof entry) == static_cast<int64_t>(sizeof entry) ? 0 : ERR_READ_FILE;
}

int CFat32CloneWriter::CheckStreamEnd()
{
    // Waits for the walk to end: nothing may follow the root's end mark.
    unsigned char extra = 0;
    return m_stream.Take(&extra, 1) == 0 ? 0 : ERR_PART_INFO;
}

namespace {

tagBackupArgument SourceWalk(const tagCloneArgument& arg)
{
    tagBackupArgument walk;
    walk.srcPartition = arg.srcPartition;
    walk.fsType = FS_TYPE_FAT32;
    walk.compressType = 0;
    return walk;
}

}  // namespace

CPartFat32Clone::CPartFat32Clone(const tagCloneArgument& arg, const tagCallBackFunc& cb)
    : CPartClone(arg, cb), m_source(new CPartFat32Backup(SourceWalk(arg), m_silent, nullptr, 0))
{}

CPartFat32Clone::~CPartFat32Clone() = default;

int CPartFat32Clone::PrepareSource()
{
    int result = m_source->StreamInit(Pipe());
    if (result == 0)
        result = m_source->ProveStream(m_filterPageFile);
    if (result != 0)
        return result;
    // The boot area as an image stores it, from the source's first bytes.
    CDeviceIo source;
    m_bootArea.assign(ImageFormat::kFat32BootAreaBytes, 0);
    if (source.Open(m_srcPartition, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_PART;
    if (source.Read(m_bootArea.data(), int64_t(m_bootArea.size())) != int64_t(m_bootArea.size()))
        return ERR_READ_PART;
    return 0;
}

int CPartFat32Clone::PrepareWriter()
{
    m_writer = std::make_unique<CFat32CloneWriter>(m_destPartition, Pipe(), Progress());
    return m_writer->Open(m_source->SectorBytes(), m_source->ClusterBytes(), UsedBytes(), m_bootArea);
}

int CPartFat32Clone::Write()
{
    bool streamWritten = false;
    return m_writer->WriteFileSystem(QStringLiteral("Cloning partition ..."), &streamWritten);
}
