// fsck.fat's own count of the space a FAT volume uses: the judge of the
// used-space measurements.
#ifndef TEST_SUPPORT_FSCK_FAT_H
#define TEST_SUPPORT_FSCK_FAT_H

#include <cstdint>
#include <string>

namespace testsupport {

// The used clusters fsck.fat -n -v reports ("files, used/total clusters")
// times the cluster size it prints; 0 when it finds errors or its output
// cannot be read.
uint64_t FsckFatUsedBytes(const std::string& image);

}  // namespace testsupport

#endif
