// The backup wizard's rules about image files and volumes: the base name
// taken from a chosen previous image, the volumes of an image set already
// on the destination, the newest image of a chain, the split size of a
// volume by the destination's file system, and the description's length.
#ifndef JOBS_BACKUP_RULES_H
#define JOBS_BACKUP_RULES_H

#include "quarn/api/image_format.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace BackupRules {

// The engine names volumes <base>_<volume>_<generation>.bkp.
// The base of a chosen image file name: the part before "_<n>_<n>.bkp";
// a name without that ending loses its last three characters ("old.bkp"
// gives "old.", whose next image is then "old._0_1.bkp").
QString imageBaseOfFile(const QString& fileName);

// How the destination's file system compares file names: NTFS and the FAT
// family (and a share, most often served from Windows) take "C_backup" and
// "c_backup" for one name; the Linux file systems do not.
Qt::CaseSensitivity nameCaseOf(const QString& destFsName);

// The volumes of every image (any volume, any generation) named after the
// base path, as absolute paths in name order; names compared as `nameCase`.
QStringList imageSetFiles(const QString& imageBase, Qt::CaseSensitivity nameCase = Qt::CaseSensitive);

// Volumes a backup of this base is still writing ("<volume name>.part"):
// they take their final names only once the whole image is on its device.
QStringList unfinishedVolumes(const QString& imageBase, Qt::CaseSensitivity nameCase = Qt::CaseSensitive);

// The bytes the files take (a file that cannot be measured counts 0).
quint64 filesBytes(const QStringList& files);

// What is left of a replaced image set once a full backup of the same base
// has succeeded: every file of `oldSet` that is not a volume of the new
// image (its later volumes beyond the new image's last, and every
// incremental image built on it). The new image's volumes are followed from
// its first volume through each volume's end record; a volume whose end
// cannot be read ends the walk, and only files proven beyond the new image
// or of another generation are given.
QStringList replacedSetLeftovers(const QStringList& oldSet, const QString& imageBase,
                                 Qt::CaseSensitivity nameCase = Qt::CaseSensitive);

// The first volume of the newest image of the chain a chosen image belongs
// to, when that is not the chosen image itself; else empty. An incremental
// image built on an older one would replace the newer images' files.
QString newerImageInChain(const QString& chosenImage);

// Choices of the volume size combo, in this order.
enum VolumeSizeChoice { AutoSize = 0, Size2GB = 1, Size4GB = 2, Size8GB = 3 };
// The volume size of an image that is never split.
using ImageFormat::kNeverSplit;
const uint64_t k2GiB = 2147483648ULL;
const uint64_t k4GiB = 4294967296ULL;
const uint64_t k8GiB = 8589934592ULL;
// The largest volume a FAT32 file can hold is 4 GiB - 1 byte; volumes stop
// at a whole MiB below it.
const uint64_t kLargestFat32Volume = k4GiB - 1048576ULL;

// How many of the combo's choices fit the destination's file system:
// all four, or "Auto" and "2 GB" only where a file holds less than 4 GiB.
int volumeSizeChoiceCount(const QString& destFsName);

// The split size for a choice on a destination; false when "Auto" meets a
// file system whose largest file is not known (the size is then 0).
bool splitSize(int choice, const QString& destFsName, uint64_t* size);

// Texts handed to the engine: the program's codec is UTF-8, and the image's
// password digest is taken from the UTF-8 bytes of the password (the
// restore wizard hashes what the user types the same way).
QByteArray engineText(const QString& text);
QByteArray passwordDigest(const QString& password);

// The description as an image can store it: the text itself when its
// engine text fits ImageFormat::kMaxDescriptionBytes, else its longest
// beginning that does, cut between characters.
QString limitDescription(const QString& text);

}  // namespace BackupRules

#endif
