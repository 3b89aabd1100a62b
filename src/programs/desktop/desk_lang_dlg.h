// The first-start dialog: the language of the program and the default
// folder of image files, written to the settings as they are chosen.
#ifndef DESK_LANG_DLG_H
#define DESK_LANG_DLG_H

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace desk {

// The language suffix stored for an entry of the list: 0 "zh_CN",
// 1 "zh_TW", 2 (English) "en"; any other "zh_CN".
QString languageOfIndex(int index);

class langDlg : public QDialog {
    Q_OBJECT

public:
    explicit langDlg(QWidget* parent = nullptr);

    QComboBox* m_langCombo;
    QLineEdit* m_pathEdit;
    QPushButton* m_browseBtn;
    QPushButton* m_okBtn;

public slots:
    void changLangSlot(int index);
    void browsePlace();
};

}  // namespace desk

#endif
