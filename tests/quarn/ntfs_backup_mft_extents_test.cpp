// An $MFT whose $DATA goes on in an extension record (record 0 holds an
// $ATTRIBUTE_LIST): the backup walks every record through all extents, a
// restore of the image passes ntfs-3g's checks, and extents that do not
// decode, loop or point outside the volume are refused.
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_image_reader.h"
#include "support/ntfs_jobs.h"
#include "fslayout/ntfs_layout.h"
#include "support/ntfs_restore_fixture.h"
#include "support/ntfs_suite.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr uint32_t kClusterBytes = 512;
constexpr uint32_t kRecordBytes = 1024;

// Writes a file through the mount; false once the volume is full.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool written = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && written;
}

// The partition's bytes with helpers to find and patch MFT records in the
// MFT's first extent (where the system files and the extension record lie).
class PartitionBytes {
public:
    explicit PartitionBytes(const std::string& path) : m_bytes(ReadFileBytes(path))
    {
        std::memcpy(&m_boot, m_bytes.data(), sizeof m_boot);
    }

    uint64_t MftOffset() const { return m_boot.mftLcn * kClusterBytes; }
    size_t RecordOffset(uint32_t n) const { return size_t(MftOffset() + uint64_t(n) * kRecordBytes); }

    // Record n with its fixup undone.
    std::vector<uint8_t> Record(uint32_t n) const
    {
        std::vector<uint8_t> record(m_bytes.begin() + RecordOffset(n),
                                    m_bytes.begin() + RecordOffset(n) + kRecordBytes);
        EXPECT_TRUE(Ntfs::RemoveFixup(record.data(), kRecordBytes)) << "record " << n;
        return record;
    }
    void PutRecord(uint32_t n, std::vector<uint8_t> record)
    {
        ASSERT_TRUE(Ntfs::ApplyFixup(record.data(), kRecordBytes));
        std::memcpy(m_bytes.data() + RecordOffset(n), record.data(), kRecordBytes);
    }
    // Offset within a record (fixup undone) of its first attribute of `type`.
    static size_t Attribute(const std::vector<uint8_t>& record, uint32_t type)
    {
        Ntfs::AttributeWalker walker(record.data(), kRecordBytes);
        while (const tagRECORD_ATTR* attr = walker.Next()) {
            if (attr->type == type)
                return size_t(reinterpret_cast<const uint8_t*>(attr) - record.data());
        }
        return 0;
    }
    // Byte offset in the partition of a non-resident attribute's first cluster.
    uint64_t FirstClusterOffset(const std::vector<uint8_t>& record, size_t attrOffset) const
    {
        std::vector<tagDataRunList> runs;
        const auto* attr = reinterpret_cast<const tagRECORD_ATTR*>(record.data() + attrOffset);
        EXPECT_EQ(Ntfs::DecodeRunList(attr, &runs), Ntfs::RunListStatus::Ok);
        return runs.empty() ? 0 : uint64_t(runs[0].lcn) * kClusterBytes;
    }

    std::vector<uint8_t>& bytes() { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    tagNTFS_BOOT_SECTOR m_boot{};
};

// Where the MFT's second extent is named and kept.
struct MftExtension {
    uint64_t listEntryOffset = 0;  // its entry in record 0's attribute list, in the partition
    uint32_t record = 0;           // the extension record
    uint64_t lowestVcn = 0;
    uint32_t firstExtentRecords = 0;
};

bool FindMftExtension(PartitionBytes& part, MftExtension* out)
{
    std::vector<uint8_t> base = part.Record(0);
    size_t data = PartitionBytes::Attribute(base, Ntfs::ATTR_DATA);
    size_t list = PartitionBytes::Attribute(base, Ntfs::ATTR_ATTRIBUTE_LIST);
    if (data == 0 || list == 0)
        return false;
    const auto* dataAttr = reinterpret_cast<const tagRECORD_ATTR*>(base.data() + data);
    out->firstExtentRecords = uint32_t((dataAttr->nonRes.highestVcn + 1) * kClusterBytes / kRecordBytes);
    const auto* listAttr = reinterpret_cast<const tagRECORD_ATTR*>(base.data() + list);
    const uint8_t* value = nullptr;
    uint64_t valueOffset = 0;
    uint64_t size = 0;
    if (listAttr->nonResident) {
        valueOffset = part.FirstClusterOffset(base, list);
        value = part.bytes().data() + valueOffset;
        size = listAttr->nonRes.dataSize;
    } else {
        value = Ntfs::ResidentValue(listAttr);
        size = listAttr->resident.valueLength;
    }
    for (uint64_t at = 0; at + sizeof(tagATTR_LIST_ENTRY) <= size;) {
        tagATTR_LIST_ENTRY entry;
        std::memcpy(&entry, value + at, sizeof entry);
        if (entry.length == 0)
            return false;
        if (entry.type == Ntfs::ATTR_DATA && entry.lowestVcn != 0) {
            // Patching the entry needs it in the partition's bytes, not in the record.
            if (!listAttr->nonResident)
                return false;
            out->listEntryOffset = valueOffset + at;
            out->record = uint32_t(entry.recordReference & Ntfs::kRecordNumberMask);
            out->lowestVcn = entry.lowestVcn;
            return true;
        }
        at += entry.length;
    }
    return false;
}

uint64_t FreeBytes(const std::string& mounted)
{
    struct statvfs st;
    return ::statvfs(mounted.c_str(), &st) == 0 ? uint64_t(st.f_bfree) * st.f_bsize : 0;
}

// An 8 MiB volume of 512-byte clusters nearly filled with 1 KiB files,
// every other one deleted, then given empty files in batches until the MFT,
// grown into the holes in many fragments, spreads its run list from record
// 0 into an extension record. (Filling the volume to the last cluster
// leaves ntfs-3g's index half written, so the fills stop short of it.)
// `files` receives what the volume holds.
bool MakeFragmentedMft(const std::string& part, const std::string& work, std::vector<NtfsFileSpec>* files,
                       std::string* log)
{
    if (!MakeNtfsPartition(part, 8 << 20, log, "-c 512 -s 512"))
        return false;
    files->clear();
    const std::string mountDir = work + "/fill-mnt";
    {
        NtfsMount mount(part, mountDir);
        if (!mount.ok()) {
            *log += mount.log();
            return false;
        }
        std::vector<NtfsFileSpec> written;
        for (uint32_t i = 0; i < 20000 && FreeBytes(mount.path()) > 32768; ++i) {
            written.push_back({"f" + std::to_string(i), PatternBytes(1024, i)});
            if (!WriteWholeFile(mount.path() + "/" + written.back().path, written.back().data)) {
                *log += "cannot write " + written.back().path + "\n";
                return false;
            }
        }
        for (size_t i = 0; i < written.size(); ++i) {
            if (i % 2 == 1)
                files->push_back(written[i]);
            else if (::unlink((mount.path() + "/" + written[i].path).c_str()) != 0)
                return false;
        }
        if (!mount.Unmount()) {
            *log += mount.log();
            return false;
        }
    }
    uint32_t empties = 0;
    for (uint32_t batch = 1800; empties < 2600; batch = 100) {
        NtfsMount mount(part, mountDir);
        if (!mount.ok()) {
            *log += mount.log();
            return false;
        }
        for (uint32_t end = empties + batch; empties < end; ++empties) {
            files->push_back({"e" + std::to_string(empties), {}});
            if (!WriteWholeFile(mount.path() + "/" + files->back().path, {})) {
                *log += "cannot create " + files->back().path + "\n";
                return false;
            }
        }
        if (!mount.Unmount()) {
            *log += mount.log();
            return false;
        }
        PartitionBytes bytes(part);
        MftExtension extension;
        if (FindMftExtension(bytes, &extension))
            return true;
    }
    *log += "the MFT did not spread into an extension record\n";
    return false;
}

class NtfsMftExtentsTest : public NtfsSuiteTest<NtfsMftExtentsTest> {
public:
    static bool ToolsInstalled()
    {
        return HaveProgram("ntfsresize") && HaveProgram("ntfsfix") && HaveProgram("ntfsls");
    }
    static bool Build(const std::string& part, const std::string& dir, std::string* log)
    {
        return MakeFragmentedMft(part, dir, &Files(), log);
    }
    // What the suite's partition holds.
    static std::vector<NtfsFileSpec>& Files()
    {
        static std::vector<NtfsFileSpec> files;
        return files;
    }

protected:
    void SetUp() override
    {
        NtfsSuiteTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        PartitionBytes part(Partition());
        ASSERT_TRUE(FindMftExtension(part, &m_extension))
            << "the fixture's MFT did not spread into an extension record";
        ASSERT_NE(m_extension.record, 0u);
        ASSERT_LT(m_extension.record, m_extension.firstExtentRecords);
    }

    MftExtension m_extension;
};

QUARN_SHARED_FIXTURE(NtfsSuiteTest<NtfsMftExtentsTest>::MakeFixture)

// Every file of `files` reads back through a mount of `partition`.
std::string CompareMountedFiles(const std::string& partition, const std::string& mountDir,
                                const std::vector<NtfsFileSpec>& files)
{
    NtfsMount mount(partition, mountDir);
    if (!mount.ok())
        return "mount failed: " + mount.log();
    for (const auto& file : files) {
        std::string path = mount.path() + "/" + file.path;
        if (!FileExists(path))
            return file.path + " is missing";
        if (ReadFileBytes(path) != file.data)
            return file.path + " differs";
    }
    return mount.Unmount() ? std::string() : "unmount failed: " + mount.log();
}

}  // namespace

TEST_F(NtfsMftExtentsTest, EveryRecordIsStoredThroughAllExtents)
{
    // ntfs-3g's reading of the whole MFT, through every extent.
    std::vector<uint8_t> mft;
    ASSERT_TRUE(NtfsCatInode(Partition(), 0, &mft));
    std::vector<uint8_t> mftBitmap;
    {
        TempDir dir;
        CommandResult r = testsupport::Run("ntfscat -i 0 -a BITMAP " + Quote(Partition()) + " > " +
                                           Quote(dir.file("bitmap")));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        mftBitmap = ReadFileBytes(dir.file("bitmap"));
    }
    const uint32_t count = uint32_t(std::min<uint64_t>(mft.size() / kRecordBytes, mftBitmap.size() * 8));
    ASSERT_GT(count, m_extension.firstExtentRecords) << "no record lies beyond the first extent";

    for (int type : {0, 2}) {
        SCOPED_TRACE("compression type " + std::to_string(type));
        TempDir out;
        ASSERT_EQ(BackupNtfsImage(Partition(), out.file("img"), type, type == 2 ? 512 << 10 : ~0ULL), 0);
        NtfsImage image;
        std::string error;
        ASSERT_TRUE(ReadNtfsImage(out.file("img_0_0.bkp"), &image, &error)) << error;
        ASSERT_EQ(image.info.recordCount, count);
        ASSERT_EQ(image.records.size(), size_t(count));
        ASSERT_EQ(image.summaries.size(), size_t(count));
        uint32_t inUseBeyondFirstExtent = 0;
        for (uint32_t n = 0; n < count; ++n) {
            const ImageRecordEntry& entry = image.records[n];
            ASSERT_EQ(entry.number, n);
            // ntfscat shows records with their update sequence undone.
            std::vector<uint8_t> fixed = entry.raw;
            if (Ntfs::HasFileMagic(fixed.data())) {
                ASSERT_TRUE(Ntfs::RemoveFixup(fixed.data(), kRecordBytes)) << "record " << n;
            }
            ASSERT_TRUE(std::equal(fixed.begin(), fixed.end(), mft.begin() + size_t(n) * kRecordBytes))
                << "record " << n;
            if (n >= m_extension.firstExtentRecords && image.InUse(n))
                ++inUseBeyondFirstExtent;
        }
        EXPECT_GT(inUseBeyondFirstExtent, 0u);
        // The MFT's later extent is the MFT's own: records, not a data set.
        const ImageRecordEntry* extension = image.Record(m_extension.record);
        ASSERT_NE(extension, nullptr);
        EXPECT_TRUE(extension->sets.empty());
        // The 1 KiB files' data sets hold their bytes.
        for (const auto& file : Files()) {
            if (file.data.empty() || file.path != "f1")
                continue;
            int64_t inode = NtfsInodeOf(Partition(), "/" + file.path);
            ASSERT_GT(inode, 15);
            const ImageRecordEntry* entry = image.Record(uint32_t(inode));
            ASSERT_NE(entry, nullptr);
            ASSERT_EQ(entry->sets.size(), 1u);
            EXPECT_EQ(entry->sets[0].plain, file.data);
        }
    }
}

TEST_F(NtfsMftExtentsTest, RestoredVolumePassesNtfs3gChecks)
{
    TempDir out;
    ASSERT_EQ(BackupNtfsImage(Partition(), out.file("img"), 1), 0);
    const std::string tree = NtfsTree(Partition());
    ASSERT_FALSE(tree.empty());
    // The source is nearly full, and a fresh layout keeps room for the MFT
    // to grow and around the mirror: larger targets.
    for (uint64_t size : {uint64_t(10) << 20, uint64_t(20) << 20}) {
        SCOPED_TRACE("target of " + std::to_string(size) + " bytes");
        std::string target = out.file("sdy1");
        MakeSparseFile(target, size);
        ASSERT_EQ(RestoreNtfsImage(out.file("img_0_0.bkp"), target), 0);
        EXPECT_EQ(FileSize(target), size);
        EXPECT_EQ(NtfsCheckProblems(target), "");
        EXPECT_EQ(NtfsTree(target), tree);
        EXPECT_EQ(CompareMountedFiles(target, out.file("mnt"), Files()), "");
        // The restored MFT still goes on in the extension record, and
        // ntfs-3g reads it whole.
        std::vector<uint8_t> mft;
        ASSERT_TRUE(NtfsCatInode(target, 0, &mft));
        PartitionBytes restored(target);
        MftExtension extension;
        ASSERT_TRUE(FindMftExtension(restored, &extension));
        EXPECT_EQ(extension.record, m_extension.record);
        EXPECT_EQ(extension.lowestVcn, m_extension.lowestVcn);
        ::unlink(target.c_str());
    }
}

TEST_F(NtfsMftExtentsTest, ExtentsThatDoNotDecodeLoopOrLeaveTheVolumeAreRefused)
{
    const MftExtension ext = m_extension;
    struct Case {
        const char* what;
        std::function<void(PartitionBytes&)> damage;
    };
    auto patchListEntry = [ext](PartitionBytes& part, size_t field, uint64_t value) {
        std::memcpy(part.bytes().data() + ext.listEntryOffset + field, &value, 8);
    };
    auto patchExtensionData = [ext](PartitionBytes& part,
                                    const std::function<void(tagRECORD_ATTR*)>& change) {
        std::vector<uint8_t> record = part.Record(ext.record);
        size_t data = PartitionBytes::Attribute(record, Ntfs::ATTR_DATA);
        ASSERT_NE(data, 0u);
        change(reinterpret_cast<tagRECORD_ATTR*>(record.data() + data));
        part.PutRecord(ext.record, record);
    };
    const std::vector<Case> cases = {
        {"run list that does not decode",
         [&](PartitionBytes& part) {
             patchExtensionData(part, [](tagRECORD_ATTR* attr) {
                 reinterpret_cast<uint8_t*>(attr)[attr->nonRes.runListOffset] = 0xFF;
             });
         }},
        {"run pointing past the volume",
         [&](PartitionBytes& part) {
             patchExtensionData(part, [](tagRECORD_ATTR* attr) {
                 // One run of the extent's clusters far past the volume's end.
                 uint8_t* run = reinterpret_cast<uint8_t*>(attr) + attr->nonRes.runListOffset;
                 uint64_t clusters = Ntfs::ExtentClusters(attr);
                 ASSERT_LT(clusters, 0x10000u);
                 const uint8_t list[] = {
                     0x42, uint8_t(clusters), uint8_t(clusters >> 8), 0xF0, 0xFF, 0xFF, 0x0F, 0};
                 ASSERT_LE(attr->nonRes.runListOffset + sizeof list, attr->length);
                 std::memcpy(run, list, sizeof list);
             });
         }},
        {"extent that leaves a gap",
         [&](PartitionBytes& part) {
             patchExtensionData(part, [](tagRECORD_ATTR* attr) {
                 attr->nonRes.lowestVcn += 2;
                 attr->nonRes.highestVcn += 2;
             });
             patchListEntry(part, offsetof(tagATTR_LIST_ENTRY, lowestVcn), ext.lowestVcn + 2);
         }},
        {"extent that loops back to record 0",
         [&](PartitionBytes& part) {
             patchListEntry(part, offsetof(tagATTR_LIST_ENTRY, recordReference), 0);
         }},
        {"extension record beyond the first extent",
         [&](PartitionBytes& part) {
             patchListEntry(part, offsetof(tagATTR_LIST_ENTRY, recordReference), ext.firstExtentRecords + 5);
         }},
        {"extension record of another file",
         [&](PartitionBytes& part) {
             std::vector<uint8_t> record = part.Record(ext.record);
             uint64_t base = 5;
             std::memcpy(record.data() + offsetof(tagFILE_RECORD_HEADER, baseRecord), &base, 8);
             part.PutRecord(ext.record, record);
         }},
        {"extension record that names no such extent",
         [&](PartitionBytes& part) {
             patchListEntry(part, offsetof(tagATTR_LIST_ENTRY, recordReference), 5);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        PartitionBytes part(Partition());
        c.damage(part);
        std::string damaged = dir.file("sdw1");
        WriteFileBytes(damaged, part.bytes());
        EXPECT_EQ(BackupNtfsImage(damaged, dir.file("img")), ERR_PART_INFO);
    }
}
