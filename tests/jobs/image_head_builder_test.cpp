// The one head-block builder both programs use: what each gathers of the
// source partition and its disk is laid out as the readers take it back.
#include "jobs/image_head_builder.h"
#include "jobs/image_head_reader.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

HeadSourceEntry Entry(int number, quint64 start, quint64 count, bool primary)
{
    HeadSourceEntry entry;
    entry.number = number;
    entry.startSector = start;
    entry.sectorCount = count;
    entry.primary = primary;
    return entry;
}

// A disk with partitions 1, 2, 5 and 6; the source is the third.
HeadSource FourPartitionDisk()
{
    HeadSource source;
    source.diskName = "QEMU HARDDISK";
    source.diskNumber = 1;
    source.diskBytes = 64ull << 30;
    source.entries = {Entry(1, 2048, 1000, true), Entry(2, 4096, 2000, true), Entry(5, 8192, 3000, false),
                      Entry(6, 16384, 4000, false)};
    source.letter = 'E';
    source.label = "Data";
    source.partitionNumber = 5;
    source.fsCode = 4;
    source.active = true;
    source.startSector = 8192;
    source.sectorCount = 3000;
    source.usedBytes = 123456;
    source.partBytes = 3000 * 512;
    source.volumeSerial = 0x1122334455667788ull;
    return source;
}

ImageHeadView ReadBack(const ImageHeadBlock& block)
{
    ImageHeadView view;
    EXPECT_EQ(parseHeadBlock(block.bytes, &view), HeadReadResult::Ok);
    return view;
}

TEST(ImageHeadBuilder, EveryFieldReadsBackAsGiven)
{
    const HeadSource source = FourPartitionDisk();
    const ImageHeadBlock block = buildImageHeadBlock(source);
    ASSERT_EQ(block.size(), 99 + 18 * 4 + 13 + 4);
    const ImageHeadView view = ReadBack(block);
    EXPECT_EQ(view.blockSize, quint32(block.size()));
    EXPECT_EQ(view.diskNumber, 1);
    EXPECT_EQ(view.diskBytes, 64ull << 30);
    EXPECT_EQ(view.primaryCount, 2);
    EXPECT_EQ(view.logicalCount, 2);
    EXPECT_EQ(view.driveLetter, 'E');
    EXPECT_EQ(view.partitionNumber, 5);
    EXPECT_EQ(view.fsCode, 4);
    EXPECT_TRUE(view.active);
    EXPECT_EQ(view.partStartSector, 8192u);
    EXPECT_EQ(view.partSectorCount, 3000u);
    EXPECT_EQ(view.partitionUsedBytes, 123456u);
    EXPECT_EQ(view.volumeSerial, QByteArray::fromHex("8877665544332211"));
    EXPECT_EQ(view.diskName, QByteArray("QEMU HARDDISK"));
    EXPECT_EQ(view.partName, QByteArray("Data"));
    ASSERT_EQ(view.entries.size(), 4);
    const int numbers[] = {1, 2, 5, 6};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(view.entries[i].number, numbers[i]);
        EXPECT_EQ(view.entries[i].startSector, source.entries[i].startSector);
        EXPECT_EQ(view.entries[i].sectorCount, source.entries[i].sectorCount);
        EXPECT_EQ(view.entries[i].moreFollows, i < 3) << i;
    }
    EXPECT_EQ(block.fsCode, 4);
    EXPECT_EQ(block.usedBytes, 123456);
    EXPECT_EQ(block.partBytes, 3000 * 512);
    EXPECT_TRUE(block.active);
    EXPECT_EQ(block.letter, 'E');
}

TEST(ImageHeadBuilder, SourcesAtTheEdgesOfTheirFields)
{
    const struct {
        const char* what;
        std::function<void(HeadSource&)> change;
        std::function<void(const ImageHeadBlock&, const ImageHeadView&)> check;
    } cases[] = {
        {"no label: the block ends with the model text", [](HeadSource& s) { s.label.clear(); },
         [](const ImageHeadBlock& b, const ImageHeadView& v) {
             EXPECT_EQ(b.size(), 99 + 18 * 4 + 13);
             EXPECT_TRUE(v.partName.isEmpty());
         }},
        {"a model text longer than one length byte holds",
         [](HeadSource& s) { s.diskName = QByteArray(300, 'M'); },
         [](const ImageHeadBlock&, const ImageHeadView& v) { EXPECT_EQ(v.diskName, QByteArray(255, 'M')); }},
        {"a partition number above nine is stored whole", [](HeadSource& s) { s.partitionNumber = 12; },
         [](const ImageHeadBlock&, const ImageHeadView& v) { EXPECT_EQ(v.partitionNumber, 12); }},
        {"a partition number above one byte is capped", [](HeadSource& s) { s.partitionNumber = 300; },
         [](const ImageHeadBlock&, const ImageHeadView& v) { EXPECT_EQ(v.partitionNumber, 255); }},
        {"the primary count is the callers' to tell",
         [](HeadSource& s) {
             for (HeadSourceEntry& e : s.entries)
                 e.primary = true;
         },
         [](const ImageHeadBlock&, const ImageHeadView& v) {
             EXPECT_EQ(v.primaryCount, 4);
             EXPECT_EQ(v.logicalCount, 0);
         }},
        {"more than 255 partitions: the first 255 are stored",
         [](HeadSource& s) {
             s.entries.clear();
             for (int i = 0; i < 300; ++i)
                 s.entries.append(Entry(i + 1, quint64(i) * 100, 100, i < 4));
         },
         [](const ImageHeadBlock&, const ImageHeadView& v) {
             ASSERT_EQ(v.entries.size(), 255);
             EXPECT_FALSE(v.entries.last().moreFollows);
             EXPECT_EQ(v.logicalCount, 251);
         }},
        {"an unknown serial is eight zero bytes", [](HeadSource& s) { s.volumeSerial = 0; },
         [](const ImageHeadBlock&, const ImageHeadView& v) {
             EXPECT_EQ(v.volumeSerial, QByteArray(8, '\0'));
         }},
        {"a partition without entries of its disk", [](HeadSource& s) { s.entries.clear(); },
         [](const ImageHeadBlock& b, const ImageHeadView& v) {
             EXPECT_EQ(b.size(), 99 + 13 + 4);
             EXPECT_TRUE(v.entries.isEmpty());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HeadSource source = FourPartitionDisk();
        c.change(source);
        const ImageHeadBlock block = buildImageHeadBlock(source);
        c.check(block, ReadBack(block));
    }
}

TEST(ImageHeadBuilder, FileSystemCodesInAnyCase)
{
    const struct {
        const char* name;
        int code;
    } cases[] = {{"ntfs", 4},  {"NTFS", 4},  {"fat32", 3}, {"FAT32", 3}, {"Fat32", 3},
                 {"Fat16", 2}, {"FAT16", 2}, {"fat12", 1}, {"ext3", 0},  {"linux-swap", 0},
                 {"", 0},      {"NTFS ", 0}, {"exFAT", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(ImageHead::fsCodeOfName(QString::fromLatin1(c.name)), c.code) << c.name;
}

}  // namespace
