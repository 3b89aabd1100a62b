// clone_ntfs of ntfs-3g-made partitions onto larger and smaller partition
// files, judged by ntfs-3g (ntfsresize --check, ntfsfix -n, ntfsls -R,
// ntfscat): the root's page and hibernation files with their data or
// without it, the refusals that leave the destination untouched, and a
// cancel that leaves it holding no file system.
#include "support/loop_device.h"
#include "support/clone_checks.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"
#include "usedspace/usedspace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kClusterBytes = 4096;

std::vector<NtfsFileSpec> SourceFiles()
{
    std::vector<NtfsFileSpec> files;
    files.push_back({"small.txt", PatternBytes(100, 1)});
    files.push_back({"empty.bin", {}});
    files.push_back({"big.dat", PatternBytes(6 * kMiB + 123, 3)});
    files.push_back({"movie.mkv", PatternBytes(300000, 4)});
    files.push_back({"pagefile.sys", PatternBytes(2 * kMiB, 5)});
    files.push_back({"hiberfil.sys", PatternBytes(kMiB + 4096, 6)});
    return files;
}

struct Source {
    TempDir dir;
    std::string part = dir.file("sdy1");
    std::vector<NtfsFileSpec> files;
    std::string tree;
    uint64_t used = 0;

    bool Make(uint64_t size, std::string* why)
    {
        files = SourceFiles();
        if (!MakeNtfsPartition(part, size, why, "-c " + std::to_string(kClusterBytes)))
            return false;
        if (!FillNtfsPartition(part, dir.path(), files, why))
            return false;
        tree = NtfsTree(part);
        unsigned long long bytes = 0;
        if (ntfs_used(part.c_str(), &bytes) != 0) {
            *why = "the used size is unknown";
            return false;
        }
        used = bytes;
        return !tree.empty();
    }
    // The source's files that a clone copies byte for byte.
    std::vector<NtfsFileSpec> Without(bool pagefile, bool hiberfile) const
    {
        std::vector<NtfsFileSpec> kept;
        for (const NtfsFileSpec& file : files) {
            if ((pagefile && file.path == "pagefile.sys") || (hiberfile && file.path == "hiberfil.sys"))
                continue;
            kept.push_back(file);
        }
        return kept;
    }
    std::vector<uint8_t> Bytes(const std::string& path) const
    {
        for (const NtfsFileSpec& file : files) {
            if (file.path == path)
                return file.data;
        }
        return {};
    }
};

#define MAKE_SOURCE(source, size)                                                                            \
    Source source;                                                                                           \
    do {                                                                                                     \
        if (!HaveNtfsTools())                                                                                \
            SKIP_OR_FAIL_IN_CI("the NTFS tools are not installed");                                          \
        std::string why;                                                                                     \
        if (!source.Make(size, &why))                                                                        \
            SKIP_OR_FAIL_IN_CI("cannot make the NTFS source: " << why);                                      \
    } while (0)

int Clone(const std::string& source, const std::string& dest, bool filterPage = false,
          bool filterHibernate = false)
{
    tagCloneArgument arg;
    arg.srcPartition = source;
    arg.destPartition = dest;
    arg.filterPageFile = filterPage;
    arg.filterHibernateFile = filterHibernate;
    return clone_ntfs(arg, tagCallBackFunc());
}

// ntfsfix -n, which changes nothing: it exits with 0 on a volume it takes
// for sound.
CommandResult NtfsFixCheck(const std::string& partition)
{
    return testsupport::Run("ntfsfix -n " + Quote(partition));
}

// clone_ntfs for the checks every clone passes, onto 80 MiB destinations.
const CloneUnderTest kNtfsClone = {clone_ntfs, NtfsFixCheck, NtfsCheckProblems, 80 * kMiB};

struct Filters {
    bool page;
    bool hibernate;
};

class CloneNtfsFilters : public ::testing::TestWithParam<Filters> {};

// Onto a larger destination and onto one that holds little more than the
// used data: the volume laid out afresh, every file read back by ntfs-3g.
TEST_P(CloneNtfsFilters, CopiesEveryFileOntoLargerAndSmallerDestinations)
{
    REQUIRE_PROGRAM("ntfsfix");
    MAKE_SOURCE(source, 64 * kMiB);
    const Filters filters = GetParam();
    const std::vector<uint8_t> sourceBefore = ReadFileBytes(source.part);
    for (uint64_t size : {96 * kMiB, source.used + 4 * kMiB}) {
        SCOPED_TRACE("destination of " + std::to_string(size) + " bytes");
        TempDir dir;
        const std::string dest = dir.file("sdx1");
        MakeSparseFile(dest, size);
        ASSERT_EQ(Clone(source.part, dest, filters.page, filters.hibernate), 0);
        EXPECT_EQ(FileSize(dest), size) << "written beyond the destination";
        EXPECT_EQ(NtfsCheckProblems(dest), "");
        EXPECT_EQ(NtfsTree(dest), source.tree);
        EXPECT_EQ(CompareNtfsFiles(dest, source.Without(filters.page, filters.hibernate)), "");
        // A file left out stays, with its size, but not with the source's
        // data: its clusters hold what the destination held (zeros here).
        for (const char* name : {"pagefile.sys", "hiberfil.sys"}) {
            const bool filtered = std::string(name) == "pagefile.sys" ? filters.page : filters.hibernate;
            if (!filtered)
                continue;
            std::vector<uint8_t> copied;
            ASSERT_TRUE(NtfsCat(dest, name, &copied)) << name;
            EXPECT_EQ(copied.size(), source.Bytes(name).size()) << name;
            EXPECT_NE(copied, source.Bytes(name)) << name << " was copied";
            EXPECT_EQ(copied, std::vector<uint8_t>(copied.size(), 0)) << name;
        }
    }
    EXPECT_EQ(ReadFileBytes(source.part), sourceBefore) << "the source changed";
}

INSTANTIATE_TEST_SUITE_P(Options, CloneNtfsFilters,
                         ::testing::Values(Filters{false, false}, Filters{true, false}, Filters{false, true},
                                           Filters{true, true}),
                         [](const ::testing::TestParamInfo<Filters>& info) {
                             return std::string(info.param.page ? "PageOut" : "PageIn") +
                                    (info.param.hibernate ? "HiberOut" : "HiberIn");
                         });

// The smallest destination taken: the new volume (the partition's last
// sector kept for the backup boot sector) holds exactly the used clusters.
// ntfsresize calls such a volume full, so ntfsfix judges it.
TEST(CloneNtfs, SmallestDestinationHoldsExactlyTheUsedClusters)
{
    REQUIRE_PROGRAM("ntfsfix");
    MAKE_SOURCE(source, 64 * kMiB);
    TempDir dir;
    const std::string dest = dir.file("sdx1");
    MakeSparseFile(dest, source.used + kClusterBytes);
    ASSERT_EQ(Clone(source.part, dest), 0);
    const CommandResult fix = NtfsFixCheck(dest);
    EXPECT_EQ(fix.exitCode, 0) << fix.output;
    EXPECT_EQ(NtfsTree(dest), source.tree);
    EXPECT_EQ(CompareNtfsFiles(dest, source.files), "");
}

TEST(CloneNtfs, ReportsProgressNamesAndStates)
{
    MAKE_SOURCE(source, 64 * kMiB);
    RecordingCallbacks calls;
    ExpectProgressAndStates(
        kNtfsClone, source.part, source.used,
        {"Initializing ...", "Cloning partition ...", "Finishing restore partition ...", "Finish"}, &calls);
    EXPECT_NE(std::find(calls.names.begin(), calls.names.end(), QStringLiteral("big.dat")),
              calls.names.end());
}

// A cancel part way: ERR_CANCELLED, and the destination holds no file
// system any more, only the mark of a copy that did not finish.
TEST(CloneNtfs, CancelLeavesNoFileSystem)
{
    REQUIRE_PROGRAM("ntfsfix");
    MAKE_SOURCE(source, 64 * kMiB);
    ExpectCancelLeavesNoFileSystem(kNtfsClone, source.part, {1, 40, 94});
}

// Every refusal comes before a byte of the destination is written.
TEST(CloneNtfs, RefusalsLeaveTheDestinationAsItWas)
{
    MAKE_SOURCE(source, 64 * kMiB);
    RefusalFiles files;
    ASSERT_NO_FATAL_FAILURE(MakeRefusalFiles(kNtfsClone, source.part, source.used - kMiB, &files));
    const std::string exact = files.dir.file("sdt1");
    MakeSparseFile(exact, source.used);

    // A file's record whose update sequence no longer matches: found before
    // anything is written, not when the walk comes to it.
    const std::string damaged = files.dir.file("sds1");
    {
        std::vector<uint8_t> bytes = ReadFileBytes(source.part);
        const int64_t inode = NtfsInodeOf(source.part, "small.txt");
        ASSERT_GT(inode, 0);
        uint16_t sectorBytes = 0;
        uint64_t mftLcn = 0;
        std::memcpy(&sectorBytes, bytes.data() + 0x0B, 2);
        std::memcpy(&mftLcn, bytes.data() + 0x30, 8);
        const uint64_t record = mftLcn * sectorBytes * bytes[0x0D] + uint64_t(inode) * 1024;
        bytes[record + 510] ^= 0xFF;
        WriteFileBytes(damaged, bytes);
    }

    std::vector<CloneRefusal> refusals = RefusalsOfEveryClone(source.part, files);
    refusals.push_back({"the destination holds the used bytes, but not with the backup boot sector",
                        source.part, exact, ERR_PART_TOO_SMALL});
    refusals.push_back({"a file record of the source is damaged", damaged, files.dest, ERR_PART_INFO});
    ExpectRefusalsWriteNothing(kNtfsClone, refusals, {files.dest, files.small, exact, source.part});
}

// The boot sector names the destination's place on its disk (the disk
// file beside it lists it from sector 2048), not the source's.
TEST(CloneNtfs, BootSectorCarriesTheDestinationsHiddenSectors)
{
    MAKE_SOURCE(source, 64 * kMiB);
    ExpectBootSectorCarriesTheDestinationsHiddenSectors(kNtfsClone, source.part);
}

using testsupport::LoopDevice;

// On block devices: a clone works, a destination some other program holds
// exclusively (as the kernel holds a mounted one) is refused as in use,
// and the source's device under another node is the source.
TEST(CloneNtfs, BlockDevicesInUseOrTheSameAreRefused)
{
    REQUIRE_PROGRAM("losetup");
    MAKE_SOURCE(source, 64 * kMiB);
    TempDir dir;
    const std::string destFile = dir.file("dest");
    MakeSparseFile(destFile, 80 * kMiB);
    LoopDevice sourceLoop(source.part);
    LoopDevice destLoop(destFile);
    if (sourceLoop.node().empty() || destLoop.node().empty())
        SKIP_OR_FAIL_IN_CI("no loop device can be attached here");

    ASSERT_EQ(Clone(sourceLoop.node(), destLoop.node()), 0);
    EXPECT_EQ(NtfsCheckProblems(destFile), "");
    EXPECT_EQ(CompareNtfsFiles(destFile, source.files), "");
    const std::vector<uint8_t> destBefore = ReadFileBytes(destFile);
    {
        const int held = ::open(destLoop.node().c_str(), O_RDONLY | O_EXCL);
        ASSERT_GE(held, 0);
        EXPECT_EQ(Clone(sourceLoop.node(), destLoop.node()), ERR_PART_IN_USE);
        ::close(held);
    }
    struct stat st {};
    ASSERT_EQ(::stat(sourceLoop.node().c_str(), &st), 0);
    const std::string otherNode = dir.file("same-device");
    ASSERT_EQ(::mknod(otherNode.c_str(), S_IFBLK | 0600, st.st_rdev), 0);
    EXPECT_EQ(Clone(sourceLoop.node(), otherNode), ERR_SAME_PARTITION);
    EXPECT_EQ(ReadFileBytes(destFile), destBefore);
}

}  // namespace
