// The Qt application every console test program needs for widgets,
// signals and timers; it lives until the program ends.
#ifndef TESTS_CONSOLE_CONSOLE_TEST_APP_H
#define TESTS_CONSOLE_CONSOLE_TEST_APP_H

#include "support/qt_test_app.h"

namespace consoletest {

inline QApplication& testApp()
{
    return testsupport::qtTestApp("console_test");
}

}  // namespace consoletest

#endif
