// Which device holds a path and what is mounted from a device, read from
// the system's mount table, on real ntfs-3g mounts of partition files.
#include "support/ntfs_fixture.h"
#include "programs/rescue/console/restore_target.h"
#include "platform/linux/system_paths.h"
#include "support/test_support.h"

#include "storage/parted_sanitizer_options.h"

#include <QString>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using testsupport::TempDir;

QString q(const std::string& path)
{
    return QString::fromStdString(path);
}

class RestoreTargetTest : public ::testing::Test {
protected:
    void SetUp() override { systemPaths().mountTable = "/proc/self/mounts"; }
    TempDir m_dir;
};

TEST_F(RestoreTargetTest, SameDeviceByPathLinkOrDeviceNumber)
{
    testsupport::WriteFileBytes(m_dir.file("sdz1"), {1});
    testsupport::WriteFileBytes(m_dir.file("sdz2"), {2});
    ASSERT_EQ(symlink(m_dir.file("sdz1").c_str(), m_dir.file("by-label").c_str()), 0);
    EXPECT_TRUE(RestoreTarget::sameDevice(q(m_dir.file("sdz1")), q(m_dir.file("by-label"))));
    EXPECT_TRUE(RestoreTarget::sameDevice(q(m_dir.file("sdz1")), q(m_dir.path() + "/./sdz1")));
    EXPECT_FALSE(RestoreTarget::sameDevice(q(m_dir.file("sdz1")), q(m_dir.file("sdz2"))));
    EXPECT_FALSE(RestoreTarget::sameDevice(q(m_dir.file("sdz1")), QString()));

    // Two nodes of one block device are the same device.
    const dev_t number = makedev(7, 240);
    if (mknod(m_dir.file("a").c_str(), S_IFBLK | 0600, number) != 0 ||
        mknod(m_dir.file("b").c_str(), S_IFBLK | 0600, number) != 0 ||
        mknod(m_dir.file("c").c_str(), S_IFBLK | 0600, makedev(7, 241)) != 0)
        SKIP_OR_FAIL_IN_CI("cannot make device nodes here");
    EXPECT_TRUE(RestoreTarget::sameDevice(q(m_dir.file("a")), q(m_dir.file("b"))));
    EXPECT_FALSE(RestoreTarget::sameDevice(q(m_dir.file("a")), q(m_dir.file("c"))));
}

TEST_F(RestoreTargetTest, AMountedPartitionHoldsItsFilesAndIsUnmountedWhole)
{
    if (!testsupport::HaveNtfsTools() || !testsupport::NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here");
    const std::string part = m_dir.file("sdz1");
    std::string log;
    ASSERT_TRUE(testsupport::MakeNtfsPartition(part, 8 << 20, &log)) << log;
    const std::string first = m_dir.file("first");
    const std::string second = m_dir.file("second");
    testsupport::Run("mkdir -p " + testsupport::Quote(first) + " " + testsupport::Quote(second));
    testsupport::NtfsMount mountA(part, first);
    ASSERT_TRUE(mountA.ok()) << mountA.log();
    testsupport::NtfsMount mountB(part, second);
    // ntfs-3g refuses a second read-write mount of one volume; one is enough.
    const int mounts = mountB.ok() ? 2 : 1;

    EXPECT_EQ(RestoreTarget::sourceHoldingPath(q(first + "/image_0_0.bkp")), q(part));
    EXPECT_NE(RestoreTarget::sourceHoldingPath(q(m_dir.file("elsewhere"))), q(part));
    EXPECT_EQ(RestoreTarget::mountDirectoriesOf(q(part)).size(), mounts);
    EXPECT_TRUE(RestoreTarget::mountDirectoriesOf(q(m_dir.file("sdz9"))).isEmpty());

    EXPECT_TRUE(RestoreTarget::unmountAll(q(part)));
    EXPECT_TRUE(RestoreTarget::mountDirectoriesOf(q(part)).isEmpty());
    EXPECT_NE(RestoreTarget::sourceHoldingPath(q(first + "/image_0_0.bkp")), q(part));
}

}  // namespace
