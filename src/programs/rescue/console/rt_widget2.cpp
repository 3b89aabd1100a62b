#include "programs/rescue/console/rt_widget2.h"

#include "wizard/page_style.h"
#include "wizard/tree_item.h"
#include "storage_ui/tree_model.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>

RtWidget2::RtWidget2(QWidget* parent) : QWidget(parent)
{
    setFixedSize(PageStyle::kPageWidth, PageStyle::kPageHeight);
    m_titleLabel = new QLabel(tr("Select a partition to restore"), this);
    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_titleLabel->setStyleSheet(PageStyle::titleStyle());
    m_titleLabel->setGeometry(10, 5, 510, 32);

    m_model = new TreeModel(this);
    m_treeView = new QTreeView(this);
    m_treeView->setObjectName(QStringLiteral("treeView"));
    m_treeView->setAccessibleName(tr("Select a partition to restore"));
    m_treeView->setStyleSheet(PageStyle::treeStyle());
    m_treeView->setGeometry(10, 45, 510, 332);
    m_treeView->setModel(m_model);
    m_treeView->setItemsExpandable(true);
    PageStyle::fitPartitionColumns(m_treeView->header());
    connect(m_treeView, &QTreeView::pressed, this, &RtWidget2::treeViewPress);
    // A probe rebuilds the rows and the view drops its expanded state.
    connect(m_model, &QAbstractItemModel::modelReset, this, &RtWidget2::expandRows);
}

void RtWidget2::treeViewPress(const QModelIndex& index)
{
    m_targetPath.clear();
    const Qt::MouseButtons buttons = QApplication::mouseButtons();
    if (buttons != Qt::LeftButton && buttons != Qt::RightButton)
        return;
    const auto* item = index.isValid() ? static_cast<const TreeItem*>(index.internalPointer()) : nullptr;
    if (item && (item->type == TreeItem::DiskPartition || item->type == TreeItem::UsbDiskPartition))
        m_targetPath = item->path;
}

void RtWidget2::expandRows()
{
    m_treeView->expandAll();
}
