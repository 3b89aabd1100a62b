// The backup plan's rules, one table of choices against the problem, the
// question or the request each gives; image files are real files in a
// private folder.
#include "backup_plan.h"
#include "backup_rules.h"
#include "image_head_layout.h"
#include "test_support.h"

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
    writeFile(m_dir.file("chain_0_0.bkp"), headBlock(1, 4, 2048, 1000000));
    writeFile(m_dir.file("chain_1_0.bkp"), QByteArray(10, 'x'));
    writeFile(m_dir.file("chain_0_1.bkp"), headBlock(1, 4, 2048, 1000000));
    writeFile(m_dir.file("other_0_0.bkp"), headBlock(2, 4, 2048, 1000000));
    writeFile(m_dir.file("short_0_0.bkp"), QByteArray(20, 'x'));
    // Partitions 2 and 12 of a disk: the whole number tells them apart.
    writeFile(m_dir.file("two_0_0.bkp"), headBlock(2, 4, 2048, 1000000));
    writeFile(m_dir.file("twelve_0_0.bkp"), headBlock(12, 4, 2048, 1000000));
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
    writeFile(m_dir.file("big_0_0.bkp"), headBlock(1, 4, 2048, 1000000));
    writeFile(m_dir.file("big_1_0.bkp"), QByteArray(10, 'x'));
    writeFile(m_dir.file("big_0_1.bkp"), headBlock(1, 4, 2048, 1000000));
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
    EXPECT_EQ(full.bytesFree, 10 * kGiB);
    EXPECT_EQ(full.bytesNeeded, BackupPlan::freeBytesNeeded(c.usedBytes));
    EXPECT_GT(full.bytesNeeded, 10 * kGiB);
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
    writeFile(m_dir.file("set_0_0.bkp"), headBlock(1, 4, 2048, 1000000));
    writeFile(m_dir.file("set_1_0.bkp"), QByteArray(1, 'x'));
    writeFile(m_dir.file("set_0_1.bkp"), headBlock(1, 4, 2048, 1000000));
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
    writeFile(m_dir.file("d_0_0.bkp"), headBlock(1, 4, 2048, 1000000));
    writeFile(m_dir.file("d_0_1.bkp"), headBlock(1, 4, 2048, 1000000));
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

TEST_F(BackupPlanTest, AtStartTheQuestionDecidesWhetherTheOldSetGoes)
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

    result = BackupPlan::planAtStart(c, [](const BackupPlan::Result&) { return true; });
    EXPECT_TRUE(result.ready());
    EXPECT_FALSE(QFile::exists(path("old_0_0.bkp")));
    EXPECT_FALSE(QFile::exists(path("old_0_1.bkp")));

    // Nothing to replace: nobody is asked.
    result = BackupPlan::planAtStart(c, [&](const BackupPlan::Result&) { return ++asked > 0; });
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(result.ready());
    // A refused plan asks nothing either.
    writeFile(m_dir.file("old_0_0.bkp"), QByteArray(1, 'x'));
    c.password = QStringLiteral("123");
    result = BackupPlan::planAtStart(c, [&](const BackupPlan::Result&) { return ++asked > 0; });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(result.problem, Problem::PasswordTooShort);
    EXPECT_TRUE(QFile::exists(path("old_0_0.bkp")));
}

}  // namespace
