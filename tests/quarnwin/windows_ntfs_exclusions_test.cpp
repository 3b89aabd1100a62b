// The Windows build's NTFS index reader and backup exclusions, over
// directories made by ntfs-3g: listings of small, large and multi-level
// indexes match ntfs-3g's, and the shadow-copy store files the registry
// names are restored as valid, empty files.
#include "fslayout/ntfs/ntfs_bits.h"
#include "fslayout/ntfs/ntfs_index.h"
#include "fslayout/ntfs/ntfs_record.h"
#include "fslayout/ntfs/ntfs_used_clusters.h"
#include "support/ntfs_fixture.h"
#include "platform/windows_engine/ntfs_index_reader.h"
#include "platform/windows_engine/quarn_windows.h"
#include "support/recording_callbacks.h"
#include "platform/windows_engine/shadow_copy_exclusions.h"
#include "support/test_support.h"
#include "quarnwin/win_engine_machine.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

using namespace testsupport;
using wintest::WinEngineMachine;

namespace {

const char kStoreId[] = "{3808876b-c176-4e48-b7ae-04046e6cc752}";
const char kStoreName[] = "{0a1b2c3d-0000-1111-2222-333344445555}{3808876b-c176-4e48-b7ae-04046e6cc752}";

std::string LongName(const std::string& prefix, int n)
{
    return prefix + "_" + std::to_string(100000 + n) +
           "_a_rather_long_name_that_fills_index_blocks_quickly.dat";
}

// ntfsls's names of a directory (Win32 names, no DOS names).
std::set<std::string> NtfsLsNames(const std::string& partition, const std::string& dir)
{
    const CommandResult listed = Run("ntfsls -p " + Quote(dir) + " " + Quote(partition));
    std::set<std::string> names;
    std::istringstream lines(listed.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] != '$' && line != "." && line != "..")
            names.insert(line);
    }
    return names;
}

// "large": 150 empty files with long names, more than the index root
// holds, so that the folder's entries lie in index blocks.
void AddLargeFolder(std::vector<NtfsFileSpec>* files)
{
    files->push_back({"large", {}, true});
    for (int i = 0; i < 150; ++i)
        files->push_back({"large/" + LongName("l", i), {}});
}

std::set<std::string> NamesOf(const std::vector<tagDirEntryInfo>& entries)
{
    std::set<std::string> names;
    for (const tagDirEntryInfo& entry : entries)
        names.insert(entry.name.toStdString());
    return names;
}

std::string RegistryWithStore(const std::string& identifier)
{
    return "Key=HKLM\\SYSTEM\\CurrentControlSet\\Control\\BackupRestore\\FilesNotToBackup\n"
           "Name=VSS Default Provider\nType=REG_MULTI_SZ\nData=\\System Volume Information\\*" +
           identifier + " /s\n";
}

class WindowsNtfsIndex : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"mkntfs", "ntfsls", "ntfscat", "ntfsinfo", "ntfsfix", "sfdisk"}) {
            if (!HaveProgram(tool))
                SKIP_OR_FAIL_IN_CI(tool << " is not installed");
        }
        if (!NtfsMountUsable())
            SKIP_OR_FAIL_IN_CI("no ntfs-3g FUSE mount here: directories cannot be made");
    }

    // A partition file with `files`, put into E: of `machine`.
    std::string MakeSource(WinEngineMachine& machine, const std::vector<NtfsFileSpec>& files)
    {
        const std::string source = m_dir.file("source.ntfs");
        std::string log;
        EXPECT_TRUE(MakeNtfsPartition(source, WinEngineMachine::kPartitionBytes, &log)) << log;
        EXPECT_TRUE(FillNtfsPartition(source, m_dir.path(), files, &log)) << log;
        EXPECT_TRUE(machine.PutPartition('E', source));
        return source;
    }

    // The partition file to put into E:, written beside the source.
    std::string MakeFile(const std::vector<uint8_t>& bytes)
    {
        const std::string path = m_dir.file("edited.ntfs");
        WriteFileBytes(path, bytes);
        return path;
    }

    TempDir m_dir;
};

TEST_F(WindowsNtfsIndex, ListingsOfSmallLargeAndMultiLevelIndexesMatchNtfs3g)
{
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    std::vector<NtfsFileSpec> files;
    files.push_back({"small", {}, true});
    for (int i = 0; i < 3; ++i)
        files.push_back({"small/" + LongName("s", i), PatternBytes(10, i)});
    AddLargeFolder(&files);
    files.push_back({"deep", {}, true});
    for (int i = 0; i < 1500; ++i)
        files.push_back({"deep/" + LongName("d", i), {}});
    files.push_back({"deep/sub", {}, true});
    const std::string source = MakeSource(machine, files);

    CDeviceIo part;
    ASSERT_EQ(part.Open("E:", CDeviceIo::ModeRead), 0);
    CNtfsVolumeReader volume(part);
    ASSERT_EQ(volume.Open(), 0);
    CNtfsIndexReader reader(volume);
    for (const char* dir : {"small", "large", "deep"}) {
        const int64_t record = NtfsInodeOf(source, std::string("/") + dir);
        ASSERT_GT(record, 0) << dir;
        std::vector<tagDirEntryInfo> entries;
        ASSERT_EQ(reader.listDirectoryIndex(uint64_t(record), entries), 0) << dir;
        EXPECT_EQ(entries.size(), NamesOf(entries).size()) << dir << ": every entry once";
        EXPECT_EQ(NamesOf(entries), NtfsLsNames(source, std::string("/") + dir)) << dir;
        for (const tagDirEntryInfo& entry : entries) {
            EXPECT_FALSE(entry.dosName);
            EXPECT_TRUE(entry.hasName);
        }
    }
    std::vector<tagDirEntryInfo> deep;
    ASSERT_EQ(reader.listDirectoryIndex(uint64_t(NtfsInodeOf(source, "/deep")), deep), 0);
    const auto sub =
        std::find_if(deep.begin(), deep.end(), [](const tagDirEntryInfo& e) { return e.name == "sub"; });
    ASSERT_NE(sub, deep.end());
    EXPECT_TRUE(sub->isDirectory);
    EXPECT_EQ(int64_t(sub->recordNumber), NtfsInodeOf(source, "/deep/sub"));
    // A multi-level index: some entries point down to further blocks.
    EXPECT_TRUE(std::any_of(deep.begin(), deep.end(), [](const tagDirEntryInfo& e) { return e.hasSubNode; }));

    // The root lists no system file (records below 16).
    std::vector<tagDirEntryInfo> root;
    ASSERT_EQ(reader.listDirectoryIndex(5, root), 0);
    EXPECT_EQ(NamesOf(root), (std::set<std::string>{"deep", "large", "small"}));
    for (const tagDirEntryInfo& entry : root)
        EXPECT_GE(entry.recordNumber, 16u);
}

// A partition file's bytes as the NTFS reader's source.
class FileBytesSource : public Ntfs::VolumeSource {
public:
    explicit FileBytesSource(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    bool ReadAt(uint64_t offset, void* buffer, uint64_t length) const override
    {
        if (offset > m_bytes.size() || length > m_bytes.size() - offset)
            return false;
        std::memcpy(buffer, m_bytes.data() + offset, length);
        return true;
    }

private:
    const std::vector<uint8_t>& m_bytes;
};

// Where the last entry of the first index block of a directory lies in
// its partition file, and the node it ends.
struct LastIndexEntry {
    uint64_t nodeAt = 0;   // the block's node header
    uint64_t entryAt = 0;  // the last entry
    uint16_t length = 0;
    uint32_t indexLength = 0;
    uint32_t allocatedSize = 0;
};

::testing::AssertionResult FindLastIndexEntry(const std::vector<uint8_t>& disk, uint64_t record,
                                              LastIndexEntry* out)
{
    tagNTFS_BOOT_SECTOR boot;
    Ntfs::BootGeometry g;
    std::memcpy(&boot, disk.data(), sizeof boot);
    if (!Ntfs::ReadBootGeometry(boot, &g))
        return ::testing::AssertionFailure() << "no NTFS boot sector";
    const FileBytesSource source(disk);
    std::vector<uint8_t> bytes(g.fileRecordBytes);
    if (!source.ReadAt(g.mftLcn * g.clusterBytes, bytes.data(), bytes.size()) ||
        Ntfs::PrepareRecord(bytes.data(), g.fileRecordBytes) != Ntfs::RecordStatus::Ok)
        return ::testing::AssertionFailure() << "no record 0";
    Ntfs::StreamReader mft(source, g);
    if (!mft.Load(Ntfs::FindUnnamed(bytes.data(), g.fileRecordBytes, Ntfs::ATTR_DATA)) ||
        !mft.Read(record * g.fileRecordBytes, bytes.data(), g.fileRecordBytes) ||
        Ntfs::PrepareRecord(bytes.data(), g.fileRecordBytes) != Ntfs::RecordStatus::Ok)
        return ::testing::AssertionFailure() << "no record " << record;
    std::vector<tagDataRunList> runs;
    Ntfs::AttributeWalker walker(bytes.data(), g.fileRecordBytes);
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type == Ntfs::ATTR_INDEX_ALLOCATION && Ntfs::IsFileNameIndex(attr) &&
            Ntfs::DecodeRunList(attr, &runs) != Ntfs::RunListStatus::Ok)
            return ::testing::AssertionFailure() << "index allocation does not decode";
        if (attr->type == Ntfs::ATTR_BITMAP && Ntfs::IsFileNameIndex(attr) &&
            (attr->nonResident || !Ntfs::BitSet(Ntfs::ResidentValue(attr), attr->resident.valueLength, 0)))
            return ::testing::AssertionFailure() << "index block 0 not marked in use";
    }
    if (runs.empty() || runs[0].lcn < 0 || runs[0].clusters * g.clusterBytes < g.indexRecordBytes)
        return ::testing::AssertionFailure() << "no first index block";
    const uint64_t blockAt = uint64_t(runs[0].lcn) * g.clusterBytes;
    std::vector<uint8_t> block(disk.begin() + ptrdiff_t(blockAt),
                               disk.begin() + ptrdiff_t(blockAt + g.indexRecordBytes));
    if (Ntfs::PrepareIndexBlock(block.data(), g.indexRecordBytes) != Ntfs::IndexBlockStatus::Ok)
        return ::testing::AssertionFailure() << "index block 0 damaged";
    tagINDEX_HEADER node;
    std::memcpy(&node, block.data() + Ntfs::kIndexBlockHeaderBytes, sizeof node);
    out->nodeAt = blockAt + Ntfs::kIndexBlockHeaderBytes;
    out->indexLength = node.indexLength;
    out->allocatedSize = node.allocatedSize;
    for (uint32_t at = node.entriesOffset; at + sizeof(tagINDEX_ENTRY_HEADER) <= node.indexLength;) {
        tagINDEX_ENTRY_HEADER entry;
        std::memcpy(&entry, block.data() + Ntfs::kIndexBlockHeaderBytes + at, sizeof entry);
        if ((entry.flags & Ntfs::kIndexEntryLast) != 0) {
            out->entryAt = out->nodeAt + at;
            out->length = entry.length;
            return ::testing::AssertionSuccess();
        }
        if (entry.length == 0)
            break;
        at += entry.length;
    }
    return ::testing::AssertionFailure() << "no last entry";
}

void Put16(std::vector<uint8_t>& bytes, uint64_t at, uint16_t value)
{
    std::memcpy(bytes.data() + at, &value, 2);
}

void Put32(std::vector<uint8_t>& bytes, uint64_t at, uint32_t value)
{
    std::memcpy(bytes.data() + at, &value, 4);
}

// The bytes an update sequence keeps aside: the last two of each stride.
bool AtStrideEnd(uint64_t offsetInBlock, uint32_t bytes)
{
    for (uint32_t i = 0; i < bytes; ++i) {
        if ((offsetInBlock + i) % Ntfs::kUpdateSequenceStride >= Ntfs::kUpdateSequenceStride - 2)
            return true;
    }
    return false;
}

TEST_F(WindowsNtfsIndex, IndexEntryLengthThatIsNotAMultipleOf8IsRefused)
{
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    std::vector<NtfsFileSpec> files;
    AddLargeFolder(&files);
    const std::string source = MakeSource(machine, files);
    const int64_t record = NtfsInodeOf(source, "/large");
    ASSERT_GT(record, 0);
    const std::vector<uint8_t> disk = ReadFileBytes(source);
    LastIndexEntry last;
    ASSERT_TRUE(FindLastIndexEntry(disk, uint64_t(record), &last));
    // A leaf block ends with a bare last entry, with room after it.
    ASSERT_EQ(last.length, sizeof(tagINDEX_ENTRY_HEADER));
    ASSERT_LE(last.indexLength + 8, last.allocatedSize);
    const uint64_t blockAt = last.nodeAt - Ntfs::kIndexBlockHeaderBytes;
    ASSERT_FALSE(AtStrideEnd(last.entryAt + 8 - blockAt, 2));
    ASSERT_FALSE(AtStrideEnd(last.nodeAt + 4 - blockAt, 4));

    // The last entry grown by `added` bytes, the node's bytes in use with it.
    auto list = [&](uint16_t added, std::vector<tagDirEntryInfo>* entries) {
        std::vector<uint8_t> edited = disk;
        Put16(edited, last.entryAt + 8, uint16_t(last.length + added));
        Put32(edited, last.nodeAt + 4, last.indexLength + added);
        EXPECT_TRUE(machine.PutPartition('E', MakeFile(edited)));
        CDeviceIo part;
        EXPECT_EQ(part.Open("E:", CDeviceIo::ModeRead), 0);
        CNtfsVolumeReader volume(part);
        EXPECT_EQ(volume.Open(), 0);
        CNtfsIndexReader reader(volume);
        return reader.listDirectoryIndex(uint64_t(record), *entries);
    };
    std::vector<tagDirEntryInfo> whole;
    ASSERT_EQ(list(0, &whole), 0);
    ASSERT_EQ(NamesOf(whole), NtfsLsNames(source, "/large"));
    // Eight more bytes keep every entry on its 8-byte grid: still a listing.
    std::vector<tagDirEntryInfo> grown;
    EXPECT_EQ(list(8, &grown), 0);
    EXPECT_EQ(NamesOf(grown), NamesOf(whole));
    // Four more bytes are damage, not a listing.
    std::vector<tagDirEntryInfo> damaged;
    EXPECT_EQ(list(4, &damaged), ERR_PART_INFO);
}

TEST(ShadowCopyIdentifier, IsTheThirtyEightCharactersFromTheBraceAfterTheStar)
{
    struct Case {
        std::vector<std::u16string> strings;
        QString identifier;
    };
    const Case cases[] = {
        {{u"\\System Volume Information\\*{3808876B-C176-4E48-B7AE-04046E6CC752} /s"},
         "{3808876B-C176-4E48-B7AE-04046E6CC752}"},
        {{u"\\Pagefile.sys", u"x *{0123456789abcdef0123456789abcdef0123}tail"},
         "{0123456789abcdef0123456789abcdef0123}"},
        {{u"\\System Volume Information\\*{short}"}, ""},
        {{u"no star {3808876B-C176-4E48-B7AE-04046E6CC752}"}, ""},
        {{}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CShadowCopyExclusions::IdentifierIn(c.strings), c.identifier);
}

class WindowsNtfsExclusions : public WindowsNtfsIndex {
protected:
    std::vector<NtfsFileSpec> Files() const
    {
        return {{"System Volume Information", {}, true},
                {std::string("System Volume Information/") + kStoreName, m_store},
                {"System Volume Information/tracking.log", PatternBytes(5000, 31)},
                {"keep.bin", PatternBytes(70000, 32)}};
    }
    const std::vector<uint8_t> m_store = PatternBytes(300000, 30);
};

TEST_F(WindowsNtfsExclusions, StoreFilesNamedInTheRegistryAreRestoredEmptyOnAValidVolume)
{
    // The registry spells the identifier in capitals, the file in small letters.
    std::string upper = kStoreId;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    WinEngineMachine machine(true, RegistryWithStore(upper));
    ASSERT_TRUE(machine.ok());
    const std::string source = MakeSource(machine, Files());

    RecordingCallbacks calls;
    tagBackupArgument arg;
    arg.srcPartition = "E:";
    arg.imagePath = "C:\\img\\vss";
    arg.fsType = 4;
    arg.compressType = 0;
    ASSERT_EQ(quarn::backup_ntfs(arg, calls.Bind(), nullptr, 0), 0);
    // None of the store's data is in the image.
    const std::vector<uint8_t> image = ReadFileBytes(machine.Host("C:\\img\\vss_0_0.bkp"));
    const std::vector<uint8_t> marker(m_store.begin() + 4096, m_store.begin() + 4096 + 64);
    EXPECT_EQ(std::search(image.begin(), image.end(), marker.begin(), marker.end()), image.end());

    ASSERT_EQ(quarn::restore_ntfs(
                  [] {
                      tagRestoreArgument r;
                      r.imagePath = "C:\\img\\vss_0_0.bkp";
                      r.targetPartition = "F:";
                      return r;
                  }(),
                  calls.Bind()),
              0);
    const std::string restored = m_dir.file("restored.ntfs");
    ASSERT_TRUE(machine.TakePartition('F', restored));
    const CommandResult fix = testsupport::Run("ntfsfix -n " + Quote(restored));
    EXPECT_EQ(fix.exitCode, 0) << fix.output;
    // The directory still names the store file, which is a valid empty file.
    EXPECT_EQ(NtfsLsNames(restored, "/System Volume Information"),
              (std::set<std::string>{kStoreName, "tracking.log"}));
    std::vector<uint8_t> bytes{1};
    ASSERT_TRUE(NtfsCat(restored, std::string("/System Volume Information/") + kStoreName, &bytes));
    EXPECT_TRUE(bytes.empty());
    ASSERT_TRUE(NtfsCat(restored, "/System Volume Information/tracking.log", &bytes));
    EXPECT_EQ(bytes, Files()[2].data);
    ASSERT_TRUE(NtfsCat(restored, "/keep.bin", &bytes));
    EXPECT_EQ(bytes, Files()[3].data);
}

TEST_F(WindowsNtfsExclusions, AnIncrementalImageKeepsTheStoreEmptyAndTheVolumeValid)
{
    WinEngineMachine machine(true, RegistryWithStore(kStoreId));
    ASSERT_TRUE(machine.ok());
    const std::string source = MakeSource(machine, Files());
    RecordingCallbacks calls;
    tagBackupArgument arg;
    arg.srcPartition = "E:";
    arg.imagePath = "C:\\img\\inc";
    arg.fsType = 4;
    ASSERT_EQ(quarn::backup_ntfs(arg, calls.Bind(), nullptr, 0), 0);
    std::string log;
    const std::vector<uint8_t> added = PatternBytes(40000, 33);
    ASSERT_TRUE(NtfsCopyIn(source, m_dir.path(), "added.bin", added, &log)) << log;
    ASSERT_TRUE(machine.PutPartition('E', source));
    arg.incremental = true;
    arg.prevImage = "C:\\img\\inc_0_0.bkp";
    ASSERT_EQ(quarn::backup_ntfs(arg, calls.Bind(), nullptr, 0), 0);

    tagRestoreArgument r;
    r.imagePath = "C:\\img\\inc_0_1.bkp";
    r.targetPartition = "F:";
    ASSERT_EQ(quarn::restore_ntfs(r, calls.Bind()), 0);
    const std::string restored = m_dir.file("restored.ntfs");
    ASSERT_TRUE(machine.TakePartition('F', restored));
    const CommandResult fix = testsupport::Run("ntfsfix -n " + Quote(restored));
    EXPECT_EQ(fix.exitCode, 0) << fix.output;
    std::vector<uint8_t> bytes{1};
    ASSERT_TRUE(NtfsCat(restored, std::string("/System Volume Information/") + kStoreName, &bytes));
    EXPECT_TRUE(bytes.empty());
    ASSERT_TRUE(NtfsCat(restored, "/added.bin", &bytes));
    EXPECT_EQ(bytes, added);
}

TEST_F(WindowsNtfsExclusions, OnlyTheRecordThatStillHoldsTheStoreFileIsEmptied)
{
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    const std::string source = MakeSource(machine, Files());
    CDeviceIo part;
    ASSERT_EQ(part.Open("E:", CDeviceIo::ModeRead), 0);
    CNtfsVolumeReader volume(part);
    ASSERT_EQ(volume.Open(), 0);
    CShadowCopyExclusions exclusions;
    // Any case of the identifier finds the file.
    ASSERT_EQ(exclusions.CollectExcluded(volume, QString(kStoreId).toUpper()), 0);
    const int64_t store = NtfsInodeOf(source, std::string("/System Volume Information/") + kStoreName);
    ASSERT_EQ(exclusions.Excluded().size(), 1u);
    ASSERT_EQ(int64_t(exclusions.Excluded().begin()->first), store);

    // The record as the backup reads it (the MFT of a fresh volume is in one piece).
    const Ntfs::BootGeometry& g = volume.Geometry();
    std::vector<uint8_t> raw(g.fileRecordBytes);
    ASSERT_EQ(part.pRead(int64_t(g.mftLcn * g.clusterBytes + uint64_t(store) * g.fileRecordBytes), raw.data(),
                         int64_t(raw.size())),
              int64_t(raw.size()));

    // The same record number holding another file (another sequence number) is left alone.
    std::vector<uint8_t> reused = raw;
    reinterpret_cast<tagFILE_RECORD_HEADER*>(reused.data())->sequenceNumber += 1;
    const std::vector<uint8_t> reusedBefore = reused;
    exclusions.Apply(uint32_t(store), reused.data(), uint32_t(reused.size()));
    EXPECT_TRUE(reused == reusedBefore);

    // The store's own record stays a valid file record without any data.
    std::vector<uint8_t> emptied = raw;
    exclusions.Apply(uint32_t(store), emptied.data(), uint32_t(emptied.size()));
    EXPECT_FALSE(emptied == raw);
    ASSERT_TRUE(Ntfs::HasFileMagic(emptied.data()));
    ASSERT_TRUE(Ntfs::RemoveFixup(emptied.data(), uint32_t(emptied.size())));
    EXPECT_TRUE(Ntfs::IsRecordInUse(emptied.data()));
    Ntfs::AttributeWalker walker(emptied.data(), uint32_t(emptied.size()));
    bool sawData = false;
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type == Ntfs::ATTR_DATA) {
            sawData = true;
            EXPECT_EQ(attr->nonResident, 0);
            EXPECT_EQ(attr->resident.valueLength, 0u);
        }
    }
    EXPECT_FALSE(walker.Damaged());
    EXPECT_TRUE(sawData);
}

TEST_F(WindowsNtfsExclusions, WithoutTheRegistryValueEveryFileKeepsItsData)
{
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    MakeSource(machine, Files());
    RecordingCallbacks calls;
    tagBackupArgument arg;
    arg.srcPartition = "E:";
    arg.imagePath = "C:\\img\\all";
    arg.fsType = 4;
    ASSERT_EQ(quarn::backup_ntfs(arg, calls.Bind(), nullptr, 0), 0);
    tagRestoreArgument r;
    r.imagePath = "C:\\img\\all_0_0.bkp";
    r.targetPartition = "F:";
    ASSERT_EQ(quarn::restore_ntfs(r, calls.Bind()), 0);
    const std::string restored = m_dir.file("restored.ntfs");
    ASSERT_TRUE(machine.TakePartition('F', restored));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(NtfsCat(restored, std::string("/System Volume Information/") + kStoreName, &bytes));
    EXPECT_EQ(bytes, m_store);
}

}  // namespace
