#include "platform/linux/cdrom_manager.h"

#include "platform/linux/device_records.h"
#include "platform/linux/errno_text.h"
#include "platform/linux/process_instance.h"
#include "platform/linux/system_probes.h"

#include <QDebug>
#include <cerrno>

namespace {

void reportEjectFailure(const char* node, int error)
{
    logFailedCall(QtCriticalMsg, QStringLiteral("eject cdrom"), QString::fromLocal8Bit(node), error);
}

}  // namespace

CDROMManager* CDROMManager::instance()
{
    return processInstance<CDROMManager>();
}

CDROMManager::CDROMManager()
{
    registerDevMetaType();
}

int CDROMManager::eject(dev_t device)
{
    char node[DEV_NODE_PATH_SIZE];
    if (devNodePath(device, node) != 0)
        return 0;
    emit requestUmount(device);
    errno = 0;
    if (ejectMedia(node) != 0) {
        reportEjectFailure(node, errno);
        return 0;
    }
    return 1;
}
