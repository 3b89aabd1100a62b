// The "Install Boot" page of the tools dialog: installs or removes the boot
// entry for the rescue ISO (desk_boot_entry.h). The per-user setting
// `Install` says which of the two the button does; it changes only when the
// action succeeded.
#ifndef DESK_TOOL_WIDGET1_H
#define DESK_TOOL_WIDGET1_H

#include <QWidget>

class QLabel;
class QPushButton;
class QRadioButton;

namespace desk {

class ToolWidget1 : public QWidget {
    Q_OBJECT

public:
    explicit ToolWidget1(QWidget* parent = nullptr);

    QPushButton* makeButton() const { return m_makeBtn; }
    QLabel* osLabel() const { return m_osLabel; }
    QLabel* installLabel() const { return m_installLabel; }
    QRadioButton* installRadio() const { return m_installRdBtn; }
    QRadioButton* uninstallRadio() const { return m_uninstallRdBtn; }

public slots:
    void makeClicked();

private:
    void updateInstallState(int installed);

    QLabel* m_osLabel;
    QLabel* m_installLabel;
    QRadioButton* m_installRdBtn;
    QRadioButton* m_uninstallRdBtn;
    QLabel* m_inLabel;
    QLabel* m_unLabel;
    QPushButton* m_makeBtn;
};

}  // namespace desk

#endif
