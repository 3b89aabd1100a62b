// Carries work into the device prober's thread: the kernel's block-device
// add and remove events, the probe requests of the GUI and the poll of
// optical drives.
#ifndef DEVICE_EVENTS_H
#define DEVICE_EVENTS_H

#include <QObject>
#include <QString>
#include <sys/types.h>

class DeviceProber;
class QSocketNotifier;
struct udev;
struct udev_monitor;

// One kernel event about a block device, as the dispatcher acts on it.
struct BlockDeviceEvent {
    QString action;     // "add", "remove", "change" ...
    QString subsystem;  // only "block" is handled
    QString devType;    // "disk" or "partition"
    QString devNode;    // for instance /dev/sdb1
    QString sysPath;    // the device's sysfs folder
    dev_t number = 0;
};

class DeviceEventDispather : public QObject {
    Q_OBJECT

public:
    static const int kOpticalPollMs = 10000;

    // With watchKernel false no udev monitor is opened (tests feed events
    // through handleEvent).
    explicit DeviceEventDispather(DeviceProber* prober, bool watchKernel = true);
    ~DeviceEventDispather() override;

    void handleEvent(const BlockDeviceEvent& event);
    // Runs the optical poll exactly while the prober lists optical drives.
    void updatePollTimer();

    int pollTimerId() const { return m_pollTimer; }
    bool isWatchingKernel() const { return m_notifier != nullptr; }

public slots:
    void receive(int socket);

protected:
    void customEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void openMonitor();
    void handlePartitionAddEvent(const BlockDeviceEvent& event);

    DeviceProber* m_prober;
    int m_pollTimer = 0;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};

#endif
