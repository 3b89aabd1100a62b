// A simulated Windows machine for the engine's Windows build: one disk of
// four 64 MiB partitions, E: and F: (NTFS source and target), G: and H:
// (FAT32 source and target), and C:, a drive of files only, for images
// (C:\img). Partition files made by the tests' own tools go in and out of
// the disk. While it lives it is the current platform.
#pragma once

#include "win/support/simulated_machine.h"
#include "support/test_support.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace wintest {

class WinEngineMachine {
public:
    static constexpr uint64_t kPartitionBytes = 64ull << 20;
    static constexpr uint64_t kFirstStart = 1ull << 20;
    // E, F, G, H in disk order.
    static uint64_t StartOf(char letter) { return kFirstStart + uint64_t(letter - 'E') * kPartitionBytes; }

    explicit WinEngineMachine(bool targetLockable = true, const std::string& registry = std::string())
        : m_machine(Layout(targetLockable, registry))
    {}

    bool ok() const { return m_machine.ok(); }
    // The tests' fake checker as the system's disk checker
    // (C:\Windows\System32\chkdsk.exe); it records its arguments in
    // FAKE_CHECKER_RECORD.
    bool InstallChecker() const
    {
        const std::string folder = m_machine.folder();
        std::error_code error;
        std::filesystem::create_directories(folder + "/fs/c/Windows/System32", error);
        std::filesystem::create_directories(folder + "/fs/c/Temp", error);
        return std::filesystem::copy_file(FAKE_CHECKER_PATH, folder + "/fs/c/Windows/System32/chkdsk.exe",
                                          error);
    }
    std::string DiskFile() const { return m_machine.diskFile(); }
    // The host file of a Windows path on C: (or any drive's files).
    std::string Host(const std::string& windowsPath) const { return m_machine.hostPath(windowsPath); }

    // Copies a partition file into the partition of `letter` (its bytes,
    // the rest of the partition zeroed) or the partition out into a file.
    bool PutPartition(char letter, const std::string& file) const
    {
        return m_machine.copyIn(file, StartOf(letter), kPartitionBytes);
    }
    bool TakePartition(char letter, const std::string& file) const
    {
        return m_machine.copyOut(StartOf(letter), kPartitionBytes, file);
    }
    std::vector<uint8_t> DiskBytes(uint64_t offset, size_t count) const
    {
        return m_machine.diskBytes(offset, count);
    }

    static constexpr uint64_t kFat32FreeBytes = 48ull << 20;

private:
    static MachineLayout Layout(bool targetLockable, const std::string& registry)
    {
        MachineLayout layout;
        layout.diskMiB = 260;
        layout.partitionTable = "label: dos\n"
                                "start=2048, size=131072, type=7\n"
                                "start=133120, size=131072, type=7\n"
                                "start=264192, size=131072, type=c\n"
                                "start=395264, size=131072, type=c\n";
        layout.drives = "Letter=C\nType=fixed\nFileSystem=NTFS\n\n";
        const char* systems[] = {"NTFS", "NTFS", "FAT32", "FAT32"};
        for (char letter = 'E'; letter <= 'H'; ++letter) {
            layout.drives += std::string("Letter=") + letter +
                             "\nType=fixed\nDisk=0\nOffset=" + std::to_string(StartOf(letter)) +
                             "\nFileSystem=" + systems[letter - 'E'] + "\n";
            if (letter == 'G')
                layout.drives += "FreeBytes=" + std::to_string(kFat32FreeBytes) + "\n";
            if (!targetLockable && (letter == 'F' || letter == 'H'))
                layout.drives += "Lockable=no\n";
            layout.drives += "\n";
        }
        layout.system = "Version=6.1\nProductType=1\n";
        layout.registry = registry;
        layout.folders = {"fs/c/img"};
        return layout;
    }

    SimulatedMachine m_machine;
};

}  // namespace wintest
