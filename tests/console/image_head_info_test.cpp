// The image head block: built from the prober's list for a partition of a
// fake disk whose partitions are real file systems, read back field by
// field, and damaged blocks refused with a message.
#include "programs/rescue/console/image_head_info.h"

#include "storage/parted_sanitizer_options.h"
#include "console/console_test_app.h"
#include "platform/linux/device_prober.h"
#include "platform/linux/device_records.h"
#include "support/ntfs_fixture.h"
#include "support/test_support.h"
#include "wizard/tree_item.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cstring>

using testsupport::Quote;
using testsupport::TempDir;

namespace {

struct FakePartition {
    std::string name;    // file name beside the disk, e.g. "sdz12"
    const char* fsName;  // as the prober stores it
    const char* label;   // null: none
    uint64_t start, length, usedSectors;
    char letter;
    bool active;
};

// A disk of the prober's list whose partitions are files in a folder.
class FakeDisk {
public:
    FakeDisk(DeviceProber& prober, const TempDir& dir, const char* model, uint64_t sectorSize,
             uint64_t length, const std::vector<FakePartition>& parts)
        : m_dir(dir)
    {
        auto* disk = new DiskRecord;
        disk->path = duplicateText(dir.file("sdz").c_str());
        disk->model = duplicateText(model);
        disk->sectorSize = sectorSize;
        disk->length = length;
        for (const FakePartition& wanted : parts) {
            auto* part = new PartitionRecord;
            part->disk = disk;
            part->path = duplicateText(dir.file(wanted.name).c_str());
            part->fsName = duplicateText(wanted.fsName);
            part->label = duplicateText(wanted.label);
            part->start = wanted.start;
            part->length = wanted.length;
            part->end = wanted.start + wanted.length - 1;
            part->usedSectors = wanted.usedSectors;
            part->letter = wanted.letter;
            part->active = wanted.active;
            appendPartition(&disk->partitions, part);
        }
        prober.addDisk(disk);
    }

    QString diskPath() const { return QString::fromStdString(m_dir.file("sdz")); }
    QString partPath(const std::string& name) const { return QString::fromStdString(m_dir.file(name)); }

private:
    const TempDir& m_dir;
};

quint64 le64(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<quint64>(bytes.constData() + offset);
}

}  // namespace

class ImageHeadTest : public ::testing::Test {
protected:
    void SetUp() override { consoletest::testApp(); }
    DeviceProber prober;
    TempDir dir;
};

TEST_F(ImageHeadTest, BuiltBlockReadsBackFieldByField)
{
    REQUIRE_PROGRAM("blkid");
    REQUIRE_PROGRAM("mkfs.fat");
    if (!testsupport::HaveNtfsTools())
        SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
    std::string log;
    ASSERT_TRUE(testsupport::MakeNtfsPartition(dir.file("sdz12"), 16 << 20, &log)) << log;
    testsupport::MakeSparseFile(dir.file("sdz5"), 40 << 20);
    ASSERT_EQ(0,
              testsupport::Run("mkfs.fat -F 32 -i 1234ABCD " + Quote(dir.file("sdz5")) + " >/dev/null 2>&1")
                  .exitCode);

    // Partitions 1, 2, 5, 12 in list order; the source is sdz12.
    FakeDisk disk(prober, dir, "QEMU HARDDISK", 512, 2000000,
                  {{"sdz1", "fat16", nullptr, 63, 1000, 0, 0, false},
                   {"sdz2", "ext3", nullptr, 2048, 20000, 0, 0, false},
                   {"sdz5", "FAT32", "STICK", 30000, 81920, 500, 'E', false},
                   {"sdz12", "ntfs", "Daten", 200000, 32768, 1234, 'C', true}});
    TreeItem root({QStringLiteral("root")});
    auto* diskRow = new TreeItem({QStringLiteral("Disk 3")}, &root);
    diskRow->path = disk.diskPath();
    diskRow->number = 3;
    root.appendChild(diskRow);
    auto* partRow = new TreeItem({QStringLiteral("Daten (C:)")}, diskRow);
    partRow->path = disk.partPath("sdz12");
    diskRow->appendChild(partRow);

    ImageHeadBlock block;
    ASSERT_EQ(0, buildHeadInfo(prober, partRow, &block));
    const QByteArray diskName("QEMU HARDDISK");
    const QByteArray label("Daten");
    ASSERT_EQ(99 + 18 * 4 + diskName.size() + label.size(), block.size());
    EXPECT_EQ(4, block.fsCode);
    EXPECT_EQ(1234 * 512, block.usedBytes);
    EXPECT_EQ(32768LL * 512, block.partBytes);
    EXPECT_TRUE(block.active);
    EXPECT_EQ('C', block.letter);

    // The stored bytes themselves: signature, contact, zero fillers.
    const QByteArray& raw = block.bytes;
    EXPECT_EQ(0, memcmp(raw.constData() + 4, "Sorvik \0\0\0\0\0", 12));
    EXPECT_EQ(QByteArray(9, '\0'), raw.mid(37, 9));
    for (int i = 16; i < 37; ++i)
        EXPECT_TRUE(QChar::fromLatin1(raw.at(i)).isPrint()) << "contact byte " << i;

    // Written to a file and read back the way the restore wizard reads it.
    const QString image = QString::fromStdString(dir.file("image_0_0.bkp"));
    QFile out(image);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(block.bytes);
    out.write(QByteArray(4096, 'x'));  // the engine's records follow the block
    out.close();

    ImageHeadView view;
    ASSERT_EQ(HeadReadResult::Ok, readHeadBlock(image, &view));
    EXPECT_EQ(static_cast<quint32>(block.size()), view.blockSize);
    EXPECT_EQ(3, view.diskNumber);
    EXPECT_EQ(2000000ULL * 512, view.diskBytes);
    EXPECT_EQ(4, view.entries.size());
    EXPECT_EQ(2, view.primaryCount);  // 1, 2
    EXPECT_EQ(2, view.logicalCount);  // 5, 12
    EXPECT_EQ('C', view.driveLetter);
    EXPECT_EQ(12, view.partitionNumber);
    EXPECT_EQ(4, view.fsCode);
    EXPECT_TRUE(view.active);
    EXPECT_EQ(200000u, view.partStartSector);
    EXPECT_EQ(32768u, view.partSectorCount);
    EXPECT_EQ(1234u * 512, view.partitionUsedBytes);
    EXPECT_EQ(diskName, view.diskName);
    EXPECT_EQ(label, view.partName);

    const int numbers[] = {1, 2, 5, 12};
    const quint64 starts[] = {63, 2048, 30000, 200000};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(numbers[i], view.entries[i].number) << i;
        EXPECT_EQ(starts[i], view.entries[i].startSector) << i;
        EXPECT_EQ(i < 3, view.entries[i].moreFollows) << i;
    }

    // The NTFS volume serial as blkid reads it from the same partition file.
    const auto uuid = testsupport::Run("blkid -p -o value -s UUID " + Quote(dir.file("sdz12")));
    ASSERT_EQ(0, uuid.exitCode) << uuid.output;
    const quint64 serial = std::stoull(uuid.output, nullptr, 16);
    EXPECT_EQ(serial, le64(view.volumeSerial, 0));

    // A FAT32 source: its 4-byte serial in the first half, zeros after.
    ASSERT_EQ(0, buildHeadInfo(prober, disk.diskPath(), 3, disk.partPath("sdz5"), &block));
    ASSERT_EQ(HeadReadResult::Ok, parseHeadBlock(block.bytes, &view));
    EXPECT_EQ(3, view.fsCode);
    EXPECT_EQ(0x1234ABCDULL, le64(view.volumeSerial, 0));
    EXPECT_EQ(QByteArray("STICK"), view.partName);
    EXPECT_EQ(5, view.partitionNumber);
}

TEST_F(ImageHeadTest, UsedBytesStayBytesOnLargeSectorDisks)
{
    // Used space is counted in 512-byte units even on a 4096-byte-sector disk.
    FakeDisk disk(prober, dir, "Big", 4096, 1000000,
                  {{"sdz1", "NTFS", nullptr, 256, 10000, 100, 'C', false}});
    ImageHeadBlock block;
    ASSERT_EQ(0, buildHeadInfo(prober, disk.diskPath(), 0, disk.partPath("sdz1"), &block));
    EXPECT_EQ(100 * 512, block.usedBytes);
    EXPECT_EQ(10000LL * 4096, block.partBytes);
    ImageHeadView view;
    ASSERT_EQ(HeadReadResult::Ok, parseHeadBlock(block.bytes, &view));
    EXPECT_EQ(100u * 512, view.partitionUsedBytes);
    EXPECT_EQ(1000000ULL * 4096, view.diskBytes);
    // No label: the block ends with the disk's model.
    EXPECT_EQ(99 + 18 + 3, static_cast<int>(view.blockSize));
    EXPECT_TRUE(view.partName.isEmpty());
    // Nothing readable at the partition's path: a zero serial.
    EXPECT_EQ(QByteArray(8, '\0'), view.volumeSerial);
}

TEST_F(ImageHeadTest, LongModelIsCutToWhatOneLengthByteHolds)
{
    const std::string model(300, 'M');
    FakeDisk disk(prober, dir, model.c_str(), 512, 1000, {{"sdz1", "fat32", "L", 1, 10, 1, 'C', false}});
    ImageHeadBlock block;
    ASSERT_EQ(0, buildHeadInfo(prober, disk.diskPath(), 0, disk.partPath("sdz1"), &block));
    ImageHeadView view;
    ASSERT_EQ(HeadReadResult::Ok, parseHeadBlock(block.bytes, &view));
    EXPECT_EQ(QByteArray(255, 'M'), view.diskName);
    EXPECT_EQ(QByteArray("L"), view.partName);
    EXPECT_EQ(99 + 18 + 255 + 1, block.size());
}

TEST_F(ImageHeadTest, UnknownDiskOrPartitionKeepsThePreviousBlock)
{
    FakeDisk disk(prober, dir, "Model", 512, 1000, {{"sdz1", "ntfs", "A", 1, 10, 1, 'C', true}});
    ImageHeadBlock block;
    ASSERT_EQ(0, buildHeadInfo(prober, disk.diskPath(), 0, disk.partPath("sdz1"), &block));
    const QByteArray before = block.bytes;
    EXPECT_EQ(-1, buildHeadInfo(prober, disk.diskPath(), 0, disk.partPath("sdz9"), &block));
    EXPECT_EQ(-1, buildHeadInfo(prober, QStringLiteral("/dev/none"), 0, disk.partPath("sdz1"), &block));
    EXPECT_EQ(-1, buildHeadInfo(prober, static_cast<const TreeItem*>(nullptr), &block));
    EXPECT_EQ(before, block.bytes);
    EXPECT_EQ(4, block.fsCode);
    EXPECT_EQ('C', block.letter);
}

TEST(ImageHeadRules, PartitionNumberIsTheWholeNumberAfterTheDiskName)
{
    const struct {
        const char* path;
        int number;
    } cases[] = {
        {"/dev/sda1", 1},
        {"/dev/sda12", 12},
        {"/dev/sdb5", 5},
        {"/dev/nvme0n1p3", 3},
        {"/dev/nvme10n2p14", 14},
        {"/dev/mmcblk0p2", 2},
        {"/dev/loop0p1", 1},
        {"/dev/sda", 0},
        {"/dev/nvme0n1", 0},
        {"/dev/mmcblk1", 0},
        {"", 0},
        {"/dev/sda999", 255},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.number, ImageHead::partitionNumberOfPath(QString::fromLatin1(c.path))) << c.path;
}
