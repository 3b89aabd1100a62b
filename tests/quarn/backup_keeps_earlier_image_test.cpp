// A backup that cannot finish leaves an image written earlier under the same
// names exactly as it was and takes back the volumes it began; one that
// finishes replaces it whole. On a FAT32 source made with mkfs.fat and mtools.
#include "support/backup_argument.h"
#include "support/fat_fixture.h"
#include "quarn/api/image_format.h"
#include "quarn/api/quarn.h"
#include "support/skip_or_fail.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;
using Listing = std::map<std::string, std::vector<uint8_t>>;

constexpr uint64_t kVolumeBytes = 1ull << 20;

// Every file of a folder with its bytes.
Listing ListFolder(const std::string& folder)
{
    Listing listing;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return listing;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            listing[name] = testsupport::ReadFileBytes(folder + "/" + name);
    }
    closedir(dir);
    return listing;
}

unsigned UnfinishedIn(const Listing& listing)
{
    unsigned count = 0;
    const std::string suffix = ImageFormat::kUnfinishedVolumeSuffix;
    for (const auto& file : listing)
        if (file.first.size() > suffix.size() &&
            file.first.compare(file.first.size() - suffix.size(), suffix.size(), suffix) == 0)
            ++count;
    return count;
}

// Cancels at one progress step and notes what the image folder held then.
struct CancelAtStep {
    int step = 0;
    std::string folder;
    Listing seen;

    tagCallBackFunc Bind()
    {
        tagCallBackFunc cb;
        cb.context = this;
        cb.onProgress = [](int at, void* context) {
            auto* self = static_cast<CancelAtStep*>(context);
            if (at != self->step)
                return 0;
            self->seen = ListFolder(self->folder);
            return 1;
        };
        return cb;
    }
};

class BackupKeepsEarlierImage : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_FAT_TOOLS();
        source = dir.file("sdz1");
        testsupport::FatImage image(source, testsupport::kRichSourceBytes, 1, "KEEP", dir.file("scratch"));
        image.AddFile("/BIG.BIN", testsupport::PatternBytes(5 << 20, 7));
        image.AddFile("/SMALL.TXT", testsupport::PatternBytes(3000, 8));
        folder = out.path();
        base = out.file("img");
        ASSERT_EQ(backup_fat32(Arg(FS_TYPE_FAT32), tagCallBackFunc{}, nullptr, 0), 0);
        earlier = ListFolder(folder);
        ASSERT_GE(earlier.size(), 3u) << "the earlier image has several volumes";
        ASSERT_EQ(UnfinishedIn(earlier), 0u);
    }

    tagBackupArgument Arg(int fsType) const
    {
        return testsupport::BackupArgumentFor(fsType, source, base, 0, kVolumeBytes, std::string());
    }

    TempDir dir;
    TempDir out;
    std::string source, folder, base;
    Listing earlier;
};

TEST_F(BackupKeepsEarlierImage, ASourceWithoutTheJobsFileSystemIsRefusedBeforeAnyVolumeIsWritten)
{
    testing::internal::CaptureStderr();
    const int result = backup_ntfs(Arg(FS_TYPE_NTFS), tagCallBackFunc{}, nullptr, 0);
    const std::string stderrText = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, ERR_PART_INFO) << stderrText;
    EXPECT_TRUE(ListFolder(folder) == earlier) << "the earlier image was touched";
}

TEST_F(BackupKeepsEarlierImage, ACancelledBackupTakesBackItsVolumes)
{
    struct Case {
        const char* what;
        int step;
        unsigned unfinishedAtLeast;  // volumes begun when it is cancelled
    } cases[] = {
        {"cancelled in its first volume", 1, 1},
        {"cancelled after several volumes", 80, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CancelAtStep cancel;
        cancel.step = c.step;
        cancel.folder = folder;
        testing::internal::CaptureStderr();
        const int result = backup_fat32(Arg(FS_TYPE_FAT32), cancel.Bind(), nullptr, 0);
        const std::string stderrText = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, ERR_CANCELLED) << stderrText;
        EXPECT_GE(UnfinishedIn(cancel.seen), c.unfinishedAtLeast);
        for (const auto& file : earlier)
            EXPECT_TRUE(cancel.seen.at(file.first) == file.second)
                << file.first << " was changed while the backup ran";
        EXPECT_TRUE(ListFolder(folder) == earlier) << "the earlier image was touched";
    }
}

TEST_F(BackupKeepsEarlierImage, AFinishedBackupReplacesTheEarlierImageWhole)
{
    tagBackupArgument arg = Arg(FS_TYPE_FAT32);
    arg.volumeSize = ImageFormat::kNeverSplit;
    arg.compressType = 3;
    testing::internal::CaptureStderr();
    const int result = backup_fat32(arg, tagCallBackFunc{}, nullptr, 0);
    const std::string stderrText = testing::internal::GetCapturedStderr();
    ASSERT_EQ(result, 0) << stderrText;
    const Listing now = ListFolder(folder);
    EXPECT_EQ(UnfinishedIn(now), 0u);
    ASSERT_EQ(now.count(SplitFileName(VolumeFileName(base, 0, 0))), 1u);
    EXPECT_TRUE(now.at(SplitFileName(VolumeFileName(base, 0, 0))) !=
                earlier.at(SplitFileName(VolumeFileName(base, 0, 0))));
    // The new image is one volume: its trailer names no next one.
    const std::vector<uint8_t>& first = now.at(SplitFileName(VolumeFileName(base, 0, 0)));
    ASSERT_GE(first.size(), sizeof(tagBLOCK_END));
    tagBLOCK_END end;
    std::memcpy(&end, first.data() + first.size() - sizeof end, sizeof end);
    EXPECT_EQ(end.magic, ImageFormat::kBlockEndMagic);
    EXPECT_EQ(+end.singleVolume, 1);
    EXPECT_EQ(+end.nextNameSize, 0);
}

}  // namespace
