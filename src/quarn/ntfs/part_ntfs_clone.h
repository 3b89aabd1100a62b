// Clones an NTFS partition: the backup's walk of the source's MFT
// (CPartNtfsBackup, used data only) feeds the restore's layout writer
// (CResFileRecord), which lays the volume out afresh on the destination.
#ifndef QUARN_NTFS_PART_NTFS_CLONE_H
#define QUARN_NTFS_PART_NTFS_CLONE_H

#include "quarn/image/part_clone.h"
#include "quarn/ntfs/ntfs_layout_writer.h"
#include "quarn/ntfs/part_ntfs_backup.h"

#include <memory>
#include <vector>

class CPartNtfsClone : public CPartClone {
public:
    CPartNtfsClone(const tagCloneArgument& arg, const tagCallBackFunc& cb);
    ~CPartNtfsClone() override;

protected:
    int PrepareSource() override;
    uint64_t UsedBytes() const override { return m_source->UsedBytes(); }
    int PrepareWriter() override;
    int Walk() override { return m_source->WriteStream(); }
    int Write() override;
    int Finish() override;

private:
    bool RecordInUse(uint32_t n) const;

    std::unique_ptr<CPartNtfsBackup> m_source;
    std::unique_ptr<CResFileRecord> m_writer;
    std::vector<unsigned char> m_bootArea;
};

#endif
