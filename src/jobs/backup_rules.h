// The backup wizard's rules about image files and volumes: the base name
// taken from a chosen previous image, the volumes of an image set already
// on the destination, the newest image of a chain, the split size of a
// volume by the destination's file system, and the description's length.
#ifndef RESCUE_CONSOLE_BACKUP_RULES_H
#define RESCUE_CONSOLE_BACKUP_RULES_H

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

// The volumes of every image (any volume, any generation) named after the
// base path, as absolute paths in name order.
QStringList imageSetFiles(const QString& imageBase);

// The first volume of the newest image of the chain a chosen image belongs
// to, when that is not the chosen image itself; else empty. An incremental
// image built on an older one would replace the newer images' files.
QString newerImageInChain(const QString& chosenImage);

// Choices of the volume size combo, in this order.
enum VolumeSizeChoice { AutoSize = 0, Size2GB = 1, Size4GB = 2, Size8GB = 3 };
const uint64_t kNeverSplit = ~0ULL;
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
