// The boot-menu entry that starts the rescue ISO from the Windows system
// drive: on Windows 2000, XP and Server 2003 a line in boot.ini that loads
// the loader file Qomra, which reads menu.lst; on Vista, Server 2008 and
// Windows 7 a boot-sector entry made with the system's bcdedit, loading
// Qomra.mbr. The loader files and the ISO come from the data folder beside
// the program.
//
// An install records what it added (the files it placed, the files it set
// aside as "<name>_bak", the folder it made, the bcdedit entry's Id) in the
// settings; the uninstall takes back exactly that and nothing else, so that
// an install followed by an uninstall leaves the drive and the boot store
// as they were. A failed install takes back its own steps. Files are
// replaced through a temporary file and a rename, never deleted first.
#ifndef DESK_BOOT_ENTRY_H
#define DESK_BOOT_ENTRY_H

#include <QString>
#include <QStringList>

#include <functional>

namespace desk {

const char kInstallKey[] = "Install";
const char kBootIdKey[] = "Id";
const char kBootAddedFilesKey[] = "BootAddedFiles";
const char kBootSavedFilesKey[] = "BootSavedFiles";
const char kBootAddedFoldersKey[] = "BootAddedFolders";

// The whole content of menu.lst.
QString menuLstTemplate();
// The boot.ini line for the system drive `letter`.
QString bootIniEntry(QChar letter);

// Which route a Windows version code takes: 1 boot.ini (codes 1-4),
// 2 bcdedit (codes 5-15: Vista and every later release), 0 none.
int bootRouteFor(int windowsVersionCode);

// The system drive's letter in lower case; false when the system cannot
// tell its Windows folder.
bool windowsDriveLetter(char* out);

class BootEntryInstaller {
public:
    // Failures are reported through `report` (the page shows them in a box).
    using Report = std::function<void(const QString& message)>;
    explicit BootEntryInstaller(Report report);

    // Each returns true on success; on failure the message was reported and
    // the drive and boot store are as they were before the call (as far as
    // the system lets them be put back).
    bool installBootIni();
    bool uninstallBootIni();
    bool installBcd();
    bool uninstallBcd();

    // The folder beside the program holding Qomra, Qomra.mbr and the ISO
    // (a Windows path, with its final backslash).
    static QString dataFolder();
    // The system's bcdedit (a Windows path).
    static QString bcdeditPath();

private:
    struct Record;
    bool fail(const QString& message);
    bool systemLetter();
    bool runBcdedit(const QString& arguments, QString* output);
    bool placeFile(const QString& target, const QString& source, const QByteArray* bytes, Record& record);
    bool makeFolder(const QString& folder, Record& record);
    void takeBack(const Record& record);
    bool editBootIni(const std::function<QByteArray(const QByteArray&)>& change, const QString& failure);

    Report m_report;
    QChar m_letter;
};

}  // namespace desk

#endif
