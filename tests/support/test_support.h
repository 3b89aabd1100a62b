// Helpers shared by the tests: private temporary folders, files and the
// outside programs that make and judge real file systems.
#ifndef TEST_SUPPORT_H
#define TEST_SUPPORT_H

#include "support/skip_or_fail.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary directory, removed with its
// contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

struct CommandResult {
    int exitCode = -1;   // the exit status, or -1 when it did not exit normally
    std::string output;  // standard output and standard error together
};

// Runs a shell command line and collects what it prints.
CommandResult Run(const std::string& commandLine);
// True when the program is found on PATH.
bool HaveProgram(const std::string& name);
// Single-quotes a word for a shell command line.
std::string Quote(const std::string& word);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);
uint64_t FileSize(const std::string& path);
// Creates (or truncates) a sparse file of the given size.
void MakeSparseFile(const std::string& path, uint64_t size);
// Copies a file or a folder with its contents, holes kept (a reflink
// where the file system offers one); "" or what went wrong.
std::string CopyKeepingHoles(const std::string& from, const std::string& to);
// Deterministic pseudo-random bytes.
std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);

}  // namespace testsupport

// Skips the current test when a program is missing from PATH (fails in CI).
#define REQUIRE_PROGRAM(name)                                                                                \
    do {                                                                                                     \
        if (!testsupport::HaveProgram(name))                                                                 \
            SKIP_OR_FAIL_IN_CI((name) << " is not installed");                                               \
    } while (0)

#endif
