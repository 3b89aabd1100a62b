// Each MFT record of an NTFS image is checked against the digest its record
// section keeps. The images here carry no volume check record (as images of
// older engines), so that the record digest alone has to find the damage.
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_image_reader.h"
#include "support/ntfs_jobs.h"
#include "fslayout/ntfs_layout.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/reseal_volume.h"
#include "support/skip_or_fail.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <iterator>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

struct UncheckedImage {
    TempDir dir;
    std::string source = dir.file("sdy1");
    std::string base = dir.file("img");
    std::string target = dir.file("sdx1");
    std::vector<NtfsFileSpec> files;
    bool ready = false;
    std::string why;

    UncheckedImage()
    {
        files.push_back(NtfsFileSpec{"alpha.txt", PatternBytes(70000, 3)});
        files.push_back(NtfsFileSpec{"bravo.bin", PatternBytes(5000, 9)});
        if (!HaveNtfsTools() || !MakeNtfsPartition(source, 16 * kMiB, &why))
            return;
        for (const auto& file : files) {
            if (!NtfsCopyIn(source, dir.path(), "/" + file.path, file.data, &why))
                return;
        }
        ready = BackupNtfsImage(source, base, 0) == 0 && StripVolumeCheck(Volume());
        if (!ready)
            why = "no unchecked image";
    }
    std::string Volume() const { return VolumeFileName(base, 0, 0); }
    int Restore()
    {
        MakeSparseFile(target, 20 * kMiB);
        return RestoreNtfsImage(Volume(), target);
    }
};

// Where record n's 1024 bytes stand in the image's record stream.
size_t StreamRecordOffset(const std::vector<uint8_t>& image, uint32_t n)
{
    for (size_t p = 4; p + ImageFormat::kNtfsFileRecordBytes <= image.size(); ++p) {
        uint32_t number = 0;
        uint32_t own = 0;
        std::memcpy(&number, &image[p - 4], 4);
        std::memcpy(&own, &image[p + 0x2C], 4);
        if (number == n && own == n && std::memcmp(&image[p], "FILE", 4) == 0)
            return p;
    }
    return 0;
}

// Offset in a stored record of the first UTF-16 copy of `name`.
size_t NameOffset(const std::vector<uint8_t>& image, size_t record, const std::string& name)
{
    std::vector<uint8_t> utf16;
    for (char c : name) {
        utf16.push_back(uint8_t(c));
        utf16.push_back(0);
    }
    auto begin = image.begin() + long(record);
    auto at = std::search(begin, begin + ImageFormat::kNtfsFileRecordBytes, utf16.begin(), utf16.end());
    return at == begin + ImageFormat::kNtfsFileRecordBytes ? 0 : size_t(at - image.begin());
}

}  // namespace

#define REQUIRE_IMAGE(image)                                                                                 \
    do {                                                                                                     \
        if (!(image).ready)                                                                                  \
            SKIP_OR_FAIL_IN_CI("no source image: " << (image).why);                                          \
    } while (0)

TEST(NtfsRestoreRecordDigest, UncheckedImageRestoresWhole)
{
    UncheckedImage image;
    REQUIRE_IMAGE(image);
    ASSERT_EQ(image.Restore(), 0);
    EXPECT_EQ(NtfsCheckProblems(image.target), "");
    EXPECT_EQ(CompareNtfsFiles(image.target, image.files), "");
}

// A bit flipped in a stored record: the magic of a file's record, or a
// letter of its name. Both once restored with 0, the first leaving the
// file unreadable, the second renaming it.
TEST(NtfsRestoreRecordDigest, FlippedRecordBitIsDamage)
{
    UncheckedImage image;
    REQUIRE_IMAGE(image);
    const int64_t inode = NtfsInodeOf(image.source, "/alpha.txt");
    ASSERT_GE(inode, int64_t(Ntfs::kFirstUserRecord));
    const std::vector<uint8_t> good = ReadFileBytes(image.Volume());
    const size_t record = StreamRecordOffset(good, uint32_t(inode));
    ASSERT_NE(record, 0u);
    const size_t name = NameOffset(good, record, "alpha.txt");
    ASSERT_NE(name, 0u);
    struct Flip {
        const char* what;
        size_t offset;
        uint8_t mask;
    };
    for (const Flip& flip :
         {Flip{"FILE becomes GILE", record, 0x01}, Flip{"a letter of the name", name, 0x02}}) {
        SCOPED_TRACE(flip.what);
        std::vector<uint8_t> bytes = good;
        bytes[flip.offset] ^= flip.mask;
        WriteFileBytes(image.Volume(), bytes);
        EXPECT_EQ(image.Restore(), ERR_DAMAGED_IMAGE);
    }
}

// Images of older engines kept other things in the summary: the record
// digest with a digest of the record's data behind it, or, before digests,
// the creation and modification times of the record. Such images restore
// as before.
TEST(NtfsRestoreRecordDigest, SummariesOfOlderImagesAccepted)
{
    UncheckedImage image;
    REQUIRE_IMAGE(image);
    NtfsImage parsed;
    std::string error;
    ASSERT_TRUE(ReadNtfsImage(image.Volume(), &parsed, &error)) << error;
    const std::vector<uint8_t> good = ReadFileBytes(image.Volume());
    const size_t section = parsed.info.recordSectionPos + 4;

    using Rewrite = std::function<void(const ImageRecordEntry&, tagFileRecordInfo*)>;
    const Rewrite withDataDigest = [](const ImageRecordEntry&, tagFileRecordInfo* entry) {
        entry->formerDataDigest = 0x1122334455667788ull;
    };
    const Rewrite withTimes = [](const ImageRecordEntry& stored, tagFileRecordInfo* entry) {
        std::vector<uint8_t> fixed = stored.raw;
        ASSERT_TRUE(Ntfs::RemoveFixup(fixed.data(), uint32_t(fixed.size())));
        uint64_t created = 0;
        uint64_t modified = 0;
        const auto* header = reinterpret_cast<const tagFILE_RECORD_HEADER*>(fixed.data());
        Ntfs::AttributeWalker walker(fixed.data(),
                                     std::min<uint32_t>(uint32_t(fixed.size()), header->bytesInUse));
        while (const tagRECORD_ATTR* attr = walker.Next()) {
            if (!attr->nonResident && attr->type == Ntfs::ATTR_STANDARD_INFORMATION) {
                tagATTR_STANDARD_INFORMATION si;
                std::memcpy(&si, Ntfs::ResidentValue(attr), 16);
                created = si.creationTime;
                modified = si.modificationTime;
            }
        }
        entry->recordDigest = created;
        entry->formerDataDigest = modified;
    };
    for (const auto& rewrite : {withDataDigest, withTimes}) {
        std::vector<uint8_t> bytes = good;
        unsigned changed = 0;
        for (const ImageRecordEntry& stored : parsed.records) {
            tagFileRecordInfo entry = parsed.summaries[stored.number];
            if (uint64_t(entry.recordDigest) == 0)
                continue;
            rewrite(stored, &entry);
            std::memcpy(&bytes[section + stored.number * sizeof entry], &entry, sizeof entry);
            ++changed;
        }
        ASSERT_GT(changed, 16u);
        WriteFileBytes(image.Volume(), bytes);
        ASSERT_EQ(image.Restore(), 0);
        EXPECT_EQ(NtfsCheckProblems(image.target), "");
        EXPECT_EQ(CompareNtfsFiles(image.target, image.files), "");
    }
}

// A record that changed between the backup's two reads of a live volume:
// its summary no longer matches the record stored, yet the image's check
// records prove what was stored, so it restores.
TEST(NtfsRestoreRecordDigest, CheckedImageWithStaleSummaryRestores)
{
    UncheckedImage image;
    REQUIRE_IMAGE(image);
    // The same source once more, this time kept with its check records.
    ASSERT_EQ(BackupNtfsImage(image.source, image.dir.file("checked"), 0), 0);
    const std::string volume = VolumeFileName(image.dir.file("checked"), 0, 0);
    NtfsImage parsed;
    std::string error;
    ASSERT_TRUE(ReadNtfsImage(volume, &parsed, &error)) << error;
    std::vector<uint8_t> bytes = ReadFileBytes(volume);
    const size_t section = parsed.info.recordSectionPos + 4;
    unsigned changed = 0;
    for (const ImageRecordEntry& stored : parsed.records) {
        tagFileRecordInfo entry = parsed.summaries[stored.number];
        if (uint64_t(entry.recordDigest) == 0)
            continue;
        entry.recordDigest = entry.recordDigest ^ 0x5A5Aull;
        std::memcpy(&bytes[section + stored.number * sizeof entry], &entry, sizeof entry);
        ++changed;
    }
    ASSERT_GT(changed, 16u);
    WriteFileBytes(volume, bytes);
    ASSERT_TRUE(ResealVolume(volume));
    MakeSparseFile(image.target, 20 * kMiB);
    ASSERT_EQ(RestoreNtfsImage(volume, image.target), 0);
    EXPECT_EQ(NtfsCheckProblems(image.target), "");
    EXPECT_EQ(CompareNtfsFiles(image.target, image.files), "");
}

// The older image of a chain is checked against its own record section: a
// record that only the base image holds is proved there.
TEST(NtfsRestoreRecordDigest, FlippedRecordInTheBaseOfAChain)
{
    UncheckedImage image;
    REQUIRE_IMAGE(image);
    std::string why;
    image.files.push_back(NtfsFileSpec{"charlie.txt", PatternBytes(40000, 21)});
    ASSERT_TRUE(NtfsCopyIn(image.source, image.dir.path(), "/charlie.txt", image.files.back().data, &why))
        << why;
    const std::string newest = VolumeFileName(image.base, 0, 1);
    ASSERT_EQ(BackupNtfsImage(image.source, image.base, 0, ImageFormat::kNeverSplit, image.Volume()), 0);
    ASSERT_TRUE(StripVolumeCheck(newest));
    MakeSparseFile(image.target, 20 * kMiB);
    ASSERT_EQ(RestoreNtfsImage(newest, image.target), 0);
    EXPECT_EQ(NtfsCheckProblems(image.target), "");
    EXPECT_EQ(CompareNtfsFiles(image.target, image.files), "");

    const int64_t inode = NtfsInodeOf(image.source, "/alpha.txt");
    ASSERT_GE(inode, int64_t(Ntfs::kFirstUserRecord));
    ASSERT_EQ(StreamRecordOffset(ReadFileBytes(newest), uint32_t(inode)), 0u)
        << "the newest image holds it too";
    std::vector<uint8_t> bytes = ReadFileBytes(image.Volume());
    const size_t name = NameOffset(bytes, StreamRecordOffset(bytes, uint32_t(inode)), "alpha.txt");
    ASSERT_NE(name, 0u);
    bytes[name] ^= 0x02;
    WriteFileBytes(image.Volume(), bytes);
    MakeSparseFile(image.target, 20 * kMiB);
    EXPECT_EQ(RestoreNtfsImage(newest, image.target), ERR_DAMAGED_IMAGE);
}

// The record section must be where the partition info says, hold as many
// entries as the image has records and end where the record stream begins.
TEST(NtfsRestoreRecordDigest, RecordSectionThatLies)
{
    UncheckedImage image;
    REQUIRE_IMAGE(image);
    const std::vector<uint8_t> good = ReadFileBytes(image.Volume());
    const uint8_t magic[] = {'P', 'I', 'F', 'O'};
    const auto info = std::find_end(good.begin(), good.end(), std::begin(magic), std::end(magic));
    ASSERT_NE(info, good.end());
    const size_t infoAt = size_t(info - good.begin());
    tagPARTITION_INFO partition;
    std::memcpy(&partition, &good[infoAt], sizeof partition);
    const size_t countAt = partition.recordSectionPos;

    struct Case {
        const char* what;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {"one entry more", countAt, partition.recordCount + 1},
        {"no entries", countAt, 0},
        {"entries far beyond the volume", countAt, 0xFFFFFFFFu},
        {"section elsewhere", infoAt + offsetof(tagPARTITION_INFO, recordSectionPos),
         partition.recordSectionPos + 25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        std::memcpy(&bytes[c.offset], &c.value, 4);
        WriteFileBytes(image.Volume(), bytes);
        EXPECT_EQ(image.Restore(), ERR_DAMAGED_IMAGE);
    }
}
