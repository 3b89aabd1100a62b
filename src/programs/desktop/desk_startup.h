// Start-up of the desktop program: rights, Windows version, the shell verb
// for drives, the first-start dialog, translators, then the main window or
// the one-drive backup of the drive named by the first argument.
#ifndef DESK_STARTUP_H
#define DESK_STARTUP_H

#include "platform/windows/platform.h"

#include <QString>
#include <QStringList>

#include <functional>

class QApplication;

namespace desk {

// 0 when the program may run, -1 when the user lacks administrator rights
// (the system volume cannot be opened: access denied).
int checkAdministrator();
// Writes the verb "Sorvik Backup" for drives: the program's quoted path
// and the quoted drive argument. 1 when written, else 0.
int registerDriveContextMenu();
// The value the verb's command holds for a program path.
QString driveVerbCommand(const QString& programPath);
const char kDriveVerbKey[] = "Drive\\shell\\Sorvik Backup\\command";

// Code of the running Windows (table in windowsVersionName); -1 when the
// query fails (not kept); cached for the process otherwise.
int windowsVersion();
// Windows 7 SP1 is build 7601 of 6.1; Windows 11 reports 10.0 from build
// 22000 on.
const unsigned kWindows7Sp1Build = 7601;
const unsigned kWindows11Build = 22000;
// Whether the program runs on that Windows: Windows 7 SP1 or later.
bool isSupportedWindows(const winplat::VersionInfo& version);
// The same for the running Windows (false when the query fails).
bool windowsIsSupported();
// Forgets the cached code (tests).
void forgetWindowsVersion();

// The style sheet of the desktop program: the console's rules with those
// of the desktop's own buttons.
QString desktopStyleSheet();

// Steps of start-up before a window runs: -1 when the program must end
// with `exitCode`, else 0 (translators installed, settings complete or
// the first-start dialog shown).
int prepareDesktop(QApplication& app, int* exitCode);

// The one-drive backup of a drive root, run with the program's first
// argument; returns the exit code. Unset, such a start ends with -1.
using OneDriveBackup = std::function<int(const QString& driveRoot)>;
void setOneDriveBackup(OneDriveBackup run);

// The folder of the program's executable, where its catalogues are;
// tests name another one (empty: the executable's again).
QString programFolder();
// Where the jobs' logs go: %LOCALAPPDATA%\<maker>\<program>\logs, or logs
// beside the program where that folder is not known.
QString jobLogFolder();
// The one sink of the program's lines, and the jobs' logs in jobLogFolder().
void installJobLogs();
void setProgramFolder(const QString& folder);

// Windows and pictures scale with the screen (125%, 150%, 200% exactly,
// not rounded): the windows' fixed layouts then keep their proportions and
// no text is cut. Called before the application is created.
void useHighDpiScaling();

// The whole program after the application exists.
int runDesktop(QApplication& app, const QStringList& arguments);

}  // namespace desk

#endif
