// Images written by an earlier build of the engine, checked in with the tree
// each must restore to: a change that can no longer read yesterday's images
// fails here. The checked-in bytes are the reference; the tests never remake
// them (tests/quarn/data/golden/make.sh shows how they were made, by hand).
#include "fat_fixture.h"
#include "fat_jobs.h"
#include "image_format.h"
#include "ntfs_fixture.h"
#include "ntfs_jobs.h"
#include "ntfs_restore_fixture.h"
#include "quarn.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCryptographicHash>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1ull << 20;
// Test data of the password image, not a credential.
const char kGoldenPassword[] = "golden-pass";
const char kGoldenDescription[] = "Golden image: NTFS with a password and a description";
const char kGoldenHead[] = "golden head block v1";

std::string GoldenDir()
{
    return QUARN_GOLDEN_DIR;
}

std::string Sha256Hex(const std::vector<uint8_t>& bytes)
{
    return QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// One manifest: "D <path>" for a folder, "F <size> <sha256> <path>" for a
// file; paths start with '/'.
struct Manifest {
    std::set<std::string> folders;
    std::map<std::string, std::pair<uint64_t, std::string>> files;
};

std::string FormatManifest(const Manifest& m)
{
    std::ostringstream out;
    for (const auto& folder : m.folders)
        out << "D " << folder << "\n";
    for (const auto& file : m.files)
        out << "F " << file.second.first << " " << file.second.second << " " << file.first << "\n";
    return out.str();
}

Manifest ReadManifest(const std::string& path)
{
    Manifest m;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("D ", 0) == 0) {
            m.folders.insert(line.substr(2));
        } else if (line.rfind("F ", 0) == 0) {
            std::istringstream words(line.substr(2));
            uint64_t size = 0;
            std::string digest;
            words >> size >> digest;
            std::string rest;
            std::getline(words, rest);
            m.files[rest.substr(1)] = {size, digest};
        }
    }
    return m;
}

// ntfs-3g's view of a volume's tree (ntfsls per folder, system files hidden),
// each file read with ntfscat.
bool NtfsManifest(const std::string& partition, const std::string& folder, Manifest* m, std::string* why)
{
    CommandResult listing = Run("ntfsls -F -p " + Quote(folder.empty() ? "/" : folder) + " " + Quote(partition));
    if (listing.exitCode != 0) {
        *why = "ntfsls failed for " + folder + ": " + listing.output;
        return false;
    }
    std::istringstream lines(listing.output);
    std::string name;
    while (std::getline(lines, name)) {
        if (name.empty() || name == "./" || name == "../")
            continue;
        if (name.back() == '/') {
            const std::string path = folder + "/" + name.substr(0, name.size() - 1);
            m->folders.insert(path);
            if (!NtfsManifest(partition, path, m, why))
                return false;
            continue;
        }
        // -F marks executables and links too; NTFS files here carry no mark
        // but '/', so the name is taken as it stands.
        const std::string path = folder + "/" + name;
        std::vector<uint8_t> bytes;
        if (!NtfsCat(partition, path, &bytes)) {
            *why = "ntfscat failed for " + path;
            return false;
        }
        m->files[path] = {bytes.size(), Sha256Hex(bytes)};
    }
    return true;
}

// The tree under a folder on this machine (a FAT32 volume copied out).
void HostManifest(const std::string& root, const std::string& folder, Manifest* m)
{
    CommandResult listing = Run("ls -A1 " + Quote(root + folder + "/"));
    std::istringstream lines(listing.output);
    std::string name;
    while (std::getline(lines, name)) {
        if (name.empty())
            continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (stat((root + path).c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            m->folders.insert(path);
            HostManifest(root, path, m);
        } else {
            const std::vector<uint8_t> bytes = ReadFileBytes(root + path);
            m->files[path] = {bytes.size(), Sha256Hex(bytes)};
        }
    }
}

void ExpectSameManifest(const Manifest& got, const Manifest& want)
{
    EXPECT_EQ(FormatManifest(got), FormatManifest(want));
}

bool NeedTools(const std::vector<std::string>& tools, std::string* missing)
{
    for (const auto& tool : tools) {
        if (!HaveProgram(tool)) {
            *missing = tool;
            return false;
        }
    }
    return true;
}

#define REQUIRE_TOOLS(...)                                        \
    do {                                                          \
        std::string missing;                                      \
        if (!NeedTools({__VA_ARGS__}, &missing))                  \
            SKIP_OR_FAIL_IN_CI(missing << " is not installed");   \
    } while (0)

struct NtfsGolden {
    const char* what;
    const char* image;     // first volume of the image restored
    const char* manifest;  // the tree it restores to
    uint64_t targetBytes;  // differs from the source's 12 MiB
};

class GoldenNtfs : public ::testing::TestWithParam<NtfsGolden> {};

TEST_P(GoldenNtfs, RestoresToItsManifest)
{
    REQUIRE_TOOLS("ntfsls", "ntfscat", "ntfsfix");
    const NtfsGolden& g = GetParam();
    TempDir tmp;
    const std::string target = tmp.file("sdz1");
    MakeSparseFile(target, g.targetBytes);
    ASSERT_EQ(RestoreNtfsImage(GoldenDir() + g.image, target), 0) << g.what;
    EXPECT_EQ(NtfsCheckProblems(target), "") << g.what;
    Manifest got;
    std::string why;
    ASSERT_TRUE(NtfsManifest(target, "", &got, &why)) << why;
    ExpectSameManifest(got, ReadManifest(GoldenDir() + g.manifest));
}

INSTANTIATE_TEST_SUITE_P(
    Images, GoldenNtfs,
    ::testing::Values(
        NtfsGolden {"full, QuickLZ, split into volumes", "ntfs_split_0_0.bkp", "ntfs_split.manifest", 16 * kMiB},
        NtfsGolden {"full image of a chain, deflate", "ntfs_chain_0_0.bkp", "ntfs_chain_0.manifest", 14 * kMiB},
        NtfsGolden {"incremental image of a chain", "ntfs_chain_0_1.bkp", "ntfs_chain_1.manifest", 20 * kMiB},
        NtfsGolden {"password, description and head block", "ntfs_pass_0_0.bkp", "ntfs_pass.manifest",
                    13 * kMiB}),
    [](const ::testing::TestParamInfo<NtfsGolden>& info) {
        std::string name = info.param.image;
        name = name.substr(0, name.find(".bkp"));
        return name;
    });

TEST(GoldenImages, TheSplitImageHasSeveralVolumes)
{
    EXPECT_TRUE(FileExists(GoldenDir() + "ntfs_split_1_0.bkp"));
}

// The password image's first volume: the caller's head block at offset 0,
// and in its trailer's partition record the password's digest and the
// compressed description.
TEST(GoldenImages, ThePasswordImageKeepsItsHeadDigestAndDescription)
{
    const std::vector<uint8_t> volume = ReadFileBytes(GoldenDir() + "ntfs_pass_0_0.bkp");
    ASSERT_GT(volume.size(), sizeof(tagBLOCK_END));
    ASSERT_EQ(std::memcmp(volume.data(), kGoldenHead, sizeof kGoldenHead), 0);

    tagBLOCK_END end;
    std::memcpy(&end, volume.data() + volume.size() - sizeof end, sizeof end);
    EXPECT_EQ(uint32_t(end.magic), 0x454B4C42u);
    EXPECT_EQ(uint32_t(end.fsType), FS_TYPE_NTFS);
    EXPECT_EQ(uint32_t(end.singleVolume), 1);
    const uint64_t blockStart = uint64_t(end.blkStartHigh) << 32 | end.blkStartLow;
    ASSERT_LT(blockStart + sizeof(tagBLOCK_START), volume.size());
    tagBLOCK_START start;
    std::memcpy(&start, volume.data() + blockStart, sizeof start);
    EXPECT_EQ(uint32_t(start.magic), 0x534B4C42u);
    const uint64_t infoAt = blockStart + sizeof start + start.mftBitmapSize;
    ASSERT_LT(infoAt + sizeof(tagPARTITION_INFO), volume.size());
    tagPARTITION_INFO info;
    std::memcpy(&info, volume.data() + infoAt, sizeof info);
    EXPECT_EQ(uint32_t(info.magic), 0x4F464950u);
    EXPECT_EQ(uint32_t(info.compressType), 3);
    ASSERT_EQ(uint32_t(info.passwordHashSize), 16);

    const uint64_t digestAt = infoAt + sizeof info + info.mbrSize + info.bootAreaSize;
    ASSERT_LE(digestAt + 16 + info.descriptionSize, volume.size());
    const QByteArray digest(reinterpret_cast<const char*>(volume.data() + digestAt), 16);
    EXPECT_EQ(digest, QCryptographicHash::hash(QByteArray(kGoldenPassword), QCryptographicHash::Md5))
        << "the stored digest is not the test password's";
    const QByteArray description(reinterpret_cast<const char*>(volume.data() + digestAt + 16),
                                 int(info.descriptionSize));
    EXPECT_EQ(qUncompress(description), QByteArray(kGoldenDescription));
}

TEST(GoldenImages, Fat32RestoresToItsManifest)
{
    REQUIRE_TOOLS("mcopy", "fsck.fat");
    TempDir tmp;
    const std::string target = tmp.file("sdz1");
    MakeSparseFile(target, 48 * kMiB);
    tagRestoreArgument arg;
    arg.imagePath = GoldenDir() + "fat32_0_0.bkp";
    arg.targetPartition = target;
    ASSERT_EQ(restore_fat32(arg, tagCallBackFunc {}), 0);
    const CommandResult check = CheckFat(target);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const std::string out = tmp.file("out");
    ASSERT_EQ(mkdir(out.c_str(), 0700), 0);
    ASSERT_TRUE(ExtractFatTree(target, out));
    Manifest got;
    HostManifest(out, "", &got);
    ExpectSameManifest(got, ReadManifest(GoldenDir() + "fat32.manifest"));
}

// ---- The maker, run only by hand (make.sh): it writes new images into
// $GOLDEN_OUT with the engine of this build.

std::vector<NtfsFileSpec> NtfsTreeOne()
{
    return {
        {"docs", {}, true},
        {"docs/readme.txt", std::vector<uint8_t>(1200, 'r')},
        {"docs/deep", {}, true},
        {"docs/deep/random.bin", PatternBytes(300 * 1024, 11)},
        {"grows.log", PatternBytes(40 * 1024, 12)},
        {"same-size.dat", PatternBytes(64 * 1024, 13)},
        {"goes-away.tmp", PatternBytes(20 * 1024, 14)},
        {"empty", {}},
        {"tiny.txt", {'h', 'i', '\n'}},
    };
}

void WriteText(const std::string& path, const std::string& text)
{
    WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void WriteNtfsManifest(const std::string& partition, const std::string& path)
{
    Manifest m;
    std::string why;
    ASSERT_TRUE(NtfsManifest(partition, "", &m, &why)) << why;
    WriteText(path, FormatManifest(m));
}

void MakeNtfsSource(const std::string& part, const std::string& work)
{
    std::string why;
    ASSERT_TRUE(MakeNtfsPartition(part, 12 * kMiB, &why, "-L golden")) << why;
    ASSERT_TRUE(FillNtfsPartition(part, work, NtfsTreeOne(), &why)) << why;
}

TEST(GoldenImages, DISABLED_Make)
{
    const char* outEnv = std::getenv("GOLDEN_OUT");
    ASSERT_NE(outEnv, nullptr) << "set GOLDEN_OUT to the folder that receives the images";
    const std::string out = std::string(outEnv) + "/";
    TempDir tmp;
    const std::string part = tmp.file("src1");

    // Split, QuickLZ.
    MakeNtfsSource(part, tmp.path());
    ASSERT_EQ(BackupNtfsImage(part, out + "ntfs_split", 1, 300 * 1024), 0);
    WriteNtfsManifest(part, out + "ntfs_split.manifest");

    // Chain, deflate level 1: a new file, a grown file, a file rewritten at
    // the same size and a deleted file between the two images.
    MakeNtfsSource(part, tmp.path());
    ASSERT_EQ(BackupNtfsImage(part, out + "ntfs_chain", 2), 0);
    WriteNtfsManifest(part, out + "ntfs_chain_0.manifest");
    {
        const std::string mnt = tmp.file("mnt");
        ASSERT_EQ(mkdir(mnt.c_str(), 0700), 0);
        NtfsMount mount(part, mnt);
        ASSERT_TRUE(mount.ok()) << mount.log();
        WriteFileBytes(mnt + "/docs/new-file.bin", PatternBytes(50 * 1024, 21));
        std::vector<uint8_t> grown = PatternBytes(40 * 1024, 12);
        const std::vector<uint8_t> more = PatternBytes(30 * 1024, 22);
        grown.insert(grown.end(), more.begin(), more.end());
        WriteFileBytes(mnt + "/grows.log", grown);
        WriteFileBytes(mnt + "/same-size.dat", PatternBytes(64 * 1024, 23));
        ASSERT_EQ(std::remove((mnt + "/goes-away.tmp").c_str()), 0);
        ASSERT_TRUE(mount.Unmount());
    }
    ASSERT_EQ(BackupNtfsImage(part, out + "ntfs_chain", 2, ImageFormat::kNeverSplit, out + "ntfs_chain_0_0.bkp"), 0);
    WriteNtfsManifest(part, out + "ntfs_chain_1.manifest");

    // Password, description and a head block, deflate default level.
    MakeNtfsSource(part, tmp.path());
    tagBackupArgument arg;
    arg.srcPartition = part;
    arg.imagePath = out + "ntfs_pass";
    arg.fsType = FS_TYPE_NTFS;
    arg.compressType = 3;
    arg.password = kGoldenPassword;
    arg.description = kGoldenDescription;
    std::vector<char> head(kGoldenHead, kGoldenHead + sizeof kGoldenHead);
    ASSERT_EQ(backup_ntfs(arg, tagCallBackFunc {}, reinterpret_cast<tagBackupImageHeadInfo*>(head.data()),
                          int(head.size())),
              0);
    WriteNtfsManifest(part, out + "ntfs_pass.manifest");

    // FAT32: a long name, a subfolder, an empty file, a file of many clusters.
    const std::string fat = tmp.file("fat1");
    FatImage image(fat, 34 * kMiB, 1, "GOLDEN", tmp.path());
    image.MakeDir("/Sub Folder");
    image.AddFile("/A rather long file name.txt", std::vector<uint8_t>(700, 'L'));
    image.AddFile("/Sub Folder/many-clusters.bin", PatternBytes(200 * 1024, 31));
    image.AddFile("/Sub Folder/EMPTY.TXT", {});
    image.AddFile("/SHORT.TXT", {'o', 'k', '\n'});
    ASSERT_EQ(testsupport::BackupFat32Image(fat, out + "fat32", 1), 0);
    const std::string copy = tmp.file("fatcopy");
    ASSERT_EQ(mkdir(copy.c_str(), 0700), 0);
    ASSERT_TRUE(ExtractFatTree(fat, copy));
    Manifest m;
    HostManifest(copy, "", &m);
    WriteText(out + "fat32.manifest", FormatManifest(m));
}

}  // namespace
