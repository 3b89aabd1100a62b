#include "platform/linux/smb_filesystem_item.h"

#include "platform/linux/errno_text.h"
#include "platform/linux/mount_table.h"
#include "platform/linux/nmb_lookup.h"
#include "platform/linux/smb_auth_requests.h"
#include "platform/linux/smb_context.h"
#include "platform/linux/smb_credential_store.h"
#include "platform/linux/smb_names.h"

#include <QCoreApplication>
#include <QDebug>
#include <cerrno>
#include <cstring>
#include <libsmbclient.h>
#include <sys/stat.h>

namespace {

bool isRefusal(int error)
{
    return error == EACCES || error == EPERM;
}

}  // namespace

void SMBFilesystemItem::installAsNetworkNode()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    RootFilesystemItem::setNetworkItemFactory([](const WildcardFilters* filters,
                                                 IFilesystemItem* parent) -> IFilesystemItem* {
        return new SMBFilesystemItem(NetworkType, QCoreApplication::translate("SMBFilesystemItem", "Network"),
                                     0, filters, parent);
    });
}

SMBFilesystemItem::SMBFilesystemItem(int type, const QString& name, qint64 size,
                                     const WildcardFilters* filters, IFilesystemItem* parent)
    : m_type(type), m_name(name), m_size(size), m_filters(filters), m_parent(parent)
{}

SMBFilesystemItem::~SMBFilesystemItem()
{
    if (!m_mountDir.isEmpty())
        MountTable::instance()->unmountDirectory(m_mountDir.constData());
    deleteChildren();
}

int SMBFilesystemItem::attribute(int key) const
{
    switch (key) {
    case TypeKey:
        return m_type;
    case DeviceKindKey:
        return NetworkDevice;
    case UsbKey:
    case RemovableKey:
    case DeviceNumberKey:
        return 0;
    default:
        return -1;
    }
}

QString SMBFilesystemItem::name() const
{
    return m_name;
}

QString SMBFilesystemItem::path(int form)
{
    if (form == WindowsPath) {
        if (m_type == NetworkType || m_type == WorkgroupType)
            return QStringLiteral("\\");
        QString text = QStringLiteral("\\");
        for (const SMBFilesystemItem* node : chain())
            text += QLatin1Char('\\') + node->m_name;
        return text;
    }
    if (form == LocalPath && (m_type == ShareType || m_type == SmbFileType))
        return localPath();
    return QString();
}

qint64 SMBFilesystemItem::size() const
{
    return m_size;
}

QDateTime SMBFilesystemItem::lastModified() const
{
    return QDateTime();
}

void SMBFilesystemItem::populate()
{
    if (m_populated || m_type == SmbFileType || !smbContext())
        return;
    const QString address = url();
    if (address.isEmpty())
        return;
    SmbCredentialStore* store = SmbCredentialStore::instance();
    const QString key = authKey().isEmpty() ? SmbCredentialStore::normalizedKey(address) : authKey();

    const int dir = smbc_opendir(address.toUtf8().constData());
    if (dir < 0) {
        const int error = errno;
        if (!isRefusal(error) || !store) {
            logFailedCall(QtWarningMsg, QStringLiteral("list"), address, error);
            return;  // unlisted: a later expansion tries again
        }
        // One open per expansion: the user is asked outside this model
        // call, and after kMaxPrompts refusals the attempt ends.
        const int refusals = store->noteRefusal(key);
        if (refusals > SmbAuthRequests::kMaxPrompts) {
            store->clearRefusals(key);
            store->setState(key, SmbCredentialStore::AuthNone);
        } else {
            store->setState(key, SmbCredentialStore::AuthAsk);
        }
        SmbAuthRequests::instance()->postRefusal(key, refusals);
        return;
    }
    if (store && store->refusals(key) > 0) {
        store->setState(key, SmbCredentialStore::AuthConfirmed);
        store->clearRefusals(key);
    }

    m_populated = true;
    QList<IFilesystemItem*> files;
    while (const smbc_dirent* entry = smbc_readdir(static_cast<unsigned int>(dir))) {
        const size_t length = strnlen(entry->name, entry->namelen);
        const QString name = QString::fromUtf8(entry->name, static_cast<int>(length));
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        if (!isSafeSmbName(entry->name, entry->namelen)) {
            qWarning() << "Ignoring an SMB name that could leave its folder:" << name;
            continue;
        }
        switch (entry->smbc_type) {
        case SMBC_WORKGROUP:
            m_children.append(new SMBFilesystemItem(WorkgroupType, name, 0, m_filters, this));
            break;
        case SMBC_SERVER:
            m_children.append(new SMBFilesystemItem(ServerType, name, 0, m_filters, this));
            break;
        case SMBC_FILE_SHARE:
            if (!name.endsWith(QLatin1Char('$')))
                m_children.append(new SMBFilesystemItem(ShareType, name, 0, m_filters, this));
            break;
        case SMBC_DIR:
            m_children.append(new SMBFilesystemItem(ShareType, name, 0, m_filters, this));
            break;
        case SMBC_FILE: {
            if (m_filters) {
                bool matches = false;
                for (const QRegularExpression& filter : *m_filters)
                    matches = matches || filter.match(name).hasMatch();
                if (!matches)
                    break;
            }
            const QString fileUrl = address + smbUrlSegment(name);
            struct stat status;
            if (smbc_stat(fileUrl.toUtf8().constData(), &status) < 0) {
                const int error = errno;
                logFailedCall(QtCriticalMsg, QStringLiteral("stat"), fileUrl, error);
                break;
            }
            files.append(new SMBFilesystemItem(SmbFileType, name, status.st_size, m_filters, this));
            break;
        }
        default:
            break;  // printers, communication and IPC shares, links
        }
    }
    m_children.append(files);
    smbc_closedir(dir);
}

void SMBFilesystemItem::setAccessible(bool)
{}

IFilesystemItem* SMBFilesystemItem::parent() const
{
    return m_parent;
}

bool SMBFilesystemItem::hasChildren() const
{
    if (!m_populated)
        return m_type != SmbFileType;
    return !m_children.isEmpty();
}

int SMBFilesystemItem::row() const
{
    return m_parent ? m_parent->indexOf(this) : 0;
}

void SMBFilesystemItem::clearChildren()
{}

QString SMBFilesystemItem::url() const
{
    switch (m_type) {
    case NetworkType:
        return QStringLiteral("smb://");
    case WorkgroupType:
    case ServerType:
        if (!isSafeSmbName(m_name))
            return QString();
        return QStringLiteral("smb://") + smbUrlSegment(m_name) + QLatin1Char('/');
    case ShareType: {
        // ".." stays ".." when encoded: a name that is no plain name gives
        // no URL at all.
        const QList<const SMBFilesystemItem*> nodes = chain();
        if (nodes.isEmpty())
            return QString();
        QString text = QStringLiteral("smb://");
        for (const SMBFilesystemItem* node : nodes) {
            if (!isSafeSmbName(node->m_name))
                return QString();
            text += smbUrlSegment(node->m_name) + QLatin1Char('/');
        }
        return text;
    }
    default:
        qCritical() << "Unexpected SMBFilesystemItem type " << m_type;
        return QString();
    }
}

QString SMBFilesystemItem::authKey() const
{
    if (m_type == ServerType)
        return SmbCredentialStore::serverKey(m_name);
    if (m_type != ShareType && m_type != SmbFileType)
        return QString();
    const QList<const SMBFilesystemItem*> nodes = chain();
    if (nodes.size() < 2)
        return QString();
    return SmbCredentialStore::shareKey(nodes.at(0)->m_name, nodes.at(1)->m_name);
}

QList<const SMBFilesystemItem*> SMBFilesystemItem::chain() const
{
    // Every node of a network type is an SMBFilesystemItem.
    QList<const SMBFilesystemItem*> nodes;
    const SMBFilesystemItem* node = this;
    while (node->m_type == ShareType || node->m_type == SmbFileType) {
        nodes.prepend(node);
        IFilesystemItem* up = node->m_parent;
        const int type = up ? up->attribute(TypeKey) : -1;
        if (type != ShareType && type != SmbFileType && type != ServerType)
            return {};
        node = static_cast<const SMBFilesystemItem*>(up);
    }
    if (node->m_type != ServerType)
        return {};
    nodes.prepend(node);
    return nodes;
}

QString SMBFilesystemItem::localPath()
{
    const QList<const SMBFilesystemItem*> nodes = chain();
    if (nodes.size() < 2)
        return QString();
    for (const SMBFilesystemItem* node : nodes.mid(1)) {
        if (!isSafeSmbName(node->m_name))
            return QString();
    }
    if (m_mountDir.isEmpty()) {
        const QString server = nodes.at(0)->m_name;
        const QString share = nodes.at(1)->m_name;
        const QString address = nmbLookup(server.toUtf8().constData());
        if (address.isEmpty())
            return QString();
        const QByteArray source = ("//" + address + "/" + share).toUtf8();
        const QByteArray serverKey = SmbCredentialStore::serverKey(server).toUtf8();
        const QByteArray shareKey = SmbCredentialStore::shareKey(server, share).toUtf8();
        const char* directory = mountShare(source.constData(), serverKey.constData(), shareKey.constData());
        if (!directory)
            return QString();
        m_mountDir = directory;
    }
    QString text = QString::fromUtf8(m_mountDir);
    for (const SMBFilesystemItem* node : nodes.mid(2))
        text += QLatin1Char('/') + node->m_name;
    return text;
}

const char* SMBFilesystemItem::mountShare(const char* url, const char* serverKey, const char* shareKey)
{
    // Every node that keeps the directory holds one use of the mount and
    // gives it back when it goes, so each asks mount(), even for a share
    // that is mounted already.
    MountTable* table = MountTable::instance();
    SmbCredentialStore* store = SmbCredentialStore::instance();
    QString user, password;
    bool haveLogin = false;
    if (store) {
        // The login that listed the share wins over one given for the
        // whole server, as in the listing's authentication.
        const QString share = QString::fromUtf8(shareKey);
        if (store->state(share) == SmbCredentialStore::AuthConfirmed)
            haveLogin = store->credentials(share, &user, &password);
        if (!haveLogin)
            haveLogin = store->credentials(QString::fromUtf8(serverKey), &user, &password);
    }
    if (!haveLogin)
        return table->mount(url, "cifs", nullptr, nullptr);
    return table->mount(url, "cifs", user.toUtf8().constData(), password.toUtf8().constData());
}
