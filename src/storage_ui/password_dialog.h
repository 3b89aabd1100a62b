// The prompt for an SMB user name and password.
#ifndef STORAGE_UI_PASSWORD_DIALOG_H
#define STORAGE_UI_PASSWORD_DIALOG_H

#include <QDialog>

#include <functional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

class PasswordDialog : public QDialog {
    Q_OBJECT

public:
    enum Field { UserField = 1, PasswordField = 2, HintField = 4 };

    // `fields` is a mask of Field; only those lines exist.
    PasswordDialog(QWidget* parent, bool firstAttempt, int fields, const QString& hint,
                   Qt::WindowFlags flags);

    // Empty when the field does not exist.
    QString user() const;
    QString password() const;

    int exec() override;

    // Test seam: while a hook is set, exec() calls it instead of running the
    // prompt; the hook may fill the lines (userEdit, passwordEdit) and gives
    // the result (QDialog::Accepted or Rejected). Returns the replaced hook.
    using ExecHook = std::function<int(PasswordDialog&)>;
    static ExecHook setExecHook(ExecHook hook);

    const QString& messageText() const;

protected slots:
    // OK is enabled exactly while the password is not empty.
    void changeText(const QString& text);

private:
    QString m_messageText;
    QLabel* m_message;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_hint = nullptr;
    QDialogButtonBox* m_buttons;
};

// The window flags both callers use: a dialog with title, system menu and
// maximise button.
Qt::WindowFlags passwordDialogFlags();

#endif
