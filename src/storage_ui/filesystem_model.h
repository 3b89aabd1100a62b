// The file browser's item model: places, directories, files and network
// nodes of the item tree in four columns, with the chosen node's paths, type
// and device in custom roles. The whole tree is rebuilt after every full
// device probe.
#ifndef STORAGE_UI_FILESYSTEM_MODEL_H
#define STORAGE_UI_FILESYSTEM_MODEL_H

#include <QAbstractItemModel>
#include <QFileIconProvider>
#include <QStringList>
#include <sys/types.h>

class DeviceProber;
class IFilesystemItem;
class MountPointItem;
class RootFilesystemItem;

class FilesystemModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Role {
        WindowsPathRole = Qt::UserRole + 1,  // QString: D:\backup\a.bkp, or a UNC path
        PathRole,                            // QString: the local path
        DevicePathRole,                      // QString: the device of the place
        MountDirRole,                        // QString: the place's mount directory
        ItemTypeRole,                        // int: IFilesystemItem::ItemType
        DeviceKindRole,                      // int: 0 disk, 2 optical drive, 3 network
        DeviceNumberRole,                    // int: low 32 bits of the device number
    };
    // A place shows its file system, its size and its free space; a file its
    // size, in the same size text as every other list of the programs.
    enum Column { NameColumn, TypeColumn, SizeColumn, FreeColumn, ColumnCount };

    // Lists the places of the process's device prober; nameFilters (copied,
    // may be null) limit the files shown.
    FilesystemModel(QObject* parent, const QStringList* nameFilters, bool withOpticalDrives);
    // Lists another prober's places (tests).
    FilesystemModel(QObject* parent, const QStringList* nameFilters, bool withOpticalDrives,
                    DeviceProber* prober);
    ~FilesystemModel() override;

    const QStringList* nameFilters() const { return m_nameFilters; }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Removes exactly the rows asked for. Below a place whose rows all go,
    // the place also gives its mount back.
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // The place of a device, or null.
    MountPointItem* findMountPointItem(dev_t device) const;
    void setItemAccessible(dev_t device, bool accessible);

public slots:
    void refresh();

protected slots:
    // Before an eject: drops the place's listing, gives its mount back and
    // closes it.
    void umountPartition(dev_t device);
    // An optical drive's status: 0 to 3 close its place, 4 (disc ready)
    // reopens it.
    void changeODDItem(dev_t device, int status);

private:
    // The file system, size or free space of a place, by column.
    static QVariant placeText(const MountPointItem& place, int column);
    IFilesystemItem* itemFor(const QModelIndex& index) const;
    QModelIndex indexOfPlace(MountPointItem* place) const;

    QStringList* m_nameFilters = nullptr;
    QFileIconProvider m_iconProvider;
    RootFilesystemItem* m_root = nullptr;
    bool m_withOpticalDrives;
    DeviceProber* m_prober;
};

#endif
