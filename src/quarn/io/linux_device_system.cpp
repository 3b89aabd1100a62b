// The Linux answers: block devices (or regular files standing in for
// them), sysfs and dosfsck.
#include "quarn/io/device_system.h"

#include "quarn/fat32/part_fat32_restore.h"
#include "quarn/ntfs/record_exclusions.h"
#include "quarn/api/quarn.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace DeviceSystem {

bool FileExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

bool FileBytes(CDeviceIo& file, uint64_t* bytes)
{
    struct stat st;
    if (fstat(file.GetHandle(), &st) != 0 || st.st_size < 0)
        return false;
    *bytes = static_cast<uint64_t>(st.st_size);
    return true;
}

int ReplaceFile(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return 0;
    DEBUG_TRACE("rename %s failed! --- %s\n", from.c_str(), std::strerror(errno));
    return -1;
}

int RemoveFile(const std::string& path)
{
    return unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : -1;
}

int SyncFolder(const std::string& folder)
{
    const std::string path = folder.empty() ? std::string(".") : folder;
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        DEBUG_TRACE("open %s failed! --- %s\n", path.c_str(), std::strerror(errno));
        return -1;
    }
    // A file system that cannot sync a folder (EINVAL) keeps no entries
    // that a sync would put on a device.
    const bool synced = fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    close(fd);
    if (synced)
        return 0;
    DEBUG_TRACE("Sync the folder %s error! --- %s\n", path.c_str(), std::strerror(error));
    return -1;
}

bool TargetBytes(CDeviceIo& target, uint64_t* bytes)
{
    const int fd = target.GetHandle();
    uint64_t size = 0;
    if (ioctl(fd, BLKGETSIZE64, &size) != 0) {
        // A regular file stands for the partition: its size is the target's.
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        *bytes = static_cast<uint64_t>(st.st_size);
        return true;
    }
    // The size query answers in bytes whatever the logical sector size,
    // but a device without a sector size is no disk to restore to.
    int sector = 0;
    if (ioctl(fd, BLKSSZGET, &sector) != 0 || sector <= 0)
        return false;
    *bytes = size;
    return true;
}

std::string DiskOfPartition(const std::string& partition)
{
    std::string disk = partition;
    while (!disk.empty() && std::isdigit(static_cast<unsigned char>(disk.back())))
        disk.pop_back();
    // nvme0n1p1, mmcblk0p1, loop0p1: the disk's own name ends in a digit and
    // a 'p' separates the partition number from it.
    if (disk.size() >= 2 && disk.back() == 'p' && disk.size() < partition.size() &&
        std::isdigit(static_cast<unsigned char>(disk[disk.size() - 2])))
        disk.pop_back();
    return disk;
}

namespace {

constexpr size_t kMbrTableOffset = 446;
constexpr size_t kMbrEntryBytes = 16;
constexpr size_t kMbrEntryTypeOffset = 4;      // byte: 0 for an unused entry
constexpr size_t kMbrEntrySectorsOffset = 12;  // u32: sectors of the partition
constexpr uint64_t kMbrSectorBytes = 512;

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// A partition block device: the disk sysfs puts it under, when sysfs says
// it is a partition.
std::string BlockDiskHolding(const std::string& partition)
{
    const std::string name = BaseName(RealPath(partition));
    if (name.empty())
        return std::string();
    const std::string entry = "/sys/class/block/" + name;
    struct stat st;
    if (stat((entry + "/partition").c_str(), &st) != 0 || stat((entry + "/start").c_str(), &st) != 0)
        return std::string();
    const std::string disk = BaseName(RealPath(entry + "/.."));
    if (disk.empty() || disk == name)
        return std::string();
    const std::string path = "/dev/" + disk;
    return stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode) ? path : std::string();
}

// A regular file standing for a partition (sdz1): the disk file beside it
// (sdz) when that file's MBR lists, under the partition's number, an entry
// of exactly the partition file's size. Primary partitions (1-4) only.
std::string DiskFileHolding(const std::string& partition, uint64_t partitionBytes)
{
    const std::string name = SplitFileName(partition);
    const std::string disk = DiskOfPartition(name);
    if (disk.empty() || disk.size() >= name.size())
        return std::string();
    std::string number = name.substr(disk.size());
    if (!number.empty() && number[0] == 'p')
        number.erase(0, 1);
    if (number.size() != 1 || number[0] < '1' || number[0] > '4')
        return std::string();
    const std::string diskPath = partition.substr(0, partition.size() - name.size()) + disk;
    struct stat st;
    if (stat(diskPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::string();
    CDeviceIo diskFile;
    uint8_t mbr[kMbrSectorBytes];
    if (diskFile.Open(diskPath, CDeviceIo::ModeRead) != 0 ||
        diskFile.Read(mbr, sizeof mbr) != static_cast<int64_t>(sizeof mbr) || mbr[510] != 0x55 ||
        mbr[511] != 0xAA)
        return std::string();
    const uint8_t* entry = mbr + kMbrTableOffset + size_t(number[0] - '1') * kMbrEntryBytes;
    uint32_t sectors = 0;
    std::memcpy(&sectors, entry + kMbrEntrySectorsOffset, sizeof sectors);
    if (entry[kMbrEntryTypeOffset] == 0 || uint64_t(sectors) * kMbrSectorBytes != partitionBytes)
        return std::string();
    return diskPath;
}

}  // namespace

std::string DiskHoldingPartition(CDeviceIo& target, const std::string& partition)
{
    struct stat st;
    if (!target.IsOpen() || fstat(target.GetHandle(), &st) != 0)
        return std::string();
    if (S_ISBLK(st.st_mode))
        return BlockDiskHolding(partition);
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        return DiskFileHolding(partition, static_cast<uint64_t>(st.st_size));
    return std::string();
}

int ClaimTarget(CDeviceIo&, const std::string&)
{
    // The rescue system mounts nothing it is asked to restore to.
    return 0;
}

bool SameDevice(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    struct stat first {};
    struct stat second {};
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0)
        return false;
    if (S_ISBLK(first.st_mode) && S_ISBLK(second.st_mode) && first.st_rdev == second.st_rdev)
        return true;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

int HoldPartition(const std::string& path, int* handle)
{
    *handle = -1;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return ERR_OPEN_PART;
    if (!S_ISBLK(st.st_mode))
        return 0;
    // A block device opened exclusively: the kernel refuses while a file
    // system is mounted from it (or another program holds it so).
    const int fd = open(path.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EBUSY) {
            DEBUG_TRACE("%s is in use (mounted?): unmount it first\n", path.c_str());
            return ERR_PART_IN_USE;
        }
        return ERR_OPEN_PART;
    }
    *handle = fd;
    return 0;
}

void ReleasePartition(int handle)
{
    if (handle >= 0)
        close(handle);
}

bool DriveGeometry(CDeviceIo& target, uint16_t* heads, uint16_t* sectorsPerTrack)
{
    struct hd_geometry geometry {};
    if (ioctl(target.GetHandle(), HDIO_GETGEO, &geometry) != 0 || geometry.sectors == 0 ||
        geometry.heads == 0)
        return false;
    *heads = geometry.heads;
    *sectorsPerTrack = geometry.sectors;
    return true;
}

namespace {

constexpr size_t kPartitionTableOffset = 446;
constexpr size_t kPartitionEntryBytes = 16;
constexpr size_t kEntryStartOffset = 8;  // u32 first sector of an entry

// A regular file standing for a partition, next to a file standing for its
// disk (sdz1 beside sdz): the partition's first sector from the disk file's
// MBR table. Primary partitions (1-4) only; 0 when the table does not tell.
uint32_t PartitionStartFromDiskFile(const std::string& partition, const std::string& name,
                                    const std::string& disk)
{
    const std::string number = name.substr(disk.size());
    if (number.size() != 1 || number[0] < '1' || number[0] > '4')
        return 0;
    const std::string diskPath = partition.substr(0, partition.size() - name.size()) + disk;
    struct stat st;
    if (stat(diskPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    CDeviceIo diskFile;
    if (diskFile.Open(diskPath, CDeviceIo::ModeRead) != 0)
        return 0;
    uint8_t mbr[512];
    if (diskFile.Read(mbr, sizeof mbr) != static_cast<int64_t>(sizeof mbr) || mbr[510] != 0x55 ||
        mbr[511] != 0xAA)
        return 0;
    uint32_t start = 0;
    std::memcpy(&start,
                mbr + kPartitionTableOffset + (number[0] - '1') * kPartitionEntryBytes + kEntryStartOffset,
                sizeof start);
    DEBUG_TRACE("%s start sector is: %u\n", name.c_str(), static_cast<unsigned>(start));
    return start;
}

}  // namespace

uint32_t PartitionStartSector(CDeviceIo& target, const std::string& partition)
{
    const std::string name = SplitFileName(partition);
    const std::string disk = DiskOfPartition(name);
    if (disk.empty() || disk == name)
        return 0;
    // A file that stands for a partition is no device sysfs knows, even
    // when a real partition bears its name.
    struct stat st;
    if (fstat(target.GetHandle(), &st) == 0 && S_ISREG(st.st_mode))
        return PartitionStartFromDiskFile(partition, name, disk);
    const std::string path = "/sys/block/" + disk + "/" + name + "/start";
    FILE* file = std::fopen(path.c_str(), "re");
    // Not a partition of a disk the kernel knows (an image file, say): no
    // sectors precede it that anyone could count on.
    if (file == nullptr) {
        DEBUG_TRACE("Open %s failed!\n", path.c_str());
        return 0;
    }
    unsigned long long start = 0;
    const int fields = std::fscanf(file, "%llu", &start);
    std::fclose(file);
    if (fields != 1 || start > 0xFFFFFFFFull) {
        DEBUG_TRACE("Read error!\n");
        return 0;
    }
    DEBUG_TRACE("%s start sector is: %u\n", name.c_str(), static_cast<unsigned>(start));
    return static_cast<uint32_t>(start);
}

uint32_t Fat32SectorsPerCluster(uint64_t targetBytes)
{
    return CalSectorsPerCluster(targetBytes);
}

// The checker's output, standard output and standard error alike, goes to
// the trace: the engine writes nothing to standard output.
int CheckFat32(const std::string& partition)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        DEBUG_TRACE("dosfsck: pipe failed: %s\n", std::strerror(errno));
        return 2;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    // Read-only: a checker that mends could undo what the restore wrote
    // (it takes a file of 4 GiB - 1 bytes for a broken one and empties it).
    char* const argv[] = {const_cast<char*>("dosfsck"), const_cast<char*>("-n"),
                          const_cast<char*>(partition.c_str()), nullptr};
    pid_t pid = 0;
    // posix_spawnp never lets the child go on with the parent's work: a
    // checker that cannot start is an error code here.
    const int spawned = posix_spawnp(&pid, "dosfsck", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        DEBUG_TRACE("dosfsck failed! --- %s\n", std::strerror(spawned));
        return 2;
    }
    char text[4096];
    for (;;) {
        const ssize_t got = read(pipeEnds[0], text, sizeof text - 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text[got] = '\0';
        DEBUG_TRACE("%s", text);
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            DEBUG_TRACE("waitpid failed! --- %s\n", std::strerror(errno));
            return 2;
        }
    }
    if (WIFSIGNALED(status)) {
        DEBUG_TRACE("dosfsck ended by signal %d\n", WTERMSIG(status));
        return 2;
    }
    DEBUG_TRACE("dosfsck exit status %d\n", WEXITSTATUS(status));
    return WEXITSTATUS(status) == 0 ? 0 : ERR_FS_CHECK;
}

}  // namespace DeviceSystem

// The rescue system's backups leave out no file of their own choosing (the
// page and hibernation files are left out by name in every build).
namespace {

class CNoRecordExclusions : public CRecordExclusions {
public:
    int Build(CDeviceIo&) override { return 0; }
    void Apply(uint32_t, uint8_t*, uint32_t) const override {}
};

}  // namespace

std::unique_ptr<CRecordExclusions> CRecordExclusions::ForThisSystem()
{
    return std::unique_ptr<CRecordExclusions>(new CNoRecordExclusions);
}
