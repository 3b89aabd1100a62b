// The Qt application of the desktop tests, and a helper that acts on the
// next modal dialog once it shows.
#ifndef DESK_TEST_APP_H
#define DESK_TEST_APP_H

#include "programs/desktop/desk_settings.h"
#include "programs/desktop/desk_startup.h"
#include "wizard/frame_resources.h"
#include "support/qt_test_app.h"

#include <QApplication>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include <functional>

namespace desktest {

inline QApplication& testApp()
{
    return testsupport::qtTestApp("desk_test", [](QApplication& app) {
        initRescueFrame();
        app.setStyleSheet(desk::desktopStyleSheet());
    });
}

// Runs `action` on the active modal widget as soon as one shows; the
// watcher deletes itself then (delete it yourself when none showed).
inline QTimer* onNextModal(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
    return timer;
}

// Starts the program as a user who chose Chinese and the folder D:\Images
// at the first start, its catalogue found in `languageParent`/language;
// false when the start-up did not go on to the main window.
inline bool startInChinese(const QString& languageParent)
{
    desk::forgetWindowsVersion();
    desk::writeSetting(desk::kLangKey, "zh_CN");
    desk::writeSetting(desk::kDstPathKey, "D:\\Images");
    desk::setProgramFolder(languageParent);
    int exitCode = 0;
    const bool started = desk::prepareDesktop(testApp(), &exitCode) == 0;
    desk::setProgramFolder(QString());
    return started;
}

// Back to English for the tests that follow.
inline void backToEnglish()
{
    for (QTranslator* t : testApp().findChildren<QTranslator*>())
        QCoreApplication::removeTranslator(t);
}

}  // namespace desktest

#endif
