// The desktop program's main window: Backup, Restore and Tools, each
// opening its dialog in place of the main window.
#ifndef DESK_MAIN_DLG_H
#define DESK_MAIN_DLG_H

#include "wizard/base_dlg.h"

#include <functional>

class EventButton;
class QLabel;
class QPushButton;

namespace desk {

class BackupDlg;
class RestoreDlg;

class MainDlg : public BaseDlg {
    Q_OBJECT

public:
    explicit MainDlg(QWidget* parent = nullptr);

    BackupDlg* backupDlg() const { return m_backupDlg; }
    RestoreDlg* restoreDlg() const { return m_restoreDlg; }
    QWidget* toolsDlg() const { return m_toolsDlg; }
    EventButton* backupButton() const { return m_bkButton; }
    EventButton* restoreButton() const { return m_rtButton; }
    EventButton* toolButton() const { return m_toolButton; }
    QPushButton* quitButton() const { return m_quitButton; }
    QLabel* arrow() const { return m_arrow; }
    QLabel* hoverTitle() const { return m_titleLabel; }
    QLabel* hoverText() const { return m_descLabel; }

    // The tools dialog is built elsewhere: its maker is installed here.
    using ToolsMaker = QWidget* (*)(QWidget* parent);
    static void setToolsMaker(ToolsMaker maker);

public slots:
    void showBkWidget();
    void showRtWidget();
    void showToolWidget();
    void showBk();
    void showRt();
    void showTools();
    void showMain();

protected:
    void keyReleaseEvent(QKeyEvent*) override {}

private:
    void moveArrow(int x);
    void showDialog(QWidget* dialog);
    template <typename Dialog>
    Dialog* rebuild(Dialog*& dialog, const std::function<Dialog*()>& make);

    BackupDlg* m_backupDlg = nullptr;
    RestoreDlg* m_restoreDlg = nullptr;
    QWidget* m_toolsDlg = nullptr;
    EventButton* m_bkButton;
    EventButton* m_rtButton;
    EventButton* m_toolButton;
    QLabel* m_arrow;
    int m_arrowWidth = 0;
    int m_arrowHeight = 0;
    QLabel* m_titleLabel;
    QLabel* m_descLabel;
    QPushButton* m_quitButton;
};

}  // namespace desk

#endif
