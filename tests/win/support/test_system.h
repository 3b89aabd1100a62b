// The system the Windows layer's tests run on: on Windows (Wine) the real
// one; on Linux a simulated machine in a temporary folder with one disk
// (made with sfdisk) whose partitions carry C: (NTFS) and D: (FAT), the
// fake checker installed as C:\Windows\System32\chkdsk.exe and as
// C:\Tools\fake_checker.exe, and one WMI disk row. Constructing one makes
// it the current platform; destroying it removes everything it made.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/windows/platform.h"

class TestSystem {
public:
    TestSystem();
    ~TestSystem();
    TestSystem(const TestSystem&) = delete;
    TestSystem& operator=(const TestSystem&) = delete;

    static bool simulated();
    winplat::Platform& platform() { return *m_platform; }
    std::shared_ptr<winplat::Platform> shared() { return m_platform; }

    // A private folder for this test's files (a Windows path).
    const std::u16string& folder() const { return m_folder; }
    // The fake checker as this system starts it (a Windows path).
    std::u16string checkerPath() const;
    // The path a program of this system uses for a Windows path.
    std::string nativePath(const std::u16string& windowsPath) const;
    // How many folders this process made in the system's temporary folder
    // (makeTempFolder) are there now.
    std::size_t ourTempFolders() const;
    // The file's bytes, read through the platform; "" when it cannot be read.
    std::string readFile(const std::u16string& windowsPath);
    bool writeFile(const std::u16string& windowsPath, const std::string& bytes);
    // A drive letter without a drive on this system.
    char16_t unusedLetter();

    // Environment of the programs this process starts.
    static void setEnv(const char* name, const std::string& value);
    static void unsetEnv(const char* name);

    // Linux: the machine's folder.
    const std::string& machineFolder() const { return m_machine; }

private:
    std::shared_ptr<winplat::Platform> m_platform;
    std::shared_ptr<winplat::Platform> m_previous;
    std::string m_machine;
    std::u16string m_folder;
};

#ifndef _WIN32
// Building simulated machines (Linux).
namespace sim {
// Writes `content` to `machine`/`relative`, making folders.
void writeText(const std::string& machine, const std::string& relative, const std::string& content);
// A sparse disk file of `mib` MiB at disks/PhysicalDrive<n>, partitioned by
// sfdisk with `script` (no table when the script is empty).
bool makeDisk(const std::string& machine, int n, int mib, const std::string& script);
// A new empty machine folder in the system's temporary folder.
std::string makeMachine();
void removeMachine(const std::string& machine);
}  // namespace sim
#endif
