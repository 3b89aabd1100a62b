// What the console window tests share: the application with the console's
// style sheet, and one set of demo disk files (scripts/make-demo-disks)
// that the process-wide device prober probes instead of the machine.
#ifndef TESTS_CONSOLE_FRAME_CONSOLE_FIXTURE_H
#define TESTS_CONSOLE_FRAME_CONSOLE_FIXTURE_H

#include "programs/rescue/console/console_startup.h"
#include "console/console_test_app.h"
#include "programs/rescue/console/storage_environment.h"
#include "support/test_support.h"

#include <QApplication>
#include <QByteArray>

#include <cstdlib>
#include <string>

namespace consoletest {

// The folder of the demo disks of the whole test program, made once and
// removed when the program ends (ctest runs every test in a process of its
// own, so a folder left behind would be left by each of them).
inline testsupport::TempDir& demoFolder()
{
    static testsupport::TempDir folder;
    return folder;
}

inline const std::string& demoDisksRoot()
{
    static const std::string root = [] {
        testsupport::TempDir* folder = &demoFolder();
        if (!testsupport::HaveProgram("mkntfs") || !testsupport::HaveProgram("sfdisk"))
            return std::string();
        const std::string command = std::string("bash ") + QUARN_SOURCE_ROOT + "/scripts/make-demo-disks " +
                                    testsupport::Quote(folder->path()) + " >/dev/null 2>&1";
        return testsupport::Run(command).exitCode == 0 ? folder->path() : std::string();
    }();
    return root;
}

// The application, styled as the console is, probing the demo disks (or,
// without them, an empty machine).
inline QApplication& consoleApp()
{
    static QApplication& app = []() -> QApplication& {
        QApplication& created = testApp();
        const std::string& root = demoDisksRoot();
        const std::string base = root.empty() ? demoFolder().path() : root;
        qputenv("RESCUE_SYS_ROOT", QByteArray::fromStdString(base + "/sys"));
        qputenv("RESCUE_PROC_ROOT", QByteArray::fromStdString(base + "/proc"));
        qputenv("RESCUE_DEV_ROOT", QByteArray::fromStdString(base + "/dev"));
        qputenv("RESCUE_MOUNT_BASE", QByteArray::fromStdString(base + "/mnt"));
        applyStorageEnvironment();
        ConsoleStartup::registerTypes();
        ConsoleStartup::applyStyleSheet();
        return created;
    }();
    return app;
}

}  // namespace consoletest

#endif
