// Deleted-file recovery over volumes made by ntfs-3g: files written through
// an ntfs-3g mount and removed there are found by a scan of the simulated
// machine's drive and recovered byte for byte; damaged records, records in
// use and recoveries without a scan are handled.
#include "support/ntfs_fixture.h"
#include "platform/windows_engine/ntfs_recover.h"
#include "platform/windows/simulated_platform.h"
#include "support/test_support.h"
#include "win/support/test_system.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "quarn/api/quarn.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>
#include <fstream>
#include <map>

using namespace testsupport;

namespace {

constexpr uint64_t kPartBytes = 32ull << 20;
constexpr uint64_t kPartStart = 1ull << 20;

// A machine with one NTFS partition E: on disk 0 and a drive C: of files.
class RecoverMachine {
public:
    RecoverMachine() : m_previous(winplat::currentPlatform())
    {
        m_ok = sim::makeDisk(m_folder, 0, 40, "label: dos\nstart=2048, size=65536, type=7\n");
        sim::writeText(m_folder, "drives.txt",
                       "Letter=C\nType=fixed\nFileSystem=NTFS\n\n"
                       "Letter=E\nType=fixed\nDisk=0\nOffset=1048576\nFileSystem=NTFS\n");
        sim::writeText(m_folder, "system.txt", "Version=6.1\nProductType=1\nUtcOffsetMinutes=0\n");
        std::filesystem::create_directories(m_folder + "/fs/c/out");
        m_platform = std::make_shared<winplat::SimulatedPlatform>(m_folder);
        winplat::setCurrentPlatform(m_platform);
    }
    ~RecoverMachine()
    {
        winplat::setCurrentPlatform(m_previous);
        sim::removeMachine(m_folder);
    }
    bool ok() const { return m_ok; }
    std::string disk() const { return m_folder + "/disks/PhysicalDrive0"; }
    std::string host(const std::string& windowsPath) const
    {
        return m_platform->hostPath(std::u16string(windowsPath.begin(), windowsPath.end()));
    }
    bool putPartition(const std::string& file) const
    {
        std::vector<uint8_t> bytes = ReadFileBytes(file);
        bytes.resize(kPartBytes, 0);
        std::fstream out(disk(), std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(std::streamoff(kPartStart));
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return bool(out);
    }
    std::vector<uint8_t> diskBytes(uint64_t offset, size_t count) const
    {
        std::vector<uint8_t> bytes(count);
        std::ifstream in(disk(), std::ios::binary);
        in.seekg(std::streamoff(offset));
        in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(count));
        return bytes;
    }
    void writeDiskBytes(uint64_t offset, const std::vector<uint8_t>& bytes) const
    {
        std::fstream out(disk(), std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(std::streamoff(offset));
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

private:
    std::shared_ptr<winplat::Platform> m_previous;
    std::shared_ptr<winplat::SimulatedPlatform> m_platform;
    std::string m_folder = sim::makeMachine();
    bool m_ok = false;
};

struct ScanLog {
    std::vector<QStringList> rows;
    std::vector<int> percents;
    int cancelAt = -1;  // answer non-zero from this percentage on
};

void FoundFile(QStringList row, void* user)
{
    static_cast<ScanLog*>(user)->rows.push_back(row);
}

int Progress(int percent, void* user)
{
    ScanLog* log = static_cast<ScanLog*>(user);
    log->percents.push_back(percent);
    return log->cancelAt >= 0 && percent >= log->cancelAt ? 1 : 0;
}

int RecoverProgress(int, void*)
{
    return 0;
}

tagCallBackFuncForRecover CallbacksFor(ScanLog* log)
{
    return tagCallBackFuncForRecover{FoundFile, Progress, log};
}

// The deleted files of the volume each test starts from, by name.
struct DeletedFile {
    std::string name;
    std::vector<uint8_t> data;
    uint64_t record = 0;
};

class NtfsRecoverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!NtfsMountUsable())
            SKIP_OR_FAIL_IN_CI("an ntfs-3g mount does not work here");
        ASSERT_TRUE(machine.ok());
        const std::string part = dir.file("part");
        std::string log;
        ASSERT_TRUE(MakeNtfsPartition(part, kPartBytes, &log)) << log;
        files = {{"large.bin", PatternBytes(300 * 1024 + 123, 7)},
                 {"resident.txt", PatternBytes(200, 8)},
                 {"streamed.bin", PatternBytes(9000, 9)},
                 {"odd.bin", PatternBytes(4097, 10)}};
        {
            NtfsMount mount(part, dir.file("mnt"));
            ASSERT_TRUE(mount.ok()) << mount.log();
            for (DeletedFile& file : files) {
                const std::string path = mount.path() + "/" + file.name;
                WriteFileBytes(path, file.data);
                struct stat st {};
                ASSERT_EQ(::stat(path.c_str(), &st), 0);
                file.record = st.st_ino;
            }
            // A named stream beside the unnamed one (non-resident; an extended
            // attribute holds at most 64 KiB), and a second, resident one.
            const std::string streamed = mount.path() + "/streamed.bin";
            const std::vector<uint8_t> named = PatternBytes(60000, 11);
            haveStreams = ::setxattr(streamed.c_str(), "user.extra", named.data(), named.size(), 0) == 0 &&
                          ::setxattr(streamed.c_str(), "user.tiny", "abc", 3, 0) == 0;
            WriteFileBytes(mount.path() + "/kept.txt", PatternBytes(5000, 12));
            struct stat st {};
            ASSERT_EQ(::stat((mount.path() + "/kept.txt").c_str(), &st), 0);
            keptRecord = st.st_ino;
            std::filesystem::create_directory(mount.path() + "/gone_dir");
            WriteFileBytes(mount.path() + "/gone_dir/inner.bin", PatternBytes(3000, 13));
            for (const DeletedFile& file : files)
                ASSERT_TRUE(std::filesystem::remove(mount.path() + "/" + file.name));
            std::filesystem::remove_all(mount.path() + "/gone_dir");
            ASSERT_TRUE(mount.Unmount());
        }
        ASSERT_TRUE(machine.putPartition(part));
    }

    const DeletedFile& named(const std::string& name) const
    {
        for (const DeletedFile& file : files) {
            if (file.name == name)
                return file;
        }
        throw std::runtime_error(name);
    }

    std::map<QString, QStringList> scan(unsigned long* result, ScanLog* log = nullptr)
    {
        ScanLog own;
        ScanLog& l = log ? *log : own;
        *result = recover.ScanPartition("E:\\", CallbacksFor(&l));
        std::map<QString, QStringList> byName;
        for (const QStringList& row : l.rows)
            byName[row.value(FoundFileRow::Name)] = row;
        return byName;
    }

    RecoverMachine machine;
    TempDir dir;
    NTFSRecover recover;
    std::vector<DeletedFile> files;
    uint64_t keptRecord = 0;
    bool haveStreams = false;
};

TEST_F(NtfsRecoverTest, DeletedFilesAreListedAndRecoveredByteForByte)
{
    unsigned long result = 1;
    ScanLog log;
    const auto rows = scan(&result, &log);
    ASSERT_EQ(result, 0u);
    for (const DeletedFile& file : files) {
        SCOPED_TRACE(file.name);
        ASSERT_EQ(rows.count(QString::fromStdString(file.name)), 1u);
        const QStringList& row = rows.at(QString::fromStdString(file.name));
        ASSERT_EQ(row.size(), int(FoundFileRow::ColumnCount));
        EXPECT_EQ(row[FoundFileRow::Record].toULongLong(), file.record);
        EXPECT_EQ(row[FoundFileRow::Size], NTFSRecover::SizeText(file.data.size()));
        EXPECT_EQ(row[FoundFileRow::Integrity], "100%");
        EXPECT_TRUE(QRegularExpression("^[0-9]{4}-[1-9][0-9]?-[1-9][0-9]? [0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2}$")
                        .match(row[FoundFileRow::Time])
                        .hasMatch())
            << row[FoundFileRow::Time].toStdString();

        const std::string out = "C:\\out\\" + file.name;
        ASSERT_EQ(recover.RecoverFile(file.record, out, RecoverProgress), 0u);
        // Only the unnamed stream, exactly its size, named streams left out.
        EXPECT_EQ(ReadFileBytes(machine.host(out)), file.data);
    }
    EXPECT_TRUE(haveStreams) << "the named streams could not be made; the stream case was not tried";
    // Neither the kept file nor the deleted directory is listed; a file in
    // the deleted directory is.
    EXPECT_EQ(rows.count("kept.txt"), 0u);
    EXPECT_EQ(rows.count("gone_dir"), 0u);
    EXPECT_EQ(rows.count("inner.bin"), 1u);
    // Whole percentages, rising, never past 100.
    ASSERT_FALSE(log.percents.empty());
    for (size_t i = 0; i < log.percents.size(); ++i) {
        EXPECT_EQ(log.percents[i], int(i) + 1);
        EXPECT_LE(log.percents[i], 100);
    }
}

TEST_F(NtfsRecoverTest, RecoverFailsWithoutScanForRecordsInUseAndPastTheEnd)
{
    const std::string out = "C:\\out\\x.bin";
    EXPECT_EQ(recover.RecoverFile(named("large.bin").record, out, RecoverProgress), NTFSRecover::kFailed);
    EXPECT_FALSE(FileExists(machine.host(out)));

    unsigned long result = 1;
    scan(&result);
    ASSERT_EQ(result, 0u);
    for (unsigned long record : {0ul, 5ul, (unsigned long)keptRecord, 0xFFFFFFul}) {
        SCOPED_TRACE(record);
        EXPECT_EQ(recover.RecoverFile(record, out, RecoverProgress), NTFSRecover::kFailed);
        EXPECT_FALSE(FileExists(machine.host(out)));
    }
}

TEST_F(NtfsRecoverTest, DamagedRecordIsSkippedAndTheScanGoesOn)
{
    unsigned long result = 1;
    scan(&result);
    ASSERT_EQ(result, 0u);
    // Break the update sequence of the resident file's record: the last two
    // bytes of its first sector no longer match the sequence number.
    const uint64_t record = named("resident.txt").record;
    // The MFT of a fresh small volume is contiguous from its boot sector's
    // MFT cluster; records are 1 KiB.
    const std::vector<uint8_t> boot = machine.diskBytes(kPartStart, 512);
    uint64_t mftLcn = 0;
    std::memcpy(&mftLcn, boot.data() + 0x30, 8);
    const uint64_t clusterBytes = uint64_t(boot[0x0B] | (boot[0x0C] << 8)) * boot[0x0D];
    const uint64_t at = kPartStart + mftLcn * clusterBytes + record * 1024 + 510;
    std::vector<uint8_t> tail = machine.diskBytes(at, 2);
    tail[0] ^= 0xFF;
    machine.writeDiskBytes(at, tail);

    NTFSRecover again;
    ScanLog log;
    result = again.ScanPartition("E:\\", CallbacksFor(&log));
    EXPECT_EQ(result, 0u);
    std::vector<QString> names;
    for (const QStringList& row : log.rows)
        names.push_back(row[FoundFileRow::Name]);
    EXPECT_EQ(std::count(names.begin(), names.end(), "resident.txt"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "large.bin"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "odd.bin"), 1);
    EXPECT_EQ(again.RecoverFile(record, "C:\\out\\r.txt", RecoverProgress),
              static_cast<unsigned long>(ERR_PART_INFO));
}

TEST_F(NtfsRecoverTest, FailedCopyLeavesNoPartialFile)
{
    // The unnamed $DATA of the large file claims more bytes than its runs
    // hold: the copy fails after its first pieces and takes its file back.
    const uint64_t record = named("large.bin").record;
    const std::vector<uint8_t> boot = machine.diskBytes(kPartStart, 512);
    uint64_t mftLcn = 0;
    std::memcpy(&mftLcn, boot.data() + 0x30, 8);
    const uint64_t clusterBytes = uint64_t(boot[0x0B] | (boot[0x0C] << 8)) * boot[0x0D];
    const uint64_t at = kPartStart + mftLcn * clusterBytes + record * 1024;
    std::vector<uint8_t> bytes = machine.diskBytes(at, 512);
    uint32_t offset = bytes[20] | (bytes[21] << 8);
    bool patched = false;
    while (offset + 64 <= 510) {
        uint32_t type = 0, length = 0;
        std::memcpy(&type, &bytes[offset], 4);
        std::memcpy(&length, &bytes[offset + 4], 4);
        if (type == 0xFFFFFFFF || length == 0)
            break;
        if (type == 0x80 && bytes[offset + 8] == 1 && bytes[offset + 9] == 0) {
            const uint64_t huge = 1ull << 30;
            std::memcpy(&bytes[offset + 48], &huge, 8);
            patched = true;
            break;
        }
        offset += length;
    }
    ASSERT_TRUE(patched);
    machine.writeDiskBytes(at, bytes);

    unsigned long result = 1;
    scan(&result);
    ASSERT_EQ(result, 0u);
    const std::string out = "C:\\out\\large.bin";
    EXPECT_EQ(recover.RecoverFile(record, out, RecoverProgress), static_cast<unsigned long>(ERR_READ_PART));
    EXPECT_FALSE(FileExists(machine.host(out)));
}

TEST_F(NtfsRecoverTest, CancelEndsTheScanWith97AndFilesFoundStayRecoverable)
{
    ScanLog log;
    log.cancelAt = 50;
    unsigned long result = 0;
    scan(&result, &log);
    EXPECT_EQ(result, 97u);
    EXPECT_EQ(log.percents.back(), 50);
    // A second scan of another drive letter that has no volume fails, and
    // forgets the first.
    EXPECT_EQ(recover.ScanPartition("Q:\\", CallbacksFor(&log)), static_cast<unsigned long>(ERR_OPEN_PART));
    EXPECT_EQ(recover.RecoverFile(named("large.bin").record, "C:\\out\\l.bin", RecoverProgress),
              NTFSRecover::kFailed);
}

// A caller's callback that throws ends the scan and the copy with a code,
// not by crossing the library's entry points.
TEST_F(NtfsRecoverTest, AThrowingCallbackEndsTheScanAndTheCopyWithACode)
{
    tagCallBackFuncForRecover throwing{};
    throwing.progress = [](int, void*) -> int { throw std::runtime_error("the page went away"); };
    unsigned long result = 0;
    EXPECT_NO_THROW(result = recover.ScanPartition("E:\\", throwing));
    EXPECT_EQ(result, static_cast<unsigned long>(ERR_INTERNAL));

    ScanLog log;
    scan(&result, &log);
    ASSERT_EQ(result, 0u);
    const std::string out = "C:\\out\\thrown.bin";
    const auto throwingProgress = [](int, void*) -> int { throw std::bad_alloc(); };
    EXPECT_NO_THROW(result = recover.RecoverFile(named("large.bin").record, out, throwingProgress));
    EXPECT_EQ(result, static_cast<unsigned long>(ERR_NO_MEMORY));
    EXPECT_FALSE(FileExists(machine.host(out)));
}

}  // namespace

TEST(NtfsRecoverRules, SizeText)
{
    const struct {
        uint64_t bytes;
        const char* text;
    } cases[] = {{0, "0 B"},
                 {1024, "1024 B"},
                 {1536, "1.5 KB"},
                 {1ull << 20, "1024 KB"},
                 {3ull << 20, "3 MB"},
                 {1ull << 30, "1024 MB"},
                 {(3ull << 30) / 2, "1.50 GB"}};
    for (const auto& c : cases)
        EXPECT_EQ(NTFSRecover::SizeText(c.bytes).toStdString(), c.text) << c.bytes;
}

TEST(NtfsRecoverRules, Integrity)
{
    // Clusters 0..7 in use, 8..15 free: a 16-cluster bitmap.
    const std::vector<uint8_t> bitmap = {0xFF, 0x00};
    using Runs = std::vector<NTFSRecover::Run>;
    const struct {
        Runs runs;
        int integrity;
    } cases[] = {
        {{{8, 8}}, 100},          // all free
        {{{7, 10}}, 88},          // 1 of 9 counted in use (past the bitmap not counted)
        {{{-1, 5}, {0, 5}}, 50},  // sparse counts as free
        {{{0, 0}}, 0},            // nothing counted: no division by zero
        {{{100, 4}}, 0},          // wholly past the bitmap
        {{}, 0},
        {{{6, 10}}, 80},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NTFSRecover::Integrity(c.runs, bitmap, 16), c.integrity);
}
