// Records, their lists and copies; drive letters; the letter rules; the
// disk-name rules; the size text.
#include "platform/linux/device_prober.h"
#include "platform/linux/device_records.h"
#include "platform/linux/drive_letters.h"
#include "platform/linux/errno_text.h"
#include "storage/parted_sanitizer_options.h"
#include "platform/linux/system_paths.h"
#include "support/test_support.h"
#include "platform/linux/volume_rules.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

PartitionRecord* newPartition(DiskRecord* disk, dev_t rdev, const char* path)
{
    PartitionRecord* part = new PartitionRecord;
    part->disk = disk;
    part->rdev = rdev;
    part->path = duplicateText(path);
    return part;
}

DiskRecord* newDisk(dev_t rdev, const char* path)
{
    DiskRecord* disk = new DiskRecord;
    disk->rdev = rdev;
    disk->path = duplicateText(path);
    disk->sectorSize = 512;
    disk->length = 1000;
    return disk;
}

TEST(DeviceRecords, ListsFindAppendAndUnlink)
{
    DiskRecord* disks = nullptr;
    DiskRecord* sda = newDisk(0x800, "/dev/sda");
    DiskRecord* sdb = newDisk(0x810, "/dev/sdb");
    appendDisk(&disks, sda);
    appendDisk(&disks, sdb);
    appendPartition(&sda->partitions, newPartition(sda, 0x801, "/dev/sda1"));
    appendPartition(&sda->partitions, newPartition(sda, 0x802, "/dev/sda2"));
    appendPartition(&sdb->partitions, newPartition(sdb, 0x811, "/dev/sdb1"));

    EXPECT_EQ(findDiskByDev(disks, 0x810), sdb);
    EXPECT_EQ(findDiskByDev(disks, 0x999), nullptr);
    ASSERT_NE(findPartitionByDev(disks, 0x811), nullptr);
    EXPECT_STREQ(findPartitionByDev(disks, 0x811)->path, "/dev/sdb1");
    EXPECT_STREQ(sda->partitions->next->path, "/dev/sda2");  // tail order
    EXPECT_EQ(findPartitionInList(sda->partitions, 0x811), nullptr);
    EXPECT_EQ(findPartitionByPath(sda->partitions, "/dev/sda2"), sda->partitions->next);
    EXPECT_EQ(countPartitions(sda->partitions), 2);

    PartitionRecord* first = sda->partitions;
    EXPECT_TRUE(unlinkPartition(&sda->partitions, first));
    EXPECT_FALSE(unlinkPartition(&sda->partitions, first));
    freePartitionRecord(first);
    EXPECT_EQ(countPartitions(sda->partitions), 1);

    EXPECT_TRUE(unlinkDisk(&disks, sda));
    EXPECT_EQ(disks, sdb);
    freeDiskList(sda);
    freeDiskList(disks);
}

TEST(DeviceRecords, CopyOutlivesTheListItCameFrom)
{
    DiskRecord* disk = newDisk(0x810, "/dev/sdb");
    disk->usb = 1;
    disk->model = duplicateText("Stick");
    PartitionRecord* part = newPartition(disk, 0x811, "/dev/sdb1");
    part->fsName = duplicateText("fat32");
    part->label = duplicateText("DATA");
    part->uuid = duplicateText("1234ABCD");
    part->letter = 'E';
    part->usedSectors = 77;
    appendPartition(&disk->partitions, part);
    appendPartition(&disk->partitions, newPartition(disk, 0x812, "/dev/sdb2"));

    PartitionRecord* copy = copyPartitionRecord(part);
    freeDiskList(disk);  // the next probe frees the live list

    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->next, nullptr);
    ASSERT_NE(copy->disk, nullptr);
    EXPECT_STREQ(copy->disk->path, "/dev/sdb");
    EXPECT_STREQ(copy->disk->model, "Stick");
    EXPECT_EQ(copy->disk->sectorSize, 512u);
    EXPECT_EQ(copy->disk->usb, 1);
    EXPECT_EQ(copy->disk->partitions, nullptr);
    EXPECT_STREQ(copy->path, "/dev/sdb1");
    EXPECT_STREQ(copy->fsName, "fat32");
    EXPECT_STREQ(copy->label, "DATA");
    EXPECT_EQ(copy->uuid, nullptr);
    EXPECT_EQ(copy->letter, 'E');
    EXPECT_EQ(copy->usedSectors, 77u);
    freePartitionRecord(copy);
    EXPECT_EQ(copyPartitionRecord(nullptr), nullptr);
}

// The wizards refuse to write boot code "to the disk" of a whole-disk
// volume; they decide on their copy of the record.
TEST(DeviceRecords, CopyOfAWholeDiskVolumeKeepsItsMark)
{
    DiskRecord* stick = newDisk(0x820, "/dev/sdc");
    PartitionRecord* volume = newPartition(stick, 0x820, "/dev/sdc");
    volume->wholeDisk = 1;
    appendPartition(&stick->partitions, volume);

    PartitionRecord* copy = copyPartitionRecord(volume);
    freeDiskList(stick);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->wholeDisk, 1);
    ASSERT_NE(copy->disk, nullptr);
    EXPECT_STREQ(copy->path, copy->disk->path);
    freePartitionRecord(copy);
}

TEST(DriveLetters, HandsOutCToZThenNothingAndReusesReleasedLetters)
{
    DriveLetters letters;
    for (char expected = 'C'; expected <= 'Z'; ++expected)
        EXPECT_EQ(letters.take(), expected);
    EXPECT_EQ(letters.take(), 0);  // the 25th
    letters.release('f');
    letters.release('K');
    EXPECT_EQ(letters.take(), 'F');
    EXPECT_EQ(letters.take(), 'K');
    EXPECT_EQ(letters.take(), 0);
    letters.release(' ');
    letters.release(0);
    letters.release('@');
    EXPECT_EQ(letters.take(), 0);
    letters.clear();
    EXPECT_EQ(letters.take(), 'C');
    EXPECT_EQ(letters.mask(), 1u << 2);
}

TEST(VolumeRules, OnlyNtfsAndFatTakeLetters)
{
    const struct {
        const char* fsName;
        bool lettered;
    } cases[] = {
        {"ntfs", true},  {"fat32", true},           {"fat16", true},  {"FAT32", true},
        {"FAT12", true}, {"linux-swap(v1)", false}, {"swap", false},  {"ext4", false},
        {"ext3", false}, {"iso9660", false},        {nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(takesLetter(c.fsName), c.lettered) << (c.fsName ? c.fsName : "(null)");
}

TEST(VolumeRules, HiddenSystemPartition)
{
    struct Case {
        const char* label;
        uint64_t length;
        int active;
        int kind;
        const char* fsName;
        bool hidden;
    };
    const Case cases[] = {
        {"System Reserved", 430079, 1, 0, "ntfs", true},
        {"System Reserved (old)", 204800, 1, 0, "ntfs", true},
        {"System Reserved", 430080, 1, 0, "ntfs", false},
        {"system reserved", 204800, 1, 0, "ntfs", false},
        {"System Reserve", 204800, 1, 0, "ntfs", false},
        {"System Reserved", 204800, 0, 0, "ntfs", false},
        {"System Reserved", 204800, 1, 1, "ntfs", false},
        {"System Reserved", 204800, 1, 0, "fat32", false},
        {nullptr, 204800, 1, 0, "ntfs", false},
    };
    for (const Case& c : cases) {
        PartitionRecord part;
        part.label = duplicateText(c.label);
        part.length = c.length;
        part.active = c.active;
        part.kind = c.kind;
        part.fsName = duplicateText(c.fsName);
        EXPECT_EQ(isHiddenSystemPartition(part), c.hidden)
            << (c.label ? c.label : "(null)") << " " << c.length << " " << c.active << " " << c.kind << " "
            << c.fsName;
    }
}

TEST(DiskNames, StripPartitionNumber)
{
    const struct {
        const char* path;
        const char* disk;
    } cases[] = {
        {"/dev/sda12", "/dev/sda"},         {"/dev/sdb1", "/dev/sdb"},
        {"/dev/sda", "/dev/sda"},           {"/dev/hda3", "/dev/hda"},
        {"/dev/nvme0n1p1", "/dev/nvme0n1"}, {"/dev/nvme10n2p15", "/dev/nvme10n2"},
        {"/dev/nvme0n1", "/dev/nvme0n1"},   {"/dev/mmcblk0p2", "/dev/mmcblk0"},
        {"/dev/mmcblk1", "/dev/mmcblk1"},   {"/dev/vda3", "/dev/vda"},
        {"/dev/loop0p1", "/dev/loop0"},     {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeviceProber::stripPartitionNumber(QString::fromLatin1(c.path)),
                  QString::fromLatin1(c.disk))
            << c.path;
}

TEST(DiskNames, AcceptedDisks)
{
    testsupport::TempDir root;
    const SystemPaths saved = systemPaths();
    systemPaths().proc = root.file("proc");
    ASSERT_EQ(testsupport::Run("mkdir -p " + testsupport::Quote(root.file("proc/ide/hda"))).exitCode, 0);
    std::ofstream(root.file("proc/ide/hda/cache")) << "512\n";

    const struct {
        const char* path;
        bool accepted;
    } cases[] = {
        {"/dev/sda", true},           {"/dev/sdab", true},         {"/dev/nvme0n1", true},
        {"/dev/nvme1n2", true},       {"/dev/vda", true},          {"/dev/mmcblk0", true},
        {"/dev/mmcblk0boot0", false}, {"/dev/mmcblk0rpmb", false}, {"/dev/fd0", false},
        {"/dev/scd0", false},         {"/dev/sr0", false},         {"/dev/hda", true},
        {"/dev/hdb", false},          {"/dev/md0", false},         {"/dev/mapper/sdx", false},
        {"/other/sda", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeviceProber::isAcceptedDiskPath(QString::fromLatin1(c.path)), c.accepted) << c.path;
    systemPaths() = saved;
}

TEST(ErrnoText, TheCLibrarysText)
{
    EXPECT_EQ(errnoText(ENOENT), QStringLiteral("No such file or directory"));
    EXPECT_EQ(errnoText(EIO), QString::fromUtf8(strerror(EIO)));
    EXPECT_FALSE(errnoText(123456).isEmpty());
}

}  // namespace
