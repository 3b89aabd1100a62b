#include "programs/rescue/console/storage_environment.h"

#include "platform/linux/device_prober.h"
#include "platform/linux/system_paths.h"
#include "platform/linux/system_probes.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

struct LinkedNode {
    QString path;  // <dev>/<name>
    dev_t number = 0;
};

QString devRoot()
{
    return QString::fromStdString(systemPaths().dev);
}

// Every <dev>/block/<major>:<minor> link that names a file in <dev>.
QList<LinkedNode> linkedNodes()
{
    static const QRegularExpression numberName(QStringLiteral("^(\\d+):(\\d+)$"));
    QList<LinkedNode> nodes;
    const QDir links(devRoot() + QStringLiteral("/block"));
    const QFileInfoList entries =
        links.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : entries) {
        const QRegularExpressionMatch match = numberName.match(link.fileName());
        if (!link.isSymLink() || !match.hasMatch())
            continue;
        const QFileInfo target(link.symLinkTarget());
        if (!target.exists() || target.canonicalPath() != QFileInfo(devRoot()).canonicalFilePath())
            continue;
        nodes.append({devRoot() + QLatin1Char('/') + target.fileName(),
                      makedev(match.captured(1).toUInt(), match.captured(2).toUInt())});
    }
    return nodes;
}

bool statNode(const char* path, NodeInfo* info)
{
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return false;
    info->kind = S_ISBLK(st.st_mode)   ? NodeKind::Block
                 : S_ISCHR(st.st_mode) ? NodeKind::Character
                                       : NodeKind::Other;
    info->rdev = st.st_rdev;
    return true;
}

bool lookupLinkedNode(const char* path, NodeInfo* info)
{
    if (!path)
        return false;
    const QString wanted = QFileInfo(QString::fromLocal8Bit(path)).canonicalFilePath();
    if (!wanted.isEmpty()) {
        for (const LinkedNode& node : linkedNodes()) {
            if (QFileInfo(node.path).canonicalFilePath() == wanted) {
                info->kind = NodeKind::Block;
                info->rdev = node.number;
                return true;
            }
        }
    }
    return statNode(path, info);
}

void takePath(const char* variable, std::string& target)
{
    const QByteArray value = qgetenv(variable);
    if (!value.isEmpty())
        target = value.toStdString();
}

}  // namespace

QStringList linkedDiskPaths()
{
    QStringList disks;
    const QString sys = QString::fromStdString(systemPaths().sys);
    for (const LinkedNode& node : linkedNodes()) {
        const QString folder =
            QStringLiteral("%1/dev/block/%2:%3").arg(sys).arg(major(node.number)).arg(minor(node.number));
        if (!QFileInfo::exists(folder + QStringLiteral("/partition")))
            disks << node.path;
    }
    return disks;
}

void applyStorageEnvironment()
{
    SystemPaths& paths = systemPaths();
    takePath("RESCUE_SYS_ROOT", paths.sys);
    takePath("RESCUE_PROC_ROOT", paths.proc);
    takePath("RESCUE_DEV_ROOT", paths.dev);
    takePath("RESCUE_MOUNT_TABLE", paths.mountTable);
    takePath("RESCUE_MOUNT_BASE", paths.mountBase);
    if (qEnvironmentVariableIsEmpty("RESCUE_DEV_ROOT"))
        return;
    setNodeLookup(lookupLinkedNode);
    DeviceProber::instance()->setDiskScanner(linkedDiskPaths);
}
