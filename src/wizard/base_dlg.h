// The frameless window every console dialog is drawn in: a background
// picture, the logo, a row of title-bar buttons, dragging with the mouse
// and centring on the screen whenever it is shown.
#ifndef WIZARD_BASE_DLG_H
#define WIZARD_BASE_DLG_H

#include <QDialog>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>

class QPushButton;

class BaseDlg : public QDialog {
    Q_OBJECT

public:
    // The frameless flag is always added to `flags`; `flag` is kept for
    // derived dialogs.
    explicit BaseDlg(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags(), bool flag = false);
    ~BaseDlg() override;

    // Builds the title-bar buttons at the right edge of the current width;
    // derived dialogs call it after giving the dialog its size.
    void initTitleBar();
    // A window of the desktop program, which runs under a window manager:
    // the minimise button minimises, and only the title bar drags the
    // window (a press inside a page belongs to the page). The rescue
    // console has nowhere to minimise to on its full-screen display.
    void useWindowManagerFrame();
    bool dragsByTitleBarOnly() const { return m_windowManagerFrame; }

    const QString& backgroundPath() const { return m_backgroundPath; }
    const QString& titleText() const { return m_titleText; }

public slots:
    void helpBtnClicked();
    void infoBtnClicked();
    void homeBtnClicked();
    // Goes through close(), so a rejected dialog runs its close event.
    void reject() override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // Escape does nothing: it must neither quit the console nor leave a
    // wizard with no window on the screen.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

    QPoint m_dragGlobal;
    QPoint m_dragWindowPos;
    QRect m_logoRect;
    bool m_dragging = false;
    int m_width = 0;
    int m_height = 0;
    QPushButton* m_closeButton = nullptr;
    QPushButton* m_minButton = nullptr;
    QPushButton* m_helpButton = nullptr;
    QPushButton* m_infoButton = nullptr;
    QPushButton* m_bigButton = nullptr;
    bool m_flag;
    bool m_windowManagerFrame = false;
    QPixmap m_logo;
    QString m_titleText;
    QString m_backgroundPath;

private:
    QPushButton* newTitleButton(const char* objectName, const QString& tip, int x, const QSize& size);
};

#endif
