// The Chinese catalogue keeps step with the console's own windows: with it
// installed, every text the main window and the clone wizard show, and
// every tooltip, is Chinese.
#include "../storage/parted_sanitizer_options.h"
#include "clone_dlg.h"
#include "console_startup.h"
#include "frame_console_fixture.h"
#include "main_dlg.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
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
        if (!text.trimmed().isEmpty() && !hasChinese(text) && !text.startsWith(QStringLiteral("Sorvik")))
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
    clone.showStep3();
    EXPECT_TRUE(hasChinese(clone.nextButton()->text()));
}

}  // namespace
