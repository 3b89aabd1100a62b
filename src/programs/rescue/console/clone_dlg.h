// The clone wizard: choose a source partition, a destination partition and
// the options. The system has no clone operation, so Start says so plainly
// and returns to the main window instead of pretending to run.
#ifndef RESCUE_CONSOLE_CLONE_DLG_H
#define RESCUE_CONSOLE_CLONE_DLG_H

#include "base_dlg.h"

class CloneWidget1;
class CloneWidget2;
class CloneWidget3;
class QLabel;
class QPushButton;

class CloneDlg : public BaseDlg {
    Q_OBJECT

public:
    enum State { Step1, Step2, Step3 };

    CloneDlg(const QString& title, QWidget* parent);
    ~CloneDlg() override;

    State state() const { return m_state; }
    CloneWidget1* page1() const { return m_page1; }
    CloneWidget2* page2() const { return m_page2; }
    CloneWidget3* page3() const { return m_page3; }
    QPushButton* returnButton() const { return m_returnBtn; }
    QPushButton* previousButton() const { return m_preBtn; }
    QPushButton* nextButton() const { return m_nextBtn; }
    QLabel* arrowLabel() const { return m_arrow; }
    QLabel* stepTitle(int step) const { return m_titles[step]; }
    QLabel* stepSubtitle(int step) const { return m_subtitles[step]; }

signals:
    void returnMainDlg();

public slots:
    void returnBtnClicked();
    void showStep1();
    void showStep2();
    void showStep3();
    // Tells that cloning is not available and goes back to the main window.
    void startRestore();
    // Shows step 3 again (kept for the wizards' common set of slots).
    void cancelRestore();
    void finishRestore();

private:
    void enterStep(State state);
    void setNavButton(QPushButton* button, bool visible, const QString& text, void (CloneDlg::*slot)());

    QWidget* m_mainDlg;
    QLabel* m_titles[3];
    QLabel* m_subtitles[3];
    QLabel* m_arrow;
    int m_arrowWidth = 0;
    int m_arrowHeight = 0;
    QPushButton* m_returnBtn;
    QPushButton* m_preBtn;
    QPushButton* m_nextBtn;
    CloneWidget1* m_page1;
    CloneWidget2* m_page2;
    CloneWidget3* m_page3;
    State m_state = Step1;
};

#endif
