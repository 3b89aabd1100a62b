// Step 3 of the restore wizard: the image's comments, when the image is
// protected the password that must match its stored digest, and whether
// the image is checked whole before the target is written.
#ifndef WIZARD_RT_WIDGET3_H
#define WIZARD_RT_WIDGET3_H

#include <QByteArray>
#include <QWidget>

class QCheckBox;
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
    // Whether the restore reads the whole image before it writes.
    bool checkImageFirst() const;

    QGroupBox* m_pwdGroup;
    QLineEdit* m_pwdEdit;
    QGroupBox* m_descGroup;
    QTextEdit* m_descEdit;
    QLabel* m_titleLabel;
    QCheckBox* m_checkImageBox;

public slots:
    // The password group shows exactly when the image stores a digest.
    void pwdSlot(const QByteArray& pwdDigest);
    void descSlot(const QString& desc);
};

#endif
