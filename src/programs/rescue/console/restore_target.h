// Whether a partition may be written by a restore: it must not hold the
// image being read, and no file system may stay mounted on it (a restore
// under a live file system corrupts both). Answers come from the system's
// mount table as it stands now.
#ifndef RESCUE_CONSOLE_RESTORE_TARGET_H
#define RESCUE_CONSOLE_RESTORE_TARGET_H

#include <QString>
#include <QStringList>

namespace RestoreTarget {

// Whether two device paths name the same device: the same file once links
// are resolved, or block devices with the same device number.
bool sameDevice(const QString& first, const QString& second);

// The source (device path, share) of the file system that holds `path`;
// empty when the mount table lists none.
QString sourceHoldingPath(const QString& path);

// The directories the mount table lists as mounted from `device`, the most
// recent mount first.
QStringList mountDirectoriesOf(const QString& device);

// Unmounts every mount of `device`: the uses the console's mount table
// holds first, then whatever mount remains. True when nothing of the
// device stays mounted.
bool unmountAll(const QString& device);

// Unmounts the mounts of `device` the console's mount table holds and
// leaves any other alone (another program's mount is for its owner to
// end). True when nothing of the device stays mounted.
bool unmountConsoleMounts(const QString& device);

}  // namespace RestoreTarget

#endif
