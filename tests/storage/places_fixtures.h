// The file browser's tests: a prober of their own whose list holds the
// places, and real partition files behind them (NTFS made and filled by
// ntfs-3g, FAT32 by mkfs.fat and mtools), mounted under a private mount base.
#ifndef TESTS_STORAGE_PLACES_FIXTURES_H
#define TESTS_STORAGE_PLACES_FIXTURES_H

#include "platform/linux/device_prober.h"
#include "support/fat_fixture.h"
#include "platform/linux/filesystem_item.h"
#include "storage/mount_fixtures.h"
#include "support/ntfs_fixture.h"
#include "storage/prober_fixtures.h"

#include <QMutexLocker>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace placestest {

using testsupport::NtfsFileSpec;

inline std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The NTFS volume the listing tests look into.
inline std::vector<NtfsFileSpec> BrowserFiles()
{
    return {
        {"$Recycle.Bin/deleted.bkp", Bytes("gone")},
        {"backup/a.bkp", Bytes("image")},
        {"backup/notes.txt", Bytes("text")},
        {"backup/$RECYCLE.BIN/old.bkp", Bytes("old")},
        {"sub/b", Bytes("b")},
        {"sub/A", Bytes("A")},
        {"sub/c", {}, true},
        {"sub/B", {}, true},
        {"Zeta", {}, true},
        {"top.bkp", Bytes("0123456789")},
        {"readme.txt", Bytes("read me")},
        {".hidden.bkp", Bytes("hidden")},
    };
}

// A stand-in for the network node: a leaf that remembers its filters.
class FakeNetworkItem : public FilesystemChildren {
public:
    FakeNetworkItem(const WildcardFilters* filters, IFilesystemItem* parent)
        : filters(filters), m_parent(parent)
    {}
    int attribute(int key) const override
    {
        return key == TypeKey ? NetworkType : key == DeviceKindKey ? 3 : 0;
    }
    QString name() const override { return QStringLiteral("Network"); }
    QString path(int) override { return QString(); }
    qint64 size() const override { return 0; }
    QDateTime lastModified() const override { return QDateTime(); }
    void populate() override {}
    void setAccessible(bool) override {}
    IFilesystemItem* parent() const override { return m_parent; }
    bool hasChildren() const override { return false; }
    int row() const override { return m_parent ? m_parent->indexOf(this) : 0; }
    void clearChildren() override {}

    const WildcardFilters* filters;

private:
    IFilesystemItem* m_parent;
};

class PlacesTest : public ::testing::Test {
protected:
    PlacesTest()
    {
        probertest::testApp();
        testsupport::Run("mkdir -p " + testsupport::Quote(base));
    }

    DiskRecord* addDisk(const char* path, int kind = DiskKindDisk, int usb = 0, int removable = 0)
    {
        auto* disk = new DiskRecord;
        disk->path = duplicateText(path);
        disk->kind = kind;
        disk->usb = usb;
        disk->removable = removable;
        disk->rdev = ++lastNumber;
        disk->sectorSize = kind == DiskKindOptical ? 0 : 512;
        disk->length = kind == DiskKindOptical ? 0 : 2097152;
        prober.addDisk(disk);
        return disk;
    }
    PartitionRecord* addPartition(DiskRecord* disk, const std::string& path, char letter, const char* label,
                                  const char* fsName, dev_t rdev = 0)
    {
        auto* part = new PartitionRecord;
        part->disk = disk;
        part->path = duplicateText(path.c_str());
        part->letter = letter;
        part->label = duplicateText(label);
        part->fsName = duplicateText(fsName);
        part->rdev = rdev ? rdev : ++lastNumber;
        part->length = 16384;
        appendPartition(&disk->partitions, part);
        return part;
    }

    // An NTFS partition file named sdz1 holding BrowserFiles(); skips the
    // test where ntfs-3g cannot mount.
    void makeNtfsPlace(char letter = 'D')
    {
        if (!testsupport::HaveNtfsTools() || !testsupport::HaveProgram("mount.ntfs"))
            SKIP_OR_FAIL_IN_CI("ntfs-3g is not installed");
        if (!mounttest::FuseUsable() || !testsupport::NtfsMountUsable())
            SKIP_OR_FAIL_IN_CI("no FUSE here: ntfs-3g cannot mount the partition file");
        partition = folder.file("sdz1");
        std::string log;
        ASSERT_TRUE(testsupport::MakeNtfsPartition(partition, 16 << 20, &log)) << log;
        ASSERT_TRUE(testsupport::FillNtfsPartition(partition, folder.file("fill"), BrowserFiles(), &log))
            << log;
        placeDisk = addDisk(folder.file("sdz").c_str());
        place = addPartition(placeDisk, partition, letter, "DATA", "ntfs");
    }
    std::string mountDir() const { return base + "/sdz1"; }

    static QStringList names(IFilesystemItem* node)
    {
        QStringList texts;
        for (int row = 0; row < node->childCount(); ++row)
            texts << node->child(row)->name();
        return texts;
    }
    static IFilesystemItem* childNamed(IFilesystemItem* node, const QString& name)
    {
        for (int row = 0; row < node->childCount(); ++row) {
            if (node->child(row)->name() == name)
                return node->child(row);
        }
        return nullptr;
    }

    // Declared first: unmounts whatever is left after everything else went.
    mounttest::MountFolder folder;
    // Characters that mean something in a regular expression.
    std::string base = folder.file("mnt+base(1)");
    mounttest::ScopedMountPaths paths{base};
    dev_t lastNumber = 0x800;
    DeviceProber prober;
    DiskRecord* placeDisk = nullptr;
    PartitionRecord* place = nullptr;
    std::string partition;
};

}  // namespace placestest

#endif
