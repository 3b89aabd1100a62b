// ntfs-3g's judgement of restored NTFS partitions, and the file sets that
// need a mount to be made (compressed folders).
#ifndef TEST_SUPPORT_NTFS_RESTORE_FIXTURE_H
#define TEST_SUPPORT_NTFS_RESTORE_FIXTURE_H

#include "support/ntfs_fixture.h"
#include "support/test_support.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// ntfs-3g's judgement of a restored partition (ntfsresize's cluster
// accounting, ntfsfix -n): empty when sound, else what the tools said.
std::string NtfsCheckProblems(const std::string& partition);
// `ntfsls -R` of a partition (the whole tree, with sizes), or "" on failure.
std::string NtfsTree(const std::string& partition);

// Every file of `files` that is not a directory reads back from `partition`
// with its bytes (and, for sparse files, its length). Empty when so, else
// a description of the first difference.
std::string CompareNtfsFiles(const std::string& partition, const std::vector<NtfsFileSpec>& files);

// Sets ntfs-3g's NTFS attribute flags (system.ntfs_attrib_be) on a path in a
// mounted volume, for instance 0x800 (compressed) on a folder.
bool SetNtfsAttributes(const std::string& path, uint32_t flags);

}  // namespace testsupport

#endif
