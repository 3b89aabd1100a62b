// Vetra.dll as a Windows program links it. Wine lists no physical disks with
// their layouts: what is checked is the shape of the answer (one instance,
// a cached list that holds together, a fresh list after RemoveDiskList),
// never the machine's real disks.
#include "platform/vetra/vetra.h"

#include <gtest/gtest.h>

namespace {

void expectWellFormed(const _DiskInfo* disks)
{
    for (const _DiskInfo* disk = disks; disk != nullptr; disk = disk->Next) {
        EXPECT_GE(disk->Index, 0);
        int parts = 0;
        for (const _PartInfo* part = disk->PartList; part != nullptr; part = part->Next, ++parts) {
            EXPECT_EQ(part->Disk, disk);
            EXPECT_TRUE(part->Kind == kPartitionPrimary || part->Kind == kPartitionLogical);
            EXPECT_LE(part->Used, part->Capacity);
            EXPECT_TRUE(part->FsName == "NTFS" || part->FsName == "FAT32" || part->FsName == "FAT16" ||
                        part->FsName == "UNKNOWN")
                << part->FsName;
            EXPECT_TRUE(part->Letter == 0 || (part->Letter >= 'a' && part->Letter <= 'z'));
            EXPECT_EQ(part->LetterIndex, part->Letter ? part->Letter - 'a' + 1 : 0);
        }
        EXPECT_LT(parts, 1000);
    }
}

}  // namespace

TEST(VetraDll, OneInstanceForTheProcess)
{
    ASSERT_NE(CVetra::instance(), nullptr);
    EXPECT_EQ(CVetra::instance(), CVetra::instance());
}

TEST(VetraDll, TheListIsCachedUntilRemovedAndHoldsTogether)
{
    CVetra* vetra = CVetra::instance();
    const _DiskInfo* disks = vetra->GetVetra();
    // Wine's WMI answers with one made-up disk row; a real machine with its
    // disks. Either way the list is there and well formed.
    ASSERT_NE(disks, nullptr);
    expectWellFormed(disks);
    EXPECT_EQ(vetra->GetVetra(), disks);

    vetra->RemoveDiskList();
    const _DiskInfo* again = vetra->GetVetra();
    ASSERT_NE(again, nullptr);
    expectWellFormed(again);
    vetra->RemoveDiskList();
}

TEST(VetraDll, ACopyHoldsItsOwnList)
{
    CVetra* vetra = CVetra::instance();
    const _DiskInfo* disks = vetra->GetVetra();
    ASSERT_NE(disks, nullptr);
    CVetra copy(*vetra);
    ASSERT_NE(copy.GetVetra(), nullptr);
    EXPECT_NE(copy.GetVetra(), disks);
    EXPECT_EQ(copy.GetVetra()->Index, disks->Index);
    vetra->RemoveDiskList();
}
