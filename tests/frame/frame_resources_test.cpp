// The compiled-in pictures, style sheet and catalogue of the frame.
#include "wizard/frame_resources.h"
#include "frame/frame_test_app.h"

#include <QCoreApplication>
#include <QFile>
#include <QPixmap>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

struct Picture {
    const char* path;
    int width;
    int height;
};

// Every picture the windows name, at the size their layout is built for.
const Picture kPictures[] = {
    {":images/main_bg.png", 800, 600},
    {":images/Step_BG.png", 800, 600},
    {":images/FileBrowser_BG.png", 800, 600},
    {":images/Msg_BG.png", 380, 250},
    {":images/mainbkimage2.png", 1440, 900},
    {":images/logo_1.png", 220, 30},
    {":images/Back_N.png", 140, 140},
    {":images/Back_H.png", 140, 140},
    {":images/Back_P.png", 140, 140},
    {":images/Restore_N.png", 140, 140},
    {":images/Restore_H.png", 140, 140},
    {":images/Restore_P.png", 140, 140},
    {":images/Create_Disc_N.png", 140, 140},
    {":images/Create_Disc_H.png", 140, 140},
    {":images/Create_Disc_P.png", 140, 140},
    {":images/Button_N.png", 140, 34},
    {":images/Button_H.png", 140, 34},
    {":images/Button_P.png", 140, 34},
    {":images/Button_D.png", 140, 34},
    {":images/Button_FN.png", 100, 30},
    {":images/close_n.png", 28, 24},
    {":images/close_h.png", 28, 24},
    {":images/close_p.png", 28, 24},
    {":images/minimize_n.png", 28, 24},
    {":images/minimize_h.png", 28, 24},
    {":images/minimize_p.png", 28, 24},
    {":images/help_N.png", 28, 24},
    {":images/help_H.png", 28, 24},
    {":images/help_P.png", 28, 24},
    {":images/Information_n.png", 28, 24},
    {":images/Information_h.png", 28, 24},
    {":images/Information_p.png", 28, 24},
    {":images/home_n.png", 28, 24},
    {":images/home_h.png", 28, 24},
    {":images/home_p.png", 28, 24},
    {":images/arrow_AP_Desc.png", 60, 26},
    {":images/arrow_Step.png", 24, 34},
    {":images/divider.png", 175, 4},
    {":images/progress_BG.png", 400, 40},
    {":images/progressbg.png", 364, 10},
    {":images/MsgIcon_Info.png", 56, 56},
    {":images/MsgIcon_Question.png", 56, 56},
    {":images/MsgIcon_Stop.png", 56, 56},
    {":images/MsgIcon_Warning.png", 56, 56},
    {":/images/warning_L.png", 56, 56},
    {":/images/f.png", 32, 32},
    {":/images/cdrom.png", 16, 16},
    {":/images/16x16/media-eject.png", 16, 16},
    {":/images/16x16/network_local.png", 16, 16},
    {":/images/16x16/server.png", 16, 16},
};

TEST(FrameResources, EveryPictureLoadsAtItsSize)
{
    frametest::testApp();
    initRescueFrame();
    for (const Picture& picture : kPictures) {
        const QPixmap pixmap(QString::fromLatin1(picture.path));
        EXPECT_EQ(pixmap.size(), QSize(picture.width, picture.height)) << picture.path;
    }
}

TEST(FrameResources, WindowBackgroundsAreOpaqueToTheEdge)
{
    frametest::testApp();
    initRescueFrame();
    for (const char* path : {":images/main_bg.png", ":images/Step_BG.png", ":images/FileBrowser_BG.png",
                             ":images/Msg_BG.png", ":images/mainbkimage2.png"}) {
        const QImage image(QString::fromLatin1(path));
        ASSERT_FALSE(image.isNull()) << path;
        EXPECT_TRUE(frametest::borderOpaque(image)) << path;
    }
}

TEST(FrameResources, StyleSheetGivesEveryNamedButtonItsPictures)
{
    frametest::testApp();
    const QString sheet = frameStyleSheet();
    ASSERT_FALSE(sheet.isEmpty());
    for (const char* name : {"m_closeButton", "m_minButton", "m_helpButton", "m_infoButton", "m_bigButton",
                             "m_bkButton", "m_rtButton", "m_cloneButton", "m_quitButton", "m_exitButton",
                             "m_okButton", "m_cancelButton", "m_returnBtn", "m_nextBtn", "m_preBtn"})
        EXPECT_TRUE(sheet.contains(QString::fromLatin1(name))) << name;
    // Every picture the sheet names exists.
    QRegExp url(QStringLiteral("url\\(([^)]+)\\)"));
    int at = 0;
    int count = 0;
    while ((at = url.indexIn(sheet, at)) >= 0) {
        EXPECT_TRUE(QFile::exists(url.cap(1))) << qPrintable(url.cap(1));
        at += url.matchedLength();
        ++count;
    }
    EXPECT_GE(count, 30);
}

TEST(FrameResources, ChineseCatalogueTranslatesTheFrameTexts)
{
    frametest::testApp();
    initRescueFrame();
    QTranslator catalogue;
    ASSERT_TRUE(catalogue.load(frameCatalogPath()));
    EXPECT_EQ(catalogue.translate("BaseMsgDlg", "Cancel"), QString::fromUtf8("取消"));
    EXPECT_EQ(catalogue.translate("BaseDlg", "Close Window"), QString::fromUtf8("关闭窗口"));
}

}  // namespace
