#include "desk_rt_widget2.h"

#include "desk_tree_model.h"
#include "page_style.h"

#include <QApplication>
#include <QDebug>
#include <QHeaderView>
#include <QTreeView>

namespace desk {

RtWidget2::RtWidget2(QWidget* parent) : QWidget(parent)
{
    resize(PageStyle::kPageWidth, PageStyle::kPageHeight);
    PageStyle::newTitle(this, tr("Select a partition to restore"));
    m_model = new TreeModel();
    m_treeView = newPartitionTreeView(this, m_model);
    m_treeView->setAccessibleName(tr("Partition to restore"));
    connect(m_treeView, &QTreeView::pressed, this, &RtWidget2::treeViewPress);
}

RtWidget2::~RtWidget2()
{
    delete m_model;
}

void RtWidget2::treeViewPress(const QModelIndex& index)
{
    const Qt::MouseButtons buttons = QApplication::mouseButtons();
    if (buttons != Qt::LeftButton && buttons != Qt::RightButton) {
        m_targetPath.clear();
        m_diskText.clear();
        return;
    }
    const TreeItem* row = m_model->itemFor(index);
    if (!index.isValid() || !TreeModel::isPartitionRow(row)) {
        m_targetPath.clear();
        return;
    }
    m_targetPath = QString(QChar::fromLatin1(row->letter));
    m_isSystem = row->isSystem;
    m_diskText = row->parent() ? row->parent()->text : QString();
    qDebug() << "dst dev path: " << m_targetPath;
}

}  // namespace desk
