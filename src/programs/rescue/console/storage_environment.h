// Points the storage layer at another machine's files, so that the console
// can run on disk files instead of the machine's disks (the demo, tests).
//
//   RESCUE_SYS_ROOT     in place of /sys
//   RESCUE_PROC_ROOT    in place of /proc
//   RESCUE_DEV_ROOT     in place of /dev
//   RESCUE_MOUNT_TABLE  in place of /etc/mtab
//   RESCUE_MOUNT_BASE   in place of /tmp, where partitions are mounted
//
// With RESCUE_DEV_ROOT set, the device nodes are plain files in that
// folder, named by udev-style links <dev>/block/<major>:<minor> -> <name>:
// such a file counts as the block device of that number, and the disks are
// the linked files whose <sys>/dev/block/<major>:<minor> folder holds no
// "partition" file. Partition files stand beside their disk file (sdx1
// beside sdx), as the kernel names them.
#ifndef RESCUE_CONSOLE_STORAGE_ENVIRONMENT_H
#define RESCUE_CONSOLE_STORAGE_ENVIRONMENT_H

#include <QStringList>

// Reads the variables above into the storage layer's paths; with
// RESCUE_DEV_ROOT set also installs the node look-up and the prober's disk
// list described above. Call before the first probe.
void applyStorageEnvironment();

// The disks of a dev folder as described above.
QStringList linkedDiskPaths();

#endif
