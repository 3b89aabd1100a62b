// The desktop's tree of disks and their lettered partitions, built once
// from the disk inventory (CVetra). Same columns and rows as the console's
// partition tree; the partition of the running Windows is drawn in red.
#ifndef DESK_TREE_MODEL_H
#define DESK_TREE_MODEL_H

#include "wizard/tree_item.h"

#include <QAbstractItemModel>

#include <cstdint>

struct _DiskInfo;
class QTreeView;
class QWidget;

namespace desk {

class TreeModel;

// A wizard page's partition tree below its title, all rows expanded, on
// `model`, which the page owns; a tree without partitions says why in it.
QTreeView* newPartitionTreeView(QWidget* page, TreeModel* model);

class TreeModel : public TreeItemModel {
    Q_OBJECT

public:
    enum Column { IconColumn, NameColumn, FlagsColumn, CapacityColumn, UsedColumn, TypeColumn };

    explicit TreeModel(QObject* parent = nullptr);
    ~TreeModel() override;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Why the tree holds no partition row (no disk at all, or disks whose
    // partitions the system did not report); empty when it holds one.
    QString emptyReason() const;

signals:
    void rowCountChanged();

public slots:
    // Nothing on this platform reports device events.
    void addDisk(uint32_t) {}
    void addPartition(uint32_t) {}
    void refresh();

private:
    void setupModelData(const _DiskInfo* disks);
};

}  // namespace desk

#endif
