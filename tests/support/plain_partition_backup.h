// The base of the tests' own backup jobs over a partition file with no file
// system of its own, whose data sets the test lists itself.
#ifndef TEST_SUPPORT_PLAIN_PARTITION_BACKUP_H
#define TEST_SUPPORT_PLAIN_PARTITION_BACKUP_H

#include "quarn/image/part_backup.h"
#include "quarn/api/quarn.h"

#include <cstdint>
#include <cstdio>

namespace testsupport {

class PlainPartitionBackup : public CPartBackup {
public:
    using CPartBackup::CPartBackup;

protected:
    // 512-byte sectors and 4 KiB clusters over the whole partition file.
    int GetBootCodeInfo() override
    {
        m_sectorBytes = 512;
        m_clusterBytes = 4096;
        if (m_part->Seek(0, SEEK_END) != 0)
            return ERR_SEEK_PART;
        m_partitionBytes = static_cast<uint64_t>(m_part->GetCurrentPos());
        m_clusterCount = m_partitionBytes / m_clusterBytes;
        if (m_recordsInEveryVolume)
            m_volumeBytes = 0;
        return m_part->Seek(0, SEEK_SET) == 0 ? 0 : ERR_SEEK_PART;
    }
};

}  // namespace testsupport

#endif
