// Which volumes get a drive letter, and which one is the hidden system
// partition that is shown without one.
#ifndef VOLUME_RULES_H
#define VOLUME_RULES_H

#include <cstdint>

struct PartitionRecord;

// The largest hidden system partition, in sectors.
const uint64_t kHiddenSystemMaxSectors = 430079;

// Only file systems the console can image (NTFS and FAT, any letter case)
// get a letter; swap never does.
bool takesLetter(const char* fsName);

// A primary, active NTFS partition of at most kHiddenSystemMaxSectors whose
// label starts with "System Reserved" (case-sensitive).
bool isHiddenSystemPartition(const PartitionRecord& part);

#endif
