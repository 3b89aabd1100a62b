#include "programs/rescue/console/restore_target.h"

#include "platform/linux/external_command.h"
#include "platform/linux/mount_table.h"
#include "platform/linux/system_paths.h"

#include <QFile>
#include <QList>

#include <climits>
#include <cstdlib>
#include <mntent.h>
#include <sys/stat.h>

namespace {

const int kUmountTimeoutMs = 60000;

struct MountLine {
    QString source;
    QString directory;
};

QList<MountLine> systemMounts()
{
    QList<MountLine> lines;
    FILE* file = setmntent(systemPaths().mountTable.c_str(), "re");
    if (!file)
        return lines;
    mntent entry;
    char buffer[4096];
    while (getmntent_r(file, &entry, buffer, sizeof buffer))
        lines.append({QFile::decodeName(entry.mnt_fsname), QFile::decodeName(entry.mnt_dir)});
    endmntent(file);
    return lines;
}

QString canonical(const QString& path)
{
    char resolved[PATH_MAX];
    if (realpath(QFile::encodeName(path).constData(), resolved))
        return QFile::decodeName(resolved);
    return path;
}

bool blockDeviceNumber(const QString& path, dev_t* number)
{
    struct stat st {};
    if (stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISBLK(st.st_mode))
        return false;
    *number = st.st_rdev;
    return true;
}

bool holds(const QString& directory, const QString& path)
{
    if (directory == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == directory || path.startsWith(directory + QLatin1Char('/'));
}

}  // namespace

namespace RestoreTarget {

bool sameDevice(const QString& first, const QString& second)
{
    if (first.isEmpty() || second.isEmpty())
        return false;
    if (first == second || canonical(first) == canonical(second))
        return true;
    dev_t a = 0;
    dev_t b = 0;
    return blockDeviceNumber(first, &a) && blockDeviceNumber(second, &b) && a == b;
}

QString sourceHoldingPath(const QString& path)
{
    const QString file = canonical(path);
    QString source;
    int longest = -1;
    // A later line stacks on an earlier one on the same directory.
    for (const MountLine& line : systemMounts()) {
        if (holds(line.directory, file) && line.directory.size() >= longest) {
            longest = line.directory.size();
            source = line.source;
        }
    }
    return source;
}

QStringList mountDirectoriesOf(const QString& device)
{
    QStringList directories;
    for (const MountLine& line : systemMounts()) {
        if (line.source.startsWith(QLatin1Char('/')) && sameDevice(line.source, device))
            directories.prepend(line.directory);
    }
    return directories;
}

namespace {

// Ends the console table's uses of every mount of `device`; the sources
// of those mounts as the table names them.
QList<QByteArray> unmountTableUses(const QString& device)
{
    MountTable* table = MountTable::instance();
    QList<QByteArray> sources;
    for (const MountLine& line : systemMounts()) {
        if (!line.source.startsWith(QLatin1Char('/')) || !sameDevice(line.source, device))
            continue;
        const QByteArray source = QFile::encodeName(line.source);
        sources.append(source);
        for (int uses = table->users(source.constData()); uses > 0; --uses) {
            if (!table->unmount(source.constData()))
                break;
        }
    }
    return sources;
}

}  // namespace

bool unmountConsoleMounts(const QString& device)
{
    unmountTableUses(device);
    return mountDirectoriesOf(device).isEmpty();
}

bool unmountAll(const QString& device)
{
    MountTable* table = MountTable::instance();
    const QList<QByteArray> sources = unmountTableUses(device);
    for (const QString& directory : mountDirectoriesOf(device)) {
        ExternalCommand umount(QStringLiteral("umount"), {directory});
        umount.execute(kUmountTimeoutMs);
    }
    // A mount the table kept after a failed unmount is gone now: let the
    // table forget it, or it would hand out the bare directory again.
    for (const QByteArray& source : sources) {
        const char* directory = table->mountedDirectory(source.constData());
        if (directory && !MountTable::isMountOf(directory, source.constData()))
            table->unmount(source.constData());
    }
    return mountDirectoriesOf(device).isEmpty();
}

}  // namespace RestoreTarget
