// The disk inventory's rules and its lists, free of system calls.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "platform/vetra/disk_info.h"
#include "platform/vetra/inventory_rules.h"
#include "platform/windows/mbr.h"

using namespace winplat;
using namespace vetra;

namespace {

void putEntry(std::uint8_t* sector, int slot, std::uint8_t boot, std::uint8_t type, std::uint32_t start,
              std::uint32_t count)
{
    std::uint8_t* p = sector + 446 + slot * 16;
    p[0] = boot;
    p[4] = type;
    std::memcpy(p + 8, &start, 4);  // little-endian hosts only: x86-64 here and on Windows
    std::memcpy(p + 12, &count, 4);
    sector[510] = 0x55;
    sector[511] = 0xAA;
}

// A disk of sectors kept in memory.
struct MemoryDisk {
    std::map<std::uint64_t, std::vector<std::uint8_t>> sectors;
    std::uint8_t* sector(std::uint64_t n)
    {
        auto& s = sectors[n];
        s.resize(512);
        return s.data();
    }
    SectorReader reader()
    {
        return [this](std::uint64_t offset, std::uint8_t* out) {
            auto found = sectors.find(offset / 512);
            if (found == sectors.end())
                return false;
            std::memcpy(out, found->second.data(), 512);
            return true;
        };
    }
};

}  // namespace

TEST(WinInventoryRules, MediaTypesByTheirFirstWord)
{
    struct Case {
        std::u16string text;
        int code;
    };
    for (const Case& c :
         {Case{u"Removable Media", kMediaRemovable}, Case{u"removable", kMediaRemovable},
          Case{u"External hard disk media", kMediaExternal}, Case{u"Fixed hard disk media", kMediaFixed},
          Case{u"FIXED", kMediaFixed}, Case{u"Format is unknown", kMediaOther}, Case{u"", kMediaOther},
          Case{u"Fixedhard", kMediaOther}})
        EXPECT_EQ(mediaTypeCode(c.text), c.code);
}

TEST(WinInventoryRules, SizesFromWmiText)
{
    EXPECT_EQ(sizeFromText(u"500105249280"), 500105249280ull);
    EXPECT_EQ(sizeFromText(u"18446744073709551615"), 18446744073709551615ull);
    EXPECT_EQ(sizeFromText(u""), 0u);
    EXPECT_EQ(sizeFromText(u"12 GB"), 0u);
}

TEST(WinInventoryRules, FileSystemNamesAndLabels)
{
    struct Case {
        std::u16string name;
        const char* listed;
    };
    for (const Case& c : {Case{u"NTFS", "NTFS"}, Case{u"ntfs", "NTFS"}, Case{u"FAT32", "FAT32"},
                          Case{u"FAT", "FAT16"}, Case{u"FAT16", "FAT16"}, Case{u"FAT12", "UNKNOWN"},
                          Case{u"exFAT", "UNKNOWN"}, Case{u"CDFS", "UNKNOWN"}, Case{u"", "UNKNOWN"}})
        EXPECT_EQ(listedFileSystem(c.name), c.listed);
    EXPECT_EQ(listedLabel(false, u"ignored"), u" ");
    EXPECT_EQ(listedLabel(true, u"数据"), u"数据");
    EXPECT_EQ(listedLabel(true, u""), u"");
}

TEST(WinInventoryRules, PartitionsAreDescribedByTheirVolumeOrTheirLength)
{
    const std::uint64_t length = 10ull << 30;
    FreeSpace huge;  // beyond 32-bit cluster counts and 2 TiB
    huge.totalBytes = 3298534883328ull;
    huge.freeBytes = 2748779069440ull;
    FreeSpace overfull;
    overfull.totalBytes = 100;
    overfull.freeBytes = 200;
    VolumeInformation ntfs;
    ntfs.fileSystem = u"NTFS";
    ntfs.label = u"系统";
    VolumeInformation fat;
    fat.fileSystem = u"FAT";
    fat.label = u"";
    struct Case {
        char letter;
        const FreeSpace* space;
        const VolumeInformation* volume;
        std::uint64_t capacity, used;
        const char* fs;
        std::u16string label;
    };
    for (const Case& c : {Case{'c', &huge, &ntfs, huge.totalBytes, 549755813888ull, "NTFS", u"系统"},
                          Case{'d', nullptr, &fat, length, length, "FAT16", u""},
                          Case{'e', &overfull, nullptr, 100, 0, "UNKNOWN", u" "},
                          Case{'a', &huge, &ntfs, huge.totalBytes, 549755813888ull, "UNKNOWN", u" "},
                          Case{'b', nullptr, &fat, length, length, "UNKNOWN", u" "},
                          Case{0, nullptr, nullptr, length, length, "UNKNOWN", u" "}}) {
        _PartInfo part;
        part.Letter = c.letter;
        part.LetterIndex = letterIndex(c.letter);
        describePartition(part, length, c.space, c.volume);
        EXPECT_EQ(part.Capacity, c.capacity) << c.letter;
        EXPECT_EQ(part.Used, c.used) << c.letter;
        EXPECT_EQ(part.FsName, c.fs) << c.letter;
        EXPECT_EQ(part.Label, c.label) << c.letter;
    }
}

TEST(WinInventoryRules, LettersMatchByDiskAndStart)
{
    std::vector<LetterRecord> letters(3);
    letters[0].letter = 'c';
    letters[0].disk = 0;
    letters[0].partition.start = 1048576;
    letters[1].letter = 'e';
    letters[1].disk = 1;
    letters[1].partition.start = 1048576;  // same start on another disk
    letters[2].letter = 'd';
    letters[2].disk = 0;
    letters[2].partition.start = 34603008;
    EXPECT_EQ(letterAt(letters, 0, 1048576), 'c');
    EXPECT_EQ(letterAt(letters, 1, 1048576), 'e');
    EXPECT_EQ(letterAt(letters, 0, 34603008), 'd');
    EXPECT_EQ(letterAt(letters, 1, 34603008), 0);
    EXPECT_EQ(letterAt(letters, 2, 1048576), 0);
    EXPECT_EQ(letterIndex('a'), 1);
    EXPECT_EQ(letterIndex('c'), 3);
    EXPECT_EQ(letterIndex(0), 0);
}

TEST(WinInventoryRules, TheLayoutOfPrimaryExtendedAndLogicalPartitions)
{
    MemoryDisk disk;
    std::uint8_t* mbr = disk.sector(0);
    putEntry(mbr, 0, 0x80, 0x07, 2048, 4096);
    putEntry(mbr, 1, 0x00, 0x0C, 6144, 2048);
    putEntry(mbr, 2, 0x00, 0x0F, 8192, 8192);  // extended
    mbr[440] = 0x78;
    mbr[441] = 0x56;
    mbr[442] = 0x34;
    mbr[443] = 0x12;
    putEntry(disk.sector(8192), 0, 0, 0x07, 2048, 2048);   // logical at 10240
    putEntry(disk.sector(8192), 1, 0, 0x05, 4096, 4096);   // link, relative to the extended partition
    putEntry(disk.sector(12288), 0, 0, 0x0B, 2048, 1024);  // logical at 14336

    DriveLayout layout = readMbrLayout(disk.reader());
    ASSERT_EQ(layout.style, DriveLayout::Mbr);
    EXPECT_EQ(layout.signature, 0x12345678u);
    ASSERT_EQ(layout.entries.size(), 12u);  // three tables of four
    EXPECT_EQ(layout.entries[0].start, 2048u * 512);
    EXPECT_TRUE(layout.entries[0].boot);
    EXPECT_EQ(layout.entries[0].number, 1u);
    EXPECT_EQ(layout.entries[1].number, 2u);
    EXPECT_EQ(layout.entries[2].number, 0u);  // the extended entry has none
    EXPECT_EQ(layout.entries[3].type, 0);
    EXPECT_EQ(layout.entries[4].start, 10240u * 512);
    EXPECT_EQ(layout.entries[4].length, 2048u * 512);
    EXPECT_EQ(layout.entries[4].number, 3u);
    EXPECT_EQ(layout.entries[5].start, 12288u * 512);
    EXPECT_EQ(layout.entries[8].start, 14336u * 512);
    EXPECT_EQ(layout.entries[8].number, 4u);

    std::vector<MbrEntry> used = usedMbrEntries(mbr);
    ASSERT_EQ(used.size(), 3u);
    std::vector<std::pair<std::size_t, int>> expected = {
        {0, kPartitionPrimary}, {1, kPartitionPrimary}, {4, kPartitionLogical}, {8, kPartitionLogical}};
    for (const auto& e : expected) {
        EXPECT_TRUE(isListedEntry(layout, layout.entries[e.first]));
        EXPECT_EQ(partitionKind(layout, e.first, used, true), e.second) << e.first;
        EXPECT_EQ(partitionKind(layout, e.first, {}, false), e.second) << e.first;  // by table position
    }
    for (std::size_t i : {2u, 3u, 5u, 6u, 7u})
        EXPECT_FALSE(isListedEntry(layout, layout.entries[i])) << i;
}

TEST(WinInventoryRules, BrokenTablesEndTheLayoutInsteadOfLooping)
{
    MemoryDisk disk;
    putEntry(disk.sector(0), 0, 0, 0x05, 100, 1000);
    putEntry(disk.sector(100), 0, 0, 0x07, 10, 20);
    putEntry(disk.sector(100), 1, 0, 0x05, 0 + 50, 100);  // next record at 150
    putEntry(disk.sector(150), 0, 0, 0x07, 10, 20);
    putEntry(disk.sector(150), 1, 0, 0x05, 0, 100);   // a link of start 0 is no link
    putEntry(disk.sector(150), 2, 0, 0x05, 50, 100);  // and one back to itself ends the chain
    DriveLayout layout = readMbrLayout(disk.reader());
    EXPECT_EQ(layout.entries.size(), 12u);

    MemoryDisk blank;
    blank.sector(0);  // no boot signature
    EXPECT_EQ(readMbrLayout(blank.reader()).style, DriveLayout::Raw);
    EXPECT_TRUE(readMbrLayout(blank.reader()).entries.empty());
    MemoryDisk unreadable;
    EXPECT_EQ(readMbrLayout(unreadable.reader()).style, DriveLayout::Raw);
}

TEST(WinInventoryRules, GptPartitionsAreListedAsPrimary)
{
    DriveLayout layout;
    layout.style = DriveLayout::Gpt;
    layout.entries.resize(2);
    layout.entries[0].length = 100 << 20;
    layout.entries[0].number = 1;
    EXPECT_TRUE(isListedEntry(layout, layout.entries[0]));
    EXPECT_FALSE(isListedEntry(layout, layout.entries[1]));
    EXPECT_EQ(partitionKind(layout, 0, {}, false), kPartitionPrimary);
}

TEST(WinDiskList, CopiesOwnTheirRecords)
{
    _DiskInfo* list = new _DiskInfo();
    list->Index = 0;
    list->Name = u"\\\\.\\PHYSICALDRIVE0";
    list->PartList = new _PartInfo();
    list->PartList->Disk = list;
    list->PartList->Label = u"系统";
    list->PartList->Next = new _PartInfo();
    list->PartList->Next->Disk = list;
    list->Next = new _DiskInfo();
    list->Next->Index = 1;

    _DiskInfo* copy = copyDiskList(list);
    freeDiskList(list);  // the copy must not depend on the original
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Name, u"\\\\.\\PHYSICALDRIVE0");
    ASSERT_NE(copy->PartList, nullptr);
    EXPECT_EQ(copy->PartList->Disk, copy);
    EXPECT_EQ(copy->PartList->Label, u"系统");
    ASSERT_NE(copy->PartList->Next, nullptr);
    EXPECT_EQ(copy->PartList->Next->Disk, copy);
    EXPECT_EQ(copy->PartList->Next->Next, nullptr);
    ASSERT_NE(copy->Next, nullptr);
    EXPECT_EQ(copy->Next->Index, 1);
    EXPECT_EQ(copy->Next->PartList, nullptr);
    freeDiskList(copy);
    EXPECT_EQ(copyDiskList(nullptr), nullptr);
    freeDiskList(nullptr);
}
