// Nearly full NTFS partitions made with ntfs-3g's tools, filled to an exact
// number of free clusters, and ntfs-3g's count of a volume's clusters.
#ifndef TEST_SUPPORT_NTFS_FULL_VOLUME_H
#define TEST_SUPPORT_NTFS_FULL_VOLUME_H

#include "support/ntfs_fixture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Clusters of the volume (ntfsinfo -m) and free clusters (ntfscluster), or -1.
int64_t NtfsVolumeClusters(const std::string& partition);
int64_t NtfsFreeClusters(const std::string& partition);

// Writes a dozen files of growing sizes (together about half the free
// room) into a formatted partition with ntfscp, then rewrites the first of them so large that exactly
// `leaveClusters` clusters stay free (a rewrite needs no new MFT record, so
// the count comes out exact). The files written are appended to *files.
// False with the reason in *log.
bool FillNtfsToFreeClusters(const std::string& partition, const std::string& workDir, uint64_t leaveClusters,
                            std::vector<NtfsFileSpec>* files, std::string* log);

}  // namespace testsupport

#endif
