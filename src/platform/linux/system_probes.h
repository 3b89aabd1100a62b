// Low-level readers of the storage layer: sysfs and /proc files, optical
// drives, the volume probe (type, label, UUID), used space of a partition
// and raw reads of file or device heads. Every function is synchronous,
// takes no lock and reports failure by its result only.
#ifndef RESCUE_STORAGE_SYSTEM_PROBES_H
#define RESCUE_STORAGE_SYSTEM_PROBES_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// --- Device nodes -------------------------------------------------------

enum class NodeKind { Other, Block, Character };

struct NodeInfo {
    NodeKind kind = NodeKind::Other;
    dev_t rdev = 0;
};

// Kind and device number of a node path (stat by default). False when the
// path cannot be examined.
bool lookupNode(const char* path, NodeInfo* info);

using NodeLookup = std::function<bool(const char* path, NodeInfo* info)>;
// Replaces the look-up behind lookupNode (tests); an empty function
// restores stat.
void setNodeLookup(NodeLookup lookup);

// --- sysfs and /proc ----------------------------------------------------

// The signed decimal number in <sys>/dev/block/<major>:<minor>/<name>;
// -1 when the file cannot be read or holds no number.
int64_t readSysfsBlockValue(dev_t dev, const char* name);

enum { DEV_NODE_PATH_SIZE = 4096 };
// The node path of a device number into out (DEV_NODE_PATH_SIZE bytes):
// the resolved <dev>/block/<major>:<minor>, else <dev>/ + the sysfs name.
// 0 on success, -1 when neither is known.
int devNodePath(dev_t dev, char* out);
// The same as a malloc'ed text (free it with free()), or null.
char* devNodePathDup(dev_t dev);

// Reads MAJOR=, MINOR= and DEVTYPE= from a uevent file. type gets the
// device type cut to typeSize - 1 characters ("" when absent). 0 when both
// numbers were found, -1 otherwise.
int readUevent(const char* fileName, dev_t* dev, char* type, size_t typeSize);

// 1 when the block or character node sits on USB, else 0.
int isUsbDevice(const char* path);
// 1 when sysfs calls the block or character node removable, else 0.
int isRemovableDevice(const char* path);

// --- Optical drives -----------------------------------------------------

// Called for each optical drive; a negative return stops the walk.
using OpticalDriveCallback = int (*)(dev_t dev, const char* path, void* context);
// Walks the drives the kernel lists. 0 after the whole list (errno 0); -1
// with ECANCELED when the callback stopped it, EINVAL for a null callback,
// or when the list cannot be read.
int forEachOpticalDrive(OpticalDriveCallback callback, void* context);

bool isOpticalDrive(dev_t dev);

struct OpticalDrive {
    dev_t rdev = 0;
    std::string path;
};
// The drives in the kernel's order.
std::vector<OpticalDrive> listOpticalDrives();

// The drive-status request's value (CDS_NO_INFO .. CDS_DISC_OK), or -1.
int opticalDriveStatus(const char* path);
// The eject request's result with its errno kept; -1 (errno kept) when the
// node cannot be opened, so that a caller never reports such an eject as done.
int ejectMedia(const char* path);

// --- Volume probe -------------------------------------------------------

// Looks for a file system on the node within size bytes. Returns its label
// in UTF-8 as a malloc'ed text, or null. When asked, *type gets the type
// name ("FAT32", "FAT16", "FAT12" for FAT, else "ntfs", "swap", "ext2" ...)
// and *uuid the UUID without '-', both malloc'ed (null when unknown).
char* probeVolume(const char* path, uint64_t size, char** type, char** uuid);

// --- Used space ---------------------------------------------------------

// The unit of used space, whatever the disk's own sector size.
enum { USED_SECTOR_SIZE = 512 };

// Used space in 512-byte sectors for fsName "fat32"/"ntfs" (any case) or
// "fat16"; 0 when it cannot be measured.
uint64_t partitionUsedSectors(const char* path, const char* fsName);
// The same, measured with the external checking tools only.
uint64_t usedSectorsByTool(const char* path, const char* fsName);

// --- Raw readers --------------------------------------------------------

enum { FILE_HEAD_SIZE = 99 };
// Reads the first FILE_HEAD_SIZE bytes of a file or device into buffer.
// 0 when all of them were read; -1 otherwise.
int readFileHead(const char* path, char* buffer);

// Whether the partition at `path` holds the mark of a restore that began
// and never finished (UnfinishedRestore); false when it cannot be read.
bool holdsUnfinishedRestore(const char* path);

// The volume serial from a boot sector: fsCode 4 (NTFS) 8 bytes at 72,
// 3 (FAT32) 4 bytes at 67, 2 (FAT16) 4 bytes at 39. 0 and *serial set on
// success; -1 and nothing stored otherwise.
int readVolumeSerial(const char* path, int fsCode, uint64_t* serial);

#endif
