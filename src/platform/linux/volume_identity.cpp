#include "platform/linux/volume_identity.h"

#include <blkid/blkid.h>

namespace {

std::string lookupValue(blkid_probe probe, const char* name, bool* found = nullptr)
{
    const char* data = nullptr;
    size_t length = 0;
    bool ok = blkid_probe_lookup_value(probe, name, &data, &length) == 0 && data;
    if (found)
        *found = ok;
    if (!ok)
        return std::string();
    // The length counts the terminating NUL.
    std::string value(data, length);
    size_t nul = value.find('\0');
    if (nul != std::string::npos)
        value.resize(nul);
    return value;
}

}  // namespace

bool identifyVolume(int fd, uint64_t size, VolumeIdentity* identity)
{
    blkid_probe probe = blkid_new_probe();
    if (!probe)
        return false;
    bool found = false;
    if (blkid_probe_set_device(probe, fd, 0, static_cast<blkid_loff_t>(size)) == 0) {
        blkid_probe_enable_superblocks(probe, 1);
        blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION |
                                                     BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
        blkid_probe_enable_partitions(probe, 0);
        if (blkid_do_safeprobe(probe) == 0) {
            VolumeIdentity result;
            result.type = lookupValue(probe, "TYPE");
            result.version = lookupValue(probe, "VERSION");
            result.label = lookupValue(probe, "LABEL", &result.hasLabel);
            result.uuid = lookupValue(probe, "UUID");
            found = !result.type.empty();
            if (found && identity)
                *identity = result;
        }
    }
    blkid_free_probe(probe);
    return found;
}
