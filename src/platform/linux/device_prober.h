// The process-wide list of the machine's disks, partitions and optical
// drives, built and kept current on the prober's own thread.
#ifndef DEVICE_PROBER_H
#define DEVICE_PROBER_H

#include "platform/linux/device_records.h"
#include "platform/linux/drive_letters.h"

#include <QEvent>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <functional>
#include <mutex>

class DeviceEventDispather;
struct PartedDisk;
struct TablePartition;

class DeviceProber : public QThread {
    Q_OBJECT

public:
    enum State { NotStarted = 0, Idle = 1, Probing = 2 };
    enum EventType { ProbeAllEvent = 1001, ProbeOneDeviceEvent = 1002 };

    // Asks the prober's thread to read one device again.
    class ProbeDeviceEvent : public QEvent {
    public:
        explicit ProbeDeviceEvent(dev_t device)
            : QEvent(static_cast<QEvent::Type>(ProbeOneDeviceEvent)), device(device)
        {}
        dev_t device;
    };

    // The one prober of the process, created on first use.
    static DeviceProber* instance();

    // Public so that tests can run probers of their own; the console uses
    // instance().
    DeviceProber();
    ~DeviceProber() override;

    // Where the disk nodes come from (default: libparted's scan of the
    // machine) and how an optical drive's status is read (default: the
    // drive-status request). Tests replace them; set them before the first
    // probe.
    void setDiskScanner(std::function<QStringList()> scanner);
    void setDriveStatusReader(std::function<int(const QString&)> reader);

    // Work done on the prober's thread, each under `mutex`.
    void probeAll();
    void probeDevice(dev_t device);
    void handleDiskAdd(dev_t device, const QString& nodePath);
    void handlePartitionAdd(dev_t partition, dev_t parentDisk);
    void handleDiskRemove(dev_t device);
    void handlePartitionRemove(dev_t device);
    void pollOpticalDrives();

    // A copy of the whole list as it is now, taken under the prober's lock:
    // the GUI walks it without holding anything while the prober's thread
    // goes on changing its own list.
    DiskList snapshot() const;

    // Look-ups for the console; each takes the lock itself.
    qint64 partitionFreeBytes(const QString& path) const;
    QString partitionFsName(const QString& path) const;
    // The node of the disk that holds the listed partition `path` (its
    // parent as the probe found it; a whole-disk volume's own node), or
    // stripPartitionNumber(path) when the partition is not listed.
    QString diskOfPartition(const QString& path) const;
    static QString stripPartitionNumber(const QString& path);
    int opticalDriveCount() const;

    // Tests and fixtures hand the list records of their own: addDisk takes
    // ownership, takeDisk gives it back (false when it was not listed),
    // clearDisks frees them all.
    void addDisk(DiskRecord* disk);
    bool takeDisk(DiskRecord* disk);
    void clearDisks();

    // Whether a node path names a disk the console may list.
    static bool isAcceptedDiskPath(const QString& path);

    int currentState() const { return state.load(); }
    DeviceEventDispather* currentDispatcher() const { return dispatcher.load(); }

    std::atomic<int> state{NotStarted};
    std::atomic<DeviceEventDispather*> dispatcher{nullptr};
    QSet<dev_t> pendingPartitions;  // partitions announced before their disk
    DriveLetters letters;           // letterMask of the list

signals:
    void prepared();
    void probeFinished();
    void oddStatusChanged(dev_t device, int status);
    void diskArrived(dev_t device);
    void partitionArrived(dev_t device);
    void diskRemoved(dev_t device);
    void partitionRemoved(dev_t device);
    void diskUpdated(dev_t device);
    void partitionUpdated(dev_t device);

public slots:
    void startProbe();
    void startProbeDevice(dev_t device);

protected:
    void run() override;

private:
    DiskRecord* newDiskRecord(const PartedDisk& parted, dev_t rdev);
    PartitionRecord* newPartitionRecord(DiskRecord* disk, const TablePartition& entry);
    DiskRecord* newOpticalDriveRecord(const QString& path, char letter);
    int readDriveStatus(const char* path) const;
    bool probeWholeDiskVolume(DiskRecord* disk, char keepLetter);
    void addOpticalDrives();
    void rereadPartition(PartitionRecord* partition);
    void rereadDisk(DiskRecord* disk);

    // A standard mutex, which the thread checkers of the tests see.
    mutable std::mutex mutex;
    int opticalCount = 0;         // guarded by mutex
    DiskRecord* disks = nullptr;  // guarded by mutex
    std::function<QStringList()> diskScanner;
    std::function<int(const QString&)> driveStatusReader;
};

#endif
