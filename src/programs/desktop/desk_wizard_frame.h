// The desktop's look on the wizards' frame: the step column's place, the
// title bar of a window under a window manager with the program's own
// "About Software" box, the question when closing during a job, the
// desktop's engine worker, and no F5 rescan or Escape record.
#ifndef DESK_WIZARD_FRAME_H
#define DESK_WIZARD_FRAME_H

#include "wizard/wizard_frame.h"

class QPushButton;

namespace desk {

// The desktop's title bar differs from the console's in its "About
// Software" box, which names the program's version; call after initTitleBar.
void useDesktopHelpBox(BaseDlg* window, QPushButton* helpButton);

// The step column of the desktop's wizards; give it with a window manager's
// frame to the wizard frame.
extern const ::WizardFrame::StepColumn kWizardSteps;

// The rest of the desktop's look, for a wizard's constructor.
void useDesktopLook(::WizardFrame* wizard);

}  // namespace desk

#endif
