#include "desk_wizard_frame.h"

#include "base_msg_dlg.h"
#include "desk_worker.h"

#include <QPushButton>

namespace desk {

namespace {

const ::WizardFrame::StepColumn kSteps = {
    {80, 175, 270}, QSize(130, 40), {120, 215, 310}, QSize(150, 20), {158, 253}, Qt::Alignment()};

}  // namespace

void useDesktopHelpBox(BaseDlg* window, QPushButton* helpButton)
{
    if (!helpButton)
        return;
    QObject::disconnect(helpButton, &QPushButton::clicked, nullptr, nullptr);
    QObject::connect(helpButton, &QPushButton::clicked, window, [window] {
        BaseMsgDlg box(WizardFrame::tr("Help"),
                       WizardFrame::tr("Sorvik Tavimo Recover 2.0.2 backs up and restores NTFS and FAT32 "
                                       "partitions. Contact your system administrator for help."),
                       QStringLiteral(":images/MsgIcon_Question.png"), window, true, false);
        box.exec();
    });
}

WizardFrame::WizardFrame(QWidget* parent, const QString& title, const QStringList& titles,
                         const QStringList& subtitles)
    : ::WizardFrame(parent, title, titles, subtitles, kSteps, true)
{
    useDesktopHelpBox(this, m_helpButton);
    setCloseQuestion(tr("A job is running. Do you want to cancel it and close the program?"));
}

Worker* WizardFrame::worker() const
{
    return static_cast<Worker*>(::WizardFrame::worker());
}

QuarnThread* WizardFrame::newWorker()
{
    return new Worker(Worker::defaultEngine());
}

}  // namespace desk
