// Step 3 of the restore wizard: the image's comments and, when the image is
// protected, the password that must match its stored digest.
#ifndef RESCUE_CONSOLE_RT_WIDGET3_H
#define RESCUE_CONSOLE_RT_WIDGET3_H

#include <QByteArray>
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QTextEdit;

class RtWidget3 : public QWidget {
    Q_OBJECT

public:
    explicit RtWidget3(QWidget* parent = nullptr);

    // The whole MD5 digest of the typed password in the locale's 8-bit
    // encoding; empty for an empty entry.
    QByteArray passwordDigest() const;

    QGroupBox* m_pwdGroup;
    QLineEdit* m_pwdEdit;
    QGroupBox* m_descGroup;
    QTextEdit* m_descEdit;
    QLabel* m_titleLabel;

public slots:
    // The password group shows exactly when the image stores a digest.
    void pwdSlot(const QByteArray& pwdDigest);
    void descSlot(const QString& desc);
};

#endif
