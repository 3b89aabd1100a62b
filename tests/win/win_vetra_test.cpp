// The disk inventory on the system at hand. Under Wine the WMI rows are
// Wine's stand-ins and its disks cannot be opened, so only the list's shape
// is checked there; the rows themselves are checked on simulated machines
// (win_sim_vetra_test).
#include <gtest/gtest.h>

#include "win/support/test_system.h"
#include "platform/vetra/vetra.h"

TEST(WinVetra, TheListHoldsTogetherAndIsCached)
{
    TestSystem system;
    CVetra vetra(system.shared());
    const _DiskInfo* disks = vetra.GetVetra();
    ASSERT_NE(disks, nullptr);
    int count = 0;
    for (const _DiskInfo* disk = disks; disk; disk = disk->Next, ++count) {
        for (const _PartInfo* part = disk->PartList; part; part = part->Next) {
            EXPECT_EQ(part->Disk, disk);
            EXPECT_TRUE(part->Kind == kPartitionPrimary || part->Kind == kPartitionLogical);
            EXPECT_LE(part->Used, part->Capacity);
            EXPECT_TRUE(part->FsName == "NTFS" || part->FsName == "FAT32" || part->FsName == "FAT16" ||
                        part->FsName == "UNKNOWN");
        }
    }
    EXPECT_GE(count, 1);
    EXPECT_EQ(vetra.GetVetra(), disks);

    CVetra copy(vetra);
    EXPECT_NE(copy.GetVetra(), disks);
    vetra.RemoveDiskList();
    ASSERT_NE(copy.GetVetra(), nullptr);
    EXPECT_EQ(copy.GetVetra()->Index, 0);
}

TEST(WinVetra, TheSimulatedSystemDriveIsFound)
{
    TestSystem system;
    if (!TestSystem::simulated())
        GTEST_SKIP() << "Wine's disks cannot be opened";
    CVetra vetra(system.shared());
    const _DiskInfo* disks = vetra.GetVetra();
    ASSERT_NE(disks, nullptr);
    ASSERT_NE(disks->PartList, nullptr);
    EXPECT_EQ(disks->PartList->Letter, 'c');
    EXPECT_EQ(disks->PartList->System, 1);
    EXPECT_EQ(disks->PartList->Label, u"系统");
    ASSERT_NE(disks->PartList->Next, nullptr);
    EXPECT_EQ(disks->PartList->Next->FsName, "FAT16");
}
