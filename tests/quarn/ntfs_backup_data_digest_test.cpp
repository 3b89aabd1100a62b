// The data digests of an NTFS image's record summaries. A full backup takes
// them from the data its walk stores and writes them into the record
// section afterwards (reopening the first volume when a split closed it);
// its images must be the very bytes a backup that reads the data first
// writes. An incremental backup still reads the data before its walk, and
// a cancel then must not wait for that read to end.
#include "image_format.h"
#include "ntfs_fixture.h"
#include "ntfs_fragmented_file.h"
#include "ntfs_image_reader.h"
#include "ntfs_jobs.h"
#include "ntfs/part_ntfs_backup.h"
#include "quarn.h"
#include "recording_callbacks.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCryptographicHash>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

using namespace testsupport;

namespace {

// A volume's bytes with the start time zeroed: the block start's clock
// fields and the trailer's chain id.
std::vector<uint8_t> TimelessVolume(const std::string& path)
{
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.size() < sizeof(tagBLOCK_END))
        return bytes;
    const size_t end = bytes.size() - sizeof(tagBLOCK_END);
    tagBLOCK_END trailer;
    std::memcpy(&trailer, &bytes[end], sizeof trailer);
    std::fill_n(bytes.begin() + long(end + offsetof(tagBLOCK_END, chainId)), 4, 0);
    const uint64_t start = trailer.blkStartLow | (uint64_t(trailer.blkStartHigh) << 32);
    if (start != 0 && start + sizeof(tagBLOCK_START) <= end)
        std::fill(bytes.begin() + long(start + offsetof(tagBLOCK_START, year)),
                  bytes.begin() + long(start + offsetof(tagBLOCK_START, mftBitmapSize)), 0);
    return bytes;
}

// The digest a summary must carry, worked out from the image's own decoded
// data sets: the first eight bytes of the MD5 of all of them in order.
uint64_t DigestOfSets(const ImageRecordEntry& record)
{
    if (record.sets.empty())
        return 0;
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (const auto& set : record.sets)
        hash.addData(reinterpret_cast<const char*>(set.plain.data()), int(set.plain.size()));
    const QByteArray digest = hash.result();
    uint64_t value = 0;
    std::memcpy(&value, digest.constData(), sizeof value);
    return value;
}

class ScopedThreads {
public:
    explicit ScopedThreads(const char* threads)
    {
        if (const char* old = std::getenv("QUARN_THREADS"))
            m_old = old, m_had = true;
        if (threads != nullptr)
            setenv("QUARN_THREADS", threads, 1);
        else
            unsetenv("QUARN_THREADS");
    }
    ~ScopedThreads()
    {
        if (m_had)
            setenv("QUARN_THREADS", m_old.c_str(), 1);
        else
            unsetenv("QUARN_THREADS");
    }

private:
    std::string m_old;
    bool m_had = false;
};

class NtfsDataDigestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveNtfsTools())
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
        m_part = m_dir.file("sdz1");
    }
    void TearDown() override { CPartNtfsBackup::DigestDataBeforeWalkForTests(false); }

    // Files of every kind: several chunks, one chunk, resident, empty, and
    // a page file whose data no image holds.
    void MakeMixedPartition()
    {
        std::string log;
        ASSERT_TRUE(MakeNtfsPartition(m_part, 24 << 20, &log)) << log;
        const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
            {"/big.bin", PatternBytes((7 << 20) / 2, 51)},  {"/small.bin", PatternBytes(70000, 52)},
            {"/resident.txt", PatternBytes(300, 53)},       {"/empty.bin", {}},
            {"/pagefile.sys", PatternBytes(1 << 20, 54)},   {"/after.bin", PatternBytes(200000, 55)},
        };
        for (const auto& file : files)
            ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), file.first, file.second, &log)) << log;
    }

    // Backs up m_part both ways with each setting and compares the images.
    void ExpectSameImagesEitherWay()
    {
        struct Case {
            int compressType;
            uint64_t volumeSize;
            const char* threads;
        } cases[] = {
            {0, ImageFormat::kNeverSplit, "1"}, {0, 1 << 20, "1"},      {1, 3 << 20, nullptr},
            {2, ImageFormat::kNeverSplit, nullptr}, {2, 1 << 20, "1"}, {3, 1 << 20, nullptr},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "type " << c.compressType << " split " << c.volumeSize << " threads "
                                            << (c.threads ? c.threads : "all"));
            ScopedThreads threads(c.threads);
            // The same name in two folders: volumes name each other.
            TempDir beforeDir, walkDir;
            const std::string before = beforeDir.file("img"), walk = walkDir.file("img");
            CPartNtfsBackup::DigestDataBeforeWalkForTests(true);
            ASSERT_EQ(BackupNtfsImage(m_part, before, c.compressType, c.volumeSize), 0);
            CPartNtfsBackup::DigestDataBeforeWalkForTests(false);
            ASSERT_EQ(BackupNtfsImage(m_part, walk, c.compressType, c.volumeSize), 0);

            unsigned volumes = 0;
            for (; FileExists(VolumeFileName(before, volumes, 0)); ++volumes) {
                ASSERT_TRUE(FileExists(VolumeFileName(walk, volumes, 0))) << "volume " << volumes;
                EXPECT_TRUE(TimelessVolume(VolumeFileName(before, volumes, 0)) ==
                            TimelessVolume(VolumeFileName(walk, volumes, 0)))
                    << "volume " << volumes << " differs";
            }
            EXPECT_FALSE(FileExists(VolumeFileName(walk, volumes, 0)));
            if (c.volumeSize != ImageFormat::kNeverSplit) {
                EXPECT_GE(volumes, 2u) << "the first volume was not closed before the walk ended";
            }

            NtfsImage image;
            std::string error;
            ASSERT_TRUE(ReadNtfsImage(VolumeFileName(walk, 0, 0), &image, &error)) << error;
            unsigned digested = 0;
            for (const auto& record : image.records) {
                ASSERT_LT(record.number, image.summaries.size());
                const uint64_t expected = record.number < Ntfs::kFirstUserRecord ? 0 : DigestOfSets(record);
                EXPECT_EQ(uint64_t(image.summaries[record.number].dataDigest), expected)
                    << "record " << record.number;
                digested += expected != 0;
            }
            EXPECT_GE(digested, 3u);
        }
    }

    TempDir m_dir;
    std::string m_part;
};

}  // namespace

TEST_F(NtfsDataDigestTest, FullBackupWritesTheImageOfABackupThatDigestsFirst)
{
    MakeMixedPartition();
    ExpectSameImagesEitherWay();
}

// Extension records carry continuation extents of the file's $DATA: each
// gets the digest of its own sets.
TEST_F(NtfsDataDigestTest, ExtensionRecordsGetTheirOwnDigests)
{
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here");
    std::string log;
    ASSERT_TRUE(MakeFragmentedFilePartition(m_part, m_dir.path(), &log)) << log;
    ExpectSameImagesEitherWay();
}

// The digests go into the first volume after the walk: when it cannot be
// written again, the job fails as any failed image write does.
TEST_F(NtfsDataDigestTest, AFirstVolumeThatCannotBeRewrittenFailsTheJob)
{
    MakeMixedPartition();
    const std::string base = m_dir.file("img");
    const std::string first = VolumeFileName(base, 0, 0);
    struct Context {
        std::string first, second, moved;
        bool swapped = false;
    } context {first, VolumeFileName(base, 1, 0), m_dir.file("moved.bkp")};
    tagCallBackFunc cb;
    cb.context = &context;
    // Once the split has closed the first volume, a folder takes its name.
    cb.onProgress = [](int, void* c) {
        auto* ctx = static_cast<Context*>(c);
        if (!ctx->swapped && FileExists(ctx->second)) {
            ctx->swapped = std::rename(ctx->first.c_str(), ctx->moved.c_str()) == 0 &&
                           ::mkdir(ctx->first.c_str(), 0700) == 0;
        }
        return 0;
    };
    ScopedThreads threads("1");
    EXPECT_EQ(BackupNtfsImage(m_part, base, 0, 1 << 20, std::string(), cb), ERR_WRITE_FILE);
    EXPECT_TRUE(context.swapped);
}

// The incremental job reads the data it compares before it reports any
// progress of its own: a cancel asked meanwhile ends it there.
TEST_F(NtfsDataDigestTest, ACancelWhileTheIncrementalJobComparesEndsItPromptly)
{
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(m_part, 48 << 20, &log)) << log;
    ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/large.bin", PatternBytes(20 << 20, 61), &log)) << log;
    const std::string base = m_dir.file("img");
    ASSERT_EQ(BackupNtfsImage(m_part, base), 0);

    RecordingCallbacks recorder;
    recorder.cancelAtStep = RecordingCallbacks::kCancelAtAnyStep;
    EXPECT_EQ(BackupNtfsImage(m_part, base, 0, ImageFormat::kNeverSplit, VolumeFileName(base, 0, 0), recorder.Bind()),
              ERR_CANCELLED);
    ASSERT_FALSE(recorder.steps.empty());
    EXPECT_EQ(recorder.steps.front(), 0) << "the compare asks at the step the job stands on";
    for (const QString& state : recorder.states)
        EXPECT_NE(state, QStringLiteral("Backing up partition ...")) << "the walk began before the cancel";
    EXPECT_EQ(recorder.BytesDoneSum(), 0u) << "the compare moved the progress";
}
