// Full NTFS backups judged against ntfs-3g's own view of the source
// (ntfscat of the MFT, its bitmap and every file), with each compression
// type, split and unsplit; progress and cancellation.
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_image_reader.h"
#include "support/ntfs_jobs.h"
#include "fslayout/ntfs_layout.h"
#include "support/ntfs_suite.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"
#include "usedspace/usedspace.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace testsupport;

namespace {

// A record as the incremental change test sees it: the log sequence number
// (offset 8), the update sequence number and the access times of
// $STANDARD_INFORMATION (0x10, value offset 24) and $FILE_NAME (0x30, value
// offset 32) put to zero, walked here by the on-disk layout alone.
QByteArray ContentOnly(QByteArray record)
{
    auto u16 = [&](int at) { return int(uint8_t(record[at])) | int(uint8_t(record[at + 1])) << 8; };
    auto u32 = [&](int at) { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; };
    auto zero = [&](int at, int length) {
        for (int k = at; k < at + length && k < record.size(); ++k)
            record[k] = 0;
    };
    zero(8, 8);
    zero(u16(4), 2);
    for (int at = u16(20); at + 24 <= record.size();) {
        const uint32_t type = u32(at);
        const uint32_t length = u32(at + 4);
        if (type == 0xFFFFFFFF || length < 24 || at + int(length) > record.size())
            break;
        const bool resident = record.at(at + 8) == char(0);
        const int value = at + u16(at + 20);
        if (resident && type == 0x10 && u32(at + 16) >= 32)
            zero(value + 24, 8);
        if (resident && type == 0x30 && u32(at + 16) >= 40)
            zero(value + 32, 8);
        at += int(length);
    }
    return record;
}

struct ProgressLog {
    int lastStep = 0;
    int cancelAt = 0;
    uint64_t total = 0;
    uint64_t bytesDone = 0;
    std::vector<std::string> states;
    std::vector<std::string> names;
};

tagCallBackFunc LoggingCallbacks(ProgressLog* log)
{
    tagCallBackFunc cb;
    cb.context = log;
    cb.onProgress = [](int step, void* c) {
        auto* l = static_cast<ProgressLog*>(c);
        l->lastStep = step;
        return l->cancelAt != 0 && step >= l->cancelAt ? 1 : 0;
    };
    cb.onTotalBytes = [](uint64_t total, void* c) { static_cast<ProgressLog*>(c)->total = total; };
    cb.onBytesDone = [](uint64_t bytes, void* c) { static_cast<ProgressLog*>(c)->bytesDone += bytes; };
    cb.onState = [](QString s, void* c) { static_cast<ProgressLog*>(c)->states.push_back(s.toStdString()); };
    cb.onName = [](QString s, void* c) { static_cast<ProgressLog*>(c)->names.push_back(s.toStdString()); };
    return cb;
}

int Backup(const std::string& source, const std::string& base, int compressType = 0,
           uint64_t volumeSize = ImageFormat::kNeverSplit, ProgressLog* log = nullptr)
{
    ProgressLog ignored;
    return BackupNtfsImage(source, base, compressType, volumeSize, std::string(),
                           LoggingCallbacks(log != nullptr ? log : &ignored));
}

std::vector<uint8_t> FileHead(const std::string& path, size_t bytes)
{
    std::vector<uint8_t> head(bytes);
    FILE* f = std::fopen(path.c_str(), "rb");
    size_t got = f != nullptr ? std::fread(head.data(), 1, bytes, f) : 0;
    if (f != nullptr)
        std::fclose(f);
    head.resize(got);
    return head;
}

std::vector<uint8_t> Cat(const std::string& part, const std::string& args)
{
    TempDir dir;
    CommandResult r = Run("ntfscat " + args + " " + Quote(part) + " > " + Quote(dir.file("out")));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return ReadFileBytes(dir.file("out"));
}

// The file set of the main fixture: names of several kinds, sizes from
// empty to tens of MiB, a sparse file, a page file and stored-raw extensions.
std::vector<NtfsFileSpec> RichFileSet()
{
    std::vector<NtfsFileSpec> files;
    auto add = [&](const std::string& path, size_t size, uint32_t seed) {
        NtfsFileSpec f;
        f.path = path;
        f.data = PatternBytes(size, seed);
        files.push_back(f);
    };
    add("tiny.txt", 5, 1);
    add("empty.bin", 0, 2);
    add("resident.dat", 400, 3);
    add("one cluster.dat", 4000, 4);
    add("docs/deeper/nested/leaf.txt", 70000, 5);
    add(std::string("docs/\xC3\xA4rger \xE6\x96\x87\xE4\xBB\xB6 long name with spaces and more.txt"), 12345,
        6);
    add("media/MOVIE.MKV", 300000, 7);
    add("media/archive.tar.gz", 150000, 8);
    add("big/compressible.log", 3 << 20, 0);
    files.back().data.assign(files.back().data.size(), 'a');
    add("big/random.bin", 2 << 20, 9);
    add("big/large.bin", 20 << 20, 12);
    add("pagefile.sys", 1 << 20, 10);
    NtfsFileSpec sparse;
    sparse.path = "sparse.img";
    sparse.data = PatternBytes(10000, 11);
    sparse.sparseSize = 128 << 10;
    files.push_back(sparse);
    NtfsFileSpec dir;
    dir.path = "empty dir";
    dir.directory = true;
    files.push_back(dir);
    return files;
}

class NtfsBackupTest : public NtfsSuiteTest<NtfsBackupTest> {
public:
    static bool Build(const std::string& part, const std::string& dir, std::string* log)
    {
        return MakeNtfsPartition(part, 64 << 20, log) && FillNtfsPartition(part, dir, RichFileSet(), log);
    }

protected:
    // Checks an image against ntfs-3g's view of the source partition.
    void ExpectImageMatchesSource(const NtfsImage& image)
    {
        const uint32_t clusterBytes = image.info.clusterBytes;
        ASSERT_EQ(clusterBytes, 4096u);
        // The MFT: every record is in the stream, byte for byte.
        std::vector<uint8_t> mft = Cat(Partition(), "-i 0");
        // A fresh volume's MFT is one run at the boot sector's LCN.
        std::vector<uint8_t> partition = FileHead(Partition(), 8 << 20);
        uint64_t mftLcn;
        std::memcpy(&mftLcn, partition.data() + 48, 8);
        const size_t mftOffset = size_t(mftLcn) * clusterBytes;
        ASSERT_LE(mftOffset + mft.size(), partition.size());
        ASSERT_EQ(+image.info.recordCount, image.summaries.size());
        ASSERT_EQ(image.records.size(), +image.info.recordCount);
        // Records past the MFT's data size (but within its allocation) are
        // never in use; ntfscat does not print them.
        for (uint32_t i = 0; i < image.records.size(); ++i) {
            ASSERT_EQ(image.records[i].number, i);
            if (size_t(i) * 1024 >= mft.size()) {
                EXPECT_FALSE(image.InUse(i));
                continue;
            }
            // Stored as on the partition; ntfscat shows records with their
            // update sequence undone.
            ASSERT_EQ(0, std::memcmp(image.records[i].raw.data(),
                                     partition.data() + mftOffset + size_t(i) * 1024, 1024))
                << "record " << i;
            std::vector<uint8_t> fixed = image.records[i].raw;
            if (std::memcmp(fixed.data(), "FILE", 4) == 0) {
                ASSERT_TRUE(Ntfs::RemoveFixup(fixed.data(), 1024)) << "record " << i;
            }
            ASSERT_EQ(0, std::memcmp(fixed.data(), mft.data() + size_t(i) * 1024, 1024)) << "record " << i;
            bool inUse = image.InUse(i) && std::memcmp(mft.data() + size_t(i) * 1024, "FILE", 4) == 0;
            bool zeroSummary = true;
            const auto* bytes = reinterpret_cast<const uint8_t*>(&image.summaries[i]);
            for (size_t k = 0; k < sizeof(tagFileRecordInfo); ++k)
                zeroSummary = zeroSummary && bytes[k] == 0;
            if (!inUse) {
                EXPECT_TRUE(zeroSummary) << "free record " << i << " has a summary";
            } else {
                EXPECT_FALSE(zeroSummary) << "record " << i << " in use without a summary";
                // The change test: the first eight bytes of the MD5 of the
                // record as ntfs-3g shows it, with what reading changes put
                // to zero; the retired field stays 0.
                const QByteArray md5 = QCryptographicHash::hash(
                    ContentOnly(
                        QByteArray(reinterpret_cast<const char*>(mft.data() + size_t(i) * 1024), 1024)),
                    QCryptographicHash::Md5);
                uint64_t digest = 0;
                std::memcpy(&digest, md5.constData(), sizeof digest);
                EXPECT_EQ(uint64_t(image.summaries[i].recordDigest), digest) << "record " << i;
            }
            EXPECT_EQ(uint64_t(image.summaries[i].formerDataDigest), 0u) << "record " << i;
        }
        // The MFT bitmap as ntfs-3g reads it.
        std::vector<uint8_t> bitmap = Cat(Partition(), "-a 0xB0 -i 0");
        ASSERT_GE(image.mftBitmap.size(), bitmap.size());
        EXPECT_EQ(0, std::memcmp(image.mftBitmap.data(), bitmap.data(), bitmap.size()));

        // Each file's $DATA decodes to what ntfscat prints, padded to clusters.
        for (const auto& file : RichFileSet()) {
            if (file.directory)
                continue;
            int64_t inode = NtfsInodeOf(Partition(), "/" + file.path);
            ASSERT_GE(inode, 16) << file.path;
            const ImageRecordEntry* record = image.Record(uint32_t(inode));
            ASSERT_NE(record, nullptr) << file.path;
            std::vector<uint8_t> expected = Cat(Partition(), "-i " + std::to_string(inode));
            const ImageDataSet* data = nullptr;
            for (const auto& set : record->sets)
                if (set.attrType == 0x80)
                    data = &set;
            if (file.path == "pagefile.sys") {
                EXPECT_EQ(data, nullptr) << "the page file's data is stored";
                continue;
            }
            if (expected.size() <= 600) {
                EXPECT_EQ(data, nullptr) << file.path << ": a resident file has no data set";
                continue;
            }
            ASSERT_NE(data, nullptr) << file.path;
            ASSERT_EQ(data->plain.size(), (expected.size() + clusterBytes - 1) / clusterBytes * clusterBytes)
                << file.path;
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data->plain.begin())) << file.path;
            // Stored raw by the extension, and with QuickLZ also the noise
            // (every file but the compressible and the sparse one) from one
            // whole chunk on.
            const bool noise = file.path != "big/compressible.log" && file.sparseSize == 0;
            const bool raw =
                file.path.find(".MKV") != std::string::npos || file.path.find(".gz") != std::string::npos ||
                (image.info.compressType == 1 && noise && expected.size() >= ImageFormat::kChunkBytes);
            if (image.info.compressType != 0) {
                EXPECT_EQ(+data->storedRaw, raw ? 1 : 0) << file.path;
            }
        }
    }
};

QUARN_SHARED_FIXTURE(NtfsSuiteTest<NtfsBackupTest>::MakeFixture)

// One case per compression type, split and unsplit: each is a whole
// backup judged file by file, so they run side by side.
struct FullImageCase {
    int type;
    uint64_t volumeSize;
};

std::string FullImageCaseText(const FullImageCase& c)
{
    return "Type" + std::to_string(c.type) +
           (c.volumeSize == ImageFormat::kNeverSplit
                ? std::string("Unsplit")
                : "SplitAt" + std::to_string(c.volumeSize >> 20) + "MiB");
}

std::string FullImageCaseName(const ::testing::TestParamInfo<FullImageCase>& info)
{
    return FullImageCaseText(info.param);
}

void PrintTo(const FullImageCase& c, std::ostream* out)
{
    *out << FullImageCaseText(c);
}

class NtfsFullImageTest : public NtfsBackupTest, public ::testing::WithParamInterface<FullImageCase> {};

}  // namespace

TEST_P(NtfsFullImageTest, MatchesTheSource)
{
    const FullImageCase& c = GetParam();
    TempDir out;
    ASSERT_EQ(Backup(Partition(), out.file("img"), c.type, c.volumeSize), 0);
    NtfsImage image;
    std::string error;
    ASSERT_TRUE(ReadNtfsImage(out.file("img_0_0.bkp"), &image, &error)) << error;
    EXPECT_EQ(+image.info.compressType, c.type);
    ExpectImageMatchesSource(image);

    unsigned long long used = 0;
    ASSERT_EQ(ntfs_used(Partition().c_str(), &used), 0);
    EXPECT_EQ(+image.info.usedBytes, used);
    EXPECT_EQ(+image.info.fileRecordSize, 1024u);
    EXPECT_EQ(+image.info.reservedFs, 0xFFFFFFFFu);
    EXPECT_EQ(+image.info.bootAreaSize, 0x1200);
    EXPECT_EQ(image.bootArea, FileHead(Partition(), 0x1200));
    EXPECT_EQ(image.fileName, "img_0_0.bkp");

    const bool split = c.volumeSize != ImageFormat::kNeverSplit;
    if (split) {
        EXPECT_GE(image.volumes.size(), 2u);
    } else {
        EXPECT_EQ(image.volumes.size(), 1u);
    }
    for (size_t v = 0; v < image.volumes.size(); ++v) {
        const auto& volume = image.volumes[v];
        EXPECT_EQ(volume.path, out.file("img_" + std::to_string(v) + "_0.bkp"));
        EXPECT_EQ(+volume.end.volumeIndex, v);
        EXPECT_EQ(+volume.end.singleVolume, split ? 0 : 1);
        EXPECT_EQ(+volume.end.generation, 0);
        EXPECT_EQ(+volume.end.fsType, FS_TYPE_NTFS);
        EXPECT_EQ(+volume.end.spare2, 2);
        EXPECT_EQ(+volume.end.spare3, ImageFormat::kExtentLayoutEveryExtent);
        EXPECT_EQ(+volume.end.chainId, +image.volumes[0].end.chainId);
        EXPECT_EQ(+volume.end.prevNameSize, 0);
        uint64_t blockStart = volume.end.blkStartLow | (uint64_t(volume.end.blkStartHigh) << 32);
        EXPECT_EQ(blockStart != 0, v == 0);
        EXPECT_EQ(volume.nextName.empty(), v + 1 == image.volumes.size());
        if (split && v > 0) {
            // A later volume begins inside a data set.
            std::vector<uint8_t> bytes = ReadFileBytes(volume.path);
            ASSERT_GE(bytes.size(), sizeof(tagDATA_SET_HEAD));
            tagDATA_SET_HEAD head;
            std::memcpy(&head, bytes.data(), sizeof head);
            EXPECT_LE(+head.continued, 1);
            EXPECT_LE(head.dataBytes + sizeof head + sizeof(tagBLOCK_END) + volume.nextName.size(),
                      bytes.size());
        }
        if (split && v + 1 < image.volumes.size()) {
            EXPECT_LE(volume.bytes, c.volumeSize + (256 << 10)) << "volume " << v << " far over its size";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCompressionTypeSplitAndUnsplit, NtfsFullImageTest,
                         ::testing::Values(FullImageCase{0, ImageFormat::kNeverSplit},
                                           FullImageCase{1, ImageFormat::kNeverSplit},
                                           FullImageCase{2, ImageFormat::kNeverSplit},
                                           FullImageCase{3, ImageFormat::kNeverSplit},
                                           FullImageCase{0, 3 << 20}, FullImageCase{2, 1 << 20}),
                         FullImageCaseName);

TEST_F(NtfsBackupTest, CompressionShrinksTheImage)
{
    TempDir out;
    ASSERT_EQ(Backup(Partition(), out.file("raw"), 0), 0);
    ASSERT_EQ(Backup(Partition(), out.file("lz"), 1), 0);
    ASSERT_EQ(Backup(Partition(), out.file("z"), 2), 0);
    uint64_t raw = FileSize(out.file("raw_0_0.bkp"));
    EXPECT_LT(FileSize(out.file("lz_0_0.bkp")), raw - (2 << 20));
    EXPECT_LT(FileSize(out.file("z_0_0.bkp")), raw - (2 << 20));
}

TEST_F(NtfsBackupTest, ProgressEndsNearNinetyFiveStepsAndNamesAreShown)
{
    TempDir out;
    ProgressLog log;
    ASSERT_EQ(Backup(Partition(), out.file("img"), 1, ImageFormat::kNeverSplit, &log), 0);
    unsigned long long used = 0;
    ASSERT_EQ(ntfs_used(Partition().c_str(), &used), 0);
    EXPECT_EQ(log.total, used);
    // The page file's megabyte is not stored but still counted.
    EXPECT_GE(log.lastStep, 90);
    EXPECT_LE(log.lastStep, 100);
    EXPECT_EQ(log.states,
              (std::vector<std::string>{"Initializing ...", "Backing up partition ...", "Finish"}));
    EXPECT_NE(std::find(log.names.begin(), log.names.end(), "leaf.txt"), log.names.end());
    EXPECT_NE(std::find(log.names.begin(), log.names.end(),
                        "\xC3\xA4rger \xE6\x96\x87\xE4\xBB\xB6 long name with spaces and more.txt"),
              log.names.end());
}

TEST_F(NtfsBackupTest, CancellingAtTheFirstStepReturns97)
{
    TempDir out;
    ProgressLog log;
    log.cancelAt = 1;
    EXPECT_EQ(Backup(Partition(), out.file("img"), 0, ImageFormat::kNeverSplit, &log), ERR_CANCELLED);
    EXPECT_EQ(log.lastStep, 1);
}

TEST_F(NtfsBackupTest, EveryProcessedByteUpToTheTotalIsReportedAndThePageFileCountsItsAllocation)
{
    TempDir out;
    ProgressLog log;
    ASSERT_EQ(Backup(Partition(), out.file("img"), 1, ImageFormat::kNeverSplit, &log), 0);
    NtfsImage image;
    std::string error;
    ASSERT_TRUE(ReadNtfsImage(out.file("img_0_0.bkp"), &image, &error)) << error;
    // The page file's allocation as ntfs-3g reports it.
    CommandResult info = testsupport::Run("ntfsinfo -v -F /pagefile.sys " + Quote(Partition()));
    const size_t data = info.output.find("Dumping attribute $DATA");
    ASSERT_NE(data, std::string::npos) << info.output;
    const size_t at = info.output.find("Allocated size:", data);
    ASSERT_NE(at, std::string::npos) << info.output;
    const uint64_t pagefileAllocated = std::stoull(info.output.substr(at + std::strlen("Allocated size:")));
    ASSERT_GE(pagefileAllocated, uint64_t(1) << 20);

    // Records, the stored data's plain bytes, the MFT bitmap, the boot
    // area, and the page file's allocation that was never read.
    uint64_t expected =
        image.records.size() * 1024 + image.start.mftBitmapSize + image.info.bootAreaSize + pagefileAllocated;
    for (const auto& record : image.records)
        for (const auto& set : record.sets)
            expected += set.plain.size();
    // ... but never more than the total announced.
    EXPECT_EQ(log.bytesDone, std::min(expected, log.total));
    // Without the page file's allocation the count would fall short of that.
    EXPECT_GT(log.bytesDone, expected - pagefileAllocated);
}

// Backup and restore both ask these two rules which attributes get no data
// set; a wrong answer shifts every data set that follows.
TEST(NtfsUnstoredData, PageAndHibernationFilesAreKnownByNameInAnyCase)
{
    struct Case {
        const char* name;
        Ntfs::SpecialFile file;
    } cases[] = {
        {"pagefile.sys", Ntfs::SpecialFile::Pagefile},  {"PAGEFILE.SYS", Ntfs::SpecialFile::Pagefile},
        {"hiberfil.sys", Ntfs::SpecialFile::Hiberfile}, {"HiberFil.Sys", Ntfs::SpecialFile::Hiberfile},
        {"pagefile.sy", Ntfs::SpecialFile::None},       {"pagefile.sys ", Ntfs::SpecialFile::None},
        {"swapfile.sys", Ntfs::SpecialFile::None},      {"", Ntfs::SpecialFile::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Ntfs::SpecialFileNamed(QString::fromLatin1(c.name)), c.file) << c.name;
}

TEST(NtfsUnstoredData, SystemFilesWhoseDataNoImageStores)
{
    struct Case {
        uint32_t owner;
        uint32_t type;
        bool unstored;
    } cases[] = {
        {Ntfs::kMftRecord, Ntfs::ATTR_DATA, true},
        {Ntfs::kMftRecord, Ntfs::ATTR_BITMAP, true},
        {Ntfs::kMftMirrRecord, Ntfs::ATTR_DATA, true},
        {Ntfs::kBitmapRecord, Ntfs::ATTR_DATA, true},
        {Ntfs::kBootRecord, Ntfs::ATTR_DATA, true},
        {Ntfs::kBadClusRecord, Ntfs::ATTR_DATA, true},
        {Ntfs::kBadClusRecord, Ntfs::ATTR_BITMAP, true},
        {Ntfs::kMftMirrRecord, Ntfs::ATTR_BITMAP, false},
        {Ntfs::kMftRecord, Ntfs::ATTR_INDEX_ALLOCATION, false},
        {5, Ntfs::ATTR_INDEX_ALLOCATION, false},
        {Ntfs::kFirstUserRecord, Ntfs::ATTR_DATA, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Ntfs::IsUnstoredSystemAttribute(c.owner, c.type), c.unstored) << c.owner << " " << c.type;
}
