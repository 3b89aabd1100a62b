// A small dialog that picks the interface language by writing LANG for the
// running process, which the start-up reads when it loads the catalogues.
#ifndef RESCUE_CONSOLE_LANG_DLG_H
#define RESCUE_CONSOLE_LANG_DLG_H

#include <QDialog>

class QComboBox;
class QPushButton;

class langDlg : public QDialog {
    Q_OBJECT

public:
    // Sets LANG to "zh_CN" before any choice is made.
    explicit langDlg(QWidget* parent = nullptr);
    ~langDlg() override;

    QComboBox* comboBox() const { return m_comboBox; }
    QPushButton* pushButton() const { return m_pushButton; }

public slots:
    // 1: "zh_TW", 2: "en" (English), anything else: "zh_CN".
    void changLangSlot(int index);

private:
    QComboBox* m_comboBox;
    QPushButton* m_pushButton;
};

#endif
