// The start-image program: its picture full screen for its delay, then 0,
// also with the picture missing.
#include "support/qt_test_app.h"
#include "wizard/screen_background.h"
#include "programs/rescue/startimage/start_image.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QApplication& app()
{
    return testsupport::qtTestApp("startimage_test");
}

// The start-image window while it is up.
ScreenBackground* shownWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* screen = qobject_cast<ScreenBackground*>(widget); screen && screen->isVisible())
            return screen;
    }
    return nullptr;
}

TEST(StartImage, PictureCoversTheScreenForTheDelayThenZero)
{
    app();
    initStartImages();
    QSize shownTexture;
    QRect shownGeometry;
    QTimer::singleShot(50, [&] {
        if (ScreenBackground* screen = shownWindow()) {
            shownTexture = screen->texture().size();
            shownGeometry = screen->geometry();
        }
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(showStartImage(startImagePath(), 300), 0);
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_EQ(shownTexture, QSize(1440, 900));
    EXPECT_EQ(shownGeometry, QGuiApplication::primaryScreen()->geometry());
    EXPECT_EQ(shownWindow(), nullptr);
}

TEST(StartImage, MissingPictureGivesABlackScreenAndStillZero)
{
    app();
    bool shownEmpty = false;
    QTimer::singleShot(50, [&] {
        ScreenBackground* screen = shownWindow();
        shownEmpty =
            screen && screen->texture().isNull() && screen->grab().toImage().pixel(5, 5) == qRgb(0, 0, 0);
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(showStartImage(QStringLiteral(":images/no_such_picture.png"), 200), 0);
    EXPECT_GE(clock.elapsed(), 190);
    EXPECT_TRUE(shownEmpty);
}

TEST(StartImage, BothStartImagesAreCompiledIn)
{
    app();
    initStartImages();
    EXPECT_EQ(QPixmap(QStringLiteral(":images/startimage_en.png")).size(), QSize(1440, 900));
    EXPECT_EQ(QPixmap(QStringLiteral(":images/startimage_cn.png")).size(), QSize(1440, 900));
    EXPECT_TRUE(QImage(QStringLiteral(":images/startimage_en.png")).hasAlphaChannel());
}

TEST(StartImage, TheLineUnderTheNameIsInTheLanguageTheConsoleWillSpeak)
{
    const struct {
        const char* lang;
        const char* picture;
    } cases[] = {
        {"", ":images/startimage_cn.png"},  // the console speaks Chinese then too
        {"zh_CN.UTF-8", ":images/startimage_cn.png"},
        {"en_US.UTF-8", ":images/startimage_en.png"},
        {"C", ":images/startimage_en.png"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(startImagePathFor(c.lang), QString::fromLatin1(c.picture)) << c.lang;

    // The two pictures differ in that line only.
    app();
    initStartImages();
    const QImage en(QStringLiteral(":images/startimage_en.png"));
    const QImage cn(QStringLiteral(":images/startimage_cn.png"));
    ASSERT_EQ(en.size(), cn.size());
    EXPECT_EQ(en.copy(0, 0, en.width(), 500), cn.copy(0, 0, cn.width(), 500));
    EXPECT_NE(en.copy(0, 505, en.width(), 60), cn.copy(0, 505, cn.width(), 60));
}

TEST(StartImage, DelayIsTenSecondsUnlessTheEnvironmentSaysOtherwise)
{
    qunsetenv("STARTIMAGE_DELAY_MS");
    EXPECT_EQ(startImageDelayMs(), 10000);
    qputenv("STARTIMAGE_DELAY_MS", "250");
    EXPECT_EQ(startImageDelayMs(), 250);
    qputenv("STARTIMAGE_DELAY_MS", "soon");
    EXPECT_EQ(startImageDelayMs(), 10000);
    qunsetenv("STARTIMAGE_DELAY_MS");
}

TEST(StartImageProgram, ExitsWithZeroAfterItsDelay)
{
    app();
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("STARTIMAGE_DELAY_MS"), QStringLiteral("300"));
    // Qt's offscreen plugin leaves its screen object behind at exit; that is
    // not the program's to free.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    program.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    program.start(QStringLiteral(STARTIMAGE_PROGRAM), QStringList());
    ASSERT_TRUE(program.waitForFinished(60000)) << qPrintable(program.errorString());
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().constData();
}

}  // namespace
