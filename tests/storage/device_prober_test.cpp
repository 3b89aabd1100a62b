// The device prober on fake machines: real partition tables and file
// systems in files, read through libparted, libblkid and the used-space
// measurement, with letters, whole-disk volumes and optical drives.
#include "platform/linux/device_prober.h"
#include "storage/parted_sanitizer_options.h"
#include "storage/prober_fixtures.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

using probertest::FakeMachine;
using probertest::PartSpec;

namespace {

const dev_t kSdx = makedev(8, 0);
const dev_t kSdy = makedev(8, 16);
const dev_t kSdw = makedev(8, 32);
const dev_t kNvme = makedev(8, 48);  // small numbers keep the fake simple
const dev_t kSr0 = makedev(11, 0);

// The tools that make the fake disks' tables and file systems.
std::string missingFormatter()
{
    return probetest::FirstMissingProgram({"sfdisk", "mkfs.fat", "mkntfs", "mkswap", "mke2fs"});
}

const PartitionRecord* partitionAt(const DiskRecord* disk, const std::string& path)
{
    for (const PartitionRecord* part = disk ? disk->partitions : nullptr; part; part = part->next) {
        if (part->path && path == part->path)
            return part;
    }
    return nullptr;
}

const DiskRecord* diskAt(const DiskList& disks, const std::string& path)
{
    for (const DiskRecord* disk = disks.first(); disk; disk = disk->next) {
        if (disk->path && path == disk->path)
            return disk;
    }
    return nullptr;
}

// One machine for the full-probe tests, built once: formatting is the slow part.
class FullProbe : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        probertest::testApp();
        if (!missingFormatter().empty())
            return;
        machine = new FakeMachine;
        bool built = machine->makeDisk("sdx", kSdx,
                                       {{"ntfs", 430079, "System Reserved", true, false},
                                        {"ntfs", 430080, "System Reserved", true, false},
                                        {"fat32", 70000, "DATA", false, false},
                                        {"fat16", 20480, "LOGIC", false, true}}) &&
                     machine->makeDisk("sdy", kSdy,
                                       {{"swap", 8192, "", false, false},
                                        {"ext4", 16384, "LINUX", false, false},
                                        {"fat16", 16384, "USB", false, false}}) &&
                     machine->makeWholeDiskVolume("sdw", kSdw, {"fat32", 70000, "STICK", false, false}) &&
                     machine->makeDisk("nvme0n1", kNvme, {{"fat16", 16384, "FAST", false, false}});
        testsupport::MakeSparseFile(machine->dev("fd0"), 1474560);
        machine->addOpticalDrive("sr0", kSr0);
        if (!built) {
            delete machine;
            machine = nullptr;
            return;
        }
        prober = new DeviceProber;
        const QString dev = QString::fromStdString(machine->dev(""));
        prober->setDiskScanner([dev] {
            return QStringList{dev + "sdx", dev + "sdy", dev + "fd0", dev + "sdw", dev + "nvme0n1"};
        });
        prober->setDriveStatusReader([](const QString&) { return 1; });
        finishedSignals = new QSignalSpy(prober, &DeviceProber::probeFinished);
        prober->probeAll();
        listed = new DiskList(prober->snapshot());
    }
    static void TearDownTestSuite()
    {
        delete listed;
        listed = nullptr;
        delete finishedSignals;
        delete prober;
        delete machine;
        finishedSignals = nullptr;
        prober = nullptr;
        machine = nullptr;
    }
    void SetUp() override
    {
        SKIP_IF_MISSING(missingFormatter());
        if (!prober)
            GTEST_FAIL() << "the fake machine could not be built";
    }
    std::string dev(const std::string& name) const { return machine->dev(name); }

    static FakeMachine* machine;
    static DeviceProber* prober;
    static QSignalSpy* finishedSignals;
    static DiskList* listed;  // the list after the probe
};

DiskList* FullProbe::listed = nullptr;

FakeMachine* FullProbe::machine = nullptr;
DeviceProber* FullProbe::prober = nullptr;
QSignalSpy* FullProbe::finishedSignals = nullptr;

TEST_F(FullProbe, ListsAcceptedDisksInScanOrderThenOpticalDrives)
{
    EXPECT_EQ(finishedSignals->count(), 1);
    EXPECT_EQ(prober->currentState(), DeviceProber::Idle);
    std::vector<std::string> paths;
    for (const DiskRecord* disk = listed->first(); disk; disk = disk->next)
        paths.push_back(disk->path);
    EXPECT_EQ(paths,
              (std::vector<std::string>{dev("sdx"), dev("sdy"), dev("sdw"), dev("nvme0n1"), dev("sr0")}));
    const DiskRecord* sdx = diskAt(*listed, dev("sdx"));
    ASSERT_NE(sdx, nullptr);
    EXPECT_EQ(sdx->rdev, kSdx);
    EXPECT_EQ(sdx->sectorSize, 512u);
    EXPECT_EQ(sdx->kind, DiskKindDisk);
    EXPECT_EQ(prober->opticalDriveCount(), 1);
}

TEST_F(FullProbe, TablePartitionsCarryLibpartedFacts)
{
    const DiskRecord* sdx = diskAt(*listed, dev("sdx"));
    ASSERT_EQ(countPartitions(sdx->partitions), 4);  // the extended entry is skipped
    const PartitionRecord* data = partitionAt(sdx, dev("sdx3"));
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(data->fsName, "fat32");
    EXPECT_STREQ(data->label, "DATA");
    EXPECT_NE(data->uuid, nullptr);
    EXPECT_EQ(data->kind, PartitionKindPrimary);
    EXPECT_EQ(data->end, data->start + data->length - 1);
    EXPECT_EQ(data->length, 70000u);
    EXPECT_EQ(data->rdev, kSdx + 3);
    EXPECT_EQ(data->disk, sdx);
    EXPECT_EQ(data->wholeDisk, 0);
    EXPECT_GT(data->usedSectors, 0u);
    EXPECT_LT(data->usedSectors, data->length);
    const PartitionRecord* logical = partitionAt(sdx, dev("sdx5"));
    ASSERT_NE(logical, nullptr);
    EXPECT_EQ(logical->kind, PartitionKindLogical);
    EXPECT_STREQ(logical->fsName, "fat16");
    const PartitionRecord* reserved = partitionAt(sdx, dev("sdx1"));
    ASSERT_NE(reserved, nullptr);
    EXPECT_STREQ(reserved->fsName, "ntfs");
    EXPECT_EQ(reserved->active, 1);
    EXPECT_GT(reserved->usedSectors, 0u);
}

TEST_F(FullProbe, LettersFollowProbeOrderWithTheSystemReservedRule)
{
    const DiskRecord* sdx = diskAt(*listed, dev("sdx"));
    const DiskRecord* sdy = diskAt(*listed, dev("sdy"));
    const struct {
        const DiskRecord* disk;
        std::string path;
        char letter;
    } cases[] = {
        {sdx, dev("sdx1"), ' '},  // 430079 sectors: hidden, no letter used
        {sdx, dev("sdx2"), 'C'},  // 430080 sectors: one too many
        {sdx, dev("sdx3"), 'D'}, {sdx, dev("sdx5"), 'E'}, {sdy, dev("sdy1"), 0},  // swap
        {sdy, dev("sdy2"), 0},                                                    // ext4
        {sdy, dev("sdy3"), 'F'},
    };
    for (const auto& c : cases) {
        const PartitionRecord* part = partitionAt(c.disk, c.path);
        ASSERT_NE(part, nullptr) << c.path;
        EXPECT_EQ(part->letter, c.letter) << c.path;
    }
    const PartitionRecord* swap = partitionAt(sdy, dev("sdy1"));
    EXPECT_NE(strstr(swap->fsName, "swap"), nullptr) << swap->fsName;
    EXPECT_EQ(swap->usedSectors, 0u);
    const PartitionRecord* ext4 = partitionAt(sdy, dev("sdy2"));
    EXPECT_STREQ(ext4->fsName, "ext4");
    EXPECT_EQ(ext4->usedSectors, 0u);
}

TEST_F(FullProbe, PartitionlessStickIsOneWholeDiskVolume)
{
    const DiskRecord* stick = diskAt(*listed, dev("sdw"));
    ASSERT_NE(stick, nullptr);
    ASSERT_EQ(countPartitions(stick->partitions), 1);
    const PartitionRecord* volume = stick->partitions;
    EXPECT_EQ(volume->path, dev("sdw"));
    EXPECT_EQ(volume->rdev, kSdw);
    EXPECT_EQ(volume->start, 0u);
    EXPECT_EQ(volume->length, stick->length);
    EXPECT_EQ(volume->end, stick->length - 1);
    EXPECT_STREQ(volume->fsName, "FAT32");
    EXPECT_STREQ(volume->label, "STICK");
    EXPECT_EQ(volume->wholeDisk, 1);  // no boot record of its own
    EXPECT_EQ(volume->letter, 'G');
    EXPECT_GT(volume->usedSectors, 0u);
}

TEST_F(FullProbe, NvmeDisksAreListedAndOpticalDrivesLetteredLast)
{
    const DiskRecord* nvme = diskAt(*listed, dev("nvme0n1"));
    ASSERT_NE(nvme, nullptr);
    const PartitionRecord* part = partitionAt(nvme, dev("nvme0n1p1"));
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->letter, 'H');
    const DiskRecord* drive = diskAt(*listed, dev("sr0"));
    ASSERT_NE(drive, nullptr);
    EXPECT_EQ(drive->kind, DiskKindOptical);
    EXPECT_EQ(drive->rdev, kSr0);
    EXPECT_EQ(drive->driveStatus, 1);
    EXPECT_EQ(drive->model, nullptr);
    ASSERT_EQ(countPartitions(drive->partitions), 1);
    EXPECT_EQ(drive->partitions->letter, 'I');
    EXPECT_EQ(drive->partitions->rdev, kSr0);
    EXPECT_EQ(diskAt(*listed, dev("fd0")), nullptr);
}

TEST_F(FullProbe, ConsoleLookUps)
{
    const DiskRecord* sdx = diskAt(*listed, dev("sdx"));
    const PartitionRecord* data = partitionAt(sdx, dev("sdx3"));
    const QString dataPath = QString::fromStdString(dev("sdx3"));
    EXPECT_EQ(prober->partitionFreeBytes(dataPath),
              static_cast<qint64>(data->length * 512 - data->usedSectors * 512));
    EXPECT_EQ(prober->partitionFsName(dataPath), QStringLiteral("fat32"));
    const QString stick = QString::fromStdString(dev("sdw"));
    EXPECT_GT(prober->partitionFreeBytes(stick), 0);
    EXPECT_EQ(prober->partitionFsName(stick), QStringLiteral("FAT32"));
    // Unmeasured (swap) and unknown paths have no free space to offer.
    EXPECT_EQ(prober->partitionFreeBytes(QString::fromStdString(dev("sdy1"))), 0);
    EXPECT_EQ(prober->partitionFreeBytes(QString::fromStdString(dev("sdq1"))), 0);
    EXPECT_EQ(prober->partitionFsName(QString::fromStdString(dev("sdq1"))), QString());
}

// A prober whose list the test writes by hand.
class HandBuiltList : public ::testing::Test {
protected:
    HandBuiltList() { probertest::testApp(); }
    DiskRecord* addDisk(const char* path, uint64_t sectorSize, uint64_t length)
    {
        DiskRecord* disk = new DiskRecord;
        disk->path = duplicateText(path);
        disk->sectorSize = sectorSize;
        disk->length = length;
        prober.addDisk(disk);
        return disk;
    }
    PartitionRecord* addPartition(DiskRecord* disk, const char* path, uint64_t length, uint64_t usedSectors)
    {
        PartitionRecord* part = new PartitionRecord;
        part->disk = disk;
        part->path = duplicateText(path);
        part->length = length;
        part->usedSectors = usedSectors;
        part->fsName = duplicateText("ntfs");
        appendPartition(&disk->partitions, part);
        return part;
    }
    DeviceProber prober;
};

TEST_F(HandBuiltList, FreeBytesAreCountedInBytesAndNeverWrap)
{
    DiskRecord* sdb = addDisk("/dev/sdb", 4096, 1000000);
    addPartition(sdb, "/dev/sdb1", 1000, 800);  // 4 KiB sectors, used in 512-byte units
    addPartition(sdb, "/dev/sdb2", 10, 1000);   // used above length: damaged count
    addPartition(sdb, "/dev/sdb3", 1000, 0);    // not measured
    DiskRecord* nvme = addDisk("/dev/nvme0n1", 512, 1000000);
    addPartition(nvme, "/dev/nvme0n1p2", 2048, 1024);
    const struct {
        const char* path;
        qint64 freeBytes;
    } cases[] = {
        {"/dev/sdb1", 1000 * 4096 - 800 * 512},  {"/dev/sdb2", 0}, {"/dev/sdb3", 0},
        {"/dev/nvme0n1p2", (2048 - 1024) * 512}, {"/dev/sdb9", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(prober.partitionFreeBytes(QString::fromLatin1(c.path)), c.freeBytes) << c.path;
}

TEST_F(HandBuiltList, LookUpsSearchOnlyTheDiskThePathNames)
{
    addDisk("/dev/sdb", 512, 100000);
    DiskRecord* sdc = addDisk("/dev/sdc", 512, 100000);
    addPartition(sdc, "/dev/sdb1", 1000, 10);  // misplaced on purpose
    EXPECT_EQ(prober.partitionFreeBytes(QStringLiteral("/dev/sdb1")), 0);
    EXPECT_EQ(prober.partitionFsName(QStringLiteral("/dev/sdb1")), QString());
}

TEST(LetterExhaustion, TwentyFifthVolumeGetsNoLetterAndRemovalFreesLetters)
{
    probertest::testApp();
    SKIP_IF_MISSING(missingFormatter());
    FakeMachine machine;
    QStringList paths;
    std::vector<dev_t> numbers;
    for (int i = 0; i < 26; ++i) {
        const std::string name = std::string("sd") + char('a' + i / 26) + char('a' + i % 26);
        const dev_t number = makedev(65, i * 16);
        ASSERT_TRUE(machine.makeWholeDiskVolume(name, number, {"fat12", 2048, "", false, false}));
        if (i < 25)
            paths << QString::fromStdString(machine.dev(name));
        numbers.push_back(number);
    }
    DeviceProber prober;
    prober.setDiskScanner([paths] { return paths; });
    prober.probeAll();

    std::string letters;
    const DiskList all = prober.snapshot();
    for (const DiskRecord* disk = all.first(); disk; disk = disk->next)
        letters += disk->partitions && disk->partitions->letter ? disk->partitions->letter : '0';
    EXPECT_EQ(letters, "CDEFGHIJKLMNOPQRSTUVWXYZ0");

    QSignalSpy removed(&prober, &DeviceProber::partitionRemoved);
    prober.handleDiskRemove(numbers[2]);  // held 'E'
    EXPECT_EQ(removed.count(), 1);
    prober.handleDiskAdd(numbers[25], QString::fromStdString(machine.dev("sdaz")));
    const DiskList afterAdd = prober.snapshot();
    const DiskRecord* last = afterAdd.first();
    while (last->next)
        last = last->next;
    ASSERT_NE(last->partitions, nullptr);
    EXPECT_EQ(last->partitions->letter, 'E');

    prober.probeAll();  // starts from 'C' again
    EXPECT_EQ(prober.snapshot().first()->partitions->letter, 'C');
}

TEST(WholeDiskVolumes, OnlyImageableFileSystemsTakeALetter)
{
    probertest::testApp();
    SKIP_IF_MISSING(missingFormatter());
    FakeMachine machine;
    ASSERT_TRUE(machine.makeWholeDiskVolume("sdr", makedev(8, 96), {"ext4", 16384, "", false, false}));
    ASSERT_TRUE(machine.makeWholeDiskVolume("sds", makedev(8, 112), {"swap", 8192, "", false, false}));
    ASSERT_TRUE(machine.makeWholeDiskVolume("sdt", makedev(8, 128), {"fat12", 4096, "", false, false}));
    const QString dev = QString::fromStdString(machine.dev(""));
    DeviceProber prober;
    prober.setDiskScanner([dev] { return QStringList{dev + "sdr", dev + "sds", dev + "sdt"}; });
    prober.probeAll();
    std::string found;
    const DiskList disks = prober.snapshot();
    for (const DiskRecord* disk = disks.first(); disk; disk = disk->next) {
        ASSERT_EQ(countPartitions(disk->partitions), 1) << disk->path;
        EXPECT_EQ(disk->partitions->wholeDisk, 1);
        found += std::string(disk->partitions->fsName) + "=" +
                 (disk->partitions->letter ? disk->partitions->letter : '0') + " ";
    }
    EXPECT_EQ(found, "ext4=0 swap=0 FAT12=C ");
}

TEST(ProbeDevice, ReReadPartitionTakesTheNewFileSystemAndDropsItsLetter)
{
    probertest::testApp();
    SKIP_IF_MISSING(missingFormatter());
    // A lettered partition, and a hidden system partition that must leave the
    // tree as well once it holds swap.
    const struct {
        PartSpec before;
        char letterBefore;
    } cases[] = {
        {{"fat16", 16384, "OLD", false, false}, 'C'},
        {{"ntfs", 16384, "System Reserved", true, false}, ' '},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before.fs);
        FakeMachine machine;
        const dev_t disk = makedev(8, 64);
        ASSERT_TRUE(machine.makeDisk("sdz", disk, {c.before}));
        DeviceProber prober;
        const QString diskPath = QString::fromStdString(machine.dev("sdz"));
        prober.setDiskScanner([diskPath] { return QStringList{diskPath}; });
        prober.probeAll();
        {
            const DiskList before = prober.snapshot();
            const PartitionRecord* part = before.first()->partitions;
            ASSERT_NE(part, nullptr);
            ASSERT_EQ(part->letter, c.letterBefore);
        }

        // The kernel's view of the partition, and a new file system on it.
        const dev_t partNumber = disk + 1;
        const std::string block = machine.addSysfsDevice("virtual/block/sdz/sdz1", partNumber, "partition");
        std::ofstream(block + "/start") << "2048\n";
        std::ofstream(block + "/size") << "16384\n";
        machine.linkDevBlock(partNumber, "sdz1");
        ASSERT_TRUE(FakeMachine::format(machine.dev("sdz1"), {"swap", 16384, "NEW", false, false}, 0));

        QSignalSpy updated(&prober, &DeviceProber::partitionUpdated);
        prober.probeDevice(partNumber);
        ASSERT_EQ(updated.count(), 1);
        EXPECT_EQ(updated.at(0).at(0).value<dev_t>(), partNumber);
        const DiskList after = prober.snapshot();
        const PartitionRecord* part = after.partitionByDev(partNumber);
        ASSERT_NE(part, nullptr);
        EXPECT_STREQ(part->fsName, "swap");
        EXPECT_STREQ(part->label, "NEW");
        EXPECT_EQ(part->letter, 0);
        EXPECT_EQ(part->start, 2048u);
        EXPECT_EQ(part->length, 16384u);
        EXPECT_EQ(part->end, 2048u + 16384u - 1);
        EXPECT_EQ(prober.letters.take(), 'C');  // released, or never taken
    }
}

TEST(ProbeDevice, ReReadWholeDiskVolumeKeepsItsLetter)
{
    probertest::testApp();
    SKIP_IF_MISSING(missingFormatter());
    FakeMachine machine;
    const dev_t number = makedev(8, 80);
    ASSERT_TRUE(machine.makeWholeDiskVolume("sdv", number, {"fat16", 16384, "BEFORE", false, false}));
    DeviceProber prober;
    const QString path = QString::fromStdString(machine.dev("sdv"));
    prober.setDiskScanner([path] { return QStringList{path}; });
    prober.probeAll();
    {
        const DiskList before = prober.snapshot();
        ASSERT_NE(before.first()->partitions, nullptr);
        EXPECT_EQ(before.first()->partitions->letter, 'C');
    }

    ASSERT_TRUE(FakeMachine::format(machine.dev("sdv"), {"fat16", 16384, "AFTER", false, false}, 0));
    QSignalSpy diskUpdated(&prober, &DeviceProber::diskUpdated);
    QSignalSpy partitionUpdated(&prober, &DeviceProber::partitionUpdated);
    prober.probeDevice(number);
    EXPECT_EQ(diskUpdated.count(), 1);
    EXPECT_EQ(partitionUpdated.count(), 1);
    const DiskList after = prober.snapshot();
    ASSERT_NE(after.first()->partitions, nullptr);
    EXPECT_STREQ(after.first()->partitions->label, "AFTER");
    EXPECT_EQ(after.first()->partitions->letter, 'C');
    EXPECT_EQ(after.first()->partitions->wholeDisk, 1);
}

// The disk that holds a partition comes from the list (the partition's
// parent when it was probed), not from its node's name: names such as
// dm-1 or a whole-disk volume part no digits from a disk's name.
TEST(DiskOfPartition, TheListedParentDiskWhateverTheNodesAreCalled)
{
    probertest::testApp();
    const struct {
        const char* disk;
        const char* partition;
    } listed[] = {
        {"/dev/sda", "/dev/sda12"},         {"/dev/nvme0n1", "/dev/nvme0n1p1"},
        {"/dev/mmcblk0", "/dev/mmcblk0p1"}, {"/dev/loop0", "/dev/loop0p1"},
        {"/dev/dm-0", "/dev/dm-1"},         {"/dev/sdc", "/dev/sdc"},
        {"/dev/md127", "/dev/md127p2"},
    };
    DeviceProber prober;
    for (const auto& entry : listed) {
        auto* disk = new DiskRecord;
        disk->path = duplicateText(entry.disk);
        auto* part = new PartitionRecord;
        part->disk = disk;
        part->path = duplicateText(entry.partition);
        part->wholeDisk = std::string(entry.disk) == entry.partition ? 1 : 0;
        appendPartition(&disk->partitions, part);
        prober.addDisk(disk);
    }
    for (const auto& entry : listed)
        EXPECT_EQ(prober.diskOfPartition(QString::fromLatin1(entry.partition)),
                  QString::fromLatin1(entry.disk))
            << entry.partition;
    // A partition the list does not know: its name is all there is.
    EXPECT_EQ(prober.diskOfPartition(QStringLiteral("/dev/sdq3")), QStringLiteral("/dev/sdq"));
    EXPECT_EQ(prober.diskOfPartition(QStringLiteral("/dev/nvme1n1p4")), QStringLiteral("/dev/nvme1n1"));
}

// A snapshot is a copy of its own: it outlives the list it was taken of,
// and its partitions point at their copied disks.
TEST(Snapshot, ACopyThatOutlivesTheList)
{
    probertest::testApp();
    DeviceProber prober;
    auto* disk = new DiskRecord;
    disk->path = duplicateText("/dev/sdz");
    disk->model = duplicateText("Test disk");
    disk->sectorSize = 512;
    auto* part = new PartitionRecord;
    part->disk = disk;
    part->path = duplicateText("/dev/sdz1");
    part->label = duplicateText("DATA");
    part->uuid = duplicateText("1234ABCD");
    part->rdev = 77;
    part->letter = 'C';
    appendPartition(&disk->partitions, part);
    prober.addDisk(disk);

    const DiskList copy = prober.snapshot();
    prober.clearDisks();
    EXPECT_EQ(prober.snapshot().first(), nullptr);
    ASSERT_NE(copy.first(), nullptr);
    EXPECT_NE(copy.first(), disk);
    EXPECT_STREQ(copy.first()->model, "Test disk");
    const PartitionRecord* copied = copy.partitionByDev(77);
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied, copy.partitionByPath("/dev/sdz1"));
    EXPECT_EQ(copied->disk, copy.first());
    EXPECT_STREQ(copied->label, "DATA");
    EXPECT_STREQ(copied->uuid, "1234ABCD");
    EXPECT_EQ(copied->letter, 'C');
}

// The GUI takes snapshots while the prober's thread rebuilds its list.
TEST(Snapshot, TakenWhileTheListChanges)
{
    probertest::testApp();
    DeviceProber prober;
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int round = 0; round < 200; ++round) {
            auto* disk = new DiskRecord;
            disk->path = duplicateText("/dev/sdz");
            auto* part = new PartitionRecord;
            part->disk = disk;
            part->path = duplicateText("/dev/sdz1");
            appendPartition(&disk->partitions, part);
            prober.addDisk(disk);
            if (round % 2)
                prober.clearDisks();
        }
        done = true;
    });
    int seen = 0;
    while (!done) {
        const DiskList disks = prober.snapshot();
        for (const DiskRecord* disk = disks.first(); disk; disk = disk->next) {
            EXPECT_STREQ(disk->partitions->path, "/dev/sdz1");
            ++seen;
        }
    }
    changer.join();
    // What the test is for: the sanitizers see no race and no freed record.
    (void)seen;
}

}  // namespace
