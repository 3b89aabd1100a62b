#include "programs/rescue/console/clone_widgets.h"

#include "platform/linux/device_prober.h"
#include "platform/linux/device_records.h"
#include "programs/rescue/console/image_head_info.h"
#include "jobs/job_messages.h"
#include "wizard/page_style.h"
#include "platform/linux/system_probes.h"
#include "wizard/tree_item.h"
#include "storage_ui/tree_model.h"

#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
#include <QTreeView>

namespace {

const int kPageWidth = 530;
const int kPageHeight = 400;
const char* const kHeadingStyle = "font: 75 16pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);";
const char* const kRowStyle = "font: 75 15pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);";
// Refused rows: grey, yet dark enough to read on the tree's white.
const QColor kRefusedText(96, 96, 96);

const TreeItem* itemOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<const TreeItem*>(index.internalPointer()) : nullptr;
}

// What the prober knows of the partition at `path`.
ClonePartition probedPartition(const QString& path)
{
    ClonePartition partition;
    partition.plan.path = path;
    const QByteArray native = QFile::encodeName(path);
    const DiskList disks = DeviceProber::instance()->snapshot();
    for (const DiskRecord* disk = disks.first(); disk; disk = disk->next) {
        const PartitionRecord* part = findPartitionByPath(disk->partitions, native.constData());
        if (!part)
            continue;
        const quint64 sectorBytes = disk->sectorSize ? disk->sectorSize : 512;
        partition.plan.fsCode =
            ImageHead::fsCodeOfName(QString::fromLatin1(part->fsName ? part->fsName : ""));
        partition.plan.bytes = part->length * sectorBytes;
        partition.plan.usedBytes = part->usedSectors * USED_SECTOR_SIZE;
        partition.plan.unfinishedRestore = part->unfinishedRestore != 0;
        partition.letter = part->letter;
        partition.label = QString::fromUtf8(part->label ? part->label : "");
        break;
    }
    return partition;
}

}  // namespace

ClonePartitionModel::ClonePartitionModel(TreeModel* source, Rule rule, QObject* parent)
    : QIdentityProxyModel(parent), m_rule(std::move(rule))
{
    setSourceModel(source);
    // A probe ended: the rows to come have new figures.
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_partitions.clear(); });
}

bool ClonePartitionModel::partitionAt(const QModelIndex& index, ClonePartition* partition) const
{
    const TreeItem* item = itemOf(index);
    if (!TreeItemModel::isPartitionRow(item))
        return false;
    auto known = m_partitions.constFind(item->path);
    if (known == m_partitions.constEnd())
        known = m_partitions.insert(item->path, probedPartition(item->path));
    *partition = known.value();
    return true;
}

ClonePlan::Verdict ClonePartitionModel::verdictAt(const QModelIndex& index) const
{
    ClonePartition partition;
    if (!partitionAt(index, &partition))
        return ClonePlan::Verdict();
    return m_rule(partition.plan);
}

void ClonePartitionModel::rulesChanged()
{
    rowsChanged(QModelIndex());
}

void ClonePartitionModel::rowsChanged(const QModelIndex& parent)
{
    const int rows = rowCount(parent);
    if (rows == 0)
        return;
    emit dataChanged(index(0, 0, parent), index(rows - 1, columnCount(parent) - 1, parent));
    for (int row = 0; row < rows; ++row)
        rowsChanged(index(row, 0, parent));
}

QVariant ClonePartitionModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::ForegroundRole || role == Qt::ToolTipRole) {
        const ClonePlan::Verdict verdict = verdictAt(index);
        if (!verdict.selectable()) {
            if (role == Qt::ForegroundRole)
                return QBrush(kRefusedText);
            return JobMessages::cloneReason(verdict);
        }
    }
    return QIdentityProxyModel::data(index, role);
}

Qt::ItemFlags ClonePartitionModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QIdentityProxyModel::flags(index);
    if (!verdictAt(index).selectable())
        flags &= ~Qt::ItemIsSelectable;
    return flags;
}

ClonePartitionPage::ClonePartitionPage(const QString& heading, const QString& rowLabel,
                                       ClonePartitionModel::Rule rule, bool everyPartition, QWidget* parent)
    : QWidget(parent)
{
    setWindowTitle(tr("Form"));
    resize(kPageWidth, kPageHeight);

    m_heading = new QLabel(heading, this);
    m_heading->setObjectName(QStringLiteral("headingLabel"));
    m_heading->setStyleSheet(QString::fromLatin1(kHeadingStyle));
    m_heading->setGeometry(10, 5, kPageWidth - 20, 30);

    m_model = new TreeModel(nullptr);
    m_model->setListsEveryPartition(everyPartition);
    m_proxy = new ClonePartitionModel(m_model, std::move(rule), this);
    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("treeView"));
    m_tree->setAccessibleName(heading);
    m_tree->setStyleSheet(PageStyle::treeStyle());
    m_tree->setGeometry(10, 45, kPageWidth - 20, 262);
    m_tree->setItemsExpandable(true);
    m_tree->setModel(m_proxy);
    PageStyle::fitPartitionColumns(m_tree->header());
    m_tree->expandAll();
    connect(m_proxy, &QAbstractItemModel::modelReset, m_tree, &QTreeView::expandAll);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &ClonePartitionPage::checkChoice);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &ClonePartitionPage::showCurrent);

    m_reason = new QLabel(this);
    m_reason->setObjectName(QStringLiteral("reasonLabel"));
    m_reason->setAccessibleName(tr("Why the partition cannot be chosen"));
    m_reason->setStyleSheet(PageStyle::factsStyle());
    m_reason->setWordWrap(true);
    m_reason->setGeometry(10, 309, kPageWidth - 20, 38);

    auto* row = new QLabel(rowLabel, this);
    row->setObjectName(QStringLiteral("rowLabel"));
    row->setStyleSheet(QString::fromLatin1(kRowStyle));
    row->setGeometry(10, 350, 220, 30);

    m_line = new QLineEdit(this);
    m_line->setObjectName(QStringLiteral("lineEdit"));
    m_line->setReadOnly(true);
    m_line->setAccessibleName(rowLabel);
    row->setBuddy(m_line);  // names the field for assistive tools
    m_line->setGeometry(235, 350, kPageWidth - 245, 30);
}

ClonePartitionPage::~ClonePartitionPage()
{
    m_tree->setModel(nullptr);
    delete m_proxy;
    delete m_model;
}

void ClonePartitionPage::showCurrent()
{
    const QModelIndex current = m_tree->currentIndex();
    const QString name = current.sibling(current.row(), TreeModel::NameColumn).data().toString();
    ClonePartition partition;
    m_reason->clear();
    if (!m_proxy->partitionAt(current, &partition)) {
        choose(ClonePartition(), QString());
        return;
    }
    const ClonePlan::Verdict verdict = m_proxy->verdictAt(current);
    if (!verdict.selectable()) {
        m_reason->setText(tr("%1 cannot be chosen: %2").arg(name, JobMessages::cloneReason(verdict)));
        choose(ClonePartition(), QString());
        return;
    }
    choose(partition, name);
}

void ClonePartitionPage::choose(const ClonePartition& partition, const QString& name)
{
    const bool changed = partition.plan.path != m_chosen.plan.path;
    m_chosen = partition;
    m_line->setText(name);
    if (changed)
        emit chosenChanged();
}

void ClonePartitionPage::checkChoice()
{
    if (m_chosen.plan.path.isEmpty())
        return;
    // The row of the chosen partition, wherever the new list has it.
    const std::function<QModelIndex(const QModelIndex&)> find = [&](const QModelIndex& parent) {
        for (int row = 0; row < m_proxy->rowCount(parent); ++row) {
            const QModelIndex index = m_proxy->index(row, 0, parent);
            const TreeItem* item = itemOf(index);
            if (TreeItemModel::isPartitionRow(item) && item->path == m_chosen.plan.path)
                return index;
            const QModelIndex below = find(index);
            if (below.isValid())
                return below;
        }
        return QModelIndex();
    };
    const QModelIndex row = find(QModelIndex());
    if (!row.isValid()) {
        m_reason->clear();
        choose(ClonePartition(), QString());
        return;
    }
    // Shown as chosen again: the row's figures and the rule decide anew.
    m_tree->setCurrentIndex(row);
    showCurrent();
}

CloneWidget1::CloneWidget1(QWidget* parent)
    : ClonePartitionPage(tr("Select a source partition"), tr("Source partition:"), &ClonePlan::sourceVerdict,
                         false, parent)
{}

CloneWidget2::CloneWidget2(const CloneWidget1* source, QWidget* parent)
    : ClonePartitionPage(
          tr("Select a destination partition"), tr("Destination partition:"),
          [source](const ClonePlan::Partition& destination) {
              return ClonePlan::destinationVerdict(source->chosen().plan, destination);
          },
          // A clone may write onto any partition, one without a file system too.
          true, parent)
{
    // Another source changes which partitions can take it.
    connect(source, &ClonePartitionPage::chosenChanged, this, [this] {
        model()->rulesChanged();
        checkChoice();
    });
}

CloneWidget3::CloneWidget3(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(tr("Form"));
    resize(kPageWidth, kPageHeight);
    m_box = new QGroupBox(tr("Clone option"), this);
    m_box->setObjectName(QStringLiteral("groupBox"));
    m_box->setStyleSheet(
        QStringLiteral("QGroupBox { font: 75 15pt \"wenquanyi\"; color: rgb(255, 255, 255);"
                       " border: 1px solid rgba(255, 255, 255, 120); border-radius: 4px; margin-top: 14px; }"
                       "QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }") +
        PageStyle::checkBoxStyle());
    m_box->setGeometry(10, 10, kPageWidth - 20, 140);
    m_page = new QCheckBox(tr("filter page file"), m_box);
    m_page->setObjectName(QStringLiteral("pageCheckBox"));
    m_page->setGeometry(20, 40, 400, 30);
    m_hibernate = new QCheckBox(tr("filter hibernate file"), m_box);
    m_hibernate->setObjectName(QStringLiteral("hibnateCheckBox"));
    m_hibernate->setGeometry(20, 85, 400, 30);
}
