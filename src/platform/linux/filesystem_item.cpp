#include "platform/linux/filesystem_item.h"

#include "platform/linux/device_prober.h"
#include "platform/linux/device_records.h"
#include "platform/linux/mount_table.h"
#include "platform/linux/system_probes.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QMutexLocker>

#include <algorithm>
#include <cstring>

namespace {

RootFilesystemItem::NetworkItemFactory& networkItemFactory()
{
    static RootFilesystemItem::NetworkItemFactory factory;
    return factory;
}

QString driveText(char letter)
{
    return QStringLiteral("%1:").arg(QLatin1Char(letter));
}

bool isPlaceDisk(const DiskRecord& disk, bool withOpticalDrives)
{
    if (disk.kind == DiskKindOptical)
        return withOpticalDrives;
    return disk.usb || disk.removable || disk.kind == DiskKindDisk;
}

bool isPlacePartition(const PartitionRecord& part)
{
    if (!part.path || !*part.path)
        return false;
    if (part.fsName && std::strstr(part.fsName, "swap"))
        return false;
    return part.letter != ' ' && part.letter != 0;
}

bool isRecycleBin(const QFileInfo& info)
{
    return info.fileName().compare(QLatin1String("$RECYCLE.BIN"), Qt::CaseInsensitive) == 0;
}

// One level of a directory: subdirectories and the files the filters let
// through, without "." and "..", without hidden entries.
struct DirectoryListing {
    QList<QFileInfo> directories;
    QList<QFileInfo> files;
};

DirectoryListing listDirectory(const QString& path, const QStringList* nameFilters, bool atPlace)
{
    DirectoryListing listing;
    // AllDirs keeps the name filters off directories; the patterns are
    // matched without regard to case.
    QDirIterator it(path, nameFilters ? *nameFilters : QStringList(),
                    QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir()) {
            if (atPlace && isRecycleBin(info))
                continue;
            listing.directories << info;
        } else {
            listing.files << info;
        }
    }
    return listing;
}

void sortByAbsolutePath(QList<QFileInfo>* infos)
{
    std::sort(infos->begin(), infos->end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.absoluteFilePath() < b.absoluteFilePath();
    });
}

}  // namespace

// ---------------------------------------------------------------- root

void RootFilesystemItem::setNetworkItemFactory(NetworkItemFactory factory)
{
    networkItemFactory() = std::move(factory);
}

RootFilesystemItem::RootFilesystemItem(const QStringList* nameFilters, bool withOpticalDrives)
    : RootFilesystemItem(nameFilters, withOpticalDrives, DeviceProber::instance())
{}

RootFilesystemItem::RootFilesystemItem(const QStringList* nameFilters, bool withOpticalDrives,
                                       DeviceProber* prober)
    : m_nameFilters(nameFilters)
{
    if (nameFilters) {
        auto filters = new WildcardFilters;
        for (const QString& pattern : *nameFilters) {
            const QRegularExpression expression(QRegularExpression::wildcardToRegularExpression(pattern),
                                                QRegularExpression::CaseInsensitiveOption);
            if (!pattern.isEmpty() && expression.isValid())
                filters->append(expression);
        }
        if (filters->isEmpty())
            delete filters;
        else
            m_smbFilters = filters;
    }

    {
        const DiskList disks = prober->snapshot();
        for (const DiskRecord* disk = disks.first(); disk; disk = disk->next) {
            if (!isPlaceDisk(*disk, withOpticalDrives))
                continue;
            for (const PartitionRecord* part = disk->partitions; part; part = part->next) {
                if (isPlacePartition(*part))
                    m_children.append(new MountPointItem(part, m_nameFilters, this));
            }
        }
    }
    std::stable_sort(m_children.begin(), m_children.end(), [](IFilesystemItem* a, IFilesystemItem* b) {
        return a->path(IFilesystemItem::WindowsPath) < b->path(IFilesystemItem::WindowsPath);
    });

    if (networkItemFactory()) {
        if (IFilesystemItem* network = networkItemFactory()(m_smbFilters, this))
            m_children.append(network);
    }
}

RootFilesystemItem::~RootFilesystemItem()
{
    // The children may still point at the filters.
    deleteChildren();
    delete m_smbFilters;
}

int RootFilesystemItem::attribute(int) const
{
    return -1;
}

QString RootFilesystemItem::name() const
{
    return QString();
}

QString RootFilesystemItem::path(int)
{
    return QString();
}

qint64 RootFilesystemItem::size() const
{
    return 0;
}

QDateTime RootFilesystemItem::lastModified() const
{
    return QDateTime();
}

void RootFilesystemItem::populate()
{}

void RootFilesystemItem::setAccessible(bool)
{}

IFilesystemItem* RootFilesystemItem::parent() const
{
    return nullptr;
}

bool RootFilesystemItem::hasChildren() const
{
    return !m_children.isEmpty();
}

int RootFilesystemItem::row() const
{
    return 0;
}

void RootFilesystemItem::clearChildren()
{
    deleteChildren();
}

// ---------------------------------------------------------------- place

MountPointItem::MountPointItem(const PartitionRecord* record, const QStringList* nameFilters,
                               RootFilesystemItem* parent)
    : m_parent(parent), m_usb(record->disk && record->disk->usb),
      m_removable(record->disk && record->disk->removable), m_rdev(record->rdev),
      m_kind(record->disk ? record->disk->kind : DiskKindDisk), m_devicePath(duplicateText(record->path)),
      m_fsName(duplicateText(record->fsName)), m_label(duplicateText(record->label)),
      m_diskPath(duplicateText(record->disk ? record->disk->path : nullptr)), m_letter(record->letter),
      m_capacity(record->disk ? record->length * record->disk->sectorSize : 0),
      m_usedBytes(record->usedSectors * USED_SECTOR_SIZE), m_nameFilters(nameFilters)
{}

MountPointItem::~MountPointItem()
{
    unmountIfMounted();
    freeText(m_devicePath);
    freeText(m_fsName);
    freeText(m_label);
    freeText(m_diskPath);
}

QString MountPointItem::volumeDisplayName(int kind, const char* label, char letter)
{
    const QString text = kind == DiskKindOptical ? QCoreApplication::translate("MountPointItem", "CD ROM")
                                                 : QString::fromUtf8(label ? label : "");
    return QStringLiteral("%1 (%2:)").arg(text, QString(QLatin1Char(letter)));
}

int MountPointItem::attribute(int key) const
{
    switch (key) {
    case TypeKey:
        return MountPointType;
    case DeviceKindKey:
        return m_kind;
    case UsbKey:
        return m_usb ? 1 : 0;
    case RemovableKey:
        return m_removable ? 1 : 0;
    case DeviceNumberKey:
        return static_cast<int>(static_cast<quint32>(m_rdev));
    default:
        return -1;
    }
}

QString MountPointItem::name() const
{
    return volumeDisplayName(m_kind, m_label, m_letter);
}

QString MountPointItem::path(int form)
{
    switch (form) {
    case WindowsPath:
        return driveText(m_letter);
    case LocalPath:
        return m_mountDir.filePath().isEmpty() ? QString() : m_mountDir.absoluteFilePath();
    case DevicePath:
    case MountDirectory:
        return QString::fromUtf8(m_devicePath ? m_devicePath : "");
    case DiskDevicePath:
        return QString::fromUtf8(m_diskPath ? m_diskPath : "");
    default:
        return QString();
    }
}

qint64 MountPointItem::size() const
{
    return static_cast<qint64>(m_capacity);
}

QString MountPointItem::fsName() const
{
    return QString::fromUtf8(m_fsName ? m_fsName : "");
}

qint64 MountPointItem::freeBytes() const
{
    if (m_usedBytes == 0 || m_usedBytes > m_capacity)
        return -1;
    return static_cast<qint64>(m_capacity - m_usedBytes);
}

QDateTime MountPointItem::lastModified() const
{
    return QDateTime();
}

void MountPointItem::populate()
{
    if (m_populated)
        return;
    // Set first: a failed mount is not retried until the place is cleared
    // or made accessible again.
    m_populated = true;
    // An empty volume reopened by setAccessible(true) is still mounted: its
    // one use must not become two.
    if (!m_mountedByUs) {
        const char* directory = MountTable::instance()->mount(m_devicePath, m_fsName, nullptr, nullptr);
        if (!directory)
            return;
        m_mountedByUs = true;
        m_mountDir = QFileInfo(QString::fromUtf8(directory));
    }

    const DirectoryListing listing = listDirectory(m_mountDir.absoluteFilePath(), m_nameFilters, true);
    for (const QFileInfo& info : listing.directories)
        m_children.append(new FilesystemItem(DirectoryType, info, m_nameFilters, this));
    for (const QFileInfo& info : listing.files)
        m_children.append(new FilesystemItem(FileType, info, nullptr, this));
}

void MountPointItem::setAccessible(bool accessible)
{
    if (!accessible)
        m_populated = true;
    else if (m_children.isEmpty())
        m_populated = false;
}

IFilesystemItem* MountPointItem::parent() const
{
    return m_parent;
}

bool MountPointItem::hasChildren() const
{
    return !m_populated || !m_children.isEmpty();
}

int MountPointItem::row() const
{
    return m_parent ? m_parent->indexOf(this) : 0;
}

void MountPointItem::clearChildren()
{
    if (!m_populated)
        return;
    deleteChildren();
    releaseMount();
}

void MountPointItem::unmountIfMounted()
{
    if (m_mountedByUs) {
        deleteChildren();
        releaseMount();
    }
    m_populated = false;
}

void MountPointItem::releaseMount()
{
    if (!m_mountedByUs)
        return;
    m_mountedByUs = false;
    // The place no longer holds the directory: handing it out as a local
    // path after this could send a write into a plain folder.
    m_mountDir = QFileInfo();
    MountTable::instance()->unmount(m_devicePath);
}

// ---------------------------------------------------------------- entry

FilesystemItem::FilesystemItem(int type, const QFileInfo& info, const QStringList* nameFilters,
                               IFilesystemItem* parent)
    : m_type(type), m_parent(parent), m_nameFilters(nameFilters), m_info(info)
{}

IFilesystemItem* FilesystemItem::nearestPlace() const
{
    for (IFilesystemItem* node = m_parent; node; node = node->parent()) {
        if (node->attribute(TypeKey) == MountPointType)
            return node;
    }
    return nullptr;
}

int FilesystemItem::attribute(int key) const
{
    if (key == TypeKey)
        return m_type;
    IFilesystemItem* place = nearestPlace();
    return place ? place->attribute(key) : -1;
}

QString FilesystemItem::name() const
{
    return m_info.fileName();
}

QString FilesystemItem::path(int form)
{
    switch (form) {
    case WindowsPath: {
        IFilesystemItem* place = nearestPlace();
        if (!place)
            return QString();
        const QString drive = place->path(WindowsPath);
        const QString mountDir = place->path(LocalPath);
        QString path = m_info.absoluteFilePath();
        // A plain prefix comparison: the directory is text, not a pattern.
        if (mountDir == QLatin1String("/"))
            path.prepend(drive);
        else if (!mountDir.isEmpty() && (path == mountDir || path.startsWith(mountDir + QLatin1Char('/'))))
            path.replace(0, mountDir.size(), drive);
        return path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    }
    case LocalPath:
        return m_info.absoluteFilePath();
    case DevicePath: {
        IFilesystemItem* place = nearestPlace();
        return place ? place->path(DevicePath) : QString();
    }
    case MountDirectory: {
        IFilesystemItem* place = nearestPlace();
        return place ? place->path(LocalPath) : QString();
    }
    default:
        return QString();
    }
}

qint64 FilesystemItem::size() const
{
    return m_info.size();
}

QDateTime FilesystemItem::lastModified() const
{
    return m_info.lastModified();
}

void FilesystemItem::populate()
{
    if (m_populated)
        return;
    m_populated = true;
    if (m_type != DirectoryType)
        return;
    DirectoryListing listing = listDirectory(m_info.absoluteFilePath(), m_nameFilters, false);
    sortByAbsolutePath(&listing.directories);
    sortByAbsolutePath(&listing.files);
    for (const QFileInfo& info : listing.directories)
        m_children.append(new FilesystemItem(DirectoryType, info, m_nameFilters, this));
    for (const QFileInfo& info : listing.files)
        m_children.append(new FilesystemItem(FileType, info, nullptr, this));
}

void FilesystemItem::setAccessible(bool accessible)
{
    m_populated = !accessible;
}

IFilesystemItem* FilesystemItem::parent() const
{
    return m_parent;
}

bool FilesystemItem::hasChildren() const
{
    if (m_type == FileType)
        return false;
    return !m_populated || !m_children.isEmpty();
}

int FilesystemItem::row() const
{
    return m_parent ? m_parent->indexOf(this) : 0;
}

void FilesystemItem::clearChildren()
{
    deleteChildren();
    m_populated = false;
}
