#include "programs/desktop/desk_boot_entry.h"

#include "programs/desktop/desk_paths.h"
#include "programs/desktop/desk_settings.h"
#include "platform/windows/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace desk {

namespace {

// The bcdedit arguments. Fixed text: they are never translated, and every
// path or identifier in them is checked or quoted.
const char kCreateArgs[] = "/create /d \"Sorvik Tavimo Recover 2.0\" /application bootsector";
const char kExportArgs[] = "/export \"%1\"";
const char kSetDeviceArgs[] = "/set %1 device partition=%2:";
const char kSetPathArgs[] = "/set %1 path \\Qomra.mbr";
const char kDisplayOrderArgs[] = "/displayorder %1 /addlast";
const char kDeleteArgs[] = "/delete %1";
const char kLoaderMbrName[] = "\\Qomra.mbr";

constexpr std::uint32_t kBcdeditWaitMs = 30000;

QString tr(const char* text)
{
    return QCoreApplication::translate("desk::ToolWidget1", text);
}

QString onDrive(QChar letter, const char* rest)
{
    return QString(letter) + QStringLiteral(":\\") + QLatin1String(rest);
}

bool exists(const QString& windowsPath)
{
    return QFileInfo::exists(localPath(windowsPath));
}

}  // namespace

struct BootEntryInstaller::Record {
    QStringList added;    // files placed where none was
    QStringList saved;    // files replaced, kept as "<name>_bak"
    QStringList folders;  // folders made

    static Record load()
    {
        auto settings = openSettings();
        Record r;
        r.added = settings->value(QLatin1String(kBootAddedFilesKey)).toStringList();
        r.saved = settings->value(QLatin1String(kBootSavedFilesKey)).toStringList();
        r.folders = settings->value(QLatin1String(kBootAddedFoldersKey)).toStringList();
        return r;
    }
    void store() const
    {
        auto settings = openSettings();
        settings->setValue(QLatin1String(kBootAddedFilesKey), added);
        settings->setValue(QLatin1String(kBootSavedFilesKey), saved);
        settings->setValue(QLatin1String(kBootAddedFoldersKey), folders);
        settings->sync();
    }
    static void forget()
    {
        auto settings = openSettings();
        settings->remove(QLatin1String(kBootAddedFilesKey));
        settings->remove(QLatin1String(kBootSavedFilesKey));
        settings->remove(QLatin1String(kBootAddedFoldersKey));
        settings->sync();
    }
};

QString menuLstTemplate()
{
    return QStringLiteral("timeout 0 \r\n"
                          "default 0 \r\n"
                          "hiddenmenu \r\n"
                          "\r\n"
                          "title Sorvik Tavimo Recover 2.0 \r\n"
                          "find --set-root /Sorvik/sorvik2_cn.iso \r\n"
                          "map --mem /Sorvik/sorvik2_cn.iso (0xff) \r\n"
                          "map --hook \r\n"
                          "chainloader (0xff)");
}

QString bootIniEntry(QChar letter)
{
    return QString(letter) + QStringLiteral(":\\Qomra=\"Sorvik Tavimo Recover 2.0\"");
}

int bootRouteFor(int code)
{
    if (code >= 1 && code <= 4)
        return 1;
    if (code >= 5 && code <= 15)
        return 2;
    return 0;
}

bool windowsDriveLetter(char* out)
{
    std::u16string folder;
    if (winplat::currentPlatform()->windowsDirectory(folder) != 0 || folder.empty() || folder[0] > 0x7F)
        return false;
    const char letter = static_cast<char>(folder[0]);
    if (!((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z')))
        return false;
    *out = static_cast<char>(QChar::fromLatin1(letter).toLower().toLatin1());
    return true;
}

BootEntryInstaller::BootEntryInstaller(Report report) : m_report(std::move(report))
{}

QString BootEntryInstaller::dataFolder()
{
    std::u16string program;
    if (winplat::currentPlatform()->programPath(program) != 0)
        return QString();
    return folderPart(fromU16(program)) + QStringLiteral("\\data\\");
}

QString BootEntryInstaller::bcdeditPath()
{
    std::u16string system;
    if (winplat::currentPlatform()->systemDirectory(system) != 0)
        return QString();
    return withSeparator(fromU16(system)) + QStringLiteral("bcdedit.exe");
}

bool BootEntryInstaller::fail(const QString& message)
{
    if (m_report)
        m_report(message);
    return false;
}

bool BootEntryInstaller::systemLetter()
{
    char letter = 0;
    if (!windowsDriveLetter(&letter))
        return fail(tr("Get Operation System Directory failed!"));
    m_letter = QChar::fromLatin1(letter);
    return true;
}

bool BootEntryInstaller::runBcdedit(const QString& arguments, QString* output)
{
    const QString program = bcdeditPath();
    if (program.isEmpty())
        return fail(tr("Run bcdedit failed!"));
    const QString line = QLatin1Char('"') + program + QStringLiteral("\" ") + arguments;
    std::uint32_t exitCode = 0;
    std::string bytes;
    const winplat::Error error =
        winplat::currentPlatform()->runProcess(toU16(line), kBcdeditWaitMs, exitCode, &bytes);
    if (error != 0 || exitCode != 0)
        return fail(tr("Run bcdedit failed!"));
    if (output)
        *output = QString::fromLocal8Bit(bytes.data(), int(bytes.size()));
    return true;
}

bool BootEntryInstaller::makeFolder(const QString& folder, Record& record)
{
    const QString local = localPath(folder);
    if (QFileInfo(local).isDir())
        return true;
    if (!QDir().mkpath(local))
        return fail(tr("Create folder %1 failed!").arg(folder));
    record.folders << folder;
    return true;
}

bool BootEntryInstaller::placeFile(const QString& target, const QString& source, const QByteArray* bytes,
                                   Record& record)
{
    const QString local = localPath(target);
    if (QFileInfo::exists(local)) {
        // The file there is kept as "<name>_bak" and comes back at the
        // uninstall; an older copy under that name is never overwritten.
        if (QFileInfo::exists(local + QStringLiteral("_bak")) ||
            !QFile::rename(local, local + QStringLiteral("_bak")))
            return fail(tr("Can not keep a copy of %1!").arg(target));
        record.saved << target;
    } else {
        record.added << target;
    }
    if (bytes) {
        QSaveFile file(local);
        if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
            return fail(tr("Create menu.lst file failed!"));
        return true;
    }
    // QFile::copy writes a temporary file and renames it into place.
    if (!QFile::copy(localPath(source), local))
        return fail(tr("Copy file failed!"));
    return true;
}

void BootEntryInstaller::takeBack(const Record& record)
{
    for (const QString& file : record.added)
        QFile::remove(localPath(file));
    for (const QString& file : record.saved) {
        const QString local = localPath(file);
        if (QFileInfo::exists(local + QStringLiteral("_bak"))) {
            QFile::remove(local);
            QFile::rename(local + QStringLiteral("_bak"), local);
        }
    }
    for (int i = record.folders.size() - 1; i >= 0; --i)
        QDir().rmdir(localPath(record.folders[i]));  // only when empty
}

bool BootEntryInstaller::editBootIni(const std::function<QByteArray(const QByteArray&)>& change,
                                     const QString& failure)
{
    const QString path = onDrive(m_letter, "boot.ini");
    const QString local = localPath(path);
    QFile current(local);
    if (!current.open(QIODevice::ReadOnly))
        return fail(failure.arg(path));
    const QByteArray before = current.readAll();
    current.close();
    // A read-only boot.ini is written all the same and keeps its mark.
    // The "User" flags tell what this process may do, not what the file
    // allows; set back, they would grant it.
    const QFileDevice::Permissions permissions =
        QFile::permissions(local) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    QFile::setPermissions(local, permissions | QFileDevice::WriteOwner);
    QSaveFile file(local);
    const QByteArray after = change(before);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(after) == after.size() && file.commit();
    QFile::setPermissions(local, permissions);
    return written ? true : fail(failure.arg(path));
}

bool BootEntryInstaller::installBootIni()
{
    if (!systemLetter())
        return false;
    const QByteArray line = QByteArrayLiteral("\r\n") + bootIniEntry(m_letter).toLocal8Bit();
    if (!editBootIni([&](const QByteArray& text) { return text + line; }, tr("Can not write %1 file!")))
        return false;
    Record record;
    const QByteArray menu = menuLstTemplate().toLocal8Bit();
    const bool placed =
        makeFolder(onDrive(m_letter, "Sorvik"), record) &&
        placeFile(onDrive(m_letter, "Sorvik\\sorvik2_cn.iso"),
                  dataFolder() + QStringLiteral("sorvik2_cn.iso"), nullptr, record) &&
        placeFile(onDrive(m_letter, "Qomra"), dataFolder() + QStringLiteral("Qomra"), nullptr, record) &&
        placeFile(onDrive(m_letter, "menu.lst"), QString(), &menu, record);
    if (!placed) {
        takeBack(record);
        editBootIni([&](QByteArray text) { return text.replace(line, QByteArray()); },
                    tr("Modify boot.ini file failed!"));
        return false;
    }
    record.store();
    return true;
}

bool BootEntryInstaller::uninstallBootIni()
{
    if (!systemLetter())
        return false;
    const QByteArray entry = bootIniEntry(m_letter).toLocal8Bit();
    // The entry goes with the line break written before it.
    auto removeEntry = [&](QByteArray text) {
        return text.replace(QByteArrayLiteral("\r\n") + entry, QByteArray()).replace(entry, QByteArray());
    };
    if (!editBootIni(removeEntry, tr("Modify boot.ini file failed!")))
        return false;
    takeBack(Record::load());
    Record::forget();
    return true;
}

bool BootEntryInstaller::installBcd()
{
    if (!systemLetter())
        return false;
    QString listing;
    if (!runBcdedit(QString(), &listing))
        return false;
    if (listing.contains(QLatin1String(kLoaderMbrName)))
        return fail(tr("There is a boot item already exists which name Qomra.mbr!"));

    // A copy of the boot store as it was, beside the program.
    Record record;
    std::u16string program;
    winplat::currentPlatform()->programPath(program);
    const QString backupFolder = folderPart(fromU16(program)) + QStringLiteral("\\bak");
    const QString backupFile = backupFolder + QStringLiteral("\\BCD_bk");
    const bool hadBackup = exists(backupFile);
    if (!makeFolder(backupFolder, record))
        return false;
    if (!runBcdedit(QString::fromLatin1(kExportArgs).arg(backupFile), nullptr)) {
        takeBack(record);
        return false;
    }
    if (!hadBackup)
        record.added << backupFile;

    QString created;
    if (!runBcdedit(QString::fromLatin1(kCreateArgs), &created)) {
        takeBack(record);
        return false;
    }
    const int open = created.indexOf(QLatin1Char('{'));
    const int close = created.indexOf(QLatin1Char('}'));
    const QString id = open >= 0 && close > open ? created.mid(open, close - open + 1) : QString();
    // The identifier goes back into command lines: only a GUID in braces.
    if (!QRegularExpression(QStringLiteral("^\\{[0-9A-Fa-f-]{1,64}\\}$")).match(id).hasMatch()) {
        takeBack(record);
        return fail(tr("Find id failed!"));
    }
    const QByteArray menu = menuLstTemplate().toLocal8Bit();
    const QString data = dataFolder();
    const bool done =
        runBcdedit(QString::fromLatin1(kSetDeviceArgs).arg(id).arg(m_letter.toUpper()), nullptr) &&
        runBcdedit(QString::fromLatin1(kSetPathArgs).arg(id), nullptr) &&
        runBcdedit(QString::fromLatin1(kDisplayOrderArgs).arg(id), nullptr) &&
        placeFile(onDrive(m_letter, "menu.lst"), QString(), &menu, record) &&
        makeFolder(onDrive(m_letter, "Sorvik"), record) &&
        placeFile(onDrive(m_letter, "Sorvik\\sorvik2_cn.iso"), data + QStringLiteral("sorvik2_cn.iso"),
                  nullptr, record) &&
        placeFile(onDrive(m_letter, "Qomra"), data + QStringLiteral("Qomra"), nullptr, record) &&
        placeFile(onDrive(m_letter, "Qomra.mbr"), data + QStringLiteral("Qomra.mbr"), nullptr, record);
    if (!done) {
        runBcdedit(QString::fromLatin1(kDeleteArgs).arg(id), nullptr);
        takeBack(record);
        return false;
    }
    writeSetting(kBootIdKey, id);
    record.store();
    return true;
}

bool BootEntryInstaller::uninstallBcd()
{
    if (!systemLetter())
        return false;
    // Exactly the entry the install made goes; later changes to the boot
    // store stay.
    const QString id = readSetting(kBootIdKey);
    if (!id.isEmpty()) {
        if (!QRegularExpression(QStringLiteral("^\\{[0-9A-Fa-f-]{1,64}\\}$")).match(id).hasMatch())
            return fail(tr("Find id failed!"));
        if (!runBcdedit(QString::fromLatin1(kDeleteArgs).arg(id), nullptr))
            return false;
    }
    auto settings = openSettings();
    settings->remove(QLatin1String(kBootIdKey));
    settings->sync();
    takeBack(Record::load());
    Record::forget();
    return true;
}

}  // namespace desk
