// The backup plan's rules, one table of choices against the problem, the
// question or the request each gives; image files are real files in a
// private folder.
#include "jobs/backup_plan.h"
#include "jobs/backup_rules.h"
#include "support/image_builder.h"
#include "jobs/image_head_layout.h"
#include "jobs/image_trailer.h"
#include "support/ntfs_fixture.h"
#include "jobs/restore_plan.h"
#include "support/skip_or_fail.h"
#include "support/test_support.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

using BackupPlan::Choices;
using BackupPlan::Problem;
using BackupPlan::Question;

const quint64 kGiB = 1073741824ULL;

// A head block of a partition: number, file system, start and length.
QByteArray headBlock(int number, int fsCode, quint64 start, quint64 sectors)
{
    QByteArray bytes(ImageHead::kFixedSize, '\0');
    auto* head = reinterpret_cast<tagBackupImageHeadInfo*>(bytes.data());
    head->blockSize = qToLittleEndian<quint32>(ImageHead::kFixedSize);
    std::memcpy(head->signature, ImageHead::kSignature, sizeof head->signature);
    std::memcpy(head->contact, ImageHead::kContact, sizeof head->contact);
    head->partitionNumber = uint8_t(number);
    head->fsCode = uint8_t(fsCode);
    head->partStartSector = qToLittleEndian<quint64>(start);
    head->partSectorCount = qToLittleEndian<quint64>(sectors);
    return bytes;
}

QByteArray sinkBytes(const testsupport::ByteSink& sink)
{
    return QByteArray(reinterpret_cast<const char*>(sink.bytes.data()), int(sink.bytes.size()));
}

// A first volume: the head block, then the records that end a one-volume
// image (with the digest of `password` when it is not empty).
QByteArray imageBytes(const QByteArray& head, const QString& password = QString())
{
    testsupport::ByteSink sink;
    sink.Put(head.constData(), size_t(head.size()));
    testsupport::VolumeEnd end;
    if (!password.isEmpty()) {
        const QByteArray digest = BackupRules::passwordDigest(password);
        end.passwordHash.assign(digest.begin(), digest.end());
    }
    end.AppendTo(sink);
    return sinkBytes(sink);
}

void writeFile(const std::string& path, const QByteArray& bytes)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class BackupPlanTest : public ::testing::Test {
protected:
    // A full NTFS backup of 10 GiB used onto 100 GiB free NTFS space that
    // passes every rule; each case changes what it is about.
    Choices passing() const
    {
        Choices c;
        c.sourcePartition = QStringLiteral("/dev/sdz1");
        c.mbrSource = QStringLiteral("/dev/sdz");
        c.fsCode = BackupPlan::kNtfsCode;
        c.usedBytes = qint64(10 * kGiB);
        c.headBlock = headBlock(1, 4, 2048, 1000000);
        c.imagePath = path("new");
        c.destFreeBytes = 100 * kGiB;
        c.destFsName = QStringLiteral("NTFS");
        return c;
    }
    QString path(const char* name) const { return QString::fromStdString(m_dir.file(name)); }

    testsupport::TempDir m_dir;
};

TEST_F(BackupPlanTest, EveryRuleGivesItsProblemOrQuestion)
{
    // An image chain "chain": the full image (generation 0) and one
    // incremental (generation 1) of partition 1; "other" is of partition 2.
    writeFile(m_dir.file("chain_0_0.bkp"), imageBytes(headBlock(1, 4, 2048, 1000000)));
    writeFile(m_dir.file("chain_1_0.bkp"), QByteArray(10, 'x'));
    writeFile(m_dir.file("chain_0_1.bkp"), imageBytes(headBlock(1, 4, 2048, 1000000)));
    writeFile(m_dir.file("other_0_0.bkp"), imageBytes(headBlock(2, 4, 2048, 1000000)));
    writeFile(m_dir.file("short_0_0.bkp"), QByteArray(20, 'x'));
    // Partitions 2 and 12 of a disk: the whole number tells them apart.
    writeFile(m_dir.file("two_0_0.bkp"), imageBytes(headBlock(2, 4, 2048, 1000000)));
    writeFile(m_dir.file("twelve_0_0.bkp"), imageBytes(headBlock(12, 4, 2048, 1000000)));
    const auto incrementalOn = [this](const char* previous) {
        return [this, previous](Choices& c) {
            c.incremental = true;
            c.imagePath = path("chain");
            c.previousImage = path(previous);
        };
    };

    const struct {
        const char* what;
        std::function<void(Choices&)> change;
        Problem problem;
        Question question;
    } cases[] = {
        {"all rules pass", [](Choices&) {}, Problem::None, Question::None},
        {"incremental on the newest image", incrementalOn("chain_0_1.bkp"), Problem::None, Question::None},
        {"incremental of FAT32",
         [&](Choices& c) {
             incrementalOn("chain_0_1.bkp")(c);
             c.fsCode = BackupPlan::kFat32Code;
         },
         Problem::IncrementalNotNtfs, Question::None},
        {"incremental on an image that is not the newest of its chain", incrementalOn("chain_0_0.bkp"),
         Problem::PreviousImageNotNewest, Question::None},
        {"incremental on an older image, head not compared (the desktop)",
         [&](Choices& c) {
             incrementalOn("chain_0_0.bkp")(c);
             c.checkPreviousPartition = false;
         },
         Problem::PreviousImageNotNewest, Question::None},
        {"incremental on another partition's image", incrementalOn("other_0_0.bkp"),
         Problem::PreviousImageOtherPartition, Question::None},
        {"incremental on another partition's image, head not compared",
         [&](Choices& c) {
             incrementalOn("other_0_0.bkp")(c);
             c.checkPreviousPartition = false;
         },
         Problem::None, Question::None},
        {"partition 12's incremental on partition 2's image",
         [&](Choices& c) {
             incrementalOn("two_0_0.bkp")(c);
             c.headBlock = headBlock(12, 4, 2048, 1000000);
         },
         Problem::PreviousImageOtherPartition, Question::None},
        {"partition 12's incremental on its own image",
         [&](Choices& c) {
             incrementalOn("twelve_0_0.bkp")(c);
             c.headBlock = headBlock(12, 4, 2048, 1000000);
         },
         Problem::None, Question::None},
        {"incremental on a file too short for a head", incrementalOn("short_0_0.bkp"),
         Problem::PreviousImageUnreadable, Question::None},
        {"incremental on a missing file", incrementalOn("missing_0_0.bkp"), Problem::PreviousImageUnreadable,
         Question::None},
        {"incremental on a later volume of the full image", incrementalOn("chain_1_0.bkp"),
         Problem::PreviousImageNotFirstVolume, Question::None},
        {"incremental on a later volume, head not compared",
         [&](Choices& c) {
             incrementalOn("chain_1_0.bkp")(c);
             c.checkPreviousPartition = false;
         },
         Problem::PreviousImageNotFirstVolume, Question::None},
        {"used bytes exactly 0.8 of the free bytes",
         [](Choices& c) {
             c.usedBytes = qint64(8 * kGiB);
             c.destFreeBytes = 10 * kGiB;
         },
         Problem::None, Question::None},
        {"used bytes one above 0.8 of the free bytes",
         [](Choices& c) {
             c.usedBytes = qint64(8 * kGiB) + 1;
             c.destFreeBytes = 10 * kGiB;
         },
         Problem::NotEnoughSpace, Question::None},
        {"space checked for an incremental too",
         [&](Choices& c) {
             incrementalOn("chain_0_1.bkp")(c);
             c.destFreeBytes = kGiB;
         },
         Problem::NotEnoughSpace, Question::None},
        {"used bytes not measured: the space check passes",
         [](Choices& c) {
             c.usedBytes = 0;
             c.destFreeBytes = 0;
         },
         Problem::None, Question::None},
        {"a share without free bytes", [](Choices& c) { c.destFreeBytes = 0; }, Problem::NotEnoughSpace,
         Question::None},
        {"password of 5 characters",
         [](Choices& c) { c.password = c.confirmPassword = QStringLiteral("12345"); },
         Problem::PasswordTooShort, Question::None},
        {"password of 6 characters twice",
         [](Choices& c) { c.password = c.confirmPassword = QStringLiteral("123456"); }, Problem::None,
         Question::None},
        {"confirmation of 3 characters",
         [](Choices& c) {
             c.password = QStringLiteral("123456");
             c.confirmPassword = QStringLiteral("123");
         },
         Problem::PasswordTooShort, Question::None},
        {"password typed once", [](Choices& c) { c.password = QStringLiteral("123456"); },
         Problem::PasswordsDiffer, Question::None},
        {"passwords that differ",
         [](Choices& c) {
             c.password = QStringLiteral("123456");
             c.confirmPassword = QStringLiteral("123457");
         },
         Problem::PasswordsDiffer, Question::None},
        {"\"Auto\" on an unknown file system", [](Choices& c) { c.destFsName = QStringLiteral("ext4"); },
         Problem::DestinationFsUnknown, Question::None},
        {"\"Auto\" on a share (no file system)",
         [](Choices& c) {
             c.destFsName.clear();
             c.usedBytes = 0;
         },
         Problem::DestinationFsUnknown, Question::None},
        {"\"2 GB\" on an unknown file system",
         [](Choices& c) {
             c.destFsName = QStringLiteral("ext4");
             c.volumeSizeIndex = BackupRules::Size2GB;
         },
         Problem::None, Question::None},
        {"full backup over an existing image set", [this](Choices& c) { c.imagePath = path("chain"); },
         Problem::None, Question::ReplaceImageSet},
        {"full backup over an existing image set, agreed",
         [this](Choices& c) {
             c.imagePath = path("chain");
             c.replaceConfirmed = true;
         },
         Problem::None, Question::None},
        {"the rules come before the question",
         [this](Choices& c) {
             c.imagePath = path("chain");
             c.password = QStringLiteral("1");
         },
         Problem::PasswordTooShort, Question::None},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        Choices choices = passing();
        test.change(choices);
        const BackupPlan::Result result = BackupPlan::plan(choices);
        EXPECT_EQ(result.problem, test.problem);
        EXPECT_EQ(result.question, test.question);
        EXPECT_EQ(result.ready(), test.problem == Problem::None && test.question == Question::None);
    }
}

TEST_F(BackupPlanTest, ProblemsFoundAtStepTwoCarryTheFileToChooseAndTheFigures)
{
    writeFile(m_dir.file("big_0_0.bkp"), imageBytes(headBlock(1, 4, 2048, 1000000)));
    writeFile(m_dir.file("big_1_0.bkp"), QByteArray(10, 'x'));
    writeFile(m_dir.file("big_0_1.bkp"), imageBytes(headBlock(1, 4, 2048, 1000000)));
    writeFile(m_dir.file("big_1_1.bkp"), QByteArray(10, 'x'));

    // The step 2 check ignores what step 3 holds: a too short password
    // does not hide the base's problem, and is not reported there.
    Choices c = passing();
    c.incremental = true;
    c.imagePath = path("big");
    c.password = QStringLiteral("1");
    const struct {
        const char* chosen;
        const char* toChoose;
    } volumes[] = {{"big_1_0.bkp", "big_0_0.bkp"}, {"big_1_1.bkp", "big_0_1.bkp"}};
    for (const auto& volume : volumes) {
        SCOPED_TRACE(volume.chosen);
        c.previousImage = path(volume.chosen);
        const BackupPlan::Result result = BackupPlan::checkPlace(c);
        EXPECT_EQ(result.problem, Problem::PreviousImageNotFirstVolume);
        EXPECT_EQ(result.firstVolume, path(volume.toChoose));
    }
    c.previousImage = path("big_0_1.bkp");
    EXPECT_EQ(BackupPlan::checkPlace(c).problem, Problem::None);

    c.usedBytes = qint64(8 * kGiB) + 1;
    c.destFreeBytes = 10 * kGiB;
    const BackupPlan::Result full = BackupPlan::checkPlace(c);
    ASSERT_EQ(full.problem, Problem::NotEnoughSpace);
    EXPECT_EQ(full.freeBytes, 10 * kGiB);
    EXPECT_EQ(full.neededFreeBytes, BackupPlan::freeBytesNeeded(c.usedBytes));
    EXPECT_GT(full.neededFreeBytes, 10 * kGiB);
}

TEST(BackupPlanRules, FirstVolumeAndNeededFreeBytes)
{
    const struct {
        const char* chosen;
        const char* first;
    } names[] = {
        {"/img/big_1_0.bkp", "/img/big_0_0.bkp"},
        {"/img/big_12_3.bkp", "/img/big_0_3.bkp"},
        {"D:\\Images\\big_2_1.bkp", "D:\\Images\\big_0_1.bkp"},
        {"/img/big_0_0.bkp", ""},
        {"/img/big_0_4.bkp", ""},
        {"/img/old.bkp", ""},
    };
    for (const auto& name : names)
        EXPECT_EQ(BackupPlan::firstVolumeOf(QString::fromLatin1(name.chosen)),
                  QString::fromLatin1(name.first))
            << name.chosen;

    // The needed count is the smallest whose 0.8 share holds the used bytes.
    for (const qint64 used : {qint64(1), qint64(8), qint64(9), qint64(8 * kGiB) + 1, qint64(123456789)}) {
        const quint64 needed = BackupPlan::freeBytesNeeded(used);
        EXPECT_LE(double(used), BackupPlan::kMaxShareOfFreeBytes * double(needed)) << used;
        EXPECT_GT(double(used), BackupPlan::kMaxShareOfFreeBytes * double(needed - 1)) << used;
    }
    EXPECT_EQ(BackupPlan::freeBytesNeeded(0), 0u);
}

TEST_F(BackupPlanTest, TheQuestionListsTheWholeSetAndTheNewerImageIsNamed)
{
    writeFile(m_dir.file("set_0_0.bkp"), imageBytes(headBlock(1, 4, 2048, 1000000)));
    writeFile(m_dir.file("set_1_0.bkp"), QByteArray(1, 'x'));
    writeFile(m_dir.file("set_0_1.bkp"), imageBytes(headBlock(1, 4, 2048, 1000000)));
    writeFile(m_dir.file("settle_0_0.bkp"), QByteArray(1, 'x'));  // another base
    Choices full = passing();
    full.imagePath = path("set");
    EXPECT_EQ(BackupPlan::plan(full).filesToReplace,
              QStringList({path("set_0_0.bkp"), path("set_0_1.bkp"), path("set_1_0.bkp")}));

    Choices incremental = passing();
    incremental.incremental = true;
    incremental.imagePath = path("set");
    incremental.previousImage = path("set_0_0.bkp");
    EXPECT_EQ(BackupPlan::plan(incremental).newerImage, path("set_0_1.bkp"));
}

TEST_F(BackupPlanTest, FilesAreReadThroughTheLocalPathsAndTheEngineGetsItsOwn)
{
    writeFile(m_dir.file("d_0_0.bkp"), imageBytes(headBlock(1, 4, 2048, 1000000)));
    writeFile(m_dir.file("d_0_1.bkp"), imageBytes(headBlock(1, 4, 2048, 1000000)));
    Choices c = passing();
    c.incremental = true;
    c.imagePath = QStringLiteral("D:\\d");
    c.previousImage = QStringLiteral("D:\\d_0_0.bkp");
    c.localImagePath = path("d");
    c.localPreviousImage = path("d_0_0.bkp");
    EXPECT_EQ(BackupPlan::plan(c).problem, Problem::PreviousImageNotNewest);
    c.previousImage = QStringLiteral("D:\\d_0_1.bkp");
    c.localPreviousImage = path("d_0_1.bkp");
    const BackupPlan::Result result = BackupPlan::plan(c);
    ASSERT_TRUE(result.ready());
    EXPECT_EQ(result.request.imagePath, "D:\\d");
    EXPECT_EQ(result.request.prevImage, "D:\\d_0_1.bkp");
}

TEST_F(BackupPlanTest, TheRequestCarriesTheChoicesAndTheMeasuredUsedBytes)
{
    Choices c = passing();
    c.active = true;
    c.compressIndex = 2;
    c.password = c.confirmPassword = QStringLiteral("geheim1");
    c.description = QStringLiteral("Notiz");
    c.usedBytes = 45400000;
    const BackupPlan::Result result = BackupPlan::plan(c);
    ASSERT_TRUE(result.ready());
    const tagBackupArgument& arg = result.request;
    EXPECT_FALSE(arg.incremental);
    EXPECT_EQ(arg.srcPartition, "/dev/sdz1");
    EXPECT_EQ(arg.mbrSource, "/dev/sdz");
    EXPECT_EQ(arg.prevImage, "");
    EXPECT_EQ(arg.fsType, 4);
    EXPECT_EQ(arg.compressType, 3);
    EXPECT_TRUE(arg.saveMbr);
    EXPECT_EQ(arg.mbrSize, 512);
    EXPECT_EQ(arg.password, "geheim1");
    EXPECT_EQ(arg.description, "Notiz");
    EXPECT_EQ(arg.volumeSize, BackupRules::kNeverSplit);
    EXPECT_EQ(arg.bytesToProcess, 45400000u);
    // The head block stores the used bytes measured at Start.
    ASSERT_EQ(result.headBlock.size(), c.headBlock.size());
    const auto* head = reinterpret_cast<const tagBackupImageHeadInfo*>(result.headBlock.constData());
    EXPECT_EQ(qFromLittleEndian<quint64>(head->partitionUsedBytes), 45400000u);

    // No disk to read the start from: no disk start is stored.
    c.mbrSource.clear();
    EXPECT_FALSE(BackupPlan::plan(c).request.saveMbr);
    EXPECT_EQ(BackupPlan::plan(c).request.mbrSize, 0);
    // Used bytes not measured: the head block keeps what it had.
    c.usedBytes = -1;
    EXPECT_EQ(BackupPlan::plan(c).headBlock, c.headBlock);
    EXPECT_EQ(BackupPlan::plan(c).request.bytesToProcess, 0u);
}

TEST_F(BackupPlanTest, VolumeSizesFollowTheDestinationsLargestFile)
{
    const uint64_t below4GiB = 4095ULL * 1048576ULL;
    const struct {
        const char* fsName;
        int choice;
        uint64_t size;
    } cases[] = {
        {"NTFS", BackupRules::AutoSize, BackupRules::kNeverSplit},
        {"FAT32", BackupRules::AutoSize, below4GiB},
        {"vfat", BackupRules::AutoSize, below4GiB},
        {"FAT16", BackupRules::AutoSize, BackupRules::k2GiB},
        {"FAT32", BackupRules::Size4GB, below4GiB},
        {"FAT32", BackupRules::Size8GB, below4GiB},
        {"FAT32", BackupRules::Size2GB, BackupRules::k2GiB},
        {"NTFS", BackupRules::Size4GB, BackupRules::k4GiB},
        {"NTFS", BackupRules::Size8GB, BackupRules::k8GiB},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(test.fsName) + " " + std::to_string(test.choice));
        Choices c = passing();
        c.destFsName = QString::fromLatin1(test.fsName);
        c.volumeSizeIndex = test.choice;
        const BackupPlan::Result result = BackupPlan::plan(c);
        ASSERT_TRUE(result.ready());
        EXPECT_EQ(result.request.volumeSize, test.size);
    }
    // The one-drive backup names the destination by its file-system code.
    EXPECT_EQ(BackupPlan::fsNameOfCode(3), QStringLiteral("FAT32"));
    EXPECT_EQ(BackupPlan::fsNameOfCode(4), QStringLiteral("NTFS"));
    EXPECT_EQ(BackupPlan::fsNameOfCode(2), QStringLiteral("FAT16"));
    EXPECT_EQ(BackupPlan::fsNameOfCode(0), QString());
}

}  // namespace

namespace {

TEST_F(BackupPlanTest, AtStartTheQuestionDecidesHowTheOldSetIsReplaced)
{
    writeFile(m_dir.file("old_0_0.bkp"), QByteArray(1, 'x'));
    writeFile(m_dir.file("old_0_1.bkp"), QByteArray(1, 'x'));
    Choices c = passing();
    c.imagePath = path("old");
    int asked = 0;
    BackupPlan::Result result = BackupPlan::planAtStart(c, [&](const BackupPlan::Result& asking) {
        ++asked;
        EXPECT_EQ(asking.filesToReplace.size(), 2);
        return false;
    });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(result.question, Question::ReplaceImageSet);
    EXPECT_FALSE(result.ready());
    EXPECT_TRUE(QFile::exists(path("old_0_1.bkp")));

    // Agreed: the old set stays until the new image is whole; the plan
    // names it for the clean-up after the job.
    result = BackupPlan::planAtStart(c, [](const BackupPlan::Result&) { return true; });
    EXPECT_TRUE(result.ready());
    EXPECT_FALSE(result.oldSetDeletedFirst);
    EXPECT_TRUE(QFile::exists(path("old_0_0.bkp")));
    EXPECT_TRUE(QFile::exists(path("old_0_1.bkp")));
    EXPECT_EQ(result.filesToReplace, QStringList({path("old_0_0.bkp"), path("old_0_1.bkp")}));
    EXPECT_TRUE(BackupPlan::oldSetUnchanged(result));

    // A refused plan asks nothing.
    c.password = QStringLiteral("123");
    result = BackupPlan::planAtStart(c, [&](const BackupPlan::Result&) { return ++asked > 0; });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(result.problem, Problem::PasswordTooShort);
    EXPECT_TRUE(QFile::exists(path("old_0_0.bkp")));

    // Nothing to replace: nobody is asked.
    c = passing();
    result = BackupPlan::planAtStart(c, [&](const BackupPlan::Result&) { return ++asked > 0; });
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(result.ready());
}

TEST_F(BackupPlanTest, WhereBothDoNotFitTheOldSetGoesFirstOnlyWhenAgreed)
{
    writeFile(m_dir.file("old_0_0.bkp"), QByteArray(1000, 'x'));
    writeFile(m_dir.file("old_0_1.bkp"), QByteArray(24, 'x'));
    Choices c = passing();
    c.imagePath = path("old");
    c.usedBytes = 800;
    c.destFreeBytes = 500;  // 1000 needed beside the old set; 1524 once it goes
    BackupPlan::Result result = BackupPlan::planAtStart(c, [&](const BackupPlan::Result& asking) {
        EXPECT_EQ(asking.question, Question::DeleteOldImageFirst);
        EXPECT_EQ(asking.usedBytes, 800);
        EXPECT_EQ(asking.freeBytes, 500u);
        EXPECT_EQ(asking.oldSetBytes, 1024u);
        EXPECT_EQ(asking.neededFreeBytes, 1000u);
        return false;
    });
    EXPECT_FALSE(result.ready());
    EXPECT_TRUE(QFile::exists(path("old_0_0.bkp")));

    result = BackupPlan::planAtStart(c, [](const BackupPlan::Result&) { return true; });
    ASSERT_TRUE(result.ready()) << int(result.problem);
    EXPECT_TRUE(result.oldSetDeletedFirst);
    EXPECT_FALSE(QFile::exists(path("old_0_0.bkp")));
    EXPECT_FALSE(QFile::exists(path("old_0_1.bkp")));
}

// The rule of the existing set: the question it gives, or the refusal,
// by the source's used bytes, the free bytes and the old set's bytes.
TEST_F(BackupPlanTest, ReplacementTable)
{
    writeFile(m_dir.file("set_0_0.bkp"), QByteArray(600, 'x'));
    writeFile(m_dir.file("set_1_0.bkp"), QByteArray(400, 'x'));
    const struct {
        const char* what;
        const char* base;
        qint64 used;
        quint64 free;
        Problem problem;
        Question question;
    } cases[] = {
        {"no set: fits", "none", 800, 1000, Problem::None, Question::None},
        {"no set: does not fit", "none", 801, 1000, Problem::NotEnoughSpace, Question::None},
        {"set, both fit (exactly 0.8)", "set", 800, 1000, Problem::None, Question::ReplaceImageSet},
        {"set, both do not fit, new one fits once the set goes", "set", 801, 1000, Problem::None,
         Question::DeleteOldImageFirst},
        {"set, exactly 0.8 of free and old bytes", "set", 1600, 1000, Problem::None,
         Question::DeleteOldImageFirst},
        {"set, too big even without it", "set", 1601, 1000, Problem::NotEnoughSpace, Question::None},
        {"set, used bytes not measured", "set", 0, 0, Problem::None, Question::ReplaceImageSet},
        {"set named in other letters on a FAT destination", "SET", 10, 1000, Problem::None,
         Question::ReplaceImageSet},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        const BackupPlan::Result result =
            BackupPlan::replacementOf(path(test.base), QStringLiteral("FAT32"), test.used, test.free);
        EXPECT_EQ(result.problem, test.problem);
        EXPECT_EQ(result.question, test.question);
    }
    // The wizard's own plan follows the same rule, and the check before
    // Start passes where the old set may go first.
    Choices c = passing();
    c.imagePath = path("set");
    c.usedBytes = 1200;
    c.destFreeBytes = 1000;
    EXPECT_EQ(BackupPlan::plan(c).question, Question::DeleteOldImageFirst);
    EXPECT_TRUE(BackupPlan::check(c).ready());
    c.usedBytes = 1700;
    EXPECT_EQ(BackupPlan::check(c).problem, Problem::NotEnoughSpace);
}

// How a destination compares names: the existing-image test and the
// clean-up both see "C_backup" and "c_backup" as one base where its file
// system does.
TEST_F(BackupPlanTest, NameCaseTable)
{
    writeFile(m_dir.file("c_backup_0_0.bkp"), QByteArray(1, 'x'));
    writeFile(m_dir.file("c_backup_1_0.bkp"), QByteArray(1, 'x'));
    writeFile(m_dir.file("C_backup_0_1.bkp"), QByteArray(1, 'x'));
    writeFile(m_dir.file("C_backup_0_0.bkp.part"), QByteArray(1, 'x'));
    writeFile(m_dir.file("C_backups_0_0.bkp"), QByteArray(1, 'x'));
    const struct {
        const char* fsName;
        Qt::CaseSensitivity nameCase;
        int setFiles;  // of the base "C_backup"
    } cases[] = {
        {"NTFS", Qt::CaseInsensitive, 3},  {"ntfs", Qt::CaseInsensitive, 3},
        {"FAT32", Qt::CaseInsensitive, 3}, {"vfat", Qt::CaseInsensitive, 3},
        {"FAT16", Qt::CaseInsensitive, 3}, {"", Qt::CaseInsensitive, 3},
        {"ext4", Qt::CaseSensitive, 1},    {"XFS", Qt::CaseSensitive, 1},
        {"btrfs", Qt::CaseSensitive, 1},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.fsName);
        const Qt::CaseSensitivity nameCase = BackupRules::nameCaseOf(QString::fromLatin1(test.fsName));
        EXPECT_EQ(nameCase, test.nameCase);
        EXPECT_EQ(BackupRules::imageSetFiles(path("C_backup"), nameCase).size(), test.setFiles);
        EXPECT_EQ(BackupRules::unfinishedVolumes(path("c_backup"), nameCase).size(),
                  test.nameCase == Qt::CaseInsensitive ? 1 : 0);
    }
}

// What a successful replace removes: the old set's files that are not
// volumes of the new image, found through the new volumes' end records.
TEST_F(BackupPlanTest, LeftoversOfAReplacedSetTable)
{
    // Volume `index` of generation 0, which names a next volume or not.
    const auto volume = [this](const char* name, int index, bool nextFollows) {
        testsupport::ByteSink sink;
        testsupport::VolumeEnd end;
        end.withRecords = index == 0;
        end.end.volumeIndex = uint8_t(index);
        end.end.singleVolume = 0;
        if (nextFollows)
            end.nextName = "next_volume.bkp";
        end.AppendTo(sink);
        writeFile(m_dir.file(name), sinkBytes(sink));
    };
    const QStringList oldSet = {path("img_0_0.bkp"), path("img_1_0.bkp"), path("img_2_0.bkp"),
                                path("img_0_1.bkp"), path("img_0_2.bkp")};
    const struct {
        const char* what;
        int newVolumes;  // written as volumes 0 .. n-1; 0: volume 0 unreadable
        QStringList leftovers;
    } cases[] = {
        {"new image of one volume",
         1,
         {path("img_1_0.bkp"), path("img_2_0.bkp"), path("img_0_1.bkp"), path("img_0_2.bkp")}},
        {"new image of two volumes", 2, {path("img_2_0.bkp"), path("img_0_1.bkp"), path("img_0_2.bkp")}},
        {"new image as long as the old", 3, {path("img_0_1.bkp"), path("img_0_2.bkp")}},
        {"new image not readable: only the incrementals go", 0, {path("img_0_1.bkp"), path("img_0_2.bkp")}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        for (const QString& file : oldSet)
            writeFile(file.toStdString(), QByteArray(3, 'o'));
        for (int index = 0; index < test.newVolumes; ++index) {
            const std::string name = "img_" + std::to_string(index) + "_0.bkp";
            volume(name.c_str(), index, index + 1 < test.newVolumes);
        }
        EXPECT_EQ(BackupRules::replacedSetLeftovers(oldSet, path("img")), test.leftovers);
    }
    // An old volume named in other letters where the file system keeps it
    // apart from the new one (as here) is a leftover too.
    writeFile(m_dir.file("Img_0_0.bkp"), QByteArray(3, 'o'));
    volume("img_0_0.bkp", 0, false);
    EXPECT_EQ(BackupRules::replacedSetLeftovers({path("Img_0_0.bkp")}, path("img"), Qt::CaseInsensitive),
              QStringList{path("Img_0_0.bkp")});
    EXPECT_EQ(BackupRules::replacedSetLeftovers({path("img_0_0.bkp")}, path("img"), Qt::CaseInsensitive),
              QStringList());
}

// After the job: a failure or cancel keeps the old set and removes what
// the job began; a success removes the leftovers of the old set.
TEST_F(BackupPlanTest, CleanUpAfterTheJobTable)
{
    const struct {
        const char* what;
        bool succeeded;
        QStringList remaining;
    } cases[] = {
        {"failed", false, {path("img_0_0.bkp"), path("img_0_1.bkp"), path("img_1_0.bkp")}},
        {"succeeded", true, {path("img_0_0.bkp")}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        for (const char* name : {"img_0_0.bkp", "img_1_0.bkp", "img_0_1.bkp", "stray_0_0.bkp"})
            writeFile(m_dir.file(name), QByteArray(3, 'o'));
        Choices c = passing();
        c.imagePath = path("img");
        c.replaceConfirmed = true;
        const BackupPlan::Result plan = BackupPlan::plan(c);
        ASSERT_TRUE(plan.ready());
        const QStringList before = BackupRules::imageSetFiles(path("img"));
        // What the job wrote: on failure an unfinished volume and a volume
        // of a new name; on success a new first volume of one volume.
        if (test.succeeded) {
            testsupport::ByteSink sink;
            testsupport::VolumeEnd end;
            end.AppendTo(sink);
            writeFile(m_dir.file("img_0_0.bkp"), sinkBytes(sink));
        } else {
            writeFile(m_dir.file("img_0_0.bkp.part"), QByteArray(5, 'n'));
            writeFile(m_dir.file("img_2_0.bkp"), QByteArray(5, 'n'));
        }
        EXPECT_EQ(BackupPlan::cleanUpAfterJob(plan, path("img"), before, test.succeeded), QStringList());
        const QStringList remaining = BackupRules::imageSetFiles(path("img"));
        EXPECT_EQ(remaining, test.remaining);
        EXPECT_EQ(BackupPlan::oldSetUnchanged(plan), !test.succeeded);
        EXPECT_FALSE(QFile::exists(path("img_0_0.bkp.part")));
        // Another base is never touched.
        EXPECT_TRUE(QFile::exists(path("stray_0_0.bkp")));
        for (const QString& file : remaining)
            QFile::remove(file);
    }
}

// An incremental on a protected image: that image's password first; the
// new image keeps the base's digest unless it takes its own password.
TEST_F(BackupPlanTest, PreviousImagePasswordTable)
{
    const QByteArray head = headBlock(1, 4, 2048, 1000000);
    const auto image = [&](const char* name, const QString& password) {
        writeFile(m_dir.file(name), imageBytes(head, password));
    };
    image("locked_0_0.bkp", QStringLiteral("secret1"));
    image("open_0_0.bkp", QString());
    EXPECT_TRUE(BackupPlan::previousImageProtected(path("locked_0_0.bkp")));
    EXPECT_FALSE(BackupPlan::previousImageProtected(path("open_0_0.bkp")));
    EXPECT_FALSE(BackupPlan::previousImageProtected(path("missing_0_0.bkp")));

    const struct {
        const char* what;
        const char* previous;
        const char* typed;  // the previous image's password
        const char* own;    // the new image's password, typed twice
        Problem problem;
        std::string enginePassword;
    } cases[] = {
        {"protected, nothing typed", "locked_0_0.bkp", "", "", Problem::PreviousImagePasswordMissing, ""},
        {"protected, wrong password", "locked_0_0.bkp", "secret2", "", Problem::PreviousImagePasswordWrong,
         ""},
        {"protected, right password, none of its own: the base's digest", "locked_0_0.bkp", "secret1", "",
         Problem::None, "secret1"},
        {"protected, right password, one of its own", "locked_0_0.bkp", "secret1", "mine123", Problem::None,
         "mine123"},
        {"protected, the new password is no substitute", "locked_0_0.bkp", "", "secret1",
         Problem::PreviousImagePasswordMissing, ""},
        {"open image, nothing typed", "open_0_0.bkp", "", "", Problem::None, ""},
        {"open image, a password of its own", "open_0_0.bkp", "", "mine123", Problem::None, "mine123"},
        {"open image, a stray password for it is ignored", "open_0_0.bkp", "whatever", "", Problem::None, ""},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        Choices c = passing();
        c.incremental = true;
        c.imagePath = path("x");
        c.previousImage = path(test.previous);
        c.previousImagePassword = QString::fromLatin1(test.typed);
        c.password = c.confirmPassword = QString::fromLatin1(test.own);
        const BackupPlan::Result result = BackupPlan::plan(c);
        EXPECT_EQ(result.problem, test.problem);
        if (test.problem == Problem::None) {
            EXPECT_EQ(result.request.password, test.enginePassword);
        }
    }
}

// A chain made by the engine: a protected full image, then an incremental
// without a password of its own. The incremental stores the base's digest,
// so its restore asks for that password.
TEST_F(BackupPlanTest, AnIncrementalWithoutItsOwnPasswordKeepsTheProtectedBasesDigest)
{
    if (!testsupport::HaveNtfsTools())
        SKIP_OR_FAIL_IN_CI("ntfs-3g's tools are missing");
    const std::string partition = m_dir.file("sdz1");
    std::string log;
    ASSERT_TRUE(testsupport::MakeNtfsPartition(partition, 16 << 20, &log)) << log;
    ASSERT_TRUE(testsupport::FillNtfsPartition(partition, m_dir.file("fill"),
                                               {{"a.txt", testsupport::PatternBytes(5000, 1)}}, &log))
        << log;
    const auto run = [](const BackupPlan::Result& result) {
        QByteArray head = result.headBlock;
        return backup_ntfs(result.request, tagCallBackFunc(),
                           reinterpret_cast<tagBackupImageHeadInfo*>(head.data()), head.size());
    };
    Choices full = passing();
    full.sourcePartition = QString::fromStdString(partition);
    full.mbrSource.clear();
    full.usedBytes = 0;
    full.imagePath = path("chain");
    full.password = full.confirmPassword = QStringLiteral("secret1");
    const BackupPlan::Result first = BackupPlan::plan(full);
    ASSERT_TRUE(first.ready());
    ASSERT_EQ(run(first), 0);

    Choices incremental = full;
    incremental.incremental = true;
    incremental.previousImage = path("chain_0_0.bkp");
    incremental.password.clear();
    incremental.confirmPassword.clear();
    EXPECT_EQ(BackupPlan::plan(incremental).problem, Problem::PreviousImagePasswordMissing);
    incremental.previousImagePassword = QStringLiteral("secret1");
    const BackupPlan::Result second = BackupPlan::plan(incremental);
    ASSERT_TRUE(second.ready()) << int(second.problem);
    ASSERT_EQ(run(second), 0);

    const ImageTrailer trailer = readImageTrailerRecords(path("chain_0_1.bkp"));
    ASSERT_EQ(trailer.status, ImageTrailer::Ok);
    EXPECT_EQ(trailer.passwordDigest, BackupRules::passwordDigest(QStringLiteral("secret1")));
    RestorePlan::Choices restore;
    restore.imagePath = path("chain_0_1.bkp");
    restore.targetPath = path("target");
    restore.fsCode = BackupPlan::kNtfsCode;
    restore.storedDigest = trailer.passwordDigest;
    EXPECT_EQ(RestorePlan::plan(restore).problem, RestorePlan::Problem::WrongPassword);
    restore.typedPassword = QStringLiteral("secret1");
    EXPECT_EQ(RestorePlan::plan(restore).problem, RestorePlan::Problem::None);
}

}  // namespace
