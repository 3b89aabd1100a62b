// Finds rows of the console's partition trees the way the wizard drivers
// point at them: by the device path of the row's item.
#ifndef TESTS_CONSOLE_TREE_ROWS_H
#define TESTS_CONSOLE_TREE_ROWS_H

#include "wizard/tree_item.h"

#include <QAbstractItemModel>
#include <QString>

namespace consoletest {

// The row of a partition (or disk) in a partition tree, by device path.
inline QModelIndex rowOf(const QAbstractItemModel& model, const QString& path,
                         const QModelIndex& parent = QModelIndex())
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        const TreeItem* item = static_cast<const TreeItem*>(index.internalPointer());
        if (item && item->path == path)
            return index;
        const QModelIndex below = rowOf(model, path, index);
        if (below.isValid())
            return below;
    }
    return QModelIndex();
}

}  // namespace consoletest

#endif
