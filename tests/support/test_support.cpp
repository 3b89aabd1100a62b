#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quarn-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_path = name.data();
}

TempDir::~TempDir()
{
    if (!m_path.empty())
        Run("rm -rf " + Quote(m_path));
}

CommandResult Run(const std::string& commandLine)
{
    CommandResult result;
    FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        result.output.append(chunk, n);
    int status = pclose(pipe);
    result.exitCode = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return result;
}

bool HaveProgram(const std::string& name)
{
    return Run("command -v " + Quote(name) + " >/dev/null").exitCode == 0;
}

std::string Quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    // Read straight into the vector in whole chunks: copying byte by byte
    // (even from a chunk buffer) is slow in unoptimised sanitizer builds,
    // and tests read whole partition files.
    std::ifstream in(path, std::ios::binary);
    const size_t chunk = 1 << 20;
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(FileSize(path)) + chunk);
    while (in) {
        const size_t had = bytes.size();
        bytes.resize(had + chunk);
        in.read(reinterpret_cast<char*>(bytes.data() + had), static_cast<std::streamsize>(chunk));
        bytes.resize(had + static_cast<size_t>(in.gcount()));
    }
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

uint64_t FileSize(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

void MakeSparseFile(const std::string& path, uint64_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        throw std::runtime_error("cannot create " + path);
    int rc = ftruncate(fileno(f), static_cast<off_t>(size));
    std::fclose(f);
    if (rc != 0)
        throw std::runtime_error("cannot size " + path);
}

std::string CopyKeepingHoles(const std::string& from, const std::string& to)
{
    const CommandResult copy = Run("cp -a --sparse=always --reflink=auto " + Quote(from) + " " + Quote(to));
    return copy.exitCode == 0 ? std::string() : "cp " + from + ": " + copy.output;
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return bytes;
}

}  // namespace testsupport
