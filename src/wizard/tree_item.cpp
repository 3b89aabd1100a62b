#include "wizard/tree_item.h"

TreeItem::TreeItem(const QList<QVariant>& columns, TreeItem* parent) : columns(columns), parentItem(parent)
{}

TreeItem::~TreeItem()
{
    deleteChildren();
}

TreeItem* TreeItem::child(int row) const
{
    return row >= 0 && row < children.size() ? children.at(row) : nullptr;
}

int TreeItem::childCount() const
{
    return children.size();
}

int TreeItem::columnCount() const
{
    return columns.size();
}

QVariant TreeItem::data(int column) const
{
    return column >= 0 && column < columns.size() ? columns.at(column) : QVariant();
}

TreeItem* TreeItem::parent() const
{
    return parentItem;
}

int TreeItem::row() const
{
    if (!parentItem)
        return -1;
    return parentItem->children.indexOf(const_cast<TreeItem*>(this));
}

void TreeItem::appendChild(TreeItem* item)
{
    item->parentItem = this;
    children.append(item);
}

void TreeItem::deleteChildren()
{
    qDeleteAll(children);
    children.clear();
}

TreeItemModel::~TreeItemModel()
{
    delete m_root;
}

TreeItem* TreeItemModel::itemFor(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<TreeItem*>(index.internalPointer()) : m_root;
}

QModelIndex TreeItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return QModelIndex();
    TreeItem* child = itemFor(parent)->child(row);
    if (!child || column < 0 || column >= m_root->columnCount())
        return QModelIndex();
    return createIndex(row, column, child);
}

QModelIndex TreeItemModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return QModelIndex();
    TreeItem* parentItem = itemFor(index)->parent();
    if (!parentItem || parentItem == m_root)
        return QModelIndex();
    return createIndex(parentItem->row(), 0, parentItem);
}

int TreeItemModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return itemFor(parent)->childCount();
}

int TreeItemModel::columnCount(const QModelIndex& parent) const
{
    return itemFor(parent)->columnCount();
}

bool TreeItemModel::isPartitionRow(const TreeItem* item)
{
    return item && (item->type == TreeItem::DiskPartition || item->type == TreeItem::UsbDiskPartition);
}

QVariant TreeItemModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const TreeItem* item = itemFor(index);
    if (role == Qt::DisplayRole)
        return item->data(index.column());
    if (role == Qt::DecorationRole && index.column() == 0 && isPartitionRow(item))
        return m_iconProvider.icon(QFileIconProvider::Drive);
    return QVariant();
}

QVariant TreeItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_root->data(section);
    return QVariant();
}

Qt::ItemFlags TreeItemModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}
