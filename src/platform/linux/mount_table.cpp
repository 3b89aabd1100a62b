#include "platform/linux/mount_table.h"

#include "platform/linux/cifs_credentials.h"
#include "platform/linux/errno_text.h"
#include "platform/linux/system_paths.h"

#include <QDebug>
#include <QVector>

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mntent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef ENOMEDIUM
#define ENOMEDIUM 123
#endif

namespace {

bool startsWithNoCase(const char* text, const char* prefix)
{
    return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

bool isSmbType(const char* fsType)
{
    return fsType && (strcasecmp(fsType, "cifs") == 0 || strcasecmp(fsType, "smbfs") == 0);
}

// "smb://srv/share" and "//srv/share" name the same share.
QString withoutSmbScheme(const char* source)
{
    const char* rest = startsWithNoCase(source, "smb:") ? source + 4 : source;
    return QString::fromUtf8(rest);
}

QString keyFor(const char* source, const char* fsType)
{
    return isSmbType(fsType) ? withoutSmbScheme(source) : QString::fromUtf8(source);
}

QByteArray directoryFor(const char* source, const char* fsType)
{
    QByteArray name;
    if (isSmbType(fsType)) {
        const char* rest = source;
        if (startsWithNoCase(rest, "smb://"))
            rest += 6;
        else if (std::strncmp(rest, "//", 2) == 0)
            rest += 2;
        name = QByteArray(rest).replace('/', '_');
    } else {
        const char* slash = std::strrchr(source, '/');
        name = QByteArray(slash ? slash + 1 : source);
    }
    return QByteArray(systemPaths().mountBase.c_str()) + '/' + name;
}

// The outcome of a helper program: 0, or the error number (its exit status,
// or the error of a failed fork or wait; EINTR stands for a signal).
int runProgram(const QVector<QByteArray>& arguments, const char* extraEnvironment)
{
    // Everything the child needs is built before the fork: between fork and
    // exec a copy of a threaded process may not allocate.
    QVector<char*> argv;
    for (const QByteArray& argument : arguments)
        argv << const_cast<char*>(argument.constData());
    argv << nullptr;
    QVector<char*> envp;
    if (extraEnvironment)
        envp << const_cast<char*>(extraEnvironment);  // first, so that it wins
    for (char** variable = environ; *variable; ++variable)
        envp << *variable;
    envp << nullptr;

    const pid_t child = fork();
    if (child < 0)
        return errno;
    if (child == 0) {
        execvpe(argv[0], argv.data(), envp.data());
        // Never return into the parent's code from a forked copy.
        _exit(errno > 0 && errno < 256 ? errno : 127);
    }
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited < 0)
        return errno;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return EINTR;
}

// Whether the mount table file lists a mount on the directory (a canonical
// path, as the kernel lists them).
bool tableListsMountOn(const std::string& tableFile, const char* directory)
{
    FILE* file = setmntent(tableFile.c_str(), "re");
    if (!file)
        return false;
    bool listed = false;
    mntent entry;
    char line[4096];  // overlay mounts list long options
    while (!listed && getmntent_r(file, &entry, line, sizeof line))
        listed = std::strcmp(entry.mnt_dir, directory) == 0;
    endmntent(file);
    return listed;
}

// Whether anything is mounted on the directory right now, by whomever. The
// configured table may be a file that lags behind; the kernel's own list of
// this process's mounts does not, and it is read even when the other system
// paths point at fake trees: a real mount on the folder is real all the same.
bool isMountPoint(const QByteArray& directory)
{
    char canonical[PATH_MAX];
    if (!realpath(directory.constData(), canonical))
        return false;  // no such folder: nothing can be mounted there
    return tableListsMountOn(systemPaths().mountTable, canonical) ||
           tableListsMountOn("/proc/self/mounts", canonical);
}

// Whether a mount on the path would hide or miss something: it holds a file
// that is not a folder (a link would lead the mount elsewhere), or a folder
// with entries or one that cannot be read. A path that cannot be examined
// at all holds nothing; making the folder there fails and says why.
bool holdsSomething(const QByteArray& path)
{
    struct stat status;
    if (lstat(path.constData(), &status) != 0)
        return false;
    if (!S_ISDIR(status.st_mode))
        return true;
    DIR* folder = opendir(path.constData());
    if (!folder)
        return true;
    bool found = false;
    while (!found) {
        const dirent* entry = readdir(folder);
        if (!entry)
            break;
        found = std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0;
    }
    closedir(folder);
    return found;
}

// Names in UTF-8, and no access times: browsing a partition that is to be
// backed up must not rewrite the records of every file it reads (an NTFS
// incremental would then see changes everywhere).
const char kLocalOptions[] = "utf8,noatime";

int runMountHelper(const char* source, const char* directory, const char* type, const char* options,
                   const char* extraEnvironment)
{
    const QByteArray program =
        strcasecmp(type, "vfat") == 0 ? QByteArray("mount") : QByteArray("mount.") + type;
    QVector<QByteArray> arguments{program, source, directory};
    if (options)
        arguments << "-o" << options;
    return runProgram(arguments, extraEnvironment);
}

int defaultSystemMount(const char* source, const char* target, const char* type, unsigned long flags,
                       const void* data)
{
    return ::mount(source, target, type, flags, data);
}

}  // namespace

MountTable* MountTable::instance()
{
    // Freed at exit without unmounting anything: mounts the console made
    // outlive it only when it ends without giving them back.
    static MountTable* table = new MountTable;
    return table;
}

MountTable::MountTable() : m_systemMount(defaultSystemMount)
{
    readSystemMounts();
}

MountTable::~MountTable() = default;

void MountTable::setSystemMount(SystemMount systemMount)
{
    m_systemMount = systemMount ? std::move(systemMount) : SystemMount(defaultSystemMount);
}

void MountTable::readSystemMounts()
{
    // Without a readable mount table the table starts empty.
    FILE* file = setmntent(systemPaths().mountTable.c_str(), "re");
    if (!file)
        return;
    mntent entry;
    char line[1024];
    while (getmntent_r(file, &entry, line, sizeof line)) {
        const QString key = QString::fromUtf8(entry.mnt_fsname);
        if (m_entries.contains(key))
            continue;
        Entry known;
        known.directory = entry.mnt_dir;
        m_entries.insert(key, known);
    }
    endmntent(file);
}

const char* MountTable::mount(const char* source, const char* fsType, const char* user, const char* password)
{
    if (!source || !*source)
        return nullptr;
    const QString key = keyFor(source, fsType);
    auto known = m_entries.find(key);
    if (known != m_entries.end() && !outsideMountGone(key, *known)) {
        if (known->ours)
            ++known->users;
        return known->directory.constData();
    }
    if (known != m_entries.end())
        m_entries.erase(known);  // unmounted behind the table's back: mount afresh

    const QByteArray wanted = directoryFor(source, fsType);
    const QByteArray name = wanted.mid(wanted.lastIndexOf('/') + 1);
    if (name.isEmpty() || name == "." || name == "..") {
        // "/dev/" or "smb://..": the mount would cover the base or its parent.
        qCritical("Unable to mount %s to %s, errno=%d, %s", source, wanted.constData(), EINVAL,
                  qPrintable(errnoText(EINVAL)));
        return nullptr;
    }
    const QByteArray directory = freeDirectory(wanted);
    if (directory.isEmpty()) {
        // Every folder of the name is taken: mounting over one would hide
        // what is there.
        qCritical("Unable to mount %s to %s, errno=%d, %s", source, wanted.constData(), EBUSY,
                  qPrintable(errnoText(EBUSY)));
        return nullptr;
    }
    if (mkdir(directory.constData(), 0755) != 0 && errno != EEXIST) {
        const int error = errno;
        qCritical("Unable to create directory to %s, errno=%d, %s", directory.constData(), error,
                  qPrintable(errnoText(error)));
        return nullptr;
    }

    if (fsType) {
        QByteArray type;
        QByteArray options;
        QByteArray helperSource = source;
        // Credentials travel in a file of mode 0600 that mount.cifs reads
        // (credentials=), removed once the helper ended: in the options the
        // password would show in every process listing, and a comma in a
        // name or password would start further options.
        CifsCredentialsFile credentials;
        if (isSmbType(fsType)) {
            type = "cifs";
            helperSource = withoutSmbScheme(source).toUtf8();
            if (!user) {
                options = "user=guest%";
            } else if (credentials.write(user, password ? password : "")) {
                options = credentials.mountOption();
            } else {
                const int error = errno;
                qCritical("Unable to mount %s (%s) to %s, errno=%d, %s", source, fsType,
                          directory.constData(), error, qPrintable(errnoText(error)));
                return nullptr;
            }
        } else if (startsWithNoCase(fsType, "fat") || strcasecmp(fsType, "msdos") == 0) {
            type = "vfat";
            options = kLocalOptions;
        } else {
            type = QByteArray(fsType).left(127);
            if (strcasecmp(fsType, "ntfs") == 0)
                options = kLocalOptions;
        }
        const int error = runMountHelper(helperSource.constData(), directory.constData(), type.constData(),
                                         options.isEmpty() ? nullptr : options.constData(), nullptr);
        if (error != 0) {
            qCritical("Unable to mount %s (%s) to %s, errno=%d, %s", source, fsType, directory.constData(),
                      error, qPrintable(errnoText(error)));
            return nullptr;
        }
    } else if (mountOpticalDisc(source, directory.constData()) != 0) {
        return nullptr;
    }

    Entry mounted;
    mounted.directory = directory;
    mounted.ours = true;
    mounted.users = 1;
    return m_entries.insert(key, mounted)->directory.constData();
}

QByteArray MountTable::freeDirectory(const QByteArray& wanted) const
{
    for (int suffix = 0; suffix <= kMaxDirectorySuffix; ++suffix) {
        const QByteArray candidate = suffix == 0 ? wanted : wanted + '_' + QByteArray::number(suffix);
        bool known = false;
        for (const Entry& entry : qAsConst(m_entries))
            known = known || entry.directory == candidate;
        if (!known && !isMountPoint(candidate) && !holdsSomething(candidate))
            return candidate;
    }
    return QByteArray();
}

int MountTable::mountOpticalDisc(const char* source, const char* directory)
{
    struct Attempt {
        const char* type;
        const char* data;
    };
    static const Attempt attempts[] = {
        {"udf", "utf8"}, {"udf", nullptr}, {"iso9660", "utf8"}, {"iso9660", nullptr}};
    for (const Attempt& attempt : attempts) {
        errno = 0;
        if (m_systemMount(source, directory, attempt.type, MS_RDONLY, attempt.data) == 0)
            return 0;
        const int error = errno;
        if (error == ENOMEDIUM)
            return -1;
        qCritical("Unable to mount %s (%s) to %s, errno=%d, %s", source, attempt.type, directory, error,
                  qPrintable(errnoText(error)));
    }
    return -1;
}

bool MountTable::outsideMountGone(const QString& key, const Entry& entry)
{
    return !entry.ours && !isMountOf(entry.directory.constData(), key.toUtf8().constData());
}

bool MountTable::release(const QString& key)
{
    auto entry = m_entries.find(key);
    if (entry == m_entries.end())
        return true;
    if (!entry->ours) {
        // Never unmounted by the table; forgotten once someone else did.
        if (outsideMountGone(key, *entry))
            m_entries.erase(entry);
        return true;
    }
    if (entry->users > 0)
        --entry->users;
    if (entry->users > 0)
        return true;
    const int error = runProgram({QByteArray("umount"), entry->directory}, nullptr);
    if (error != 0) {
        logFailedCall(QtWarningMsg, QStringLiteral("umount"), QString::fromLocal8Bit(entry->directory),
                      error);
        // Still mounted (busy): keep the entry, so that the next mount of
        // the source reuses it instead of mounting a second time over it.
        // Gone already (unmounted behind our back): forget it.
        if (isMountOf(entry->directory.constData(), key.toUtf8().constData()))
            return false;
    }
    m_entries.erase(entry);
    return true;
}

bool MountTable::unmount(const char* source)
{
    if (!source)
        return true;
    return release(withoutSmbScheme(source));
}

bool MountTable::unmountDirectory(const char* directory)
{
    if (!directory)
        return true;
    for (auto entry = m_entries.constBegin(); entry != m_entries.constEnd(); ++entry) {
        if (entry->directory == directory)
            return release(entry.key());
    }
    return true;
}

const char* MountTable::mountedDirectory(const char* source) const
{
    if (!source)
        return nullptr;
    const QString key = withoutSmbScheme(source);
    auto entry = m_entries.constFind(key);
    if (entry == m_entries.constEnd() || outsideMountGone(key, *entry))
        return nullptr;
    return entry->directory.constData();
}

bool MountTable::retain(const char* source)
{
    if (!source)
        return false;
    const QString key = withoutSmbScheme(source);
    auto entry = m_entries.find(key);
    if (entry == m_entries.end())
        return false;
    if (outsideMountGone(key, *entry)) {
        m_entries.erase(entry);
        return false;
    }
    if (entry->ours)
        ++entry->users;
    return true;
}

int MountTable::users(const char* source) const
{
    if (!source)
        return 0;
    auto entry = m_entries.constFind(withoutSmbScheme(source));
    return entry == m_entries.constEnd() || !entry->ours ? 0 : entry->users;
}

bool MountTable::isMountOf(const char* directory, const char* source)
{
    if (!directory || !source || !*directory || !*source)
        return false;
    FILE* file = setmntent(systemPaths().mountTable.c_str(), "re");
    if (!file)
        return false;
    const QString wanted = withoutSmbScheme(source);
    // The kernel lists directories by their canonical path.
    char canonical[PATH_MAX];
    if (realpath(directory, canonical))
        directory = canonical;
    bool topmostMatches = false;
    mntent entry;
    char line[1024];
    // Later lines stack on earlier ones: the last mount on the directory is
    // the one a write reaches.
    while (getmntent_r(file, &entry, line, sizeof line)) {
        if (std::strcmp(entry.mnt_dir, directory) == 0)
            topmostMatches = QString::fromUtf8(entry.mnt_fsname) == wanted;
    }
    endmntent(file);
    return topmostMatches;
}

bool MountTable::isPathOnMountOf(const QString& path, const char* source) const
{
    const char* directory = mountedDirectory(source);
    if (!directory)
        return false;
    const QString mountDir = QString::fromUtf8(directory);
    if (path != mountDir && !path.startsWith(mountDir + QLatin1Char('/')))
        return false;
    return isMountOf(directory, withoutSmbScheme(source).toUtf8().constData());
}
