// A backup may read more bytes than the used space it took as its total: a
// sparse file's holes are read as zeros. Once the progress bar is full the
// caller must still be asked, and a cancel must still end the job.
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

// Cancels the first time it is asked after the bar reached its last step.
struct CancelPastTheTotal {
    int lastStepAsked = 0;  // how often the last step was asked
    uint64_t total = 0;
    uint64_t bytesDone = 0;

    tagCallBackFunc Bind()
    {
        tagCallBackFunc cb;
        cb.context = this;
        cb.onProgress = [](int step, void* c) {
            auto* self = static_cast<CancelPastTheTotal*>(c);
            if (step == 95)
                ++self->lastStepAsked;
            return self->lastStepAsked >= 2 ? 1 : 0;
        };
        cb.onTotalBytes = [](uint64_t total, void* c) { static_cast<CancelPastTheTotal*>(c)->total = total; };
        cb.onBytesDone = [](uint64_t bytes, void* c) {
            static_cast<CancelPastTheTotal*>(c)->bytesDone += bytes;
        };
        return cb;
    }
};

TEST(CancelPastTheTotal, ABackupThatReadsPastItsTotalCanStillBeCancelled)
{
    if (!HaveNtfsTools())
        SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: the sparse file is made through one");
    TempDir dir;
    const std::string source = dir.file("sdz1");
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(source, 24 * kMiB, &log)) << log;
    NtfsFileSpec sparse{"sparse.bin", PatternBytes(4096, 5)};
    sparse.sparseSize = 256 * kMiB;  // ten times the partition: mostly hole
    ASSERT_TRUE(FillNtfsPartition(source, dir.path(), {sparse, {"after.bin", PatternBytes(200000, 6)}}, &log))
        << log;

    for (int compress : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "compression " << compress);
        const std::string base = dir.file("img" + std::to_string(compress));
        CancelPastTheTotal calls;
        EXPECT_EQ(
            BackupNtfsImage(source, base, compress, ImageFormat::kNeverSplit, std::string(), calls.Bind()),
            ERR_CANCELLED);
        // The bar was full before the cancel, and never passed its total.
        EXPECT_EQ(calls.lastStepAsked, 2);
        EXPECT_LE(calls.bytesDone, calls.total);
        // What was written is no image: no trailer, and no restore takes it.
        const std::vector<uint8_t> volume = ReadFileBytes(base + "_0_0.bkp");
        if (volume.size() >= sizeof(tagBLOCK_END)) {
            uint32_t magic = 0;
            std::memcpy(&magic, volume.data() + volume.size() - sizeof(tagBLOCK_END), 4);
            EXPECT_NE(magic, ImageFormat::kBlockEndMagic);
        }
        const std::string target = dir.file("sdx1");
        MakeSparseFile(target, 24 * kMiB);
        EXPECT_NE(RestoreNtfsImage(base + "_0_0.bkp", target), 0);
    }
}

}  // namespace
