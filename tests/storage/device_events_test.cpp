// Hot-plug events in every order, the optical poll and its timer, the
// prober's thread and probe requests, and the eject of optical discs.
#include "platform/linux/cdrom_manager.h"
#include "platform/linux/device_events.h"
#include "platform/linux/device_prober.h"
#include "storage/parted_sanitizer_options.h"
#include "storage/prober_fixtures.h"

#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

using probertest::FakeMachine;
using probertest::PartSpec;

namespace {

const dev_t kDisk = makedev(8, 16);
const dev_t kPart1 = makedev(8, 17);
const dev_t kPart2 = makedev(8, 18);
const dev_t kDrive = makedev(11, 0);

std::vector<dev_t> numbersOf(const QSignalSpy& spy)
{
    std::vector<dev_t> numbers;
    for (const QList<QVariant>& arguments : spy)
        numbers.push_back(arguments.at(0).value<dev_t>());
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// A USB disk with two FAT partitions, announced through synthetic events.
class HotPlug : public ::testing::Test {
protected:
    void SetUp() override
    {
        probertest::testApp();
        REQUIRE_PROGRAMS("sfdisk", "mkfs.fat");
        ASSERT_TRUE(machine.makeDisk(
            "sdb", kDisk, {{"fat16", 16384, "ONE", false, false}, {"fat16", 16384, "TWO", false, false}}));
        diskFolder = machine.addSysfsDevice("pci0000:00/usb1/1-1/host6/block/sdb", kDisk, "disk");
    }

    BlockDeviceEvent event(const char* action, const std::string& name) const
    {
        BlockDeviceEvent e;
        e.action = QString::fromLatin1(action);
        e.subsystem = QStringLiteral("block");
        e.devNode = QString::fromStdString(machine.dev(name));
        if (name == "sdb") {
            e.devType = QStringLiteral("disk");
            e.number = kDisk;
            e.sysPath = QString::fromStdString(diskFolder);
        } else {
            e.devType = QStringLiteral("partition");
            e.number = name == "sdb1" ? kPart1 : kPart2;
            e.sysPath = QString::fromStdString(diskFolder + "/" + name);
        }
        return e;
    }

    FakeMachine machine;
    std::string diskFolder;
};

TEST_F(HotPlug, DiskAndPartitionsListedOnceWhateverTheOrder)
{
    const std::vector<std::vector<std::string>> orders = {
        {"sdb", "sdb1", "sdb2"},         {"sdb1", "sdb2", "sdb"},         {"sdb1", "sdb", "sdb2"},
        {"sdb2", "sdb", "sdb1", "sdb1"}, {"sdb", "sdb2", "sdb2", "sdb1"},
    };
    for (const auto& order : orders) {
        std::string trace;
        for (const std::string& name : order)
            trace += name + " ";
        SCOPED_TRACE(trace);
        DeviceProber prober;
        DeviceEventDispather dispatcher(&prober, false);
        QSignalSpy disksArrived(&prober, &DeviceProber::diskArrived);
        QSignalSpy partitionsArrived(&prober, &DeviceProber::partitionArrived);
        for (const std::string& name : order)
            dispatcher.handleEvent(event("add", name));

        const DiskList disks = prober.snapshot();
        ASSERT_NE(disks.first(), nullptr);
        EXPECT_EQ(disks.first()->next, nullptr);
        EXPECT_EQ(disks.first()->rdev, kDisk);
        ASSERT_EQ(countPartitions(disks.first()->partitions), 2);
        const PartitionRecord* first = findPartitionInList(disks.first()->partitions, kPart1);
        const PartitionRecord* second = findPartitionInList(disks.first()->partitions, kPart2);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_STREQ(first->label, "ONE");
        EXPECT_STREQ(second->label, "TWO");
        EXPECT_NE(first->letter, second->letter);
        EXPECT_TRUE(prober.pendingPartitions.isEmpty());
        EXPECT_EQ(disksArrived.count(), 1);
        EXPECT_EQ(numbersOf(partitionsArrived), (std::vector<dev_t>{kPart1, kPart2}));
        EXPECT_EQ(dispatcher.pollTimerId(), 0);
    }
}

TEST_F(HotPlug, RemovalsReleaseLettersAndAnnounceWhatWent)
{
    DeviceProber prober;
    DeviceEventDispather dispatcher(&prober, false);
    for (const char* name : {"sdb", "sdb1", "sdb2"})
        dispatcher.handleEvent(event("add", name));
    QSignalSpy partitionsRemoved(&prober, &DeviceProber::partitionRemoved);
    QSignalSpy disksRemoved(&prober, &DeviceProber::diskRemoved);

    dispatcher.handleEvent(event("remove", "sdb1"));
    EXPECT_EQ(numbersOf(partitionsRemoved), (std::vector<dev_t>{kPart1}));
    EXPECT_EQ(countPartitions(prober.snapshot().first()->partitions), 1);
    dispatcher.handleEvent(event("remove", "sdb1"));  // already gone
    EXPECT_EQ(partitionsRemoved.count(), 1);

    dispatcher.handleEvent(event("remove", "sdb"));
    EXPECT_EQ(numbersOf(partitionsRemoved), (std::vector<dev_t>{kPart1, kPart2}));
    EXPECT_EQ(numbersOf(disksRemoved), (std::vector<dev_t>{kDisk}));
    EXPECT_EQ(prober.snapshot().first(), nullptr);
    EXPECT_EQ(prober.letters.take(), 'C');  // every letter came back
    EXPECT_EQ(prober.letters.take(), 'D');
}

TEST_F(HotPlug, EventsOutsideTheHandledOnesAreDropped)
{
    DeviceProber prober;
    DeviceEventDispather dispatcher(&prober, false);
    BlockDeviceEvent change = event("change", "sdb");
    BlockDeviceEvent otherSubsystem = event("add", "sdb");
    otherSubsystem.subsystem = QStringLiteral("usb");
    BlockDeviceEvent noNode = event("add", "sdb");
    noNode.devNode.clear();
    BlockDeviceEvent noType = event("add", "sdb");
    noType.devType.clear();
    BlockDeviceEvent oddType = event("add", "sdb");
    oddType.devType = QStringLiteral("scsi_device");
    BlockDeviceEvent notADisk = event("add", "sdb");  // a loop device is no disk to list
    testsupport::MakeSparseFile(machine.dev("loop0"), 1 << 20);
    notADisk.devNode = QString::fromStdString(machine.dev("loop0"));
    for (const BlockDeviceEvent& e : {change, otherSubsystem, noNode, noType, oddType, notADisk})
        dispatcher.handleEvent(e);
    EXPECT_EQ(prober.snapshot().first(), nullptr);

    // A partition whose parent's uevent cannot be read is dropped, not parked.
    BlockDeviceEvent orphan = event("add", "sdb1");
    orphan.sysPath = QString::fromStdString(machine.root() + "/sys/devices/gone/sdb1");
    dispatcher.handleEvent(orphan);
    EXPECT_TRUE(prober.pendingPartitions.isEmpty());
}

TEST(OpticalHotPlug, DriveStartsAndStopsThePollWhichReportsStatusChanges)
{
    probertest::testApp();
    FakeMachine machine;
    machine.addOpticalDrive("sr0", kDrive);
    DeviceProber prober;
    int status = 1;
    prober.setDriveStatusReader([&status](const QString&) { return status; });
    DeviceEventDispather dispatcher(&prober, false);
    QSignalSpy order(&prober, &DeviceProber::diskArrived);
    QSignalSpy partitions(&prober, &DeviceProber::partitionArrived);
    QSignalSpy changes(&prober, &DeviceProber::oddStatusChanged);

    EXPECT_EQ(dispatcher.pollTimerId(), 0);
    BlockDeviceEvent add;
    add.action = QStringLiteral("add");
    add.subsystem = QStringLiteral("block");
    add.devType = QStringLiteral("disk");
    add.devNode = QString::fromStdString(machine.dev("sr0"));
    add.number = kDrive;
    dispatcher.handleEvent(add);
    {
        const DiskList disks = prober.snapshot();
        ASSERT_NE(disks.first(), nullptr);
        EXPECT_EQ(disks.first()->kind, DiskKindOptical);
        EXPECT_EQ(disks.first()->partitions->letter, 'C');
    }
    EXPECT_EQ(prober.opticalDriveCount(), 1);
    EXPECT_EQ(order.count(), 1);
    EXPECT_EQ(partitions.count(), 1);
    EXPECT_NE(dispatcher.pollTimerId(), 0);

    prober.pollOpticalDrives();
    EXPECT_EQ(changes.count(), 0);
    status = 4;  // a disc came in
    prober.pollOpticalDrives();
    prober.pollOpticalDrives();
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).value<dev_t>(), kDrive);
    EXPECT_EQ(changes.at(0).at(1).toInt(), 4);

    BlockDeviceEvent remove = add;
    remove.action = QStringLiteral("remove");
    dispatcher.handleEvent(remove);
    EXPECT_EQ(prober.opticalDriveCount(), 0);
    EXPECT_EQ(dispatcher.pollTimerId(), 0);
}

// Collects the critical-level lines written while it lives.
class CriticalMessages {
public:
    CriticalMessages()
    {
        lines.clear();
        m_previous = qInstallMessageHandler(collect);
    }
    ~CriticalMessages() { qInstallMessageHandler(m_previous); }

    static inline QStringList lines;

private:
    static void collect(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type == QtCriticalMsg)
            lines << text;
    }
    QtMessageHandler m_previous;
};

// The scanner of this prober blocks until the test lets it go, which holds
// the prober inside a full probe.
class GatedScanner {
public:
    QStringList scan()
    {
        ++calls;
        entered.release();
        gate.acquire();
        return {};
    }
    std::atomic<int> calls{0};
    QSemaphore entered;
    QSemaphore gate;
};

// Counts a signal as the GUI thread receives it: queued, in this thread.
class QueuedCounter : public QObject {
public:
    template <typename Signal>
    QueuedCounter(DeviceProber* sender, Signal signal)
    {
        connect(sender, signal, this, [this] { ++count; });
    }
    bool waitFor(int wanted)
    {
        for (int i = 0; i < 1000 && count < wanted; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(10);
        }
        return count >= wanted;
    }
    int count = 0;
};

TEST(ProberThread, StartProbeDuringAProbeDoesNothing)
{
    probertest::testApp();
    FakeMachine machine;  // no optical drives, no disks
    GatedScanner scanner;
    DeviceProber prober;
    prober.setDiskScanner([&scanner] { return scanner.scan(); });
    QueuedCounter finished(&prober, &DeviceProber::probeFinished);

    prober.startProbeDevice(kDisk);  // not started: nothing
    EXPECT_EQ(prober.currentState(), DeviceProber::NotStarted);
    prober.startProbe();  // starts the thread, whose prepared() asks for a probe
    while (!scanner.entered.tryAcquire(1, 10))
        QCoreApplication::processEvents();
    EXPECT_EQ(prober.currentState(), DeviceProber::Probing);
    prober.startProbe();
    prober.startProbeDevice(kDisk);
    scanner.gate.release();
    ASSERT_TRUE(finished.waitFor(1));

    // Anything posted meanwhile would run before this call returns.
    DeviceEventDispather* dispatcher = prober.currentDispatcher();
    ASSERT_NE(dispatcher, nullptr);
    QMetaObject::invokeMethod(
        dispatcher, [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::processEvents();
    EXPECT_EQ(scanner.calls.load(), 1);
    EXPECT_EQ(finished.count, 1);
    EXPECT_EQ(prober.currentState(), DeviceProber::Idle);

    scanner.gate.release();  // the next probe may pass at once
    prober.startProbe();
    ASSERT_TRUE(finished.waitFor(2));
    EXPECT_EQ(scanner.calls.load(), 2);
}

TEST(Eject, UnknownDriveDoesNothing)
{
    probertest::testApp();
    FakeMachine machine;
    CDROMManager manager;
    QSignalSpy umounts(&manager, &CDROMManager::requestUmount);
    EXPECT_EQ(manager.eject(makedev(11, 5)), 0);
    EXPECT_EQ(umounts.count(), 0);
}

TEST(Eject, FailuresAreReportedAsFailures)
{
    probertest::testApp();
    FakeMachine machine;
    // sr1: the node is a plain file, which refuses the eject request.
    testsupport::MakeSparseFile(machine.dev("sr1"), 0);
    machine.linkDevBlock(makedev(11, 1), "sr1");
    // sr2: sysfs knows the drive but its node is gone.
    machine.addSysfsDevice("virtual/block/sr2", makedev(11, 2), "disk");
    CDROMManager manager;
    QSignalSpy umounts(&manager, &CDROMManager::requestUmount);
    CriticalMessages critical;
    EXPECT_EQ(manager.eject(makedev(11, 1)), 0);
    EXPECT_EQ(manager.eject(makedev(11, 2)), 0);
    EXPECT_EQ(numbersOf(umounts), (std::vector<dev_t>{makedev(11, 1), makedev(11, 2)}));

    // One line each: the node, the error number and its text in quotes.
    char* sr1 = realpath(machine.dev("sr1").c_str(), nullptr);
    ASSERT_NE(sr1, nullptr);
    const struct {
        std::string node;
        int error;
    } expected[] = {{sr1, ENOTTY}, {machine.dev("sr2"), ENOENT}};
    free(sr1);
    ASSERT_EQ(critical.lines.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QString line = critical.lines.at(i);
        SCOPED_TRACE(line.toStdString());
        EXPECT_TRUE(line.startsWith(QStringLiteral("Unable to eject cdrom ")));
        EXPECT_TRUE(line.contains(QString::fromStdString(expected[i].node)));
        EXPECT_TRUE(
            line.contains(QRegularExpression(QStringLiteral("errno=\\s*%1\\b").arg(expected[i].error))));
        EXPECT_TRUE(line.contains(QLatin1Char('"') + QString::fromUtf8(strerror(expected[i].error)) +
                                  QLatin1Char('"')));
    }
}

}  // namespace
