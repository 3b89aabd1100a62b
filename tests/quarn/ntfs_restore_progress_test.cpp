// Progress of NTFS restores: the steps a caller sees never pass the 95 a
// job promises, nor do the bytes reported pass the total announced, also
// when an incremental chain makes the restore step over older images' data.
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "quarn/api/quarn.h"
#include "support/recording_callbacks.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;
constexpr int kSteps = 95;

// Steps run 1, 2, ... without a gap and end at exactly 95; the bytes
// reported add up to the one total announced.
void ExpectWholeProgress(const RecordingCallbacks& seen, const std::string& what)
{
    ASSERT_EQ(seen.totals.size(), 1u) << what;
    EXPECT_EQ(seen.BytesDoneSum(), seen.totals[0]) << what;
    ASSERT_EQ(seen.steps.size(), size_t(kSteps)) << what;
    for (size_t i = 0; i < seen.steps.size(); ++i)
        ASSERT_EQ(seen.steps[i], int(i) + 1) << what;
    // The bitmaps, the mirror and the boot sectors written last count too:
    // a job that reached its last step before them counted some bytes twice.
    const auto finishing =
        std::find(seen.states.begin(), seen.states.end(), "Finishing restore partition ...");
    ASSERT_NE(finishing, seen.states.end()) << what;
    EXPECT_LT(seen.stepsBeforeState[finishing - seen.states.begin()], size_t(kSteps)) << what;
}

int Restore(const std::string& image, const std::string& target, RecordingCallbacks* seen)
{
    tagRestoreArgument arg;
    arg.imagePath = image;
    arg.targetPartition = target;
    return restore_ntfs(arg, seen->Bind());
}

class NtfsRestoreProgress : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveNtfsTools())
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
        std::string log;
        ASSERT_TRUE(MakeNtfsPartition(m_part, 24 * kMiB, &log)) << log;
        // Data that the second image leaves to the first: the restore of the
        // chain steps over it in the newer image's stead.
        ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/kept.bin", PatternBytes(3 * kMiB, 1), &log)) << log;
        ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/changed.bin", PatternBytes(2 * kMiB, 2), &log)) << log;
        ASSERT_EQ(BackupNtfsImage(m_part, m_base, 2), 0);
        ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/changed.bin", PatternBytes(2 * kMiB, 3), &log)) << log;
        ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/added.bin", PatternBytes(kMiB, 4), &log)) << log;
        ASSERT_EQ(BackupNtfsImage(m_part, m_base, 2, ImageFormat::kNeverSplit, m_base + "_0_0.bkp"), 0);
        ASSERT_TRUE(FileExists(m_base + "_0_1.bkp"));
        MakeSparseFile(m_target, 24 * kMiB);
    }

    TempDir m_dir;
    std::string m_part = m_dir.file("sdz1");
    std::string m_base = m_dir.file("img");
    std::string m_target = m_dir.file("sdy1");
};

}  // namespace

TEST_F(NtfsRestoreProgress, FullImageEndsAtTheLastStep)
{
    RecordingCallbacks seen;
    ASSERT_EQ(Restore(m_base + "_0_0.bkp", m_target, &seen), 0);
    ExpectWholeProgress(seen, "full image");
}

TEST_F(NtfsRestoreProgress, TwoImageChainCountsEveryByteOnce)
{
    RecordingCallbacks seen;
    ASSERT_EQ(Restore(m_base + "_0_1.bkp", m_target, &seen), 0);
    ExpectWholeProgress(seen, "two-image chain");
}
