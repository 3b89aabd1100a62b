// The file browser's model over real places: Qt's model tester, roles and
// columns, exact row removal, the optical-drive slots and refreshes, and who
// keeps a mount alive, on an NTFS partition file mounted by ntfs-3g.
#include "platform/linux/cdrom_manager.h"
#include "storage_ui/filesystem_model.h"
#include "platform/linux/mount_table.h"
#include "storage/parted_sanitizer_options.h"
#include "storage/places_fixtures.h"
#include "jobs/size_text.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

using placestest::PlacesTest;

class FilesystemModelTest : public PlacesTest {
protected:
    void SetUp() override { makeNtfsPlace(); }

    std::unique_ptr<FilesystemModel> newModel(const QStringList* filters = nullptr)
    {
        return std::make_unique<FilesystemModel>(nullptr, filters, false, &prober);
    }
    QModelIndex child(FilesystemModel& model, const QModelIndex& parent, const QString& name)
    {
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex index = model.index(row, 0, parent);
            if (index.data().toString() == name)
                return index;
        }
        return QModelIndex();
    }
    QStringList rowNames(FilesystemModel& model, const QModelIndex& parent)
    {
        QStringList names;
        for (int row = 0; row < model.rowCount(parent); ++row)
            names << model.index(row, 0, parent).data().toString();
        return names;
    }
};

TEST_F(FilesystemModelTest, PassesQtsModelTesterWhileItMountsAndLists)
{
    auto model = newModel();
    QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QModelIndex d = model->index(0, 0);
    ASSERT_TRUE(d.isValid());
    EXPECT_TRUE(model->hasChildren(d));
    EXPECT_EQ(model->rowCount(d), 5);
    const QModelIndex sub = child(*model, d, "sub");
    EXPECT_EQ(rowNames(*model, sub), (QStringList{"B", "c", "A", "b"}));
    // The tester walks the new tree at once, so the place is mounted again;
    // the old tree's use must have been given back.
    model->refresh();
    EXPECT_EQ(MountTable::instance()->users(partition.c_str()), 1);
    EXPECT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->rowCount(model->index(0, 0)), 5);
}

TEST_F(FilesystemModelTest, ColumnsHeadersAndRoles)
{
    place->usedSectors = 4096;
    auto model = newModel();
    EXPECT_EQ(model->columnCount(), 4);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Type");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Size");
    EXPECT_EQ(model->headerData(3, Qt::Horizontal).toString(), "Free space");
    EXPECT_FALSE(model->headerData(4, Qt::Horizontal).isValid());
    EXPECT_FALSE(model->headerData(0, Qt::Vertical).isValid());

    const QModelIndex d = model->index(0, 0);
    EXPECT_EQ(d.data().toString(), "DATA (D:)");
    EXPECT_EQ(d.data(FilesystemModel::ItemTypeRole).toInt(), IFilesystemItem::MountPointType);
    EXPECT_EQ(d.data(FilesystemModel::DevicePathRole).toString(), QString::fromStdString(partition));
    EXPECT_FALSE(d.data(Qt::DecorationRole).value<QIcon>().isNull());
    // A place tells what it holds and how much room is left, in the size
    // text of every other list.
    EXPECT_EQ(model->index(0, 1).data().toString(), "NTFS");
    EXPECT_EQ(model->index(0, 2).data().toString(), formatSize(qint64(place->length) * 512));
    EXPECT_EQ(model->index(0, 3).data().toString(),
              formatSize(qint64(place->length - place->usedSectors) * 512));
    EXPECT_EQ(model->flags(d), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    EXPECT_EQ(model->flags(QModelIndex()), Qt::NoItemFlags);

    const QModelIndex top = child(*model, d, "top.bkp");
    ASSERT_TRUE(top.isValid());
    EXPECT_EQ(model->index(top.row(), 1, d).data().toString(), "File");
    EXPECT_EQ(model->index(top.row(), 2, d).data().toString(), formatSize(10));
    EXPECT_FALSE(model->index(top.row(), 3, d).data().isValid());
    EXPECT_EQ(top.data(FilesystemModel::WindowsPathRole).toString(), "D:\\top.bkp");
    EXPECT_EQ(top.data(FilesystemModel::PathRole).toString(),
              QString::fromStdString(mountDir() + "/top.bkp"));
    EXPECT_EQ(top.data(FilesystemModel::DevicePathRole).toString(), QString::fromStdString(partition));
    EXPECT_EQ(top.data(FilesystemModel::MountDirRole).toString(), QString::fromStdString(mountDir()));
    EXPECT_EQ(top.data(FilesystemModel::ItemTypeRole).toInt(), IFilesystemItem::FileType);
    EXPECT_EQ(top.data(FilesystemModel::DeviceKindRole).toInt(), 0);
    EXPECT_EQ(top.data(FilesystemModel::DeviceNumberRole).toInt(), int(place->rdev));
    EXPECT_EQ(model->parent(top), d);

    const QModelIndex backup = child(*model, d, "backup");
    EXPECT_EQ(model->index(backup.row(), 1, d).data().toString(), "Folder");
    EXPECT_FALSE(model->index(backup.row(), 2, d).data().isValid());
    EXPECT_EQ(model->rowCount(model->index(backup.row(), 1, d)), 0) << "only column 0 has rows";
}

TEST_F(FilesystemModelTest, RemoveRowsRemovesExactlyTheRowsAsked)
{
    auto model = newModel();
    QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QModelIndex d = model->index(0, 0);
    const QModelIndex sub = child(*model, d, "sub");
    ASSERT_EQ(model->rowCount(sub), 4);
    QSignalSpy removed(model.get(), &QAbstractItemModel::rowsRemoved);
    EXPECT_FALSE(model->removeRows(3, 2, sub));
    EXPECT_FALSE(model->removeRows(-1, 1, sub));
    EXPECT_TRUE(model->removeRows(1, 2, sub));
    EXPECT_EQ(rowNames(*model, sub), (QStringList{"B", "b"}));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(1).toInt(), 1);
    EXPECT_EQ(removed.at(0).at(2).toInt(), 2);
    EXPECT_TRUE(mounttest::IsMountPoint(mountDir()));

    // Every row of the place: its mount goes too.
    EXPECT_TRUE(model->removeRows(0, model->rowCount(d), d));
    EXPECT_EQ(model->rowCount(d), 0);
    EXPECT_FALSE(mounttest::IsMountPoint(mountDir()));

    // Top-level rows.
    EXPECT_FALSE(model->removeRows(0, 2));
    EXPECT_TRUE(model->removeRows(0, 1));
    EXPECT_EQ(model->rowCount(), 0);
}

TEST_F(FilesystemModelTest, AnEjectUnmountsAndClosesTheDriveUntilADiscIsReady)
{
    auto model = newModel();
    const QModelIndex d = model->index(0, 0);
    ASSERT_EQ(model->rowCount(d), 5);
    ASSERT_TRUE(mounttest::IsMountPoint(mountDir()));

    // Another device: nothing changes.
    emit CDROMManager::instance()->requestUmount(place->rdev + 1000);
    EXPECT_EQ(model->rowCount(d), 5);

    emit CDROMManager::instance()->requestUmount(place->rdev);
    EXPECT_FALSE(mounttest::IsMountPoint(mountDir()));
    EXPECT_FALSE(model->hasChildren(d));
    EXPECT_EQ(model->rowCount(d), 0) << "not mounted when the user tries to open it";
    EXPECT_FALSE(mounttest::IsMountPoint(mountDir()));

    emit prober.oddStatusChanged(place->rdev, 4);
    EXPECT_TRUE(model->hasChildren(d));
    emit prober.oddStatusChanged(place->rdev, 2);
    EXPECT_FALSE(model->hasChildren(d));
    emit prober.oddStatusChanged(place->rdev, 7);
    EXPECT_FALSE(model->hasChildren(d));
    emit prober.oddStatusChanged(place->rdev, 4);
    EXPECT_EQ(model->rowCount(d), 5) << "opens again with the new disc";
    EXPECT_TRUE(mounttest::IsMountPoint(mountDir()));
}

TEST_F(FilesystemModelTest, TwoModelsShareAMountAndTheLastOneUnmounts)
{
    auto first = newModel();
    auto second = newModel();
    ASSERT_EQ(first->rowCount(first->index(0, 0)), 5);
    ASSERT_EQ(second->rowCount(second->index(0, 0)), 5);
    EXPECT_EQ(MountTable::instance()->users(partition.c_str()), 2);
    first.reset();
    EXPECT_TRUE(mounttest::IsMountPoint(mountDir())) << "the second model still shows the place";
    EXPECT_EQ(second->rowCount(second->index(0, 0)), 5);
    second.reset();
    EXPECT_FALSE(mounttest::IsMountPoint(mountDir()));
}

TEST_F(FilesystemModelTest, ADestinationInUseSurvivesAProbeAndIsCheckedBeforeAJobWrites)
{
    auto model = newModel();
    const QModelIndex d = model->index(0, 0);
    const QModelIndex backup = child(*model, d, "backup");
    const std::string device = backup.data(FilesystemModel::DevicePathRole).toString().toStdString();
    const std::string dir = backup.data(FilesystemModel::MountDirRole).toString().toStdString();
    // The wizard keeps its chosen destination.
    ASSERT_TRUE(MountTable::instance()->retain(device.c_str()));

    emit prober.probeFinished();  // F5
    EXPECT_TRUE(mounttest::IsMountPoint(dir));
    EXPECT_TRUE(MountTable::isMountOf(dir.c_str(), device.c_str()));
    EXPECT_TRUE(testsupport::FileExists(dir + "/backup/a.bkp"));
    const QString chosen = QString::fromStdString(dir + "/backup/new.bkp");
    EXPECT_TRUE(MountTable::instance()->isPathOnMountOf(chosen, device.c_str()));
    EXPECT_TRUE(MountTable::instance()->isPathOnMountOf(QString::fromStdString(dir), device.c_str()));
    EXPECT_FALSE(MountTable::instance()->isPathOnMountOf(QString::fromStdString(dir + "-other/x.bkp"),
                                                         device.c_str()));
    EXPECT_FALSE(MountTable::instance()->isPathOnMountOf(chosen, "/dev/sdq9"));

    // Someone else unmounts it behind the console's back: the job must see it.
    ASSERT_EQ(testsupport::Run("umount " + testsupport::Quote(dir)).exitCode, 0);
    EXPECT_FALSE(MountTable::isMountOf(dir.c_str(), device.c_str()));
    EXPECT_FALSE(MountTable::instance()->isPathOnMountOf(chosen, device.c_str()));

    MountTable::instance()->unmount(device.c_str());
    EXPECT_EQ(MountTable::instance()->mountedDirectory(device.c_str()), nullptr);
}

TEST_F(FilesystemModelTest, WithoutAJobAProbeUnmountsEveryPlaceOfTheOldTree)
{
    auto model = newModel();
    ASSERT_EQ(model->rowCount(model->index(0, 0)), 5);
    QSignalSpy reset(model.get(), &QAbstractItemModel::modelReset);
    emit prober.probeFinished();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_FALSE(mounttest::IsMountPoint(mountDir()));
    EXPECT_EQ(model->rowCount(), 1);
}

TEST_F(FilesystemModelTest, NameFiltersAreCopied)
{
    auto filters = std::make_unique<QStringList>(QStringList{"*.bkp"});
    auto model = newModel(filters.get());
    filters.reset();
    ASSERT_NE(model->nameFilters(), nullptr);
    EXPECT_EQ(*model->nameFilters(), QStringList{"*.bkp"});
    const QModelIndex d = model->index(0, 0);
    EXPECT_EQ(model->rowCount(d), 4);
    EXPECT_EQ(newModel()->nameFilters(), nullptr);
}

// ------------------------------------------------------------ optical discs

// A drive whose disc is an ISO file made by genisoimage. This kernel has no
// iso9660 driver, so the system call is replaced by fuseiso for the
// iso9660 attempt; the udf attempts fail as they would for an ISO disc.
class OpticalPlaceTest : public PlacesTest {
protected:
    void SetUp() override
    {
        for (const char* program : {"genisoimage", "fuseiso"})
            REQUIRE_PROGRAM(program);
        if (!mounttest::FuseUsable())
            SKIP_OR_FAIL_IN_CI("no FUSE here: fuseiso cannot mount");
        iso = folder.file("sr0");
        const std::string tree = folder.file("disc");
        testsupport::Run("mkdir -p " + testsupport::Quote(tree + "/IMAGES"));
        testsupport::WriteFileBytes(tree + "/IMAGES/DISK_1_0.BKP", placestest::Bytes("volume one"));
        const auto made = testsupport::Run("genisoimage -quiet -J -R -V DISC -o " + testsupport::Quote(iso) +
                                           " " + testsupport::Quote(tree));
        ASSERT_EQ(made.exitCode, 0) << made.output;
        DiskRecord* drive = addDisk(iso.c_str(), DiskKindOptical, 0, 1);
        place = addPartition(drive, iso, 'F', nullptr, nullptr, drive->rdev);
        MountTable::instance()->setSystemMount([this](const char* source, const char* target,
                                                      const char* type, unsigned long, const void* data) {
            attempts.push_back(std::string(type) + (data ? " utf8" : ""));
            if (noDisc) {
                errno = ENOMEDIUM;
                return -1;
            }
            if (std::strcmp(type, "iso9660") != 0) {
                errno = EINVAL;
                return -1;
            }
            const auto run =
                testsupport::Run("fuseiso -n " + testsupport::Quote(source) + " " +
                                 testsupport::Quote(target) + " -o fsname=" + testsupport::Quote(source));
            errno = EIO;
            return run.exitCode == 0 ? 0 : -1;
        });
    }
    void TearDown() override { MountTable::instance()->setSystemMount(nullptr); }

    std::string iso;
    std::vector<std::string> attempts;
    bool noDisc = false;
};

TEST_F(OpticalPlaceTest, ADiscIsListedAndEjectingItUnmountsAndClosesTheDrive)
{
    FilesystemModel model(nullptr, nullptr, true, &prober);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QModelIndex f = model.index(0, 0);
    EXPECT_EQ(f.data().toString(), "CD ROM (F:)");
    EXPECT_EQ(f.data(FilesystemModel::DeviceKindRole).toInt(), 2);
    ASSERT_EQ(model.rowCount(f), 1);
    EXPECT_EQ(attempts, (std::vector<std::string>{"udf utf8", "udf", "iso9660 utf8"}));
    const std::string dir = base + "/sr0";
    EXPECT_TRUE(MountTable::isMountOf(dir.c_str(), iso.c_str()));
    const QModelIndex images = model.index(0, 0, f);
    ASSERT_EQ(model.rowCount(images), 1);
    const QModelIndex volume = model.index(0, 0, images);
    EXPECT_EQ(volume.data(FilesystemModel::WindowsPathRole).toString(), "F:\\IMAGES\\DISK_1_0.BKP");
    EXPECT_EQ(testsupport::ReadFileBytes(volume.data(FilesystemModel::PathRole).toString().toStdString()),
              placestest::Bytes("volume one"));

    emit CDROMManager::instance()->requestUmount(place->rdev);
    EXPECT_FALSE(mounttest::IsMountPoint(dir));
    EXPECT_FALSE(model.hasChildren(f));

    // The next disc is not there yet, then it is.
    noDisc = true;
    attempts.clear();
    emit prober.oddStatusChanged(place->rdev, 4);
    EXPECT_EQ(model.rowCount(f), 0);
    EXPECT_EQ(attempts, (std::vector<std::string>{"udf utf8"})) << "no medium: no further attempt";
    emit prober.oddStatusChanged(place->rdev, 1);
    noDisc = false;
    emit prober.oddStatusChanged(place->rdev, 4);
    EXPECT_EQ(model.rowCount(f), 1);
    EXPECT_TRUE(mounttest::IsMountPoint(dir));
}

}  // namespace
