// The third page of the backup wizard: the image's password, compression
// level, fixed volume size and comments.
#ifndef WIZARD_BK_WIDGET3_H
#define WIZARD_BK_WIDGET3_H

#include <QDateTime>
#include <QString>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QTextEdit;

class BkWidget3 : public QWidget {
    Q_OBJECT

public:
    explicit BkWidget3(QWidget* parent = nullptr);

    QString password() const;
    QString confirmPassword() const;
    // The password of the protected image an incremental backup builds on
    // (empty when that image has none or the backup is full).
    QString previousImagePassword() const;
    int compressIndex() const;    // 0 fast, 1 normal, 2 high
    int volumeSizeIndex() const;  // 0 Auto, 1 2 GB, 2 4 GB, 3 8 GB
    QString description() const;

    // Offers only the volume sizes that the destination's files can hold;
    // a choice that no longer fits falls back to "Auto".
    void setDestinationFs(const QString& fsName);

    // An incremental backup on a protected image asks for that image's
    // password first, in a row of its own above the new image's password.
    void setPreviousImageProtected(bool isProtected);
    bool previousImageProtected() const;

    // Every field as a new job starts: no password, the first compression
    // and volume size, the comments preset to the time now.
    void restoreDefaults();

    // The comments' preset: "2026-12-10 04:54:58".
    static QString datePreset(const QDateTime& when);

    QLineEdit* m_previousPasswordEdit;
    QLineEdit* m_passwordEdit;
    QLineEdit* m_confirmEdit;
    QComboBox* m_compressCombo;
    QComboBox* m_sizeCombo;
    QTextEdit* m_commentEdit;

private:
    // Places the rows below the protection box, which is one row taller
    // while the previous image's password is asked for.
    void layOut();

    QWidget* m_protection;
    QWidget* m_previousPasswordLabel;
    QWidget* m_passwordLabel;
    QWidget* m_confirmLabel;
    QWidget* m_compressLabel;
    QWidget* m_sizeLabel;
    QWidget* m_comments;
    bool m_previousProtected = false;
};

#endif
