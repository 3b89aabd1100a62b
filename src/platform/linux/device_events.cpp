#include "platform/linux/device_events.h"

#include "platform/linux/device_prober.h"
#include "platform/linux/system_probes.h"

#include <QEvent>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <libudev.h>

namespace {

const int kMaxUeventPath = 4096;

QString udevText(const char* text)
{
    return text ? QString::fromLocal8Bit(text) : QString();
}

}  // namespace

DeviceEventDispather::DeviceEventDispather(DeviceProber* prober, bool watchKernel) : m_prober(prober)
{
    if (watchKernel)
        openMonitor();
}

DeviceEventDispather::~DeviceEventDispather()
{
    if (m_pollTimer)
        killTimer(m_pollTimer);
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

// The kernel's block-device events as udev passes them on. Without udev
// nothing is watched: full probes still see every device.
void DeviceEventDispather::openMonitor()
{
    m_udev = udev_new();
    if (!m_udev)
        return;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "block", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
        return;
    }
    const int socket = udev_monitor_get_fd(m_monitor);
    if (socket < 0)
        return;
    m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read);
    connect(m_notifier, SIGNAL(activated(int)), this, SLOT(receive(int)));
}

void DeviceEventDispather::receive(int /*socket*/)
{
    if (!m_monitor)
        return;
    udev_device* device = udev_monitor_receive_device(m_monitor);
    if (!device)
        return;
    BlockDeviceEvent event;
    event.number = udev_device_get_devnum(device);
    event.devNode = udevText(udev_device_get_devnode(device));
    event.subsystem = udevText(udev_device_get_subsystem(device));
    event.action = udevText(udev_device_get_action(device));
    event.devType = udevText(udev_device_get_devtype(device));
    event.sysPath = udevText(udev_device_get_syspath(device));
    udev_device_unref(device);
    handleEvent(event);
}

void DeviceEventDispather::handleEvent(const BlockDeviceEvent& event)
{
    if (event.devNode.isEmpty() || event.subsystem.isEmpty() || event.action.isEmpty() ||
        event.devType.isEmpty() || event.subsystem != QLatin1String("block"))
        return;
    const bool isDisk = event.devType == QLatin1String("disk");
    const bool isPartition = event.devType == QLatin1String("partition");
    if (event.action == QLatin1String("add")) {
        if (isDisk)
            m_prober->handleDiskAdd(event.number, event.devNode);
        else if (isPartition)
            handlePartitionAddEvent(event);
        else
            return;
    } else if (event.action == QLatin1String("remove")) {
        if (isDisk)
            m_prober->handleDiskRemove(event.number);
        else if (isPartition)
            m_prober->handlePartitionRemove(event.number);
        else
            return;
    } else {
        return;  // "change" and the rest: the optical poll sees disc changes
    }
    updatePollTimer();
}

void DeviceEventDispather::handlePartitionAddEvent(const BlockDeviceEvent& event)
{
    // A partition's sysfs folder sits inside its disk's folder.
    const QString parentUevent = QFileInfo(event.sysPath).path() + QStringLiteral("/uevent");
    const QByteArray fileName = parentUevent.toLocal8Bit();
    if (event.sysPath.isEmpty() || fileName.size() > kMaxUeventPath)
        return;
    dev_t parent = 0;
    char type[64] = {};
    if (readUevent(fileName.constData(), &parent, type, sizeof type) != 0)
        return;
    if (qstrcmp(type, "disk") != 0)
        return;
    m_prober->handlePartitionAdd(event.number, parent);
}

void DeviceEventDispather::updatePollTimer()
{
    const int opticalCount = m_prober->opticalDriveCount();
    if (m_pollTimer && opticalCount == 0) {
        killTimer(m_pollTimer);
        m_pollTimer = 0;
    } else if (!m_pollTimer && opticalCount > 0) {
        m_pollTimer = startTimer(kOpticalPollMs);
    }
}

void DeviceEventDispather::customEvent(QEvent* event)
{
    switch (static_cast<int>(event->type())) {
    case DeviceProber::ProbeAllEvent:
        m_prober->probeAll();
        updatePollTimer();
        break;
    case DeviceProber::ProbeOneDeviceEvent:
        m_prober->probeDevice(static_cast<DeviceProber::ProbeDeviceEvent*>(event)->device);
        break;
    default:
        break;
    }
}

void DeviceEventDispather::timerEvent(QTimerEvent* event)
{
    if (m_pollTimer && event->timerId() == m_pollTimer)
        m_prober->pollOpticalDrives();
}
