// The one process-wide record of what is mounted where: mounts partitions,
// optical discs and SMB shares on directories of their own under the mount
// base (/tmp), hands the directory to whoever asks for the same source
// again, and unmounts when the last user lets go.
//
// Ownership: every successful mount() is one use of its mount; unmount()
// and unmountDirectory() give one use back, and the table unmounts only
// when the last use of a mount it made itself is given back. Mounts that
// existed before the table was created (it starts from the system's mount
// table) are handed out but never unmounted by it, and only while the
// system still lists them.
//
// A new mount never goes over another one, nor over a folder with files:
// when the source's own folder under the base is taken, the next free
// "<name>_1", "<name>_2", ... is used instead.
//
// Sources are device paths, or for SMB "//server/share" with or without a
// leading "smb:". Used from the GUI thread only; no lock.
#ifndef MOUNT_TABLE_H
#define MOUNT_TABLE_H

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

class MountTable {
public:
    // mount(2) as the optical-disc path calls it: 0, or -1 with errno set.
    using SystemMount = std::function<int(const char* source, const char* target, const char* type,
                                          unsigned long flags, const void* data)>;

    // The table of the process, created on first use from the system's
    // mount table file (systemPaths().mountTable).
    static MountTable* instance();

    // A table of its own, read from the system's mount table file now
    // (tests; the console uses instance()).
    MountTable();
    ~MountTable();
    MountTable(const MountTable&) = delete;
    MountTable& operator=(const MountTable&) = delete;

    // Mounts the source (or takes one more use of its existing mount) and
    // returns its directory, or null on failure. A null fsType means an
    // optical disc, mounted read-only through the system call; user and
    // password matter for SMB sources ("cifs" or "smbfs") only. The text
    // belongs to the table and stays valid while the source is mounted.
    const char* mount(const char* source, const char* fsType, const char* user, const char* password);

    // Give one use back. The last use of a mount the table made unmounts it.
    // False only when an unmount was tried and failed: the entry is then
    // kept (the file system is still mounted) and a later mount() of the
    // source reuses it. Unknown sources and directories do nothing.
    bool unmount(const char* source);
    bool unmountDirectory(const char* directory);

    // The directory recorded for the source, or null. Takes no use: a holder
    // that will give a use back must get its directory through mount().
    const char* mountedDirectory(const char* source) const;

    // Takes one more use of the source's mount, so that it stays mounted
    // while a job writes there whatever the browser does (a wizard retains
    // its chosen destination's partition and gives it back when it lets the
    // choice go); false when the table knows no mount of the source. Give it
    // back with unmount().
    bool retain(const char* source);

    // Uses held on the source's mount; 0 for an unknown source and for a
    // mount the table did not make.
    int users(const char* source) const;

    // Whether the system's mount table says right now that `directory` is
    // mounted from `source` (the topmost mount on it). A job checks its
    // destination with this before it writes: after an unplug or an unmount
    // the directory is a plain folder and writing there would fill memory.
    static bool isMountOf(const char* directory, const char* source);
    // Whether `path` (a chosen destination: the source's mount directory or
    // a path below it) lies on the table's mount of `source`, and the system
    // still lists that mount.
    bool isPathOnMountOf(const QString& path, const char* source) const;

    // Replaces the system call of the optical-disc path (tests).
    void setSystemMount(SystemMount systemMount);

private:
    struct Entry {
        QByteArray directory;
        bool ours = false;  // made by this table; only such mounts are unmounted
        int users = 0;      // uses held on a mount of ours
    };

    // How far freeDirectory() looks: "<base>/sdb1", then "sdb1_1" to this.
    static constexpr int kMaxDirectorySuffix = 99;

    void readSystemMounts();
    // The folder for a new mount of a source whose own folder is `wanted`:
    // `wanted`, or the first of "wanted_1", "wanted_2", ... that no entry of
    // the table uses, that nothing is mounted on right now and that holds
    // nothing a mount would hide; empty when none is free. Never a folder
    // another mount occupies: a mount stacked on it would hide its files.
    QByteArray freeDirectory(const QByteArray& wanted) const;
    // Whether a mount that existed before the table (never made by it) is
    // no longer listed by the system: its directory is a plain folder now,
    // and handing it out would let a job write into the rescue system's
    // memory.
    static bool outsideMountGone(const QString& key, const Entry& entry);
    bool release(const QString& key);
    int mountOpticalDisc(const char* source, const char* directory);

    QHash<QString, Entry> m_entries;
    SystemMount m_systemMount;
};

#endif
