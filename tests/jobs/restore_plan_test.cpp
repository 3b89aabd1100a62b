// The restore plan's rules, one table of choices against the problem or
// the question each gives, and the request it builds.
#include "jobs/backup_rules.h"
#include "quarn/api/image_format.h"
#include "jobs/restore_plan.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using RestorePlan::Choices;
using RestorePlan::Problem;
using RestorePlan::Question;

// A partition restore of an image without password that passes every rule.
Choices passing()
{
    Choices c;
    c.imagePath = QStringLiteral("/mnt/img/sys_0_0.bkp");
    c.targetPath = QStringLiteral("/dev/sdz2");
    c.fsCode = 4;
    return c;
}

TEST(RestorePlan, EveryRuleGivesItsProblemOrQuestion)
{
    const QByteArray digest = BackupRules::passwordDigest(QStringLiteral("secret1"));
    const struct {
        const char* what;
        std::function<void(Choices&)> change;
        Problem problem;
        Question question;
    } cases[] = {
        {"a partition restore asks before erasing", [](Choices&) {}, Problem::None, Question::EraseTarget},
        {"the MBR alone asks before overwriting it",
         [](Choices& c) {
             c.restorePartition = false;
             c.restoreMbr = true;
         },
         Problem::None, Question::RestoreMbr},
        {"no image", [](Choices& c) { c.imagePath.clear(); }, Problem::NoImage, Question::None},
        {"the image gone with its unmounted place", [](Choices& c) { c.imageReadable = false; },
         Problem::ImageGone, Question::None},
        {"no target", [](Choices& c) { c.targetPath.clear(); }, Problem::NoTarget, Question::None},
        {"the running system (desktop)", [](Choices& c) { c.targetIsSystem = true; }, Problem::TargetIsSystem,
         Question::None},
        {"the image's password typed",
         [&](Choices& c) {
             c.storedDigest = digest;
             c.typedPassword = "secret1";
         },
         Problem::None, Question::EraseTarget},
        {"a wrong password",
         [&](Choices& c) {
             c.storedDigest = digest;
             c.typedPassword = "secret2";
         },
         Problem::WrongPassword, Question::None},
        {"no password for a protected image", [&](Choices& c) { c.storedDigest = digest; },
         Problem::WrongPassword, Question::None},
        {"a password typed for an image without one", [](Choices& c) { c.typedPassword = "secret1"; },
         Problem::WrongPassword, Question::None},
        {"neither partition nor MBR", [](Choices& c) { c.restorePartition = false; }, Problem::NothingChosen,
         Question::None},
        {"the partition that holds the image", [](Choices& c) { c.targetHoldsImage = true; },
         Problem::TargetHoldsImage, Question::None},
        {"the MBR alone of the partition that holds the image leaves the image alone",
         [](Choices& c) {
             c.targetHoldsImage = true;
             c.restorePartition = false;
             c.restoreMbr = true;
         },
         Problem::None, Question::RestoreMbr},
        {"the MBR alone onto a volume that fills its disk",
         [](Choices& c) {
             c.targetFillsWholeDisk = true;
             c.restorePartition = false;
             c.restoreMbr = true;
         },
         Problem::NoMbrOnWholeDisk, Question::None},
        {"partition and MBR onto a volume that fills its disk: the partition only",
         [](Choices& c) {
             c.targetFillsWholeDisk = true;
             c.restoreMbr = true;
         },
         Problem::None, Question::EraseTarget},
        {"an image larger than the target",
         [](Choices& c) {
             c.imageBytes = 3000ULL << 20;
             c.targetBytes = 2000ULL << 20;
         },
         Problem::TargetTooSmall, Question::None},
        {"an image that fills the target to the engine's slack",
         [](Choices& c) {
             c.targetBytes = 2000ULL << 20;
             c.imageBytes = c.targetBytes + ImageFormat::kTargetSizeSlack;
         },
         Problem::TargetTooSmall, Question::None},
        {"an image just inside the engine's slack",
         [](Choices& c) {
             c.targetBytes = 2000ULL << 20;
             c.imageBytes = c.targetBytes + ImageFormat::kTargetSizeSlack - 1;
         },
         Problem::None, Question::EraseTarget},
        {"sizes not known",
         [](Choices& c) {
             c.imageBytes = 3000ULL << 20;
             c.targetBytes = 0;
         },
         Problem::None, Question::EraseTarget},
        {"the MBR alone onto a small partition",
         [](Choices& c) {
             c.imageBytes = 3000ULL << 20;
             c.targetBytes = 2000ULL << 20;
             c.restorePartition = false;
             c.restoreMbr = true;
         },
         Problem::None, Question::RestoreMbr},
        {"the size comes before the password",
         [](Choices& c) {
             c.imageBytes = 3000ULL << 20;
             c.targetBytes = 2000ULL << 20;
             c.typedPassword = "x";
         },
         Problem::TargetTooSmall, Question::None},
        {"the system comes before the password",
         [](Choices& c) {
             c.targetIsSystem = true;
             c.typedPassword = "x";
         },
         Problem::TargetIsSystem, Question::None},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        Choices choices = passing();
        test.change(choices);
        const RestorePlan::Result result = RestorePlan::plan(choices);
        EXPECT_EQ(result.problem, test.problem);
        EXPECT_EQ(result.question, test.question);
    }
}

TEST(RestorePlan, TheTargetCheckOfStepTwoIgnoresThePasswordAndCarriesBothSizes)
{
    Choices c = passing();
    c.storedDigest = BackupRules::passwordDigest(QStringLiteral("secret1"));
    EXPECT_EQ(RestorePlan::checkTarget(c).problem, Problem::None);
    EXPECT_EQ(RestorePlan::plan(c).problem, Problem::WrongPassword);
    c.imageBytes = 3000ULL << 20;
    c.targetBytes = 2000ULL << 20;
    const RestorePlan::Result result = RestorePlan::checkTarget(c);
    EXPECT_EQ(result.problem, Problem::TargetTooSmall);
    EXPECT_EQ(result.imageBytes, 3000ULL << 20);
    EXPECT_EQ(result.targetBytes, 2000ULL << 20);
}

TEST(RestorePlan, TheRequestNamesImageTargetAndMbr)
{
    Choices c = passing();
    c.imagePath = QString::fromUtf8("/mnt/img/s\xc3\xbcs_0_0.bkp");
    c.restoreMbr = true;
    RestorePlan::Result result = RestorePlan::plan(c);
    EXPECT_EQ(result.request.imagePath, "/mnt/img/s\xc3\xbcs_0_0.bkp");  // UTF-8, as the backup named it
    EXPECT_EQ(result.request.targetPartition, "/dev/sdz2");
    EXPECT_EQ(result.request.hasMbr, 1);
    EXPECT_TRUE(result.partitionJob);

    c.restoreMbr = false;
    EXPECT_EQ(RestorePlan::plan(c).request.hasMbr, 0);

    c.restorePartition = false;
    c.restoreMbr = true;
    result = RestorePlan::plan(c);
    EXPECT_FALSE(result.partitionJob);
    EXPECT_EQ(result.request.hasMbr, 1);

    c.restorePartition = true;
    c.targetFillsWholeDisk = true;
    EXPECT_EQ(RestorePlan::plan(c).request.hasMbr, 0);
}

}  // namespace
