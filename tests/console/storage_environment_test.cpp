// The RESCUE_* variables point the storage layer at disk files: the paths,
// the linked device nodes and the disk list the prober scans.
#include "storage/parted_sanitizer_options.h"
#include "console/frame_console_fixture.h"
#include "programs/rescue/console/storage_environment.h"
#include "platform/linux/system_paths.h"
#include "platform/linux/system_probes.h"

#include <QFile>
#include <gtest/gtest.h>

#include <sys/sysmacros.h>

namespace {

class StorageEnvironment : public ::testing::Test {
protected:
    void SetUp() override
    {
        consoletest::consoleApp();
        root = QString::fromStdString(consoletest::demoDisksRoot());
        if (root.isEmpty())
            SKIP_OR_FAIL_IN_CI("mkntfs or sfdisk missing: no demo disks");
    }
    QString dev(const char* name) const { return root + QStringLiteral("/dev/") + QLatin1String(name); }
    QString root;
};

TEST_F(StorageEnvironment, PathsComeFromTheVariables)
{
    EXPECT_EQ(QString::fromStdString(systemPaths().sys), root + QStringLiteral("/sys"));
    EXPECT_EQ(QString::fromStdString(systemPaths().proc), root + QStringLiteral("/proc"));
    EXPECT_EQ(QString::fromStdString(systemPaths().dev), root + QStringLiteral("/dev"));
    EXPECT_EQ(QString::fromStdString(systemPaths().mountBase), root + QStringLiteral("/mnt"));
}

TEST_F(StorageEnvironment, DisksAreTheLinkedFilesWithoutAPartitionEntry)
{
    EXPECT_EQ(linkedDiskPaths(), QStringList({dev("sdx"), dev("sdy")}));
}

TEST_F(StorageEnvironment, LinkedFilesAreBlockDevicesOfTheirNumbers)
{
    const struct {
        const char* name;
        unsigned minorNumber;
    } cases[] = {{"sdx", 112}, {"sdx1", 113}, {"sdx2", 114}, {"sdy", 128}, {"sdy1", 129}};
    for (const auto& c : cases) {
        NodeInfo info;
        ASSERT_TRUE(lookupNode(dev(c.name).toLocal8Bit().constData(), &info)) << c.name;
        EXPECT_EQ(info.kind, NodeKind::Block) << c.name;
        EXPECT_EQ(info.rdev, makedev(8, c.minorNumber)) << c.name;
    }
    // A file no link names stays what it is; a missing one is not found.
    const QString loose = root + QStringLiteral("/dev/loose");
    QFile(loose).open(QIODevice::WriteOnly);
    NodeInfo info;
    ASSERT_TRUE(lookupNode(loose.toLocal8Bit().constData(), &info));
    EXPECT_EQ(info.kind, NodeKind::Other);
    EXPECT_FALSE(lookupNode((root + QStringLiteral("/dev/none")).toLocal8Bit().constData(), &info));
    QFile::remove(loose);
    NodeInfo real;
    ASSERT_TRUE(lookupNode("/dev/null", &real));
    EXPECT_EQ(real.kind, NodeKind::Character);
}

}  // namespace
