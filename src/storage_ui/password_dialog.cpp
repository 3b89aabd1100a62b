#include "storage_ui/password_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

PasswordDialog::ExecHook& execHook()
{
    static PasswordDialog::ExecHook hook;
    return hook;
}

}  // namespace

PasswordDialog::ExecHook PasswordDialog::setExecHook(ExecHook hook)
{
    ExecHook previous = execHook();
    execHook() = std::move(hook);
    return previous;
}

int PasswordDialog::exec()
{
    if (execHook()) {
        const int result = execHook()(*this);
        setResult(result);
        return result;
    }
    return QDialog::exec();
}

const QString& PasswordDialog::messageText() const
{
    return m_messageText;
}

PasswordDialog::PasswordDialog(QWidget* parent, bool firstAttempt, int fields, const QString& hint,
                               Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    auto* layout = new QVBoxLayout(this);
    m_messageText = firstAttempt ? tr("Please enter the password.") : tr("Invalid password. Try again.");
    m_message = new QLabel(m_messageText, this);
    m_message->setObjectName(QStringLiteral("messageLabel"));
    layout->addWidget(m_message);

    auto* form = new QFormLayout;
    if (fields & UserField) {
        m_user = new QLineEdit(this);
        m_user->setObjectName(QStringLiteral("userEdit"));
        form->addRow(tr("User"), m_user);
    }
    if (fields & PasswordField) {
        m_password = new QLineEdit(this);
        m_password->setObjectName(QStringLiteral("passwordEdit"));
        m_password->setEchoMode(QLineEdit::Password);
        m_password->setMinimumWidth(200);
        connect(m_password, &QLineEdit::textChanged, this, &PasswordDialog::changeText);
        form->addRow(tr("Password"), m_password);
    }
    if (fields & HintField) {
        m_hint = new QLineEdit(hint, this);
        m_hint->setObjectName(QStringLiteral("hintEdit"));
        m_hint->setReadOnly(true);
        form->addRow(tr("Hint"), m_hint);
    }
    layout->addLayout(form);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
}

QString PasswordDialog::user() const
{
    return m_user ? m_user->text() : QString();
}

QString PasswordDialog::password() const
{
    return m_password ? m_password->text() : QString();
}

void PasswordDialog::changeText(const QString& text)
{
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!text.isEmpty());
}

Qt::WindowFlags passwordDialogFlags()
{
    return Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint;
}
