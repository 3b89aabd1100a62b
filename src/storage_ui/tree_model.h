// The prober's disks and their lettered partitions as a two-level tree of
// six columns, rebuilt after every full probe.
#ifndef STORAGE_UI_TREE_MODEL_H
#define STORAGE_UI_TREE_MODEL_H

#include "wizard/tree_item.h"

#include <QAbstractItemModel>
#include <sys/types.h>

class DeviceProber;
struct DiskRecord;
struct PartitionRecord;

class TreeModel : public TreeItemModel {
    Q_OBJECT

public:
    enum Column { IconColumn, NameColumn, FlagsColumn, CapacityColumn, UsedColumn, TypeColumn };

    explicit TreeModel(QObject* parent = nullptr);
    // Shows another prober's list (tests).
    TreeModel(DeviceProber* prober, QObject* parent);
    ~TreeModel() override;

    // Lists every partition of the disks, also those with no file system
    // the wizards back up (a clone may write onto any partition), and
    // reads the list again.
    void setListsEveryPartition(bool every);

signals:
    void rowCountChanged();

public slots:
    void addDisk(dev_t device);
    void addPartition(dev_t device);
    void refresh();

private:
    TreeItem* newDiskItem(const DiskRecord& disk, int number) const;
    bool isListed(const PartitionRecord& part) const;
    TreeItem* newPartitionItem(const PartitionRecord& part) const;
    void rebuild();

    DeviceProber* m_prober;
    bool m_listsEveryPartition = false;
};

#endif
