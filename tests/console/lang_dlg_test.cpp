// The language dialog writes LANG for the start-up's catalogues.
#include "storage/parted_sanitizer_options.h"
#include "console/console_test_app.h"
#include "programs/rescue/console/lang_dlg.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(LangDlg, ConstructionSetsSimplifiedChineseBeforeAnyChoice)
{
    consoletest::testApp();
    qputenv("LANG", "de_DE.UTF-8");
    langDlg dlg;
    EXPECT_EQ(qgetenv("LANG"), QByteArray("zh_CN"));
    ASSERT_EQ(dlg.comboBox()->count(), 3);
    EXPECT_EQ(dlg.comboBox()->itemText(0), QString::fromUtf8("简体中文"));
    EXPECT_EQ(dlg.comboBox()->itemText(1), QString::fromUtf8("繁体中文"));
    EXPECT_EQ(dlg.comboBox()->itemText(2), QStringLiteral("English"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Select language"));
}

TEST(LangDlg, EachChoiceWritesItsLanguage)
{
    consoletest::testApp();
    langDlg dlg;
    const struct {
        int index;
        const char* lang;
    } cases[] = {{2, "en"}, {1, "zh_TW"}, {0, "zh_CN"}, {2, "en"}};
    for (const auto& c : cases) {
        dlg.comboBox()->setCurrentIndex(c.index);
        EXPECT_EQ(qgetenv("LANG"), QByteArray(c.lang)) << c.index;
    }
    qputenv("LANG", "xx");
    dlg.changLangSlot(7);
    EXPECT_EQ(qgetenv("LANG"), QByteArray("zh_CN"));
}

TEST(LangDlg, OkAccepts)
{
    consoletest::testApp();
    langDlg dlg;
    dlg.show();
    QSignalSpy accepted(&dlg, &QDialog::accepted);
    QTest::mouseClick(dlg.pushButton(), Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

}  // namespace
