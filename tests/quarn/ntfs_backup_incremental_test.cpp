// Incremental NTFS backups (changed, added and deleted files; an unchanged
// volume; every change that touches a record; images of earlier versions; a
// cancel while the MFT is compared; a broken chain) and files whose $DATA
// spreads over several MFT records, judged against ntfs-3g's view of the
// source.
#include "quarn/api/image_format.h"
#include "quarn/ntfs/record_digest.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_fragmented_file.h"
#include "support/ntfs_image_reader.h"
#include "support/ntfs_jobs.h"
#include "fslayout/ntfs_layout.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/reseal_volume.h"
#include "support/recording_callbacks.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCryptographicHash>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

int Backup(const std::string& source, const std::string& base, const std::string& prevImage = std::string(),
           int compressType = 2, uint64_t volumeSize = ImageFormat::kNeverSplit)
{
    return BackupNtfsImage(source, base, compressType, volumeSize, prevImage);
}

bool SameSummary(const tagFileRecordInfo& a, const tagFileRecordInfo& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

const tagFileRecordInfo kZeroSummary{};

bool IsZeroSummary(const tagFileRecordInfo& a)
{
    return SameSummary(a, kZeroSummary);
}

// The data digest an earlier version put in a summary's second field: the
// first eight bytes of the MD5 of the record's data sets in stream order, 0
// for a record without any.
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

std::vector<uint32_t> StreamNumbers(const NtfsImage& image)
{
    std::vector<uint32_t> numbers;
    for (const auto& record : image.records)
        numbers.push_back(record.number);
    return numbers;
}

// Every cluster of a file's unnamed $DATA, put together from the data sets
// of all its extents (the base record's and its extension records').
std::vector<uint8_t> AssembleData(const NtfsImage& image, uint32_t inode, uint32_t clusterBytes,
                                  size_t* extents)
{
    std::vector<uint8_t> data;
    *extents = 0;
    for (const auto& record : image.records) {
        uint64_t base;
        std::memcpy(&base, record.raw.data() + 32, 8);
        base &= 0xFFFFFFFFFFFFull;
        if (record.number != inode && base != inode)
            continue;
        for (const auto& set : record.sets) {
            if (set.attrType != Ntfs::ATTR_DATA)
                continue;
            ++*extents;
            size_t at = size_t(set.lowestVcn) * clusterBytes;
            if (data.size() < at + set.plain.size())
                data.resize(at + set.plain.size());
            std::memcpy(data.data() + at, set.plain.data(), set.plain.size());
        }
    }
    return data;
}

class NtfsMountedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveNtfsTools())
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
        if (!NtfsMountUsable())
            SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here");
        m_part = m_dir.file("sdz1");
    }

    TempDir m_dir;
    std::string m_part;
};

}  // namespace

TEST_F(NtfsMountedTest, IncrementalStoresExactlyTheChangedRecords)
{
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(m_part, 24 << 20, &log)) << log;
    std::vector<NtfsFileSpec> files = {
        {"doomed.txt", PatternBytes(20000, 1)},
        {"changed.txt", PatternBytes(30000, 2)},
        {"kept.txt", PatternBytes(50000, 3)},
        {"dir/inner.txt", PatternBytes(9000, 4)},
    };
    ASSERT_TRUE(FillNtfsPartition(m_part, m_dir.path(), files, &log)) << log;
    const int64_t doomed = NtfsInodeOf(m_part, "/doomed.txt");
    const int64_t changed = NtfsInodeOf(m_part, "/changed.txt");
    const int64_t kept = NtfsInodeOf(m_part, "/kept.txt");
    ASSERT_GT(doomed, 15);

    ASSERT_EQ(Backup(m_part, m_dir.file("img")), 0);
    {
        NtfsMount mount(m_part, m_dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        // Added before the deletion, so that it cannot reuse the record.
        WriteFileBytes(mount.path() + "/added.txt", PatternBytes(70000, 23));
        ASSERT_EQ(::unlink((mount.path() + "/doomed.txt").c_str()), 0);
        WriteFileBytes(mount.path() + "/changed.txt", PatternBytes(45000, 22));
        ASSERT_TRUE(mount.Unmount()) << mount.log();
    }
    const int64_t added = NtfsInodeOf(m_part, "/added.txt");
    ASSERT_GT(added, 15);

    ASSERT_EQ(Backup(m_part, m_dir.file("img"), m_dir.file("img_0_0.bkp")), 0);
    NtfsImage full, inc;
    std::string error;
    ASSERT_TRUE(ReadNtfsImage(m_dir.file("img_0_0.bkp"), &full, &error)) << error;
    ASSERT_TRUE(ReadNtfsImage(m_dir.file("img_0_1.bkp"), &inc, &error)) << error;

    // Chain: next generation, same chain id, name 1 = the previous image.
    ASSERT_EQ(inc.volumes.size(), 1u);
    EXPECT_EQ(+inc.volumes[0].end.generation, 1);
    EXPECT_EQ(+inc.volumes[0].end.chainId, +full.volumes[0].end.chainId);
    EXPECT_EQ(inc.volumes[0].prevName, "img_0_0.bkp");
    EXPECT_EQ(inc.fileName, "img_0_1.bkp");

    // Records 0-15 always, then exactly those whose summary changed.
    std::vector<uint32_t> numbers = StreamNumbers(inc);
    ASSERT_GE(numbers.size(), 16u);
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(numbers[i], i);
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    std::set<uint32_t> listed(numbers.begin(), numbers.end());
    ASSERT_EQ(inc.summaries.size(), +inc.info.recordCount);
    const uint32_t limit = uint32_t(std::min(full.summaries.size(), inc.summaries.size()));
    for (uint32_t r = 16; r < limit; ++r)
        EXPECT_EQ(listed.count(r) == 1, !SameSummary(full.summaries[r], inc.summaries[r])) << "record " << r;

    EXPECT_EQ(listed.count(uint32_t(changed)), 1u);
    EXPECT_EQ(listed.count(uint32_t(added)), 1u);
    EXPECT_EQ(listed.count(uint32_t(kept)), 0u);
    // The deleted file: listed, summarised as free, and free in the bitmap.
    ASSERT_NE(added, doomed);
    EXPECT_FALSE(IsZeroSummary(full.summaries[size_t(doomed)]));
    EXPECT_EQ(listed.count(uint32_t(doomed)), 1u) << "a deleted file is not listed";
    EXPECT_TRUE(IsZeroSummary(inc.summaries[size_t(doomed)]));
    EXPECT_FALSE(inc.InUse(uint32_t(doomed)));
    ASSERT_NE(inc.Record(uint32_t(doomed)), nullptr);
    EXPECT_TRUE(inc.Record(uint32_t(doomed))->sets.empty());

    // The changed and added files' data as ntfs-3g reads them now.
    for (int64_t inode : {changed, added}) {
        std::vector<uint8_t> expected;
        ASSERT_TRUE(NtfsCatInode(m_part, uint64_t(inode), &expected));
        size_t extents = 0;
        std::vector<uint8_t> data = AssembleData(inc, uint32_t(inode), inc.info.clusterBytes, &extents);
        ASSERT_EQ(extents, 1u);
        ASSERT_GE(data.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.begin())) << "inode " << inode;
    }

    // The chain restores to the newest state: the deleted file is gone and
    // its record and clusters are free (ntfs-3g finds no orphan or leak).
    {
        std::string target = m_dir.file("sdy1");
        MakeSparseFile(target, 24 << 20);
        ASSERT_EQ(RestoreNtfsImage(m_dir.file("img_0_1.bkp"), target), 0);
        EXPECT_EQ(NtfsCheckProblems(target), "");
        EXPECT_EQ(NtfsInodeOf(target, "/doomed.txt"), -1);
        EXPECT_EQ(CompareNtfsFiles(target, {{"changed.txt", PatternBytes(45000, 22)},
                                            {"added.txt", PatternBytes(70000, 23)},
                                            {"kept.txt", PatternBytes(50000, 3)},
                                            {"dir/inner.txt", PatternBytes(9000, 4)}}),
                  "");
    }

    // A further incremental backup of the unchanged volume stores 0-15 only.
    ASSERT_EQ(Backup(m_part, m_dir.file("img"), m_dir.file("img_0_1.bkp")), 0);
    NtfsImage unchanged;
    ASSERT_TRUE(ReadNtfsImage(m_dir.file("img_0_2.bkp"), &unchanged, &error)) << error;
    std::vector<uint32_t> systemOnly(16);
    for (uint32_t i = 0; i < 16; ++i)
        systemOnly[i] = i;
    EXPECT_EQ(StreamNumbers(unchanged), systemOnly);
    EXPECT_EQ(+unchanged.volumes[0].end.generation, 2);
    EXPECT_EQ(+unchanged.volumes[0].end.chainId, +full.volumes[0].end.chainId);

    // Generations 0 and 1 now have later images beside them: one more
    // incremental on either would take a later generation's names and leave
    // the images after it on a base that changed.
    const std::vector<uint8_t> generation1 = ReadFileBytes(m_dir.file("img_0_1.bkp"));
    const std::vector<uint8_t> generation2 = ReadFileBytes(m_dir.file("img_0_2.bkp"));
    for (const char* older : {"img_0_0.bkp", "img_0_1.bkp"})
        EXPECT_EQ(Backup(m_part, m_dir.file("img"), m_dir.file(older)), ERR_NOT_NEWEST_IMAGE) << older;
    EXPECT_EQ(ReadFileBytes(m_dir.file("img_0_1.bkp")), generation1);
    EXPECT_EQ(ReadFileBytes(m_dir.file("img_0_2.bkp")), generation2);
    EXPECT_FALSE(FileExists(m_dir.file("img_0_3.bkp")));
}

// Reading every file of the source through a mount that keeps access times
// rewrites every file's record; the next incremental still stores only what
// changed in content. And on a base of the whole-record digests of earlier
// images it compares by that kind, so that the first incremental after them
// is no full copy of an unchanged source either.
TEST_F(NtfsMountedTest, ReadingTheSourceChangesNothingTheIncrementalStores)
{
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(m_part, 24 << 20, &log)) << log;
    const std::vector<NtfsFileSpec> files = {
        {"read.bin", PatternBytes(90000, 81)},
        {"resident.txt", PatternBytes(200, 82)},
        {"dir/inner.txt", PatternBytes(12000, 83)},
        {"changed.txt", PatternBytes(30000, 84)},
    };
    ASSERT_TRUE(FillNtfsPartition(m_part, m_dir.path(), files, &log)) << log;
    const uint32_t changed = uint32_t(NtfsInodeOf(m_part, "/changed.txt"));
    const uint32_t read = uint32_t(NtfsInodeOf(m_part, "/read.bin"));

    for (bool wholeRecordBase : {false, true}) {
        SCOPED_TRACE(wholeRecordBase ? "a base of whole-record digests" : "a base of content digests");
        TempDir out;
        const std::string full = out.file("img_0_0.bkp");
        ASSERT_EQ(Backup(m_part, out.file("img")), 0);
        if (wholeRecordBase) {
            // The base as the engines before content digests wrote it.
            NtfsImage image;
            std::string error;
            ASSERT_TRUE(ReadNtfsImage(full, &image, &error)) << error;
            std::vector<uint8_t> bytes = ReadFileBytes(full);
            for (const ImageRecordEntry& record : image.records) {
                tagFileRecordInfo entry = image.summaries[record.number];
                if (uint64_t(entry.recordDigest) == 0)
                    continue;
                std::vector<uint8_t> fixed = record.raw;
                ASSERT_TRUE(Ntfs::RemoveFixup(fixed.data(), 1024));
                entry.recordDigest = RecordDigest::Of(fixed.data(), 1024);
                std::memcpy(bytes.data() + image.info.recordSectionPos + 4 + record.number * sizeof entry,
                            &entry, sizeof entry);
            }
            tagBLOCK_END end{};
            std::memcpy(&end, bytes.data() + bytes.size() - sizeof end, sizeof end);
            ASSERT_NE(end.spare1 & ImageFormat::kFormatFlagContentDigests, 0);
            end.spare1 &= uint8_t(~ImageFormat::kFormatFlagContentDigests);
            std::memcpy(bytes.data() + bytes.size() - sizeof end, &end, sizeof end);
            WriteFileBytes(full, bytes);
            ASSERT_TRUE(StripVolumeCheck(full));
        }
        // (Such a base cannot tell a read from a change: its digests hold
        // the access times. It is left unread.)
        if (!wholeRecordBase) {
            NtfsMount mount(m_part, m_dir.file("mnt"), "atime");
            ASSERT_TRUE(mount.ok()) << mount.log();
            for (const NtfsFileSpec& file : files)
                ASSERT_EQ(ReadFileBytes(mount.path() + "/" + file.path), file.data) << file.path;
            WriteFileBytes(mount.path() + "/changed.txt", PatternBytes(30000, 85));
            ASSERT_TRUE(mount.Unmount()) << mount.log();
        }
        ASSERT_EQ(Backup(m_part, out.file("img"), full), 0);
        NtfsImage before, inc;
        std::string error;
        ASSERT_TRUE(ReadNtfsImage(full, &before, &error)) << error;
        ASSERT_TRUE(ReadNtfsImage(out.file("img_0_1.bkp"), &inc, &error)) << error;
        // The file only read is not stored again.
        const ImageRecordEntry* was = before.Record(read);
        const ImageRecordEntry* now = inc.Record(read);
        ASSERT_NE(was, nullptr);
        ASSERT_EQ(now, nullptr) << "a file only read is stored again";
        std::set<uint32_t> expected;
        for (uint32_t r = 0; r < Ntfs::kFirstUserRecord; ++r)
            expected.insert(r);
        if (!wholeRecordBase)
            expected.insert(changed);
        const std::vector<uint32_t> numbers = StreamNumbers(inc);
        const std::set<uint32_t> listed(numbers.begin(), numbers.end());
        for (uint32_t r : expected)
            EXPECT_EQ(listed.count(r), 1u) << "record " << r << " not stored";
        // Folders whose index a read left alone are not stored; at most the
        // changed file's folder joins it.
        EXPECT_LE(listed.size(), expected.size() + 1) << "more than the changed file stored";

        std::string target = out.file("sdy1");
        MakeSparseFile(target, 24 << 20);
        ASSERT_EQ(RestoreNtfsImage(out.file("img_0_1.bkp"), target), 0);
        EXPECT_EQ(NtfsCheckProblems(target), "");
        std::vector<NtfsFileSpec> nowFiles = files;
        if (!wholeRecordBase)
            nowFiles.back().data = PatternBytes(30000, 85);
        EXPECT_EQ(CompareNtfsFiles(target, nowFiles), "");
        // The source's changed file back as the first round left it.
        if (!wholeRecordBase) {
            NtfsMount mount(m_part, m_dir.file("mnt"));
            ASSERT_TRUE(mount.ok()) << mount.log();
            WriteFileBytes(mount.path() + "/changed.txt", PatternBytes(30000, 84));
            ASSERT_TRUE(mount.Unmount()) << mount.log();
        }
    }
}

// An incremental job decides from the MFT alone: every change that touches
// a file's record is stored. Each file below changes one thing the record
// holds: its size (ntfscp writes without new times), its resident data, its
// times alone (written in place through the mount, same runs), its runs at
// the same size, or the record itself, reused by a new file. A file left
// alone is not stored again, and the chain restores the source as it is.
// The accepted limit, shown by none of these: data rewritten in place at the
// same size by a tool that leaves the record byte for byte as it was (times
// and update sequence number too) is not seen.
TEST_F(NtfsMountedTest, IncrementalStoresEveryChangeThatTouchesTheRecord)
{
    struct Rewrite {
        const char* path;
        std::vector<uint8_t> before, after;
    };
    // Rewritten with ntfscp: no new times, the record changes all the same.
    const std::vector<Rewrite> copied = {
        {"grown.bin", PatternBytes(2 << 20, 31), PatternBytes((5 << 20) / 2, 32)},
        {"shrunk.bin", PatternBytes(600000, 33), PatternBytes(70000, 34)},
        {"resident.txt", PatternBytes(200, 37), PatternBytes(200, 38)},
    };
    const Rewrite sameSize{"same_size.bin", PatternBytes(300000, 35), PatternBytes(300000, 36)};
    const Rewrite relocated{"relocated.bin", PatternBytes(200000, 42), PatternBytes(200000, 43)};
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(m_part, 24 << 20, &log)) << log;
    for (const Rewrite& file : {copied[0], copied[1], copied[2], sameSize, relocated})
        ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), std::string("/") + file.path, file.before, &log)) << log;
    ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/kept.bin", PatternBytes(400000, 39), &log)) << log;
    ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/doomed.bin", PatternBytes(90000, 40), &log)) << log;
    const int64_t kept = NtfsInodeOf(m_part, "/kept.bin");
    const int64_t doomed = NtfsInodeOf(m_part, "/doomed.bin");
    ASSERT_GT(kept, 15);
    const std::vector<NtfsDataRun> sameSizeRuns = NtfsDataRunsOf(m_part, "/same_size.bin");
    const std::vector<NtfsDataRun> relocatedRuns = NtfsDataRunsOf(m_part, "/relocated.bin");
    ASSERT_FALSE(sameSizeRuns.empty());
    ASSERT_EQ(Backup(m_part, m_dir.file("img"), std::string(), 0), 0);

    for (const auto& file : copied)
        ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), std::string("/") + file.path, file.after, &log)) << log;
    {
        NtfsMount mount(m_part, m_dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        FILE* f = std::fopen((mount.path() + "/" + sameSize.path).c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(std::fwrite(sameSize.after.data(), 1, sameSize.after.size(), f), sameSize.after.size());
        ASSERT_EQ(std::fclose(f), 0);
        // Emptied first, its clusters go to another file: it comes back
        // as long as it was, elsewhere.
        WriteFileBytes(mount.path() + "/" + relocated.path, {});
        WriteFileBytes(mount.path() + "/blocker.bin", PatternBytes(relocated.before.size(), 44));
        WriteFileBytes(mount.path() + "/" + relocated.path, relocated.after);
        ASSERT_EQ(::unlink((mount.path() + "/doomed.bin").c_str()), 0);
        ASSERT_TRUE(mount.Unmount()) << mount.log();
    }
    // ntfs-3g gives the new file the lowest free record: the deleted one's.
    ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/reborn.bin", PatternBytes(90000, 41), &log)) << log;
    ASSERT_EQ(NtfsInodeOf(m_part, "/reborn.bin"), doomed);
    auto sameRuns = [](const std::vector<NtfsDataRun>& a, const std::vector<NtfsDataRun>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](const NtfsDataRun& x, const NtfsDataRun& y) {
                              return x.vcn == y.vcn && x.lcn == y.lcn && x.length == y.length;
                          });
    };
    ASSERT_TRUE(sameRuns(NtfsDataRunsOf(m_part, "/same_size.bin"), sameSizeRuns)) << "rewritten elsewhere";
    ASSERT_FALSE(sameRuns(NtfsDataRunsOf(m_part, "/relocated.bin"), relocatedRuns)) << "left where it was";
    ASSERT_EQ(Backup(m_part, m_dir.file("img"), m_dir.file("img_0_0.bkp"), 0), 0);

    NtfsImage inc;
    std::string error;
    ASSERT_TRUE(ReadNtfsImage(m_dir.file("img_0_1.bkp"), &inc, &error)) << error;
    std::vector<uint32_t> numbers = StreamNumbers(inc);
    std::set<uint32_t> listed(numbers.begin(), numbers.end());
    std::vector<std::string> paths = {"/kept.bin", "/reborn.bin", "/blocker.bin"};
    for (const Rewrite& file : {copied[0], copied[1], copied[2], sameSize, relocated}) {
        paths.push_back(std::string("/") + file.path);
        EXPECT_EQ(listed.count(uint32_t(NtfsInodeOf(m_part, paths.back()))), 1u) << file.path << " left out";
    }
    EXPECT_EQ(listed.count(uint32_t(NtfsInodeOf(m_part, "/blocker.bin"))), 1u) << "a new file left out";
    EXPECT_EQ(listed.count(uint32_t(doomed)), 1u) << "the reused record left out";
    EXPECT_EQ(listed.count(uint32_t(kept)), 0u) << "an unchanged file stored again";

    // The chain restores every file as the source holds it now.
    std::string target = m_dir.file("sdy1");
    MakeSparseFile(target, 24 << 20);
    ASSERT_EQ(RestoreNtfsImage(m_dir.file("img_0_1.bkp"), target), 0);
    EXPECT_EQ(NtfsCheckProblems(target), "");
    EXPECT_EQ(NtfsInodeOf(target, "/doomed.bin"), -1);
    for (const auto& path : paths) {
        std::vector<uint8_t> expected, restored;
        ASSERT_TRUE(NtfsCat(m_part, path, &expected)) << path;
        ASSERT_TRUE(NtfsCat(target, path, &restored)) << path;
        EXPECT_EQ(restored.size(), expected.size()) << path;
        EXPECT_TRUE(restored == expected) << path << " restored with other bytes";
    }
}

// Images written by earlier versions hold other things in their summaries:
// a digest of each record's stored data in the second field, or, earlier
// still, the creation and modification times in the first two. An
// incremental job on top of them must never take an old entry for an
// unchanged record: it stores each record the old entry cannot vouch for
// once more, and the chain restores the source.
TEST_F(NtfsMountedTest, AnIncrementalOnAnOlderImageStoresWhatItsSummariesCannotVouchFor)
{
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(m_part, 24 << 20, &log)) << log;
    const std::vector<NtfsFileSpec> files = {
        {"big.bin", PatternBytes(700000, 71)},
        {"small.bin", PatternBytes(9000, 72)},
        {"resident.txt", PatternBytes(300, 73)},
        {"dir/inner.txt", PatternBytes(150, 74)},
    };
    ASSERT_TRUE(FillNtfsPartition(m_part, m_dir.path(), files, &log)) << log;

    enum class Era { DataDigest, Times };
    for (Era era : {Era::DataDigest, Era::Times}) {
        SCOPED_TRACE(era == Era::DataDigest ? "data digests" : "times");
        TempDir out;
        const std::string full = out.file("img_0_0.bkp");
        ASSERT_EQ(Backup(m_part, out.file("img"), std::string(), 1), 0);
        NtfsImage image;
        std::string error;
        ASSERT_TRUE(ReadNtfsImage(full, &image, &error)) << error;

        // The entries as the earlier version filled them, and the records
        // the incremental job must then store.
        std::vector<uint8_t> bytes = ReadFileBytes(full);
        std::set<uint32_t> expected;
        for (uint32_t r = 0; r < image.summaries.size(); ++r) {
            tagFileRecordInfo entry = image.summaries[r];
            if (r < Ntfs::kFirstUserRecord || std::memcmp(&entry, &kZeroSummary, sizeof entry) == 0) {
                if (r < Ntfs::kFirstUserRecord)
                    expected.insert(r);
                continue;
            }
            const ImageRecordEntry* record = image.Record(r);
            ASSERT_NE(record, nullptr);
            if (era == Era::DataDigest) {
                entry.formerDataDigest = DigestOfSets(*record);
                if (entry.formerDataDigest != 0)
                    expected.insert(r);
            } else {
                std::vector<uint8_t> fixed = record->raw;
                ASSERT_TRUE(Ntfs::RemoveFixup(fixed.data(), 1024));
                tagATTR_STANDARD_INFORMATION si{};
                Ntfs::AttributeWalker walker(fixed.data(), 1024);
                while (const tagRECORD_ATTR* attr = walker.Next()) {
                    if (attr->type == Ntfs::ATTR_STANDARD_INFORMATION && !attr->nonResident)
                        std::memcpy(&si, Ntfs::ResidentValue(attr), 16);
                }
                entry.recordDigest = si.creationTime;
                entry.formerDataDigest = si.modificationTime;
                expected.insert(r);
            }
            std::memcpy(bytes.data() + image.info.recordSectionPos + 4 + r * sizeof entry, &entry,
                        sizeof entry);
        }
        WriteFileBytes(full, bytes);
        // An image of those versions carried no check record either.
        ASSERT_TRUE(StripVolumeCheck(full));
        ASSERT_GE(expected.size(), Ntfs::kFirstUserRecord + 2u) << "no record to store again";

        ASSERT_EQ(Backup(m_part, out.file("img"), full), 0);
        NtfsImage inc;
        ASSERT_TRUE(ReadNtfsImage(out.file("img_0_1.bkp"), &inc, &error)) << error;
        const std::vector<uint32_t> numbers = StreamNumbers(inc);
        EXPECT_EQ(std::set<uint32_t>(numbers.begin(), numbers.end()), expected);
        if (era == Era::DataDigest) {
            EXPECT_EQ(expected.count(uint32_t(NtfsInodeOf(m_part, "/resident.txt"))), 0u)
                << "a record without data whose digest still stands stored again";
        }
        for (uint32_t r = 0; r < inc.summaries.size(); ++r)
            EXPECT_EQ(uint64_t(inc.summaries[r].formerDataDigest), 0u) << "record " << r;

        std::string target = out.file("sdy1");
        MakeSparseFile(target, 24 << 20);
        ASSERT_EQ(RestoreNtfsImage(out.file("img_0_1.bkp"), target), 0);
        EXPECT_EQ(NtfsCheckProblems(target), "");
        EXPECT_EQ(CompareNtfsFiles(target, files), "");
    }
}

// The incremental job reads the whole MFT to compare it before it stores
// anything, and asks the caller whether to cancel as it reads: a cancel
// then ends it before the walk, without moving the progress.
TEST_F(NtfsMountedTest, ACancelWhileTheIncrementalJobReadsTheMftEndsIt)
{
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(m_part, 32 << 20, &log)) << log;
    {
        // More records than the job reads between two questions.
        NtfsMount mount(m_part, m_dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        ASSERT_EQ(::mkdir((mount.path() + "/many").c_str(), 0755), 0);
        for (int n = 0; n < 4200; ++n)
            WriteFileBytes(mount.path() + "/many/f" + std::to_string(n), {});
        ASSERT_TRUE(mount.Unmount()) << mount.log();
    }
    const std::string base = m_dir.file("img");
    ASSERT_EQ(BackupNtfsImage(m_part, base), 0);
    NtfsImage full;
    std::string error;
    ASSERT_TRUE(ReadNtfsImage(VolumeFileName(base, 0, 0), &full, &error)) << error;
    ASSERT_GT(full.info.recordCount, 4200u);

    RecordingCallbacks recorder;
    recorder.cancelAtStep = RecordingCallbacks::kCancelAtAnyStep;
    EXPECT_EQ(BackupNtfsImage(m_part, base, 0, ImageFormat::kNeverSplit, VolumeFileName(base, 0, 0),
                              recorder.Bind()),
              ERR_CANCELLED);
    ASSERT_FALSE(recorder.steps.empty());
    EXPECT_EQ(recorder.steps.front(), 0) << "the compare asks at the step the job stands on";
    for (const QString& state : recorder.states)
        EXPECT_NE(state, QStringLiteral("Backing up partition ...")) << "the walk began before the cancel";
    EXPECT_EQ(recorder.BytesDoneSum(), 0u) << "the compare moved the progress";
}

TEST_F(NtfsMountedTest, BrokenChainsAreRefused)
{
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(m_part, 16 << 20, &log)) << log;
    ASSERT_TRUE(FillNtfsPartition(m_part, m_dir.path(), {{"big.bin", PatternBytes(3 << 20, 5)}}, &log))
        << log;
    EXPECT_EQ(Backup(m_part, m_dir.file("img"), m_dir.file("missing_0_0.bkp")), ERR_FILE_NOT_FOUND);
    EXPECT_FALSE(FileExists(m_dir.file("img_0_1.bkp")));

    // A later volume of a split image has no block start.
    ASSERT_EQ(Backup(m_part, m_dir.file("split"), std::string(), 0, 1 << 20), 0);
    ASSERT_TRUE(FileExists(m_dir.file("split_1_0.bkp")));
    EXPECT_EQ(Backup(m_part, m_dir.file("split"), m_dir.file("split_1_0.bkp")), ERR_BAD_MAGIC);

    // Not an image at all.
    WriteFileBytes(m_dir.file("junk_0_0.bkp"), PatternBytes(4096, 6));
    EXPECT_EQ(Backup(m_part, m_dir.file("junk"), m_dir.file("junk_0_0.bkp")), ERR_BAD_MAGIC);
}

TEST_F(NtfsMountedTest, AttributeListFragmentsAreStoredExtentByExtent)
{
    std::string log;
    ASSERT_TRUE(MakeFragmentedFilePartition(m_part, m_dir.path(), &log)) << log;
    const int64_t inode = NtfsInodeOf(m_part, "/fragmented.bin");
    ASSERT_GT(inode, 15);
    std::vector<uint8_t> expected;
    ASSERT_TRUE(NtfsCatInode(m_part, uint64_t(inode), &expected));

    for (int type : {0, 1}) {
        TempDir out;
        ASSERT_EQ(Backup(m_part, out.file("img"), std::string(), type, 256 << 10), 0);
        NtfsImage image;
        std::string error;
        ASSERT_TRUE(ReadNtfsImage(out.file("img_0_0.bkp"), &image, &error)) << error;
        for (const auto& volume : image.volumes)
            EXPECT_EQ(+volume.end.spare3, ImageFormat::kExtentLayoutEveryExtent);
        size_t extents = 0;
        std::vector<uint8_t> data = AssembleData(image, uint32_t(inode), image.info.clusterBytes, &extents);
        ASSERT_GE(extents, 2u) << "the file did not spread over several records";
        ASSERT_EQ(data.size(), (expected.size() + 4095) / 4096 * 4096);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.begin())) << "type " << type;

        // The restore expects the extents' sets: the file comes back whole.
        std::string target = out.file("sdy1");
        MakeSparseFile(target, 12 << 20);
        ASSERT_EQ(RestoreNtfsImage(out.file("img_0_0.bkp"), target), 0);
        std::vector<uint8_t> restored;
        ASSERT_TRUE(NtfsCat(target, "/fragmented.bin", &restored));
        EXPECT_EQ(restored, expected) << "type " << type;
    }
}
