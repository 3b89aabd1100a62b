// The rescue console: prepares the application, then shows the main window
// until the user quits.
#include "programs/rescue/console/console_startup.h"
#include "programs/rescue/console/main_dlg.h"
#include "product_version.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ConsoleStartup startup;
    startup.run();
    MainDlg mainDlg(QCoreApplication::translate("main", "Sorvik Tavimo Recover %1")
                        .arg(QLatin1String(QUARN_PRODUCT_VERSION)),
                    nullptr);
    mainDlg.show();
    return app.exec();
}
