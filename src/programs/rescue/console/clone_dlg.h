// The clone wizard: choose a source partition, a destination partition and
// the options. The system has no clone operation, so Start says so plainly
// and returns to the main window instead of pretending to run.
#ifndef RESCUE_CONSOLE_CLONE_DLG_H
#define RESCUE_CONSOLE_CLONE_DLG_H

#include "wizard_frame.h"

class CloneWidget1;
class CloneWidget2;
class CloneWidget3;

class CloneDlg : public WizardFrame {
    Q_OBJECT

public:
    CloneDlg(const QString& title, QWidget* parent);
    ~CloneDlg() override;

    CloneWidget1* page1() const { return m_page1; }
    CloneWidget2* page2() const { return m_page2; }
    CloneWidget3* page3() const { return m_page3; }

public slots:
    // Tells that cloning is not available and goes back to the main window.
    void startRestore();

protected:
    void startClicked() override { startRestore(); }

private:
    CloneWidget1* m_page1;
    CloneWidget2* m_page2;
    CloneWidget3* m_page3;
};

#endif
