// The desktop's main window: its three entries, the hover texts, each
// wizard shown in its place and back, and Quit.
#include "wizard/base_msg_dlg.h"
#include "wizard/bk_widget3.h"
#include "programs/desktop/desk_backup_dlg.h"
#include "desktop/desk_machine.h"
#include "programs/desktop/desk_main_dlg.h"
#include "programs/desktop/desk_restore_dlg.h"
#include "programs/desktop/desk_settings.h"
#include "desktop/desk_test_app.h"
#include "wizard/event_button.h"
#include "product_version.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace desktest;

namespace {

TEST(DeskMainDlg, EntriesShowTheirWizardInPlaceOfTheMainWindow)
{
    testApp();
    DeskMachine machine;
    desk::writeSetting(desk::kDstPathKey, "D:\\Images");
    desk::MainDlg window;
    window.show();
    EXPECT_EQ(window.size(), QSize(800, 600));
    for (EventButton* button : {window.backupButton(), window.restoreButton(), window.toolButton()})
        EXPECT_FALSE(button->accessibleName().isEmpty());

    QTest::mouseClick(window.backupButton(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.backupDlg()->isVisible());
    QTest::mouseClick(window.backupDlg()->returnButton(), Qt::LeftButton);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.backupDlg()->isVisible());

    QTest::mouseClick(window.restoreButton(), Qt::LeftButton);
    EXPECT_TRUE(window.restoreDlg()->isVisible());
    QTest::mouseClick(window.restoreDlg()->returnButton(), Qt::LeftButton);
    EXPECT_TRUE(window.isVisible());

    // The tools dialog is not part of this build: its entry leaves the main window.
    QTest::mouseClick(window.toolButton(), Qt::LeftButton);
    EXPECT_TRUE(window.isVisible());
}

TEST(DeskMainDlg, EachOpeningBuildsAFreshWizard)
{
    testApp();
    DeskMachine machine;
    desk::writeSetting(desk::kDstPathKey, "D:\\Images");
    desk::MainDlg window;
    window.show();
    QTest::mouseClick(window.backupButton(), Qt::LeftButton);
    window.backupDlg()->page3()->m_passwordEdit->setText(QStringLiteral("secret99"));
    window.backupDlg()->page3()->m_confirmEdit->setText(QStringLiteral("secret99"));
    QTest::mouseClick(window.backupDlg()->returnButton(), Qt::LeftButton);
    // The second backup of the run: no password of the first is offered.
    QTest::mouseClick(window.backupButton(), Qt::LeftButton);
    ASSERT_TRUE(window.backupDlg()->isVisible());
    EXPECT_TRUE(window.backupDlg()->page3()->password().isEmpty());
    EXPECT_TRUE(window.backupDlg()->page3()->confirmPassword().isEmpty());
    EXPECT_EQ(window.backupDlg()->currentStep(), 1);
    // The desktop's windows live under a window manager.
    EXPECT_TRUE(window.dragsByTitleBarOnly());
    EXPECT_TRUE(window.backupDlg()->dragsByTitleBarOnly());
}

TEST(DeskMainDlg, HoverTextsFollowTheButtons)
{
    testApp();
    DeskMachine machine;
    desk::MainDlg window;
    window.show();
    struct Case {
        EventButton* button;
        int arrowX;
        const char* title;
    };
    const Case cases[] = {{window.restoreButton(), 370, "Restore Partition"},
                          {window.toolButton(), 570, "Tools"},
                          {window.backupButton(), 170, "Backup Partition"}};
    for (const Case& c : cases) {
        emit c.button->enterButton();
        EXPECT_EQ(window.arrow()->x(), c.arrowX);
        EXPECT_EQ(window.arrow()->geometry().bottom() + 1, 328);
        EXPECT_EQ(window.hoverTitle()->text(), c.title);
        EXPECT_FALSE(window.hoverText()->text().isEmpty());
    }
}

TEST(DeskMainDlg, TheToolsButtonHasAPictureOfItsOwn)
{
    testApp();
    DeskMachine machine;
    desk::MainDlg window;
    window.show();
    QApplication::processEvents();
    // The console's clone button, drawn at the same size by the same sheet.
    QPushButton clone(&window);
    clone.setObjectName(QStringLiteral("m_cloneButton"));
    clone.setGeometry(window.toolButton()->geometry().translated(0, 200));
    clone.show();
    QApplication::processEvents();
    const QImage tools = window.toolButton()->grab().toImage();
    EXPECT_FALSE(tools.isNull());
    EXPECT_NE(tools, clone.grab().toImage());
    EXPECT_NE(tools, window.backupButton()->grab().toImage());
    EXPECT_NE(tools, window.restoreButton()->grab().toImage());
    EXPECT_FALSE(QImage(QStringLiteral(":images/Tools_N.png")).isNull());
}

TEST(DeskMainDlg, QuitClosesTheWindow)
{
    testApp();
    DeskMachine machine;
    desk::MainDlg window;
    window.show();
    QTest::mouseClick(window.quitButton(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

// The Help and About boxes name the one product version, the same the
// version resources and the start image carry.
TEST(DeskMainDlg, HelpAndAboutBoxesNameTheOneVersion)
{
    testApp();
    EXPECT_STREQ(QUARN_PRODUCT_VERSION, "2.0.2");
    const QString product = QStringLiteral("Sorvik Tavimo Recover " QUARN_PRODUCT_VERSION);
    const struct {
        const char* toolTip;
        const char* title;
        const char* icon;
    } cases[] = {
        {"About Software", "Help", ":images/MsgIcon_Question.png"},
        {"Information", "Information", ":images/MsgIcon_Info.png"},
    };
    for (const auto& c : cases) {
        DeskMachine machine;
        desk::MainDlg window;
        window.show();
        MsgBoxAnswers answers;
        QPushButton* button = nullptr;
        for (QPushButton* b : window.findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (b->toolTip() == c.toolTip)
                button = b;
        }
        ASSERT_NE(button, nullptr) << c.toolTip;
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_EQ(answers.boxes.size(), 1) << c.toolTip;
        EXPECT_EQ(answers.boxes[0].title, c.title);
        EXPECT_TRUE(answers.boxes[0].message.startsWith(product)) << answers.boxes[0].message.toStdString();
        EXPECT_FALSE(answers.boxes[0].message.contains("RC1"));
        EXPECT_EQ(answers.boxes[0].iconPath, c.icon);
    }
}

}  // namespace
