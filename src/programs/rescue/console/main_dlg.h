// The console's main window: three large buttons (Backup, Restore, Clone)
// with a hover arrow and description, Quit, Alt+M, F5 to probe again, and
// the modal "Initialize" box that covers the first device probe. Each
// wizard is shown in place of this window and comes back through its
// returnMainDlg() signal.
#ifndef RESCUE_CONSOLE_MAIN_DLG_H
#define RESCUE_CONSOLE_MAIN_DLG_H

#include "wizard/base_dlg.h"

#include <QString>

class BackupDlg;
class CloneDlg;
class RestoreDlg;
class EventButton;
class QLabel;
class QPushButton;

class MainDlg : public BaseDlg {
    Q_OBJECT

public:
    // Returns only when the first full device probe has ended.
    explicit MainDlg(const QString& title = QString(), QWidget* parent = nullptr);
    ~MainDlg() override;

    // Whether a wizard's engine job is still running; the console then
    // refuses to end.
    bool jobRunning() const;

    EventButton* backupButton() const { return m_bkButton; }
    EventButton* restoreButton() const { return m_rtButton; }
    EventButton* cloneButton() const { return m_cloneButton; }
    QPushButton* quitButton() const { return m_quitButton; }
    QLabel* arrowLabel() const { return m_arrowLabel; }
    QLabel* hoverTitleLabel() const { return m_hoverTitle; }
    QLabel* hoverTextLabel() const { return m_hoverText; }
    BackupDlg* backupDlg() const { return m_bkDlg; }
    RestoreDlg* restoreDlg() const { return m_rtDlg; }
    CloneDlg* cloneDlg() const { return m_cloneDlg; }

public slots:
    void showBkWidget();
    void showRtWidget();
    void showCloneWidget();
    void showBk();
    void showRt();
    void showClone();
    void showMain();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    // Refused while a job runs: ending the console mid-job would leave a
    // half-written partition or image.
    void closeEvent(QCloseEvent* event) override;
    // A wizard that disappears by any road (its close button, the end of
    // its job) brings this window back, so the screen is never left empty.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void waitForFirstProbe();
    void createWizards();
    void openWizard(BaseDlg* wizard);
    void watchWizard(BaseDlg* wizard);
    void pointArrowAt(int left);
    bool refuseWhileJobRuns();
    QList<BaseDlg*> wizards() const;

    EventButton* m_bkButton;
    EventButton* m_rtButton;
    EventButton* m_cloneButton;
    QPushButton* m_quitButton;
    QLabel* m_arrowLabel;
    QLabel* m_hoverTitle;
    QLabel* m_hoverText;
    int m_arrowWidth = 0;
    int m_arrowHeight = 0;
    BackupDlg* m_bkDlg = nullptr;
    RestoreDlg* m_rtDlg = nullptr;
    CloneDlg* m_cloneDlg = nullptr;
    QString m_unused;
    bool m_closing = false;
};

#endif
