// The boot sector an NTFS image saved must describe the volume its partition
// info describes, or the restore would write a boot sector that does not fit
// the volume it laid out.
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "quarn/api/quarn.h"
#include "support/reseal_volume.h"
#include "support/skip_or_fail.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;

namespace {
constexpr uint64_t kMiB = 1 << 20;
}  // namespace

TEST(NtfsRestoreBootArea, FieldsThatDisagreeWithThePartitionInfo)
{
    TempDir dir;
    const std::string source = dir.file("sdy1");
    const std::string base = dir.file("img");
    const std::string target = dir.file("sdx1");
    std::string why;
    if (!HaveNtfsTools() || !MakeNtfsPartition(source, 16 * kMiB, &why, "-c 2048"))
        SKIP_OR_FAIL_IN_CI("no NTFS tools: " << why);
    ASSERT_TRUE(NtfsCopyIn(source, dir.path(), "/file.bin", PatternBytes(100000, 4), &why)) << why;
    ASSERT_EQ(BackupNtfsImage(source, base, 0), 0);
    const std::string image = VolumeFileName(base, 0, 0);
    const std::vector<uint8_t> good = ReadFileBytes(image);
    const std::vector<uint8_t> sourceBytes = ReadFileBytes(source);
    const std::vector<uint8_t> bootSector(sourceBytes.begin(), sourceBytes.begin() + 512);
    const auto found = std::search(good.begin(), good.end(), bootSector.begin(), bootSector.end());
    ASSERT_NE(found, good.end());
    const size_t boot = size_t(found - good.begin());

    struct Case {
        const char* what;
        size_t offset;
        uint8_t value;
    } cases[] = {
        {"1024 bytes per sector", 11 + 1, 0x04},  // u16 at 11: 0x0400
        {"256 bytes per sector", 11 + 1, 0x01},   // sound, but not the image's 512
        {"8 sectors per cluster", 13, 0x08},      // 4 KiB, the image says 2 KiB
        {"no sectors per cluster", 13, 0x00},     // no cluster size at all
        {"3 sectors per cluster", 13, 0x03},      // not a power of two
        {"no NTFS signature", 3, 'X'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        bytes[boot + c.offset] = c.value;
        WriteFileBytes(image, bytes);
        // The check record made to agree, so that only the field can tell.
        ASSERT_TRUE(ResealVolume(image));
        MakeSparseFile(target, 20 * kMiB);
        EXPECT_EQ(RestoreNtfsImage(image, target), ERR_DAMAGED_IMAGE);
        const std::vector<uint8_t> written = ReadFileBytes(target);
        EXPECT_TRUE(std::all_of(written.begin(), written.end(), [](uint8_t b) { return b == 0; }))
            << "the target was written before the boot sector was checked";
    }
}
