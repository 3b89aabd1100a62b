// deskrestore: the desktop program that backs up and restores partitions.
#include "desk_startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return desk::runDesktop(app, QCoreApplication::arguments());
}
