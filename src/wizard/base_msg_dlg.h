// The console's message box: a title, a text broken into lines, an optional
// icon and either one OK button, OK and Cancel, or no button at all (a box
// that only code ends, such as the start-up box that covers the first probe).
// Callers build it on the stack and run exec(): 1 for OK, 0 for Cancel or
// any other rejection.
//
// Test seam: setExecHook() installs a function that exec() calls instead of
// showing the box. The hook sees the box (title(), message(), iconPath(),
// hasOkButton(), hasCancelButton(), parentWidget(), its labels and buttons)
// and returns the answer, or BaseMsgDlg::RunModal to let the box run for real.
// MsgBoxAnswers below wraps the usual use: record every box and answer it
// from a queue. Hooks are for tests; the program never sets one.
#ifndef WIZARD_BASE_MSG_DLG_H
#define WIZARD_BASE_MSG_DLG_H

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>

class QLabel;
class QPushButton;

class BaseMsgDlg : public QDialog {
    Q_OBJECT

public:
    BaseMsgDlg(const QString& title, const QString& message, const QString& iconPath,
               QWidget* parent = nullptr, bool okButton = true, bool okCancelButtons = false);
    ~BaseMsgDlg() override;

    // The message as the box shows it: a run of more than 29 characters
    // without a blank gets a line feed after its 29th character and after
    // every further 28; the label wraps the rest at blanks.
    static QString breakLines(const QString& message);

    int exec() override;

    // The answer a hook gives to let exec() run the box's own event loop.
    static constexpr int RunModal = -1;
    using ExecHook = std::function<int(BaseMsgDlg&)>;
    // Installs `hook` (an empty function removes it) and returns the one
    // it replaces.
    static ExecHook setExecHook(ExecHook hook);

    const QString& title() const { return m_title; }
    const QString& message() const { return m_message; }
    const QString& iconPath() const { return m_iconPath; }
    QString shownText() const;
    bool hasOkButton() const { return m_exitButton || m_okButton; }
    bool hasCancelButton() const { return m_cancelButton != nullptr; }
    QPushButton* exitButton() const { return m_exitButton; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Escape cancels a box that has buttons; a box without buttons waits
    // for the code that owns it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPushButton* newButton(const char* objectName, const QString& text, int x, const QSize& size);
    // Widens, then heightens the box (within the screen) when the message
    // needs more room than the picture's text area.
    void fitToMessage(QLabel* titleLabel);

    QPoint m_dragGlobal;
    QPoint m_dragWindowPos;
    bool m_dragging = false;
    int m_width = 0;
    int m_height = 0;
    int m_backgroundHeight = 0;  // the picture's own height
    QString m_unused;
    QPushButton* m_exitButton = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QLabel* m_textLabel = nullptr;
    QString m_title;
    QString m_message;
    QString m_iconPath;
};

// One box as a test saw it.
struct MsgBoxRecord {
    QString title;
    QString message;
    QString iconPath;
    bool okButton = false;
    bool cancelButton = false;
    QPointer<QWidget> parent;
};

// While it lives, every BaseMsgDlg::exec() is recorded in `boxes` and
// answered by the next queued answer (else `defaultAnswer`) without showing
// the box. Boxes without buttons run for real unless an answer is queued for
// them with pushForButtonless(), since only code can end them. Not nestable.
class MsgBoxAnswers {
public:
    explicit MsgBoxAnswers(int defaultAnswer = 1);
    ~MsgBoxAnswers();
    MsgBoxAnswers(const MsgBoxAnswers&) = delete;
    MsgBoxAnswers& operator=(const MsgBoxAnswers&) = delete;

    void push(int answer) { m_answers.push_back(answer); }
    void pushForButtonless(int answer) { m_buttonless.push_back(answer); }
    // Runs `action` while the box is open, before it is answered.
    void onShow(std::function<void(BaseMsgDlg&)> action) { m_onShow = std::move(action); }

    QList<MsgBoxRecord> boxes;

private:
    int answer(BaseMsgDlg& box);

    int m_default;
    std::deque<int> m_answers;
    std::deque<int> m_buttonless;
    std::function<void(BaseMsgDlg&)> m_onShow;
    BaseMsgDlg::ExecHook m_previous;
};

#endif
