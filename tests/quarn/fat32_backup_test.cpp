// The FAT32 backup's directory stream, judged against sources made with
// mkfs.fat and mtools, and its refusal of damaged sources.
#include "fslayout/fat32_layout.h"
#include "support/fat_fixture.h"
#include "support/fat_jobs.h"
#include "quarn/api/image_format.h"
#include "quarn/api/quarn.h"
#include "support/recording_callbacks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <map>

using namespace testsupport;

namespace {

template <typename T>
T Record(const std::vector<uint8_t>& bytes, size_t offset)
{
    T record;
    EXPECT_LE(offset + sizeof record, bytes.size());
    std::memcpy(&record, bytes.data() + offset, sizeof record);
    return record;
}

struct VolumeRecords {
    tagBLOCK_END end{};
    tagPARTITION_INFO info{};
    std::string ownName;   // the file name stored behind the partition info
    std::string nextName;  // name 2 of the trailer
    uint64_t blkStart = 0;
    uint64_t dataEnd = 0;  // where the check record before blkStart begins
};

VolumeRecords ReadVolumeRecords(const std::vector<uint8_t>& volume)
{
    VolumeRecords r;
    r.end = Record<tagBLOCK_END>(volume, volume.size() - sizeof(tagBLOCK_END));
    EXPECT_EQ(+r.end.magic, ImageFormat::kBlockEndMagic);
    r.nextName.assign(reinterpret_cast<const char*>(volume.data()) + volume.size() - sizeof(tagBLOCK_END) -
                          r.end.nextNameSize,
                      r.end.nextNameSize);
    r.blkStart = r.end.blkStartLow | (uint64_t(r.end.blkStartHigh) << 32);
    const auto tail = Record<tagVOLUME_CHECK_TAIL>(volume, r.blkStart - sizeof(tagVOLUME_CHECK_TAIL));
    EXPECT_EQ(+tail.magic, ImageFormat::kVolumeCheckMagic);
    r.dataEnd = r.blkStart - tail.recordBytes;
    const auto start = Record<tagBLOCK_START>(volume, r.blkStart);
    EXPECT_EQ(+start.magic, ImageFormat::kBlockStartMagic);
    EXPECT_EQ(+start.mftBitmapSize, 0u);
    r.info = Record<tagPARTITION_INFO>(volume, r.blkStart + sizeof(tagBLOCK_START));
    EXPECT_EQ(+r.info.magic, ImageFormat::kPartitionInfoMagic);
    const size_t nameAt = r.blkStart + sizeof(tagBLOCK_START) + sizeof(tagPARTITION_INFO) + r.info.mbrSize +
                          r.info.bootAreaSize + r.info.passwordHashSize + r.info.descriptionSize;
    r.ownName.assign(reinterpret_cast<const char*>(volume.data()) + nameAt, r.info.fileNameSize);
    return r;
}

// Names that fit 8.3 are stored as short names only (mtools keeps their
// case in a flag byte that names shown from the short entry ignore).
std::string Key(std::string name)
{
    for (char& c : name)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return name;
}

// The directory stream of a one-volume image, read back by its own rules.
struct ParsedStream {
    std::map<std::string, std::vector<uint8_t>> plainData;  // by display name (uncompressed images)
    std::map<std::string, tagDATA_SET_HEAD> heads;
    std::map<std::string, tagFatDirEntry> entries;
    uint32_t counted = 0;
    int directoriesEnded = 0;
    bool ok = true;
};

ParsedStream ParseStream(const std::vector<uint8_t>& volume, const VolumeRecords& records)
{
    ParsedStream s;
    size_t pos = records.info.dataSectionPos;
    Fat32::LongNameBuffer longName;
    int depth = 1;
    while (depth > 0) {
        if (pos + 32 > records.dataEnd) {
            s.ok = false;
            return s;
        }
        const auto entry = Record<tagFatDirEntry>(volume, pos);
        pos += 32;
        switch (Fat32::ClassifyEntry(entry)) {
        case Fat32::EntryKind::End: {
            --depth;
            ++s.directoriesEnded;
            // Only the mark written at the end of a cluster chain is counted;
            // the image cannot tell the two apart, so count none here.
            break;
        }
        case Fat32::EntryKind::LongName: {
            tagFatLongNameEntry part;
            std::memcpy(&part, &entry, sizeof part);
            longName.Add(part);
            ++s.counted;
            break;
        }
        case Fat32::EntryKind::Directory:
            ++depth;
            longName.Clear();
            ++s.counted;
            break;
        case Fat32::EntryKind::File: {
            const std::string name = Key(Fat32::DisplayName(longName, entry));
            longName.Clear();
            s.entries[name] = entry;
            if (Fat32::IsPageFile(entry))
                ++s.counted;
            if (!Fat32::HasDataSet(entry))
                break;
            ++s.counted;
            const auto head = Record<tagDATA_SET_HEAD>(volume, pos);
            pos += sizeof head;
            s.heads[name] = head;
            if (pos + head.dataBytes > records.dataEnd || head.continued != 0) {
                s.ok = false;
                return s;
            }
            s.plainData[name].assign(volume.begin() + static_cast<long>(pos),
                                     volume.begin() + static_cast<long>(pos + head.dataBytes));
            pos += head.dataBytes;
            break;
        }
        default:
            ++s.counted;
            break;
        }
    }
    s.ok = pos == records.dataEnd;
    if (!s.ok)
        ADD_FAILURE() << "the stream ends at " << pos << ", its records begin at " << records.dataEnd;
    return s;
}

std::string BaseName(const std::string& path)
{
    return Key(path.substr(path.find_last_of('/') + 1));
}

class Fat32BackupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveProgram("mkfs.fat"))
            SKIP_OR_FAIL_IN_CI("mkfs.fat is not installed");
        if (!HaveProgram("mcopy"))
            SKIP_OR_FAIL_IN_CI("mcopy is not installed");
    }
    // A backup request of the standard source, built as "sdz1", into "img".
    tagBackupArgument RichSourceRequest()
    {
        tagBackupArgument arg;
        arg.srcPartition = dir.file("sdz1");
        arg.imagePath = dir.file("img");
        arg.fsType = FS_TYPE_FAT32;
        BuildRichFatSource(arg.srcPartition, dir.file("scratch"));
        return arg;
    }
    TempDir dir;
};

TEST_F(Fat32BackupTest, StreamHoldsEveryEntryAndEachFilesBytes)
{
    const std::string source = dir.file("sdz1");
    const FatSourceContent content = BuildRichFatSource(source, dir.file("scratch"));
    ASSERT_EQ(BackupFat32Image(source, dir.file("img")), 0);

    const auto volume = ReadFileBytes(dir.file("img_0_0.bkp"));
    const VolumeRecords records = ReadVolumeRecords(volume);
    EXPECT_EQ(+records.end.volumeIndex, 0);
    EXPECT_EQ(+records.end.singleVolume, 1);
    EXPECT_EQ(+records.end.fsType, FS_TYPE_FAT32);
    EXPECT_EQ(+records.end.nextNameSize, 0);
    EXPECT_EQ(+records.info.bootAreaSize, ImageFormat::kFat32BootAreaBytes);
    EXPECT_EQ(+records.info.clusterBytes, 512u);
    EXPECT_EQ(+records.info.partitionBytes, kRichSourceBytes);
    EXPECT_EQ(records.ownName, "img_0_0.bkp");
    // The boot area blob is the source's first 16 KiB.
    const size_t bootAt = records.blkStart + sizeof(tagBLOCK_START) + sizeof(tagPARTITION_INFO);
    EXPECT_TRUE(std::equal(volume.begin() + static_cast<long>(bootAt),
                           volume.begin() + static_cast<long>(bootAt + 0x4000),
                           ReadFileHead(source, 0x4000).begin()));

    const ParsedStream stream = ParseStream(volume, records);
    ASSERT_TRUE(stream.ok);
    // The root and its six subdirectories each end with one zero entry.
    EXPECT_EQ(stream.directoriesEnded, 7);
    // FULLDIR's only cluster is full, so its zero entry comes from the end
    // of its chain and is counted; the other directories end at a zero entry.
    EXPECT_EQ(+records.info.recordCount, stream.counted + 1);

    for (const auto& file : content.files) {
        const std::string name = BaseName(file.first);
        ASSERT_TRUE(stream.entries.count(name)) << name;
        const tagFatDirEntry& entry = stream.entries.at(name);
        EXPECT_EQ(+entry.fileSize, file.second.size()) << name;
        if (name == "PAGEFILE.SYS") {
            EXPECT_EQ(+entry.FirstCluster(), 0u);
            EXPECT_FALSE(stream.plainData.count(name));
        } else if (file.second.empty()) {
            EXPECT_FALSE(stream.plainData.count(name)) << name;
        } else {
            ASSERT_TRUE(stream.plainData.count(name)) << name;
            EXPECT_TRUE(stream.plainData.at(name) == file.second) << name;
        }
    }
}

TEST_F(Fat32BackupTest, StoredRawFollowsTheExtension)
{
    const std::string source = dir.file("sdz1");
    BuildRichFatSource(source, dir.file("scratch"));
    ASSERT_EQ(BackupFat32Image(source, dir.file("img"), 0), 0);
    const auto volume = ReadFileBytes(dir.file("img_0_0.bkp"));
    const ParsedStream stream = ParseStream(volume, ReadVolumeRecords(volume));
    ASSERT_TRUE(stream.ok);
    EXPECT_EQ(+stream.heads.at(Key("movie clip.mkv")).storedRaw, 1);
    EXPECT_EQ(+stream.heads.at(Key("archive.tar.gz")).storedRaw, 1);
    EXPECT_EQ(+stream.heads.at(Key("README")).storedRaw, 0);
    EXPECT_EQ(+stream.heads.at(Key("random.bin")).storedRaw, 0);
}

TEST_F(Fat32BackupTest, EverySplitVolumeEndsWithItsOwnRecords)
{
    const std::string source = dir.file("sdz1");
    BuildRichFatSource(source, dir.file("scratch"));
    ASSERT_EQ(BackupFat32Image(source, dir.file("whole")), 0);
    const uint32_t wholeCount = ReadVolumeRecords(ReadFileBytes(dir.file("whole_0_0.bkp"))).info.recordCount;

    ASSERT_EQ(BackupFat32Image(source, dir.file("img"), 0, 96 * 1024), 0);
    unsigned index = 0;
    uint32_t lastCount = 0;
    uint64_t firstDataSection = 0;
    for (;; ++index) {
        const std::string name = "img_" + std::to_string(index) + "_0.bkp";
        ASSERT_TRUE(FileExists(dir.file(name))) << name;
        const VolumeRecords r = ReadVolumeRecords(ReadFileBytes(dir.file(name)));
        EXPECT_EQ(+r.end.volumeIndex, index);
        EXPECT_EQ(+r.end.singleVolume, 0);
        EXPECT_NE(+r.blkStart, 0u);
        EXPECT_EQ(r.ownName, name);
        EXPECT_GE(+r.info.recordCount, lastCount);
        if (index == 0)
            firstDataSection = r.info.dataSectionPos;
        EXPECT_EQ(+r.info.dataSectionPos, firstDataSection);
        lastCount = r.info.recordCount;
        if (r.end.nextNameSize == 0)
            break;
        EXPECT_EQ(r.nextName, "img_" + std::to_string(index + 1) + "_0.bkp");
    }
    EXPECT_GE(index, 3u);
    EXPECT_EQ(lastCount, wholeCount);
    // A later volume starts inside a data set, with its head.
    const auto second = ReadFileBytes(dir.file("img_1_0.bkp"));
    const auto head = Record<tagDATA_SET_HEAD>(second, 0);
    EXPECT_LE(sizeof head + +head.dataBytes, ReadVolumeRecords(second).dataEnd);
}

TEST_F(Fat32BackupTest, IncrementalRequestTakesTheNextGenerationOfTheChain)
{
    const std::string source = dir.file("sdz1");
    FatImage image(source, kRichSourceBytes, 1, "", dir.file("scratch"));
    image.AddFile("/A.TXT", PatternBytes(1000, 9));
    ASSERT_EQ(BackupFat32Image(source, dir.file("img")), 0);
    ASSERT_EQ(BackupFat32Image(source, dir.file("img"), 0, ImageFormat::kNeverSplit, dir.file("img_0_0.bkp")),
              0);
    const auto full = ReadVolumeRecords(ReadFileBytes(dir.file("img_0_0.bkp")));
    const auto incremental = ReadVolumeRecords(ReadFileBytes(dir.file("img_0_1.bkp")));
    EXPECT_EQ(+incremental.end.generation, 1);
    EXPECT_EQ(+incremental.end.chainId, +full.end.chainId);
    EXPECT_EQ(+incremental.info.recordCount, +full.info.recordCount);

    EXPECT_EQ(
        BackupFat32Image(source, dir.file("other"), 0, ImageFormat::kNeverSplit, dir.file("missing_0_0.bkp")),
        ERR_FILE_NOT_FOUND);
    EXPECT_FALSE(FileExists(dir.file("other_0_1.bkp")));
}

// Damaged sources: each must end the job with a result code, never loop.
struct Fat32Geometry {
    uint64_t fatPos;
    uint64_t dataPos;
    uint32_t clusterBytes;
    uint64_t ClusterPos(uint32_t cluster) const { return dataPos + uint64_t(cluster - 2) * clusterBytes; }
};

Fat32Geometry ReadGeometry(const std::string& image)
{
    const auto boot = ReadFileHead(image, 512);
    Fat32Geometry g;
    const uint32_t sector = Le16(boot, 11);
    g.clusterBytes = sector * boot[13];
    g.fatPos = uint64_t(Le16(boot, 14)) * sector;
    g.dataPos = g.fatPos + uint64_t(Le32(boot, 36)) * sector * boot[16];
    return g;
}

// Position of the short entry named `name11` in the first cluster of a directory.
uint64_t FindEntry(const std::string& image, const Fat32Geometry& g, uint32_t dirCluster, const char* name11)
{
    const uint64_t at = g.ClusterPos(dirCluster);
    const auto bytes = ReadFileHead(image, g.clusterBytes, at);
    for (size_t i = 0; i + 32 <= bytes.size(); i += 32)
        if (std::memcmp(bytes.data() + i, name11, 11) == 0)
            return at + i;
    ADD_FAILURE() << "no entry " << name11;
    return 0;
}

uint32_t StartCluster(const std::string& image, uint64_t entryPos)
{
    const auto e = ReadFileHead(image, 32, entryPos);
    return (uint32_t(Le16(e, 20)) << 16) | Le16(e, 26);
}

void SetFat(const std::string& image, const Fat32Geometry& g, uint32_t cluster, uint32_t value)
{
    const std::vector<uint8_t> v{uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                                 uint8_t(value >> 24)};
    WriteFileAt(image, g.fatPos + uint64_t(cluster) * 4, v);
}

void SetStartCluster(const std::string& image, uint64_t entryPos, uint32_t cluster)
{
    WriteFileAt(image, entryPos + 20, {uint8_t(cluster >> 16), uint8_t(cluster >> 24)});
    WriteFileAt(image, entryPos + 26, {uint8_t(cluster), uint8_t(cluster >> 8)});
}

enum class Damage {
    DirectoryChainLoops,
    SubdirectoryIsAncestor,
    SubdirectoryIsRoot,
    FileChainEndsEarly,
    // A file's chain that leads back into itself would be read as its size
    // in copies of the same clusters: refused as a looping folder is.
    FileChainLoops,
    FileChainLoopsOnItself,
    NoBootSector
};

class Fat32DamagedSourceTest : public ::testing::TestWithParam<Damage> {
protected:
    TempDir dir;
};

TEST_P(Fat32DamagedSourceTest, EndsWithACode)
{
    if (!HaveProgram("mkfs.fat"))
        SKIP_OR_FAIL_IN_CI("mkfs.fat is not installed");
    if (!HaveProgram("mcopy"))
        SKIP_OR_FAIL_IN_CI("mcopy is not installed");
    const std::string source = dir.file("sdz1");
    FatImage image(source, kRichSourceBytes, 1, "", dir.file("scratch"));
    image.MakeDir("/OUTER");
    image.MakeDir("/OUTER/INNER");
    image.AddFile("/OUTER/INNER/DATA.BIN", PatternBytes(2000, 7));
    const Fat32Geometry g = ReadGeometry(source);
    const uint32_t outer = StartCluster(source, FindEntry(source, g, 2, "OUTER      "));
    const uint64_t innerEntry = FindEntry(source, g, outer, "INNER      ");
    const uint32_t inner = StartCluster(source, innerEntry);

    int expected = ERR_PART_INFO;
    switch (GetParam()) {
    case Damage::DirectoryChainLoops: {
        // Deleted entries fill the rest of the cluster, so the walk goes on
        // along the chain, which leads back to the same cluster.
        std::vector<uint8_t> deleted(g.clusterBytes - 3 * 32, 0);
        for (size_t i = 0; i < deleted.size(); i += 32)
            deleted[i] = 0xE5;
        WriteFileAt(source, g.ClusterPos(inner) + 3 * 32, deleted);
        SetFat(source, g, inner, inner);
        break;
    }
    case Damage::SubdirectoryIsAncestor:
        SetStartCluster(source, innerEntry, outer);
        break;
    case Damage::SubdirectoryIsRoot:
        SetStartCluster(source, innerEntry, 2);
        break;
    case Damage::FileChainEndsEarly: {
        const uint32_t data = StartCluster(source, FindEntry(source, g, inner, "DATA    BIN"));
        SetFat(source, g, data + 1, Fat32::kEndOfChain);
        break;
    }
    case Damage::FileChainLoops: {
        const uint64_t entry = FindEntry(source, g, inner, "DATA    BIN");
        const uint32_t data = StartCluster(source, entry);
        SetFat(source, g, data + 3, data);
        const uint32_t size = 20u << 20;
        WriteFileAt(source, entry + 28,
                    {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)});
        break;
    }
    case Damage::FileChainLoopsOnItself: {
        const uint32_t data = StartCluster(source, FindEntry(source, g, inner, "DATA    BIN"));
        SetFat(source, g, data + 1, data + 1);
        break;
    }
    case Damage::NoBootSector:
        WriteFileAt(source, 0, std::vector<uint8_t>(512, 0));
        break;
    }
    EXPECT_EQ(BackupFat32Image(source, dir.file("img")), expected);
}

std::string DamageName(const ::testing::TestParamInfo<Damage>& info)
{
    static const char* const names[] = {
        "DirectoryChainLoops", "SubdirectoryIsAncestor", "SubdirectoryIsRoot", "FileChainEndsEarly",
        "FileChainLoops",      "FileChainLoopsOnItself", "NoBootSector"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Damages, Fat32DamagedSourceTest,
                         ::testing::Values(Damage::DirectoryChainLoops, Damage::SubdirectoryIsAncestor,
                                           Damage::SubdirectoryIsRoot, Damage::FileChainEndsEarly,
                                           Damage::FileChainLoops, Damage::FileChainLoopsOnItself,
                                           Damage::NoBootSector),
                         DamageName);

}  // namespace

namespace {

TEST_F(Fat32BackupTest, FilesAreShownByTheirOwnNames)
{
    const tagBackupArgument arg = RichSourceRequest();
    RecordingCallbacks log;
    ASSERT_EQ(backup_fat32(arg, log.Bind(), nullptr, 0), 0);
    auto shown = [&](const QString& name) {
        return std::find(log.names.begin(), log.names.end(), name) != log.names.end();
    };
    // README follows subdirectories with long names in the root.
    EXPECT_TRUE(shown(QStringLiteral("README")));
    EXPECT_TRUE(shown(QString::fromUtf8("Grüße aus Köln – ünïcödé.txt")));
    EXPECT_TRUE(shown(QString::fromUtf8("日本語のファイル名.txt")));
    EXPECT_TRUE(shown(QStringLiteral("A rather long file name that needs several entries.doc")));
    EXPECT_FALSE(shown(QStringLiteral("Many files here")));
}

TEST_F(Fat32BackupTest, CancelledAtTheFirstStep)
{
    const tagBackupArgument arg = RichSourceRequest();
    RecordingCallbacks user;
    user.cancelAtStep = RecordingCallbacks::kCancelAtAnyStep;
    EXPECT_EQ(backup_fat32(arg, user.Bind(), nullptr, 0), ERR_CANCELLED);
}

}  // namespace

// A source that cannot be read is the partition's fault (33), never the
// image's (17): the caller tells "image damaged" from "source unreadable".
TEST(Fat32BackupCodes, ASourceShorterThanItsBootSectorIsAReadFailureOfThePartition)
{
    TempDir dir;
    const std::string source = dir.file("sdz1");
    WriteFileBytes(source, PatternBytes(100, 3));
    testing::internal::CaptureStderr();
    EXPECT_EQ(BackupFat32Image(source, dir.file("img")), ERR_READ_PART);
    testing::internal::GetCapturedStderr();
}
