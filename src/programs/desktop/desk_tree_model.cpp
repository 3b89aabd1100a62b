#include "programs/desktop/desk_tree_model.h"

#include "jobs/drive_name_text.h"
#include "programs/desktop/desk_paths.h"
#include "platform/vetra/disk_info.h"
#include "wizard/page_style.h"
#include "jobs/size_text.h"
#include "platform/vetra/vetra.h"

#include <QBrush>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>

namespace desk {

QTreeView* newPartitionTreeView(QWidget* page, TreeModel* model)
{
    QTreeView* view = new QTreeView(page);
    view->setGeometry(10, 45, PageStyle::kPageWidth - 20, PageStyle::kPageHeight - 55);
    view->setItemsExpandable(true);
    // The console's tree font: six columns fit the page.
    view->setStyleSheet(PageStyle::treeStyle());
    PageStyle::fitPartitionColumns(view->header());
    view->setModel(model);
    view->expandAll();
    auto* reason = new QLabel(view->viewport());
    reason->setObjectName(QStringLiteral("emptyReason"));
    reason->setWordWrap(true);
    reason->setAlignment(Qt::AlignCenter);
    reason->setGeometry(20, 70, view->width() - 40, 120);
    auto showReason = [model, reason] {
        reason->setText(model->emptyReason());
        reason->setVisible(!reason->text().isEmpty());
    };
    showReason();
    QObject::connect(model, &TreeModel::rowCountChanged, reason, showReason);
    return view;
}

namespace {

QString flagsText(const _PartInfo& part)
{
    if (part.Active) {
        if (part.Kind == kPartitionPrimary)
            return TreeModel::tr("Pri,Act");
        if (part.Kind == kPartitionLogical)
            return TreeModel::tr("Logic,Act");
        return TreeModel::tr("Act");
    }
    if (part.Kind == kPartitionPrimary)
        return TreeModel::tr("Pri");
    if (part.Kind == kPartitionLogical)
        return TreeModel::tr("Logic");
    return QString();
}

int countPartitions(const _DiskInfo& disk)
{
    int count = 0;
    for (const _PartInfo* part = disk.PartList; part; part = part->Next)
        ++count;
    return count;
}

TreeItem* newDiskItem(const _DiskInfo& disk, int number)
{
    const QString model = fromU16(disk.Model);
    TreeItem* item =
        new TreeItem({TreeModel::tr("Disk %1").arg(number), model, QStringLiteral(" "),
                      formatSize(static_cast<qint64>(disk.Size)), QStringLiteral(" "), QStringLiteral(" ")});
    item->type = disk.MediaType == kMediaRemovable ? TreeItem::UsbDisk : TreeItem::Disk;
    item->path = fromU16(disk.Name);
    item->number = disk.Index;
    item->letter = '0';
    item->text = model;
    item->sectorCount = disk.Size / 512;
    item->partitionCount = countPartitions(disk);
    return item;
}

TreeItem* newPartitionItem(const _DiskInfo& disk, const _PartInfo& part)
{
    const QString label = fromU16(part.Label);
    const QString name = driveNameText(label, part.Letter);
    const QString fsName = QString::fromStdString(part.FsName);
    TreeItem* item = new TreeItem({QStringLiteral(" "), name, flagsText(part),
                                   formatSize(static_cast<qint64>(part.Capacity)),
                                   formatSize(static_cast<qint64>(part.Used)), fsName.toUpper()});
    item->type = disk.MediaType == kMediaRemovable ? TreeItem::UsbDiskPartition : TreeItem::DiskPartition;
    item->path = QStringLiteral(" ");
    item->number = part.LetterIndex;
    item->letter = part.Letter;
    item->text = fsName;
    item->startSector = part.Start / 512;
    item->sectorCount = part.Capacity / 512;
    item->usedBytes = part.Used;
    item->isSystem = part.System != 0;
    return item;
}

}  // namespace

TreeModel::TreeModel(QObject* parent) : TreeItemModel(parent)
{
    m_root = new TreeItem(
        {QStringLiteral(" "), tr("Partition"), tr("Flags"), tr("Capacity"), tr("Used space"), tr("Type")});
    setupModelData(CVetra::instance()->GetVetra());
}

TreeModel::~TreeModel() = default;

void TreeModel::setupModelData(const _DiskInfo* disks)
{
    int number = 0;
    for (const _DiskInfo* disk = disks; disk; disk = disk->Next, ++number) {
        TreeItem* diskItem = newDiskItem(*disk, number);
        for (const _PartInfo* part = disk->PartList; part; part = part->Next) {
            if (part->Letter != 0)
                diskItem->appendChild(newPartitionItem(*disk, *part));
        }
        m_root->appendChild(diskItem);
    }
}

QString TreeModel::emptyReason() const
{
    const int disks = m_root->childCount();
    for (int d = 0; d < disks; ++d) {
        const TreeItem* disk = m_root->child(d);
        for (int p = 0; p < disk->childCount(); ++p) {
            if (isPartitionRow(disk->child(p)))
                return QString();
        }
    }
    if (disks == 0)
        return tr("No partition can be shown: the system reported no disk.");
    return tr("No partition can be shown: the system listed the disks but did not report their partitions "
              "(its answer to the request for their partition layout was an error).");
}

void TreeModel::refresh()
{
    beginResetModel();
    m_root->deleteChildren();
    setupModelData(CVetra::instance()->GetVetra());
    endResetModel();
    emit rowCountChanged();
}

QVariant TreeModel::data(const QModelIndex& index, int role) const
{
    // A dark red: pure red on the trees' white rows stays below 4.5:1.
    if (role == Qt::ForegroundRole && index.isValid() && itemFor(index)->isSystem)
        return QBrush(QColor(0xB0, 0x00, 0x00));
    return TreeItemModel::data(index, role);
}

}  // namespace desk
