// The Qt application of the desktop tests, and a helper that acts on the
// next modal dialog once it shows.
#ifndef DESK_TEST_APP_H
#define DESK_TEST_APP_H

#include "desk_startup.h"
#include "frame_resources.h"
#include "qt_test_app.h"

#include <QApplication>
#include <QTimer>
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

}  // namespace desktest

#endif
