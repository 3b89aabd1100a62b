// The probes on a real block device: a loop device over a FAT image, read
// through the machine's own /sys and /dev. Skipped where no loop device can
// be attached.
#include "storage/probe_fixtures.h"
#include "support/loop_device.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace probetest;
using testsupport::LoopDevice;
using testsupport::Quote;
using testsupport::TempDir;

TEST(LoopDeviceProbeTest, ProbesAgreeWithTheKernelAndBlkid)
{
    REQUIRE_PROGRAM("losetup");
    REQUIRE_PROGRAM("mkfs.fat");
    REQUIRE_PROGRAM("fsck.fat");
    REQUIRE_PROGRAM("mcopy");
    TempDir dir;
    std::string image = MakeFatImage(dir.file("fat32"), 32, 40, "LOOPED", "CAFE0123");
    testsupport::WriteFileBytes(dir.file("a.bin"), testsupport::PatternBytes(200000, 4));
    MustRun("mcopy -i " + Quote(image) + " " + Quote(dir.file("a.bin")) + " ::/a.bin");

    LoopDevice loop(image);
    if (loop.node().empty())
        SKIP_OR_FAIL_IN_CI("no loop device can be attached here");
    const char* node = loop.node().c_str();

    NodeInfo info;
    ASSERT_TRUE(lookupNode(node, &info));
    ASSERT_EQ(info.kind, NodeKind::Block);
    EXPECT_EQ(readSysfsBlockValue(info.rdev, "size"), int64_t(40 << 20) / 512);
    EXPECT_EQ(readSysfsBlockValue(info.rdev, "no-such-value"), -1);

    char path[DEV_NODE_PATH_SIZE];
    ASSERT_EQ(devNodePath(info.rdev, path), 0);
    EXPECT_EQ(std::string(path), loop.node());

    std::string uevent = systemPaths().sys + "/dev/block/" + NumberText(info.rdev) + "/uevent";
    dev_t fromUevent = 0;
    char type[16];
    ASSERT_EQ(readUevent(uevent.c_str(), &fromUevent, type, sizeof type), 0);
    EXPECT_EQ(fromUevent, info.rdev);
    EXPECT_STREQ(type, "disk");

    EXPECT_EQ(isUsbDevice(node), 0);
    EXPECT_EQ(isRemovableDevice(node), ReadText(uevent.substr(0, uevent.size() - 6) + "removable")[0] == '1');
    EXPECT_FALSE(isOpticalDrive(info.rdev));
    EXPECT_EQ(opticalDriveStatus(node), -1);  // not a drive: the request fails

    char* typeName = nullptr;
    char* uuid = nullptr;
    char* label = probeVolume(node, 40 << 20, &typeName, &uuid);
    EXPECT_STREQ(label, "LOOPED");
    EXPECT_STREQ(typeName, "FAT32");
    EXPECT_STREQ(uuid, "CAFE0123");
    EXPECT_EQ(BlkidValue(loop.node(), "UUID"), "CAFE-0123");
    free(label);
    free(typeName);
    free(uuid);

    uint64_t serial = 0;
    ASSERT_EQ(readVolumeSerial(node, 3, &serial), 0);
    EXPECT_EQ(serial, 0xCAFE0123u);

    uint64_t used = FsckFatUsedSectors(loop.node());
    EXPECT_GT(used, 200000u / 512);
    EXPECT_EQ(partitionUsedSectors(node, "fat32"), used);
    EXPECT_EQ(usedSectorsByTool(node, "fat32"), used);
}
