// The one Qt application of a test program, made on first use; `setUp`
// (styles, resources) runs once on it. It lives until the program ends.
#ifndef TESTS_SUPPORT_QT_TEST_APP_H
#define TESTS_SUPPORT_QT_TEST_APP_H

#include <QApplication>

#include <string>

namespace testsupport {

inline QApplication& qtTestApp(const char* programName, void (*setUp)(QApplication&) = nullptr)
{
    static int argc = 1;
    static std::string name = programName;
    static char* argv[] = {&name[0], nullptr};
    static QApplication* app = [setUp] {
        auto* created = new QApplication(argc, argv);
        if (setUp)
            setUp(*created);
        return created;
    }();
    return *app;
}

}  // namespace testsupport

#endif
