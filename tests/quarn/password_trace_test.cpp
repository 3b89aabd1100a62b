// An image's password is stored as its digest, and neither the password nor
// the digest may reach any output: the engine's trace (standard error) of a
// backup and of its restore holds neither, in any spelling.
#include "support/backup_argument.h"
#include "support/fat_fixture.h"
#include "support/ntfs_fixture.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <string>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;
const char kPassword[] = "Tr0ub4dor&3 secret";

// Every form in which the password or its digest could be written.
std::vector<std::string> Secrets()
{
    const QByteArray digest = QCryptographicHash::hash(QByteArray(kPassword), QCryptographicHash::Md5);
    return {kPassword, digest.toHex().toStdString(), digest.toHex().toUpper().toStdString(),
            digest.toStdString(), digest.toBase64().toStdString()};
}

void ExpectNoSecret(const std::string& output)
{
    for (const std::string& secret : Secrets())
        EXPECT_EQ(output.find(secret), std::string::npos) << "the trace holds a secret:\n" << output;
}

struct Job {
    const char* what;
    int fsType;
};

class PasswordTrace : public ::testing::TestWithParam<Job> {};

TEST_P(PasswordTrace, NeitherTheBackupNorTheRestoreTracesThePasswordOrItsDigest)
{
    const Job job = GetParam();
    TempDir dir;
    const std::string source = dir.file("sdz1");
    const std::string target = dir.file("sdx1");
    if (job.fsType == FS_TYPE_NTFS) {
        if (!HaveNtfsTools())
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
        std::string log;
        ASSERT_TRUE(MakeNtfsPartition(source, 8 * kMiB, &log)) << log;
        ASSERT_TRUE(NtfsCopyIn(source, dir.path(), "data.bin", PatternBytes(50000, 3), &log)) << log;
        MakeSparseFile(target, 8 * kMiB);
    } else {
        if (!HaveProgram("mkfs.fat") || !HaveProgram("mcopy"))
            SKIP_OR_FAIL_IN_CI("dosfstools or mtools are not installed");
        FatImage fat(source, 40 * kMiB, 1, "SECRET", dir.file("scratch"));
        fat.AddFile("/DATA.BIN", PatternBytes(50000, 3));
        MakeSparseFile(target, 40 * kMiB);
    }

    tagBackupArgument backup =
        BackupArgumentFor(job.fsType, source, dir.file("img"), 1, ~0ull, std::string());
    backup.password = kPassword;
    backup.description = "with a password";
    tagRestoreArgument restore;
    restore.imagePath = dir.file("img_0_0.bkp");
    restore.targetPartition = target;

    testing::internal::CaptureStderr();
    const int backedUp = job.fsType == FS_TYPE_NTFS ? backup_ntfs(backup, tagCallBackFunc{}, nullptr, 0)
                                                    : backup_fat32(backup, tagCallBackFunc{}, nullptr, 0);
    int restored = -1;
    {
        FakeDosfsckOnPath quiet(dir.file("bin"));
        restored = job.fsType == FS_TYPE_NTFS ? restore_ntfs(restore, tagCallBackFunc{})
                                              : restore_fat32(restore, tagCallBackFunc{});
    }
    const std::string trace = testing::internal::GetCapturedStderr();
    ASSERT_EQ(backedUp, 0) << trace;
    ASSERT_EQ(restored, 0) << trace;
    // The trace was captured.
    EXPECT_NE(trace.find(job.fsType == FS_TYPE_NTFS ? "backup_ntfs" : "backup_fat32"), std::string::npos);
    ExpectNoSecret(trace);
    // The image itself holds the digest, as it must.
    const std::vector<uint8_t> image = ReadFileBytes(restore.imagePath);
    const std::string digest = Secrets()[3];
    EXPECT_NE(std::string(image.begin(), image.end()).find(digest), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Jobs, PasswordTrace,
                         ::testing::Values(Job{"ntfs", FS_TYPE_NTFS}, Job{"fat32", FS_TYPE_FAT32}),
                         [](const testing::TestParamInfo<Job>& info) {
                             return std::string(info.param.what);
                         });

}  // namespace
