// The base of the tests' own backup jobs over a partition file with no file
// system of its own, whose data sets the test lists itself.
#ifndef TEST_SUPPORT_PLAIN_PARTITION_BACKUP_H
#define TEST_SUPPORT_PLAIN_PARTITION_BACKUP_H

#include "quarn/image/part_backup.h"
#include "quarn/api/quarn.h"

namespace testsupport {

class PlainPartitionBackup : public CPartBackup {
public:
    using CPartBackup::CPartBackup;

protected:
    // 512-byte sectors and 4 KiB clusters over the whole partition file.
    int GetBootCodeInfo() override { return TakeGeometry(512, 4096); }
};

}  // namespace testsupport

#endif
