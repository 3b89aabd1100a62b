// NTFS backups of hand-damaged sources end with the engine's codes, never a
// crash, a hang or an unbounded allocation (run under AddressSanitizer).
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "fslayout/ntfs_layout.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace testsupport;

namespace {

int Backup(const std::string& source, const std::string& base)
{
    tagBackupArgument arg;
    arg.srcPartition = source;
    arg.imagePath = base;
    arg.fsType = FS_TYPE_NTFS;
    arg.compressType = 1;
    return backup_ntfs(arg, tagCallBackFunc{}, nullptr, 0);
}

template <typename T>
void Put(std::vector<uint8_t>& bytes, size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// Where things lie in the pristine fixture (its MFT is one run).
struct Layout {
    size_t mft = 0;            // byte offset of record 0
    size_t fileRecord = 0;     // byte offset of the big file's record
    size_t fileDataAttr = 0;   // its $DATA attribute
    size_t mftDataAttr = 0;    // record 0's $DATA attribute
    size_t mftBitmapAttr = 0;  // record 0's $BITMAP attribute
};

size_t FindAttribute(const std::vector<uint8_t>& part, size_t record, uint32_t type)
{
    std::vector<uint8_t> fixed(part.begin() + long(record), part.begin() + long(record) + 1024);
    if (!Ntfs::RemoveFixup(fixed.data(), 1024))
        return 0;
    Ntfs::AttributeWalker walker(fixed.data(), 1024);
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type == type)
            return record + size_t(reinterpret_cast<const uint8_t*>(attr) - fixed.data());
    }
    return 0;
}

class NtfsDamageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveNtfsTools())
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
        std::string log;
        m_part = m_dir.file("sdz1");
        ASSERT_TRUE(MakeNtfsPartition(m_part, 8 << 20, &log)) << log;
        ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/big.bin", PatternBytes(300000, 3), &log)) << log;
        ASSERT_TRUE(NtfsCopyIn(m_part, m_dir.path(), "/small.txt", PatternBytes(30, 4), &log)) << log;
        int64_t inode = NtfsInodeOf(m_part, "/big.bin");
        ASSERT_GT(inode, 15);
        m_pristine = ReadFileBytes(m_part);
        uint64_t lcn;
        std::memcpy(&lcn, m_pristine.data() + 48, 8);
        m_layout.mft = size_t(lcn) * 4096;
        m_layout.fileRecord = m_layout.mft + size_t(inode) * 1024;
        m_layout.fileDataAttr = FindAttribute(m_pristine, m_layout.fileRecord, 0x80);
        m_layout.mftDataAttr = FindAttribute(m_pristine, m_layout.mft, 0x80);
        m_layout.mftBitmapAttr = FindAttribute(m_pristine, m_layout.mft, 0xB0);
        ASSERT_NE(m_layout.fileDataAttr, 0u);
        ASSERT_NE(m_layout.mftDataAttr, 0u);
        ASSERT_NE(m_layout.mftBitmapAttr, 0u);
    }

    TempDir m_dir;
    std::string m_part;
    std::vector<uint8_t> m_pristine;
    Layout m_layout;
};

}  // namespace

TEST_F(NtfsDamageTest, PristineFixtureBacksUp)
{
    EXPECT_EQ(Backup(m_part, m_dir.file("img")), 0);
}

TEST_F(NtfsDamageTest, DamagedSourcesEndWithTheirCodes)
{
    using Damage = std::function<void(std::vector<uint8_t>&, const Layout&)>;
    struct Case {
        const char* name;
        Damage apply;
        int expected;
    } cases[] = {
        {"no NTFS boot sector", [](std::vector<uint8_t>& b, const Layout&) { Put<uint16_t>(b, 11, 0); },
         ERR_PART_INFO},
        {"first MFT record without FILE", [](std::vector<uint8_t>& b, const Layout& l) { b[l.mft] = 'X'; },
         ERR_PART_INFO},
        {"first MFT record's update sequence broken",
         [](std::vector<uint8_t>& b, const Layout& l) { b[l.mft + 1022] ^= 0x55; }, ERR_PART_INFO},
        {"a file record's update sequence broken",
         [](std::vector<uint8_t>& b, const Layout& l) { b[l.fileRecord + 510] ^= 0x55; }, ERR_PART_INFO},
        {"run list with an oversized header",
         [](std::vector<uint8_t>& b, const Layout& l) {
             uint16_t runs;
             std::memcpy(&runs, &b[l.fileDataAttr + 32], 2);
             b[l.fileDataAttr + runs] = 0x9F;
         },
         ERR_PART_INFO},
        {"run list past the partition",
         [](std::vector<uint8_t>& b, const Layout& l) {
             uint16_t runs;
             std::memcpy(&runs, &b[l.fileDataAttr + 32], 2);
             // 0x4A clusters (the file's own length) at cluster 0x100000.
             const uint8_t past[] = {0x31, 0x4A, 0x00, 0x00, 0x10, 0x00};
             std::memcpy(&b[l.fileDataAttr + runs], past, sizeof past);
         },
         ERR_PART_INFO},
        {"run list going below cluster 0",
         [](std::vector<uint8_t>& b, const Layout& l) {
             uint16_t runs;
             std::memcpy(&runs, &b[l.fileDataAttr + 32], 2);
             const uint8_t negative[] = {0x21, 0x50, 0x00, 0x80, 0x00};
             std::memcpy(&b[l.fileDataAttr + runs], negative, sizeof negative);
         },
         ERR_PART_INFO},
        {"record count of 0",
         [](std::vector<uint8_t>& b, const Layout& l) { Put<uint64_t>(b, l.mftDataAttr + 40, 0); },
         ERR_PART_INFO},
        {"hostile MFT bitmap size",
         [](std::vector<uint8_t>& b, const Layout& l) { Put<uint64_t>(b, l.mftBitmapAttr + 40, 1ull << 40); },
         ERR_PART_INFO},
        {"attribute length past the record",
         [](std::vector<uint8_t>& b, const Layout& l) { Put<uint32_t>(b, l.fileDataAttr + 4, 0x7FFFFFF8); },
         ERR_PART_INFO},
        {"truncated device", [](std::vector<uint8_t>& b, const Layout&) { b.resize(b.size() / 4); },
         ERR_READ_PART},
        {"empty device", [](std::vector<uint8_t>& b, const Layout&) { b.clear(); }, ERR_READ_PART},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = m_pristine;
        c.apply(bytes, m_layout);
        std::string damaged = m_dir.file("sdy1");
        WriteFileBytes(damaged, bytes);
        EXPECT_EQ(Backup(damaged, m_dir.file("img")), c.expected) << c.name;
    }
}

TEST_F(NtfsDamageTest, FileRecordsOtherThan1024BytesAreRefusedBeforeAnyVolumeIsWritten)
{
    // 4096-byte records, as on 4K-sector disks: the boot sector's byte 64
    // holds -12 (2^12 bytes).
    for (int8_t encoded : {int8_t(-12), int8_t(1), int8_t(-11)}) {
        std::vector<uint8_t> bytes = m_pristine;
        bytes[64] = uint8_t(encoded);
        std::string damaged = m_dir.file("sdx1");
        WriteFileBytes(damaged, bytes);
        TempDir out;
        EXPECT_EQ(Backup(damaged, out.file("img")), ERR_PART_INFO) << int(encoded);
        EXPECT_FALSE(FileExists(out.file("img_0_0.bkp"))) << int(encoded);
    }
}

TEST_F(NtfsDamageTest, MissingSourceAndUnwritableImage)
{
    EXPECT_EQ(Backup(m_dir.file("nothing"), m_dir.file("img")), ERR_OPEN_PART);
    EXPECT_EQ(Backup(m_part, m_dir.file("no/such/dir/img")), ERR_OPEN_FILE);
}
