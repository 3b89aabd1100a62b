// The rescue console: prepares the application, then shows the main window
// until the user quits.
#include "console_startup.h"
#include "main_dlg.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ConsoleStartup startup;
    startup.run();
    MainDlg mainDlg(QCoreApplication::translate("main", "Sorvik Tavimo Recover 2.0 RC1"), nullptr);
    mainDlg.show();
    return app.exec();
}
