#include "wizard/bk_widget3.h"

#include "jobs/backup_rules.h"
#include "wizard/page_style.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextEdit>

namespace {

QLineEdit* newPasswordEdit(QWidget* parent, const QRect& place, const QString& name)
{
    QLineEdit* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(place);
    edit->setMaxLength(20);
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("color: rgb(0, 0, 0);"));
    return edit;
}

QStringList volumeSizeTexts()
{
    return {BkWidget3::tr("Auto"), BkWidget3::tr("2 GB"), BkWidget3::tr("4 GB"), BkWidget3::tr("8 GB")};
}

}  // namespace

BkWidget3::BkWidget3(QWidget* parent) : QWidget(parent)
{
    resize(PageStyle::kPageWidth, PageStyle::kPageHeight);
    PageStyle::newTitle(this, tr("Backup options"));

    QLabel* warningPicture = new QLabel(this);
    warningPicture->setGeometry(20, 50, 48, 48);
    warningPicture->setPixmap(QPixmap(QStringLiteral(":/images/warning_L.png")));
    warningPicture->setScaledContents(true);
    QLabel* warning = PageStyle::newText(
        this,
        tr("Don't turn off your power while your partition is being backed up! Click \"Start\" to "
           "back up your partition!"),
        QRect(80, 38, 440, 88));
    warning->setWordWrap(true);

    QGroupBox* protection = new QGroupBox(tr("Archive protection"), this);
    protection->setStyleSheet(PageStyle::groupStyle());
    m_protection = protection;
    m_previousPasswordLabel = PageStyle::newText(protection, tr("Base password:"), QRect(15, 24, 150, 26));
    m_previousPasswordEdit =
        newPasswordEdit(protection, QRect(170, 24, 250, 26), QStringLiteral("previousPasswordEdit"));
    m_previousPasswordEdit->setAccessibleName(tr("Password of the image this backup builds on"));
    m_passwordLabel = PageStyle::newText(protection, tr("Password:"), QRect(15, 24, 150, 26));
    m_passwordEdit = newPasswordEdit(protection, QRect(170, 24, 250, 26), QStringLiteral("passwordEdit"));
    m_passwordEdit->setAccessibleName(tr("Password"));
    m_confirmLabel = PageStyle::newText(protection, tr("Confirm:"), QRect(15, 56, 150, 26));
    m_confirmEdit = newPasswordEdit(protection, QRect(170, 56, 250, 26), QStringLiteral("confirmEdit"));
    m_confirmEdit->setAccessibleName(tr("Confirm password"));

    m_compressLabel = PageStyle::newText(this, tr("Compress level"), QRect(20, 226, 160, 26));
    m_compressCombo = new QComboBox(this);
    m_compressCombo->setObjectName(QStringLiteral("compressCombo"));
    m_compressCombo->setAccessibleName(tr("Compress level"));
    m_compressCombo->addItems(
        {tr("Fast Compress [fast]"), tr("Normal Compress [normal]"), tr("High Compress [slow]")});

    m_sizeLabel = PageStyle::newText(this, tr("Fixed size"), QRect(20, 258, 160, 26));
    m_sizeCombo = new QComboBox(this);
    m_sizeCombo->setObjectName(QStringLiteral("sizeCombo"));
    m_sizeCombo->setAccessibleName(tr("Fixed size"));
    m_sizeCombo->addItems(volumeSizeTexts());

    QGroupBox* comments = new QGroupBox(tr("Archive comments"), this);
    comments->setStyleSheet(PageStyle::groupStyle());
    m_comments = comments;
    m_commentEdit = new QTextEdit(comments);
    m_commentEdit->setObjectName(QStringLiteral("commentEdit"));
    m_commentEdit->setAccessibleName(tr("Archive comments"));
    m_commentEdit->setStyleSheet(QStringLiteral("color: rgb(0, 0, 0);"));
    // The field holds no more than an image can store.
    connect(m_commentEdit, &QTextEdit::textChanged, this, [this] {
        const QString text = m_commentEdit->toPlainText();
        const QString limited = BackupRules::limitDescription(text);
        if (limited.size() == text.size())
            return;
        const QSignalBlocker blocker(m_commentEdit);
        m_commentEdit->setPlainText(limited);
        m_commentEdit->moveCursor(QTextCursor::End);
    });
    layOut();
    restoreDefaults();
}

void BkWidget3::layOut()
{
    // Rows of 32 pixels, or of 28 and 30 with the base password's row; the
    // comments box ends above the wizard's divider line, 385 pixels down
    // the page, and keeps room for two lines of text.
    const bool base = m_previousProtected;
    const int row = base ? 28 : 32;
    m_previousPasswordLabel->setVisible(base);
    m_previousPasswordEdit->setVisible(base);
    const int first = base ? 24 + row : 24;
    m_protection->setGeometry(10, 128, 510, first + row + 36);
    m_passwordLabel->move(15, first);
    m_passwordEdit->move(170, first);
    m_confirmLabel->move(15, first + row);
    m_confirmEdit->move(170, first + row);
    const int choices = 128 + first + row + 42;
    const int choiceRow = base ? 30 : 32;
    m_compressLabel->move(20, choices);
    m_compressCombo->setGeometry(190, choices, 260, 26);
    m_sizeLabel->move(20, choices + choiceRow);
    m_sizeCombo->setGeometry(190, choices + choiceRow, 260, 26);
    const int comments = choices + 2 * choiceRow;
    m_comments->setGeometry(10, comments, 510, 378 - comments);
    m_commentEdit->setGeometry(12, 26, 486, 378 - comments - 34);
}

void BkWidget3::setPreviousImageProtected(bool isProtected)
{
    if (!isProtected)
        m_previousPasswordEdit->clear();
    if (isProtected == m_previousProtected)
        return;
    m_previousProtected = isProtected;
    layOut();
}

bool BkWidget3::previousImageProtected() const
{
    return m_previousProtected;
}

QString BkWidget3::previousImagePassword() const
{
    return m_previousProtected ? m_previousPasswordEdit->text() : QString();
}

void BkWidget3::restoreDefaults()
{
    m_previousPasswordEdit->clear();
    m_passwordEdit->clear();
    m_confirmEdit->clear();
    m_compressCombo->setCurrentIndex(0);
    m_sizeCombo->setCurrentIndex(0);
    m_commentEdit->setPlainText(datePreset(QDateTime::currentDateTime()));
}

QString BkWidget3::password() const
{
    return m_passwordEdit->text();
}

QString BkWidget3::confirmPassword() const
{
    return m_confirmEdit->text();
}

int BkWidget3::compressIndex() const
{
    return m_compressCombo->currentIndex();
}

int BkWidget3::volumeSizeIndex() const
{
    return m_sizeCombo->currentIndex();
}

QString BkWidget3::description() const
{
    return m_commentEdit->toPlainText();
}

void BkWidget3::setDestinationFs(const QString& fsName)
{
    const int offered = BackupRules::volumeSizeChoiceCount(fsName);
    if (offered == m_sizeCombo->count())
        return;
    const int chosen = m_sizeCombo->currentIndex();
    m_sizeCombo->clear();
    m_sizeCombo->addItems(volumeSizeTexts().mid(0, offered));
    m_sizeCombo->setCurrentIndex(chosen < offered ? chosen : 0);
}

QString BkWidget3::datePreset(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}
