// A simulated Windows machine for the desktop program's tests: one disk of
// three 32 MiB partitions, C: (the system, active), D: (data, where images
// go, as files of fs/d) and E: (a restore target), all NTFS, the disk
// inventory rows and the system's version. Constructing one makes it the
// current platform and the inventory's machine; destroying it removes it.
#ifndef DESK_MACHINE_H
#define DESK_MACHINE_H

#include "win/support/simulated_machine.h"
#include "support/test_support.h"
#include "platform/vetra/vetra.h"

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
        : m_machine(Layout(system)), ok(m_machine.ok()), machine(m_machine.folder()),
          platform(m_machine.platform())
    {
        *CVetra::instance() = CVetra(platform);
    }

    ~DeskMachine() { CVetra::instance()->RemoveDiskList(); }

    DeskMachine(const DeskMachine&) = delete;
    DeskMachine& operator=(const DeskMachine&) = delete;

    // From here on the machine lists its disks without their partitions.
    void withoutDiskLayouts()
    {
        CVetra::instance()->RemoveDiskList();
        auto blind = std::make_shared<NoDiskLayoutPlatform>(machine);
        m_machine.use(blind);
        *CVetra::instance() = CVetra(blind);
    }

    std::string diskFile() const { return m_machine.diskFile(); }
    std::string host(const std::string& relative) const { return machine + "/" + relative; }

    // Copies partition `number` of the disk into a file, or a file back.
    bool extractPartition(int number, const std::string& file) const
    {
        return m_machine.copyOut(partitionOffset(number), kPartBytes, file);
    }
    bool storePartition(int number, const std::string& file) const
    {
        return m_machine.copyIn(file, partitionOffset(number), kPartBytes);
    }

    std::vector<uint8_t> diskBytes(uint64_t offset, size_t count) const
    {
        return m_machine.diskBytes(offset, count);
    }
    void writeDiskBytes(uint64_t offset, const std::vector<uint8_t>& bytes) const
    {
        m_machine.writeDiskBytes(offset, bytes);
    }

private:
    static wintest::MachineLayout Layout(const std::string& system)
    {
        wintest::MachineLayout layout;
        layout.diskMiB = 100;
        layout.partitionTable = "label: dos\n"
                                "start=2048, size=65536, type=7, bootable\n"
                                "start=67584, size=65536, type=7\n"
                                "start=133120, size=65536, type=7\n";
        layout.drives = "Letter=C\nType=fixed\nDisk=0\nOffset=1048576\nLabel=System\nFileSystem=NTFS\n"
                        "FreeBytes=25165824\n\n"
                        "Letter=D\nType=fixed\nDisk=0\nOffset=34603008\nLabel=Data\nFileSystem=NTFS\n"
                        "FreeBytes=30408704\n\n"
                        "Letter=E\nType=fixed\nDisk=0\nOffset=68157440\nLabel=Target\nFileSystem=NTFS\n"
                        "FreeBytes=30408704\n";
        layout.wmiDisks = "Index=0\nSize=104857600\nName=\\\\.\\PHYSICALDRIVE0\nModel=Sorvik Virtual Disk\n"
                          "MediaType=Fixed hard disk media\nPartitions=3\n";
        layout.system = system + "WindowsDirectory=C:\\Windows\n"
                                 "ProgramPath=C:\\Program Files\\Sorvik\\deskrestore.exe\n";
        layout.folders = {"fs/d/Images", "fs/c/Windows"};
        return layout;
    }

    wintest::SimulatedMachine m_machine;

public:
    const bool ok;
    const std::string machine;
    const std::shared_ptr<winplat::SimulatedPlatform> platform;
};

}  // namespace desktest

#endif
