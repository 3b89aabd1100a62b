// A restore that stops before its end must not leave the target looking
// like a sound NTFS: the old boot sectors go before the first data, the new
// ones come last.
#include "image_format.h"
#include "ntfs_fixture.h"
#include "ntfs_jobs.h"
#include "ntfs_restore_fixture.h"
#include "quarn.h"
#include "recording_callbacks.h"
#include "skip_or_fail.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

// What ntfs-3g makes of a partition: true when it takes it for NTFS.
bool NtfsFixAccepts(const std::string& partition)
{
    CommandResult fix = Run("ntfsfix -n " + Quote(partition));
    return fix.exitCode == 0 && fix.output.find("FAILED") == std::string::npos;
}

}  // namespace

TEST(NtfsRestoreInterrupted, CancelledRestoreLeavesNoFileSystem)
{
    TempDir dir;
    const std::string source = dir.file("sdy1");
    const std::string base = dir.file("img");
    const std::string target = dir.file("sdx1");
    std::string why;
    std::vector<NtfsFileSpec> files = {{"one.bin", PatternBytes(1500000, 1)},
                                       {"two.bin", PatternBytes(2500000, 2)},
                                       {"three.txt", PatternBytes(900000, 3)}};
    if (!HaveNtfsTools() || !HaveProgram("ntfsfix") || !MakeNtfsPartition(source, 16 * kMiB, &why))
        SKIP_OR_FAIL_IN_CI("no NTFS tools: " << why);
    for (const auto& file : files)
        ASSERT_TRUE(NtfsCopyIn(source, dir.path(), "/" + file.path, file.data, &why)) << why;
    ASSERT_EQ(BackupNtfsImage(source, base, 1), 0);
    const std::string image = VolumeFileName(base, 0, 0);

    // Early in the data, and late in it.
    for (int step : {20, 60}) {
        SCOPED_TRACE("cancelled at step " + std::to_string(step));
        ASSERT_TRUE(MakeNtfsPartition(target, 20 * kMiB, &why)) << why;
        ASSERT_TRUE(NtfsCopyIn(target, dir.path(), "/old.txt", PatternBytes(300000, 7), &why)) << why;
        ASSERT_TRUE(NtfsFixAccepts(target));
        RecordingCallbacks callbacks;
        callbacks.cancelAtStep = step;
        tagRestoreArgument arg;
        arg.imagePath = image;
        arg.targetPartition = target;
        EXPECT_EQ(restore_ntfs(arg, callbacks.Bind()), ERR_CANCELLED);
        EXPECT_FALSE(NtfsFixAccepts(target)) << "a half-restored target passes for a file system";

        ASSERT_EQ(RestoreNtfsImage(image, target), 0);
        EXPECT_EQ(NtfsCheckProblems(target), "");
        EXPECT_EQ(CompareNtfsFiles(target, files), "");
    }
}
