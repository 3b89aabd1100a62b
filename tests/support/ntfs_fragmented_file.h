// A partition whose one file, /fragmented.bin, has more runs than one MFT
// record holds, so that ntfs-3g spreads its $DATA over extension records
// named by an $ATTRIBUTE_LIST (continuation extents of lowest VCN above 0).
#ifndef TEST_SUPPORT_NTFS_FRAGMENTED_FILE_H
#define TEST_SUPPORT_NTFS_FRAGMENTED_FILE_H

#include <string>

namespace testsupport {

// Formats `partition` (12 MiB) and writes the file through an ntfs-3g
// mount. False with the reason in *log.
bool MakeFragmentedFilePartition(const std::string& partition, const std::string& workDir, std::string* log);

}  // namespace testsupport

#endif
