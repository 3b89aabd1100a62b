// Paths and texts of the desktop program. The program speaks Windows paths
// ("D:\Images\c_backup_0_0.bkp") to the user, the settings and the engine;
// its own file reads (image heads, image listings) go through localPath,
// which on Windows is the path itself and on the simulated machine of the
// Linux build the host file that stands for it.
#ifndef DESK_PATHS_H
#define DESK_PATHS_H

#include <QByteArray>
#include <QString>

#include <string>

namespace desk {

// The file the program opens for a Windows path (see above).
QString localPath(const QString& windowsPath);
// The Windows path of a file the program found locally (a file dialog's
// answer); the path itself when it maps to no drive.
QString windowsPath(const QString& localFile);

// Texts handed to the engine: UTF-8, as the engine's byte strings are.
QByteArray engineText(const QString& text);

QString fromU16(const std::u16string& text);
std::u16string toU16(const QString& text);

// "C:\" for 'c'.
QString driveRootOf(QChar letter);
// A path with Windows separators ("C:/Images" gives "C:\\Images").
QString nativeSeparators(const QString& path);
// Ends a folder path with the native separator.
QString withSeparator(const QString& folder);
// The file-name part of a Windows path (after its last '\' or '/').
QString fileNamePart(const QString& path);
// The folder part, without its final separator.
QString folderPart(const QString& path);

}  // namespace desk

#endif
