// The Chinese catalogue keeps step with the console's own windows: with it
// installed, every text the main window and the clone wizard show, and
// every tooltip, is Chinese; and every text the frame, the storage dialogs
// and the console mark for translation has a Chinese entry (found as
// lupdate finds them).
#include "storage/parted_sanitizer_options.h"
#include "programs/rescue/console/backup_dlg.h"
#include "wizard/base_msg_dlg.h"
#include "programs/rescue/console/clone_dlg.h"
#include "programs/rescue/console/console_startup.h"
#include "console/frame_console_fixture.h"
#include "wizard/frame_resources.h"
#include "programs/rescue/console/main_dlg.h"
#include "programs/rescue/console/restore_dlg.h"
#include "support/test_support.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTranslator>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

bool hasChinese(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff)
            return true;
    }
    return false;
}

// The texts of a window (only its own widgets, or also those of the windows
// it holds) that are not Chinese; the product name is the same in both
// languages.
std::string untranslatedTexts(QWidget& window, Qt::FindChildOptions options)
{
    QStringList texts;
    for (QLabel* label : window.findChildren<QLabel*>(QString(), options))
        texts << label->text() << label->toolTip();
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>(QString(), options))
        texts << button->text() << button->toolTip();
    for (QGroupBox* box : window.findChildren<QGroupBox*>(QString(), options))
        texts << box->title();
    QStringList missing;
    for (const QString& text : texts) {
        // Figures, times and file names ("64.00 MB", "00:00:00", "*.bkp")
        // read the same in both languages: only words need translating.
        static const QRegularExpression word(QStringLiteral("[A-Za-z]{3,}"));
        if (!text.trimmed().isEmpty() && !hasChinese(text) && !text.startsWith(QStringLiteral("Sorvik")) &&
            word.match(text).hasMatch())
            missing << text;
    }
    return missing.join(QStringLiteral(" | ")).toStdString();
}

TEST(ConsoleCatalogue, MainWindowAndCloneWizardSpeakChinese)
{
    consoletest::consoleApp();
    ConsoleStartup startup;
    ASSERT_TRUE(startup.installConsoleCatalogue("zh_CN.UTF-8"));
    MainDlg main;
    EXPECT_EQ(untranslatedTexts(main, Qt::FindDirectChildrenOnly), "");
    CloneDlg& clone = *main.cloneDlg();
    EXPECT_EQ(untranslatedTexts(clone, Qt::FindChildrenRecursively), "");
    // Its refusals speak Chinese too: step 3 needs a source first.
    MsgBoxAnswers answers;
    clone.showStep3();
    ASSERT_EQ(answers.boxes.size(), 1);
    EXPECT_TRUE(hasChinese(answers.boxes[0].title) && hasChinese(answers.boxes[0].message))
        << answers.boxes[0].message.toStdString();
    EXPECT_TRUE(hasChinese(clone.nextButton()->text()));
}

TEST(ConsoleCatalogue, TheBackupAndRestoreWizardsSpeakChineseOnEveryPage)
{
    consoletest::consoleApp();
    ConsoleStartup startup;
    ASSERT_TRUE(startup.installConsoleCatalogue(QByteArray()));  // LANG unset
    BackupDlg backup;
    RestoreDlg restore(nullptr, QString());
    // Every page's texts, shown or not: the pages are built with the wizard.
    EXPECT_EQ(untranslatedTexts(backup, Qt::FindChildrenRecursively), "");
    EXPECT_EQ(untranslatedTexts(restore, Qt::FindChildrenRecursively), "");
}

TEST(ConsoleCatalogue, EveryTextMarkedForTranslationHasAChineseEntry)
{
    consoletest::consoleApp();
    const QString lupdate = QStandardPaths::findExecutable(QStringLiteral("lupdate"));
    if (lupdate.isEmpty())
        SKIP_OR_FAIL_IN_CI("lupdate is not installed");
    testsupport::TempDir dir;
    const QString found = QString::fromStdString(dir.file("found.ts"));
    const QString root = QStringLiteral(QUARN_SOURCE_ROOT) + QStringLiteral("/src/");
    QProcess run;
    run.start(lupdate,
              {QStringLiteral("-silent"), QStringLiteral("-no-obsolete"), root + QStringLiteral("wizard"),
               root + QStringLiteral("jobs"), root + QStringLiteral("platform/linux"),
               root + QStringLiteral("programs/rescue/console"), QStringLiteral("-ts"), found});
    ASSERT_TRUE(run.waitForFinished(120000));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();

    QTranslator chinese;
    ASSERT_TRUE(chinese.load(frameCatalogPath()));
    QFile file(found);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QString context, source, comment;
    bool numerus = false;
    int texts = 0;
    QStringList missing;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("message")) {
            numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
            source.clear();
            comment.clear();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("comment")) {
            comment = xml.readElementText();
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            ++texts;
            const QByteArray c = context.toUtf8(), s = source.toUtf8(), d = comment.toUtf8();
            if (chinese
                    .translate(c.constData(), s.constData(), d.isEmpty() ? nullptr : d.constData(),
                               numerus ? 1 : -1)
                    .isEmpty())
                missing << context + QStringLiteral("::") + source;
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(texts, 200) << "the sources were read";
    EXPECT_EQ(missing.join(QStringLiteral(" | ")).toStdString(), "");
}

}  // namespace

namespace {

// Every catalogue says "image" with one word: a user who reads two takes
// them for two things.
TEST(ConsoleCatalogue, EveryCatalogueUsesOneWordForImage)
{
    const QString root = QStringLiteral(QUARN_SOURCE_ROOT) + QStringLiteral("/resources/");
    for (const char* catalogue :
         {"rescue/translations/pelrid_zh_CN.ts", "desktop/translations/pelrid_zh_CN.ts",
          "desktop/translations/tools_zh_CN.ts"}) {
        QFile file(root + QLatin1String(catalogue));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << catalogue;
        const QString text = QString::fromUtf8(file.readAll());
        EXPECT_FALSE(text.contains(QString::fromUtf8("映像"))) << catalogue;
        EXPECT_TRUE(text.contains(QString::fromUtf8("镜像"))) << catalogue;
    }
}

}  // namespace
