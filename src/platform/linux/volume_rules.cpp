#include "platform/linux/volume_rules.h"

#include "platform/linux/device_records.h"

#include <QByteArray>
#include <cstring>

namespace {

const char kHiddenSystemLabel[] = "System Reserved";

bool containsNoCase(const char* text, const char* word)
{
    return text && QByteArray(text).toLower().contains(word);
}

}  // namespace

bool takesLetter(const char* fsName)
{
    if (!fsName || containsNoCase(fsName, "swap"))
        return false;
    return containsNoCase(fsName, "ntfs") || containsNoCase(fsName, "fat");
}

bool isHiddenSystemPartition(const PartitionRecord& part)
{
    return part.label && strncmp(part.label, kHiddenSystemLabel, sizeof kHiddenSystemLabel - 1) == 0 &&
           part.length <= kHiddenSystemMaxSectors && part.active == 1 && part.kind == PartitionKindPrimary &&
           part.fsName && strstr(part.fsName, "ntfs");
}
