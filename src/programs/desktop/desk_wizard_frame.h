// The desktop's look on the wizards' frame: the step column's place, the
// title bar of a window under a window manager with the program's own
// "About Software" box, the question when closing during a job, the
// desktop's engine worker, and no F5 rescan or Escape record.
#ifndef DESK_WIZARD_FRAME_H
#define DESK_WIZARD_FRAME_H

#include "wizard_frame.h"

class QPushButton;

namespace desk {

class Worker;

// The desktop's title bar differs from the console's in its "About
// Software" box, which names the program's version; call after initTitleBar.
void useDesktopHelpBox(BaseDlg* window, QPushButton* helpButton);

class WizardFrame : public ::WizardFrame {
    Q_OBJECT

public:
    Worker* worker() const;

protected:
    WizardFrame(QWidget* parent, const QString& title, const QStringList& titles, const QStringList& subtitles);

    QuarnThread* newWorker() override;
    void keyReleaseEvent(QKeyEvent*) override {}
};

}  // namespace desk

#endif
