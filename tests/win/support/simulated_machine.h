// The one builder of the tests' simulated Windows machines (Linux): a
// machine folder with one disk partitioned by sfdisk, its drive letters,
// system facts and, when given, disk inventory rows and registry values,
// made the current platform while it lives and removed afterwards. Each
// test names its own layout; this holds what every machine does.
#ifndef TESTS_WIN_SUPPORT_SIMULATED_MACHINE_H
#define TESTS_WIN_SUPPORT_SIMULATED_MACHINE_H

#include "platform/windows/simulated_platform.h"
#include "win/support/test_system.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace wintest {

struct MachineLayout {
    int diskMiB = 0;
    std::string partitionTable;        // sfdisk's script for disk 0
    std::string drives;                // drives.txt
    std::string system;                // system.txt
    std::string wmiDisks;              // wmi-disks.txt, none when empty
    std::string registry;              // registry.txt, none when empty
    std::vector<std::string> folders;  // made under the machine folder ("fs/c/img")
};

class SimulatedMachine {
public:
    explicit SimulatedMachine(const MachineLayout& layout)
        : m_folder(sim::makeMachine()), m_previous(winplat::currentPlatform())
    {
        m_ok = sim::makeDisk(m_folder, 0, layout.diskMiB, layout.partitionTable);
        sim::writeText(m_folder, "drives.txt", layout.drives);
        sim::writeText(m_folder, "system.txt", layout.system);
        if (!layout.wmiDisks.empty())
            sim::writeText(m_folder, "wmi-disks.txt", layout.wmiDisks);
        if (!layout.registry.empty())
            sim::writeText(m_folder, "registry.txt", layout.registry);
        for (const std::string& folder : layout.folders)
            std::filesystem::create_directories(m_folder + "/" + folder);
        use(std::make_shared<winplat::SimulatedPlatform>(m_folder));
    }
    ~SimulatedMachine()
    {
        winplat::setCurrentPlatform(m_previous);
        sim::removeMachine(m_folder);
    }
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    bool ok() const { return m_ok; }
    const std::string& folder() const { return m_folder; }
    const std::shared_ptr<winplat::SimulatedPlatform>& platform() const { return m_platform; }
    // Makes another platform over this machine's folder the current one
    // (one that answers some calls otherwise).
    void use(std::shared_ptr<winplat::SimulatedPlatform> platform)
    {
        m_platform = std::move(platform);
        winplat::setCurrentPlatform(m_platform);
    }

    std::string diskFile() const { return m_folder + "/disks/PhysicalDrive0"; }
    // The host file of a Windows path ("C:\img\a.bkp").
    std::string hostPath(const std::string& windowsPath) const
    {
        return m_platform->hostPath(std::u16string(windowsPath.begin(), windowsPath.end()));
    }

    std::vector<uint8_t> diskBytes(uint64_t offset, size_t count) const
    {
        std::vector<uint8_t> bytes(count);
        std::ifstream disk(diskFile(), std::ios::binary);
        disk.seekg(std::streamoff(offset));
        disk.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(count));
        return bytes;
    }
    void writeDiskBytes(uint64_t offset, const std::vector<uint8_t>& bytes) const
    {
        std::fstream disk(diskFile(), std::ios::binary | std::ios::in | std::ios::out);
        disk.seekp(std::streamoff(offset));
        disk.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    // The `count` bytes of the disk from `offset` into `file`, made anew.
    bool copyOut(uint64_t offset, uint64_t count, const std::string& file) const
    {
        std::ifstream disk(diskFile(), std::ios::binary);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        disk.seekg(std::streamoff(offset));
        return copy(disk, out, count);
    }
    // The bytes of `file` onto the disk from `offset`, the rest of the
    // `count` bytes there zeroed; false when the file is larger.
    bool copyIn(const std::string& file, uint64_t offset, uint64_t count) const
    {
        std::error_code error;
        const uint64_t size = std::filesystem::file_size(file, error);
        if (error || size > count)
            return false;
        std::ifstream in(file, std::ios::binary);
        std::fstream disk(diskFile(), std::ios::binary | std::ios::in | std::ios::out);
        disk.seekp(std::streamoff(offset));
        if (!copy(in, disk, size))
            return false;
        const std::vector<char> zeros(std::min<uint64_t>(count - size, 1u << 20), 0);
        for (uint64_t left = count - size; left > 0;) {
            const uint64_t chunk = std::min<uint64_t>(left, zeros.size());
            if (!disk.write(zeros.data(), std::streamsize(chunk)))
                return false;
            left -= chunk;
        }
        return bool(disk.flush());
    }

private:
    static bool copy(std::istream& in, std::ostream& out, uint64_t count)
    {
        std::vector<char> buffer(1u << 20);
        while (count > 0) {
            const auto chunk = std::streamsize(std::min<uint64_t>(count, buffer.size()));
            if (!in.read(buffer.data(), chunk) || !out.write(buffer.data(), chunk))
                return false;
            count -= uint64_t(chunk);
        }
        return bool(out.flush());
    }

    std::string m_folder;
    std::shared_ptr<winplat::Platform> m_previous;
    std::shared_ptr<winplat::SimulatedPlatform> m_platform;
    bool m_ok = false;
};

}  // namespace wintest

#endif
