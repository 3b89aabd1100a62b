// FAT32 file systems for the tests, made and judged by dosfstools and mtools.
#ifndef FAT_FIXTURE_H
#define FAT_FIXTURE_H

#include "support/skip_or_fail.h"
#include "support/test_support.h"

#include <cstdint>
#include <string>
#include <vector>

// Skips the test (fails it in CI) where the FAT tools its fixture is made
// with are missing.
#define REQUIRE_FAT_TOOLS()                                                                                  \
    do {                                                                                                     \
        if (!testsupport::HaveProgram("mkfs.fat") || !testsupport::HaveProgram("mcopy"))                     \
            SKIP_OR_FAIL_IN_CI("mkfs.fat or mcopy is not installed");                                        \
    } while (0)

namespace testsupport {

// Prefix for mtools command lines: no geometry checks on image files, and a
// UTF-8 locale so that non-ASCII long names convert.
std::string MtoolsEnv();

// A FAT32 image file made with mkfs.fat and filled with mmd/mcopy.
class FatImage {
public:
    // Makes a sparse file of `bytes` and formats it (-F 32 -s sectorsPerCluster).
    // Throws std::runtime_error when a tool fails.
    FatImage(const std::string& path, uint64_t bytes, int sectorsPerCluster, const std::string& label,
             const std::string& scratchDir);
    const std::string& path() const { return m_path; }

    void MakeDir(const std::string& fatPath);
    // Copies one file in; fatPath is its full path inside the image ("/A/b.txt").
    void AddFile(const std::string& fatPath, const std::vector<uint8_t>& bytes);
    // Copies many files into one directory with a single mcopy run.
    void AddFiles(const std::string& fatDir,
                  const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files);

private:
    void Mtools(const std::string& args);
    std::string m_path;
    std::string m_scratch;
    int m_counter = 0;
};

// The files of the standard source tree, by their path inside the image.
struct FatSourceContent {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    uint32_t clusterBytes = 0;
};

// Builds the standard source in `path` (a ~40 MiB FAT32 of 512-byte
// clusters, label "QUARNSRC"): nested directories, long, non-ASCII and
// 8.3-only names, empty files, a file of exactly one cluster, a directory
// whose last cluster is full, many files in one directory, stored-raw
// extensions, multi-cluster files and PAGEFILE.SYS.
FatSourceContent BuildRichFatSource(const std::string& path, const std::string& scratchDir);
constexpr uint64_t kRichSourceBytes = 40ull << 20;

// `mdir -/ -a` of the whole image with the free-space and count summaries
// removed and blanks collapsed: one line per directory heading and entry.
std::vector<std::string> FatListing(const std::string& image);
// Copies every file of the image out into `outDir` (mcopy -s); true on success.
bool ExtractFatTree(const std::string& image, const std::string& outDir);
// fsck.fat -n (never changes anything).
CommandResult CheckFat(const std::string& image);
// True when the two folders hold the same files with the same bytes.
bool SameTree(const std::string& a, const std::string& b, std::string* differences = nullptr);

// A folder holding a `dosfsck` that changes nothing and exits 0; while the
// object lives it stands first on PATH, so a restore's checker run cannot
// repair what the restore wrote.
class FakeDosfsckOnPath {
public:
    explicit FakeDosfsckOnPath(const std::string& dir, int exitCode = 0);
    ~FakeDosfsckOnPath();
    FakeDosfsckOnPath(const FakeDosfsckOnPath&) = delete;
    FakeDosfsckOnPath& operator=(const FakeDosfsckOnPath&) = delete;
    // It prints one line on standard output and one on standard error.
    static constexpr const char* kStdoutLine = "fake dosfsck: on standard output";
    static constexpr const char* kStderrLine = "fake dosfsck: on standard error";
    // A file the fake touches when it runs, with its arguments inside.
    std::string marker() const { return m_dir + "/dosfsck-ran"; }

private:
    std::string m_dir;
    std::string m_oldPath;
};

// Little-endian reads from a byte vector.
uint16_t Le16(const std::vector<uint8_t>& bytes, size_t offset);
uint32_t Le32(const std::vector<uint8_t>& bytes, size_t offset);
// The first `count` bytes of a file.
std::vector<uint8_t> ReadFileHead(const std::string& path, size_t count, uint64_t offset = 0);
void WriteFileAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes);

}  // namespace testsupport

#endif
