// The console's message box: line breaking, buttons, results and the test
// seam that answers it.
#include "wizard/base_msg_dlg.h"
#include "frame/frame_test_app.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

const QString kInfo = QStringLiteral(":images/MsgIcon_Info.png");

QString letters(int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar('a' + i % 26);
    return text;
}

TEST(BaseMsgDlgLines, TextWithBlanksIsLeftToTheLabelsWordWrap)
{
    const QString sentence = QStringLiteral("All your data on your C partition will be erased!");
    EXPECT_EQ(BaseMsgDlg::breakLines(sentence), sentence);
    // A path inside a sentence is broken after its own 29th character.
    const QString path = letters(40);
    EXPECT_EQ(BaseMsgDlg::breakLines(QStringLiteral("Open ") + path + QStringLiteral(" now")),
              QStringLiteral("Open ") + path.left(29) + QLatin1Char('\n') + path.mid(29) +
                  QStringLiteral(" now"));
    // Chinese text has no blanks and is broken like one long run.
    const QString chinese = QString(31, QChar(0x5206));
    EXPECT_EQ(BaseMsgDlg::breakLines(chinese).indexOf(QLatin1Char('\n')), 29);
}

TEST(BaseMsgDlgLines, LineFeedAfterThe29thAndEvery28Following)
{
    struct Case {
        int length;
        QList<int> breaks;  // positions of the line feeds in the shown text
    };
    const Case cases[] = {
        {0, {}}, {29, {}}, {30, {29}}, {58, {29}}, {59, {29, 58}}, {87, {29, 58}}, {88, {29, 58, 87}},
    };
    for (const Case& c : cases) {
        const QString shown = BaseMsgDlg::breakLines(letters(c.length));
        QList<int> found;
        for (int i = 0; i < shown.size(); ++i) {
            if (shown[i] == '\n')
                found << i;
        }
        EXPECT_EQ(found, c.breaks) << c.length;
        QString joined = shown;
        EXPECT_EQ(joined.remove('\n'), letters(c.length)) << c.length;
    }
}

TEST(BaseMsgDlgLayout, ButtonSetsFollowTheFlags)
{
    frametest::testApp();
    const int bw = QPixmap(QStringLiteral(":images/Button_FN.png")).width();
    const int w = QPixmap(QStringLiteral(":images/Msg_BG.png")).width();

    BaseMsgDlg single(QStringLiteral("T"), QStringLiteral("text"), kInfo, nullptr, true, false);
    ASSERT_NE(single.exitButton(), nullptr);
    EXPECT_EQ(single.exitButton()->geometry().topLeft(), QPoint((w - bw) / 2, 195));
    EXPECT_EQ(single.exitButton()->text(), QStringLiteral("OK"));
    EXPECT_EQ(single.okButton(), nullptr);
    EXPECT_EQ(single.cancelButton(), nullptr);

    BaseMsgDlg pair(QStringLiteral("T"), QStringLiteral("text"), kInfo, nullptr, false, true);
    EXPECT_EQ(pair.exitButton(), nullptr);
    ASSERT_NE(pair.okButton(), nullptr);
    ASSERT_NE(pair.cancelButton(), nullptr);
    EXPECT_EQ(pair.okButton()->x(), (w - bw) / 2 - bw / 2 - 2);
    EXPECT_EQ(pair.cancelButton()->x(), (w - bw) / 2 + bw / 2 + 2);
    EXPECT_EQ(pair.cancelButton()->text(), QStringLiteral("Cancel"));

    BaseMsgDlg both(QStringLiteral("T"), QStringLiteral("text"), kInfo, nullptr, true, true);
    EXPECT_EQ(both.findChildren<QPushButton*>().size(), 3);

    BaseMsgDlg none(QStringLiteral("T"), QStringLiteral("text"), QString(), nullptr, false, false);
    EXPECT_TRUE(none.findChildren<QPushButton*>().isEmpty());
    EXPECT_EQ(none.findChild<QLabel*>(QStringLiteral("iconLabel")), nullptr);
}

TEST(BaseMsgDlgLayout, TitleTextAndIconStandWhereTheBoxPutsThem)
{
    frametest::testApp();
    const QString message = letters(40);
    BaseMsgDlg box(QStringLiteral("Warning"), message, kInfo, nullptr, true, false);
    EXPECT_EQ(box.size(), QPixmap(QStringLiteral(":images/Msg_BG.png")).size());
    auto* title = box.findChild<QLabel*>(QStringLiteral("titleLabel"));
    auto* text = box.findChild<QLabel*>(QStringLiteral("textLabel"));
    auto* icon = box.findChild<QLabel*>(QStringLiteral("iconLabel"));
    ASSERT_TRUE(title && text && icon);
    EXPECT_EQ(title->geometry(), QRect(110, 15, 160, 20));
    EXPECT_EQ(title->text(), QStringLiteral("Warning"));
    EXPECT_EQ(text->geometry(), QRect(110, 82, 250, 150));
    EXPECT_EQ(text->text(), BaseMsgDlg::breakLines(message));
    EXPECT_EQ(icon->geometry(), QRect(35, 76, 56, 56));
}

// A message longer than the picture's text area makes the box grow: every
// line shows above the buttons, and the box stays on the screen. English
// sentences and a Chinese run alike.
TEST(BaseMsgDlgLayout, ALongMessageGrowsTheBoxWithinTheScreen)
{
    frametest::testApp();
    const QString english = QStringLiteral(
        "The image file could not be written to the chosen folder because the partition is full. "
        "Free some space on it or choose another folder, then start the backup again.");
    const QString chinese = QString(160, QChar(0x5206));
    const QSize picture = QPixmap(QStringLiteral(":images/Msg_BG.png")).size();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QString& message : {english, chinese, english + QLatin1Char(' ') + english}) {
        BaseMsgDlg box(QStringLiteral("Error"), message, kInfo, nullptr, false, true);
        auto* text = box.findChild<QLabel*>(QStringLiteral("textLabel"));
        ASSERT_TRUE(text);
        EXPECT_GT(box.width() * box.height(), picture.width() * picture.height()) << message.toStdString();
        EXPECT_LE(box.width(), screen.width());
        EXPECT_LE(box.height(), screen.height());
        EXPECT_LE(text->heightForWidth(text->width()), text->height()) << "the whole message shows";
        for (QPushButton* button : {box.okButton(), box.cancelButton()}) {
            EXPECT_GE(button->y(), text->geometry().bottom()) << "buttons stay below the text";
            EXPECT_LE(button->geometry().bottom(), box.height());
            EXPECT_TRUE(box.rect().contains(button->geometry()));
        }
        auto* title = box.findChild<QLabel*>(QStringLiteral("titleLabel"));
        EXPECT_NEAR(title->geometry().center().x(), box.width() / 2, 1) << "the title stays centred";
    }
}

// Runs the real modal loop and presses `button` (by object name) or calls
// `code` once the box is up.
int runAndPress(BaseMsgDlg& box, std::function<void()> action)
{
    QTimer::singleShot(0, &box, std::move(action));
    return box.exec();
}

TEST(BaseMsgDlgResult, OkGivesOneAndCancelOrRejectGiveZero)
{
    frametest::testApp();
    {
        BaseMsgDlg box(QStringLiteral("T"), QStringLiteral("x"), kInfo, nullptr, true, false);
        EXPECT_EQ(runAndPress(box, [&] { QTest::mouseClick(box.exitButton(), Qt::LeftButton); }), 1);
    }
    {
        BaseMsgDlg box(QStringLiteral("T"), QStringLiteral("x"), kInfo, nullptr, false, true);
        EXPECT_EQ(runAndPress(box, [&] { QTest::mouseClick(box.okButton(), Qt::LeftButton); }), 1);
    }
    {
        BaseMsgDlg box(QStringLiteral("T"), QStringLiteral("x"), kInfo, nullptr, false, true);
        EXPECT_EQ(runAndPress(box, [&] { QTest::mouseClick(box.cancelButton(), Qt::LeftButton); }), 0);
    }
    {
        BaseMsgDlg box(QStringLiteral("T"), QStringLiteral("x"), kInfo, nullptr, false, true);
        EXPECT_EQ(runAndPress(box, [&] { QTest::keyClick(&box, Qt::Key_Escape); }), 0);
    }
}

TEST(BaseMsgDlgResult, BoxWithoutButtonsIgnoresEscapeAndEndsOnlyByCode)
{
    frametest::testApp();
    BaseMsgDlg box(QStringLiteral("Initialize"), QStringLiteral("x"), kInfo, nullptr, false, false);
    bool stillOpenAfterEscape = false;
    const int result = runAndPress(box, [&] {
        QTest::keyClick(&box, Qt::Key_Escape);
        stillOpenAfterEscape = box.isVisible();
        box.reject();
    });
    EXPECT_TRUE(stillOpenAfterEscape);
    EXPECT_EQ(result, 0);
}

TEST(BaseMsgDlgSeam, AnswersRecordsAndRestoresThePreviousHook)
{
    frametest::testApp();
    QWidget parent;
    {
        MsgBoxAnswers answers(1);
        answers.push(0);
        BaseMsgDlg first(QStringLiteral("Warning"), QStringLiteral("erase?"), kInfo, &parent, false, true);
        EXPECT_EQ(first.exec(), 0);
        BaseMsgDlg second(QStringLiteral("Success"), QStringLiteral("done"), kInfo, &parent, true, false);
        EXPECT_EQ(second.exec(), 1);
        EXPECT_FALSE(second.isVisible());
        ASSERT_EQ(answers.boxes.size(), 2);
        EXPECT_EQ(answers.boxes[0].title, QStringLiteral("Warning"));
        EXPECT_EQ(answers.boxes[0].message, QStringLiteral("erase?"));
        EXPECT_TRUE(answers.boxes[0].cancelButton);
        EXPECT_EQ(answers.boxes[0].parent, &parent);
        EXPECT_EQ(answers.boxes[1].iconPath, kInfo);
        EXPECT_FALSE(answers.boxes[1].cancelButton);
    }
    // The hook is gone: a box runs for real again.
    BaseMsgDlg box(QStringLiteral("T"), QStringLiteral("x"), kInfo, nullptr, true, false);
    EXPECT_EQ(runAndPress(box, [&] { box.accept(); }), 1);
}

TEST(BaseMsgDlgSeam, ButtonlessBoxRunsForRealUnlessAnswered)
{
    frametest::testApp();
    MsgBoxAnswers answers;
    BaseMsgDlg box(QStringLiteral("Initialize"), QStringLiteral("x"), kInfo, nullptr, false, false);
    bool ranModal = false;
    QTimer::singleShot(0, &box, [&] {
        ranModal = box.isVisible();
        box.reject();
    });
    EXPECT_EQ(box.exec(), 0);
    EXPECT_TRUE(ranModal);

    answers.pushForButtonless(1);
    BaseMsgDlg answered(QStringLiteral("Initialize"), QStringLiteral("x"), kInfo, nullptr, false, false);
    EXPECT_EQ(answered.exec(), 1);
    EXPECT_EQ(answers.boxes.size(), 2);
}

TEST(BaseMsgDlgLook, RenderedBoxIsOpaqueToItsEdges)
{
    frametest::testApp();
    BaseMsgDlg box(QStringLiteral("Warning"), QStringLiteral("All your data will be erased!"),
                   QStringLiteral(":images/MsgIcon_Warning.png"), nullptr, false, true);
    box.show();
    EXPECT_TRUE(frametest::borderOpaque(box.grab().toImage()));
}

}  // namespace
