#include "tree_item.h"

TreeItem::TreeItem(const QList<QVariant>& columns, TreeItem* parent)
    : columns(columns), parentItem(parent)
{
}

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
