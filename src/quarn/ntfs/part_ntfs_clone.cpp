#include "quarn/ntfs/part_ntfs_clone.h"

#include "quarn/io/device_system.h"

#include <QString>

#include <new>

namespace {

tagBackupArgument SourceWalk(const tagCloneArgument& arg)
{
    tagBackupArgument walk;
    walk.srcPartition = arg.srcPartition;
    walk.fsType = FS_TYPE_NTFS;
    walk.compressType = 0;
    return walk;
}

}  // namespace

CPartNtfsClone::CPartNtfsClone(const tagCloneArgument& arg, const tagCallBackFunc& cb)
    : CPartClone(arg, cb), m_source(new CPartNtfsBackup(SourceWalk(arg), m_silent, nullptr, 0))
{}

CPartNtfsClone::~CPartNtfsClone() = default;

int CPartNtfsClone::PrepareSource()
{
    int result = m_source->StreamInit(Pipe());
    if (result == 0)
        result = m_source->PrepareStream(m_filterPageFile, m_filterHibernateFile);
    if (result != 0)
        return result;
    // The boot area as an image stores it, from the source's first bytes.
    CDeviceIo source;
    m_bootArea.assign(ImageFormat::kNtfsBootAreaBytes, 0);
    if (source.Open(m_srcPartition, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_PART;
    if (source.Read(m_bootArea.data(), int64_t(m_bootArea.size())) != int64_t(m_bootArea.size()))
        return ERR_READ_PART;
    return 0;
}

int CPartNtfsClone::PrepareWriter()
{
    NtfsLayoutInput input;
    input.clusterBytes = m_source->ClusterBytes();
    input.sectorBytes = m_source->SectorBytes();
    input.recordBytes = ImageFormat::kNtfsFileRecordBytes;
    input.recordCount = m_source->RecordCount();
    input.targetBytes = DestinationBytes();
    input.freeBytes = DestinationBytes() - UsedBytes();
    input.mftBitmap = m_source->MftBitmap().data();
    input.mftBitmapBytes = m_source->MftBitmap().size();
    input.bootArea = m_bootArea.data();
    input.bootAreaBytes = uint32_t(m_bootArea.size());
    input.hiddenSectors = DeviceSystem::PartitionStartSector(Destination(), m_destPartition);
    m_writer = std::make_unique<CResFileRecord>(input, Destination(), Progress(), Pipe());
    m_writer->LeaveOut(m_filterPageFile, m_filterHibernateFile);
    int result = m_writer->Initialize();
    // The layout fills the whole volume before it gives up, but a volume
    // that cannot hold every used cluster would run out half way, after
    // the destination's old file system is gone.
    const uint64_t volumeBytes = m_writer->VolumeClusters() * input.clusterBytes;
    if (result == 0 && volumeBytes < UsedBytes()) {
        DEBUG_TRACE("The source uses %llu bytes; the volume laid out on the destination of %llu bytes holds "
                    "%llu!\n",
                    static_cast<unsigned long long>(UsedBytes()),
                    static_cast<unsigned long long>(DestinationBytes()),
                    static_cast<unsigned long long>(volumeBytes));
        result = ERR_PART_TOO_SMALL;
    }
    if (result == 0)
        result = m_writer->BeginImage(m_source->ExtentsStored(), m_source->RootSystemFilesOnly());
    return result;
}

bool CPartNtfsClone::RecordInUse(uint32_t n) const
{
    const std::vector<unsigned char>& bitmap = m_source->MftBitmap();
    return n / 8 < bitmap.size() && (bitmap[n / 8] >> (n % 8) & 1) != 0;
}

int CPartNtfsClone::Write()
{
    Progress().ProcessState(QStringLiteral("Cloning partition ..."));
    const uint32_t recordCount = m_source->RecordCount();
    uint32_t entries = 0;
    int result = TakeExactly(&entries, sizeof entries);
    if (result == 0 && entries != recordCount)
        result = ERR_PART_INFO;
    std::vector<unsigned char> record(ImageFormat::kNtfsFileRecordBytes);
    auto* header = reinterpret_cast<tagFILE_RECORD_HEADER*>(record.data());
    for (uint32_t i = 0; result == 0 && i < entries; ++i) {
        uint32_t n = 0;
        result = TakeExactly(&n, sizeof n);
        if (result == 0 && n != i)
            result = ERR_PART_INFO;
        if (result == 0)
            result = TakeExactly(record.data(), uint32_t(record.size()));
        if (result == 0)
            result = m_writer->ProcFileRecord(n, header, RecordInUse(n), RecordInUse(n));
    }
    uint32_t endMark = 0;
    if (result == 0)
        result = TakeExactly(&endMark, sizeof endMark);
    if (result == 0 && endMark != ImageFormat::kRecordStreamEnd)
        result = ERR_PART_INFO;
    return result;
}

int CPartNtfsClone::Finish()
{
    Progress().ProcessState(QStringLiteral("Finishing restore partition ..."));
    int result = m_writer->ResMFTBitmap();
    if (result == 0)
        result = m_writer->ResBitmap();
    if (result == 0)
        result = m_writer->ResMFTMirr();
    // Everything else on the device before the boot sectors that make the
    // destination a file system.
    if (result == 0)
        result = SyncDestination();
    if (result == 0)
        result = m_writer->ResBootCode();
    if (result == 0)
        result = SyncDestination();
    return result;
}
