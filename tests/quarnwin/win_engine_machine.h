// A simulated Windows machine for the engine's Windows build: one disk of
// four 64 MiB partitions, E: and F: (NTFS source and target), G: and H:
// (FAT32 source and target), and C:, a drive of files only, for images
// (C:\img). Partition files made by the tests' own tools go in and out of
// the disk. While it lives it is the current platform.
#pragma once

#include "simulated_platform.h"
#include "test_support.h"
#include "test_system.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
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
        : m_previous(winplat::currentPlatform())
    {
        m_folder = sim::makeMachine();
        m_ok = sim::makeDisk(m_folder, 0, 260,
                             "label: dos\n"
                             "start=2048, size=131072, type=7\n"
                             "start=133120, size=131072, type=7\n"
                             "start=264192, size=131072, type=c\n"
                             "start=395264, size=131072, type=c\n");
        std::string drives = "Letter=C\nType=fixed\nFileSystem=NTFS\n\n";
        const char* systems[] = {"NTFS", "NTFS", "FAT32", "FAT32"};
        for (char letter = 'E'; letter <= 'H'; ++letter) {
            drives += std::string("Letter=") + letter +
                      "\nType=fixed\nDisk=0\nOffset=" + std::to_string(StartOf(letter)) +
                      "\nFileSystem=" + systems[letter - 'E'] + "\n";
            if (letter == 'G')
                drives += "FreeBytes=" + std::to_string(kFat32FreeBytes) + "\n";
            if (!targetLockable && (letter == 'F' || letter == 'H'))
                drives += "Lockable=no\n";
            drives += "\n";
        }
        sim::writeText(m_folder, "drives.txt", drives);
        sim::writeText(m_folder, "system.txt", "Version=6.1\nProductType=1\n");
        if (!registry.empty())
            sim::writeText(m_folder, "registry.txt", registry);
        std::filesystem::create_directories(m_folder + "/fs/c/img");
        m_platform = std::make_shared<winplat::SimulatedPlatform>(m_folder);
        winplat::setCurrentPlatform(m_platform);
    }
    ~WinEngineMachine()
    {
        winplat::setCurrentPlatform(m_previous);
        sim::removeMachine(m_folder);
    }
    WinEngineMachine(const WinEngineMachine&) = delete;
    WinEngineMachine& operator=(const WinEngineMachine&) = delete;

    bool ok() const { return m_ok; }
    // The tests' fake checker as the system's disk checker
    // (C:\Windows\System32\chkdsk.exe); it records its arguments in
    // FAKE_CHECKER_RECORD.
    bool InstallChecker() const
    {
        std::error_code error;
        std::filesystem::create_directories(m_folder + "/fs/c/Windows/System32", error);
        std::filesystem::create_directories(m_folder + "/fs/c/Temp", error);
        return std::filesystem::copy_file(FAKE_CHECKER_PATH, m_folder + "/fs/c/Windows/System32/chkdsk.exe",
                                          error);
    }
    std::string DiskFile() const { return m_folder + "/disks/PhysicalDrive0"; }
    // The host file of a Windows path on C: (or any drive's files).
    std::string Host(const std::string& windowsPath) const
    {
        return m_platform->hostPath(std::u16string(windowsPath.begin(), windowsPath.end()));
    }

    // Copies a partition file into the partition of `letter` (its bytes,
    // the rest of the partition zeroed) or the partition out into a file.
    bool PutPartition(char letter, const std::string& file) const
    {
        std::vector<uint8_t> bytes = testsupport::ReadFileBytes(file);
        if (bytes.size() > kPartitionBytes)
            return false;
        bytes.resize(kPartitionBytes, 0);
        std::fstream disk(DiskFile(), std::ios::in | std::ios::out | std::ios::binary);
        disk.seekp(std::streamoff(StartOf(letter)));
        disk.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return bool(disk);
    }
    bool TakePartition(char letter, const std::string& file) const
    {
        std::vector<uint8_t> bytes(kPartitionBytes);
        std::ifstream disk(DiskFile(), std::ios::binary);
        disk.seekg(std::streamoff(StartOf(letter)));
        disk.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!disk)
            return false;
        testsupport::WriteFileBytes(file, bytes);
        return true;
    }
    std::vector<uint8_t> DiskBytes(uint64_t offset, size_t count) const
    {
        std::vector<uint8_t> bytes(count);
        std::ifstream disk(DiskFile(), std::ios::binary);
        disk.seekg(std::streamoff(offset));
        disk.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(count));
        return bytes;
    }

    static constexpr uint64_t kFat32FreeBytes = 48ull << 20;

private:
    std::shared_ptr<winplat::Platform> m_previous;
    std::shared_ptr<winplat::SimulatedPlatform> m_platform;
    std::string m_folder;
    bool m_ok = false;
};

}  // namespace wintest
