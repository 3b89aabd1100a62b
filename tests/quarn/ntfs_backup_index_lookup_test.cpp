// Directory look-ups through the NTFS index (GetFileRecordNo) on an
// ntfs-3g-made volume, judged by ntfsinfo's record numbers, and on damaged
// index data.
#include "quarn/ntfs/part_ntfs_backup.h"
#include "support/ntfs_fixture.h"
#include "fslayout/ntfs_layout.h"
#include "support/ntfs_suite.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

using namespace testsupport;

namespace {

constexpr unsigned kRootDirectory = 5;
constexpr int kNotFound = -1;

std::vector<NtfsFileSpec> BootFiles()
{
    std::vector<NtfsFileSpec> files = {
        {"Boot/BCD", PatternBytes(20000, 1)},
        {"Boot/BCD.LOG", PatternBytes(3000, 2)},
        {"Tiny/BCD", PatternBytes(100, 3)},
        {"Efi", PatternBytes(10, 4)},
    };
    // Enough names that the folder's index leaves its record for index blocks.
    for (int i = 0; i < 120; ++i)
        files.push_back({"Boot/a rather long file name to fill index blocks " + std::to_string(i) + ".txt",
                         PatternBytes(10, uint32_t(i))});
    return files;
}

// A backup job opened on a partition with its MFT read, ready for look-ups.
class Lookup {
public:
    int Open(const std::string& partition)
    {
        tagBackupArgument arg;
        arg.srcPartition = partition;
        arg.imagePath = m_dir.file("img");
        arg.fsType = FS_TYPE_NTFS;
        m_job.reset(new CPartNtfsBackup(arg, tagCallBackFunc(), nullptr, 0));
        int result = m_job->BackupInit();
        return result != 0 ? result : m_job->ProcMFT();
    }
    int Find(unsigned directory, const std::string& name, bool directoriesOnly, unsigned* out)
    {
        return m_job->GetFileRecordNo(directory, name, out, directoriesOnly);
    }

private:
    TempDir m_dir;
    std::unique_ptr<CPartNtfsBackup> m_job;
};

class NtfsIndexLookupTest : public NtfsSuiteTest<NtfsIndexLookupTest> {
public:
    static bool Build(const std::string& part, const std::string& dir, std::string* log)
    {
        return MakeNtfsPartition(part, 16 << 20, log) && FillNtfsPartition(part, dir, BootFiles(), log);
    }
};

QUARN_SHARED_FIXTURE(NtfsSuiteTest<NtfsIndexLookupTest>::MakeFixture)

// The byte offset in the partition of every index block of a directory.
Ntfs::BootGeometry Geometry(const std::vector<uint8_t>& part)
{
    tagNTFS_BOOT_SECTOR boot;
    std::memcpy(&boot, part.data(), sizeof boot);
    Ntfs::BootGeometry geometry;
    EXPECT_TRUE(Ntfs::ReadBootGeometry(boot, &geometry));
    return geometry;
}

std::vector<uint64_t> IndexBlockOffsets(const std::vector<uint8_t>& part, uint64_t directory)
{
    const Ntfs::BootGeometry geometry = Geometry(part);
    std::vector<uint8_t> record(part.begin() + geometry.mftLcn * geometry.clusterBytes + directory * 1024,
                                part.begin() + geometry.mftLcn * geometry.clusterBytes + directory * 1024 +
                                    1024);
    EXPECT_TRUE(Ntfs::RemoveFixup(record.data(), 1024));
    std::vector<uint64_t> offsets;
    Ntfs::AttributeWalker walker(record.data(), 1024);
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type != Ntfs::ATTR_INDEX_ALLOCATION)
            continue;
        std::vector<tagDataRunList> runs;
        EXPECT_EQ(Ntfs::DecodeRunList(attr, &runs), Ntfs::RunListStatus::Ok);
        for (const auto& run : runs) {
            for (uint64_t byte = 0; byte < run.clusters * geometry.clusterBytes;
                 byte += geometry.indexRecordBytes)
                offsets.push_back(uint64_t(run.lcn) * geometry.clusterBytes + byte);
        }
    }
    return offsets;
}

}  // namespace

TEST_F(NtfsIndexLookupTest, NamesAreFoundAsNtfs3gNumbersThem)
{
    const int64_t boot = NtfsInodeOf(Partition(), "/Boot");
    const int64_t bootBcd = NtfsInodeOf(Partition(), "/Boot/BCD");
    const int64_t tinyBcd = NtfsInodeOf(Partition(), "/Tiny/BCD");
    ASSERT_GT(boot, 15);
    ASSERT_GT(bootBcd, 15);
    ASSERT_GT(tinyBcd, 15);
    std::vector<uint8_t> bytes = ReadFileBytes(Partition());
    ASSERT_FALSE(IndexBlockOffsets(bytes, uint64_t(boot)).empty()) << "Boot has no index blocks";

    Lookup lookup;
    ASSERT_EQ(lookup.Open(Partition()), 0);
    struct Case {
        unsigned directory;
        std::string name;
        bool directoriesOnly;
        int result;
        int64_t record;
    };
    const std::vector<Case> cases = {
        // A folder is followed by the search for "BCD" inside it.
        {kRootDirectory, "Boot", true, 0, bootBcd},
        {kRootDirectory, "Tiny", true, 0, tinyBcd},  // its index lives in the record alone
        {unsigned(boot), "BCD", false, 0, bootBcd},
        {unsigned(boot), "BCD", true, kNotFound, -1},  // a file, not a folder
        {kRootDirectory, "Efi", true, kNotFound, -1},
        {kRootDirectory, "Efi", false, kNotFound, -1},  // found, but a file holds no "BCD"
        {kRootDirectory, "boot", true, kNotFound, -1},  // names match exactly
        {kRootDirectory, "Missing", false, kNotFound, -1},
        {unsigned(bootBcd), "BCD", false, kNotFound, -1},  // not a folder at all
        {4000000, "BCD", false, kNotFound, -1},            // past the MFT
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.directory) + " " + c.name + (c.directoriesOnly ? " (folders)" : ""));
        unsigned out = 0xDEADBEEF;
        ASSERT_EQ(lookup.Find(c.directory, c.name, c.directoriesOnly, &out), c.result);
        if (c.result == 0) {
            EXPECT_EQ(out, uint64_t(c.record));
        }
    }
}

TEST_F(NtfsIndexLookupTest, DamagedIndexDataIsRefused)
{
    const int64_t boot = NtfsInodeOf(Partition(), "/Boot");
    ASSERT_GT(boot, 15);
    const std::vector<uint8_t> pristine = ReadFileBytes(Partition());
    const std::vector<uint64_t> blocks = IndexBlockOffsets(pristine, uint64_t(boot));
    ASSERT_FALSE(blocks.empty());
    const Ntfs::BootGeometry geometry = Geometry(pristine);
    const uint32_t blockBytes = geometry.indexRecordBytes;

    // Each damage is made to every index block of the folder, fixup undone
    // before and applied after, so that only the named field is wrong.
    auto inBlocks = [&](const std::function<void(uint8_t * block)>& change, bool keepFixup = true) {
        return [=, &blocks](std::vector<uint8_t>& part) {
            for (uint64_t at : blocks) {
                uint8_t* block = part.data() + at;
                if (keepFixup) {
                    ASSERT_TRUE(Ntfs::RemoveFixup(block, blockBytes));
                }
                change(block);
                if (keepFixup) {
                    ASSERT_TRUE(Ntfs::ApplyFixup(block, blockBytes));
                }
            }
        };
    };
    auto firstEntry = [](uint8_t* block) {
        tagINDEX_HEADER header;
        std::memcpy(&header, block + Ntfs::kIndexBlockHeaderBytes, sizeof header);
        return block + Ntfs::kIndexBlockHeaderBytes + header.entriesOffset;
    };
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const std::vector<Case> cases = {
        {"entry of length 0", inBlocks([&](uint8_t* block) { std::memset(firstEntry(block) + 8, 0, 2); })},
        {"entry longer than its block", inBlocks([&](uint8_t* block) {
             uint16_t length = 0xFFF8;
             std::memcpy(firstEntry(block) + 8, &length, 2);
         })},
        {"key longer than its entry", inBlocks([&](uint8_t* block) {
             uint16_t key = 0x7FF0;
             std::memcpy(firstEntry(block) + 10, &key, 2);
         })},
        {"name longer than its key", inBlocks([&](uint8_t* block) { firstEntry(block)[16 + 64] = 0xFF; })},
        {"entries past the block", inBlocks([&](uint8_t* block) {
             uint32_t offset = 0x7FFFFFF0;
             std::memcpy(block + Ntfs::kIndexBlockHeaderBytes, &offset, 4);
         })},
        {"no INDX magic", inBlocks([](uint8_t* block) { std::memcpy(block, "JUNK", 4); }, false)},
        {"update sequence that does not match", inBlocks([](uint8_t* block) { block[510] ^= 0x55; }, false)},
        {"folder record whose update sequence does not match",
         [&](std::vector<uint8_t>& part) {
             part[size_t(geometry.mftLcn * geometry.clusterBytes + uint64_t(boot) * 1024 + 510)] ^= 0x55;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::vector<uint8_t> damaged = pristine;
        c.damage(damaged);
        std::string part = dir.file("sdw1");
        WriteFileBytes(part, damaged);
        Lookup lookup;
        ASSERT_EQ(lookup.Open(part), 0);
        unsigned out = 0;
        // An absent name makes the search read every block.
        EXPECT_EQ(lookup.Find(unsigned(boot), "Missing", false, &out), ERR_PART_INFO);
    }
}

TEST_F(NtfsIndexLookupTest, BlocksTheIndexBitmapCallsFreeAreNotRead)
{
    const int64_t boot = NtfsInodeOf(Partition(), "/Boot");
    ASSERT_GT(boot, 15);
    std::vector<uint8_t> damaged = ReadFileBytes(Partition());
    const Ntfs::BootGeometry geometry = Geometry(damaged);
    // Every block unreadable as an index block...
    for (uint64_t at : IndexBlockOffsets(damaged, uint64_t(boot)))
        std::memcpy(damaged.data() + at, "JUNK", 4);
    // ...and every one free in the folder's index bitmap.
    uint8_t* record = damaged.data() + geometry.mftLcn * geometry.clusterBytes + uint64_t(boot) * 1024;
    ASSERT_TRUE(Ntfs::RemoveFixup(record, 1024));
    bool cleared = false;
    Ntfs::AttributeWalker walker(record, 1024);
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type == Ntfs::ATTR_BITMAP && !attr->nonResident) {
            std::memset(const_cast<uint8_t*>(Ntfs::ResidentValue(attr)), 0, attr->resident.valueLength);
            cleared = true;
        }
    }
    ASSERT_TRUE(cleared);
    ASSERT_TRUE(Ntfs::ApplyFixup(record, 1024));
    TempDir dir;
    WriteFileBytes(dir.file("sdw1"), damaged);
    Lookup lookup;
    ASSERT_EQ(lookup.Open(dir.file("sdw1")), 0);
    unsigned out = 0;
    EXPECT_EQ(lookup.Find(unsigned(boot), "Missing", false, &out), kNotFound);
}
