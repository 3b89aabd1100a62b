// The tree behind the console's file browser: the places a user can look
// into (lettered partitions, optical drives, the network), mounted when first
// opened, and the directories and files below them, listed on demand.
#ifndef FILESYSTEM_ITEM_H
#define FILESYSTEM_ITEM_H

#include <QDateTime>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <sys/types.h>

#include <functional>

class DeviceProber;
struct PartitionRecord;

class IFilesystemItem {
public:
    // Answers of attribute(TypeKey); distinct bits, so callers may test masks.
    enum ItemType {
        MountPointType = 4,
        DirectoryType = 8,
        FileType = 16,
        NetworkType = 32,
        WorkgroupType = 64,
        ServerType = 128,
        ShareType = 256,
        SmbFileType = 512,
    };
    // Keys of attribute(); a node answers -1 for a key it does not know.
    enum AttributeKey {
        TypeKey = 0,
        DeviceKindKey = 1,  // 0 disk, 2 optical drive, 3 network
        UsbKey = 2,
        RemovableKey = 3,
        DeviceNumberKey = 4,  // low 32 bits of the dev_t
    };
    enum DeviceKind { DiskDevice = 0, OpticalDevice = 2, NetworkDevice = 3 };
    // Forms of path(); empty where a node has no such form.
    enum PathForm {
        WindowsPath = 0,     // D:\backup\disk.bkp
        LocalPath = 1,       // /tmp/sda1/backup/disk.bkp
        DevicePath = 2,      // the place's partition or drive node
        MountDirectory = 3,  // a place: its device path; below a place: the place's mount directory
        DiskDevicePath = 4,  // a place: the node of the disk that holds it
    };

    virtual ~IFilesystemItem() {}
    virtual int attribute(int key) const = 0;
    virtual QString name() const = 0;
    virtual QString path(int form) = 0;
    virtual qint64 size() const = 0;
    virtual QDateTime lastModified() const = 0;
    // Fills the child list, at most once until the node is cleared.
    virtual void populate() = 0;
    virtual void setAccessible(bool accessible) = 0;
    virtual IFilesystemItem* parent() const = 0;
    virtual IFilesystemItem* child(int row) const = 0;
    virtual int childCount() const = 0;
    virtual int indexOf(const IFilesystemItem* child) const = 0;
    virtual bool hasChildren() const = 0;
    virtual int row() const = 0;
    virtual void clearChildren() = 0;
    virtual QString extraText1() const { return QString(); }
    virtual QString extraText2() const { return QString(); }
    virtual QString extraText3() const { return QString(); }
    virtual QString extraText4() const { return QString(); }
    virtual QString extraText5() const { return QString(); }
};

// The child list of a node. A node owns its children: deleting it deletes
// its subtree.
template <typename Item>
class ChildrenImpl : public Item {
public:
    ~ChildrenImpl() override { deleteChildren(); }

    Item* child(int row) const override
    {
        return row >= 0 && row < m_children.size() ? m_children.at(row) : nullptr;
    }
    int childCount() const override { return m_children.size(); }
    int indexOf(const Item* child) const override { return m_children.indexOf(const_cast<Item*>(child)); }

    // Takes the child at a valid row out of the list and deletes it; false
    // for a row outside the list.
    bool removeChildAt(int row)
    {
        if (row < 0 || row >= m_children.size())
            return false;
        delete m_children.takeAt(row);
        return true;
    }

protected:
    void deleteChildren()
    {
        const QList<Item*> children = m_children;
        m_children.clear();
        qDeleteAll(children);
    }

    QList<Item*> m_children;
};

using FilesystemChildren = ChildrenImpl<IFilesystemItem>;

// The name filters as case-insensitive wildcard expressions that match a
// whole name, for nodes that cannot hand the patterns to QDirIterator (SMB
// files). Invalid patterns are left out.
using WildcardFilters = QList<QRegularExpression>;

// The invisible root of one model: one place per lettered partition (and
// optical drive, when asked), sorted by drive letter, then the network node.
class RootFilesystemItem : public FilesystemChildren {
public:
    // Makes the "Network" node that ends the root's list (its type is
    // NetworkType; it keeps `filters`, which the root owns, and `parent`).
    // The SMB layer installs it; without one the root has no network node.
    using NetworkItemFactory =
        std::function<IFilesystemItem*(const WildcardFilters* filters, IFilesystemItem* parent)>;
    static void setNetworkItemFactory(NetworkItemFactory factory);

    // Reads the places from the process's device prober.
    RootFilesystemItem(const QStringList* nameFilters, bool withOpticalDrives);
    // Reads them from another prober (tests).
    RootFilesystemItem(const QStringList* nameFilters, bool withOpticalDrives, DeviceProber* prober);
    ~RootFilesystemItem() override;

    int attribute(int key) const override;
    QString name() const override;
    QString path(int form) override;
    qint64 size() const override;
    QDateTime lastModified() const override;
    void populate() override;
    void setAccessible(bool accessible) override;
    IFilesystemItem* parent() const override;
    bool hasChildren() const override;
    int row() const override;
    void clearChildren() override;

    const QStringList* nameFilters() const { return m_nameFilters; }
    const WildcardFilters* smbFilters() const { return m_smbFilters; }

private:
    const QStringList* m_nameFilters;
    WildcardFilters* m_smbFilters = nullptr;  // null when no valid filter is given
};

// A place: a lettered partition or an optical drive, mounted through the
// mount table when it is first opened.
class MountPointItem : public FilesystemChildren {
public:
    // Copies what it needs from the record and its disk; keeps neither.
    MountPointItem(const PartitionRecord* record, const QStringList* nameFilters, RootFilesystemItem* parent);
    ~MountPointItem() override;

    int attribute(int key) const override;
    QString name() const override;
    QString path(int form) override;
    qint64 size() const override;
    QDateTime lastModified() const override;
    void populate() override;
    void setAccessible(bool accessible) override;
    IFilesystemItem* parent() const override;
    bool hasChildren() const override;
    int row() const override;
    // Deletes the listing and gives the place's use of its mount back.
    void clearChildren() override;

    // Gives the mount back (when this place took one) after deleting the
    // children; the place becomes openable again.
    void unmountIfMounted();

    dev_t deviceNumber() const { return m_rdev; }
    bool isMountedByUs() const { return m_mountedByUs; }
    // The file system's name as the prober found it ("ntfs", "fat32"...).
    QString fsName() const;
    // The bytes not yet in use; -1 when the used space was not measured.
    qint64 freeBytes() const;

    // "DATA (D:)", " (D:)" without a label, "CD ROM (E:)" for an optical drive.
    static QString volumeDisplayName(int kind, const char* label, char letter);

private:
    void releaseMount();

    RootFilesystemItem* m_parent;
    bool m_usb;
    bool m_removable;
    dev_t m_rdev;
    int m_kind;
    char* m_devicePath;
    char* m_fsName;
    char* m_label;
    char* m_diskPath;
    char m_letter;
    quint64 m_capacity;
    quint64 m_usedBytes;
    bool m_populated = false;
    bool m_mountedByUs = false;
    QFileInfo m_mountDir;
    const QStringList* m_nameFilters;
};

// A directory or file below a place.
class FilesystemItem : public FilesystemChildren {
public:
    FilesystemItem(int type, const QFileInfo& info, const QStringList* nameFilters, IFilesystemItem* parent);

    int attribute(int key) const override;
    QString name() const override;
    QString path(int form) override;
    qint64 size() const override;
    QDateTime lastModified() const override;
    void populate() override;
    void setAccessible(bool accessible) override;
    IFilesystemItem* parent() const override;
    bool hasChildren() const override;
    int row() const override;
    void clearChildren() override;

private:
    IFilesystemItem* nearestPlace() const;

    int m_type;
    IFilesystemItem* m_parent;
    const QStringList* m_nameFilters;
    bool m_populated = false;
    QFileInfo m_info;
};

#endif
