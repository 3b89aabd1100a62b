#include "support/ntfs_fixture.h"

#include "support/test_support.h"

#include <cstdlib>
#include <regex>
#include <sys/stat.h>

namespace testsupport {

namespace {

bool NeedsMount(const NtfsFileSpec& file)
{
    return file.directory || file.sparseSize != 0 || file.path.find('/') != std::string::npos;
}

std::string ParentOf(const std::string& path)
{
    size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool WriteThroughMount(const std::string& root, const std::vector<NtfsFileSpec>& files, std::string* log)
{
    for (const auto& file : files) {
        std::string target = root + "/" + file.path;
        std::string dir = file.directory ? target : root + "/" + ParentOf(file.path);
        CommandResult made = Run("mkdir -p " + Quote(dir));
        if (made.exitCode != 0) {
            *log += made.output;
            return false;
        }
        if (file.directory)
            continue;
        WriteFileBytes(target, file.data);
        if (FileSize(target) != file.data.size()) {
            *log += "short write of " + target + "\n";
            return false;
        }
        if (file.sparseSize > file.data.size() &&
            Run("truncate -s " + std::to_string(file.sparseSize) + " " + Quote(target)).exitCode != 0) {
            *log += "cannot extend " + target + "\n";
            return false;
        }
    }
    return true;
}

}  // namespace

bool HaveNtfsTools()
{
    return HaveProgram("mkntfs") && HaveProgram("ntfscp") && HaveProgram("ntfscat") &&
           HaveProgram("ntfsinfo");
}

bool NtfsMountUsable()
{
    static int usable = -1;
    if (usable >= 0)
        return usable == 1;
    usable = 0;
    struct stat st;
    if (::stat("/dev/fuse", &st) != 0 || !HaveProgram("ntfs-3g") || !HaveNtfsTools())
        return false;
    TempDir dir;
    std::string log;
    if (!MakeNtfsPartition(dir.file("probe1"), 8 << 20, &log))
        return false;
    Run("mkdir -p " + Quote(dir.file("mnt")));
    NtfsMount mount(dir.file("probe1"), dir.file("mnt"));
    usable = mount.ok() && mount.Unmount() ? 1 : 0;
    return usable == 1;
}

bool MakeNtfsPartition(const std::string& path, uint64_t sizeBytes, std::string* log,
                       const std::string& extraOptions)
{
    MakeSparseFile(path, sizeBytes);
    CommandResult result = Run("mkntfs -F -q -Q " + extraOptions + " " + Quote(path));
    if (result.exitCode != 0 && log != nullptr)
        *log += result.output;
    return result.exitCode == 0;
}

NtfsMount::NtfsMount(const std::string& partition, const std::string& mountDir, const std::string& options)
    : m_dir(mountDir)
{
    Run("mkdir -p " + Quote(mountDir));
    const std::string withOptions = options.empty() ? std::string() : " -o " + Quote(options);
    CommandResult result =
        Run("timeout 30 ntfs-3g" + withOptions + " " + Quote(partition) + " " + Quote(mountDir));
    m_log = result.output;
    m_mounted = result.exitCode == 0;
}

NtfsMount::~NtfsMount()
{
    Unmount();
}

bool NtfsMount::Unmount()
{
    if (!m_mounted)
        return true;
    // ntfs-3g flushes on unmount; a busy mount gets a few more tries.
    for (int attempt = 0; attempt < 5; ++attempt) {
        CommandResult result = Run("umount " + Quote(m_dir));
        if (result.exitCode == 0) {
            m_mounted = false;
            return true;
        }
        m_log += result.output;
        Run("sleep 0.2");
    }
    Run("umount -l " + Quote(m_dir));
    m_mounted = false;
    return false;
}

bool NtfsCopyIn(const std::string& partition, const std::string& workDir, const std::string& ntfsPath,
                const std::vector<uint8_t>& data, std::string* log)
{
    std::string source = workDir + "/ntfscp-source";
    WriteFileBytes(source, data);
    CommandResult result = Run("ntfscp -f " + Quote(partition) + " " + Quote(source) + " " + Quote(ntfsPath));
    std::remove(source.c_str());
    if (result.exitCode != 0 && log != nullptr)
        *log += result.output;
    return result.exitCode == 0;
}

bool FillNtfsPartition(const std::string& partition, const std::string& workDir,
                       const std::vector<NtfsFileSpec>& files, std::string* log, bool* needsMount)
{
    bool mountNeeded = false;
    for (const auto& file : files)
        mountNeeded = mountNeeded || NeedsMount(file);
    if (needsMount != nullptr)
        *needsMount = false;
    if (NtfsMountUsable()) {
        NtfsMount mount(partition, workDir + "/fill-mnt");
        if (!mount.ok()) {
            *log += mount.log();
            return false;
        }
        bool written = WriteThroughMount(mount.path(), files, log);
        bool unmounted = mount.Unmount();
        if (!unmounted)
            *log += mount.log();
        return written && unmounted;
    }
    if (mountNeeded) {
        if (needsMount != nullptr)
            *needsMount = true;
        *log += "this file set needs an ntfs-3g mount, which does not work here\n";
        return false;
    }
    for (const auto& file : files) {
        if (!NtfsCopyIn(partition, workDir, "/" + file.path, file.data, log))
            return false;
    }
    return true;
}

bool NtfsCat(const std::string& partition, const std::string& ntfsPath, std::vector<uint8_t>* out)
{
    TempDir dir;
    std::string target = dir.file("cat");
    CommandResult result = Run("ntfscat " + Quote(partition) + " " + Quote(ntfsPath) + " > " + Quote(target));
    if (result.exitCode != 0)
        return false;
    *out = ReadFileBytes(target);
    return true;
}

bool NtfsCatInode(const std::string& partition, uint64_t inode, std::vector<uint8_t>* out)
{
    TempDir dir;
    std::string target = dir.file("cat");
    CommandResult result =
        Run("ntfscat -i " + std::to_string(inode) + " " + Quote(partition) + " > " + Quote(target));
    if (result.exitCode != 0)
        return false;
    *out = ReadFileBytes(target);
    return true;
}

int64_t NtfsInodeOf(const std::string& partition, const std::string& ntfsPath)
{
    CommandResult result = Run("ntfsinfo -F " + Quote(ntfsPath) + " " + Quote(partition));
    const std::string key = "Dumping Inode ";
    size_t at = result.output.find(key);
    if (result.exitCode != 0 || at == std::string::npos)
        return -1;
    return std::strtoll(result.output.c_str() + at + key.size(), nullptr, 10);
}

uint64_t NtfsUsedBytesByNtfsCluster(const std::string& partition)
{
    CommandResult result = Run("ntfscluster " + Quote(partition));
    auto number = [&](const std::string& key) -> uint64_t {
        size_t at = result.output.find(key);
        if (at == std::string::npos)
            return 0;
        at = result.output.find(':', at);
        return at == std::string::npos ? 0 : std::strtoull(result.output.c_str() + at + 1, nullptr, 10);
    };
    uint64_t clusterBytes = number("bytes per cluster");
    uint64_t freeClusters = number("clusters of free space");
    // ntfscluster's "clusters per volume" is scaled oddly; ntfsinfo -m has the true count.
    CommandResult info = Run("ntfsinfo -m " + Quote(partition));
    size_t at = info.output.find("Volume Size in Clusters:");
    if (result.exitCode != 0 || info.exitCode != 0 || at == std::string::npos || clusterBytes == 0)
        return 0;
    uint64_t clusters = std::strtoull(info.output.c_str() + at + 24, nullptr, 10);
    return clusters >= freeClusters ? (clusters - freeClusters) * clusterBytes : 0;
}

std::vector<NtfsDataRun> NtfsDataRunsOf(const std::string& partition, const std::string& ntfsPath)
{
    CommandResult info = Run("ntfsinfo -v -F " + Quote(ntfsPath) + " " + Quote(partition));
    std::vector<NtfsDataRun> runs;
    std::regex line("\\s+0x([0-9a-f]+)\\s+0x([0-9a-f]+)\\s+0x([0-9a-f]+)");
    auto at = info.output.find("Dumping attribute $DATA");
    if (at == std::string::npos)
        return runs;
    std::string rest = info.output.substr(at);
    for (std::sregex_iterator it(rest.begin(), rest.end(), line), end; it != end; ++it)
        runs.push_back({std::stoull((*it)[1], nullptr, 16), std::stoull((*it)[2], nullptr, 16),
                        std::stoull((*it)[3], nullptr, 16)});
    return runs;
}

}  // namespace testsupport
