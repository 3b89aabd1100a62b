// Round trips of ntfs-3g-made partitions: backup_ntfs, then restore_ntfs onto
// smaller, equal and larger targets, judged by ntfs-3g (ntfsresize --check,
// ntfsfix -n, ntfsls -R, ntfscat).
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

std::vector<NtfsFileSpec> MixedFiles()
{
    std::vector<NtfsFileSpec> files;
    files.push_back({"small.txt", PatternBytes(100, 1)});
    files.push_back({"empty.bin", {}});
    files.push_back({"one-cluster.bin", PatternBytes(4096, 2)});
    files.push_back({"big.dat", PatternBytes(3 * kMiB + 123, 3)});
    std::vector<uint8_t> text;
    for (int i = 0; i < 20000; ++i) {
        std::string line = "line " + std::to_string(i) + " of a compressible file\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    files.push_back({"text.log", text});
    files.push_back({"movie.mkv", PatternBytes(300000, 4)});
    // Exactly two of the backup's 0x20000-byte chunks, stored raw and compressed.
    files.push_back({"two-chunks.zip", PatternBytes(0x40000, 5)});
    files.push_back({"two-chunks.bin", PatternBytes(0x40000, 6)});
    return files;
}

struct Source {
    TempDir dir;
    std::string part = dir.file("sdy1");
    std::string base = dir.file("img");
    std::vector<NtfsFileSpec> files;
    std::string tree;

    // Formats and fills the source; false (with the reason) when the tools
    // cannot, in which case the test skips.
    bool Make(uint64_t size, const std::vector<NtfsFileSpec>& set, std::string* why,
              const std::string& mkntfsOptions = "")
    {
        files = set;
        if (!MakeNtfsPartition(part, size, why, mkntfsOptions))
            return false;
        bool needsMount = false;
        if (!FillNtfsPartition(part, dir.path(), files, why, &needsMount))
            return false;
        tree = NtfsTree(part);
        return !tree.empty();
    }
    std::string Image(unsigned volume = 0, unsigned generation = 0) const
    {
        return base + "_" + std::to_string(volume) + "_" + std::to_string(generation) + ".bkp";
    }
};

// Restores `image` onto a fresh target of `size` bytes and judges it.
void ExpectRestores(const Source& source, const std::string& image, uint64_t size, const std::string& what)
{
    TempDir dir;
    std::string target = dir.file("sdx1");
    MakeSparseFile(target, size);
    ASSERT_EQ(RestoreNtfsImage(image, target), 0) << what;
    EXPECT_EQ(FileSize(target), size) << what << ": written beyond the target";
    EXPECT_EQ(NtfsCheckProblems(target), "") << what;
    EXPECT_EQ(NtfsTree(target), source.tree) << what;
    EXPECT_EQ(CompareNtfsFiles(target, source.files), "") << what;
}

#define REQUIRE_NTFS_TOOLS()                                                                                 \
    do {                                                                                                     \
        if (!HaveNtfsTools() || !HaveProgram("ntfsresize") || !HaveProgram("ntfsfix") ||                     \
            !HaveProgram("ntfsls"))                                                                          \
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");                                           \
    } while (0)

}  // namespace

TEST(NtfsRestoreRoundTrip, SmallerEqualAndLargerTargets)
{
    REQUIRE_NTFS_TOOLS();
    Source source;
    std::string why;
    if (!source.Make(40 * kMiB, MixedFiles(), &why))
        SKIP_OR_FAIL_IN_CI(why);
    ASSERT_EQ(BackupNtfsImage(source.part, source.base, 0), 0);
    for (uint64_t size : {24 * kMiB, 40 * kMiB, 64 * kMiB + 512 * 3})
        ExpectRestores(source, source.Image(), size, "target of " + std::to_string(size));
}

// Hundreds of small files whose data lie cluster after cluster, more than
// one batch of MFT records and more than the restore gathers for one write,
// with large files between them: every file reads back as it was, on a
// target of the source's size and on a smaller one (another layout).
TEST(NtfsRestoreRoundTrip, ManySmallFilesWrittenTogether)
{
    REQUIRE_NTFS_TOOLS();
    std::vector<NtfsFileSpec> files;
    for (uint32_t i = 0; i < 700; ++i) {
        const size_t size = i % 7 == 0 ? 300 : 1024 + (i * 2741) % 9000;
        files.push_back({"f" + std::to_string(i) + ".dat", PatternBytes(size, 100 + i)});
        if (i % 250 == 125)
            files.push_back({"large" + std::to_string(i) + ".bin", PatternBytes(kMiB + 3 * i, i)});
    }
    Source source;
    std::string why;
    if (!source.Make(48 * kMiB, files, &why))
        SKIP_OR_FAIL_IN_CI(why);
    ASSERT_EQ(BackupNtfsImage(source.part, source.base, 0), 0);
    for (uint64_t size : {48 * kMiB, 32 * kMiB})
        ExpectRestores(source, source.Image(), size, "target of " + std::to_string(size));
}

TEST(NtfsRestoreRoundTrip, EveryCompressionTypeAndSplitImages)
{
    REQUIRE_NTFS_TOOLS();
    Source source;
    std::string why;
    if (!source.Make(32 * kMiB, MixedFiles(), &why))
        SKIP_OR_FAIL_IN_CI(why);
    struct Case {
        int compress;
        uint64_t split;
    } cases[] = {
        {0, ~0ULL},
        {1, ~0ULL},
        {2, ~0ULL},
        {3, ~0ULL},
        {0, 700000},
        {1, 300000},
        {3, 250000},
        // Volumes smaller than one data chunk.
        {0, 100000},
        {2, 60000},
    };
    for (const auto& c : cases) {
        TempDir images;
        std::string base = images.file("img");
        ASSERT_EQ(BackupNtfsImage(source.part, base, c.compress, c.split), 0);
        std::string what = "compression " + std::to_string(c.compress) + " split " + std::to_string(c.split);
        if (c.split != ~0ULL) {
            ASSERT_TRUE(FileExists(base + "_2_0.bkp")) << what << ": the image was not split";
        }
        ExpectRestores(source, base + "_0_0.bkp", 28 * kMiB, what);
    }
}

TEST(NtfsRestoreRoundTrip, EveryClusterSize)
{
    REQUIRE_NTFS_TOOLS();
    for (int cluster = 512; cluster <= 65536; cluster *= 2) {
        Source source;
        std::string why;
        std::vector<NtfsFileSpec> files = {{"a.bin", PatternBytes(200000, 7)},
                                           {"b.txt", PatternBytes(70000, 8)},
                                           {"c.bin", PatternBytes(1, 9)}};
        if (!source.Make(24 * kMiB, files, &why, "-c " + std::to_string(cluster)))
            SKIP_OR_FAIL_IN_CI(why);
        ASSERT_EQ(BackupNtfsImage(source.part, source.base, 1), 0) << cluster;
        // The last size is no whole number of clusters, nor of sectors.
        for (uint64_t size : {20 * kMiB, 33 * kMiB, 21 * kMiB + 3 * 4096 + 700})
            ExpectRestores(source, source.Image(), size,
                           "cluster " + std::to_string(cluster) + " target " + std::to_string(size));
    }
}

namespace {

std::vector<uint8_t> TextBytes(size_t size, const std::string& word)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; out.size() < size; ++i) {
        std::string line = word + " " + std::to_string(i % 977) + "\n";
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(size);
    return out;
}

bool WriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& data)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0)
        return false;
    bool ok = ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(offset)) == ssize_t(data.size());
    return ::close(fd) == 0 && ok;
}

}  // namespace

TEST(NtfsRestoreRoundTrip, CompressedAndSparseFiles)
{
    REQUIRE_NTFS_TOOLS();
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here");
    Source source;
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(source.part, 40 * kMiB, &why)) << why;
    std::vector<NtfsFileSpec>& files = source.files;
    {
        NtfsMount mount(source.part, source.dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        std::string packed = mount.path() + "/packed";
        ASSERT_EQ(testsupport::Run("mkdir " + Quote(packed)).exitCode, 0);
        ASSERT_TRUE(SetNtfsAttributes(packed, 0x800));
        files.push_back({"packed/text.txt", TextBytes(1500000, "compressible")});
        std::vector<uint8_t> mixed = PatternBytes(100000, 3);
        mixed.resize(400000, 0);
        std::vector<uint8_t> tail = TextBytes(90000, "tail");
        mixed.insert(mixed.end(), tail.begin(), tail.end());
        files.push_back({"packed/mixed.bin", mixed});
        files.push_back({"packed/random.bin", PatternBytes(150000, 4)});
        for (const auto& f : files)
            ASSERT_TRUE(WriteAt(mount.path() + "/" + f.path, 0, f.data)) << f.path;
        // A sparse file: data, a hole, data, a hole up to its end.
        std::vector<uint8_t> holes(9 * kMiB, 0);
        std::vector<uint8_t> a = PatternBytes(65536, 5), b = PatternBytes(70000, 6);
        std::copy(a.begin(), a.end(), holes.begin());
        std::copy(b.begin(), b.end(), holes.begin() + 5 * kMiB);
        ASSERT_TRUE(WriteAt(mount.path() + "/holes.bin", 0, a));
        ASSERT_TRUE(WriteAt(mount.path() + "/holes.bin", 5 * kMiB, b));
        ASSERT_EQ(::truncate((mount.path() + "/holes.bin").c_str(), 9 * kMiB), 0);
        files.push_back({"holes.bin", holes});
        ASSERT_TRUE(mount.Unmount());
    }
    // The source must really hold a compressed and a sparse attribute.
    CommandResult info = testsupport::Run("ntfsinfo -F /packed/text.txt " + Quote(source.part));
    ASSERT_NE(info.output.find("COMPRESSED"), std::string::npos) << info.output;
    info = testsupport::Run("ntfsinfo -F /holes.bin " + Quote(source.part));
    ASSERT_NE(info.output.find("SPARSE"), std::string::npos) << info.output;
    source.tree = NtfsTree(source.part);

    for (int compress : {0, 3}) {
        TempDir images;
        ASSERT_EQ(BackupNtfsImage(source.part, images.file("img"), compress), 0);
        ExpectRestores(source, images.file("img_0_0.bkp"), 36 * kMiB,
                       "compression " + std::to_string(compress));
    }
}

TEST(NtfsRestoreRoundTrip, ThreeImageChainGivesTheNewestState)
{
    REQUIRE_NTFS_TOOLS();
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here");
    Source source;
    std::string why;
    std::vector<NtfsFileSpec> files = {{"keep.bin", PatternBytes(300000, 1)},
                                       {"change.txt", TextBytes(50000, "first")},
                                       {"gone.bin", PatternBytes(90000, 2)},
                                       {"dir/inner.bin", PatternBytes(120000, 3)}};
    ASSERT_TRUE(source.Make(32 * kMiB, files, &why)) << why;
    std::string base = source.dir.file("chain");
    ASSERT_EQ(BackupNtfsImage(source.part, base, 2), 0);

    auto change = [&](const std::function<void(const std::string&)>& edit) {
        NtfsMount mount(source.part, source.dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        edit(mount.path());
        ASSERT_TRUE(mount.Unmount());
    };
    change([&](const std::string& root) {
        WriteFileBytes(root + "/change.txt", TextBytes(80000, "second"));
        WriteFileBytes(root + "/added.bin", PatternBytes(400000, 4));
        ::unlink((root + "/gone.bin").c_str());
    });
    ASSERT_EQ(BackupNtfsImage(source.part, base, 1, ~0ULL, base + "_0_0.bkp"), 0);
    ASSERT_TRUE(FileExists(base + "_0_1.bkp"));
    change([&](const std::string& root) {
        WriteFileBytes(root + "/change.txt", TextBytes(20000, "third"));
        WriteFileBytes(root + "/dir/inner.bin", PatternBytes(5000, 5));
        WriteFileBytes(root + "/dir/new.txt", TextBytes(3000, "new"));
    });
    ASSERT_EQ(BackupNtfsImage(source.part, base, 0, 200000, base + "_0_1.bkp"), 0);
    ASSERT_TRUE(FileExists(base + "_0_2.bkp"));

    source.files = {{"keep.bin", PatternBytes(300000, 1)},
                    {"change.txt", TextBytes(20000, "third")},
                    {"added.bin", PatternBytes(400000, 4)},
                    {"dir/inner.bin", PatternBytes(5000, 5)},
                    {"dir/new.txt", TextBytes(3000, "new")}};
    source.tree = NtfsTree(source.part);
    ExpectRestores(source, base + "_0_2.bkp", 30 * kMiB, "newest of three");
    // The middle image restores its own state.
    TempDir dir;
    std::string target = dir.file("sdw1");
    MakeSparseFile(target, 32 * kMiB);
    ASSERT_EQ(RestoreNtfsImage(base + "_0_1.bkp", target), 0);
    EXPECT_EQ(NtfsCheckProblems(target), "");
    std::vector<NtfsFileSpec> middle = {{"change.txt", TextBytes(80000, "second")},
                                        {"dir/inner.bin", PatternBytes(120000, 3)}};
    EXPECT_EQ(CompareNtfsFiles(target, middle), "");
}

TEST(NtfsRestoreRoundTrip, ChainWhoseOlderImagesAreSplitAndOtherwiseCompressed)
{
    REQUIRE_NTFS_TOOLS();
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here");
    Source source;
    std::string why;
    std::vector<NtfsFileSpec> files = {{"kept.bin", PatternBytes(700000, 1)},
                                       {"kept.zip", PatternBytes(0x40000, 2)},
                                       {"change.txt", TextBytes(300000, "first")}};
    ASSERT_TRUE(source.Make(32 * kMiB, files, &why)) << why;
    std::string base = source.dir.file("chain");
    // The full image: QuickLZ, split below one chunk.
    ASSERT_EQ(BackupNtfsImage(source.part, base, 1, 90000), 0);
    ASSERT_TRUE(FileExists(base + "_3_0.bkp"));
    {
        NtfsMount mount(source.part, source.dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        WriteFileBytes(mount.path() + "/change.txt", TextBytes(200000, "second"));
        WriteFileBytes(mount.path() + "/added.bin", PatternBytes(0x20000, 3));
        ASSERT_TRUE(mount.Unmount());
    }
    // The newest: uncompressed, split too.
    ASSERT_EQ(BackupNtfsImage(source.part, base, 0, 150000, base + "_0_0.bkp"), 0);
    ASSERT_TRUE(FileExists(base + "_1_1.bkp"));

    source.files = {{"kept.bin", PatternBytes(700000, 1)},
                    {"kept.zip", PatternBytes(0x40000, 2)},
                    {"change.txt", TextBytes(200000, "second")},
                    {"added.bin", PatternBytes(0x20000, 3)}};
    source.tree = NtfsTree(source.part);
    ExpectRestores(source, base + "_0_1.bkp", 30 * kMiB, "split chain");
}
