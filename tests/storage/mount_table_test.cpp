// The mount table: how it runs the mount helpers (recorded by fake helpers
// on PATH), the optical-disc system call (through a replaced mount
// function), and who may unmount what, on real ntfs-3g mounts of partition
// files.
#include "storage/mount_fixtures.h"
#include "platform/linux/mount_table.h"
#include "support/ntfs_fixture.h"
#include "storage/parted_sanitizer_options.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

using mounttest::FakeHelpers;
using mounttest::MessageLog;
using mounttest::MountFolder;
using mounttest::ScopedMountPaths;
using testsupport::Quote;
using testsupport::Run;

// No child of the test process is left unreaped.
bool NoChildLeft()
{
    errno = 0;
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

class MountTableHelpersTest : public ::testing::Test {
protected:
    std::string dir(const std::string& name) const { return folder.file("base/" + name); }

    MountFolder folder;
    ScopedMountPaths paths{folder.file("base"), folder.file("mtab")};
    FakeHelpers helpers{{"mount", "mount.ntfs", "mount.exfat", "mount.cifs", "umount"}};
    MessageLog messages;

    void SetUp() override
    {
        testsupport::Run("mkdir -p " + Quote(folder.file("base")));
        std::ofstream(folder.file("mtab")) << "/dev/sdq1 /mnt/q ntfs rw 0 0\n"
                                           << "/dev/sdq1 /mnt/q-again ntfs rw 0 0\n"
                                           << "//10.0.0.9/old /mnt/old cifs rw 0 0\n";
    }
};

struct HelperCase {
    const char* source;
    const char* fsType;
    const char* expectedRun;  // with BASE for the mount base
};

TEST_F(MountTableHelpersTest, EachFileSystemRunsItsHelperWithItsOptions)
{
    const HelperCase cases[] = {
        {"/dev/sdb1", "FAT32", "mount /dev/sdb1 BASE/sdb1 -o utf8,noatime"},
        {"/dev/sdb5", "fat16", "mount /dev/sdb5 BASE/sdb5 -o utf8,noatime"},
        {"/dev/sdb6", "MSDOS", "mount /dev/sdb6 BASE/sdb6 -o utf8,noatime"},
        {"/dev/sda2", "ntfs", "mount.ntfs /dev/sda2 BASE/sda2 -o utf8,noatime"},
        {"/dev/sdc1", "exfat", "mount.exfat /dev/sdc1 BASE/sdc1"},
        {"//10.0.0.2/data", "cifs", "mount.cifs //10.0.0.2/data BASE/10.0.0.2_data -o user=guest%"},
        {"smb://10.0.0.3/pub", "smbfs", "mount.cifs //10.0.0.3/pub BASE/10.0.0.3_pub -o user=guest%"},
    };
    MountTable table;
    const std::string base = folder.file("base");
    std::vector<std::string> expected;
    for (const HelperCase& c : cases) {
        std::string run = c.expectedRun;
        for (size_t at; (at = run.find("BASE")) != std::string::npos;)
            run.replace(at, 4, base);
        expected.push_back(run + " PASSWD=unset");
        const char* mounted = table.mount(c.source, c.fsType, nullptr, nullptr);
        ASSERT_NE(mounted, nullptr) << c.source << "\n" << messages.joined().toStdString();
        // The directory is the run's third word.
        std::istringstream words(run);
        std::string program, source, directory;
        words >> program >> source >> directory;
        EXPECT_EQ(std::string(mounted), directory);
        struct stat st;
        EXPECT_EQ(::stat(mounted, &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0755u);
    }
    EXPECT_EQ(helpers.runs(), expected);
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(MountTableHelpersTest, CredentialsTravelInAFileAndNeverInTheHelpersArguments)
{
    // The file's contents and mode are checked where it is made
    // (smb_mount_test); here: no password in any argument or option.
    MountTable table;
    ASSERT_NE(table.mount("//srv/a", "cifs", "anna", "secret"), nullptr);
    ASSERT_NE(table.mount("//srv/b", "cifs", "anna", "se,uid=0"), nullptr);
    EXPECT_EQ(table.mount("//srv/c", "cifs", "an,uid=0", "x"), nullptr);
    const std::string base = folder.file("base");
    const std::vector<std::string> runs = helpers.runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].rfind("mount.cifs //srv/a " + base + "/srv_a -o credentials=/", 0), 0u) << runs[0];
    EXPECT_EQ(runs[1].rfind("mount.cifs //srv/b " + base + "/srv_b -o credentials=/", 0), 0u) << runs[1];
    for (const std::string& run : runs) {
        EXPECT_EQ(run.find("secret"), std::string::npos) << run;
        EXPECT_EQ(run.find("uid=0"), std::string::npos) << run;
        EXPECT_NE(run.find("PASSWD=unset"), std::string::npos) << run;
    }
}

TEST_F(MountTableHelpersTest, TheSameSourceTwiceRunsTheHelperOnceAndTheLastUserUnmounts)
{
    MountTable table;
    const char* first = table.mount("/dev/sdb1", "ntfs", nullptr, nullptr);
    const char* second = table.mount("/dev/sdb1", "ntfs", nullptr, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(table.users("/dev/sdb1"), 2);
    EXPECT_EQ(helpers.runs().size(), 1u);

    EXPECT_TRUE(table.unmount("/dev/sdb1"));
    EXPECT_EQ(helpers.runs().size(), 1u) << "the first release must not unmount";
    EXPECT_STREQ(table.mountedDirectory("/dev/sdb1"), dir("sdb1").c_str());

    EXPECT_TRUE(table.unmount("/dev/sdb1"));
    ASSERT_EQ(helpers.runs().size(), 2u);
    EXPECT_EQ(helpers.runs()[1], "umount " + dir("sdb1") + " PASSWD=unset");
    EXPECT_EQ(table.mountedDirectory("/dev/sdb1"), nullptr);
    struct stat st;
    EXPECT_EQ(::stat(dir("sdb1").c_str(), &st), 0) << "the directory stays";
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(MountTableHelpersTest, MountsThatExistedBeforeTheTableAreHandedOutButNeverUnmounted)
{
    MountTable table;
    EXPECT_STREQ(table.mountedDirectory("/dev/sdq1"), "/mnt/q") << "the first line of a source counts";
    EXPECT_STREQ(table.mount("/dev/sdq1", "ntfs", nullptr, nullptr), "/mnt/q");
    EXPECT_STREQ(table.mount("smb://10.0.0.9/old", "cifs", nullptr, nullptr), "/mnt/old");
    EXPECT_TRUE(table.unmount("/dev/sdq1"));
    EXPECT_TRUE(table.unmountDirectory("/mnt/old"));
    EXPECT_TRUE(table.unmount("/dev/sdq1"));
    EXPECT_TRUE(helpers.runs().empty()) << "nothing may be mounted or unmounted";
    EXPECT_STREQ(table.mountedDirectory("/dev/sdq1"), "/mnt/q");
    EXPECT_EQ(table.users("/dev/sdq1"), 0);
}

// Someone else unmounted a mount the table found at start: its directory is
// a plain folder of the rescue system's memory now and is never handed out;
// the next mount() of the source mounts it afresh on a directory of its own.
TEST_F(MountTableHelpersTest, AMountThatExistedBeforeTheTableIsNotHandedOutOnceItIsGone)
{
    MountTable table;
    ASSERT_STREQ(table.mountedDirectory("//10.0.0.9/old"), "/mnt/old");
    ASSERT_STREQ(table.mountedDirectory("/dev/sdq1"), "/mnt/q");
    std::ofstream(folder.file("mtab"), std::ios::trunc) << "//10.0.0.9/old /mnt/old cifs rw 0 0\n";
    EXPECT_EQ(table.mountedDirectory("/dev/sdq1"), nullptr);
    EXPECT_FALSE(table.retain("/dev/sdq1"));
    EXPECT_FALSE(table.isPathOnMountOf(QStringLiteral("/mnt/q/x"), "/dev/sdq1"));
    EXPECT_STREQ(table.mount("/dev/sdq1", "ntfs", nullptr, nullptr), dir("sdq1").c_str());
    ASSERT_EQ(helpers.runs().size(), 1u) << "mounted afresh";
    EXPECT_EQ(table.users("/dev/sdq1"), 1);
    // A mount still listed is handed out as before.
    EXPECT_STREQ(table.mount("smb://10.0.0.9/old", "cifs", nullptr, nullptr), "/mnt/old");
    EXPECT_TRUE(table.retain("//10.0.0.9/old"));
    EXPECT_EQ(helpers.runs().size(), 1u);

    // Given back after it went: forgotten, so that the next mount is real.
    std::ofstream(folder.file("mtab"), std::ios::trunc) << "";
    EXPECT_TRUE(table.unmount("//10.0.0.9/old"));
    EXPECT_NE(table.mount("//10.0.0.9/old", "cifs", nullptr, nullptr), nullptr);
    EXPECT_EQ(helpers.runs().size(), 2u);
}

TEST_F(MountTableHelpersTest, SmbPrefixesFindTheSameEntry)
{
    MountTable table;
    const char* mounted = table.mount("//10.0.0.2/data", "cifs", nullptr, nullptr);
    ASSERT_NE(mounted, nullptr);
    EXPECT_EQ(table.mountedDirectory("smb://10.0.0.2/data"), mounted);
    EXPECT_EQ(table.mountedDirectory("SMB://10.0.0.2/data"), mounted);
    EXPECT_EQ(table.mount("Smb://10.0.0.2/data", "CIFS", nullptr, nullptr), mounted);
    EXPECT_TRUE(table.unmount("smb://10.0.0.2/data"));
    EXPECT_EQ(helpers.runs().size(), 1u);
    EXPECT_TRUE(table.unmount("SMB://10.0.0.2/data"));
    EXPECT_EQ(helpers.runs().size(), 2u);
    EXPECT_EQ(table.mountedDirectory("//10.0.0.2/data"), nullptr);
}

TEST_F(MountTableHelpersTest, AFailedUnmountKeepsTheEntryAndSaysSo)
{
    MountTable table;
    const char* mounted = table.mount("/dev/sdb1", "fat32", nullptr, nullptr);
    ASSERT_NE(mounted, nullptr);
    // The system still lists the mount after the failed umount.
    std::ofstream(folder.file("mtab"), std::ios::app) << "/dev/sdb1 " << dir("sdb1") << " vfat rw 0 0\n";
    helpers.failWith("umount", 32);
    EXPECT_FALSE(table.unmountDirectory(dir("sdb1").c_str()));
    EXPECT_TRUE(messages.joined().contains("Unable to umount")) << messages.joined().toStdString();
    EXPECT_TRUE(messages.joined().contains("errno=32")) << messages.joined().toStdString();
    ASSERT_NE(table.mountedDirectory("/dev/sdb1"), nullptr) << "still mounted: the entry stays";

    // The next user reuses the mount instead of mounting over it.
    EXPECT_STREQ(table.mount("/dev/sdb1", "fat32", nullptr, nullptr), dir("sdb1").c_str());
    EXPECT_EQ(helpers.runs().size(), 2u);
    helpers.succeed("umount");
    EXPECT_TRUE(table.unmount("/dev/sdb1"));
    EXPECT_EQ(table.mountedDirectory("/dev/sdb1"), nullptr);
    EXPECT_EQ(helpers.runs().size(), 3u);
}

TEST_F(MountTableHelpersTest, AMountThatVanishedIsForgottenEvenWhenUmountFails)
{
    MountTable table;
    ASSERT_NE(table.mount("/dev/sdb1", "ntfs", nullptr, nullptr), nullptr);
    helpers.failWith("umount", 32);  // "not mounted": the system lists no such mount
    EXPECT_TRUE(table.unmount("/dev/sdb1"));
    EXPECT_EQ(table.mountedDirectory("/dev/sdb1"), nullptr);
    EXPECT_NE(table.mount("/dev/sdb1", "ntfs", nullptr, nullptr), nullptr);
    EXPECT_EQ(helpers.runs().size(), 3u) << "mounted afresh";
}

TEST_F(MountTableHelpersTest, FailuresGiveNullAndALogLine)
{
    MountTable table;
    EXPECT_EQ(table.mount(nullptr, "ntfs", nullptr, nullptr), nullptr);
    EXPECT_EQ(table.mount("", "ntfs", nullptr, nullptr), nullptr);
    // Names that would put the mount on the base itself or above it.
    EXPECT_EQ(table.mount("/dev/", "ntfs", nullptr, nullptr), nullptr);
    EXPECT_EQ(table.mount("/dev/..", "ntfs", nullptr, nullptr), nullptr);
    EXPECT_EQ(table.mount("smb://..", "cifs", nullptr, nullptr), nullptr);
    EXPECT_EQ(table.mount("//", "cifs", nullptr, nullptr), nullptr);
    EXPECT_TRUE(helpers.runs().empty());

    EXPECT_EQ(table.mount("/dev/sdb7", "nosuchfs", nullptr, nullptr), nullptr);
    EXPECT_TRUE(messages.joined().contains("Unable to mount /dev/sdb7 (nosuchfs) to " +
                                           QString::fromStdString(dir("sdb7")) + ", errno=2, "))
        << messages.joined().toStdString();
    EXPECT_EQ(table.mountedDirectory("/dev/sdb7"), nullptr);

    helpers.failWith("mount.ntfs", 13);
    EXPECT_EQ(table.mount("/dev/sdb8", "ntfs", nullptr, nullptr), nullptr);
    EXPECT_TRUE(
        messages.joined().contains("(ntfs) to " + QString::fromStdString(dir("sdb8")) + ", errno=13"));

    // A directory that cannot be made.
    ScopedMountPaths unusable(folder.file("mtab") + "/below-a-file");
    EXPECT_EQ(table.mount("/dev/sdb9", "ntfs", nullptr, nullptr), nullptr);
    EXPECT_TRUE(messages.joined().contains("Unable to create directory to"))
        << messages.joined().toStdString();
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(MountTableHelpersTest, TwoSourcesWithOneNameDoNotShareADirectory)
{
    MountTable table;
    ASSERT_STREQ(table.mount("/dev/sdb1", "ntfs", nullptr, nullptr), dir("sdb1").c_str());
    EXPECT_STREQ(table.mount("/other/sdb1", "ntfs", nullptr, nullptr), dir("sdb1_1").c_str());
    EXPECT_EQ(helpers.runs(),
              (std::vector<std::string>{
                  "mount.ntfs /dev/sdb1 " + dir("sdb1") + " -o utf8,noatime PASSWD=unset",
                  "mount.ntfs /other/sdb1 " + dir("sdb1_1") + " -o utf8,noatime PASSWD=unset"}));
    EXPECT_STREQ(table.mountedDirectory("/dev/sdb1"), dir("sdb1").c_str());
}

// What may already stand on a source's folder; a mount there would hide it.
struct Occupant {
    const char* what;
    const char* shellSetUp;  // DIR is the occupied folder, TABLE the mount table file
};

TEST_F(MountTableHelpersTest, AFolderThatIsTakenIsNeverMountedOverAndTheNextFreeOneIsUsed)
{
    const Occupant occupants[] = {
        {"a mount the system lists", "mkdir DIR && printf '/dev/vdz %s ext4 rw 0 0\\n' DIR >> TABLE"},
        {"a folder holding a file", "mkdir DIR && echo kept > DIR/file"},
        {"a folder holding an empty folder", "mkdir -p DIR/sub"},
        {"a file", "echo kept > DIR"},
        {"a link to a folder", "mkdir -p DIR.target && ln -s DIR.target DIR"},
    };
    for (const Occupant& occupant : occupants) {
        SCOPED_TRACE(occupant.what);
        const std::string source = "/dev/sdr" + std::to_string(&occupant - occupants + 1);
        const std::string name = source.substr(5);
        std::string setUp = occupant.shellSetUp;
        for (size_t at; (at = setUp.find("DIR")) != std::string::npos;)
            setUp.replace(at, 3, Quote(dir(name)));
        for (size_t at; (at = setUp.find("TABLE")) != std::string::npos;)
            setUp.replace(at, 5, Quote(folder.file("mtab")));
        ASSERT_EQ(testsupport::Run(setUp).exitCode, 0) << setUp;
        const std::string before = testsupport::Run("ls -A1 " + Quote(dir(name)) + "/").output;
        const size_t runsBefore = helpers.runs().size();

        MountTable table;
        const char* mounted = table.mount(source.c_str(), "ntfs", nullptr, nullptr);
        ASSERT_NE(mounted, nullptr) << messages.joined().toStdString();
        EXPECT_EQ(std::string(mounted), dir(name + "_1"));
        ASSERT_EQ(helpers.runs().size(), runsBefore + 1);
        EXPECT_EQ(helpers.runs().back(),
                  "mount.ntfs " + source + " " + dir(name + "_1") + " -o utf8,noatime PASSWD=unset");
        EXPECT_EQ(testsupport::Run("ls -A1 " + Quote(dir(name)) + "/").output, before)
            << "the occupant is left alone";
    }
}

TEST_F(MountTableHelpersTest, TheFirstFreeFolderIsTakenAndWhenNoneIsFreeTheMountIsRefused)
{
    ASSERT_EQ(testsupport::Run("mkdir " + Quote(dir("sdr1")) + " " + Quote(dir("sdr1_1")) + " && touch " +
                               Quote(dir("sdr1") + "/a") + " " + Quote(dir("sdr1_1") + "/b"))
                  .exitCode,
              0);
    {
        MountTable table;
        EXPECT_STREQ(table.mount("/dev/sdr1", "ntfs", nullptr, nullptr), dir("sdr1_2").c_str());
    }
    // Every folder of the name holds something.
    std::string fill = "touch " + Quote(dir("sdr1_2") + "/c");
    for (int suffix = 3; suffix <= 99; ++suffix)
        fill += " && mkdir " + Quote(dir("sdr1_" + std::to_string(suffix))) + " && touch " +
                Quote(dir("sdr1_" + std::to_string(suffix)) + "/x");
    ASSERT_EQ(testsupport::Run(fill).exitCode, 0);
    MountTable table;
    EXPECT_EQ(table.mount("/dev/sdr1", "ntfs", nullptr, nullptr), nullptr);
    EXPECT_TRUE(messages.joined().contains(
        QString::fromStdString("Unable to mount /dev/sdr1 to " + dir("sdr1") + ", errno=16, ")))
        << messages.joined().toStdString();
    EXPECT_EQ(helpers.runs().size(), 1u) << "no helper runs for a refused mount";
    EXPECT_FALSE(testsupport::FileExists(dir("sdr1_100")));
}

TEST_F(MountTableHelpersTest, UnknownSourcesAndDirectoriesChangeNothing)
{
    MountTable table;
    ASSERT_NE(table.mount("/dev/sdb1", "ntfs", nullptr, nullptr), nullptr);
    EXPECT_TRUE(table.unmount("/dev/sdz9"));
    EXPECT_TRUE(table.unmountDirectory("/nowhere"));
    EXPECT_TRUE(table.unmount(nullptr));
    EXPECT_FALSE(table.retain("/dev/sdz9"));
    EXPECT_EQ(helpers.runs().size(), 1u);
    EXPECT_EQ(table.users("/dev/sdb1"), 1);
}

TEST_F(MountTableHelpersTest, ARetainedMountOutlivesTheOtherUsers)
{
    MountTable table;
    ASSERT_NE(table.mount("/dev/sdb1", "ntfs", nullptr, nullptr), nullptr);
    EXPECT_TRUE(table.retain("/dev/sdb1"));
    EXPECT_TRUE(table.unmount("/dev/sdb1"));
    EXPECT_EQ(helpers.runs().size(), 1u);
    EXPECT_TRUE(table.unmount("/dev/sdb1"));
    EXPECT_EQ(helpers.runs().size(), 2u);
}

// ------------------------------------------------------------ optical discs

struct SystemMountCall {
    std::string source, target, type, data;
    unsigned long flags;
};

class OpticalMountTest : public MountTableHelpersTest {
protected:
    // Answers the attempts in turn with the given errors (0 = success).
    void answer(std::vector<int> errors)
    {
        table.setSystemMount([this, errors](const char* source, const char* target, const char* type,
                                            unsigned long flags, const void* data) {
            calls.push_back({source, target, type, data ? static_cast<const char*>(data) : "-", flags});
            const int error = calls.size() <= errors.size() ? errors[calls.size() - 1] : EINVAL;
            errno = error;
            return error == 0 ? 0 : -1;
        });
    }
    std::vector<std::string> attempts() const
    {
        std::vector<std::string> texts;
        for (const SystemMountCall& call : calls)
            texts.push_back(call.type + " " + call.data);
        return texts;
    }

    MountTable table;
    std::vector<SystemMountCall> calls;
};

TEST_F(OpticalMountTest, ADriveWithoutADiscStopsAfterTheFirstAttemptSilently)
{
    answer({ENOMEDIUM});
    EXPECT_EQ(table.mount("/dev/sr0", nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(attempts(), (std::vector<std::string>{"udf utf8"}));
    EXPECT_TRUE(messages.lines().isEmpty()) << messages.joined().toStdString();
    EXPECT_EQ(table.mountedDirectory("/dev/sr0"), nullptr);
}

TEST_F(OpticalMountTest, AnIsoDiscIsMountedReadOnlyAfterTheUdfAttemptsFail)
{
    answer({EINVAL, EINVAL, 0});
    const char* mounted = table.mount("/dev/sr0", nullptr, nullptr, nullptr);
    ASSERT_NE(mounted, nullptr);
    EXPECT_EQ(std::string(mounted), dir("sr0"));
    EXPECT_EQ(attempts(), (std::vector<std::string>{"udf utf8", "udf -", "iso9660 utf8"}));
    for (const SystemMountCall& call : calls) {
        EXPECT_EQ(call.source, "/dev/sr0");
        EXPECT_EQ(call.target, dir("sr0"));
        EXPECT_TRUE(call.flags & MS_RDONLY);
    }
    EXPECT_EQ(messages.lines().size(), 2) << messages.joined().toStdString();
    EXPECT_TRUE(messages.lines().value(0).startsWith("Unable to mount /dev/sr0 (udf) to "));
    EXPECT_TRUE(helpers.runs().empty()) << "discs use no helper";

    // Unmounted through umount like every other mount of ours.
    EXPECT_TRUE(table.unmount("/dev/sr0"));
    EXPECT_EQ(helpers.runs(), (std::vector<std::string>{"umount " + dir("sr0") + " PASSWD=unset"}));
}

TEST_F(OpticalMountTest, AnUnreadableDiscTriesAllFourWays)
{
    answer({EIO, EIO, EIO, EIO});
    EXPECT_EQ(table.mount("/dev/sr1", nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(attempts(), (std::vector<std::string>{"udf utf8", "udf -", "iso9660 utf8", "iso9660 -"}));
    EXPECT_EQ(messages.lines().size(), 4);
    EXPECT_EQ(table.mountedDirectory("/dev/sr1"), nullptr);
}

// ------------------------------------------------------------ real mounts

class RealNtfsMountTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::HaveNtfsTools() || !testsupport::HaveProgram("mount.ntfs"))
            SKIP_OR_FAIL_IN_CI("ntfs-3g is not installed");
        if (!mounttest::FuseUsable() || !testsupport::NtfsMountUsable())
            SKIP_OR_FAIL_IN_CI("no FUSE here: ntfs-3g cannot mount");
        partition = folder.file("sdz1");
        std::string log;
        ASSERT_TRUE(testsupport::MakeNtfsPartition(partition, 8 << 20, &log)) << log;
        ASSERT_TRUE(testsupport::NtfsCopyIn(partition, folder.path(), "/hello.txt", {'h', 'i'}, &log)) << log;
        testsupport::Run("mkdir -p " + Quote(folder.file("base")));
    }

    MountFolder folder;
    ScopedMountPaths paths{folder.file("base"), "/proc/self/mounts"};
    std::string partition;
};

TEST_F(RealNtfsMountTest, TwoUsersOfOneMountAndTheMountIsCheckedAgainstTheSystem)
{
    MountTable table;
    const char* first = table.mount(partition.c_str(), "ntfs", nullptr, nullptr);
    ASSERT_NE(first, nullptr);
    const std::string directory = first;
    EXPECT_TRUE(testsupport::FileExists(directory + "/hello.txt"));
    EXPECT_TRUE(MountTable::isMountOf(directory.c_str(), partition.c_str()));
    EXPECT_FALSE(MountTable::isMountOf(directory.c_str(), "/dev/sdq1"));
    EXPECT_FALSE(MountTable::isMountOf(folder.path().c_str(), partition.c_str()));

    EXPECT_EQ(table.mount(partition.c_str(), "ntfs", nullptr, nullptr), first);
    EXPECT_TRUE(table.unmount(partition.c_str()));
    EXPECT_TRUE(mounttest::IsMountPoint(directory)) << "one user is left";
    EXPECT_TRUE(table.unmount(partition.c_str()));
    EXPECT_FALSE(mounttest::IsMountPoint(directory));
    EXPECT_FALSE(MountTable::isMountOf(directory.c_str(), partition.c_str()))
        << "a plain folder is no destination";
    EXPECT_FALSE(testsupport::FileExists(directory + "/hello.txt"));
}

// Browsing reads files; the console's mount keeps no access times, so the
// partition (every MFT record) is byte for byte as before, and a backup of
// it afterwards sees nothing changed.
TEST_F(RealNtfsMountTest, ReadingThroughTheConsolesMountChangesNothing)
{
    // A file last read long ago, as most are: any mount that keeps access
    // times (relatime too) would write the read into its record.
    {
        testsupport::NtfsMount plain(partition, folder.file("plain"));
        ASSERT_TRUE(plain.ok()) << plain.log();
        ASSERT_EQ(testsupport::Run("touch -a -d 2001-01-01 " + Quote(plain.path() + "/hello.txt")).exitCode,
                  0);
        ASSERT_TRUE(plain.Unmount()) << plain.log();
    }
    const std::vector<uint8_t> before = testsupport::ReadFileBytes(partition);
    {
        MountTable table;
        const char* directory = table.mount(partition.c_str(), "ntfs", nullptr, nullptr);
        ASSERT_NE(directory, nullptr);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(testsupport::ReadFileBytes(std::string(directory) + "/hello.txt"),
                      (std::vector<uint8_t>{'h', 'i'}));
        ASSERT_TRUE(table.unmount(partition.c_str()));
    }
    EXPECT_TRUE(testsupport::ReadFileBytes(partition) == before) << "the read rewrote the partition";
}

TEST_F(RealNtfsMountTest, AMountMadeBeforeTheTableIsNeverUnmountedByIt)
{
    testsupport::NtfsMount outside(partition, folder.file("outside"));
    ASSERT_TRUE(outside.ok()) << outside.log();
    MountTable table;
    const char* mounted = table.mount(partition.c_str(), "ntfs", nullptr, nullptr);
    ASSERT_NE(mounted, nullptr);
    EXPECT_EQ(std::string(mounted), folder.file("outside"));
    EXPECT_TRUE(table.unmount(partition.c_str()));
    EXPECT_TRUE(table.unmountDirectory(folder.file("outside").c_str()));
    EXPECT_TRUE(mounttest::IsMountPoint(folder.file("outside")));
    EXPECT_TRUE(MountTable::isMountOf(folder.file("outside").c_str(), partition.c_str()));
}

TEST_F(RealNtfsMountTest, ABusyMountStaysListedAfterAFailedUnmount)
{
    MountTable table;
    const char* mounted = table.mount(partition.c_str(), "ntfs", nullptr, nullptr);
    ASSERT_NE(mounted, nullptr);
    const std::string directory = mounted;
    MessageLog messages;
    {
        // An open file keeps the file system busy.
        std::ifstream busy(directory + "/hello.txt");
        ASSERT_TRUE(busy.good());
        chdir(directory.c_str());
        EXPECT_FALSE(table.unmount(partition.c_str()));
        chdir("/");
    }
    EXPECT_TRUE(messages.joined().contains("Unable to umount")) << messages.joined().toStdString();
    EXPECT_TRUE(mounttest::IsMountPoint(directory));
    EXPECT_EQ(table.mountedDirectory(partition.c_str()), mounted);
    EXPECT_TRUE(table.unmount(partition.c_str()));
    EXPECT_FALSE(mounttest::IsMountPoint(directory));
}

// Someone else's mount on the folder the console would take for a
// partition: a bind mount of a folder of files on "<base>/sdq1", made
// before the table exists or after it read the system's mounts. The
// partition must land elsewhere, with both mounts' files in sight.
class RealStackedMountTest : public RealNtfsMountTest {
protected:
    void SetUp() override
    {
        RealNtfsMountTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (geteuid() != 0 || !testsupport::HaveProgram("mount"))
            SKIP_OR_FAIL_IN_CI("bind mounts need root and mount(8)");
        // The partition file's name gives its folder: "<base>/sdq1".
        const std::string named = folder.file("sdq1");
        ASSERT_EQ(::rename(partition.c_str(), named.c_str()), 0);
        partition = named;
        ASSERT_EQ(testsupport::Run("mkdir -p " + Quote(folder.file("theirs")) + " " + Quote(dir("sdq1")) +
                                   " && echo theirs > " + Quote(folder.file("theirs/their-file.txt")))
                      .exitCode,
                  0);
    }
    std::string dir(const std::string& name) const { return folder.file("base/" + name); }
    void bindTheirFolder(const std::string& theirs = "theirs")
    {
        const testsupport::CommandResult bound =
            testsupport::Run("mount --bind " + Quote(folder.file(theirs)) + " " + Quote(dir("sdq1")));
        ASSERT_EQ(bound.exitCode, 0) << bound.output;
        ASSERT_TRUE(mounttest::IsMountPoint(dir("sdq1")));
    }
    void expectTheirMountUntouched()
    {
        EXPECT_TRUE(mounttest::IsMountPoint(dir("sdq1")));
        EXPECT_TRUE(testsupport::FileExists(dir("sdq1") + "/their-file.txt"));
        EXPECT_FALSE(testsupport::FileExists(dir("sdq1") + "/hello.txt"));
    }
    void mountLandsBesideTheirs(MountTable& table)
    {
        const char* mounted = table.mount(partition.c_str(), "ntfs", nullptr, nullptr);
        ASSERT_NE(mounted, nullptr);
        const std::string directory = mounted;
        EXPECT_EQ(directory, dir("sdq1_1"));
        EXPECT_TRUE(mounttest::IsMountPoint(directory));
        EXPECT_TRUE(testsupport::FileExists(directory + "/hello.txt"));
        EXPECT_TRUE(MountTable::isMountOf(directory.c_str(), partition.c_str()));
        expectTheirMountUntouched();

        EXPECT_TRUE(table.unmount(partition.c_str()));
        EXPECT_FALSE(mounttest::IsMountPoint(directory));
        expectTheirMountUntouched();
        // Nothing of the partition stacked on theirs anywhere under the base.
        EXPECT_EQ(mounttest::MountsUnder(folder.file("base")), std::vector<std::string>{dir("sdq1")});
    }
};

TEST_F(RealStackedMountTest, AMountMadeBeforeTheTableOnThePartitionsFolderIsNotCovered)
{
    bindTheirFolder();
    MountTable table;
    mountLandsBesideTheirs(table);
}

TEST_F(RealStackedMountTest, AMountMadeAfterTheTableReadTheSystemIsNotCovered)
{
    MountTable table;
    bindTheirFolder();
    mountLandsBesideTheirs(table);
}

// An empty mount hides nothing, yet a mount stacked on it is still a mount
// over a mount; the configured table may be a file that lags behind, the
// kernel's list does not.
TEST_F(RealStackedMountTest, AnEmptyMountMissingFromAStaleTableFileIsNotCoveredEither)
{
    std::ofstream(folder.file("stale-mtab")) << "";
    ScopedMountPaths stale(folder.file("base"), folder.file("stale-mtab"));
    ASSERT_EQ(::mkdir(folder.file("empty").c_str(), 0755), 0);
    bindTheirFolder("empty");
    MountTable table;
    const char* mounted = table.mount(partition.c_str(), "ntfs", nullptr, nullptr);
    ASSERT_NE(mounted, nullptr);
    EXPECT_EQ(std::string(mounted), dir("sdq1_1"));
    EXPECT_EQ(mounttest::MountsUnder(folder.file("base")),
              (std::vector<std::string>{dir("sdq1"), dir("sdq1_1")}));
    EXPECT_TRUE(testsupport::FileExists(dir("sdq1_1") + "/hello.txt"));
    EXPECT_TRUE(table.unmount(partition.c_str()));
    EXPECT_EQ(mounttest::MountsUnder(folder.file("base")), std::vector<std::string>{dir("sdq1")});
}

}  // namespace
