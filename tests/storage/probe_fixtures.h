// Helpers of the system-probe tests: scoped changes to the environment, the
// system paths and the node look-up, fake programs, and small file-system
// images made by the real formatting tools.
#ifndef TESTS_STORAGE_PROBE_FIXTURES_H
#define TESTS_STORAGE_PROBE_FIXTURES_H

#include "support/fsck_fat.h"
#include "storage/parted_sanitizer_options.h"
#include "platform/linux/system_paths.h"
#include "platform/linux/system_probes.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace probetest {

// The first of the programs that is not on PATH, or "" when all are.
inline std::string FirstMissingProgram(std::initializer_list<const char*> programs)
{
    for (const char* program : programs) {
        if (!testsupport::HaveProgram(program))
            return program;
    }
    return std::string();
}

// Sets or unsets one environment variable and puts it back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Puts a folder first on PATH.
class ScopedPathPrefix {
public:
    explicit ScopedPathPrefix(const std::string& folder)
        : m_env("PATH", (folder + ":" + (getenv("PATH") ? getenv("PATH") : "")).c_str())
    {}

private:
    ScopedEnv m_env;
};

// Restores the system paths when it goes away.
class ScopedSystemPaths {
public:
    ScopedSystemPaths() : m_saved(systemPaths()) {}
    ~ScopedSystemPaths() { systemPaths() = m_saved; }

private:
    SystemPaths m_saved;
};

// Answers node look-ups from a table of fake nodes; unknown paths cannot be
// examined.
class FakeNodes {
public:
    FakeNodes()
    {
        setNodeLookup([this](const char* path, NodeInfo* info) {
            auto it = m_nodes.find(path ? path : "");
            if (it == m_nodes.end())
                return false;
            *info = it->second;
            return true;
        });
    }
    ~FakeNodes() { setNodeLookup(NodeLookup()); }
    FakeNodes(const FakeNodes&) = delete;
    FakeNodes& operator=(const FakeNodes&) = delete;

    void add(const std::string& path, NodeKind kind, dev_t rdev) { m_nodes[path] = {kind, rdev}; }

private:
    std::map<std::string, NodeInfo> m_nodes;
};

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline void MakeDirs(const std::string& path)
{
    testsupport::Run("mkdir -p " + testsupport::Quote(path));
}

inline void MakeSymlink(const std::string& target, const std::string& link)
{
    testsupport::Run("ln -sfn " + testsupport::Quote(target) + " " + testsupport::Quote(link));
}

// "major:minor", as sysfs and /dev/block name a device number.
inline std::string NumberText(dev_t number)
{
    return std::to_string(major(number)) + ":" + std::to_string(minor(number));
}

// A device folder <sys>/devices/<devicePath> and the kernel's link to it by
// number, <sys>/dev/<kind>/<major>:<minor>. Returns the folder.
inline std::string AddSysfsDevice(const std::string& kind, dev_t number, const std::string& devicePath)
{
    const std::string folder = systemPaths().sys + "/devices/" + devicePath;
    MakeDirs(folder);
    MakeDirs(systemPaths().sys + "/dev/" + kind);
    MakeSymlink("../../devices/" + devicePath, systemPaths().sys + "/dev/" + kind + "/" + NumberText(number));
    return folder;
}

// An executable shell script.
inline void WriteScript(const std::string& path, const std::string& body)
{
    WriteText(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs a command line and fails the test when it does not succeed.
inline std::string MustRun(const std::string& commandLine)
{
    testsupport::CommandResult result = testsupport::Run(commandLine);
    if (result.exitCode != 0)
        ADD_FAILURE() << commandLine << " failed:\n" << result.output;
    return result.output;
}

// The raw value of one key as blkid reports it, or "" when absent.
inline std::string BlkidValue(const std::string& image, const std::string& key)
{
    std::string output =
        testsupport::Run("(blkid -p -o value -s " + key + " " + testsupport::Quote(image) + " 2>/dev/null)")
            .output;
    if (!output.empty() && output.back() == '\n')
        output.pop_back();
    return output;
}

// A sparse file of sizeMiB formatted by mkfs.fat with the given FAT size,
// label and serial (8 hex digits).
inline std::string MakeFatImage(const std::string& path, int bits, int sizeMiB, const std::string& label,
                                const std::string& serial)
{
    testsupport::MakeSparseFile(path, uint64_t(sizeMiB) << 20);
    MustRun("mkfs.fat -F " + std::to_string(bits) + " -n " + testsupport::Quote(label) + " -i " + serial +
            " " + testsupport::Quote(path));
    return path;
}

inline std::string MakeNtfsImage(const std::string& path, int sizeMiB, const std::string& label)
{
    testsupport::MakeSparseFile(path, uint64_t(sizeMiB) << 20);
    MustRun("mkntfs -q -F -f -L " + testsupport::Quote(label) + " " + testsupport::Quote(path));
    return path;
}

// Replaces every copy of an 11-byte FAT label (boot sector and root
// directory entry) with other raw bytes, padded with blanks.
inline void PatchFatLabel(const std::string& image, const std::string& oldLabel, const std::string& rawLabel)
{
    std::string padded = rawLabel + std::string(11 - rawLabel.size(), ' ');
    std::string wanted = oldLabel + std::string(11 - oldLabel.size(), ' ');
    std::vector<uint8_t> bytes = testsupport::ReadFileBytes(image);
    std::string data(bytes.begin(), bytes.end());
    int copies = 0;
    for (size_t pos = data.find(wanted); pos != std::string::npos; pos = data.find(wanted, pos + 11)) {
        data.replace(pos, 11, padded);
        ++copies;
    }
    if (copies == 0)
        ADD_FAILURE() << "label " << oldLabel << " not found in " << image;
    testsupport::WriteFileBytes(image, std::vector<uint8_t>(data.begin(), data.end()));
}

// The first capture of a pattern in a text, as a number; -1 when absent.
inline long long FirstNumber(const std::string& text, const std::string& pattern)
{
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(pattern)))
        return -1;
    return std::stoll(match[1].str());
}

// Used sectors as fsck.fat counts them: used clusters times cluster size.
inline uint64_t FsckFatUsedSectors(const std::string& image)
{
    uint64_t bytes = testsupport::FsckFatUsedBytes(image);
    EXPECT_GT(bytes, 0u) << "fsck.fat gave no figure for " << image;
    return bytes / 512;
}

}  // namespace probetest

// Skips the test (from its body or SetUp) when a program is missing: the
// argument names it, or is "" when nothing is missing.
#define SKIP_IF_MISSING(missingProgram)                                                                      \
    do {                                                                                                     \
        const std::string missing = (missingProgram);                                                        \
        if (!missing.empty()) {                                                                              \
            SKIP_OR_FAIL_IN_CI(missing << " is not installed");                                              \
        }                                                                                                    \
    } while (0)

// Skips the test unless every program named is on PATH.
#define REQUIRE_PROGRAMS(...) SKIP_IF_MISSING(probetest::FirstMissingProgram({__VA_ARGS__}))

#endif
