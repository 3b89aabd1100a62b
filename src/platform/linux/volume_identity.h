// What a volume says about itself: file-system type, its version, label and
// UUID, read from the superblock through libblkid.
#ifndef RESCUE_STORAGE_VOLUME_IDENTITY_H
#define RESCUE_STORAGE_VOLUME_IDENTITY_H

#include <cstdint>
#include <string>

struct VolumeIdentity {
    std::string type;     // "vfat", "ntfs", "swap", "ext2" ...
    std::string version;  // "FAT32", "FAT16", "FAT12" for vfat; may be empty
    bool hasLabel = false;
    std::string label;  // raw bytes as stored on the volume
    std::string uuid;   // as printed, with its '-'
};

// Looks for a file system at offset 0 of the open descriptor within size
// bytes. False when none is found, or when more than one claims the volume.
bool identifyVolume(int fd, uint64_t size, VolumeIdentity* identity);

#endif
