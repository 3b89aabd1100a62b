// Hostile and damaged NTFS images: each gives a result code, never a crash
// (the tests run under AddressSanitizer), and nothing is written beyond the
// target's size.
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "quarn/api/quarn.h"
#include "support/reseal_volume.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kTargetBytes = 20 * kMiB;

std::vector<uint8_t> TextBytes(size_t size)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; out.size() < size; ++i) {
        std::string line = "row " + std::to_string(i) + " of the text file\n";
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(size);
    return out;
}

struct Images {
    TempDir dir;
    std::string source = dir.file("sdy1");
    std::string base = dir.file("img");
    std::string target = dir.file("sdx1");
    bool ready = false;
    std::string why;

    Images(int compress, uint64_t split = ~0ULL)
    {
        if (!HaveNtfsTools() || !MakeNtfsPartition(source, 16 * kMiB, &why) ||
            !NtfsCopyIn(source, dir.path(), "/text.txt", TextBytes(600000), &why) ||
            !NtfsCopyIn(source, dir.path(), "/rand.bin", PatternBytes(200000, 5), &why))
            return;
        ready = BackupNtfsImage(source, base, compress, split) == 0;
    }
    std::string Volume(unsigned v, unsigned g = 0) const { return VolumeFileName(base, v, g); }
    int Restore(const std::string& image)
    {
        MakeSparseFile(target, kTargetBytes);
        int result = RestoreNtfsImage(image, target);
        EXPECT_EQ(FileSize(target), kTargetBytes) << "written beyond the target";
        return result;
    }
};

// Offset of the 10-byte data-set head of the file record that holds the
// UTF-16 name: the record (1024 bytes after its number) is followed by it.
size_t DataSetHeadOf(const std::vector<uint8_t>& image, const std::string& name)
{
    std::vector<uint8_t> utf16;
    for (char c : name) {
        utf16.push_back(static_cast<uint8_t>(c));
        utf16.push_back(0);
    }
    auto at = std::search(image.begin(), image.end(), utf16.begin(), utf16.end());
    if (at == image.end())
        return 0;
    for (size_t p = size_t(at - image.begin()); p >= 4; --p) {
        if (std::memcmp(&image[p], "FILE", 4) == 0)
            return p + 1024;
    }
    return 0;
}

}  // namespace

#define REQUIRE_IMAGES(images)                                                                               \
    do {                                                                                                     \
        if (!(images).ready)                                                                                 \
            SKIP_OR_FAIL_IN_CI("no source image: " << (images).why);                                         \
    } while (0)

TEST(NtfsRestoreDamage, CorruptedCompressedBytes)
{
    Images images(3);
    REQUIRE_IMAGES(images);
    std::vector<uint8_t> bytes = ReadFileBytes(images.Volume(0));
    size_t head = DataSetHeadOf(bytes, "text.txt");
    ASSERT_NE(head, 0u);
    uint64_t stored = 0;
    std::memcpy(&stored, &bytes[head + 1], 8);
    ASSERT_GT(stored, 1000u);
    for (size_t i = 0; i < 200; ++i)
        bytes[head + 10 + stored / 2 + i] = static_cast<uint8_t>(0x5A ^ i * 37);
    WriteFileBytes(images.Volume(0), bytes);
    EXPECT_EQ(images.Restore(images.Volume(0)), ERR_DAMAGED_IMAGE) << "the checksums find the change";
    // With checksums that agree, the decoder's own check must hold.
    ASSERT_TRUE(ResealVolume(images.Volume(0)));
    EXPECT_EQ(images.Restore(images.Volume(0)), ERR_COMPRESS);
}

TEST(NtfsRestoreDamage, SetSizesAndCountsThatLie)
{
    for (int compress : {0, 1}) {
        Images images(compress);
        REQUIRE_IMAGES(images);
        const std::vector<uint8_t> good = ReadFileBytes(images.Volume(0));
        size_t head = DataSetHeadOf(good, "text.txt");
        ASSERT_NE(head, 0u);
        uint64_t stored = 0;
        std::memcpy(&stored, &good[head + 1], 8);
        for (int64_t delta : {-1, 1, 5000}) {
            std::vector<uint8_t> bytes = good;
            uint64_t lie = stored + delta;
            std::memcpy(&bytes[head + 1], &lie, 8);
            WriteFileBytes(images.Volume(0), bytes);
            // Past the checksums, to the reader's own checks.
            ASSERT_TRUE(ResealVolume(images.Volume(0)));
            EXPECT_NE(images.Restore(images.Volume(0)), 0) << compress << " " << delta;
        }
        // The entry count at the start of the record stream.
        tagPARTITION_INFO info;
        tagBLOCK_END end;
        std::memcpy(&end, &good[good.size() - sizeof(end)], sizeof(end));
        uint64_t startPos = end.blkStartLow | uint64_t(end.blkStartHigh) << 32;
        tagBLOCK_START start;
        std::memcpy(&start, &good[startPos], sizeof(start));
        std::memcpy(&info, &good[startPos + sizeof(start) + start.mftBitmapSize], sizeof(info));
        for (uint32_t count : {10u, 0u, 0x7FFFFFFFu}) {
            std::vector<uint8_t> bytes = good;
            std::memcpy(&bytes[info.dataSectionPos], &count, 4);
            WriteFileBytes(images.Volume(0), bytes);
            ASSERT_TRUE(ResealVolume(images.Volume(0)));
            int result = images.Restore(images.Volume(0));
            if (count == 0x7FFFFFFFu)
                EXPECT_EQ(result, 0) << "the stream's end marker still ends it";
            else
                EXPECT_EQ(result, ERR_PART_INFO) << count;
        }
    }
}

TEST(NtfsRestoreDamage, RandomByteDamageNeverCrashes)
{
    Images images(1);
    REQUIRE_IMAGES(images);
    const std::vector<uint8_t> good = ReadFileBytes(images.Volume(0));
    std::vector<uint8_t> noise = PatternBytes(64, 77);
    // What damage may give: the codes of a bad image, never success (every
    // byte of a volume is under its checksums), a write failure, a cancel
    // or an allocation that damage made huge. Restore() checks the
    // target's size.
    const std::set<int> expected = {
        ERR_DAMAGED_IMAGE, ERR_OTHER_IMAGE,      ERR_VOLUME_TRUNCATED, ERR_SET_PAST_LAST_VOLUME,
        ERR_NO_BOOT_AREA,  ERR_OPEN_FILE,        ERR_READ_FILE,        ERR_FILE_NOT_FOUND,
        ERR_SEEK_FILE,     ERR_BAD_MAGIC,        ERR_PART_INFO,        ERR_PART_TOO_SMALL,
        ERR_COMPRESS,      ERR_NOT_FIRST_VOLUME, ERR_VOLUME_ORDER,     ERR_VOLUME_CHAIN};
    int refused = 0;
    for (int i = 0; i < 40; ++i) {
        std::vector<uint8_t> bytes = good;
        size_t at = (size_t(noise[i % 64]) * 7919u + size_t(i) * 104729u) % (bytes.size() - 8);
        for (int k = 0; k < 8; ++k)
            bytes[at + k] ^= noise[(i + k) % 64] | 1;
        WriteFileBytes(images.Volume(0), bytes);
        const int result = images.Restore(images.Volume(0));
        EXPECT_EQ(expected.count(result), 1u) << "damage at " << at << " gave " << result;
        refused += result != 0;
    }
    EXPECT_EQ(refused, 40);
}

TEST(NtfsRestoreDamage, SplitVolumesTruncatedOrOutOfOrder)
{
    Images images(0, 400000);
    REQUIRE_IMAGES(images);
    ASSERT_TRUE(FileExists(images.Volume(2)));
    EXPECT_EQ(images.Restore(images.Volume(1)), ERR_NOT_FIRST_VOLUME);
    // Volumes 1 and 2 swapped.
    std::vector<uint8_t> v1 = ReadFileBytes(images.Volume(1)), v2 = ReadFileBytes(images.Volume(2));
    WriteFileBytes(images.Volume(1), v2);
    WriteFileBytes(images.Volume(2), v1);
    EXPECT_EQ(images.Restore(images.Volume(0)), ERR_VOLUME_ORDER);
    WriteFileBytes(images.Volume(2), v2);
    // Volume 1 cut short: its trailer is gone.
    WriteFileBytes(images.Volume(1), std::vector<uint8_t>(v1.begin(), v1.begin() + v1.size() / 2));
    EXPECT_NE(images.Restore(images.Volume(0)), 0);
    // A missing volume nobody supplies.
    std::remove(images.Volume(1).c_str());
    EXPECT_EQ(images.Restore(images.Volume(0)), ERR_FILE_NOT_FOUND);
}

TEST(NtfsRestoreDamage, PreviousImageOfAnotherChain)
{
    Images images(1);
    REQUIRE_IMAGES(images);
    ASSERT_EQ(BackupNtfsImage(images.source, images.base, 0, ImageFormat::kNeverSplit, images.Volume(0)), 0);
    ASSERT_TRUE(FileExists(images.Volume(0, 1)));
    EXPECT_EQ(images.Restore(images.Volume(0, 1)), 0);

    std::vector<uint8_t> full = ReadFileBytes(images.Volume(0));
    tagBLOCK_END end;
    std::memcpy(&end, &full[full.size() - sizeof(end)], sizeof(end));
    end.chainId ^= 1;
    std::memcpy(&full[full.size() - sizeof(end)], &end, sizeof(end));
    WriteFileBytes(images.Volume(0), full);
    EXPECT_EQ(images.Restore(images.Volume(0, 1)), ERR_VOLUME_CHAIN);
    std::remove(images.Volume(0).c_str());
    EXPECT_EQ(images.Restore(images.Volume(0, 1)), ERR_FILE_NOT_FOUND);
}
