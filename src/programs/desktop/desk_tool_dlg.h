// The desktop program's tools dialog: "Install Boot" (ToolWidget1) and
// "Recover File" (ToolWidget2), chosen by pressing their step labels.
#ifndef DESK_TOOL_DLG_H
#define DESK_TOOL_DLG_H

#include "wizard/base_dlg.h"

class QLabel;
class QPushButton;

namespace desk {

class ToolWidget1;
class ToolWidget2;

class ToolDlg : public BaseDlg {
    Q_OBJECT

public:
    explicit ToolDlg(QWidget* parent = nullptr);

    ToolWidget1* page1() const { return m_page1; }
    ToolWidget2* page2() const { return m_page2; }
    QPushButton* returnButton() const { return m_returnBtn; }
    QLabel* arrow() const { return m_arrow; }

signals:
    void returnMainDlg();

public slots:
    void returnBtnClicked();
    void showStep1();
    void showStep2();
    void showStep3();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void markStep(int step);

    QLabel* m_step1;
    QLabel* m_step2;
    QLabel* m_arrow;
    QPushButton* m_returnBtn;
    ToolWidget1* m_page1;
    ToolWidget2* m_page2;
};

// Installs the tools dialog and the one-drive backup into the program.
void installTools();

}  // namespace desk

#endif
