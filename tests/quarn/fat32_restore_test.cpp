// FAT32 round trips judged by fsck.fat, mdir and mcopy, the new layout for
// the target's size, and the restore's answers to bad targets and images.
#include "quarn/fat32/part_fat32_restore.h"
#include "support/disk_table.h"
#include "fslayout/fat32_layout.h"
#include "support/fat_fixture.h"
#include "support/fat_jobs.h"
#include "quarn/api/image_format.h"
#include "quarn/api/quarn.h"
#include "support/recording_callbacks.h"
#include "support/reseal_volume.h"
#include "support/shared_fixture.h"
#include "fslayout/unfinished_restore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1ull << 20;
constexpr uint64_t kGiB = 1ull << 30;

int Restore(const std::string& image, const std::string& target, RecordingCallbacks* calls = nullptr,
            int hasMbr = 0)
{
    tagRestoreArgument arg;
    arg.imagePath = image;
    arg.targetPartition = target;
    arg.hasMbr = hasMbr;
    return restore_fat32(arg, calls != nullptr ? calls->Bind() : tagCallBackFunc{});
}

// What fsck.fat -n says when it finds nothing to mend.
void ExpectCleanFat(const std::string& image)
{
    const CommandResult check = CheckFat(image);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    for (const char* complaint : {"Invalid", "wrong", "differ", "Orphan", "bad", "chain", "Free cluster"})
        EXPECT_EQ(check.output.find(complaint), std::string::npos) << complaint << "\n" << check.output;
}

// The source's listing as the restored target must show it: the page file
// comes back empty.
std::vector<std::string> ExpectedListing(const std::vector<std::string>& source)
{
    std::vector<std::string> lines = source;
    for (auto& line : lines)
        if (line.rfind("PAGEFILE SYS ", 0) == 0)
            line = "PAGEFILE SYS 0" + line.substr(line.find(' ', 13));
    return lines;
}

uint32_t FatEntry(const std::string& image, uint32_t cluster)
{
    const auto boot = ReadFileHead(image, 512);
    const uint64_t fatPos = uint64_t(Le16(boot, 14)) * Le16(boot, 11);
    return Le32(ReadFileHead(image, 4, fatPos + uint64_t(cluster) * 4), 0) & Fat32::kEntryMask;
}

bool HaveFatTools()
{
    return HaveProgram("mkfs.fat") && HaveProgram("mcopy") && HaveProgram("fsck.fat");
}

// The rich source as "sdz1", its listing (one line each) and its files as
// mcopy copies them out, with the page file empty as it comes back.
std::string MakeRichSource(const std::string& folder)
{
    if (!HaveFatTools())
        return "missing dosfstools or mtools";
    const std::string source = folder + "/sdz1";
    BuildRichFatSource(source, folder + "/scratch");
    std::ofstream listing(folder + "/listing.txt");
    for (const std::string& line : FatListing(source))
        listing << line << '\n';
    listing.close();
    if (!listing)
        return "cannot write the source's listing";
    if (!ExtractFatTree(source, folder + "/source-files"))
        return "mcopy could not copy the source's files out";
    MakeSparseFile(folder + "/source-files/PAGEFILE.SYS", 0);
    return std::string();
}

QUARN_SHARED_FIXTURE(MakeRichSource)

class Fat32RestoreTest : public ::testing::Test {
protected:
    // The source is made once for the program and copied here; its listing
    // and files out are only read.
    static void SetUpTestSuite()
    {
        if (!HaveFatTools())
            return;
        const SharedFixtureFolder& fixture = SharedFixture(&MakeRichSource);
        if (!fixture.error.empty()) {
            ADD_FAILURE() << fixture.error;
            return;
        }
        s_dir = new TempDir;
        s_source = s_dir->file("sdz1");
        const std::string error = CopyKeepingHoles(fixture.path + "/sdz1", s_source);
        if (!error.empty())
            ADD_FAILURE() << error;
        s_listing = new std::vector<std::string>;
        std::ifstream listing(fixture.path + "/listing.txt");
        for (std::string line; std::getline(listing, line);)
            s_listing->push_back(line);
        s_extracted = fixture.path + "/source-files";
    }
    static void TearDownTestSuite()
    {
        delete s_listing;
        delete s_dir;
        s_listing = nullptr;
        s_dir = nullptr;
    }
    void SetUp() override
    {
        if (s_dir == nullptr)
            SKIP_OR_FAIL_IN_CI("dosfstools or mtools are not installed");
        m_fakeChecker.reset(new FakeDosfsckOnPath(dir.file("fakebin")));
    }

    // Restores and judges the target against the source.
    void ExpectSameAsSource(const std::string& target)
    {
        ExpectCleanFat(target);
        ASSERT_GT(s_listing->size(), 300u);
        EXPECT_EQ(FatListing(target), ExpectedListing(*s_listing));
        const std::string out = dir.file("restored-files-" + std::to_string(m_extractions++));
        ASSERT_TRUE(ExtractFatTree(target, out));
        std::string differences;
        EXPECT_TRUE(SameTree(s_extracted, out, &differences)) << differences;
    }

    static TempDir* s_dir;
    static std::string s_source;
    static std::string s_extracted;
    static std::vector<std::string>* s_listing;
    TempDir dir;
    std::unique_ptr<FakeDosfsckOnPath> m_fakeChecker;
    int m_extractions = 0;
};

TempDir* Fat32RestoreTest::s_dir = nullptr;
std::string Fat32RestoreTest::s_source;
std::string Fat32RestoreTest::s_extracted;
std::vector<std::string>* Fat32RestoreTest::s_listing = nullptr;

struct RoundTrip {
    const char* name;
    uint64_t targetBytes;
    int compressType;
    uint64_t volumeSize;
};

class Fat32RoundTripTest : public Fat32RestoreTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(Fat32RoundTripTest, TargetHoldsTheSourcesTreeAndBytes)
{
    const RoundTrip& c = GetParam();
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img"), c.compressType, c.volumeSize), 0);
    if (c.volumeSize != ImageFormat::kNeverSplit) {
        ASSERT_TRUE(FileExists(dir.file("img_2_0.bkp")));
    }
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, c.targetBytes);
    ASSERT_EQ(Restore(dir.file("img_0_0.bkp"), target), 0);
    ExpectSameAsSource(target);
    // The checker ran on the target, read-only.
    const auto ran = ReadFileBytes(m_fakeChecker->marker());
    EXPECT_EQ(std::string(ran.begin(), ran.end()), "-n " + target + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Fat32RoundTripTest,
    ::testing::Values(RoundTrip{"EqualPlain", kRichSourceBytes, 0, ImageFormat::kNeverSplit},
                      RoundTrip{"SmallerQuickLz", 36 * kMiB, 1, ImageFormat::kNeverSplit},
                      RoundTrip{"LargerDeflateFast", 300 * kMiB, 2, ImageFormat::kNeverSplit},
                      RoundTrip{"EqualDeflate", kRichSourceBytes, 3, ImageFormat::kNeverSplit},
                      RoundTrip{"SmallerPlainSplit", 36 * kMiB, 0, 100 * 1024},
                      RoundTrip{"LargerQuickLzSplit", 300 * kMiB, 1, 64 * 1024},
                      RoundTrip{"EqualDeflateFastSplit", kRichSourceBytes, 2, 48 * 1024},
                      RoundTrip{"EqualDeflateSplit", kRichSourceBytes, 3, 48 * 1024},
                      // Not a whole number of clusters or even sectors.
                      RoundTrip{"OddSizedPlain", 37 * kMiB + 3 * 512 + 100, 0, ImageFormat::kNeverSplit},
                      RoundTrip{"OddSizedLargerDeflate", 300 * kMiB + 5 * 512 + 7, 3,
                                ImageFormat::kNeverSplit},
                      // Volumes smaller than one data chunk.
                      RoundTrip{"PlainSplitBelowAChunk", 36 * kMiB, 0, 100000},
                      RoundTrip{"QuickLzSplitBelowAChunk", 36 * kMiB, 1, 30000}),
    [](const ::testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

TEST_F(Fat32RestoreTest, MissingLaterVolumeEndsWith20WithoutAsking)
{
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img"), 0, 64 * 1024), 0);
    ASSERT_EQ(unlink(dir.file("img_2_0.bkp").c_str()), 0);
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);
    RecordingCallbacks calls;
    EXPECT_EQ(Restore(dir.file("img_0_0.bkp"), target, &calls), ERR_FILE_NOT_FOUND);
    EXPECT_TRUE(calls.askedFiles.empty());
}

TEST_F(Fat32RestoreTest, IncrementalImageRestoresByItself)
{
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img")), 0);
    tagBackupArgument arg;
    arg.incremental = true;
    arg.srcPartition = s_source;
    arg.imagePath = dir.file("img");
    arg.prevImage = dir.file("img_0_0.bkp");
    arg.fsType = FS_TYPE_FAT32;
    arg.compressType = 2;
    ASSERT_EQ(backup_fat32(arg, tagCallBackFunc{}, nullptr, 0), 0);
    ASSERT_EQ(unlink(dir.file("img_0_0.bkp").c_str()), 0);
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);
    ASSERT_EQ(Restore(dir.file("img_0_1.bkp"), target), 0);
    ExpectSameAsSource(target);
}

TEST_F(Fat32RestoreTest, EmptyDirectoryGetsOneClusterWithDotsAndEndMark)
{
    const std::string source = dir.file("sdx1");
    FatImage image(source, kRichSourceBytes, 1, "", dir.file("scratch"));
    image.MakeDir("/EMPTY");
    image.MakeDir("/OUTER");
    image.MakeDir("/OUTER/INNER");
    image.AddFile("/ONE.BIN", PatternBytes(512, 11));
    ASSERT_EQ(BackupFat32Image(source, dir.file("img")), 0);
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, 64 * kMiB);
    ASSERT_EQ(Restore(dir.file("img_0_0.bkp"), target), 0);
    ExpectCleanFat(target);

    const auto boot = ReadFileHead(target, 512);
    const uint64_t dataPos = uint64_t(Le16(boot, 14) + 2 * Le32(boot, 36)) * 512;
    const uint32_t clusterBytes = 512u * boot[13];
    auto clusterPos = [&](uint32_t c) { return dataPos + uint64_t(c - 2) * clusterBytes; };
    auto findIn = [&](uint32_t dirCluster, const char* name11) {
        const auto bytes = ReadFileHead(target, clusterBytes, clusterPos(dirCluster));
        for (size_t i = 0; i + 32 <= bytes.size(); i += 32)
            if (std::memcmp(&bytes[i], name11, 11) == 0)
                return std::vector<uint8_t>(bytes.begin() + static_cast<long>(i),
                                            bytes.begin() + static_cast<long>(i + 32));
        ADD_FAILURE() << "no " << name11;
        return std::vector<uint8_t>(32, 0);
    };
    auto startOf = [](const std::vector<uint8_t>& e) { return (uint32_t(Le16(e, 20)) << 16) | Le16(e, 26); };

    EXPECT_EQ(Le32(boot, 44), 2u);
    const uint32_t empty = startOf(findIn(2, "EMPTY      "));
    EXPECT_GE(FatEntry(target, empty), Fat32::kEndOfChainMin);
    const auto cluster = ReadFileHead(target, clusterBytes, clusterPos(empty));
    EXPECT_EQ(std::string(cluster.begin(), cluster.begin() + 11), ".          ");
    EXPECT_EQ(startOf(std::vector<uint8_t>(cluster.begin(), cluster.begin() + 32)), empty);
    EXPECT_EQ(std::string(cluster.begin() + 32, cluster.begin() + 43), "..         ");
    EXPECT_EQ(startOf(std::vector<uint8_t>(cluster.begin() + 32, cluster.begin() + 64)), 0u);
    EXPECT_EQ(cluster[64], 0);

    // ".." below a subdirectory names that subdirectory.
    const uint32_t outer = startOf(findIn(2, "OUTER      "));
    const uint32_t inner = startOf(findIn(outer, "INNER      "));
    EXPECT_EQ(startOf(findIn(inner, "..         ")), outer);
    // A file of exactly one cluster: one FAT entry, the end mark.
    const uint32_t one = startOf(findIn(2, "ONE     BIN"));
    EXPECT_GE(FatEntry(target, one), Fat32::kEndOfChainMin);
}

TEST(Fat32LayoutTest, ClusterSizeFollowsTheTargetsSize)
{
    struct Case {
        uint64_t bytes;
        uint32_t sectorsPerCluster;
    };
    for (const Case& c : {Case{200 * kMiB, 1}, Case{0x103FFFFF, 1}, Case{0x10400000, 8}, Case{4 * kGiB, 8},
                          Case{12 * kGiB, 16}, Case{16 * kGiB, 32}, Case{100 * kGiB, 32}}) {
        Fat32NewLayout layout;
        ASSERT_EQ(PlanFat32Layout(c.bytes / 512, layout), 0) << c.bytes;
        EXPECT_EQ(layout.sectorsPerCluster, c.sectorsPerCluster) << c.bytes;
        // The FAT describes every cluster, and no cluster runs past the end.
        EXPECT_GE(layout.FatBytes() / 4, uint64_t(layout.clusterCount) + 2) << c.bytes;
        EXPECT_LE(layout.DataPos() + uint64_t(layout.clusterCount) * layout.ClusterBytes(), c.bytes)
            << c.bytes;
        EXPECT_GE(layout.clusterCount, Fat32::kMinClusterCount);
    }
}

TEST(Fat32LayoutTest, RefusesTargetsFat32CannotDescribe)
{
    Fat32NewLayout layout;
    EXPECT_EQ(PlanFat32Layout(0, layout), ERR_PART_TOO_SMALL);
    EXPECT_EQ(PlanFat32Layout(30 * kMiB / 512, layout), ERR_PART_TOO_SMALL);
    EXPECT_EQ(PlanFat32Layout(0x100000000ull, layout), ERR_PART_INFO);
    EXPECT_EQ(PlanFat32Layout(~0ull, layout), ERR_PART_INFO);
    EXPECT_EQ(PlanFat32Layout(0xFFFFFFFFull, layout), 0);
}

TEST_F(Fat32RestoreTest, SparseTargetsGetTheClusterSizeOfTheirSize)
{
    const std::string source = dir.file("sdx1");
    FatImage image(source, kRichSourceBytes, 1, "SMALL", dir.file("scratch"));
    image.MakeDir("/Some Folder");
    image.AddFile("/Some Folder/data file.bin", PatternBytes(100000, 12));
    ASSERT_EQ(BackupFat32Image(source, dir.file("img")), 0);
    struct Case {
        uint64_t bytes;
        uint8_t sectorsPerCluster;
    };
    for (const Case& c :
         {Case{200 * kMiB, 1}, Case{4 * kGiB, 8}, Case{12 * kGiB, 16}, Case{100 * kGiB, 32}}) {
        const std::string target = dir.file("sdy1");
        MakeSparseFile(target, c.bytes);
        ASSERT_EQ(Restore(dir.file("img_0_0.bkp"), target), 0) << c.bytes;
        const auto boot = ReadFileHead(target, 512);
        EXPECT_EQ(boot[13], c.sectorsPerCluster) << c.bytes;
        EXPECT_EQ(Le16(boot, 14), 38);
        EXPECT_EQ(Le32(boot, 32), c.bytes / 512);
        ExpectCleanFat(target);
        unlink(target.c_str());
    }
}

struct RefusedTarget {
    const char* name;
    uint64_t bytes;
    int expected;
};

class Fat32RefusedTargetTest : public Fat32RestoreTest,
                               public ::testing::WithParamInterface<RefusedTarget> {};

TEST_P(Fat32RefusedTargetTest, RefusedBeforeAnythingIsWritten)
{
    const std::string source = dir.file("sdx1");
    FatImage image(source, kRichSourceBytes, 1, "", dir.file("scratch"));
    image.AddFile("/A.TXT", PatternBytes(1000, 13));
    ASSERT_EQ(BackupFat32Image(source, dir.file("img")), 0);
    const std::string target = dir.file("sdy1");
    try {
        MakeSparseFile(target, GetParam().bytes);
    } catch (const std::exception&) {
        SKIP_OR_FAIL_IN_CI("no sparse file of this size here");
    }
    EXPECT_EQ(Restore(dir.file("img_0_0.bkp"), target), GetParam().expected);
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(uint64_t(st.st_size), GetParam().bytes);
    EXPECT_EQ(st.st_blocks, 0) << "the target was written";
}

INSTANTIATE_TEST_SUITE_P(Cases, Fat32RefusedTargetTest,
                         ::testing::Values(RefusedTarget{"TooFewClusters", 30 * kMiB, ERR_PART_TOO_SMALL},
                                           RefusedTarget{"TwoTiB", 0x100000000ull * 512, ERR_PART_INFO},
                                           RefusedTarget{"FourTiB", 0x200000000ull * 512, ERR_PART_INFO}),
                         [](const ::testing::TestParamInfo<RefusedTarget>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Fat32RestoreTest, TargetTooSmallForTheDataEndsWith48InsideTheTarget)
{
    const std::string source = dir.file("sdx1");
    FatImage image(source, 300 * kMiB, 8, "", dir.file("scratch"));
    image.AddFile("/BIG.BIN", PatternBytes(40 * kMiB, 14));
    ASSERT_EQ(BackupFat32Image(source, dir.file("img")), 0);
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, 36 * kMiB);
    EXPECT_EQ(Restore(dir.file("img_0_0.bkp"), target), ERR_PART_TOO_SMALL);
    EXPECT_EQ(FileSize(target), 36 * kMiB);
}

// Entries the backup found damaged, and long-name parts out of range.
// A volume filled with files, every other one deleted (their directory
// entries stay behind as deleted ones), then a file written into the gaps:
// its cluster chain jumps from gap to gap.
TEST_F(Fat32RestoreTest, FragmentedFilesAndDeletedEntriesRoundTrip)
{
    if (!HaveProgram("mdel") || !HaveProgram("mshowfat"))
        SKIP_OR_FAIL_IN_CI("mtools without mdel or mshowfat");
    const std::string source = dir.file("sdw1");
    {
        FatImage image(source, 34 * kMiB, 1, "", dir.file("scratch"));
        std::vector<std::pair<std::string, std::vector<uint8_t>>> filler;
        for (int i = 0; i < 60; ++i)
            filler.emplace_back("F" + std::to_string(i) + ".BIN", PatternBytes(512 * 1024, 100 + i));
        image.AddFiles("/", filler);
        std::string doomed;
        for (int i = 0; i < 60; i += 2)
            doomed += " " + Quote("::/F" + std::to_string(i) + ".BIN");
        const CommandResult del = testsupport::Run(MtoolsEnv() + "mdel -i " + Quote(source) + doomed);
        ASSERT_EQ(del.exitCode, 0) << del.output;
        image.AddFile("/fragmented file.bin", PatternBytes(6000000, 7));
    }
    const CommandResult chain = testsupport::Run(MtoolsEnv() + "mshowfat -i " + Quote(source) + " " +
                                                 Quote("::/fragmented file.bin"));
    ASSERT_EQ(chain.exitCode, 0) << chain.output;
    ASSERT_GE(std::count(chain.output.begin(), chain.output.end(), '<'), 3)
        << "not fragmented: " << chain.output;
    const std::vector<std::string> listing = FatListing(source);
    const std::string extracted = dir.file("source-files");
    ASSERT_TRUE(ExtractFatTree(source, extracted));

    struct Case {
        int compressType;
        uint64_t volumeSize;
    } cases[] = {{0, ImageFormat::kNeverSplit}, {3, ImageFormat::kNeverSplit}, {1, 100000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.compressType << " split " << c.volumeSize);
        TempDir out;
        ASSERT_EQ(BackupFat32Image(source, out.file("img"), c.compressType, c.volumeSize), 0);
        const std::string target = out.file("sdy1");
        MakeSparseFile(target, 36 * kMiB);
        ASSERT_EQ(Restore(out.file("img_0_0.bkp"), target), 0);
        ExpectCleanFat(target);
        EXPECT_EQ(FatListing(target), listing);
        const std::string restored = out.file("restored-files");
        ASSERT_TRUE(ExtractFatTree(target, restored));
        std::string differences;
        EXPECT_TRUE(SameTree(extracted, restored, &differences)) << differences;
    }
}

TEST_F(Fat32RestoreTest, DamagedEntriesRestoreAsEmptyFiles)
{
    const std::string source = dir.file("sdx1");
    FatImage image(source, kRichSourceBytes, 1, "", dir.file("scratch"));
    image.AddFile("/DAMAGED.BIN", PatternBytes(3000, 15));
    image.AddFile("/a long name to break.txt", PatternBytes(700, 16));
    image.AddFile("/AFTER.BIN", PatternBytes(5000, 17));

    const auto boot = ReadFileHead(source, 512);
    const uint64_t rootPos = uint64_t(Le16(boot, 14) + boot[16] * Le32(boot, 36)) * 512;
    auto root = ReadFileHead(source, 512, rootPos);
    for (size_t i = 0; i + 32 <= root.size(); i += 32) {
        if (std::memcmp(&root[i], "DAMAGED BIN", 11) == 0) {
            // A file with a size but no start cluster.
            root[i + 20] = root[i + 21] = root[i + 26] = root[i + 27] = 0;
        } else if (root[i + 11] == Fat32::kAttrLongName) {
            // An ordinal far beyond the 20 parts of the longest name.
            root[i] = 0x40 | 0x3F;
        }
    }
    WriteFileAt(source, rootPos, root);

    ASSERT_EQ(BackupFat32Image(source, dir.file("img")), 0);
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);
    ASSERT_EQ(Restore(dir.file("img_0_0.bkp"), target), 0);

    const std::string out = dir.file("out");
    ASSERT_TRUE(ExtractFatTree(target, out));
    EXPECT_EQ(FileSize(out + "/DAMAGED.BIN"), 0u);
    EXPECT_TRUE(FileExists(out + "/DAMAGED.BIN"));
    EXPECT_TRUE(ReadFileBytes(out + "/AFTER.BIN") == PatternBytes(5000, 17));
}

enum class ImageDamage { HugeDataBytes, EntryLongerThanItsData, StreamIntoTrailer };

class Fat32DamagedImageTest : public Fat32RestoreTest, public ::testing::WithParamInterface<ImageDamage> {};

TEST_P(Fat32DamagedImageTest, EndsWithACode)
{
    const std::string source = dir.file("sdx1");
    FatImage image(source, kRichSourceBytes, 1, "", dir.file("scratch"));
    image.AddFile("/A.BIN", PatternBytes(3000, 18));
    ASSERT_EQ(BackupFat32Image(source, dir.file("img")), 0);
    const std::string volume = dir.file("img_0_0.bkp");
    auto bytes = ReadFileBytes(volume);
    const size_t endAt = bytes.size() - sizeof(tagBLOCK_END);
    tagBLOCK_END end;
    std::memcpy(&end, &bytes[endAt], sizeof end);
    tagPARTITION_INFO info;
    std::memcpy(&info, &bytes[end.blkStartLow + sizeof(tagBLOCK_START)], sizeof info);
    size_t fileEntry = SIZE_MAX;
    for (size_t p = info.dataSectionPos; p + 32 <= end.blkStartLow; p += 32)
        if (std::memcmp(&bytes[p], "A       BIN", 11) == 0) {
            fileEntry = p;
            break;
        }
    ASSERT_NE(fileEntry, SIZE_MAX);
    const size_t headAt = fileEntry + 32;

    int expected = ERR_READ_FILE;
    switch (GetParam()) {
    case ImageDamage::HugeDataBytes: {
        const uint64_t huge = 0x7FFFFFFFFFFFull;
        std::memcpy(&bytes[headAt + 1], &huge, sizeof huge);
        break;
    }
    case ImageDamage::EntryLongerThanItsData: {
        const uint32_t size = 100000;
        std::memcpy(&bytes[fileEntry + 28], &size, sizeof size);
        break;
    }
    case ImageDamage::StreamIntoTrailer: {
        // No end marks: the stream would run into the volume's records
        // (the check record first, which is left whole).
        tagVOLUME_CHECK_TAIL tail;
        std::memcpy(&tail, &bytes[end.blkStartLow - sizeof tail], sizeof tail);
        for (size_t p = headAt + 10 + 3000; p + 32 <= end.blkStartLow - tail.recordBytes; p += 32)
            bytes[p] = 'X';
        break;
    }
    }
    WriteFileBytes(volume, bytes);
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);
    EXPECT_EQ(Restore(volume, target), ERR_DAMAGED_IMAGE) << "the checksums find the change";
    // With checksums that agree, the reader's own checks must hold.
    ASSERT_TRUE(ResealVolume(volume));
    MakeSparseFile(target, kRichSourceBytes);
    EXPECT_EQ(Restore(volume, target), expected);
    EXPECT_EQ(FileSize(target), kRichSourceBytes);
}

std::string ImageDamageName(const ::testing::TestParamInfo<ImageDamage>& info)
{
    static const char* const names[] = {"HugeDataBytes", "EntryLongerThanItsData", "StreamIntoTrailer"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Damages, Fat32DamagedImageTest,
                         ::testing::Values(ImageDamage::HugeDataBytes, ImageDamage::EntryLongerThanItsData,
                                           ImageDamage::StreamIntoTrailer),
                         ImageDamageName);

// The parts of a one-volume image the tests below change.
struct ImageParts {
    std::vector<uint8_t> bytes;
    tagBLOCK_END end{};
    tagPARTITION_INFO info{};
    size_t infoAt = 0;
    size_t bootAreaAt = 0;
    size_t dataEnd = 0;  // where the check record begins
};

ImageParts ReadImageParts(const std::string& volume)
{
    ImageParts p;
    p.bytes = ReadFileBytes(volume);
    std::memcpy(&p.end, &p.bytes[p.bytes.size() - sizeof p.end], sizeof p.end);
    p.infoAt = p.end.blkStartLow + sizeof(tagBLOCK_START);
    std::memcpy(&p.info, &p.bytes[p.infoAt], sizeof p.info);
    p.bootAreaAt = p.infoAt + sizeof p.info + p.info.mbrSize;
    tagVOLUME_CHECK_TAIL tail;
    std::memcpy(&tail, &p.bytes[p.end.blkStartLow - sizeof tail], sizeof tail);
    p.dataEnd = p.end.blkStartLow - tail.recordBytes;
    return p;
}

// The entries of an uncompressed one-volume image's directory stream: where
// each stands and how deep its folder lies (1: the root).
struct StreamEntry {
    size_t offset;
    int depth;
    tagFatDirEntry entry;
};

std::vector<StreamEntry> StreamEntries(const ImageParts& image)
{
    std::vector<StreamEntry> entries;
    size_t pos = image.info.dataSectionPos;
    int depth = 1;
    while (depth > 0 && pos + 32 <= image.dataEnd) {
        StreamEntry e{pos, depth, {}};
        std::memcpy(&e.entry, &image.bytes[pos], sizeof e.entry);
        entries.push_back(e);
        pos += 32;
        const Fat32::EntryKind kind = Fat32::ClassifyEntry(e.entry);
        if (kind == Fat32::EntryKind::End) {
            --depth;
        } else if (kind == Fat32::EntryKind::Directory) {
            ++depth;
        } else if (kind == Fat32::EntryKind::File && Fat32::HasDataSet(e.entry)) {
            tagDATA_SET_HEAD head;
            std::memcpy(&head, &image.bytes[pos], sizeof head);
            pos += sizeof head + head.dataBytes;
        }
    }
    EXPECT_EQ(pos, image.dataEnd) << "the test's own reading of the stream";
    return entries;
}

// Whether fsck.fat takes the target for a whole file system, and whether
// its boot sector and the backup copy are blank.
void ExpectNoFileSystem(const std::string& target)
{
    EXPECT_NE(CheckFat(target).exitCode, 0) << "the target looks whole";
    const std::vector<uint8_t> first = ReadFileHead(target, 512);
    EXPECT_TRUE(UnfinishedRestore::IsMarked(first.data(), first.size()))
        << "boot sector: no unfinished-restore mark";
    EXPECT_TRUE(ReadFileHead(target, 512, 6 * 512) == std::vector<uint8_t>(512, 0)) << "backup boot sector";
}

// One byte zeroed in the stream makes an entry look like a folder's end: the
// stream then ends before its data does, and the image is refused, never
// restored in part.
enum class ZeroedEntry { FirstSubdirectory, DotOfTheLastSubdirectory, DeepestLongNamePart };

class Fat32ZeroedStreamByteTest : public Fat32RestoreTest,
                                  public ::testing::WithParamInterface<ZeroedEntry> {};

TEST_P(Fat32ZeroedStreamByteTest, RefusedAsDamaged)
{
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img")), 0);
    const std::string volume = dir.file("img_0_0.bkp");
    ImageParts image = ReadImageParts(volume);
    const std::vector<StreamEntry> entries = StreamEntries(image);
    ASSERT_FALSE(entries.empty());

    size_t zeroed = SIZE_MAX;
    int deepest = 0;
    for (const StreamEntry& e : entries) {
        const Fat32::EntryKind kind = Fat32::ClassifyEntry(e.entry);
        switch (GetParam()) {
        case ZeroedEntry::FirstSubdirectory:
            if (kind == Fat32::EntryKind::Directory && zeroed == SIZE_MAX)
                zeroed = e.offset;
            break;
        case ZeroedEntry::DotOfTheLastSubdirectory:
            if (kind == Fat32::EntryKind::Dot && !Fat32::IsDotDot(e.entry))
                zeroed = e.offset;
            break;
        case ZeroedEntry::DeepestLongNamePart:
            if (kind == Fat32::EntryKind::LongName && e.depth > deepest) {
                deepest = e.depth;
                zeroed = e.offset;
            }
            break;
        }
    }
    ASSERT_NE(zeroed, SIZE_MAX);
    image.bytes[zeroed] = 0;
    WriteFileBytes(volume, image.bytes);

    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);
    EXPECT_EQ(Restore(volume, target), ERR_DAMAGED_IMAGE) << "the checksums find the change";
    ASSERT_TRUE(ResealVolume(volume));
    MakeSparseFile(target, kRichSourceBytes);
    testing::internal::CaptureStderr();
    const int result = Restore(volume, target);
    const std::string trace = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, ERR_DAMAGED_IMAGE);
    // The trace names the volume and where its stream ended.
    EXPECT_NE(trace.find("The directory stream of " + volume + " ends at offset "), std::string::npos)
        << trace;
    ExpectNoFileSystem(target);
    EXPECT_FALSE(FileExists(m_fakeChecker->marker()));
}

std::string ZeroedEntryName(const ::testing::TestParamInfo<ZeroedEntry>& info)
{
    static const char* const names[] = {"FirstSubdirectory", "DotOfTheLastSubdirectory",
                                        "DeepestLongNamePart"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Entries, Fat32ZeroedStreamByteTest,
                         ::testing::Values(ZeroedEntry::FirstSubdirectory,
                                           ZeroedEntry::DotOfTheLastSubdirectory,
                                           ZeroedEntry::DeepestLongNamePart),
                         ZeroedEntryName);

// Images of the engines before check records: only the stream's own checks
// can find a damaged one, and whole ones, split or not, still restore.
TEST_F(Fat32RestoreTest, ImagesWithoutChecksumsAreJudgedByTheirStream)
{
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("split"), 0, 100 * 1024), 0);
    for (int i = 0; FileExists(dir.file("split_" + std::to_string(i) + "_0.bkp")); ++i)
        ASSERT_TRUE(StripVolumeCheck(dir.file("split_" + std::to_string(i) + "_0.bkp")));
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);
    ASSERT_EQ(Restore(dir.file("split_0_0.bkp"), target), 0);
    ExpectSameAsSource(target);

    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img")), 0);
    const std::string volume = dir.file("img_0_0.bkp");
    ImageParts image = ReadImageParts(volume);
    size_t zeroed = SIZE_MAX;
    for (const StreamEntry& e : StreamEntries(image))
        if (Fat32::ClassifyEntry(e.entry) == Fat32::EntryKind::Directory && zeroed == SIZE_MAX)
            zeroed = e.offset;
    ASSERT_NE(zeroed, SIZE_MAX);
    image.bytes[zeroed] = 0;
    WriteFileBytes(volume, image.bytes);
    ASSERT_TRUE(StripVolumeCheck(volume));
    MakeSparseFile(target, kRichSourceBytes);
    EXPECT_EQ(Restore(volume, target), ERR_DAMAGED_IMAGE);
    ExpectNoFileSystem(target);
}

// The entry count the image records must agree with the stream read, in
// the image's last volume when it is split.
struct RecordCountCase {
    const char* name;
    uint64_t volumeSize;
    uint32_t recordCount;
};

class Fat32RecordCountTest : public Fat32RestoreTest,
                             public ::testing::WithParamInterface<RecordCountCase> {};

TEST_P(Fat32RecordCountTest, DisagreeingCountIsRefused)
{
    const RecordCountCase& c = GetParam();
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img"), 0, c.volumeSize), 0);
    std::string last = dir.file("img_0_0.bkp");
    for (int i = 2; FileExists(dir.file("img_" + std::to_string(i) + "_0.bkp")); ++i)
        last = dir.file("img_" + std::to_string(i) + "_0.bkp");
    ImageParts image = ReadImageParts(last);
    image.info.recordCount = c.recordCount;
    std::memcpy(&image.bytes[image.infoAt], &image.info, sizeof image.info);
    WriteFileBytes(last, image.bytes);
    ASSERT_TRUE(ResealVolume(last));

    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);
    EXPECT_EQ(Restore(dir.file("img_0_0.bkp"), target), ERR_DAMAGED_IMAGE);
    ExpectNoFileSystem(target);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Fat32RecordCountTest,
    ::testing::Values(RecordCountCase{"NoneCounted", ImageFormat::kNeverSplit, 0},
                      RecordCountCase{"FarTooMany", ImageFormat::kNeverSplit, 0xFFFFFFF0},
                      RecordCountCase{"NoneCountedInTheLastVolume", 100 * 1024, 0},
                      RecordCountCase{"FarTooManyInTheLastVolume", 100 * 1024, 0xFFFFFFF0}),
    [](const ::testing::TestParamInfo<RecordCountCase>& info) { return std::string(info.param.name); });

// The saved boot sector must describe the file system the partition record
// describes; a damaged one is refused before the target is written.
enum class BootDamage {
    SectorBytes,
    SectorsPerCluster,
    NoReservedSectors,
    NoFats,
    FatOfNoSectors,
    DataPastTheEnd
};

class Fat32StoredBootSectorTest : public Fat32RestoreTest,
                                  public ::testing::WithParamInterface<BootDamage> {};

TEST_P(Fat32StoredBootSectorTest, RefusedBeforeAnythingIsWritten)
{
    const std::string source = dir.file("sdx1");
    FatImage fat(source, kRichSourceBytes, 1, "", dir.file("scratch"));
    fat.AddFile("/A.TXT", PatternBytes(1000, 31));
    ASSERT_EQ(BackupFat32Image(source, dir.file("img")), 0);
    const std::string volume = dir.file("img_0_0.bkp");
    ImageParts image = ReadImageParts(volume);
    ASSERT_EQ(+image.info.sectorBytes, 512u);
    ASSERT_EQ(+image.info.clusterBytes, 512u);
    tagFat32BootSector boot;
    std::memcpy(&boot, &image.bytes[image.bootAreaAt], sizeof boot);
    switch (GetParam()) {
    case BootDamage::SectorBytes:
        boot.bytesPerSector = 1024;
        break;
    case BootDamage::SectorsPerCluster:
        boot.sectorsPerCluster = 8;
        break;
    case BootDamage::NoReservedSectors:
        boot.reservedSectors = 0;
        break;
    case BootDamage::NoFats:
        boot.numberOfFats = 0;
        break;
    case BootDamage::FatOfNoSectors:
        boot.fatSize32 = 0;
        break;
    case BootDamage::DataPastTheEnd:
        boot.fatSize32 = boot.totalSectors32;
        break;
    }
    std::memcpy(&image.bytes[image.bootAreaAt], &boot, sizeof boot);
    WriteFileBytes(volume, image.bytes);
    ASSERT_TRUE(ResealVolume(volume));

    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);
    EXPECT_EQ(Restore(volume, target), ERR_DAMAGED_IMAGE);
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_blocks, 0) << "the target was written";
}

std::string BootDamageName(const ::testing::TestParamInfo<BootDamage>& info)
{
    static const char* const names[] = {"SectorBytes", "SectorsPerCluster", "NoReservedSectors",
                                        "NoFats",      "FatOfNoSectors",    "DataPastTheEnd"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Damages, Fat32StoredBootSectorTest,
                         ::testing::Values(BootDamage::SectorBytes, BootDamage::SectorsPerCluster,
                                           BootDamage::NoReservedSectors, BootDamage::NoFats,
                                           BootDamage::FatOfNoSectors, BootDamage::DataPastTheEnd),
                         BootDamageName);

// A target that held a FAT32 of its own: mkfs.fat's layout, not the restore's.
std::string FormattedTarget(const TempDir& dir)
{
    const std::string target = dir.file("sdy1");
    FatImage old(target, kRichSourceBytes, 1, "OLDFS", dir.file("old-scratch"));
    old.AddFile("/OLD.TXT", PatternBytes(5000, 32));
    EXPECT_EQ(CheckFat(target).exitCode, 0);
    return target;
}

// Stopped early, a restore leaves no file system that looks whole: neither
// the old one over new data nor a new one half written.
TEST_F(Fat32RestoreTest, CancelledRestoreLeavesNoFileSystemThatLooksWhole)
{
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img")), 0);
    const std::string target = FormattedTarget(dir);
    RecordingCallbacks user;
    user.cancelAtStep = RecordingCallbacks::kCancelAtAnyStep;
    EXPECT_EQ(Restore(dir.file("img_0_0.bkp"), target, &user), ERR_CANCELLED);
    ExpectNoFileSystem(target);

    // Restored whole, the same target holds the source exactly.
    ASSERT_EQ(Restore(dir.file("img_0_0.bkp"), target), 0);
    ExpectSameAsSource(target);
}

// A damaged data set that the reading itself cannot notice is found by the
// volume's checksums; the target must not become a file system with it.
TEST_F(Fat32RestoreTest, DamagedDataNeverMakesTheTargetAFileSystem)
{
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img")), 0);
    const std::string volume = dir.file("img_0_0.bkp");
    ImageParts image = ReadImageParts(volume);
    size_t dataAt = SIZE_MAX;
    for (const StreamEntry& e : StreamEntries(image))
        if (Fat32::ClassifyEntry(e.entry) == Fat32::EntryKind::File && Fat32::HasDataSet(e.entry) &&
            e.entry.fileSize > 100)
            dataAt = e.offset + 32 + sizeof(tagDATA_SET_HEAD) + 50;
    ASSERT_NE(dataAt, SIZE_MAX);
    image.bytes[dataAt] ^= 0x5A;
    WriteFileBytes(volume, image.bytes);

    const std::string target = FormattedTarget(dir);
    EXPECT_EQ(Restore(volume, target), ERR_DAMAGED_IMAGE);
    ExpectNoFileSystem(target);
}

// dosfsck takes a file of 4 GiB - 1 bytes, whose chain holds 2^32 bytes, for
// one with no clusters: asked to mend, it would empty the file.
TEST(Fat32CheckTest, LeavesTheTargetAsItIsAndReportsItsVerdict)
{
    if (!HaveProgram("mkfs.fat") || !HaveProgram("dosfsck"))
        SKIP_OR_FAIL_IN_CI("dosfstools are not installed");
    TempDir dir;
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, 5 * kGiB);
    const CommandResult made = testsupport::Run("mkfs.fat -F 32 -s 64 " + Quote(target));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_EQ(CPartFatRestore::CheckPartition(target), 0) << "a fresh file system is whole";

    const auto boot = ReadFileHead(target, 512);
    const uint32_t clusterBytes = uint32_t(Le16(boot, 11)) * boot[13];
    const uint64_t fatPos = uint64_t(Le16(boot, 14)) * Le16(boot, 11);
    const uint64_t fatBytes = uint64_t(Le32(boot, 36)) * Le16(boot, 11);
    const uint64_t dataPos = fatPos + boot[16] * fatBytes;
    const uint32_t size = 0xFFFFFFFF;
    const uint32_t clusters = static_cast<uint32_t>((uint64_t(size) + clusterBytes - 1) / clusterBytes);
    const uint32_t first = 3;
    std::vector<uint8_t> chain;
    for (uint32_t i = 0; i < clusters; ++i) {
        const uint32_t next = i + 1 < clusters ? first + i + 1 : Fat32::kEndOfChain;
        for (int b = 0; b < 4; ++b)
            chain.push_back(uint8_t(next >> (8 * b)));
    }
    for (int fat = 0; fat < boot[16]; ++fat)
        WriteFileAt(target, fatPos + fat * fatBytes + first * 4, chain);
    tagFatDirEntry entry{};
    std::memcpy(entry.name, "BIG     ", 8);
    std::memcpy(entry.ext, "BIN", 3);
    entry.attributes = Fat32::kAttrArchive;
    entry.SetFirstCluster(first);
    entry.fileSize = size;
    std::vector<uint8_t> bytes(sizeof entry);
    std::memcpy(bytes.data(), &entry, sizeof entry);
    WriteFileAt(target, dataPos, bytes);

    const auto before = ReadFileHead(target, static_cast<size_t>(dataPos + clusterBytes));
    EXPECT_EQ(CPartFatRestore::CheckPartition(target), ERR_FS_CHECK);
    EXPECT_TRUE(ReadFileHead(target, before.size()) == before) << "the checker changed the target";
}

// The checker only judges: a fault it finds is the restore's result, the
// target stays as the restore wrote it; a missing checker is only traced,
// and its child never goes on with the restore.
enum class Checker { Fake, Missing, Real };

struct CheckerCase {
    const char* name;
    Checker checker;
    int exitCode;
    int expected;
};

class Fat32CheckerTest : public Fat32RestoreTest, public ::testing::WithParamInterface<CheckerCase> {};

TEST_P(Fat32CheckerTest, VerdictReachesTheCaller)
{
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img")), 0);
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);

    m_fakeChecker.reset();
    const std::string oldPath = getenv("PATH");
    std::unique_ptr<FakeDosfsckOnPath> checker;
    if (GetParam().checker == Checker::Fake)
        checker.reset(new FakeDosfsckOnPath(dir.file("checker"), GetParam().exitCode));
    else if (GetParam().checker == Checker::Missing)
        setenv("PATH", dir.path().c_str(), 1);  // holds no dosfsck
    else if (!HaveProgram("dosfsck"))
        SKIP_OR_FAIL_IN_CI("dosfsck is not installed");
    const pid_t self = getpid();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int result = Restore(dir.file("img_0_0.bkp"), target);
    if (getpid() != self) {
        // A child that went on with the restore: leave a trace and vanish.
        WriteFileBytes(dir.file("child-went-on"), {1});
        _exit(0);
    }
    const std::string trace = testing::internal::GetCapturedStderr();
    const std::string standardOutput = testing::internal::GetCapturedStdout();
    setenv("PATH", oldPath.c_str(), 1);
    const bool ran = checker != nullptr && FileExists(checker->marker());
    checker.reset();
    EXPECT_EQ(result, GetParam().expected);
    EXPECT_FALSE(FileExists(dir.file("child-went-on")));
    // The checker's output and verdict go to the trace, nothing to standard output.
    EXPECT_EQ(standardOutput, "");
    if (GetParam().checker == Checker::Fake) {
        EXPECT_TRUE(ran);
        EXPECT_NE(trace.find(FakeDosfsckOnPath::kStdoutLine), std::string::npos) << trace;
        EXPECT_NE(trace.find(FakeDosfsckOnPath::kStderrLine), std::string::npos) << trace;
        EXPECT_NE(trace.find("dosfsck exit status " + std::to_string(GetParam().exitCode) + "\n"),
                  std::string::npos)
            << trace;
    } else if (GetParam().checker == Checker::Missing) {
        EXPECT_NE(trace.find("dosfsck failed!"), std::string::npos) << trace;
    } else {
        EXPECT_NE(trace.find("dosfsck exit status 0\n"), std::string::npos) << trace;
    }
    ExpectCleanFat(target);
}

INSTANTIATE_TEST_SUITE_P(Cases, Fat32CheckerTest,
                         ::testing::Values(CheckerCase{"Fails", Checker::Fake, 4, ERR_FS_CHECK},
                                           CheckerCase{"FindsFaults", Checker::Fake, 1, ERR_FS_CHECK},
                                           CheckerCase{"Missing", Checker::Missing, 0, 0},
                                           CheckerCase{"Real", Checker::Real, 0, 0}),
                         [](const ::testing::TestParamInfo<CheckerCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Fat32RestoreTest, CancelledAtTheFirstStep)
{
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img")), 0);
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);
    tagRestoreArgument arg;
    arg.imagePath = dir.file("img_0_0.bkp");
    arg.targetPartition = target;
    RecordingCallbacks user;
    user.cancelAtStep = RecordingCallbacks::kCancelAtAnyStep;
    EXPECT_EQ(restore_fat32(arg, user.Bind()), ERR_CANCELLED);
    // A restore that failed is not checked.
    EXPECT_FALSE(FileExists(m_fakeChecker->marker()));
    EXPECT_EQ(std::count(user.states.begin(), user.states.end(), "Checking partition ... "), 0);
}

TEST_F(Fat32RestoreTest, DiskBootCodeIsWrittenWhenAsked)
{
    const std::string disk = dir.file("sdx");
    const auto mbr = PatternBytes(512, 19);
    WriteFileBytes(disk, mbr);
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img"), 0, ImageFormat::kNeverSplit, std::string(), disk),
              0);

    const std::string targetDisk = dir.file("sdy");
    auto before = PatternBytes(4096, 20);
    ListPartition(&before, 1, 2048, kRichSourceBytes);
    WriteFileBytes(targetDisk, before);
    const std::string target = dir.file("sdy1");
    MakeSparseFile(target, kRichSourceBytes);
    ASSERT_EQ(Restore(dir.file("img_0_0.bkp"), target, nullptr, 1), 0);
    const auto after = ReadFileBytes(targetDisk);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 440, mbr.begin()));
    EXPECT_TRUE(std::equal(after.begin() + 440, after.end(), before.begin() + 440));
    ExpectCleanFat(target);

    // Without the flag the disk stays as it was.
    WriteFileBytes(targetDisk, before);
    ASSERT_EQ(Restore(dir.file("img_0_0.bkp"), target, nullptr, 0), 0);
    EXPECT_TRUE(ReadFileBytes(targetDisk) == before);
}

TEST_F(Fat32RestoreTest, DiskBootCodeNeverLandsOnATargetThatNamesNoPartition)
{
    const std::string disk = dir.file("sdx");
    const auto mbr = PatternBytes(512, 21);
    WriteFileBytes(disk, mbr);
    ASSERT_EQ(BackupFat32Image(s_source, dir.file("img"), 0, ImageFormat::kNeverSplit, std::string(), disk),
              0);

    // Without a partition number no disk is known to hold the target: the
    // boot code asked for has nowhere to go, and nothing is written.
    const std::string target = dir.file("volume");
    MakeSparseFile(target, kRichSourceBytes);
    const auto before = ReadFileBytes(target);
    ASSERT_EQ(Restore(dir.file("img_0_0.bkp"), target, nullptr, 1), ERR_NO_DISK);
    EXPECT_TRUE(ReadFileBytes(target) == before) << "the target was written";
}

}  // namespace
