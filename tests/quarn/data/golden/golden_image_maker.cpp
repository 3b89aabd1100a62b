// Writes the golden images and their manifests with the engine of this
// build: run by hand through make.sh, never by the tests (the checked-in
// images are the reference a later engine must still read).
//   golden_image_maker <output folder> [name prefix]
// A prefix names a later set of the same images, made with a later format,
// without touching the names of the sets already checked in.
#include "support/fat_fixture.h"
#include "support/fat_jobs.h"
#include "support/golden_images.h"
#include "quarn/api/image_format.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_jobs.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1ull << 20;

void Check(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what);
}

void WriteText(const std::string& path, const std::string& text)
{
    WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void WriteNtfsManifest(const std::string& partition, const std::string& path)
{
    Manifest m;
    std::string why;
    Check(NtfsManifest(partition, "", &m, &why), why);
    WriteText(path, FormatManifest(m));
}

// A 12 MiB NTFS source: nested folders, an empty file, and the files the
// incremental image changes.
void MakeNtfsSource(const std::string& part, const std::string& work)
{
    const std::vector<NtfsFileSpec> files = {
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
    std::string why;
    Check(MakeNtfsPartition(part, 12 * kMiB, &why, "-L golden"), why);
    Check(FillNtfsPartition(part, work, files, &why), why);
}

// Between the two images of the chain: a new file, a grown file, a file
// rewritten at the same size, a deleted file.
void ChangeNtfsSource(const std::string& part, const std::string& mnt)
{
    Check(mkdir(mnt.c_str(), 0700) == 0, "mkdir " + mnt);
    NtfsMount mount(part, mnt);
    Check(mount.ok(), mount.log());
    WriteFileBytes(mnt + "/docs/new-file.bin", PatternBytes(50 * 1024, 21));
    std::vector<uint8_t> grown = PatternBytes(40 * 1024, 12);
    const std::vector<uint8_t> more = PatternBytes(30 * 1024, 22);
    grown.insert(grown.end(), more.begin(), more.end());
    WriteFileBytes(mnt + "/grows.log", grown);
    WriteFileBytes(mnt + "/same-size.dat", PatternBytes(64 * 1024, 23));
    Check(std::remove((mnt + "/goes-away.tmp").c_str()) == 0, "remove goes-away.tmp");
    Check(mount.Unmount(), "unmount " + mnt);
}

void MakeImages(const std::string& folder, const std::string& prefix)
{
    const std::string out = folder + prefix;
    TempDir tmp;
    const std::string part = tmp.file("src1");

    // QuickLZ, split into three volumes.
    MakeNtfsSource(part, tmp.path());
    Check(BackupNtfsImage(part, out + "ntfs_split", 1, 300 * 1024) == 0, "split backup");
    WriteNtfsManifest(part, out + "ntfs_split.manifest");

    // A full and an incremental image, raw deflate level 1.
    MakeNtfsSource(part, tmp.path());
    Check(BackupNtfsImage(part, out + "ntfs_chain", 2) == 0, "chain: full backup");
    WriteNtfsManifest(part, out + "ntfs_chain_0.manifest");
    ChangeNtfsSource(part, tmp.file("mnt"));
    Check(BackupNtfsImage(part, out + "ntfs_chain", 2, ImageFormat::kNeverSplit,
                          out + "ntfs_chain_0_0.bkp") == 0,
          "chain: incremental backup");
    WriteNtfsManifest(part, out + "ntfs_chain_1.manifest");

    // A password, a description and a head block, raw deflate default level.
    MakeNtfsSource(part, tmp.path());
    tagBackupArgument arg;
    arg.srcPartition = part;
    arg.imagePath = out + "ntfs_pass";
    arg.fsType = FS_TYPE_NTFS;
    arg.compressType = 3;
    arg.password = kGoldenPassword;
    arg.description = kGoldenDescription;
    std::vector<char> head(kGoldenHead, kGoldenHead + sizeof kGoldenHead);
    Check(backup_ntfs(arg, tagCallBackFunc{}, reinterpret_cast<tagBackupImageHeadInfo*>(head.data()),
                      int(head.size())) == 0,
          "password backup");
    WriteNtfsManifest(part, out + "ntfs_pass.manifest");

    // FAT32 of 512-byte clusters, QuickLZ: a long name, a subfolder, an
    // empty file, a file of 400 clusters.
    const std::string fat = tmp.file("fat1");
    FatImage image(fat, 34 * kMiB, 1, "GOLDEN", tmp.path());
    image.MakeDir("/Sub Folder");
    image.AddFile("/A rather long file name.txt", std::vector<uint8_t>(700, 'L'));
    image.AddFile("/Sub Folder/many-clusters.bin", PatternBytes(200 * 1024, 31));
    image.AddFile("/Sub Folder/EMPTY.TXT", {});
    image.AddFile("/SHORT.TXT", {'o', 'k', '\n'});
    Check(BackupFat32Image(fat, out + "fat32", 1) == 0, "FAT32 backup");
    const std::string copy = tmp.file("fatcopy");
    Check(mkdir(copy.c_str(), 0700) == 0, "mkdir " + copy);
    Check(ExtractFatTree(fat, copy), "mcopy of the FAT32 source");
    Manifest m;
    HostManifest(copy, "", &m);
    WriteText(out + "fat32.manifest", FormatManifest(m));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <output folder> [name prefix]\n", argv[0]);
        return 2;
    }
    try {
        MakeImages(std::string(argv[1]) + "/", argc == 3 ? argv[2] : "");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "golden_image_maker: %s\n", e.what());
        return 1;
    }
    return 0;
}
