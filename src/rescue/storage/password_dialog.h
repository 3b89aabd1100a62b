// The prompt for an SMB user name and password.
#ifndef PASSWORD_DIALOG_H
#define PASSWORD_DIALOG_H

#include <QDialog>

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

protected slots:
    // OK is enabled exactly while the password is not empty.
    void changeText(const QString& text);

private:
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
