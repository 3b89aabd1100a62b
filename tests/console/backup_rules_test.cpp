// The backup wizard's rules on image names, chains and volume sizes, and
// its third page.
#include "programs/rescue/console/backup_dlg.h"
#include "jobs/backup_rules.h"
#include "wizard/base_msg_dlg.h"
#include "programs/rescue/console/bk_widget2.h"
#include "wizard/frame_resources.h"
#include "wizard/bk_widget3.h"
#include "wizard/rt_widget3.h"
#include "console/console_test_app.h"
#include "storage/parted_sanitizer_options.h"
#include "support/test_support.h"

#include <QComboBox>
#include <QPushButton>
#include <QTranslator>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QTextCodec>
#include <QTextEdit>
#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace BackupRules;

TEST(BackupRules, BaseNameOfAChosenImage)
{
    const struct {
        const char* name;
        const char* base;
    } cases[] = {
        {"sys_0_3.bkp", "sys"},     {"my_disk_12_0.bkp", "my_disk"},
        {"old.bkp", "old."},  // no volume ending: the last three characters go
        {"a_1_2_0_0.bkp", "a_1_2"}, {"x_0_0.BKP", "x_0_0."},  // the ending is matched case-sensitively
    };
    for (const auto& c : cases)
        EXPECT_EQ(imageBaseOfFile(QString::fromUtf8(c.name)), QString::fromUtf8(c.base)) << c.name;
}

TEST(BackupRules, VolumeSizesFitTheDestinationsFiles)
{
    const struct {
        int choice;
        const char* fs;
        bool known;
        uint64_t size;
    } cases[] = {
        {AutoSize, "ntfs", true, kNeverSplit},
        {AutoSize, "NTFS", true, kNeverSplit},
        {AutoSize, "FAT32", true, kLargestFat32Volume},
        {AutoSize, "fat32", true, kLargestFat32Volume},
        {AutoSize, "vfat", true, kLargestFat32Volume},  // a stick without partition table
        {AutoSize, "FAT16", true, k2GiB},
        {AutoSize, "", false, 0},  // an SMB share
        {AutoSize, "ext4", false, 0},
        {Size2GB, "FAT32", true, k2GiB},
        {Size4GB, "FAT32", true, kLargestFat32Volume},  // never more than a FAT32 file holds
        {Size8GB, "vfat", true, kLargestFat32Volume},
        {Size4GB, "NTFS", true, k4GiB},
        {Size8GB, "NTFS", true, k8GiB},
        {Size8GB, "", true, k8GiB},
        {7, "NTFS", true, kNeverSplit},
    };
    for (const auto& c : cases) {
        uint64_t size = 1;
        EXPECT_EQ(splitSize(c.choice, QString::fromUtf8(c.fs), &size), c.known) << c.choice << c.fs;
        EXPECT_EQ(size, c.size) << c.choice << " " << c.fs;
    }
    EXPECT_LT(kLargestFat32Volume, k4GiB - 1);
    EXPECT_EQ(kLargestFat32Volume % 1048576, 0u);
    EXPECT_EQ(volumeSizeChoiceCount(QStringLiteral("FAT32")), 2);
    EXPECT_EQ(volumeSizeChoiceCount(QStringLiteral("vfat")), 2);
    EXPECT_EQ(volumeSizeChoiceCount(QStringLiteral("NTFS")), 4);
    EXPECT_EQ(volumeSizeChoiceCount(QString()), 4);
}

class ImageFolder : public ::testing::Test {
protected:
    void touch(const std::string& name) { std::ofstream(folder.file(name)) << "x"; }
    QString path(const std::string& name) const { return QString::fromStdString(folder.file(name)); }
    testsupport::TempDir folder;
};

TEST_F(ImageFolder, ImageSetHoldsEveryVolumeOfTheBaseOnly)
{
    for (const char* name : {"sys_0_0.bkp", "sys_1_0.bkp", "sys_0_1.bkp", "sys_old_0_0.bkp", "sys.txt",
                             "sys_0_0.bkp.part", "system_0_0.bkp"})
        touch(name);
    EXPECT_EQ(imageSetFiles(path("sys")),
              (QStringList{path("sys_0_0.bkp"), path("sys_0_1.bkp"), path("sys_1_0.bkp")}));
    EXPECT_TRUE(imageSetFiles(path("none")).isEmpty());
}

TEST_F(ImageFolder, OnlyTheNewestImageOfAChainIsABase)
{
    for (const char* name :
         {"sys_0_0.bkp", "sys_1_0.bkp", "sys_0_1.bkp", "sys_0_2.bkp", "sys_1_2.bkp", "other_0_5.bkp"})
        touch(name);
    EXPECT_EQ(newerImageInChain(path("sys_0_0.bkp")), path("sys_0_2.bkp"));
    EXPECT_EQ(newerImageInChain(path("sys_0_1.bkp")), path("sys_0_2.bkp"));
    EXPECT_EQ(newerImageInChain(path("sys_0_2.bkp")), QString());
    EXPECT_EQ(newerImageInChain(path("other_0_5.bkp")), QString());
    EXPECT_EQ(newerImageInChain(path("old.bkp")), QString());
}

TEST(BackupRules, PasswordDigestIsTakenFromUtf8Bytes)
{
    const QString password = QString::fromUtf8("p\xc3\xa4sswort\xe4\xb8\xad");
    EXPECT_EQ(engineText(password), QByteArray("p\xc3\xa4sswort\xe4\xb8\xad"));
    EXPECT_EQ(
        passwordDigest(password).toHex(),
        QCryptographicHash::hash(QByteArray("p\xc3\xa4sswort\xe4\xb8\xad"), QCryptographicHash::Md5).toHex());
}

// The restore wizard hashes what the user types the way the backup stored
// it, also when the locale's code page is not UTF-8.
TEST(BackupRules, TheRestorePasswordMatchesTheBackupsDigestUnderALatin1Locale)
{
    consoletest::testApp();
    QTextCodec* previous = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    const QString password = QString::fromUtf8("p\xc3\xa4sswort");
    ASSERT_NE(password.toLocal8Bit(), password.toUtf8()) << "the locale must differ from UTF-8";
    RtWidget3 page;
    page.m_pwdEdit->setText(password);
    EXPECT_EQ(page.passwordDigest().toHex(), passwordDigest(password).toHex());
    page.m_pwdEdit->setText(QString::fromUtf8("p\xc3\xa4ssword"));
    EXPECT_NE(page.passwordDigest().toHex(), passwordDigest(password).toHex());
    page.m_pwdEdit->clear();
    EXPECT_TRUE(page.passwordDigest().isEmpty()) << "no password typed: no digest";
    QTextCodec::setCodecForLocale(previous);
}

TEST(BackupOptionsPage, FieldsAndThePresetComment)
{
    consoletest::testApp();
    BkWidget3 page;
    EXPECT_EQ(page.size(), QSize(530, 400));
    EXPECT_EQ(BkWidget3::datePreset(QDateTime(QDate(2024, 3, 5), QTime(9, 7, 2))),
              QStringLiteral("2024-03-05 09:07:02"));
    EXPECT_TRUE(page.description().startsWith(QString::number(QDate::currentDate().year()) + "-"));
    for (QLineEdit* edit : {page.m_passwordEdit, page.m_confirmEdit}) {
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        EXPECT_EQ(edit->maxLength(), 20);
    }
    EXPECT_EQ(page.m_compressCombo->count(), 3);
    EXPECT_EQ(page.m_sizeCombo->count(), 4);
    page.m_compressCombo->setCurrentIndex(2);
    page.m_passwordEdit->setText(QStringLiteral("secret1"));
    page.m_confirmEdit->setText(QStringLiteral("secret2"));
    page.m_commentEdit->setPlainText(QStringLiteral("weekly"));
    EXPECT_EQ(page.compressIndex(), 2);
    EXPECT_EQ(page.password(), QStringLiteral("secret1"));
    EXPECT_EQ(page.confirmPassword(), QStringLiteral("secret2"));
    EXPECT_EQ(page.description(), QStringLiteral("weekly"));

    // The next job starts from the defaults: no password is offered again.
    page.m_sizeCombo->setCurrentIndex(3);
    page.restoreDefaults();
    EXPECT_TRUE(page.password().isEmpty());
    EXPECT_TRUE(page.confirmPassword().isEmpty());
    EXPECT_EQ(page.compressIndex(), 0);
    EXPECT_EQ(page.volumeSizeIndex(), 0);
    EXPECT_TRUE(page.description().startsWith(QString::number(QDate::currentDate().year()) + "-"));
}

TEST(BackupOptionsPage, TheCommentFieldHoldsNoMoreThanAnImageStores)
{
    consoletest::testApp();
    BkWidget3 page;
    const QString han = QString::fromUtf8("\xE5\xA4\x87");
    QString text;
    for (int i = 0; i < 400; ++i)
        text += han;
    page.m_commentEdit->setPlainText(text);
    EXPECT_EQ(page.description(), text.left(333));
    EXPECT_EQ(page.description(), limitDescription(text));
    page.m_commentEdit->setPlainText(QStringLiteral("weekly"));
    EXPECT_EQ(page.description(), QStringLiteral("weekly"));
}

TEST(BackupOptionsPage, Fat32DestinationOffersNoVolumeLargerThanItsFiles)
{
    consoletest::testApp();
    BkWidget3 page;
    page.m_sizeCombo->setCurrentIndex(3);
    page.setDestinationFs(QStringLiteral("FAT32"));
    ASSERT_EQ(page.m_sizeCombo->count(), 2);
    EXPECT_EQ(page.m_sizeCombo->itemText(1), QStringLiteral("2 GB"));
    EXPECT_EQ(page.volumeSizeIndex(), 0);  // 8 GB no longer fits: back to Auto
    page.m_sizeCombo->setCurrentIndex(1);
    page.setDestinationFs(QStringLiteral("vfat"));
    EXPECT_EQ(page.volumeSizeIndex(), 1);
    page.setDestinationFs(QStringLiteral("NTFS"));
    EXPECT_EQ(page.m_sizeCombo->count(), 4);
    EXPECT_EQ(page.volumeSizeIndex(), 1);
}

}  // namespace

namespace {

TEST(BackupWizardTexts, ChineseCatalogueCoversTheWizard)
{
    consoletest::testApp();
    initRescueFrame();
    QTranslator catalogue;
    ASSERT_TRUE(catalogue.load(frameCatalogPath()));
    QCoreApplication::installTranslator(&catalogue);
    {
        BackupDlg wizard;
        EXPECT_EQ(wizard.returnButton()->text(), QString::fromUtf8("\xe8\xbf\x94\xe5\x9b\x9e"));  // 返回
        EXPECT_EQ(wizard.nextButton()->text(), QString::fromUtf8("\xe4\xb8\x8b\xe4\xb8\x80\xe6\xad\xa5"));
        EXPECT_EQ(wizard.page2()->typeCombo()->itemText(1),
                  QString::fromUtf8("\xe5\xa2\x9e\xe9\x87\x8f\xe5\xa4\x87\xe4\xbb\xbd"));  // 增量备份
        EXPECT_EQ(wizard.page3()->m_sizeCombo->itemText(0), QString::fromUtf8("\xe8\x87\xaa\xe5\x8a\xa8"));
        MsgBoxAnswers answers;
        wizard.showStep2();
        ASSERT_EQ(answers.boxes.size(), 1);
        EXPECT_EQ(answers.boxes[0].message,
                  QString::fromUtf8("\xe6\x82\xa8\xe5\xbf\x85\xe9\xa1\xbb\xe9\x80\x89\xe6\x8b\xa9\xe4\xb8\x80"
                                    "\xe4\xb8\xaa\xe8\xa6\x81\xe5\xa4\x87\xe4\xbb\xbd\xe7\x9a\x84\xe5\x88\x86"
                                    "\xe5\x8c\xba\xef\xbc\x81"));  // 您必须选择一个要备份的分区！
    }
    QCoreApplication::removeTranslator(&catalogue);
}

}  // namespace
