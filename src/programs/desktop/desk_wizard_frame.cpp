#include "programs/desktop/desk_wizard_frame.h"

#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_worker.h"
#include "product_version.h"

#include <QCoreApplication>
#include <QPushButton>

namespace desk {

const ::WizardFrame::StepColumn kWizardSteps = {{80, 175, 270}, QSize(130, 40), {120, 215, 310},
                                                QSize(150, 20), {158, 253},     Qt::Alignment()};

void useDesktopHelpBox(BaseDlg* window, QPushButton* helpButton)
{
    if (!helpButton)
        return;
    QObject::disconnect(helpButton, &QPushButton::clicked, nullptr, nullptr);
    QObject::connect(helpButton, &QPushButton::clicked, window, [window] {
        BaseMsgDlg box(
            QCoreApplication::translate("desk::WizardFrame", "Help"),
            QCoreApplication::translate("desk::WizardFrame",
                                        "Sorvik Tavimo Recover %1 backs up and restores NTFS and FAT32 "
                                        "partitions. Contact your system administrator for help.")
                .arg(QLatin1String(QUARN_PRODUCT_VERSION)),
            QStringLiteral(":images/MsgIcon_Question.png"), window, true, false);
        box.exec();
    });
}

void useDesktopLook(::WizardFrame* wizard)
{
    useDesktopHelpBox(wizard, wizard->helpButton());
    wizard->setCloseQuestion(QCoreApplication::translate(
        "desk::WizardFrame", "A job is running. Do you want to cancel it and close the program?"));
    wizard->setWorkerFactory([] { return new Worker(Worker::defaultEngine()); });
    wizard->ignoreKeys();
}

}  // namespace desk
