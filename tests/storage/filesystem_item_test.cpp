// The file browser's item tree: which places the root lists, and what a
// place shows once mounted, on a real NTFS partition file mounted by ntfs-3g
// and a FAT32 one mounted through fusefat.
#include "platform/linux/mount_table.h"
#include "storage/parted_sanitizer_options.h"
#include "storage/places_fixtures.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using placestest::FakeNetworkItem;
using placestest::PlacesTest;

class RootPlacesTest : public PlacesTest {
protected:
    void SetUp() override
    {
        DiskRecord* usb = addDisk("/dev/sdb", DiskKindDisk, 1, 1);
        addPartition(usb, "/dev/sdb1", 'E', "DATA", "fat32");
        addPartition(usb, "/dev/sdb2", 0, nullptr, "linux-swap(v1)");
        DiskRecord* internal = addDisk("/dev/sda");
        addPartition(internal, "/dev/sda1", ' ', "System Reserved", "ntfs");
        addPartition(internal, "/dev/sda2", 'D', nullptr, "ntfs", (dev_t(1) << 32) | 0x80000802);
        addPartition(internal, "/dev/sda3", 0, nullptr, "ext4");
        addPartition(internal, std::string(), 'G', nullptr, "ntfs");
        addPartition(internal, "/dev/sda6", 'H', nullptr, "swap");
        DiskRecord* optical = addDisk("/dev/sr0", DiskKindOptical, 0, 1);
        addPartition(optical, "/dev/sr0", 'F', nullptr, nullptr);
        DiskRecord* other = addDisk("/dev/odd");
        other->kind = 7;
        addPartition(other, "/dev/odd1", 'K', nullptr, "ntfs");
    }
    void TearDown() override { RootFilesystemItem::setNetworkItemFactory(nullptr); }
};

TEST_F(RootPlacesTest, LetteredPartitionsInLetterOrderThenTheNetworkNode)
{
    RootFilesystemItem::setNetworkItemFactory([](const WildcardFilters* filters, IFilesystemItem* parent) {
        return new FakeNetworkItem(filters, parent);
    });
    const QStringList filters{"*.bkp"};
    RootFilesystemItem root(&filters, false, &prober);
    EXPECT_EQ(names(&root), (QStringList{" (D:)", "DATA (E:)", "Network"}));
    EXPECT_EQ(root.attribute(IFilesystemItem::TypeKey), -1);
    EXPECT_EQ(root.parent(), nullptr);

    IFilesystemItem* d = root.child(0);
    EXPECT_EQ(d->attribute(IFilesystemItem::TypeKey), IFilesystemItem::MountPointType);
    EXPECT_EQ(d->attribute(IFilesystemItem::DeviceKindKey), 0);
    EXPECT_EQ(d->attribute(IFilesystemItem::UsbKey), 0);
    EXPECT_EQ(d->attribute(IFilesystemItem::DeviceNumberKey), int(0x80000802u));
    EXPECT_EQ(d->attribute(99), -1);
    EXPECT_EQ(d->path(IFilesystemItem::WindowsPath), "D:");
    EXPECT_EQ(d->path(IFilesystemItem::LocalPath), "") << "not mounted yet";
    EXPECT_EQ(d->path(IFilesystemItem::DevicePath), "/dev/sda2");
    EXPECT_EQ(d->path(IFilesystemItem::MountDirectory), "/dev/sda2");
    EXPECT_EQ(d->path(IFilesystemItem::DiskDevicePath), "/dev/sda");
    EXPECT_EQ(d->size(), 16384 * 512);
    EXPECT_TRUE(d->hasChildren()) << "a closed place offers to open";
    EXPECT_EQ(d->row(), 0);
    EXPECT_EQ(d->parent(), &root);

    IFilesystemItem* e = root.child(1);
    EXPECT_EQ(e->attribute(IFilesystemItem::UsbKey), 1);
    EXPECT_EQ(e->attribute(IFilesystemItem::RemovableKey), 1);
    EXPECT_EQ(e->row(), 1);

    auto* network = dynamic_cast<FakeNetworkItem*>(root.child(2));
    ASSERT_NE(network, nullptr);
    ASSERT_NE(network->filters, nullptr);
    ASSERT_EQ(network->filters->size(), 1);
    EXPECT_TRUE(network->filters->at(0).match("DISK.BKP").hasMatch());
    EXPECT_FALSE(network->filters->at(0).match("disk.bkp.txt").hasMatch()) << "the whole name must match";
    EXPECT_EQ(root.child(3), nullptr);
    EXPECT_EQ(root.child(-1), nullptr);
}

TEST_F(RootPlacesTest, OpticalDrivesOnlyWhenAskedFor)
{
    RootFilesystemItem root(nullptr, true, &prober);
    EXPECT_EQ(names(&root), (QStringList{" (D:)", "DATA (E:)", "CD ROM (F:)"}));
    EXPECT_EQ(root.child(2)->attribute(IFilesystemItem::DeviceKindKey), 2);
    EXPECT_EQ(root.smbFilters(), nullptr);
}

TEST(VolumeDisplayName, NamesPlacesByLabelOrAsADiscDrive)
{
    EXPECT_EQ(MountPointItem::volumeDisplayName(0, "DATA", 'D'), "DATA (D:)");
    EXPECT_EQ(MountPointItem::volumeDisplayName(0, nullptr, 'D'), " (D:)");
    EXPECT_EQ(MountPointItem::volumeDisplayName(0, "\xe6\x95\xb0\xe6\x8d\xae", 'G'),
              QString::fromUtf8("数据 (G:)"));
    EXPECT_EQ(MountPointItem::volumeDisplayName(2, "IGNORED", 'F'), "CD ROM (F:)");
}

class NtfsPlaceTest : public PlacesTest {
protected:
    void SetUp() override { makeNtfsPlace(); }
};

TEST_F(NtfsPlaceTest, APlaceListsWhatNtfs3gWroteWithTheRecycleBinHiddenAtTheTopOnly)
{
    auto root = std::make_unique<RootFilesystemItem>(nullptr, false, &prober);
    ASSERT_EQ(root->childCount(), 1);
    IFilesystemItem* d = root->child(0);
    d->populate();
    ASSERT_TRUE(mounttest::IsMountPoint(mountDir())) << "the place is mounted when opened";
    EXPECT_TRUE(MountTable::isMountOf(mountDir().c_str(), partition.c_str()));
    EXPECT_EQ(d->path(IFilesystemItem::LocalPath), QString::fromStdString(mountDir()));

    // Directories first, then files, in the order the directory yields them;
    // no recycle bin, no hidden entries.
    const QStringList top = names(d);
    ASSERT_EQ(top.size(), 5) << top.join(", ").toStdString();
    EXPECT_EQ(QSet<QString>(top.begin(), top.begin() + 3), (QSet<QString>{"Zeta", "backup", "sub"}));
    EXPECT_EQ(QSet<QString>(top.begin() + 3, top.end()), (QSet<QString>{"readme.txt", "top.bkp"}));
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(d->child(row)->attribute(IFilesystemItem::TypeKey), IFilesystemItem::DirectoryType);

    IFilesystemItem* backup = childNamed(d, "backup");
    ASSERT_NE(backup, nullptr);
    backup->populate();
    EXPECT_EQ(names(backup), (QStringList{"$RECYCLE.BIN", "a.bkp", "notes.txt"})) << "listed below the top";

    IFilesystemItem* sub = childNamed(d, "sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->hasChildren()) << "an unopened directory";
    sub->populate();
    EXPECT_EQ(names(sub), (QStringList{"B", "c", "A", "b"}));
    IFilesystemItem* c = sub->child(1);
    c->populate();
    EXPECT_FALSE(c->hasChildren()) << "an opened empty directory";
    EXPECT_FALSE(sub->child(2)->hasChildren()) << "a file";
    EXPECT_EQ(sub->child(2)->size(), 1);
    EXPECT_TRUE(sub->child(2)->lastModified().isValid());

    root.reset();
    EXPECT_FALSE(mounttest::IsMountPoint(mountDir())) << "deleting the tree gives its mount back";
}

TEST_F(NtfsPlaceTest, PathFormsOfAFileBelowAPlace)
{
    RootFilesystemItem root(nullptr, false, &prober);
    IFilesystemItem* d = root.child(0);
    d->populate();
    IFilesystemItem* backup = childNamed(d, "backup");
    ASSERT_NE(backup, nullptr);
    backup->populate();
    IFilesystemItem* file = childNamed(backup, "a.bkp");
    ASSERT_NE(file, nullptr);
    // The mount base holds "+" and "(": it must be taken as text.
    EXPECT_EQ(file->path(IFilesystemItem::WindowsPath), "D:\\backup\\a.bkp");
    EXPECT_EQ(backup->path(IFilesystemItem::WindowsPath), "D:\\backup");
    EXPECT_EQ(file->path(IFilesystemItem::LocalPath), QString::fromStdString(mountDir() + "/backup/a.bkp"));
    EXPECT_EQ(file->path(IFilesystemItem::DevicePath), QString::fromStdString(partition));
    EXPECT_EQ(file->path(IFilesystemItem::MountDirectory), QString::fromStdString(mountDir()));
    EXPECT_EQ(file->path(IFilesystemItem::DiskDevicePath), "");
    EXPECT_EQ(file->attribute(IFilesystemItem::TypeKey), IFilesystemItem::FileType);
    EXPECT_EQ(file->attribute(IFilesystemItem::DeviceNumberKey),
              d->attribute(IFilesystemItem::DeviceNumberKey));
    EXPECT_EQ(file->row(), 1);
    EXPECT_EQ(file->parent(), backup);
}

TEST_F(NtfsPlaceTest, NameFiltersLimitFilesButNotDirectories)
{
    const QStringList filters{"*.BKP"};
    RootFilesystemItem root(&filters, false, &prober);
    IFilesystemItem* d = root.child(0);
    d->populate();
    const QStringList top = names(d);
    EXPECT_EQ(top.size(), 4) << top.join(", ").toStdString();
    EXPECT_TRUE(top.contains("top.bkp"));
    EXPECT_FALSE(top.contains("readme.txt"));
    IFilesystemItem* sub = childNamed(d, "sub");
    ASSERT_NE(sub, nullptr);
    sub->populate();
    EXPECT_EQ(names(sub), (QStringList{"B", "c"}));
    IFilesystemItem* backup = childNamed(d, "backup");
    backup->populate();
    EXPECT_EQ(names(backup), (QStringList{"$RECYCLE.BIN", "a.bkp"}));
}

TEST_F(NtfsPlaceTest, ClearingAPlaceGivesItsMountBackAndKeepsItClosedUntilReopened)
{
    RootFilesystemItem root(nullptr, false, &prober);
    auto* d = dynamic_cast<MountPointItem*>(root.child(0));
    ASSERT_NE(d, nullptr);
    d->populate();
    ASSERT_TRUE(mounttest::IsMountPoint(mountDir()));
    d->clearChildren();
    EXPECT_FALSE(mounttest::IsMountPoint(mountDir()));
    EXPECT_FALSE(d->hasChildren());
    EXPECT_EQ(d->path(IFilesystemItem::LocalPath), "") << "no stale directory for a writer";
    d->populate();
    EXPECT_FALSE(mounttest::IsMountPoint(mountDir())) << "still closed";
    d->setAccessible(true);
    EXPECT_TRUE(d->hasChildren());
    d->populate();
    EXPECT_TRUE(mounttest::IsMountPoint(mountDir()));
    EXPECT_EQ(d->childCount(), 5);

    d->unmountIfMounted();
    EXPECT_FALSE(mounttest::IsMountPoint(mountDir()));
    EXPECT_TRUE(d->hasChildren()) << "openable again";
}

TEST_F(PlacesTest, APlaceWhoseMountFailsShowsNoExpanderUntilMadeAccessible)
{
    mounttest::FakeHelpers helpers({"mount.ntfs"});
    helpers.failWith("mount.ntfs", 21);
    addPartition(addDisk("/dev/sdx"), "/dev/sdx1", 'D', nullptr, "ntfs");
    mounttest::MessageLog messages;
    RootFilesystemItem root(nullptr, false, &prober);
    IFilesystemItem* d = root.child(0);
    ASSERT_TRUE(d->hasChildren());
    d->populate();
    EXPECT_FALSE(d->hasChildren());
    EXPECT_EQ(d->childCount(), 0);
    EXPECT_TRUE(messages.joined().contains("Unable to mount /dev/sdx1 (ntfs)"));
    d->populate();
    EXPECT_EQ(helpers.runs().size(), 1u) << "not retried";
    d->setAccessible(true);
    EXPECT_TRUE(d->hasChildren());
    d->populate();
    EXPECT_EQ(helpers.runs().size(), 2u);
    d->setAccessible(false);
    EXPECT_FALSE(d->hasChildren());
}

TEST_F(PlacesTest, ReopeningAnEmptyMountedPlaceTakesNoSecondUse)
{
    mounttest::FakeHelpers helpers({"mount.ntfs", "umount"});
    addPartition(addDisk("/dev/sdw"), "/dev/sdw1", 'D', nullptr, "ntfs");
    {
        RootFilesystemItem root(nullptr, false, &prober);
        IFilesystemItem* d = root.child(0);
        d->populate();
        EXPECT_FALSE(d->hasChildren()) << "the fake helper mounts nothing: an empty volume";
        d->setAccessible(true);
        d->populate();
        EXPECT_EQ(MountTable::instance()->users("/dev/sdw1"), 1);
    }
    EXPECT_EQ(helpers.runs().size(), 2u) << "one mount, one umount";
    EXPECT_EQ(MountTable::instance()->mountedDirectory("/dev/sdw1"), nullptr);
}

TEST_F(PlacesTest, AFat32PlaceMountsThroughTheMountProgram)
{
    for (const char* program : {"fusefat", "mkfs.fat", "mcopy", "mmd"})
        REQUIRE_PROGRAM(program);
    if (!mounttest::FuseUsable())
        SKIP_OR_FAIL_IN_CI("no FUSE here: fusefat cannot mount");
    const std::string fat = folder.file("sdy1");
    // No volume label and 8.3 names: fusefat lists label entries and short
    // names, where the kernel's driver would not.
    testsupport::FatImage image(fat, 40 << 20, 1, "", folder.path());
    image.MakeDir("/IMAGES");
    image.AddFile("/IMAGES/FULL.BKP", placestest::Bytes("image"));
    image.AddFile("/README.TXT", placestest::Bytes("text"));

    // `mount SRC DIR -o utf8`, served by fusefat because this kernel has no
    // FAT driver; every run is recorded.
    testsupport::TempDir bin;
    const std::string log = bin.file("runs.log");
    std::ofstream(bin.file("mount")) << "#!/bin/sh\necho \"mount $*\" >> " << testsupport::Quote(log) << "\n"
                                     << "exec fusefat -o rw+,fsname=\"$1\" \"$1\" \"$2\" > /dev/null\n";
    testsupport::Run("chmod +x " + testsupport::Quote(bin.file("mount")));
    probetest::ScopedEnv path("PATH", (bin.path() + ":" + getenv("PATH")).c_str());

    addPartition(addDisk(folder.file("sdy").c_str(), DiskKindDisk, 1), fat, 'E', "DATA", "fat32");
    {
        RootFilesystemItem root(nullptr, false, &prober);
        IFilesystemItem* e = root.child(0);
        e->populate();
        const std::vector<uint8_t> runs = testsupport::ReadFileBytes(log);
        EXPECT_EQ(std::string(runs.begin(), runs.end()),
                  "mount " + fat + " " + base + "/sdy1 -o utf8,noatime\n");
        EXPECT_TRUE(MountTable::isMountOf((base + "/sdy1").c_str(), fat.c_str()));
        EXPECT_EQ(names(e), (QStringList{"IMAGES", "README.TXT"}));
        IFilesystemItem* images = e->child(0);
        images->populate();
        ASSERT_EQ(images->childCount(), 1);
        EXPECT_EQ(images->child(0)->path(IFilesystemItem::WindowsPath), "E:\\IMAGES\\FULL.BKP");
        EXPECT_EQ(images->child(0)->size(), 5);
    }
    EXPECT_FALSE(mounttest::IsMountPoint(base + "/sdy1"));
}

}  // namespace
