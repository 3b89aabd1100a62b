// A restore that stops before its end must not leave the target looking
// like a sound NTFS: the old boot sectors go before the first data, the new
// ones come last.
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/recording_callbacks.h"
#include "support/skip_or_fail.h"
#include "support/test_support.h"
#include "fslayout/unfinished_restore.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

// What ntfs-3g makes of a partition: true when it takes it for NTFS.
bool NtfsFixAccepts(const std::string& partition)
{
    CommandResult fix = Run("ntfsfix -n " + Quote(partition));
    return fix.exitCode == 0 && fix.output.find("FAILED") == std::string::npos;
}

bool CarriesUnfinishedMark(const std::string& partition)
{
    std::vector<uint8_t> first = ReadFileBytes(partition);
    first.resize(UnfinishedRestore::kSectorBytes);
    return UnfinishedRestore::IsMarked(first.data(), first.size());
}

// The step at which the restore run by RestoreKilledAt dies.
int g_killAtStep = 0;

// Runs the restore in a child process that is killed at progress step
// `step`; true when it died so.
bool RestoreKilledAt(const std::string& image, const std::string& target, int step)
{
    const pid_t child = fork();
    if (child == 0) {
        g_killAtStep = step;
        tagCallBackFunc cb;
        cb.onProgress = [](int at, void*) {
            if (at == g_killAtStep)
                raise(SIGKILL);
            return 0;
        };
        tagRestoreArgument arg;
        arg.imagePath = image;
        arg.targetPartition = target;
        restore_ntfs(arg, cb);
        _exit(0);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
           WTERMSIG(status) == SIGKILL;
}

struct Source {
    TempDir dir;
    std::string target = dir.file("sdx1");
    std::string image;
    std::vector<NtfsFileSpec> files = {{"one.bin", PatternBytes(1500000, 1)},
                                       {"two.bin", PatternBytes(2500000, 2)},
                                       {"three.txt", PatternBytes(900000, 3)}};
    bool ready = false;
    std::string why;

    Source()
    {
        const std::string source = dir.file("sdy1");
        if (!HaveNtfsTools() || !HaveProgram("ntfsfix") || !MakeNtfsPartition(source, 16 * kMiB, &why))
            return;
        for (const auto& file : files) {
            if (!NtfsCopyIn(source, dir.path(), "/" + file.path, file.data, &why))
                return;
        }
        ready = BackupNtfsImage(source, dir.file("img"), 1) == 0;
        image = VolumeFileName(dir.file("img"), 0, 0);
    }
    // A target that holds a sound NTFS with a file of its own.
    bool OldFileSystem()
    {
        return MakeNtfsPartition(target, 20 * kMiB, &why) &&
               NtfsCopyIn(target, dir.path(), "/old.txt", PatternBytes(300000, 7), &why) &&
               NtfsFixAccepts(target);
    }
};

}  // namespace

TEST(NtfsRestoreInterrupted, CancelledRestoreLeavesNoFileSystem)
{
    Source s;
    if (!s.ready)
        SKIP_OR_FAIL_IN_CI("no source image: " << s.why);
    const std::string& image = s.image;
    const std::string& target = s.target;
    const std::vector<NtfsFileSpec>& files = s.files;

    // Early in the data, and late in it.
    for (int step : {20, 60}) {
        SCOPED_TRACE("cancelled at step " + std::to_string(step));
        ASSERT_TRUE(s.OldFileSystem()) << s.why;
        RecordingCallbacks callbacks;
        callbacks.cancelAtStep = step;
        tagRestoreArgument arg;
        arg.imagePath = image;
        arg.targetPartition = target;
        EXPECT_EQ(restore_ntfs(arg, callbacks.Bind()), ERR_CANCELLED);
        EXPECT_FALSE(NtfsFixAccepts(target)) << "a half-restored target passes for a file system";
        EXPECT_TRUE(CarriesUnfinishedMark(target)) << "a half-restored target does not say so";

        ASSERT_EQ(RestoreNtfsImage(image, target), 0);
        EXPECT_EQ(NtfsCheckProblems(target), "");
        EXPECT_EQ(CompareNtfsFiles(target, files), "");
    }
}

// A restore whose process dies leaves the same: nothing that passes for NTFS.
TEST(NtfsRestoreInterrupted, KilledRestoreLeavesNoFileSystem)
{
    Source s;
    if (!s.ready)
        SKIP_OR_FAIL_IN_CI("no source image: " << s.why);
    for (int step : {20, 60}) {
        SCOPED_TRACE("killed at step " + std::to_string(step));
        ASSERT_TRUE(s.OldFileSystem()) << s.why;
        ASSERT_TRUE(RestoreKilledAt(s.image, s.target, step));
        EXPECT_FALSE(NtfsFixAccepts(s.target)) << "a half-restored target passes for a file system";
        EXPECT_TRUE(CarriesUnfinishedMark(s.target)) << "a half-restored target does not say so";
    }
    ASSERT_EQ(RestoreNtfsImage(s.image, s.target), 0);
    EXPECT_FALSE(CarriesUnfinishedMark(s.target)) << "a finished restore still says it is unfinished";
    EXPECT_EQ(NtfsCheckProblems(s.target), "");
    EXPECT_EQ(CompareNtfsFiles(s.target, s.files), "");
}
