// The desktop's disk tree on simulated machines: rows from the inventory,
// the system partition in red, removable disks, disks without lettered
// partitions, and no disks at all.
#include "desktop/desk_machine.h"
#include "desktop/desk_test_app.h"
#include "programs/desktop/desk_tree_model.h"
#include "wizard/window_checks.h"

#include <gtest/gtest.h>

#include <QBrush>
#include <QLabel>
#include <QTreeView>

#include <algorithm>

using desktest::DeskMachine;

namespace {

TEST(DeskTreeModel, RowsOfTheInventoryWithTheSystemInRed)
{
    desktest::testApp();
    DeskMachine machine;
    ASSERT_TRUE(machine.ok);
    desk::TreeModel model;
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex disk = model.index(0, 0);
    EXPECT_EQ(model.data(disk).toString(), "Disk 0");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "Sorvik Virtual Disk");
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), "100.00 MB");
    const TreeItem* diskItem = model.itemFor(disk);
    EXPECT_EQ(diskItem->type, TreeItem::Disk);
    EXPECT_EQ(diskItem->number, 0);
    EXPECT_EQ(diskItem->partitionCount, 3);
    EXPECT_EQ(diskItem->sectorCount, 204800u);

    ASSERT_EQ(model.rowCount(disk), 3);
    const char letters[] = {'c', 'd', 'e'};
    for (int row = 0; row < 3; ++row) {
        const QModelIndex part = model.index(row, 0, disk);
        const TreeItem* item = model.itemFor(part);
        EXPECT_EQ(item->type, TreeItem::DiskPartition);
        EXPECT_EQ(item->letter, letters[row]);
        EXPECT_EQ(item->number, letters[row] - 'a' + 1);
        EXPECT_EQ(item->text, "NTFS");
        EXPECT_EQ(item->startSector, desktest::partitionOffset(row + 1) / 512);
        EXPECT_EQ(item->sectorCount, desktest::kPartBytes / 512);
        EXPECT_EQ(model.data(model.index(row, 5, disk)).toString(), "NTFS");
        EXPECT_FALSE(model.data(part, Qt::DecorationRole).isNull());
        const QVariant colour = model.data(model.index(row, 1, disk), Qt::ForegroundRole);
        if (row == 0) {
            EXPECT_TRUE(item->isSystem);
            ASSERT_TRUE(colour.canConvert<QBrush>());
            // Red, and readable on the trees' white rows.
            const QColor red = colour.value<QBrush>().color();
            EXPECT_GT(red.red(), 2 * std::max(red.green(), red.blue()));
            EXPECT_GE(WindowChecks::contrast(red, Qt::white), WindowChecks::kMinimumContrast);
        } else {
            EXPECT_FALSE(item->isSystem);
            EXPECT_FALSE(colour.isValid());
        }
    }
    // The inventory reports small letters; every list shows capitals.
    EXPECT_EQ(model.data(model.index(0, 1, disk)).toString(), "System (C:)");
    EXPECT_EQ(model.data(model.index(0, 2, disk)).toString(), "Pri,Act");
    EXPECT_EQ(model.data(model.index(1, 2, disk)).toString(), "Pri");
    EXPECT_FALSE(model.data(disk, Qt::ForegroundRole).isValid());
}

TEST(DeskTreeModel, RemovableDiskAndDiskWithoutLetters)
{
    desktest::testApp();
    DeskMachine machine;
    ASSERT_TRUE(sim::makeDisk(machine.machine, 1, 16, "label: dos\nstart=2048, size=8192, type=7\n"));
    ASSERT_TRUE(sim::makeDisk(machine.machine, 2, 16, "label: dos\nstart=2048, size=8192, type=c\n"));
    sim::writeText(machine.machine, "wmi-disks.txt",
                   "Index=0\nSize=104857600\nName=\\\\.\\PHYSICALDRIVE0\nModel=Sorvik Virtual Disk\n"
                   "MediaType=Fixed hard disk media\nPartitions=3\n\n"
                   "Index=1\nSize=16777216\nName=\\\\.\\PHYSICALDRIVE1\nModel=No Letters\n"
                   "MediaType=Fixed hard disk media\nPartitions=1\n\n"
                   "Index=2\nSize=16777216\nName=\\\\.\\PHYSICALDRIVE2\nModel=USB Stick\n"
                   "MediaType=Removable Media\nPartitions=1\n");
    std::ofstream(machine.host("drives.txt"), std::ios::app)
        << "\nLetter=F\nType=removable\nDisk=2\nOffset=1048576\nLabel=\nFileSystem=FAT32\nFreeBytes="
           "1048576\n";
    *CVetra::instance() = CVetra(machine.platform);
    desk::TreeModel model;
    ASSERT_EQ(model.rowCount(), 3);
    const QModelIndex noLetters = model.index(1, 0);
    EXPECT_EQ(model.rowCount(noLetters), 0);
    EXPECT_EQ(model.itemFor(noLetters)->partitionCount, 1);
    const QModelIndex usb = model.index(2, 0);
    EXPECT_EQ(model.itemFor(usb)->type, TreeItem::UsbDisk);
    ASSERT_EQ(model.rowCount(usb), 1);
    const TreeItem* stick = model.itemFor(model.index(0, 0, usb));
    EXPECT_EQ(stick->type, TreeItem::UsbDiskPartition);
    // An empty label gives the letter alone.
    EXPECT_EQ(model.data(model.index(0, 1, usb)).toString(), "(F:)");
    EXPECT_EQ(model.data(model.index(0, 5, usb)).toString(), "FAT32");
}

TEST(DeskTreeModel, NoDisksLeavesTheHeaderAlone)
{
    desktest::testApp();
    DeskMachine machine;
    sim::writeText(machine.machine, "wmi-disks.txt", "");
    *CVetra::instance() = CVetra(machine.platform);
    desk::TreeModel model;
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Partition");
    EXPECT_EQ(model.headerData(5, Qt::Horizontal).toString(), "Type");
}

// A tree without partitions tells why, in the tree itself and to callers.
TEST(DeskTreeModel, TreeWithoutPartitionsSaysWhy)
{
    desktest::testApp();
    enum class Machine { Usual, NoLayouts, NoDisks };
    const struct {
        Machine kind;
        const char* reason;
    } cases[] = {
        {Machine::Usual, ""},
        {Machine::NoLayouts,
         "No partition can be shown: the system listed the disks but did not report their partitions (its "
         "answer to the request for their partition layout was an error)."},
        {Machine::NoDisks, "No partition can be shown: the system reported no disk."},
    };
    for (const auto& c : cases) {
        DeskMachine machine;
        if (c.kind == Machine::NoLayouts)
            machine.withoutDiskLayouts();
        if (c.kind == Machine::NoDisks) {
            sim::writeText(machine.machine, "wmi-disks.txt", "");
            *CVetra::instance() = CVetra(machine.platform);
        }
        auto* model = new desk::TreeModel;
        EXPECT_EQ(model->emptyReason(), c.reason);
        if (c.kind == Machine::NoLayouts) {
            ASSERT_EQ(model->rowCount(), 1);
            EXPECT_EQ(model->rowCount(model->index(0, 0)), 0);
        }
        QWidget page;
        QTreeView* view = desk::newPartitionTreeView(&page, model);
        page.show();
        auto* label = view->viewport()->findChild<QLabel*>("emptyReason");
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->isVisible(), *c.reason != 0);
        EXPECT_EQ(label->text(), c.reason);
        delete model;
    }
}

}  // namespace
