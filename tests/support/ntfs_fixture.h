// Builders of NTFS partition files made with ntfs-3g's own tools (mkntfs,
// ntfscp, an ntfs-3g FUSE mount where /dev/fuse works) and ntfs-3g's view
// of them (ntfscat, ntfsls, ntfsinfo), for tests that judge images against
// a source nobody here wrote.
#ifndef TEST_SUPPORT_NTFS_FIXTURE_H
#define TEST_SUPPORT_NTFS_FIXTURE_H

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One entry of a fixture's file set. Paths are relative to the volume's
// root, '/'-separated; parent directories are made as needed.
struct NtfsFileSpec {
    std::string path;
    std::vector<uint8_t> data;
    bool directory = false;
    // Non-zero: the file is this long, with data at its start and a hole
    // (a sparse run) after it. Needs a mount.
    uint64_t sparseSize = 0;
};

// True when mkntfs, ntfscp, ntfscat and ntfsinfo are installed.
bool HaveNtfsTools();
// True when an ntfs-3g FUSE mount works here (tried once per process).
bool NtfsMountUsable();

// Formats path (created sparse, sizeBytes long) as NTFS. extraOptions go to
// mkntfs (for instance "-c 1024"). False with mkntfs's output in *log.
bool MakeNtfsPartition(const std::string& path, uint64_t sizeBytes, std::string* log,
                       const std::string& extraOptions = "");

// Mounts an NTFS partition file with ntfs-3g for the object's lifetime.
class NtfsMount {
public:
    // `options` go to ntfs-3g's -o ("atime" for access times on every read).
    NtfsMount(const std::string& partition, const std::string& mountDir, const std::string& options = {});
    ~NtfsMount();
    NtfsMount(const NtfsMount&) = delete;
    NtfsMount& operator=(const NtfsMount&) = delete;
    bool ok() const { return m_mounted; }
    const std::string& path() const { return m_dir; }
    const std::string& log() const { return m_log; }
    // Unmounts now (also done by the destructor); true when it worked.
    bool Unmount();

private:
    std::string m_dir;
    std::string m_log;
    bool m_mounted = false;
};

// Writes a file set into a formatted partition: through a mount when the set
// needs one (directories, nested paths, sparse files) or when one is usable,
// else with ntfscp. False with the reason in *log; *needsMount tells a set
// that could not be written for want of a mount (a test then skips).
bool FillNtfsPartition(const std::string& partition, const std::string& workDir,
                       const std::vector<NtfsFileSpec>& files, std::string* log, bool* needsMount = nullptr);

// Copies bytes into a partition as ntfsPath with ntfscp (its directory must exist).
bool NtfsCopyIn(const std::string& partition, const std::string& workDir, const std::string& ntfsPath,
                const std::vector<uint8_t>& data, std::string* log);

// ntfs-3g's view of a partition.
// The bytes of a file (ntfscat), or of MFT record `inode`'s unnamed $DATA.
bool NtfsCat(const std::string& partition, const std::string& ntfsPath, std::vector<uint8_t>* out);
bool NtfsCatInode(const std::string& partition, uint64_t inode, std::vector<uint8_t>* out);
// The MFT record number of a path (ntfsinfo -F), or -1.
int64_t NtfsInodeOf(const std::string& partition, const std::string& ntfsPath);
// Bytes in use: (volume clusters - free clusters) x cluster bytes, as
// ntfscluster reports them; 0 on failure.
uint64_t NtfsUsedBytesByNtfsCluster(const std::string& partition);

// One allocated run of a file's $DATA: vcn, lcn and length in clusters.
struct NtfsDataRun {
    uint64_t vcn, lcn, length;
};
// The allocated runs of a file's $DATA as ntfsinfo -v prints them (empty
// when ntfsinfo shows none).
std::vector<NtfsDataRun> NtfsDataRunsOf(const std::string& partition, const std::string& ntfsPath);

}  // namespace testsupport

#endif
