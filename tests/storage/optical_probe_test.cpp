// The optical-drive list from a fake /proc, and the drive requests on nodes
// that are not drives.
#include "storage/probe_fixtures.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <vector>

using namespace probetest;
using testsupport::TempDir;

namespace {

const char kCdromInfo[] = "CD-ROM information, Id: cdrom.c 3.20 2003/12/17\n"
                          "\n"
                          "drive name:\t\tsr1\tsr0\thdc\r\n"
                          "drive speed:\t\t24\t24\t8\n"
                          "Can close tray:\t\t1\t1\t1\n"
                          "drive name: means nothing here\n";

class OpticalProbeTest : public ::testing::Test {
protected:
    OpticalProbeTest()
    {
        systemPaths().proc = m_root.file("proc");
        systemPaths().dev = "/fakedev";
        MakeDirs(systemPaths().proc + "/sys/dev/cdrom");
        m_nodes.add("/fakedev/sr0", NodeKind::Block, makedev(11, 0));
        m_nodes.add("/fakedev/sr1", NodeKind::Block, makedev(11, 1));
        m_nodes.add("/fakedev/hdc", NodeKind::Character, makedev(22, 0));
        m_nodes.add("/fakedev/means", NodeKind::Block, makedev(7, 7));
    }

    void writeInfo(const std::string& text) { WriteText(systemPaths().proc + "/sys/dev/cdrom/info", text); }

    TempDir m_root;
    ScopedSystemPaths m_restorePaths;
    FakeNodes m_nodes;
};

struct Seen {
    std::vector<OpticalDrive> drives;
    size_t stopAfter = 0;  // 0: never stop
};

int record(dev_t dev, const char* path, void* context)
{
    auto* seen = static_cast<Seen*>(context);
    seen->drives.push_back({dev, path});
    return seen->drives.size() == seen->stopAfter ? -1 : 0;
}

TEST_F(OpticalProbeTest, WalksBlockNodesNamedOnDriveNameLines)
{
    writeInfo(kCdromInfo);
    Seen seen;
    errno = EBADF;
    EXPECT_EQ(forEachOpticalDrive(record, &seen), 0);
    EXPECT_EQ(errno, 0);
    // hdc is not a block node and "nothing" and "here" do not exist; the
    // words of the second "drive name:" line are still taken as names.
    ASSERT_EQ(seen.drives.size(), 3u);
    EXPECT_EQ(seen.drives[0].path, "/fakedev/sr1");
    EXPECT_EQ(seen.drives[0].rdev, makedev(11, 1));
    EXPECT_EQ(seen.drives[1].path, "/fakedev/sr0");
    EXPECT_EQ(seen.drives[2].path, "/fakedev/means");

    std::vector<OpticalDrive> listed = listOpticalDrives();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[1].rdev, makedev(11, 0));
    EXPECT_EQ(listed[1].path, "/fakedev/sr0");

    EXPECT_TRUE(isOpticalDrive(makedev(11, 0)));
    EXPECT_TRUE(isOpticalDrive(makedev(11, 1)));
    EXPECT_FALSE(isOpticalDrive(makedev(22, 0)));
    EXPECT_FALSE(isOpticalDrive(makedev(8, 0)));
}

TEST_F(OpticalProbeTest, NegativeCallbackStopsTheWalk)
{
    writeInfo(kCdromInfo);
    Seen seen;
    seen.stopAfter = 1;
    EXPECT_EQ(forEachOpticalDrive(record, &seen), -1);
    EXPECT_EQ(errno, ECANCELED);
    EXPECT_EQ(seen.drives.size(), 1u);
}

TEST_F(OpticalProbeTest, MissingListOrCallbackFails)
{
    Seen seen;
    EXPECT_EQ(forEachOpticalDrive(record, &seen), -1);  // no info file
    EXPECT_TRUE(listOpticalDrives().empty());
    EXPECT_FALSE(isOpticalDrive(makedev(11, 0)));
    writeInfo(kCdromInfo);
    EXPECT_EQ(forEachOpticalDrive(nullptr, &seen), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_TRUE(seen.drives.empty());
}

TEST_F(OpticalProbeTest, NoDriveLineMeansNoDrives)
{
    writeInfo("CD-ROM information, Id: cdrom.c 3.20 2003/12/17\n\ndrive name:\n");
    EXPECT_TRUE(listOpticalDrives().empty());
}

TEST(OpticalRequestTest, RequestsOnMissingNodesAndOrdinaryFiles)
{
    TempDir dir;
    std::string file = dir.file("not-a-drive");
    WriteText(file, "plain");

    EXPECT_EQ(opticalDriveStatus(dir.file("missing").c_str()), -1);
    EXPECT_EQ(opticalDriveStatus(nullptr), -1);
    EXPECT_EQ(opticalDriveStatus(file.c_str()), -1);

    // A node that cannot be opened is a failed eject, with its errno.
    errno = 0;
    EXPECT_EQ(ejectMedia(dir.file("missing").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(ejectMedia(file.c_str()), -1);
    EXPECT_EQ(errno, ENOTTY);
}

}  // namespace
