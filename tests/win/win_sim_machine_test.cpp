// What the simulated platform shows of its machine folder: volumes and disks
// over disk files, batches, the registry file and system information.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/windows/mbr.h"
#include "platform/windows/simulated_platform.h"
#include "win/support/test_system.h"
#include "platform/windows/text.h"
#include "platform/windows_engine/volume_helpers.h"

using namespace winplat;

namespace {

class SimMachine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(
            sim::makeDisk(system.machineFolder(), 2, 16, "label: dos\nstart=2048, size=8192, type=7\n"));
        std::ofstream(system.machineFolder() + "/drives.txt", std::ios::app)
            << "\nLetter=H\nType=fixed\nDisk=2\nOffset=1048576\nLockable=no\nTotalBytes=3298534883328\n"
               "FreeBytes=2748779069440\n\nLetter=G\nType=cdrom\n";
    }
    std::string diskFile(int n)
    {
        return system.machineFolder() + "/disks/PhysicalDrive" + std::to_string(n);
    }

    TestSystem system;
    Platform& platform = system.platform();
};

}  // namespace

TEST_F(SimMachine, AVolumeIsItsPartitionsBytes)
{
    {
        std::fstream disk(diskFile(0), std::ios::in | std::ios::out | std::ios::binary);
        disk.seekp(1048576);
        disk << "NTFS boot";
        disk.seekp(1048576 + 32 * 1048576 - 4);
        disk << "end!next";  // the last bytes of C:, then the first of D:'s gap
    }
    Error error = 1;
    std::unique_ptr<Device> volume = platform.open(u"\\\\.\\c:", OpenMode::ReadWrite, error);
    ASSERT_TRUE(volume) << error;
    char buffer[16] = {0};
    std::size_t done = 0;
    ASSERT_EQ(volume->read(buffer, 9, done), err::kSuccess);
    EXPECT_EQ(std::string(buffer, done), "NTFS boot");

    std::uint64_t size = 0;
    ASSERT_EQ(volume->size(size), err::kSuccess);
    EXPECT_EQ(size, 32u * 1048576);
    std::uint64_t position = 0;
    ASSERT_EQ(volume->seek(-4, SeekFrom::End, position), err::kSuccess);
    ASSERT_EQ(volume->read(buffer, sizeof buffer, done), err::kSuccess);
    EXPECT_EQ(std::string(buffer, done), "end!");  // never past the partition
    EXPECT_EQ(volume->write("x", 1, done), err::kSectorNotFound);
    EXPECT_EQ(volume->writeAt(size - 2, "wxyz", 4, done), err::kSuccess);
    EXPECT_EQ(done, 2u);

    PartitionInfo partition;
    ASSERT_EQ(volume->partitionInfo(partition), err::kSuccess);
    EXPECT_EQ(partition.start, 1048576u);
    EXPECT_EQ(partition.length, size);
    EXPECT_EQ(partition.number, 1u);
    EXPECT_EQ(partition.type, 7);
    DeviceNumber number;
    ASSERT_EQ(volume->deviceNumber(number), err::kSuccess);
    EXPECT_EQ(number.deviceNumber, 0u);
    EXPECT_EQ(number.partitionNumber, 1u);
    EXPECT_EQ(volume->lockVolume(), err::kSuccess);

    std::unique_ptr<Device> locked = platform.open(u"\\\\.\\H:", OpenMode::ReadWrite, error);
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->lockVolume(), err::kAccessDenied);
    EXPECT_FALSE(platform.open(u"\\\\.\\G:", OpenMode::Read, error));
    EXPECT_EQ(error, err::kNotReady);
}

TEST_F(SimMachine, ADiskShowsItsLayoutAndGeometry)
{
    Error error = 1;
    std::unique_ptr<Device> disk = platform.open(u"\\\\.\\PhysicalDrive0", OpenMode::Read, error);
    ASSERT_TRUE(disk) << error;
    DriveLayout layout;
    ASSERT_EQ(disk->driveLayout(layout), err::kSuccess);
    EXPECT_EQ(layout.style, DriveLayout::Mbr);
    ASSERT_EQ(layout.entries.size(), 4u);
    EXPECT_EQ(layout.entries[1].start, 34603008u);
    EXPECT_EQ(layout.entries[1].number, 2u);
    DiskGeometry geometry;
    ASSERT_EQ(disk->geometry(geometry), err::kSuccess);
    EXPECT_EQ(geometry.sectorsPerTrack, 63u);
    EXPECT_EQ(geometry.tracksPerCylinder, 255u);
    std::uint64_t size = 0;
    ASSERT_EQ(disk->size(size), err::kSuccess);
    EXPECT_EQ(size, 64u << 20);
    EXPECT_NE(disk->lockVolume(), err::kSuccess);
    EXPECT_FALSE(platform.open(u"\\\\.\\PhysicalDrive9", OpenMode::Read, error));
}

TEST_F(SimMachine, VolumesNameTheirDisks)
{
    EXPECT_EQ(getVolumeDeviceNumber(3), 0);   // C:
    EXPECT_EQ(getVolumeDeviceNumber(4), 0);   // D:
    EXPECT_EQ(getVolumeDeviceNumber(8), 2);   // H:
    EXPECT_EQ(getVolumeDeviceNumber(7), -1);  // G:, an empty optical drive
}

TEST_F(SimMachine, FreeSpaceIsSixtyFourBitsWide)
{
    unsigned long long total = 0, free = 0;
    ASSERT_EQ(getDiskFreeSpace(L"H:\\", &total, &free), 1);
    EXPECT_EQ(total, 3298534883328ull);  // 3 TiB
    EXPECT_EQ(free, 2748779069440ull);
    EXPECT_EQ(getDiskFreeSpace(L"G:\\", &total, &free), 0);  // no disc in the drive
    EXPECT_EQ(total, 0u);
}

TEST_F(SimMachine, TheSystemsCheckerRunsOnTheDrive)
{
    const std::u16string record = system.folder() + u"\\record.txt";
    TestSystem::setEnv("FAKE_CHECKER_RECORD", system.nativePath(record));
    TestSystem::setEnv("FAKE_CHECKER_READS_INPUT", "1");
    unsigned status = 9;
    EXPECT_EQ(runChkdsk(3, &status), 0u);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(system.readFile(record), "args: C: /f\ninput: Y\r\n\r\n");
    TestSystem::unsetEnv("FAKE_CHECKER_RECORD");
    TestSystem::unsetEnv("FAKE_CHECKER_READS_INPUT");
}

TEST_F(SimMachine, ABatchRunsEachLineAndEndsWithTheLastStatus)
{
    TestSystem::setEnv("FAKE_CHECKER_STATUS", "4");
    ASSERT_TRUE(system.writeFile(system.folder() + u"\\two.bat",
                                 "C:\\Tools\\missing.exe\r\n\"C:\\Tools\\fake_checker.exe\" a\r\n"));
    ASSERT_TRUE(system.writeFile(system.folder() + u"\\missing.bat",
                                 "\"C:\\Tools\\fake_checker.exe\"\nC:\\nothing.exe"));
    std::uint32_t exitCode = 0;
    ASSERT_EQ(platform.runProcess(system.folder() + u"\\two.bat", 10000, exitCode), err::kSuccess);
    EXPECT_EQ(exitCode, 4u);
    ASSERT_EQ(platform.runProcess(system.folder() + u"\\missing.bat", 10000, exitCode), err::kSuccess);
    EXPECT_EQ(exitCode, 9009u);  // the shell's status for a missing program
    TestSystem::unsetEnv("FAKE_CHECKER_STATUS");
}

TEST_F(SimMachine, PathsNeverLeaveTheirDrive)
{
    Error error = 0;
    EXPECT_FALSE(platform.open(u"C:\\..\\..\\drives.txt", OpenMode::Read, error));
    EXPECT_EQ(error, err::kPathNotFound);
    EXPECT_FALSE(platform.open(u"\\\\server\\share\\x", OpenMode::Read, error));
    EXPECT_FALSE(platform.open(u"relative.txt", OpenMode::Read, error));
    EXPECT_NE(platform.removeFile(u"C:\\Windows\\..\\..\\..\\drives.txt"), err::kSuccess);
}

TEST_F(SimMachine, SystemInformationComesFromTheMachine)
{
    sim::writeText(system.machineFolder(), "system.txt",
                   "Version=5.2\nProductType=3\nServerR2=1\nUtcOffsetMinutes=480\nCodePage=CP936\n"
                   "WindowsDirectory=D:\\WINNT\n");
    VersionInfo version;
    ASSERT_EQ(platform.versionInfo(version), err::kSuccess);
    EXPECT_EQ(version.major, 5u);
    EXPECT_EQ(version.minor, 2u);
    EXPECT_EQ(version.productType, 3);
    EXPECT_TRUE(version.serverR2);
    std::u16string folder;
    platform.systemDirectory(folder);
    EXPECT_EQ(folder, u"D:\\WINNT\\System32");

    LocalTime time;
    ASSERT_EQ(platform.localTimeOf((1623758400ull + 11644473600ull) * 10000000ull, time), err::kSuccess);
    EXPECT_EQ(time.hour, 20);
    EXPECT_EQ(time.day, 15);
    EXPECT_EQ(platform.toAnsiCodePage(u"数据 😀"), "\xca\xfd\xbe\xdd ?");
}

TEST_F(SimMachine, ProgramsFindTheirMachineThroughTheEnvironment)
{
    std::shared_ptr<Platform> previous = currentPlatform();
    setCurrentPlatform(nullptr);
    TestSystem::setEnv("SORVIK_SIMULATED_MACHINE", system.machineFolder());
    std::shared_ptr<Platform> found = currentPlatform();
    TestSystem::unsetEnv("SORVIK_SIMULATED_MACHINE");
    setCurrentPlatform(previous);
    ASSERT_TRUE(found);
    VolumeInformation volume;
    ASSERT_EQ(found->volumeInformation(u"C:\\", volume), err::kSuccess);
    EXPECT_EQ(volume.label, u"系统");
}

// The program's own file reads find a drive's files under the machine
// folder, and the way back gives the Windows path; settings live beside
// the machine.
TEST_F(SimMachine, LocalFilesOfWindowsPathsAndBack)
{
    const std::string drives = system.machineFolder() + "/fs";
    EXPECT_EQ(utf8(platform.localFilePath(u"D:\\Images\\a.bkp")), drives + "/d/Images/a.bkp");
    EXPECT_EQ(utf8(platform.windowsPathOf(utf16(drives + "/d/Images/a.bkp"))), "D:\\Images\\a.bkp");
    EXPECT_EQ(utf8(platform.windowsPathOf(utf16(drives + "/./c//x/../y.bkp"))), "C:\\y.bkp");
    EXPECT_EQ(utf8(platform.windowsPathOf(utf16(drives + "/d"))), "D:\\");
    // Not on a drive: the path stays as it is, both ways.
    EXPECT_EQ(utf8(platform.windowsPathOf(u"/tmp/other.bkp")), "/tmp/other.bkp");
    EXPECT_EQ(utf8(platform.windowsPathOf(utf16(drives + "/dd/x"))), drives + "/dd/x");
    EXPECT_EQ(utf8(platform.localFilePath(u"relative.bkp")), "relative.bkp");
    EXPECT_EQ(utf8(platform.localFilePath(u"D:\\..\\escape")), "D:\\..\\escape");
    EXPECT_EQ(utf8(platform.settingsFile()), system.machineFolder() + "/user-settings.ini");
}
