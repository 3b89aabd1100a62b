// The reasons a job fails that once shared a code with others now name
// themselves: a full chain, a 257th volume, a field too long for the image
// and a volume shorter than its records say. Through the engine's entry
// points, on a FAT32 source made with mkfs.fat and mtools.
#include "support/backup_argument.h"
#include "support/fat_fixture.h"
#include "quarn/api/image_format.h"
#include "quarn/api/quarn.h"
#include "support/skip_or_fail.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;

class NamedResultCodes : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_FAT_TOOLS();
        source = dir.file("sdz1");
        testsupport::FatImage image(source, testsupport::kRichSourceBytes, 1, "CODES", dir.file("scratch"));
        // More whole data chunks than an image has volumes.
        image.AddFile("/MANY.BIN", testsupport::PatternBytes(260 * ImageFormat::kChunkBytes, 3));
        base = out.file("img");
    }

    tagBackupArgument Arg() const
    {
        return testsupport::BackupArgumentFor(FS_TYPE_FAT32, source, base, 0, ImageFormat::kNeverSplit,
                                              std::string());
    }

    // A file that ends like an image's first volume of this generation.
    std::string PreviousImage(uint8_t generation)
    {
        tagBLOCK_END end{};
        end.magic = ImageFormat::kBlockEndMagic;
        end.generation = generation;
        end.fsType = FS_TYPE_NTFS;
        const auto* raw = reinterpret_cast<const uint8_t*>(&end);
        std::vector<uint8_t> bytes(100, 1);
        bytes.insert(bytes.end(), raw, raw + sizeof end);
        const std::string path = dir.file("chain_0_" + std::to_string(generation) + ".bkp");
        testsupport::WriteFileBytes(path, bytes);
        return path;
    }

    // Restores the image's first volume after `damage` cut or renamed it.
    int RestoreAfter(const std::function<std::string(const std::string&)>& damage)
    {
        EXPECT_EQ(backup_fat32(Arg(), tagCallBackFunc{}, nullptr, 0), 0);
        tagRestoreArgument restore;
        restore.imagePath = damage(VolumeFileName(base, 0, 0));
        restore.targetPartition = dir.file("sdy1");
        testsupport::MakeSparseFile(restore.targetPartition, testsupport::kRichSourceBytes);
        return restore_fat32(restore, tagCallBackFunc{});
    }

    TempDir dir;
    TempDir out;
    std::string source, base;
};

TEST_F(NamedResultCodes, EachReasonHasItsOwnCode)
{
    struct Case {
        const char* what;
        std::function<int()> run;
        int expected;
    } cases[] = {
        {"an incremental on a chain of 255 generations",
         [&] {
             tagBackupArgument arg = Arg();
             arg.fsType = FS_TYPE_NTFS;
             arg.incremental = true;
             arg.prevImage = PreviousImage(255);
             return backup_ntfs(arg, tagCallBackFunc{}, nullptr, 0);
         },
         ERR_CHAIN_FULL},
        {"data for a 257th volume",
         [&] {
             tagBackupArgument arg = Arg();
             arg.volumeSize = 1;  // every chunk opens a volume
             return backup_fat32(arg, tagCallBackFunc{}, nullptr, 0);
         },
         ERR_TOO_MANY_VOLUMES},
        {"a description over the limit",
         [&] {
             tagBackupArgument arg = Arg();
             arg.description.assign(ImageFormat::kMaxDescriptionBytes + 1, 'd');
             return backup_fat32(arg, tagCallBackFunc{}, nullptr, 0);
         },
         ERR_FIELD_TOO_LONG},
        {"a first volume cut before the records its trailer names",
         [&] {
             return RestoreAfter([](const std::string& first) {
                 std::vector<uint8_t> bytes = testsupport::ReadFileBytes(first);
                 tagBLOCK_END end;
                 std::memcpy(&end, bytes.data() + bytes.size() - sizeof end, sizeof end);
                 // Keep the trailer alone: everything it points back to is gone.
                 std::vector<uint8_t> cut(bytes.end() - static_cast<long>(sizeof end), bytes.end());
                 testsupport::WriteFileBytes(first, cut);
                 return first;
             });
         },
         ERR_VOLUME_TRUNCATED},
        {"a volume whose backup never finished",
         [&] {
             return RestoreAfter([](const std::string& first) {
                 // What a stopped job leaves: the unfinished name, no trailer.
                 std::vector<uint8_t> bytes = testsupport::ReadFileBytes(first);
                 bytes.resize(bytes.size() / 2);
                 const std::string unfinished = UnfinishedVolumeName(first);
                 testsupport::WriteFileBytes(unfinished, bytes);
                 return unfinished;
             });
         },
         ERR_VOLUME_TRUNCATED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::internal::CaptureStderr();
        const int result = c.run();
        const std::string stderrText = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, c.expected) << stderrText;
    }
}

}  // namespace
