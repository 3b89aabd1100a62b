// A simulated Windows machine for the desktop program's tests: one disk of
// three 32 MiB partitions, C: (the system, active), D: (data, where images
// go, as files of fs/d) and E: (a restore target), all NTFS, the disk
// inventory rows and the system's version. Constructing one makes it the
// current platform and the inventory's machine; destroying it removes it.
#ifndef DESK_MACHINE_H
#define DESK_MACHINE_H

#include "simulated_platform.h"
#include "test_support.h"
#include "test_system.h"
#include "vetra.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace desktest {

constexpr uint64_t kMiB = 1ull << 20;
constexpr uint64_t kPartBytes = 32 * kMiB;

// Byte offset of partition 1..3 on disk 0.
inline uint64_t partitionOffset(int number)
{
    return (1 + 32 * static_cast<uint64_t>(number - 1)) * kMiB;
}

inline int partitionOfLetter(char letter)
{
    switch (letter) {
    case 'c':
    case 'C':
        return 1;
    case 'd':
    case 'D':
        return 2;
    case 'e':
    case 'E':
        return 3;
    default:
        return 0;
    }
}

// A machine that lists its disks but answers nothing on them, as Wine does
// (its answer to the disk-layout request is "not supported"): the inventory
// shows the disks without partitions.
class NoDiskLayoutPlatform : public winplat::SimulatedPlatform {
public:
    using SimulatedPlatform::SimulatedPlatform;
    std::unique_ptr<winplat::Device> open(const std::u16string& path, winplat::OpenMode mode,
                                          winplat::Error& error) override
    {
        if (path.rfind(u"\\\\.\\PhysicalDrive", 0) == 0) {
            error = winplat::err::kNotSupported;
            return nullptr;
        }
        return SimulatedPlatform::open(path, mode, error);
    }
};

class DeskMachine {
public:
    explicit DeskMachine(const std::string& system = "Version=6.1\nProductType=1\n")
    {
        ok = sim::makeDisk(machine, 0, 100,
                           "label: dos\n"
                           "start=2048, size=65536, type=7, bootable\n"
                           "start=67584, size=65536, type=7\n"
                           "start=133120, size=65536, type=7\n");
        sim::writeText(machine, "drives.txt",
                       "Letter=C\nType=fixed\nDisk=0\nOffset=1048576\nLabel=System\nFileSystem=NTFS\n"
                       "FreeBytes=25165824\n\n"
                       "Letter=D\nType=fixed\nDisk=0\nOffset=34603008\nLabel=Data\nFileSystem=NTFS\n"
                       "FreeBytes=30408704\n\n"
                       "Letter=E\nType=fixed\nDisk=0\nOffset=68157440\nLabel=Target\nFileSystem=NTFS\n"
                       "FreeBytes=30408704\n");
        sim::writeText(machine, "wmi-disks.txt",
                       "Index=0\nSize=104857600\nName=\\\\.\\PHYSICALDRIVE0\nModel=Sorvik Virtual Disk\n"
                       "MediaType=Fixed hard disk media\nPartitions=3\n");
        sim::writeText(machine, "system.txt",
                       system + "WindowsDirectory=C:\\Windows\n"
                                "ProgramPath=C:\\Program Files\\Sorvik\\deskrestore.exe\n");
        std::filesystem::create_directories(machine + "/fs/d/Images");
        std::filesystem::create_directories(machine + "/fs/c/Windows");
        platform = std::make_shared<winplat::SimulatedPlatform>(machine);
        previous = winplat::currentPlatform();
        winplat::setCurrentPlatform(platform);
        *CVetra::instance() = CVetra(platform);
    }

    ~DeskMachine()
    {
        CVetra::instance()->RemoveDiskList();
        winplat::setCurrentPlatform(previous);
        sim::removeMachine(machine);
    }

    DeskMachine(const DeskMachine&) = delete;
    DeskMachine& operator=(const DeskMachine&) = delete;

    // From here on the machine lists its disks without their partitions.
    void withoutDiskLayouts()
    {
        CVetra::instance()->RemoveDiskList();
        auto blind = std::make_shared<NoDiskLayoutPlatform>(machine);
        winplat::setCurrentPlatform(blind);
        *CVetra::instance() = CVetra(blind);
    }

    std::string diskFile() const { return machine + "/disks/PhysicalDrive0"; }
    std::string host(const std::string& relative) const { return machine + "/" + relative; }

    // Copies partition `number` of the disk into a file, or a file back.
    bool extractPartition(int number, const std::string& file) const
    {
        return copyRange(diskFile(), partitionOffset(number), file, 0, kPartBytes, true);
    }
    bool storePartition(int number, const std::string& file) const
    {
        return copyRange(file, 0, diskFile(), partitionOffset(number), kPartBytes, false);
    }

    std::vector<uint8_t> diskBytes(uint64_t offset, size_t count) const
    {
        std::vector<uint8_t> bytes(count);
        std::ifstream in(diskFile(), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
        return bytes;
    }
    void writeDiskBytes(uint64_t offset, const std::vector<uint8_t>& bytes) const
    {
        std::fstream out(diskFile(), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(offset));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    static bool copyRange(const std::string& from, uint64_t fromOffset, const std::string& to,
                          uint64_t toOffset, uint64_t count, bool truncate)
    {
        std::ifstream in(from, std::ios::binary);
        std::fstream out(to, std::ios::binary | std::ios::in | std::ios::out |
                                 (truncate ? std::ios::trunc : std::ios::openmode()));
        if (!in || !out)
            return false;
        in.seekg(static_cast<std::streamoff>(fromOffset));
        out.seekp(static_cast<std::streamoff>(toOffset));
        std::vector<char> buffer(kMiB);
        while (count > 0) {
            const std::streamsize chunk =
                static_cast<std::streamsize>(std::min<uint64_t>(count, buffer.size()));
            if (!in.read(buffer.data(), chunk) || !out.write(buffer.data(), chunk))
                return false;
            count -= static_cast<uint64_t>(chunk);
        }
        return true;
    }

    bool ok = false;
    std::string machine = sim::makeMachine();
    std::shared_ptr<winplat::SimulatedPlatform> platform;
    std::shared_ptr<winplat::Platform> previous;
};

}  // namespace desktest

#endif
