// One row of a partition tree: the root, a disk or a partition.
#ifndef WIZARD_TREE_ITEM_H
#define WIZARD_TREE_ITEM_H

#include <QAbstractItemModel>
#include <QFileIconProvider>
#include <QList>
#include <QString>
#include <QVariant>
#include <cstdint>

class TreeItem {
public:
    enum Type {
        Root = 0,
        Disk = 1,
        UsbDisk = 2,
        DiskPartition = 3,
        UsbDiskPartition = 4,
    };

    explicit TreeItem(const QList<QVariant>& columns, TreeItem* parent = nullptr);
    ~TreeItem();
    TreeItem(const TreeItem&) = delete;
    TreeItem& operator=(const TreeItem&) = delete;

    TreeItem* child(int row) const;
    int childCount() const;
    int columnCount() const;
    QVariant data(int column) const;
    TreeItem* parent() const;
    int row() const;                   // -1 for the root
    void appendChild(TreeItem* item);  // takes ownership
    void deleteChildren();

    QList<TreeItem*> children;
    QList<QVariant> columns;
    TreeItem* parentItem;
    int type = Root;
    QString path;
    // Disk row: its place among the listed disks; partition row: the number
    // at the end of its device path.
    int number = 0;
    char letter = '0';  // partition row: drive letter; '0' for other rows
    QString text;       // disk row: model; partition row: label
    uint64_t startSector = 0;
    uint64_t sectorCount = 0;
    uint64_t usedBytes = 0;
    // Partition row: a restore began there and never finished.
    bool unfinishedRestore = false;
    int partitionCount = 0;  // disk row: all its partitions, lettered or not
    bool isSystem = false;   // partition row of the running Windows (desktop tree)
};

// The walk of a tree of TreeItem rows shared by the console's and the
// desktop's partition models: the root's columns are the header, a row
// shows its columns, a partition row a drive icon in column 0. The models
// fill the root and its rows.
class TreeItemModel : public QAbstractItemModel {
    Q_OBJECT

public:
    ~TreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static bool isPartitionRow(const TreeItem* item);
    // The row item of an index (the root for an invalid one).
    TreeItem* itemFor(const QModelIndex& index) const;

protected:
    explicit TreeItemModel(QObject* parent) : QAbstractItemModel(parent) {}

    TreeItem* m_root = nullptr;  // owned; set by the derived model
    QFileIconProvider m_iconProvider;
};

#endif
