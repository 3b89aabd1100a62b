#include "programs/rescue/console/bk_widget1.h"

#include "wizard/base_msg_dlg.h"
#include "platform/linux/device_prober.h"
#include "wizard/page_style.h"
#include "wizard/tree_item.h"
#include "storage_ui/tree_model.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTreeView>

BkWidget1::BkWidget1(QWidget* parent) : QWidget(parent)
{
    resize(PageStyle::kPageWidth, PageStyle::kPageHeight);
    PageStyle::newTitle(this, tr("Partitions to back up"));
    m_model = new TreeModel(nullptr);
    m_treeView = new QTreeView(this);
    m_treeView->setObjectName(QStringLiteral("partitionTree"));
    m_treeView->setAccessibleName(tr("Partition to back up"));
    m_treeView->setStyleSheet(PageStyle::treeStyle());
    m_treeView->setGeometry(10, 45, PageStyle::kPageWidth - 20, PageStyle::kPageHeight - 55);
    m_treeView->setModel(m_model);
    m_treeView->setItemsExpandable(true);
    PageStyle::fitPartitionColumns(m_treeView->header());
    m_treeView->viewport()->installEventFilter(this);
    // Rows come back after every probe; show them opened like the first time.
    connect(m_model, &QAbstractItemModel::modelReset, m_treeView, &QTreeView::expandAll);
    connect(m_treeView, &QTreeView::pressed, this, &BkWidget1::treeViewPress);
}

BkWidget1::~BkWidget1()
{
    m_treeView->setModel(nullptr);
    delete m_model;
}

bool BkWidget1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_treeView->viewport() && event->type() == QEvent::MouseButtonPress)
        m_pressButtons = static_cast<QMouseEvent*>(event)->buttons();
    return QWidget::eventFilter(watched, event);
}

void BkWidget1::treeViewPress(const QModelIndex& index)
{
    if (m_pressButtons != Qt::LeftButton && m_pressButtons != Qt::RightButton) {
        m_partPath.clear();
        m_diskPath.clear();
        return;
    }
    const TreeItem* row = static_cast<const TreeItem*>(index.internalPointer());
    if (!index.isValid() || !row ||
        (row->type != TreeItem::DiskPartition && row->type != TreeItem::UsbDiskPartition)) {
        m_partPath.clear();
        m_diskPath.clear();
        return;
    }
    if (row->unfinishedRestore) {
        refuse(
            tr("This partition holds an unfinished restore, not a file system: restore it again before you "
               "back it up."));
        return;
    }
    m_partPath = row->path;
    m_diskPath = row->parentItem ? row->parentItem->path : QString();
    if (buildHeadInfo(*DeviceProber::instance(), row, &m_headInfo) != 0) {
        refuse(tr("Get partition information failed!"));
        return;
    }
    m_fsCode = m_headInfo.fsCode;
    m_usedBytes = m_headInfo.usedBytes;
    m_partBytes = m_headInfo.partBytes;
    m_active = m_headInfo.active;
    m_letter = m_headInfo.letter;
    switch (m_fsCode) {
    case 4:
        emit partTypeSig(0);
        break;
    case 3:
        emit partTypeSig(1);
        break;
    case 2:
        refuse(tr("FAT16 partitions are not supported!"));
        break;
    default:
        break;  // the choice stands; the engine refuses it when the job starts
    }
}

void BkWidget1::refuse(const QString& text)
{
    m_partPath.clear();
    m_diskPath.clear();
    BaseMsgDlg box(tr("Error"), text, QStringLiteral(":images/MsgIcon_Stop.png"), this, true, false);
    box.exec();
}
