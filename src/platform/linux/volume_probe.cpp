// probeVolume: the file-system type, label and UUID of a partition or disk.
#include "platform/linux/fat_label.h"
#include "platform/linux/system_probes.h"
#include "platform/linux/volume_identity.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

char* heapText(const std::string& text)
{
    return strdup(text.c_str());
}

std::string typeName(const VolumeIdentity& identity)
{
    if (identity.type != "vfat")
        return identity.type;
    return identity.version.empty() ? identity.type : identity.version;
}

std::string labelInUtf8(const VolumeIdentity& identity)
{
    if (identity.type != "vfat")
        return identity.label;
    return fatLabelToUtf8(identity.label, fatLabelCodePage());
}

std::string uuidWithoutDashes(std::string uuid)
{
    uuid.erase(std::remove(uuid.begin(), uuid.end(), '-'), uuid.end());
    return uuid;
}

}  // namespace

char* probeVolume(const char* path, uint64_t size, char** type, char** uuid)
{
    if (type)
        *type = nullptr;
    if (uuid)
        *uuid = nullptr;
    if (!path)
        return nullptr;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    VolumeIdentity identity;
    bool found = identifyVolume(fd, size, &identity);
    close(fd);
    if (!found)
        return nullptr;
    if (type)
        *type = heapText(typeName(identity));
    if (uuid && !identity.uuid.empty())
        *uuid = heapText(uuidWithoutDashes(identity.uuid));
    return identity.hasLabel ? heapText(labelInUtf8(identity)) : nullptr;
}
