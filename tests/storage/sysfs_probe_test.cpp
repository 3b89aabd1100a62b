// The sysfs readers against a fake /sys and /dev tree.
#include "storage/probe_fixtures.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <cstring>

using namespace probetest;
using testsupport::TempDir;

namespace {

class SysfsProbeTest : public ::testing::Test {
protected:
    SysfsProbeTest()
    {
        systemPaths().sys = m_root.file("sys");
        systemPaths().dev = m_root.file("dev");
        MakeDirs(dev("/block"));
    }

    std::string dev(const std::string& rest) const { return systemPaths().dev + rest; }

    TempDir m_root;
    ScopedSystemPaths m_restorePaths;
    FakeNodes m_nodes;
};

TEST_F(SysfsProbeTest, ReadsDecimalValuesOfBlockDevices)
{
    dev_t partition = makedev(8, 17);
    std::string folder = AddSysfsDevice("block", partition, "pci0000:00/ata1/block/sdb/sdb1");
    WriteText(folder + "/start", "2048\n");
    WriteText(folder + "/size", "976771168\n");
    WriteText(folder + "/negative", "-5\n");
    WriteText(folder + "/garbage", "none\n");
    WriteText(folder + "/empty", "");

    EXPECT_EQ(readSysfsBlockValue(partition, "start"), 2048);
    EXPECT_EQ(readSysfsBlockValue(partition, "size"), 976771168);
    EXPECT_EQ(readSysfsBlockValue(partition, "negative"), -5);
    EXPECT_EQ(readSysfsBlockValue(partition, "garbage"), -1);
    EXPECT_EQ(readSysfsBlockValue(partition, "empty"), -1);
    EXPECT_EQ(readSysfsBlockValue(partition, "missing"), -1);
    EXPECT_EQ(readSysfsBlockValue(makedev(8, 18), "start"), -1);
    EXPECT_EQ(readSysfsBlockValue(partition, nullptr), -1);
}

TEST_F(SysfsProbeTest, NumbersAbove255KeepTheirMajorAndMinor)
{
    // NVMe namespaces and partitions beyond the 15th use such numbers.
    dev_t partition = makedev(259, 300);
    std::string folder = AddSysfsDevice("block", partition, "pci0000:00/nvme/nvme0n1/nvme0n1p5");
    WriteText(folder + "/size", "4096\n");
    EXPECT_EQ(readSysfsBlockValue(partition, "size"), 4096);

    char path[DEV_NODE_PATH_SIZE];
    ASSERT_EQ(devNodePath(partition, path), 0);
    EXPECT_STREQ(path, dev("/nvme0n1p5").c_str());
}

TEST_F(SysfsProbeTest, DevNodePathPrefersTheResolvedDevBlockLink)
{
    dev_t partition = makedev(8, 1);
    AddSysfsDevice("block", partition, "pci0000:00/ata1/block/sda/sda1");
    MakeDirs(dev("/disk"));
    WriteText(dev("/disk/real-sda1"), "");
    MakeSymlink("../disk/real-sda1", dev("/block/8:1"));

    char path[DEV_NODE_PATH_SIZE];
    ASSERT_EQ(devNodePath(partition, path), 0);
    char* resolved = realpath(dev("/disk/real-sda1").c_str(), nullptr);
    ASSERT_NE(resolved, nullptr);
    EXPECT_STREQ(path, resolved);
    char* copy = devNodePathDup(partition);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, resolved);
    free(copy);
    free(resolved);
}

TEST_F(SysfsProbeTest, DevNodePathFallsBackToTheSysfsName)
{
    dev_t drive = makedev(11, 0);
    AddSysfsDevice("block", drive, "pci0000:00/ata2/block/sr0");
    // A dangling /dev/block link does not resolve either.
    MakeSymlink("../gone", dev("/block/11:0"));

    char path[DEV_NODE_PATH_SIZE];
    ASSERT_EQ(devNodePath(drive, path), 0);
    EXPECT_EQ(std::string(path), dev("/sr0"));
}

TEST_F(SysfsProbeTest, DevNodePathFailsForAnUnknownNumber)
{
    char path[DEV_NODE_PATH_SIZE] = "untouched";
    EXPECT_EQ(devNodePath(makedev(8, 99), path), -1);
    EXPECT_EQ(devNodePathDup(makedev(8, 99)), nullptr);
    EXPECT_EQ(devNodePath(makedev(8, 99), nullptr), -1);
}

TEST_F(SysfsProbeTest, ReadUeventTakesTheFirstOfEachKey)
{
    struct Case {
        const char* name;
        const char* text;
        int result;
        dev_t number;
        const char* type;
    } cases[] = {
        {"disk", "MAJOR=8\nMINOR=16\nDEVNAME=sdb\nDEVTYPE=disk\n", 0, makedev(8, 16), "disk"},
        {"first wins", "MAJOR=259\nMINOR=300\nDEVTYPE=partition\nMAJOR=8\nMINOR=1\nDEVTYPE=disk\n", 0,
         makedev(259, 300), "partition"},
        {"no type", "MAJOR=11\nMINOR=0\n", 0, makedev(11, 0), ""},
        {"no minor", "MAJOR=8\nDEVTYPE=disk\n", -1, 0, "disk"},
        {"no major", "MINOR=8\nDEVTYPE=disk\n", -1, 0, "disk"},
        {"no newline at end", "DEVTYPE=disk\nMAJOR=8\nMINOR=32", 0, makedev(8, 32), "disk"},
        {"negative major", "MAJOR=-8\nMINOR=1\nDEVTYPE=disk\n", -1, 0, "disk"},
        {"minor beyond 32 bits", "MAJOR=8\nMINOR=4294967297\nDEVTYPE=disk\n", -1, 0, "disk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = m_root.file("uevent");
        WriteText(file, c.text);
        dev_t number = 0;
        char type[32];
        strcpy(type, "stale");
        EXPECT_EQ(readUevent(file.c_str(), &number, type, sizeof type), c.result);
        if (c.result == 0) {
            EXPECT_EQ(number, c.number);
        }
        EXPECT_STREQ(type, c.type);
    }
}

TEST_F(SysfsProbeTest, ReadUeventCutsTheTypeToItsBuffer)
{
    std::string file = m_root.file("uevent");
    WriteText(file, "MAJOR=8\nMINOR=0\nDEVTYPE=partition\n");
    dev_t number = 0;
    char type[8];
    memset(type, 'x', sizeof type);
    ASSERT_EQ(readUevent(file.c_str(), &number, type, 5), 0);
    EXPECT_STREQ(type, "part");
    EXPECT_EQ(type[5], 'x');
    // Without a type buffer only the numbers are read.
    EXPECT_EQ(readUevent(file.c_str(), &number, nullptr, 0), 0);
    EXPECT_EQ(readUevent(m_root.file("missing").c_str(), &number, type, sizeof type), -1);
}

TEST_F(SysfsProbeTest, UsbAndRemovableComeFromTheNodesSysfsEntry)
{
    dev_t stick = makedev(8, 32);
    std::string stickFolder = AddSysfsDevice(
        "block", stick, "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host6/target6:0:0/6:0:0:0/block/sdc");
    WriteText(stickFolder + "/removable", "1\n");
    dev_t disk = makedev(8, 0);
    std::string diskFolder = AddSysfsDevice("block", disk, "pci0000:00/ata1/host0/block/sda");
    WriteText(diskFolder + "/removable", "0\n");
    dev_t reader = makedev(189, 5);  // a character node on USB without "removable"
    AddSysfsDevice("char", reader, "pci0000:00/usb2/2-1");
    dev_t partition = makedev(8, 33);  // partitions have no "removable" file
    AddSysfsDevice("block", partition,
                   "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host6/target6:0:0/6:0:0:0/block/sdc/sdc1");

    m_nodes.add("/dev/sdc", NodeKind::Block, stick);
    m_nodes.add("/dev/sda", NodeKind::Block, disk);
    m_nodes.add("/dev/bus/usb/002/005", NodeKind::Character, reader);
    m_nodes.add("/dev/sdc1", NodeKind::Block, partition);
    m_nodes.add("/dev/regular", NodeKind::Other, stick);

    struct Case {
        const char* node;
        int usb;
        int removable;
    } cases[] = {
        {"/dev/sdc", 1, 1},  {"/dev/sda", 0, 0},     {"/dev/bus/usb/002/005", 1, 0},
        {"/dev/sdc1", 1, 0}, {"/dev/regular", 0, 0}, {"/dev/missing", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.node);
        EXPECT_EQ(isUsbDevice(c.node), c.usb);
        EXPECT_EQ(isRemovableDevice(c.node), c.removable);
    }
    EXPECT_EQ(isUsbDevice(nullptr), 0);
    EXPECT_EQ(isRemovableDevice(nullptr), 0);
}

TEST(NodeLookupTest, StatGivesKindAndNumberOfRealNodes)
{
    NodeInfo info;
    ASSERT_TRUE(lookupNode("/dev/null", &info));
    EXPECT_EQ(info.kind, NodeKind::Character);
    EXPECT_EQ(info.rdev, makedev(1, 3));
    ASSERT_TRUE(lookupNode("/", &info));
    EXPECT_EQ(info.kind, NodeKind::Other);
    EXPECT_FALSE(lookupNode("/no/such/node", &info));
    EXPECT_FALSE(lookupNode(nullptr, &info));
}

}  // namespace
