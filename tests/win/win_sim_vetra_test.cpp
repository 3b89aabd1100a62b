// The disk inventory on a simulated machine of two disks: disk 0 with an MBR
// of two primary partitions and an extended one holding four logical
// partitions (made with sfdisk), disk 1 without a partition table.
#include <gtest/gtest.h>

#include <memory>

#include "platform/windows/simulated_platform.h"
#include "win/support/test_system.h"
#include "platform/windows/text.h"
#include "platform/vetra/vetra.h"

using namespace winplat;

namespace {

const char* const kDisk0 = "label: dos\n"
                           "label-id: 0x1234abcd\n"
                           "start=2048, size=40960, type=7, bootable\n"  // C:
                           "start=43008, size=20480, type=c\n"           // D:
                           "start=63488, size=180224, type=5\n"
                           "start=65536, size=40960, type=7\n"    // E:
                           "start=108544, size=20480, type=6\n"   // F:
                           "start=131072, size=20480, type=b\n"   // A:
                           "start=153600, size=20480, type=7\n";  // no letter

const char* const kDrives =
    "Letter=C\nType=fixed\nDisk=0\nOffset=1048576\nLabel=系统\nFileSystem=NTFS\nFreeBytes=5242880\n\n"
    "Letter=D\nType=fixed\nDisk=0\nOffset=22020096\nLabel=\nFileSystem=FAT32\nFreeBytes=1048576\n\n"
    "Letter=E\nType=fixed\nDisk=0\nOffset=33554432\nLabel=数据\nFileSystem=NTFS\nFreeBytes=0\n"
    "TotalBytes=20000000\n\n"
    "Letter=F\nType=fixed\nDisk=0\nOffset=55574528\nLabel=OLD\nFileSystem=FAT\nFreeBytes=4096\n\n"
    "Letter=A\nType=removable\nDisk=0\nOffset=67108864\nLabel=FLOPPY\nFileSystem=FAT\nFreeBytes=512\n\n"
    "Letter=G\nType=cdrom\n\n"
    "Letter=H\nType=remote\nDisk=0\nOffset=1048576\n";

const char* const kWmiRows =
    "Index=0\nSize=134217728\nName=\\\\.\\PHYSICALDRIVE0\nModel=Sorvik Virtual Disk\n"
    "MediaType=Fixed hard disk media\nPartitions=6\n\n"
    "Index=1\nSize=33554432\nName=\\\\.\\PHYSICALDRIVE1\nModel=USB 盘\nMediaType=Removable "
    "Media\nPartitions=0\n";

constexpr unsigned long long MiB = 1 << 20;

class SimVetra : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim::makeDisk(machine, 0, 128, kDisk0));
        ASSERT_TRUE(sim::makeDisk(machine, 1, 32, ""));
        sim::writeText(machine, "drives.txt", kDrives);
        sim::writeText(machine, "wmi-disks.txt", kWmiRows);
        sim::writeText(machine, "system.txt", "WindowsDirectory=C:\\Windows\n");
    }
    void TearDown() override { sim::removeMachine(machine); }

    std::string machine = sim::makeMachine();
    std::shared_ptr<Platform> platform = std::make_shared<SimulatedPlatform>(machine);
};

struct Row {
    char letter;
    int kind;
    unsigned char active;
    unsigned long long start;
    unsigned long long capacity;
    unsigned long long used;
    const char* fs;
    std::u16string label;
    unsigned number;
};

std::vector<const _PartInfo*> partitions(const _DiskInfo* disk)
{
    std::vector<const _PartInfo*> parts;
    for (const _PartInfo* p = disk->PartList; p; p = p->Next)
        parts.push_back(p);
    return parts;
}

void expectRows(const _DiskInfo* disk, const std::vector<Row>& rows)
{
    std::vector<const _PartInfo*> parts = partitions(disk);
    ASSERT_EQ(parts.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const _PartInfo* p = parts[i];
        const Row& r = rows[i];
        SCOPED_TRACE("partition " + std::to_string(i));
        EXPECT_EQ(p->Letter, r.letter);
        EXPECT_EQ(p->LetterIndex, r.letter ? r.letter - 'a' + 1 : 0);
        EXPECT_EQ(p->Kind, r.kind);
        EXPECT_EQ(p->Active, r.active);
        EXPECT_EQ(p->System, r.letter == 'c' ? 1 : 0);
        EXPECT_EQ(p->Start, r.start);
        EXPECT_EQ(p->Capacity, r.capacity);
        EXPECT_EQ(p->Used, r.used);
        EXPECT_EQ(p->FsName, r.fs);
        EXPECT_EQ(p->Label, r.label);
        EXPECT_EQ(p->PartitionNumber, r.number);
        EXPECT_EQ(p->Disk, disk);
    }
}

}  // namespace

TEST_F(SimVetra, ListsTheDisksPartitionsAndLetters)
{
    CVetra vetra(platform);
    const _DiskInfo* disks = vetra.GetVetra();
    ASSERT_NE(disks, nullptr);

    EXPECT_EQ(disks->Index, 0);
    EXPECT_EQ(disks->Size, 128 * MiB);
    EXPECT_EQ(disks->Name, u"\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(disks->Model, u"Sorvik Virtual Disk");
    EXPECT_EQ(disks->MediaType, kMediaFixed);
    EXPECT_EQ(disks->Partitions, 6);
    // Logical partitions stay logical wherever they stand in the list; the
    // floppy letter A: is never asked about its volume; a partition without a
    // letter keeps the layout's length.
    expectRows(disks,
               {
                   {'c', kPartitionPrimary, 1, 1 * MiB, 20 * MiB, 15 * MiB, "NTFS", u"系统", 1},
                   {'d', kPartitionPrimary, 0, 21 * MiB, 10 * MiB, 9 * MiB, "FAT32", u"", 2},
                   {'e', kPartitionLogical, 0, 32 * MiB, 20000000, 20000000, "NTFS", u"数据", 3},
                   {'f', kPartitionLogical, 0, 53 * MiB, 10 * MiB, 10 * MiB - 4096, "FAT16", u"OLD", 4},
                   {'a', kPartitionLogical, 0, 64 * MiB, 10 * MiB, 10 * MiB - 512, "UNKNOWN", u" ", 5},
                   {0, kPartitionLogical, 0, 75 * MiB, 10 * MiB, 10 * MiB, "UNKNOWN", u" ", 6},
               });

    const _DiskInfo* second = disks->Next;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Index, 1);
    EXPECT_EQ(second->Model, u"USB 盘");
    EXPECT_EQ(second->MediaType, kMediaRemovable);
    EXPECT_EQ(second->PartList, nullptr);
    EXPECT_EQ(second->Next, nullptr);
}

TEST_F(SimVetra, TheListIsCachedUntilRemovedAndThenBuiltAfresh)
{
    CVetra vetra(platform);
    const _DiskInfo* first = vetra.GetVetra();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(partitions(first)[2]->Letter, 'e');

    // E: goes away: the cached list does not notice ...
    std::string drives = kDrives;
    drives.replace(drives.find("Letter=E"), 8, "Letter=Q");
    drives.replace(drives.find("Type=fixed\nDisk=0\nOffset=33554432"), 10, "Type=cdrom");
    sim::writeText(machine, "drives.txt", drives);
    EXPECT_EQ(vetra.GetVetra(), first);
    EXPECT_EQ(partitions(first)[2]->Letter, 'e');

    // ... a new list starts from no letters, so E: is not remembered.
    vetra.RemoveDiskList();
    const _DiskInfo* second = vetra.GetVetra();
    ASSERT_NE(second, nullptr);
    const _PartInfo* formerE = partitions(second)[2];
    EXPECT_EQ(formerE->Letter, 0);
    EXPECT_EQ(formerE->LetterIndex, 0);
    EXPECT_EQ(formerE->FsName, "UNKNOWN");
    EXPECT_EQ(formerE->Capacity, 20 * MiB);
    EXPECT_EQ(partitions(second)[0]->Letter, 'c');
}

TEST_F(SimVetra, CopiesOwnTheirListsAndShareTheConnection)
{
    std::unique_ptr<CVetra> original(new CVetra(platform));
    const _DiskInfo* originalList = original->GetVetra();
    ASSERT_NE(originalList, nullptr);

    CVetra copy(*original);
    const _DiskInfo* copied = copy.GetVetra();
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, originalList);
    original.reset();  // frees its own list only

    EXPECT_EQ(copied->Model, u"Sorvik Virtual Disk");
    expectRows(copied->Next, {});
    ASSERT_EQ(partitions(copied).size(), 6u);
    EXPECT_EQ(partitions(copied)[0]->Label, u"系统");

    CVetra assigned(platform);
    assigned = copy;
    assigned = assigned;
    const _DiskInfo* assignedList = assigned.GetVetra();
    EXPECT_NE(assignedList, copied);
    assigned.RemoveDiskList();
    EXPECT_EQ(copy.GetVetra(), copied);
    // The copy still reaches WMI after its original is gone.
    copy.RemoveDiskList();
    EXPECT_NE(copy.GetVetra(), nullptr);
    EXPECT_NE(assigned.GetVetra(), nullptr);
}

TEST_F(SimVetra, AFailedWmiStepIsPrintedAndLeavesNoList)
{
    struct Case {
        const char* failure;
        const char* printed;
    };
    for (const Case& c :
         {Case{"ComInit:0x80004005", "Failed to initialize COM library. Error code = 0x80004005"},
          Case{"Security:0x80010119", "Failed to initialize security. Error code = 0x80010119"},
          Case{"Locator:0x80040154", "Failed to create IWbemLocator object. Error code = 0x80040154"},
          Case{"Connect:0x80041003", "Could not connect. Error code = 0x80041003"},
          Case{"ProxyBlanket:0x80070005", "Could not set proxy blanket. Error code = 0x80070005"},
          Case{"Query:0x80041017", "Query for processes failed. Error code = 0x80041017"}}) {
        sim::writeText(machine, "system.txt", std::string("WmiFailure=") + c.failure + "\n");
        testing::internal::CaptureStdout();
        {
            CVetra vetra(platform);
            EXPECT_EQ(vetra.GetVetra(), nullptr);
            EXPECT_EQ(vetra.GetVetra(), nullptr);
        }
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find(c.printed), std::string::npos) << printed;
    }
}

TEST_F(SimVetra, ADiskThatCannotBeOpenedHasNoPartitions)
{
    sim::writeText(machine, "wmi-disks.txt",
                   std::string(kWmiRows) +
                       "\nIndex=5\nSize=x\nName=\\\\.\\PHYSICALDRIVE5\nMediaType=External\n");
    CVetra vetra(platform);
    const _DiskInfo* disks = vetra.GetVetra();
    ASSERT_NE(disks, nullptr);
    const _DiskInfo* fifth = disks->Next->Next;
    ASSERT_NE(fifth, nullptr);
    EXPECT_EQ(fifth->Index, 5);
    EXPECT_EQ(fifth->Size, 0u);
    EXPECT_EQ(fifth->MediaType, kMediaExternal);
    EXPECT_EQ(fifth->PartList, nullptr);
    EXPECT_EQ(partitions(disks).size(), 6u);
}

TEST_F(SimVetra, TheProcessHasOneInventory)
{
    setCurrentPlatform(platform);
    CVetra* one = CVetra::instance();
    EXPECT_EQ(CVetra::instance(), one);
    ASSERT_NE(one->GetVetra(), nullptr);
    EXPECT_EQ(one->GetVetra()->Index, 0);
    one->RemoveDiskList();  // the machine goes away with the test
    setCurrentPlatform(nullptr);
}
