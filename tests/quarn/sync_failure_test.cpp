// Jobs wait for what they wrote to reach its device before they report
// success, and a failed wait fails them. This program replaces fsync and
// fdatasync for itself (and the engine library it loads) to watch and fail
// those waits, the background write-out of image volumes' among them.
#include "support/disk_table.h"
#include "support/fat_fixture.h"
#include "support/fat_jobs.h"
#include "quarn/api/image_format.h"
#include "quarn/io/background_flush.h"
#include "quarn/io/linux_io.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

std::string g_failSuffix;                // fsync fails for paths ending so
std::vector<std::string> g_syncedPaths;  // every path fsync was asked for
// fdatasync runs on the engine's helper threads: its record has a lock.
std::mutex g_dataSyncMutex;
std::string g_failDataSyncSuffix;  // fdatasync fails for paths ending so
std::vector<std::string> g_dataSyncedPaths;

std::string PathOf(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, size_t(n)) : std::string();
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

extern "C" int fsync(int fd)
{
    const std::string path = PathOf(fd);
    g_syncedPaths.push_back(path);
    if (!g_failSuffix.empty() && EndsWith(path, g_failSuffix)) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd)
{
    const std::string path = PathOf(fd);
    std::lock_guard<std::mutex> lock(g_dataSyncMutex);
    g_dataSyncedPaths.push_back(path);
    if (!g_failDataSyncSuffix.empty() && EndsWith(path, g_failDataSyncSuffix)) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}

namespace {

using testsupport::FileExists;
using testsupport::TempDir;

constexpr uint64_t kVolumeBytes = 4ull << 20;

class SyncFailureTest : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_FAT_TOOLS();
        source = dir.file("sdx1");
        disk = dir.file("sdz");
        target = dir.file("sdz1");
        testsupport::FatImage image(source, testsupport::kRichSourceBytes, 1, "SYNC", dir.file("scratch"));
        // Enough data for a few volumes of kVolumeBytes.
        image.AddFile("/BIG.BIN", testsupport::PatternBytes(10 << 20, 3));
        std::vector<uint8_t> mbr = testsupport::PatternBytes(512, 4);
        testsupport::ListPartition(&mbr, 1, 2048, testsupport::kRichSourceBytes);
        testsupport::WriteFileBytes(disk, mbr);
        checker.reset(new testsupport::FakeDosfsckOnPath(dir.file("fakebin")));
    }

    void TearDown() override { g_failSuffix.clear(); }

    int Backup(const std::string& base, uint64_t volumeSize)
    {
        g_syncedPaths.clear();
        testing::internal::CaptureStderr();
        const int result = testsupport::BackupFat32Image(source, base, 0, volumeSize, std::string(), disk);
        stderrText = testing::internal::GetCapturedStderr();
        return result;
    }

    int Restore(int (*entry)(tagRestoreArgument, tagCallBackFunc), const std::string& image)
    {
        tagRestoreArgument arg;
        arg.imagePath = image;
        arg.targetPartition = target;
        arg.hasMbr = 1;
        g_syncedPaths.clear();
        testing::internal::CaptureStderr();
        const int result = entry(arg, tagCallBackFunc{});
        stderrText = testing::internal::GetCapturedStderr();
        return result;
    }

    bool Synced(const std::string& path) const
    {
        for (const auto& p : g_syncedPaths)
            if (p == path)
                return true;
        return false;
    }

    TempDir dir;
    std::string source, disk, target, stderrText;
    std::unique_ptr<testsupport::FakeDosfsckOnPath> checker;
};

TEST_F(SyncFailureTest, EveryImageVolumeIsSyncedAndAFailedSyncFailsTheBackup)
{
    struct Case {
        const char* what;
        uint64_t volumeSize;
        const char* failing;  // suffix of the volume whose sync fails, or ""
        int expected;
        unsigned volumesMade;  // volumes on disk afterwards
    } cases[] = {
        {"one volume", ImageFormat::kNeverSplit, "", 0, 1},
        {"split", kVolumeBytes, "", 0, 0},
        // A volume is synced under its unfinished name, before it takes its own.
        {"one volume, its sync fails", ImageFormat::kNeverSplit, "_0_0.bkp.part", ERR_WRITE_FILE, 1},
        {"split, the first volume's sync fails", kVolumeBytes, "_0_0.bkp.part", ERR_WRITE_FILE, 1},
        {"split, the second volume's sync fails", kVolumeBytes, "_1_0.bkp.part", ERR_WRITE_FILE, 2},
        {"the image folder's sync fails", ImageFormat::kNeverSplit, "/out", ERR_WRITE_FILE, 0},
    };
    unsigned splitVolumes = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        const std::string folder = out.file("out");
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        const std::string base = folder + "/img";
        g_failSuffix = c.failing;
        EXPECT_EQ(Backup(base, c.volumeSize), c.expected) << stderrText;
        g_failSuffix.clear();
        unsigned volumes = 0;
        unsigned begun = 0;
        while (FileExists(VolumeFileName(base, volumes, 0)))
            ++volumes;
        while (Synced(UnfinishedVolumeName(VolumeFileName(base, begun, 0))))
            ++begun;
        if (c.expected == 0) {
            EXPECT_GE(volumes, 1u);
            EXPECT_EQ(begun, volumes);
            EXPECT_TRUE(Synced(folder)) << "the volumes' names were not synced";
            for (unsigned v = 0; v < volumes; ++v)
                EXPECT_TRUE(Synced(UnfinishedVolumeName(VolumeFileName(base, v, 0))))
                    << "volume " << v << " was not synced";
            if (c.volumeSize != ImageFormat::kNeverSplit) {
                EXPECT_GE(volumes, 3u);
                splitVolumes = volumes;
            }
        } else {
            EXPECT_NE(stderrText.find("error! --- Input/output error\n"), std::string::npos) << stderrText;
            // Only a failed sync of the folder comes after the volumes took
            // their names.
            EXPECT_EQ(volumes, c.failing == std::string("/out") ? 1u : 0u)
                << "a failed backup takes back its volumes";
        }
        if (c.volumesMade != 0) {
            EXPECT_EQ(begun, c.volumesMade) << "no volume is begun after a failed sync";
        }
    }
    EXPECT_GE(splitVolumes, 3u);
}

TEST_F(SyncFailureTest, RestoreSyncsTheTargetAndTheDisk)
{
    TempDir out;
    const std::string base = out.file("img");
    ASSERT_EQ(Backup(base, ImageFormat::kNeverSplit), 0) << stderrText;
    const std::string image = VolumeFileName(base, 0, 0);

    struct Case {
        const char* what;
        int (*entry)(tagRestoreArgument, tagCallBackFunc);
        const char* failing;
        int expected;
        bool syncsTarget;
    } cases[] = {
        {"restore", restore_fat32, "", 0, true},
        {"restore, the target's sync fails", restore_fat32, "/sdz1", ERR_WRITE_PART, true},
        {"restore, the disk's sync fails", restore_fat32, "/sdz", ERR_WRITE_MBR, false},
        {"boot code alone", restore_mbr, "", 0, false},
        {"boot code alone, the disk's sync fails", restore_mbr, "/sdz", ERR_WRITE_MBR, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::MakeSparseFile(target, testsupport::kRichSourceBytes);
        g_failSuffix = c.failing;
        EXPECT_EQ(Restore(c.entry, image), c.expected) << stderrText;
        g_failSuffix.clear();
        if (c.expected == 0) {
            EXPECT_TRUE(Synced(disk)) << "the boot code was not synced";
            EXPECT_EQ(Synced(target), c.syncsTarget);
        }
    }
}

}  // namespace

// An image volume is written out in the background as it grows; a failed
// write-out fails its Sync and its Close even though the final fsync
// succeeds.
TEST(BackgroundFlush, AVolumeIsWrittenOutAsItGrowsAndAFailedWriteOutFailsIt)
{
    const std::vector<uint8_t> chunk = testsupport::PatternBytes(1 << 20, 9);
    const unsigned chunks = unsigned(3 * CBackgroundFlush::kFlushBytes / chunk.size());
    for (bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "the write-out fails" : "the write-out works");
        TempDir dir;
        const std::string path = dir.file("img_0_0.bkp");
        {
            std::lock_guard<std::mutex> lock(g_dataSyncMutex);
            g_dataSyncedPaths.clear();
            g_failDataSyncSuffix = failing ? "_0_0.bkp" : "";
        }
        testing::internal::CaptureStderr();
        CLinuxIo io;
        ASSERT_EQ(io.Open(path, CLinuxIo::ModeCreate), 0);
        io.BufferWrites();
        for (unsigned n = 0; n < chunks; ++n)
            ASSERT_EQ(io.Write(chunk.data(), int64_t(chunk.size())), int64_t(chunk.size()));
        // The helper was woken while the file grew; a write-out that has
        // not begun when the writer syncs is left to the writer's fsync, so
        // wait for the helper's first one before syncing.
        auto writtenOut = [&path] {
            std::lock_guard<std::mutex> lock(g_dataSyncMutex);
            return std::count(g_dataSyncedPaths.begin(), g_dataSyncedPaths.end(), path);
        };
        for (int wait = 0; wait < 1000 && writtenOut() == 0; ++wait)
            usleep(10000);
        EXPECT_GE(writtenOut(), 1) << "nothing was written out while the file grew";
        const int synced = io.Sync();
        const int closed = io.Close();
        const std::string stderrText = testing::internal::GetCapturedStderr();
        {
            std::lock_guard<std::mutex> lock(g_dataSyncMutex);
            g_failDataSyncSuffix.clear();
        }
        if (failing) {
            EXPECT_EQ(synced, -1);
            EXPECT_EQ(closed, -1);
            EXPECT_NE(stderrText.find("Sync the data error! --- Input/output error\n"), std::string::npos)
                << stderrText;
        } else {
            EXPECT_EQ(synced, 0) << stderrText;
            EXPECT_EQ(closed, 0) << stderrText;
            EXPECT_EQ(testsupport::ReadFileBytes(path).size(), size_t(chunks) * chunk.size());
        }
    }
}
