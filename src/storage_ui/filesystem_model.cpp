#include "storage_ui/filesystem_model.h"

#include "platform/linux/cdrom_manager.h"
#include "platform/linux/device_prober.h"
#include "platform/linux/device_records.h"
#include "platform/linux/filesystem_item.h"
#include "jobs/size_text.h"

#include <QIcon>

namespace {

enum DriveStatus { DiscReady = 4 };

}  // namespace

FilesystemModel::FilesystemModel(QObject* parent, const QStringList* nameFilters, bool withOpticalDrives)
    : FilesystemModel(parent, nameFilters, withOpticalDrives, DeviceProber::instance())
{}

FilesystemModel::FilesystemModel(QObject* parent, const QStringList* nameFilters, bool withOpticalDrives,
                                 DeviceProber* prober)
    : QAbstractItemModel(parent), m_withOpticalDrives(withOpticalDrives), m_prober(prober)
{
    registerDevMetaType();
    if (nameFilters)
        m_nameFilters = new QStringList(*nameFilters);
    m_root = new RootFilesystemItem(m_nameFilters, m_withOpticalDrives, m_prober);
    connect(CDROMManager::instance(), &CDROMManager::requestUmount, this, &FilesystemModel::umountPartition);
    connect(m_prober, &DeviceProber::oddStatusChanged, this, &FilesystemModel::changeODDItem);
    connect(m_prober, &DeviceProber::probeFinished, this, &FilesystemModel::refresh);
}

FilesystemModel::~FilesystemModel()
{
    delete m_root;
    delete m_nameFilters;
}

void FilesystemModel::refresh()
{
    beginResetModel();
    // Deleting the old tree gives back every mount it held; a mount that a
    // job still holds stays mounted.
    delete m_root;
    m_root = new RootFilesystemItem(m_nameFilters, m_withOpticalDrives, m_prober);
    endResetModel();
}

QVariant FilesystemModel::placeText(const MountPointItem& place, int column)
{
    // An optical drive's medium is measured by no one: its row names it only.
    if (place.attribute(IFilesystemItem::DeviceKindKey) == IFilesystemItem::OpticalDevice)
        return QVariant();
    switch (column) {
    case TypeColumn:
        return place.fsName().isEmpty() ? QVariant() : QVariant(place.fsName().toUpper());
    case SizeColumn:
        return place.size() > 0 ? QVariant(formatSize(place.size())) : QVariant();
    case FreeColumn:
        return place.freeBytes() >= 0 ? QVariant(formatSize(place.freeBytes())) : QVariant();
    default:
        return QVariant();
    }
}

IFilesystemItem* FilesystemModel::itemFor(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<IFilesystemItem*>(index.internalPointer()) : m_root;
}

QModelIndex FilesystemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    IFilesystemItem* node = itemFor(parent);
    IFilesystemItem* child = node ? node->child(row) : nullptr;
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex FilesystemModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return QModelIndex();
    IFilesystemItem* node = itemFor(index);
    IFilesystemItem* parentNode = node ? node->parent() : nullptr;
    if (!parentNode || parentNode == m_root)
        return QModelIndex();
    return createIndex(parentNode->row(), 0, parentNode);
}

int FilesystemModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    IFilesystemItem* node = itemFor(parent);
    if (!node)
        return 0;
    // A node is listed (a place mounted) when its rows are first counted.
    if (parent.isValid())
        node->populate();
    return node->childCount();
}

int FilesystemModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

bool FilesystemModel::hasChildren(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return false;
    IFilesystemItem* node = itemFor(parent);
    return node && node->hasChildren();
}

Qt::ItemFlags FilesystemModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

QVariant FilesystemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case NameColumn:
        return tr("Name");
    case TypeColumn:
        return tr("Type");
    case SizeColumn:
        return tr("Size");
    case FreeColumn:
        return tr("Free space");
    default:
        return QVariant();
    }
}

QVariant FilesystemModel::data(const QModelIndex& index, int role) const
{
    IFilesystemItem* node = index.isValid() ? itemFor(index) : nullptr;
    if (!node)
        return QVariant();
    const int type = node->attribute(IFilesystemItem::TypeKey);
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == NameColumn)
            return node->name();
        if (index.column() == TypeColumn) {
            if (type == IFilesystemItem::DirectoryType || type == IFilesystemItem::ShareType)
                return tr("Folder");
            if (type == IFilesystemItem::FileType || type == IFilesystemItem::SmbFileType)
                return tr("File");
        }
        if (index.column() == SizeColumn &&
            (type == IFilesystemItem::FileType || type == IFilesystemItem::SmbFileType))
            return formatSize(node->size());
        if (type == IFilesystemItem::MountPointType)
            return placeText(static_cast<const MountPointItem&>(*node), index.column());
        return QVariant();
    case Qt::DecorationRole:
        if (index.column() != NameColumn)
            return QVariant();
        switch (type) {
        case IFilesystemItem::MountPointType:
            if (node->attribute(IFilesystemItem::DeviceKindKey) == IFilesystemItem::OpticalDevice)
                return QIcon(QStringLiteral(":/images/cdrom.png"));
            return m_iconProvider.icon(QFileIconProvider::Drive);
        case IFilesystemItem::DirectoryType:
        case IFilesystemItem::ShareType:
            return m_iconProvider.icon(QFileIconProvider::Folder);
        case IFilesystemItem::FileType:
        case IFilesystemItem::SmbFileType:
            return m_iconProvider.icon(QFileIconProvider::File);
        case IFilesystemItem::NetworkType:
            return m_iconProvider.icon(QFileIconProvider::Network);
        case IFilesystemItem::WorkgroupType:
            return QIcon(QStringLiteral(":/images/16x16/network_local.png"));
        case IFilesystemItem::ServerType:
            return QIcon(QStringLiteral(":/images/16x16/server.png"));
        default:
            return QVariant();
        }
    case WindowsPathRole:
        return node->path(IFilesystemItem::WindowsPath);
    case PathRole:
        return node->path(IFilesystemItem::LocalPath);
    case DevicePathRole:
        return node->path(IFilesystemItem::DevicePath);
    case MountDirRole:
        return node->path(IFilesystemItem::MountDirectory);
    case ItemTypeRole:
        return type;
    case DeviceKindRole:
        return node->attribute(IFilesystemItem::DeviceKindKey);
    case DeviceNumberRole:
        return node->attribute(IFilesystemItem::DeviceNumberKey);
    default:
        return QVariant();
    }
}

bool FilesystemModel::removeRows(int row, int count, const QModelIndex& parent)
{
    IFilesystemItem* node = itemFor(parent);
    auto* children = dynamic_cast<FilesystemChildren*>(node);
    if (!children || row < 0 || count <= 0 || row + count > children->childCount())
        return false;
    beginRemoveRows(parent, row, row + count - 1);
    for (int removed = 0; removed < count; ++removed)
        children->removeChildAt(row);
    // A place without any listing left holds its mount for nothing.
    if (auto* place = dynamic_cast<MountPointItem*>(node)) {
        if (place->childCount() == 0)
            place->clearChildren();
    }
    endRemoveRows();
    return true;
}

MountPointItem* FilesystemModel::findMountPointItem(dev_t device) const
{
    for (int row = 0; row < m_root->childCount(); ++row) {
        IFilesystemItem* node = m_root->child(row);
        if (node->attribute(IFilesystemItem::TypeKey) != IFilesystemItem::MountPointType)
            continue;
        auto* place = dynamic_cast<MountPointItem*>(node);
        // The whole number: a place's attribute carries its low 32 bits only.
        if (place && place->deviceNumber() == device)
            return place;
    }
    return nullptr;
}

void FilesystemModel::setItemAccessible(dev_t device, bool accessible)
{
    if (MountPointItem* place = findMountPointItem(device))
        place->setAccessible(accessible);
}

QModelIndex FilesystemModel::indexOfPlace(MountPointItem* place) const
{
    return createIndex(m_root->indexOf(place), 0, place);
}

void FilesystemModel::umountPartition(dev_t device)
{
    MountPointItem* place = findMountPointItem(device);
    if (!place)
        return;
    if (place->childCount() == 0)
        place->clearChildren();
    else
        removeRows(0, place->childCount(), indexOfPlace(place));
    place->setAccessible(false);
}

void FilesystemModel::changeODDItem(dev_t device, int status)
{
    if (status >= 0 && status < DiscReady)
        setItemAccessible(device, false);
    else if (status == DiscReady)
        setItemAccessible(device, true);
}
