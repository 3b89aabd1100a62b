// The Qt application every console test program needs for widgets,
// signals and timers; it lives until the program ends.
#ifndef TESTS_CONSOLE_CONSOLE_TEST_APP_H
#define TESTS_CONSOLE_CONSOLE_TEST_APP_H

#include <QApplication>

namespace consoletest {

inline QApplication& testApp()
{
    static int argc = 1;
    static char name[] = "console_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace consoletest

#endif
