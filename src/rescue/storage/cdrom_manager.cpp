#include "cdrom_manager.h"

#include "device_records.h"
#include "errno_text.h"
#include "system_probes.h"

#include <QCoreApplication>
#include <QDebug>
#include <cerrno>

namespace {

void reportEjectFailure(const char* node, int error)
{
    qCritical() << "Unable to eject cdrom " << node << ", errno=" << error << ", "
                << errnoText(error);
}

}  // namespace

CDROMManager* CDROMManager::instance()
{
    static CDROMManager* manager = nullptr;
    if (!manager) {
        manager = new CDROMManager;
        qAddPostRoutine([] {
            delete manager;
            manager = nullptr;
        });
    }
    return manager;
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
