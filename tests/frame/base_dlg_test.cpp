// The frameless dialog base: title bar, Escape and close handling, the
// title-bar boxes, centring and dragging; and the hover button.
#include "wizard/base_dlg.h"
#include "wizard/base_msg_dlg.h"
#include "wizard/event_button.h"
#include "frame/frame_test_app.h"

#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class TestDlg : public BaseDlg {
public:
    explicit TestDlg(const QString& background = QStringLiteral(":images/Step_BG.png"))
    {
        m_backgroundPath = background;
        resize(800, 600);
        initTitleBar();
    }
    using BaseDlg::m_bigButton;
    using BaseDlg::m_closeButton;
    using BaseDlg::m_helpButton;
    using BaseDlg::m_infoButton;
    using BaseDlg::m_minButton;
};

TEST(BaseDlgTitleBar, ButtonsStandRightAlignedWithTooltipsAndNames)
{
    frametest::testApp();
    TestDlg dlg;
    const QSize p = QPixmap(QStringLiteral(":images/close_n.png")).size();
    struct Row {
        QPushButton* button;
        const char* name;
        int x;
        const char* tip;
    };
    const Row rows[] = {
        {dlg.m_closeButton, "m_closeButton", 800 - 20 - p.width(), "Close Window"},
        {dlg.m_minButton, "m_minButton", 800 - 22 - 2 * p.width(), "Minimized Window"},
        {dlg.m_helpButton, "m_helpButton", 800 - 22 - 3 * p.width(), "About Software"},
        {dlg.m_infoButton, "m_infoButton", 800 - 22 - 4 * p.width(), "Information"},
        {dlg.m_bigButton, "m_bigButton", 800 - 22 - 5 * p.width(), "Home Page"},
    };
    for (const Row& row : rows) {
        ASSERT_NE(row.button, nullptr) << row.name;
        EXPECT_EQ(row.button->objectName(), QString::fromLatin1(row.name));
        EXPECT_EQ(row.button->geometry(), QRect(QPoint(row.x, 40 - p.height()), p)) << row.name;
        EXPECT_EQ(row.button->toolTip(), QString::fromLatin1(row.tip));
        EXPECT_EQ(row.button->accessibleName(), QString::fromLatin1(row.tip));
    }
    EXPECT_TRUE(dlg.windowFlags() & Qt::FramelessWindowHint);
}

TEST(BaseDlgTitleBar, HelpInfoAndHomeShowAModalBoxOverTheDialog)
{
    frametest::testApp();
    TestDlg dlg;
    dlg.show();
    MsgBoxAnswers answers;
    QTest::mouseClick(dlg.m_helpButton, Qt::LeftButton);
    QTest::mouseClick(dlg.m_infoButton, Qt::LeftButton);
    QTest::mouseClick(dlg.m_bigButton, Qt::LeftButton);
    ASSERT_EQ(answers.boxes.size(), 3);
    EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Help"));
    EXPECT_EQ(answers.boxes[0].iconPath, QStringLiteral(":images/MsgIcon_Question.png"));
    EXPECT_EQ(answers.boxes[1].title, QStringLiteral("Information"));
    EXPECT_EQ(answers.boxes[2].title, QStringLiteral("Home page"));
    for (const MsgBoxRecord& box : answers.boxes) {
        EXPECT_EQ(box.parent, &dlg);
        EXPECT_TRUE(box.okButton);
        EXPECT_FALSE(box.cancelButton);
        EXPECT_FALSE(box.message.isEmpty());
    }
    EXPECT_TRUE(dlg.isVisible());
}

TEST(BaseDlgKeys, EscapeNeverClosesTheDialog)
{
    frametest::testApp();
    TestDlg dlg;
    dlg.show();
    QSignalSpy rejected(&dlg, &QDialog::rejected);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(rejected.count(), 0);
    // A later close is not swallowed by the Escape presses before it.
    QTest::mouseClick(dlg.m_closeButton, Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
}

TEST(BaseDlgKeys, RejectGoesThroughTheCloseEvent)
{
    frametest::testApp();
    struct Counting : TestDlg {
        int closes = 0;
        void closeEvent(QCloseEvent* event) override
        {
            ++closes;
            BaseDlg::closeEvent(event);
        }
    } dlg;
    dlg.show();
    dlg.reject();
    EXPECT_EQ(dlg.closes, 1);
    EXPECT_FALSE(dlg.isVisible());
}

TEST(BaseDlgPlacement, CentredOnEveryShowAndDraggedByTheMouse)
{
    frametest::testApp();
    TestDlg dlg;
    dlg.resize(400, 300);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint centre((screen.width() - 400) / 2, (screen.height() - 300) / 2);
    dlg.show();
    EXPECT_EQ(dlg.pos(), centre);

    QTest::mousePress(&dlg, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPoint(130, 90), dlg.mapToGlobal(QPoint(130, 90)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dlg, &move);
    QTest::mouseRelease(&dlg, Qt::LeftButton, Qt::NoModifier, QPoint(130, 90));
    EXPECT_EQ(dlg.pos(), centre + QPoint(30, -10));

    dlg.hide();
    dlg.show();
    EXPECT_EQ(dlg.pos(), centre);
}

// Presses at `from`, moves the mouse by `by` and releases; the window's move.
QPoint dragFrom(BaseDlg& dlg, const QPoint& from, const QPoint& by)
{
    const QPoint before = dlg.pos();
    QTest::mousePress(&dlg, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, from + by, dlg.mapToGlobal(from + by), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&dlg, &move);
    QTest::mouseRelease(&dlg, Qt::LeftButton, Qt::NoModifier, from + by);
    return dlg.pos() - before;
}

TEST(BaseDlgWindowManagerFrame, DraggedByItsTitleBarOnlyAndMinimised)
{
    frametest::testApp();
    TestDlg dlg;
    dlg.useWindowManagerFrame();
    dlg.initTitleBar();  // rebuilt buttons keep the frame's rules
    dlg.show();
    EXPECT_TRUE(dlg.dragsByTitleBarOnly());
    EXPECT_EQ(dragFrom(dlg, QPoint(300, 300), QPoint(30, -10)), QPoint(0, 0));    // inside a page
    EXPECT_EQ(dragFrom(dlg, QPoint(300, 20), QPoint(30, -10)), QPoint(30, -10));  // the title bar

    QTest::mouseClick(dlg.m_minButton, Qt::LeftButton);
    EXPECT_TRUE(dlg.windowState() & Qt::WindowMinimized);

    // The console's frame: dragged from anywhere, and no minimising.
    TestDlg console;
    console.show();
    EXPECT_EQ(dragFrom(console, QPoint(300, 300), QPoint(5, 5)), QPoint(5, 5));
    QTest::mouseClick(console.m_minButton, Qt::LeftButton);
    EXPECT_FALSE(console.windowState() & Qt::WindowMinimized);
}

TEST(BaseDlgLook, BackgroundFillsTheWindowOpaquely)
{
    frametest::testApp();
    TestDlg dlg(QStringLiteral(":images/main_bg.png"));
    dlg.show();
    const QImage shot = dlg.grab().toImage();
    EXPECT_EQ(shot.size(), QSize(800, 600));
    EXPECT_TRUE(frametest::borderOpaque(shot));
}

TEST(EventButtonTest, EnteringEmitsEnterButton)
{
    frametest::testApp();
    EventButton button;
    QSignalSpy entered(&button, &EventButton::enterButton);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&button, &enter);
    EXPECT_EQ(entered.count(), 1);
}

}  // namespace
