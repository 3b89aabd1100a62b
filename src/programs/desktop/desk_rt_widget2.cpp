#include "programs/desktop/desk_rt_widget2.h"

#include "programs/desktop/desk_tree_model.h"
#include "jobs/drive_name_text.h"
#include "jobs/job_messages.h"
#include "wizard/page_style.h"

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
    m_diskBytes = row->parent() ? row->parent()->sectorCount * 512 : 0;
    m_targetBytes = row->sectorCount * 512;
    // The name column holds the label and the drive as every list names
    // them; the questions name the drive apart.
    m_label = row->data(1).toString();
    const QString drive = driveNameText(QString(), row->letter);
    if (m_label == drive)
        m_label.clear();
    else if (m_label.endsWith(QLatin1Char(' ') + drive))
        m_label.chop(drive.size() + 1);
    qDebug() << "dst dev path: " << m_targetPath;
}

QString RtWidget2::partitionText() const
{
    const char letter = m_targetPath.isEmpty() ? ' ' : m_targetPath.at(0).toLatin1();
    return JobMessages::partitionName(letter, m_label, m_targetBytes);
}

QString RtWidget2::diskNameText() const
{
    return JobMessages::diskName(m_diskText, m_diskBytes);
}

}  // namespace desk
