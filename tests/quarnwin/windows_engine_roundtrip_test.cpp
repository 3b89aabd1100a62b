// The engine's Windows build on a simulated machine: NTFS and FAT32
// partitions backed up and restored through drive letters and Windows image
// paths, judged by ntfs-3g and dosfstools; images of either build restore
// with the other to the same bytes.
#include "support/backup_argument.h"
#include "support/fat_fixture.h"
#include "support/ntfs_fixture.h"
#include "platform/windows_engine/quarn_windows.h"
#include "support/recording_callbacks.h"
#include "support/test_support.h"
#include "quarnwin/win_engine_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace testsupport;
using wintest::WinEngineMachine;

namespace {

constexpr uint64_t kNeverSplit = ~0ull;

// The shared argument with this suite's defaults: deflate, one volume.
tagBackupArgument Backup(int fsType, const std::string& source, const std::string& base,
                         const std::string& prev = std::string(), int compressType = 2)
{
    return testsupport::BackupArgumentFor(fsType, source, base, compressType, kNeverSplit, prev);
}

tagRestoreArgument Restore(const std::string& image, const std::string& target, int hasMbr = 0)
{
    tagRestoreArgument arg;
    arg.imagePath = image;
    arg.targetPartition = target;
    arg.hasMbr = hasMbr;
    return arg;
}

std::vector<NtfsFileSpec> SourceFiles()
{
    return {{"small.txt", PatternBytes(300, 1)},
            {"one_mib.bin", PatternBytes(1 << 20, 2)},
            {"odd.bin", PatternBytes(123457, 3)}};
}

bool NtfsChecks(const std::string& partition, std::string* log)
{
    const CommandResult fix = Run("ntfsfix -n " + Quote(partition));
    const CommandResult resize = Run("ntfsresize --info --force --no-progress-bar " + Quote(partition));
    *log = fix.output + resize.output;
    return fix.exitCode == 0 && resize.exitCode == 0;
}

// Restores of one image by both builds: the same bytes, but for the
// hidden-sectors field of the boot sector and of its copy in the last
// sector, which names where each target starts on its disk (F: on the
// simulated disk; a file standing for a whole disk, 0).
bool SameVolumeApartFromItsPlace(const std::string& byWindows, const std::string& byLinux)
{
    std::vector<uint8_t> a = ReadFileBytes(byWindows);
    std::vector<uint8_t> b = ReadFileBytes(byLinux);
    if (a.size() != b.size() || a.size() < 1024)
        return false;
    EXPECT_EQ(Le32(a, 0x1C), WinEngineMachine::StartOf('F') / 512);
    EXPECT_EQ(Le32(b, 0x1C), 0u);
    for (size_t sector : {size_t(0), a.size() - 512}) {
        std::fill_n(a.begin() + sector + 0x1C, 4, 0);
        std::fill_n(b.begin() + sector + 0x1C, 4, 0);
    }
    return a == b;
}

class WindowsEngineRoundTrip : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"mkntfs", "ntfscp", "ntfsfix", "ntfsresize", "ntfscat", "sfdisk"}) {
            if (!HaveProgram(tool))
                SKIP_OR_FAIL_IN_CI(tool << " is not installed");
        }
    }

    // An NTFS source in E: with the standard files; its partition file.
    std::string MakeNtfsSource(WinEngineMachine& machine)
    {
        const std::string source = m_dir.file("source.ntfs");
        std::string log;
        EXPECT_TRUE(MakeNtfsPartition(source, WinEngineMachine::kPartitionBytes, &log)) << log;
        for (const NtfsFileSpec& file : SourceFiles())
            EXPECT_TRUE(NtfsCopyIn(source, m_dir.path(), file.path, file.data, &log)) << log;
        EXPECT_TRUE(machine.PutPartition('E', source));
        return source;
    }

    TempDir m_dir;
};

TEST_F(WindowsEngineRoundTrip, NtfsFullBackupRestoresOntoAnotherVolume)
{
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    const std::string source = MakeNtfsSource(machine);

    RecordingCallbacks backupCalls;
    ASSERT_EQ(quarn::backup_ntfs(Backup(4, "E:", "C:\\img\\full"), backupCalls.Bind(), nullptr, 0), 0);
    // The total is the used space counted from the volume bitmap.
    ASSERT_FALSE(backupCalls.totals.empty());
    EXPECT_EQ(backupCalls.totals.front(), NtfsUsedBytesByNtfsCluster(source));
    ASSERT_TRUE(FileExists(machine.Host("C:\\img\\full_0_0.bkp")));

    RecordingCallbacks restoreCalls;
    ASSERT_EQ(quarn::restore_ntfs(Restore("C:\\img\\full_0_0.bkp", "F:"), restoreCalls.Bind()), 0);
    const std::string restored = m_dir.file("restored.ntfs");
    ASSERT_TRUE(machine.TakePartition('F', restored));
    std::string log;
    EXPECT_TRUE(NtfsChecks(restored, &log)) << log;
    // The boot sector names F:'s own first sector, not E:'s.
    ASSERT_NE(WinEngineMachine::StartOf('F'), WinEngineMachine::StartOf('E'));
    EXPECT_EQ(Le32(ReadFileHead(restored, 512), 0x1C), WinEngineMachine::StartOf('F') / 512);
    for (const NtfsFileSpec& file : SourceFiles()) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(NtfsCat(restored, file.path, &bytes)) << file.path;
        EXPECT_EQ(bytes, file.data) << file.path;
    }
    // E: and everything outside F: is as it was.
    const std::string after = m_dir.file("after.ntfs");
    ASSERT_TRUE(machine.TakePartition('E', after));
    std::vector<uint8_t> sourceBytes = ReadFileBytes(source);
    sourceBytes.resize(WinEngineMachine::kPartitionBytes, 0);
    EXPECT_TRUE(ReadFileBytes(after) == sourceBytes);
}

TEST_F(WindowsEngineRoundTrip, IncrementalChainRestoresTheNewestFiles)
{
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    const std::string source = MakeNtfsSource(machine);
    RecordingCallbacks calls;
    ASSERT_EQ(quarn::backup_ntfs(Backup(4, "E:", "C:\\img\\chain"), calls.Bind(), nullptr, 0), 0);

    std::string log;
    const std::vector<uint8_t> added = PatternBytes(200000, 9);
    ASSERT_TRUE(NtfsCopyIn(source, m_dir.path(), "added.bin", added, &log)) << log;
    ASSERT_TRUE(machine.PutPartition('E', source));
    ASSERT_EQ(quarn::backup_ntfs(Backup(4, "E:", "C:\\img\\chain", "C:\\img\\chain_0_0.bkp"), calls.Bind(),
                                 nullptr, 0),
              0);
    ASSERT_TRUE(FileExists(machine.Host("C:\\img\\chain_0_1.bkp")));

    ASSERT_EQ(quarn::restore_ntfs(Restore("C:\\img\\chain_0_1.bkp", "F:"), calls.Bind()), 0);
    const std::string restored = m_dir.file("restored.ntfs");
    ASSERT_TRUE(machine.TakePartition('F', restored));
    EXPECT_TRUE(NtfsChecks(restored, &log)) << log;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(NtfsCat(restored, "added.bin", &bytes));
    EXPECT_EQ(bytes, added);
    ASSERT_TRUE(NtfsCat(restored, "one_mib.bin", &bytes));
    EXPECT_EQ(bytes, SourceFiles()[1].data);
}

TEST_F(WindowsEngineRoundTrip, ImagesOfEitherBuildRestoreWithTheOtherToTheSameBytes)
{
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    const std::string source = MakeNtfsSource(machine);
    RecordingCallbacks calls;

    // The Windows build's image, restored by both builds.
    ASSERT_EQ(quarn::backup_ntfs(Backup(4, "E:", "C:\\img\\win"), calls.Bind(), nullptr, 0), 0);
    ASSERT_EQ(quarn::restore_ntfs(Restore("C:\\img\\win_0_0.bkp", "F:"), calls.Bind()), 0);
    const std::string byWindows = m_dir.file("by_windows.ntfs");
    ASSERT_TRUE(machine.TakePartition('F', byWindows));
    const std::string byLinux = m_dir.file("by_linux.ntfs");
    MakeSparseFile(byLinux, WinEngineMachine::kPartitionBytes);
    ASSERT_EQ(restore_ntfs(Restore(machine.Host("C:\\img\\win_0_0.bkp"), byLinux), calls.Bind()), 0);
    EXPECT_TRUE(SameVolumeApartFromItsPlace(byWindows, byLinux));

    // The Linux build's image of the same partition, restored by both.
    std::string sourceFile = m_dir.file("linux_source.ntfs");
    ASSERT_TRUE(machine.TakePartition('E', sourceFile));
    const std::string linuxBase = m_dir.file("lin");
    ASSERT_EQ(backup_ntfs(Backup(4, sourceFile, linuxBase), calls.Bind(), nullptr, 0), 0);
    std::filesystem::copy_file(linuxBase + "_0_0.bkp", machine.Host("C:\\img\\lin_0_0.bkp"));
    ASSERT_EQ(quarn::restore_ntfs(Restore("C:\\img\\lin_0_0.bkp", "F:"), calls.Bind()), 0);
    ASSERT_TRUE(machine.TakePartition('F', byWindows));
    MakeSparseFile(byLinux, WinEngineMachine::kPartitionBytes);
    ASSERT_EQ(restore_ntfs(Restore(linuxBase + "_0_0.bkp", byLinux), calls.Bind()), 0);
    EXPECT_TRUE(SameVolumeApartFromItsPlace(byWindows, byLinux));
    std::string log;
    EXPECT_TRUE(NtfsChecks(byWindows, &log)) << log;
}

TEST_F(WindowsEngineRoundTrip, SplitImageRestoresWithBothBuildsToTheSameBytes)
{
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    MakeNtfsSource(machine);
    tagBackupArgument arg = Backup(4, "E:", "C:\\img\\split", std::string(), 0);
    arg.volumeSize = 1 << 20;
    RecordingCallbacks calls;
    ASSERT_EQ(quarn::backup_ntfs(arg, calls.Bind(), nullptr, 0), 0);
    ASSERT_TRUE(FileExists(machine.Host("C:\\img\\split_2_0.bkp")));
    for (unsigned i = 0; FileExists(machine.Host("C:\\img\\split_" + std::to_string(i) + "_0.bkp")); ++i)
        EXPECT_LE(FileSize(machine.Host("C:\\img\\split_" + std::to_string(i) + "_0.bkp")), (1u << 20) + 4096)
            << i;

    ASSERT_EQ(quarn::restore_ntfs(Restore("C:\\img\\split_0_0.bkp", "F:"), calls.Bind()), 0);
    const std::string byWindows = m_dir.file("by_windows.ntfs");
    ASSERT_TRUE(machine.TakePartition('F', byWindows));
    std::string log;
    EXPECT_TRUE(NtfsChecks(byWindows, &log)) << log;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(NtfsCat(byWindows, "one_mib.bin", &bytes));
    EXPECT_EQ(bytes, SourceFiles()[1].data);
    const std::string byLinux = m_dir.file("by_linux.ntfs");
    MakeSparseFile(byLinux, WinEngineMachine::kPartitionBytes);
    ASSERT_EQ(restore_ntfs(Restore(machine.Host("C:\\img\\split_0_0.bkp"), byLinux), calls.Bind()), 0);
    EXPECT_TRUE(SameVolumeApartFromItsPlace(byWindows, byLinux));
}

TEST_F(WindowsEngineRoundTrip, PageAndHibernationFilesLeaveNoDataInTheImageWithoutAnyRegistryValue)
{
    WinEngineMachine machine;  // no FilesNotToBackup value
    ASSERT_TRUE(machine.ok());
    const std::string source = MakeNtfsSource(machine);
    std::string log;
    const std::vector<uint8_t> page = PatternBytes(200000, 41);
    const std::vector<uint8_t> hibernation = PatternBytes(200000, 42);
    ASSERT_TRUE(NtfsCopyIn(source, m_dir.path(), "pagefile.sys", page, &log)) << log;
    ASSERT_TRUE(NtfsCopyIn(source, m_dir.path(), "hiberfil.sys", hibernation, &log)) << log;
    ASSERT_TRUE(machine.PutPartition('E', source));
    RecordingCallbacks calls;
    ASSERT_EQ(quarn::backup_ntfs(Backup(4, "E:", "C:\\img\\sys", std::string(), 0), calls.Bind(), nullptr, 0),
              0);
    const std::vector<uint8_t> image = ReadFileBytes(machine.Host("C:\\img\\sys_0_0.bkp"));
    for (const std::vector<uint8_t>* data : {&page, &hibernation}) {
        const std::vector<uint8_t> marker(data->begin() + 8192, data->begin() + 8192 + 64);
        EXPECT_EQ(std::search(image.begin(), image.end(), marker.begin(), marker.end()), image.end());
    }
    // The files they leave are as long as ever on a valid volume.
    ASSERT_EQ(quarn::restore_ntfs(Restore("C:\\img\\sys_0_0.bkp", "F:"), calls.Bind()), 0);
    const std::string restored = m_dir.file("restored.ntfs");
    ASSERT_TRUE(machine.TakePartition('F', restored));
    EXPECT_TRUE(NtfsChecks(restored, &log)) << log;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(NtfsCat(restored, "small.txt", &bytes));
    EXPECT_EQ(bytes, SourceFiles()[0].data);
}

// The system's page and hibernation files live in the root folder: files of
// those names in a subfolder keep their data, in this build as in the other.
TEST_F(WindowsEngineRoundTrip, SubfolderFilesNamedLikeThePageAndHibernationFilesKeepTheirData)
{
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: the fixture has a subfolder");
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    const std::string source = m_dir.file("source.ntfs");
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(source, WinEngineMachine::kPartitionBytes, &log)) << log;
    const std::vector<uint8_t> subPage = PatternBytes(1 << 20, 51);
    const std::vector<uint8_t> subHiber = PatternBytes(1 << 20, 52);
    const std::vector<uint8_t> rootPage = PatternBytes(1 << 20, 53);
    const std::vector<uint8_t> rootHiber = PatternBytes(1 << 20, 54);
    const std::vector<NtfsFileSpec> files = {
        {"sub", {}, true},          {"sub/pagefile.sys", subPage}, {"sub/hiberfil.sys", subHiber},
        {"pagefile.sys", rootPage}, {"hiberfil.sys", rootHiber},
    };
    ASSERT_TRUE(FillNtfsPartition(source, m_dir.path(), files, &log)) << log;
    ASSERT_TRUE(machine.PutPartition('E', source));
    RecordingCallbacks calls;
    ASSERT_EQ(quarn::backup_ntfs(Backup(4, "E:", "C:\\img\\sys", std::string(), 0), calls.Bind(), nullptr, 0),
              0);
    const std::vector<uint8_t> image = ReadFileBytes(machine.Host("C:\\img\\sys_0_0.bkp"));
    auto holds = [&image](const std::vector<uint8_t>& data) {
        const std::vector<uint8_t> marker(data.begin() + 8192, data.begin() + 8192 + 64);
        return std::search(image.begin(), image.end(), marker.begin(), marker.end()) != image.end();
    };
    EXPECT_TRUE(holds(subPage));
    EXPECT_TRUE(holds(subHiber));
    EXPECT_FALSE(holds(rootPage));
    EXPECT_FALSE(holds(rootHiber));

    ASSERT_EQ(quarn::restore_ntfs(Restore("C:\\img\\sys_0_0.bkp", "F:"), calls.Bind()), 0);
    const std::string restored = m_dir.file("restored.ntfs");
    ASSERT_TRUE(machine.TakePartition('F', restored));
    EXPECT_TRUE(NtfsChecks(restored, &log)) << log;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(NtfsCat(restored, "sub/pagefile.sys", &bytes));
    EXPECT_TRUE(bytes == subPage);
    ASSERT_TRUE(NtfsCat(restored, "sub/hiberfil.sys", &bytes));
    EXPECT_TRUE(bytes == subHiber);
    ASSERT_TRUE(NtfsCat(restored, "pagefile.sys", &bytes));
    EXPECT_TRUE(bytes == std::vector<uint8_t>(rootPage.size(), 0));
}

TEST_F(WindowsEngineRoundTrip, Fat32SubfolderPageFileKeepsItsDataWhileTheRootOneStaysOut)
{
    for (const char* tool : {"mkfs.fat", "mcopy", "fsck.fat"}) {
        if (!HaveProgram(tool))
            SKIP_OR_FAIL_IN_CI(tool << " is not installed");
    }
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    const std::vector<uint8_t> rootPage = PatternBytes(1 << 20, 61);
    const std::vector<uint8_t> subPage = PatternBytes(1 << 20, 62);
    const std::vector<uint8_t> subHiber = PatternBytes(1 << 20, 63);
    FatImage source(m_dir.file("source.fat"), WinEngineMachine::kPartitionBytes, 1, "SYSFILES",
                    m_dir.file("scratch"));
    source.AddFile("/PAGEFILE.SYS", rootPage);
    source.MakeDir("/SUB");
    source.AddFile("/SUB/PAGEFILE.SYS", subPage);
    source.AddFile("/SUB/HIBERFIL.SYS", subHiber);
    ASSERT_TRUE(machine.PutPartition('G', source.path()));

    RecordingCallbacks calls;
    ASSERT_EQ(
        quarn::backup_fat32(Backup(3, "G:", "C:\\img\\sysfat", std::string(), 0), calls.Bind(), nullptr, 0),
        0);
    ASSERT_TRUE(machine.InstallChecker());
    ASSERT_EQ(quarn::restore_fat32(Restore("C:\\img\\sysfat_0_0.bkp", "H:"), calls.Bind()), 0);
    const std::string restored = m_dir.file("restored.fat");
    ASSERT_TRUE(machine.TakePartition('H', restored));
    const CommandResult check = CheckFat(restored);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    ASSERT_TRUE(ExtractFatTree(restored, m_dir.file("got")));
    EXPECT_EQ(FileSize(m_dir.file("got") + "/PAGEFILE.SYS"), 0u);
    EXPECT_TRUE(ReadFileBytes(m_dir.file("got") + "/SUB/PAGEFILE.SYS") == subPage);
    EXPECT_TRUE(ReadFileBytes(m_dir.file("got") + "/SUB/HIBERFIL.SYS") == subHiber);
}

TEST_F(WindowsEngineRoundTrip, ARestoreThatCannotLockItsTargetIsRefusedAndWritesNothing)
{
    WinEngineMachine machine(false);
    ASSERT_TRUE(machine.ok());
    MakeNtfsSource(machine);
    RecordingCallbacks calls;
    ASSERT_EQ(quarn::backup_ntfs(Backup(4, "E:", "C:\\img\\full"), calls.Bind(), nullptr, 0), 0);
    const std::vector<uint8_t> before = machine.DiskBytes(WinEngineMachine::StartOf('F'), 1 << 20);
    EXPECT_EQ(quarn::restore_ntfs(Restore("C:\\img\\full_0_0.bkp", "F:"), calls.Bind()), ERR_OPEN_PART);
    EXPECT_TRUE(machine.DiskBytes(WinEngineMachine::StartOf('F'), 1 << 20) == before);
    // The disk start alone writes no partition: a volume in use is no reason to refuse it.
    EXPECT_EQ(quarn::restore_mbr(Restore("C:\\img\\full_0_0.bkp", "F:", 1), calls.Bind()), 0);
}

TEST_F(WindowsEngineRoundTrip, DiskStartRestoreWritesExactlyTheSavedBootCode)
{
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    MakeNtfsSource(machine);
    // A recognisable boot code on the disk when the image is made.
    std::vector<uint8_t> first = machine.DiskBytes(0, 512);
    const std::vector<uint8_t> code = PatternBytes(440, 77);
    std::copy(code.begin(), code.end(), first.begin());
    WriteFileAt(machine.DiskFile(), 0, first);
    const std::vector<uint8_t> second = machine.DiskBytes(512, 512);

    tagBackupArgument arg = Backup(4, "E:", "C:\\img\\mbr");
    arg.mbrSource = "\\\\.\\PhysicalDrive0";
    arg.mbrSize = 512;
    RecordingCallbacks calls;
    ASSERT_EQ(quarn::backup_ntfs(arg, calls.Bind(), nullptr, 0), 0);

    // Another boot code and table entries; the restore brings back only
    // the saved boot code.
    std::vector<uint8_t> changed = first;
    const std::vector<uint8_t> other = PatternBytes(512, 78);
    std::copy(other.begin(), other.begin() + 440, changed.begin());
    WriteFileAt(machine.DiskFile(), 0, changed);
    ASSERT_EQ(quarn::restore_mbr(Restore("C:\\img\\mbr_0_0.bkp", "F:", 1), calls.Bind()), 0);
    const std::vector<uint8_t> now = machine.DiskBytes(0, 1024);
    EXPECT_TRUE(std::equal(code.begin(), code.end(), now.begin()));
    EXPECT_TRUE(std::equal(changed.begin() + 440, changed.end(), now.begin() + 440));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), now.begin() + 512));
}

TEST_F(WindowsEngineRoundTrip, Fat32RoundTripKeepsTheFilesAndTheRealPartitionStart)
{
    for (const char* tool : {"mkfs.fat", "mcopy", "fsck.fat"}) {
        if (!HaveProgram(tool))
            SKIP_OR_FAIL_IN_CI(tool << " is not installed");
    }
    WinEngineMachine machine;
    ASSERT_TRUE(machine.ok());
    const std::string source = m_dir.file("source.fat");
    BuildRichFatSource(source, m_dir.path());
    ASSERT_TRUE(machine.PutPartition('G', source));

    RecordingCallbacks calls;
    ASSERT_EQ(quarn::backup_fat32(Backup(3, "G:", "C:\\img\\fat"), calls.Bind(), nullptr, 0), 0);
    // Used bytes: total minus free as the system reports them for G:.
    ASSERT_FALSE(calls.totals.empty());
    EXPECT_EQ(calls.totals.front(), WinEngineMachine::kPartitionBytes - WinEngineMachine::kFat32FreeBytes);

    ASSERT_TRUE(machine.InstallChecker());
    const std::string checkerRecord = m_dir.file("checker.txt");
    setenv("FAKE_CHECKER_RECORD", checkerRecord.c_str(), 1);
    const int restoredCode = quarn::restore_fat32(Restore("C:\\img\\fat_0_0.bkp", "H:"), calls.Bind());
    unsetenv("FAKE_CHECKER_RECORD");
    ASSERT_EQ(restoredCode, 0);
    // The system's disk check ran on the restored drive, with repair.
    const std::vector<uint8_t> record = ReadFileBytes(checkerRecord);
    EXPECT_EQ(std::string(record.begin(), record.end()).rfind("args: H: /f", 0), 0u)
        << std::string(record.begin(), record.end());
    const std::string restored = m_dir.file("restored.fat");
    ASSERT_TRUE(machine.TakePartition('H', restored));
    const CommandResult check = CheckFat(restored);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const std::vector<uint8_t> boot = ReadFileHead(restored, 512);
    EXPECT_EQ(Le32(boot, 28), WinEngineMachine::StartOf('H') / 512);  // hidden sectors
    EXPECT_EQ(boot[13], 1);  // a 64 MiB volume: one sector per cluster
    ASSERT_TRUE(ExtractFatTree(source, m_dir.file("want")));
    // The page file comes back empty, in both builds.
    MakeSparseFile(m_dir.file("want") + "/PAGEFILE.SYS", 0);
    ASSERT_TRUE(ExtractFatTree(restored, m_dir.file("got")));
    std::string differences;
    EXPECT_TRUE(SameTree(m_dir.file("want"), m_dir.file("got"), &differences)) << differences;

    // The Linux build restores the Windows build's image to the same files.
    const std::string byLinux = m_dir.file("by_linux.fat");
    MakeSparseFile(byLinux, WinEngineMachine::kPartitionBytes);
    {
        FakeDosfsckOnPath quiet(m_dir.file("bin"));
        ASSERT_EQ(restore_fat32(Restore(machine.Host("C:\\img\\fat_0_0.bkp"), byLinux), calls.Bind()), 0);
    }
    ASSERT_TRUE(ExtractFatTree(byLinux, m_dir.file("linux")));
    EXPECT_TRUE(SameTree(m_dir.file("want"), m_dir.file("linux"), &differences)) << differences;
}

}  // namespace
