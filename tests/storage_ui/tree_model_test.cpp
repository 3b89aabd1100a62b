// The partition tree: rows and columns built from the prober's list,
// checked by Qt's model tester.
#include "platform/linux/device_prober.h"
#include "storage/parted_sanitizer_options.h"
#include "storage/prober_fixtures.h"
#include "storage_ui/tree_model.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class TreeModelTest : public ::testing::Test {
protected:
    TreeModelTest() { probertest::testApp(); }

    DiskRecord* addDisk(const char* path, const char* model, int kind = DiskKindDisk, int usb = 0)
    {
        DiskRecord* disk = new DiskRecord;
        disk->path = duplicateText(path);
        disk->model = duplicateText(model);
        disk->kind = kind;
        disk->usb = usb;
        disk->rdev = ++lastNumber;
        disk->sectorSize = kind == DiskKindOptical ? 0 : 512;
        disk->length = kind == DiskKindOptical ? 0 : 2097152;  // 1 GiB
        prober.addDisk(disk);
        return disk;
    }
    PartitionRecord* addPartition(DiskRecord* disk, const char* path, char letter, const char* label,
                                  const char* fsName, int active = 0, int kind = 0)
    {
        PartitionRecord* part = new PartitionRecord;
        part->disk = disk;
        part->path = duplicateText(path);
        part->letter = letter;
        part->label = duplicateText(label);
        part->fsName = duplicateText(fsName);
        part->active = active;
        part->kind = kind;
        part->rdev = ++lastNumber;
        part->start = 2048;
        part->length = 204800;  // 100 MiB
        part->end = part->start + part->length - 1;
        part->usedSectors = 4096;  // 2 MiB
        appendPartition(&disk->partitions, part);
        return part;
    }
    QStringList rowTexts(const QModelIndex& index) const
    {
        QStringList texts;
        for (int column = 0; column < model.columnCount(index.parent()); ++column)
            texts << model.index(index.row(), column, index.parent()).data().toString();
        return texts;
    }
    TreeItem* item(const QModelIndex& index) const { return static_cast<TreeItem*>(index.internalPointer()); }

    dev_t lastNumber = 0x800;
    DeviceProber prober;
    TreeModel model{&prober, nullptr};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(TreeModelTest, HeadersAndEmptyUntilTheFirstProbe)
{
    EXPECT_EQ(model.columnCount(), 6);
    QStringList headers;
    for (int section = 0; section < 6; ++section)
        headers << model.headerData(section, Qt::Horizontal).toString();
    EXPECT_EQ(headers, (QStringList{" ", "Partition", "Flags", "Capacity", "Used space", "Type"}));
    EXPECT_FALSE(model.headerData(0, Qt::Vertical).isValid());
    addDisk("/dev/sda", "Disk A");
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(TreeModelTest, RowsFollowTheProbersList)
{
    DiskRecord* sda = addDisk("/dev/sda", "ATA Disk");
    addPartition(sda, "/dev/sda1", ' ', "System Reserved", "ntfs", 1, 0);
    addPartition(sda, "/dev/sda2", 'C', "WIN", "ntfs", 0, 0);
    addPartition(sda, "/dev/sda12", 'D', nullptr, "fat32", 1, 1);
    addPartition(sda, "/dev/sda5", 0, "SWAP", "linux-swap(v1)");
    addDisk("/dev/sr0", nullptr, DiskKindOptical);
    DiskRecord* sdb = addDisk("/dev/sdb", "USB Stick", DiskKindDisk, 1);
    addPartition(sdb, "/dev/sdb5", 'E', "STICK", "fat16", 0, 1);
    DiskRecord* sdc = addDisk("/dev/sdc", "Linux Disk");
    addPartition(sdc, "/dev/sdc1", 0, nullptr, "ext3");
    addPartition(sdc, "/dev/sdc2", 0, nullptr, "linux-swap(v1)");

    QSignalSpy rowsChanged(&model, &TreeModel::rowCountChanged);
    model.refresh();
    EXPECT_EQ(rowsChanged.count(), 1);
    ASSERT_EQ(model.rowCount(), 3);  // the optical drive is never shown

    const QModelIndex disk0 = model.index(0, 0);
    EXPECT_EQ(rowTexts(disk0), (QStringList{"Disk 0", "ATA Disk", " ", "1024.00 MB", " ", " "}));
    EXPECT_EQ(item(disk0)->type, TreeItem::Disk);
    EXPECT_EQ(item(disk0)->path, QStringLiteral("/dev/sda"));
    EXPECT_EQ(item(disk0)->number, 0);
    EXPECT_EQ(item(disk0)->letter, '0');
    EXPECT_EQ(item(disk0)->text, QStringLiteral("ATA Disk"));
    EXPECT_EQ(item(disk0)->sectorCount, 2097152u);
    EXPECT_EQ(item(disk0)->partitionCount, 4);
    ASSERT_EQ(model.rowCount(disk0), 3);  // the swap partition has no letter

    const QModelIndex hidden = model.index(0, 0, disk0);
    EXPECT_EQ(rowTexts(hidden),
              (QStringList{" ", "System Reserved", "Pri,Act", "100.00 MB", "2.00 MB", "NTFS"}));
    EXPECT_TRUE(model.flags(hidden) & Qt::ItemIsSelectable);
    EXPECT_EQ(item(hidden)->letter, ' ');
    EXPECT_FALSE(hidden.data(Qt::DecorationRole).isNull());
    EXPECT_TRUE(disk0.data(Qt::DecorationRole).isNull());

    const QModelIndex windows = model.index(1, 0, disk0);
    EXPECT_EQ(rowTexts(windows), (QStringList{" ", "WIN (C:)", "Pri", "100.00 MB", "2.00 MB", "NTFS"}));
    const QModelIndex unlabelled = model.index(2, 0, disk0);
    EXPECT_EQ(rowTexts(unlabelled),
              (QStringList{" ", " (D:)", "Logic,Act", "100.00 MB", "2.00 MB", "FAT32"}));
    const TreeItem* twelve = item(unlabelled);
    EXPECT_EQ(twelve->type, TreeItem::DiskPartition);
    EXPECT_EQ(twelve->number, 12);
    EXPECT_EQ(twelve->letter, 'D');
    EXPECT_EQ(twelve->startSector, 2048u);
    EXPECT_EQ(twelve->sectorCount, 204800u);
    EXPECT_EQ(twelve->usedBytes, 4096u * 512);
    EXPECT_EQ(twelve->parent(), item(disk0));

    const QModelIndex disk1 = model.index(1, 0);
    EXPECT_EQ(rowTexts(disk1).at(0), QStringLiteral("Disk 1"));  // numbering skips the drive
    EXPECT_EQ(item(disk1)->type, TreeItem::UsbDisk);
    ASSERT_EQ(model.rowCount(disk1), 1);
    const QModelIndex stick = model.index(0, 0, disk1);
    EXPECT_EQ(item(stick)->type, TreeItem::UsbDiskPartition);
    EXPECT_EQ(item(stick)->number, 5);
    EXPECT_EQ(rowTexts(stick).at(2), QStringLiteral("Logic"));

    const QModelIndex disk2 = model.index(2, 0);
    EXPECT_EQ(model.rowCount(disk2), 0);
    EXPECT_EQ(item(disk2)->partitionCount, 2);
    EXPECT_FALSE(model.index(3, 0).isValid());
    EXPECT_FALSE(model.index(0, 6).isValid());
    EXPECT_EQ(model.rowCount(model.index(0, 1)), 0);
    EXPECT_EQ(model.flags(QModelIndex()), Qt::NoItemFlags);
}

TEST_F(TreeModelTest, UsedSpaceIsCountedIn512ByteUnitsOnLargeSectorDisks)
{
    DiskRecord* disk = addDisk("/dev/nvme0n1", "NVMe");
    disk->sectorSize = 4096;
    disk->length = 262144;  // 1 GiB
    PartitionRecord* part = addPartition(disk, "/dev/nvme0n1p1", 'C', "DATA", "ntfs");
    part->length = 25600;  // 100 MiB
    model.refresh();
    const QModelIndex diskIndex = model.index(0, 0);
    EXPECT_EQ(rowTexts(diskIndex).at(3), QStringLiteral("1024.00 MB"));
    const QModelIndex row = model.index(0, 0, diskIndex);
    EXPECT_EQ(rowTexts(row).at(3), QStringLiteral("100.00 MB"));
    EXPECT_EQ(rowTexts(row).at(4), QStringLiteral("2.00 MB"));
    EXPECT_EQ(item(row)->usedBytes, 4096u * 512);
    EXPECT_EQ(item(row)->number, 1);
}

// A partition a restore left unfinished says so where its file system
// would stand, and its row carries the fact for the wizards.
TEST_F(TreeModelTest, AnUnfinishedRestoreShowsAsSuch)
{
    DiskRecord* disk = addDisk("/dev/sdb", "DISK");
    PartitionRecord* part = addPartition(disk, "/dev/sdb1", 0, nullptr, nullptr);
    part->unfinishedRestore = 1;
    addPartition(disk, "/dev/sdb2", 'D', "DATA", "ntfs");
    model.refresh();
    const QModelIndex diskIndex = model.index(0, 0);
    const QModelIndex unfinished = model.index(0, 0, diskIndex);
    EXPECT_EQ(rowTexts(unfinished).at(5), QStringLiteral("Unfinished restore"));
    EXPECT_TRUE(item(unfinished)->unfinishedRestore);
    const QModelIndex whole = model.index(1, 0, diskIndex);
    EXPECT_EQ(rowTexts(whole).at(5), QStringLiteral("NTFS"));
    EXPECT_FALSE(item(whole)->unfinishedRestore);
}

TEST_F(TreeModelTest, OnlyOpticalDrivesGiveAnEmptyTree)
{
    addDisk("/dev/sr0", nullptr, DiskKindOptical);
    addDisk("/dev/sr1", nullptr, DiskKindOptical);
    model.refresh();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(TreeModelTest, RefreshKeepsOnlyTheCurrentRows)
{
    DiskRecord* sda = addDisk("/dev/sda", "A");
    addPartition(sda, "/dev/sda1", 'C', "ONE", "ntfs");
    model.refresh();
    ASSERT_EQ(model.rowCount(), 1);
    prober.clearDisks();
    DiskRecord* sdb = addDisk("/dev/sdb", "B");
    addPartition(sdb, "/dev/sdb1", 'C', "TWO", "fat32");
    addPartition(sdb, "/dev/sdb2", 'D', "THREE", "fat32");
    emit prober.probeFinished();  // the model listens to its prober
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(item(model.index(0, 0))->path, QStringLiteral("/dev/sdb"));
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 2);
}

// The clone's destinations: every partition, also those without a letter
// (another file system, swap, or none at all), named by their device.
TEST_F(TreeModelTest, ListingEveryPartitionShowsTheUnletteredOnesToo)
{
    DiskRecord* sda = addDisk("/dev/sda", "ATA Disk");
    addPartition(sda, "/dev/sda1", 'C', "WIN", "ntfs");
    addPartition(sda, "/dev/sda2", 0, nullptr, "ext4");
    addPartition(sda, "/dev/sda3", 0, nullptr, nullptr);
    addPartition(sda, "/dev/sda5", 0, "SWAP", "linux-swap(v1)");
    model.refresh();
    const QModelIndex disk = model.index(0, 0);
    ASSERT_EQ(model.rowCount(disk), 1);

    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setListsEveryPartition(true);
    EXPECT_EQ(reset.count(), 1);
    const QModelIndex listed = model.index(0, 0);
    ASSERT_EQ(model.rowCount(listed), 4);
    EXPECT_EQ(rowTexts(model.index(1, 0, listed)),
              (QStringList{" ", "sda2", "Pri", "100.00 MB", "2.00 MB", "EXT4"}));
    EXPECT_EQ(rowTexts(model.index(2, 0, listed)).at(1), QStringLiteral("sda3"));
    EXPECT_EQ(rowTexts(model.index(2, 0, listed)).at(5), QString());
    EXPECT_EQ(item(model.index(3, 0, listed))->path, QStringLiteral("/dev/sda5"));
    EXPECT_EQ(item(model.index(3, 0, listed))->type, TreeItem::DiskPartition);

    // A partition plugged in later is listed too.
    PartitionRecord* later = addPartition(sda, "/dev/sda6", 0, nullptr, "xfs");
    model.addPartition(later->rdev);
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 5);

    model.setListsEveryPartition(false);
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 1);
}

TEST_F(TreeModelTest, HotPlugSlotsInsertRows)
{
    DiskRecord* sda = addDisk("/dev/sda", "A");
    addPartition(sda, "/dev/sda1", 'C', "ONE", "ntfs");
    model.refresh();
    addDisk("/dev/sr0", nullptr, DiskKindOptical);
    DiskRecord* sdb = addDisk("/dev/sdb", "B", DiskKindDisk, 1);
    PartitionRecord* first = addPartition(sdb, "/dev/sdb1", 'D', "TWO", "fat32");
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.addDisk(sdb->rdev);
    ASSERT_EQ(model.rowCount(), 2);
    const QModelIndex disk1 = model.index(1, 0);
    EXPECT_EQ(rowTexts(disk1).at(0), QStringLiteral("Disk 1"));
    EXPECT_EQ(model.rowCount(disk1), 1);
    EXPECT_EQ(inserted.count(), 2);

    model.addPartition(first->rdev);  // already shown
    EXPECT_EQ(model.rowCount(disk1), 1);
    PartitionRecord* second = addPartition(sdb, "/dev/sdb2", 'E', "THREE", "fat32");
    PartitionRecord* unlettered = addPartition(sdb, "/dev/sdb3", 0, nullptr, "ext4");
    model.addPartition(unlettered->rdev);
    model.addPartition(0x7777);  // not listed
    EXPECT_EQ(model.rowCount(disk1), 1);
    model.addPartition(second->rdev);
    ASSERT_EQ(model.rowCount(disk1), 2);
    const QModelIndex added = model.index(1, 0, disk1);
    EXPECT_EQ(rowTexts(added), (QStringList{" ", "THREE (E:)", "Pri", "100.00 MB", "2.00 MB", "FAT32"}));
    EXPECT_EQ(item(added)->type, TreeItem::UsbDiskPartition);
    EXPECT_EQ(item(added)->path, QStringLiteral("/dev/sdb2"));
}

TEST(TreeItemTest, RowsChildrenAndData)
{
    TreeItem root({QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_EQ(root.row(), -1);
    EXPECT_EQ(root.parent(), nullptr);
    TreeItem* child = new TreeItem({QStringLiteral("c")});
    TreeItem* second = new TreeItem({QStringLiteral("d")});
    root.appendChild(child);
    root.appendChild(second);
    EXPECT_EQ(root.childCount(), 2);
    EXPECT_EQ(second->row(), 1);
    EXPECT_EQ(second->parent(), &root);
    EXPECT_EQ(root.child(2), nullptr);
    EXPECT_EQ(root.child(-1), nullptr);
    EXPECT_EQ(root.data(1).toString(), QStringLiteral("b"));
    EXPECT_FALSE(root.data(2).isValid());
    EXPECT_EQ(child->letter, '0');
    EXPECT_EQ(child->number, 0);
}

}  // namespace
