#include "win/support/test_system.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/windows/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include "platform/windows/simulated_platform.h"
#endif

namespace fs = std::filesystem;
using namespace winplat;

namespace {

std::string checkerHostPath()
{
    return FAKE_CHECKER_PATH;
}

}  // namespace

#ifndef _WIN32
namespace sim {

void writeText(const std::string& machine, const std::string& relative, const std::string& content)
{
    fs::path path = fs::path(machine) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

bool makeDisk(const std::string& machine, int n, int mib, const std::string& script)
{
    fs::path disk = fs::path(machine) / "disks" / ("PhysicalDrive" + std::to_string(n));
    fs::create_directories(disk.parent_path());
    {
        std::ofstream(disk, std::ios::binary | std::ios::trunc);
    }
    fs::resize_file(disk, static_cast<std::uintmax_t>(mib) << 20);
    if (script.empty())
        return true;
    fs::path scriptFile = fs::path(machine) / ("sfdisk-" + std::to_string(n) + ".txt");
    std::ofstream(scriptFile) << script;
    std::string command = "sfdisk --quiet --no-reread --no-tell-kernel '" + disk.string() + "' < '" +
                          scriptFile.string() + "' > /dev/null 2>&1";
    bool ok = std::system(command.c_str()) == 0;
    fs::remove(scriptFile);
    return ok;
}

std::string makeMachine()
{
    std::string pattern = (fs::temp_directory_path() / "sorvik-machine-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    return mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

void removeMachine(const std::string& machine)
{
    std::error_code ignored;
    if (!machine.empty())
        fs::remove_all(machine, ignored);
}

}  // namespace sim
#endif

TestSystem::TestSystem() : m_previous(currentPlatform())
{
#ifdef _WIN32
    m_platform = m_previous;
#else
    m_machine = sim::makeMachine();
    sim::makeDisk(m_machine, 0, 64,
                  "label: dos\n"
                  "start=2048, size=65536, type=7, bootable\n"
                  "start=67584, size=32768, type=6\n");
    sim::writeText(
        m_machine, "drives.txt",
        "Letter=C\nType=fixed\nDisk=0\nOffset=1048576\nLabel=系统\nFileSystem=NTFS\nFreeBytes=10485760\n\n"
        "Letter=D\nType=fixed\nDisk=0\nOffset=34603008\nLabel=DATA\nFileSystem=FAT\nFreeBytes=1048576\n");
    sim::writeText(m_machine, "wmi-disks.txt",
                   "Index=0\nSize=67108864\nName=\\\\.\\PHYSICALDRIVE0\nModel=Simulated disk\n"
                   "MediaType=Fixed hard disk media\nPartitions=2\n");
    sim::writeText(m_machine, "system.txt", "Version=6.1\nProductType=1\n");
    fs::create_directories(fs::path(m_machine) / "fs/c/Temp");
    for (const char* target : {"fs/c/Windows/System32/chkdsk.exe", "fs/c/Tools/fake_checker.exe"}) {
        fs::path to = fs::path(m_machine) / target;
        fs::create_directories(to.parent_path());
        fs::copy_file(checkerHostPath(), to, fs::copy_options::overwrite_existing);
    }
    m_platform = std::make_shared<SimulatedPlatform>(m_machine);
#endif
    setCurrentPlatform(m_platform);
    m_platform->makeTempFolder(m_folder);
}

TestSystem::~TestSystem()
{
    std::error_code ignored;
#ifdef _WIN32
    if (!m_folder.empty())
        fs::remove_all(fs::path(toWide(m_folder)), ignored);
#else
    sim::removeMachine(m_machine);
#endif
    setCurrentPlatform(m_previous);
}

bool TestSystem::simulated()
{
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

std::u16string TestSystem::checkerPath() const
{
#ifdef _WIN32
    std::string path = checkerHostPath();
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;  // Wine shows the host's root as Z:
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return utf16(path);
#else
    return u"C:\\Tools\\fake_checker.exe";
#endif
}

std::string TestSystem::nativePath(const std::u16string& windowsPath) const
{
#ifdef _WIN32
    return utf8(windowsPath);
#else
    return static_cast<SimulatedPlatform&>(*m_platform).hostPath(windowsPath);
#endif
}

std::size_t TestSystem::ourTempFolders() const
{
    std::size_t count = 0;
    std::error_code ignored;
#ifdef _WIN32
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    fs::path folder(std::wstring(temp, length));
    // Other test programs share the folder: count only this process's names.
    const std::string prefix = "sorvik-" + std::to_string(GetCurrentProcessId()) + "-";
#else
    fs::path folder = fs::path(m_machine) / "fs/c/Temp";
    const std::string prefix = "sorvik-";
#endif
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        if (entry.path().filename().string().compare(0, prefix.size(), prefix) == 0)
            ++count;
    return count;
}

std::string TestSystem::readFile(const std::u16string& windowsPath)
{
    Error error = err::kSuccess;
    std::unique_ptr<Device> file = m_platform->open(windowsPath, OpenMode::Read, error);
    if (!file)
        return std::string();
    std::string bytes(1 << 16, '\0');
    std::size_t done = 0;
    if (file->read(&bytes[0], bytes.size(), done) != err::kSuccess)
        return std::string();
    bytes.resize(done);
    return bytes;
}

bool TestSystem::writeFile(const std::u16string& windowsPath, const std::string& bytes)
{
    Error error = err::kSuccess;
    std::unique_ptr<Device> file = m_platform->open(windowsPath, OpenMode::Create, error);
    std::size_t done = 0;
    return file && file->write(bytes.data(), bytes.size(), done) == err::kSuccess && done == bytes.size();
}

char16_t TestSystem::unusedLetter()
{
    std::vector<std::u16string> roots;
    m_platform->logicalDriveRoots(roots);
    for (char16_t letter = u'Y'; letter > u'D'; --letter) {
        bool used = false;
        for (const std::u16string& root : roots)
            if (!root.empty() && asciiUpper(root.substr(0, 1))[0] == letter)
                used = true;
        if (!used)
            return letter;
    }
    return 0;
}

void TestSystem::setEnv(const char* name, const std::string& value)
{
#ifdef _WIN32
    // The C library's copy first: it writes the system's copy too, in the
    // ANSI code page, which the wide call then sets right.
    _putenv_s(name, value.c_str());
    SetEnvironmentVariableW(toWide(utf16(name)).c_str(), toWide(utf16(value)).c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

void TestSystem::unsetEnv(const char* name)
{
#ifdef _WIN32
    SetEnvironmentVariableW(toWide(utf16(name)).c_str(), nullptr);
    _putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}
