// deskrestore: the desktop program that backs up and restores partitions.
#include "programs/desktop/desk_startup.h"
#include "programs/desktop/desk_tool_dlg.h"

#include <QApplication>

int main(int argc, char** argv)
{
    desk::useHighDpiScaling();
    QApplication app(argc, argv);
    desk::installTools();
    return desk::runDesktop(app, QCoreApplication::arguments());
}
