// The Windows build's NTFS index reader and backup exclusions, over
// directories made by ntfs-3g: listings of small, large and multi-level
// indexes match ntfs-3g's, and the shadow-copy store files the registry
// names are restored as valid, empty files.
#include "ntfs_fixture.h"
#include "ntfs_index_reader.h"
#include "quarn_windows.h"
#include "recording_callbacks.h"
#include "shadow_copy_exclusions.h"
#include "test_support.h"
#include "win_engine_machine.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
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
    files.push_back({"large", {}, true});
    for (int i = 0; i < 150; ++i)
        files.push_back({"large/" + LongName("l", i), {}});
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
