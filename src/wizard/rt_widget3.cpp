#include "wizard/rt_widget3.h"

#include "jobs/backup_rules.h"
#include "wizard/page_style.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>
#include <QVBoxLayout>

RtWidget3::RtWidget3(QWidget* parent) : QWidget(parent)
{
    setFixedSize(PageStyle::kPageWidth, PageStyle::kPageHeight);
    m_titleLabel = new QLabel(tr("Backup image information"), this);
    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_titleLabel->setStyleSheet(PageStyle::titleStyle());
    m_titleLabel->setGeometry(10, 5, 510, 32);

    m_pwdGroup = new QGroupBox(tr("You must enter the password to restore"), this);
    m_pwdGroup->setObjectName(QStringLiteral("pwdGroup"));
    m_pwdGroup->setStyleSheet(PageStyle::groupStyle());
    m_pwdGroup->setGeometry(10, 45, 510, 90);
    m_pwdEdit = new QLineEdit(m_pwdGroup);
    m_pwdEdit->setObjectName(QStringLiteral("pwdEdit"));
    m_pwdEdit->setAccessibleName(tr("Password"));
    m_pwdEdit->setMaxLength(20);
    m_pwdEdit->setEchoMode(QLineEdit::Password);
    m_pwdEdit->setStyleSheet(PageStyle::editStyle());
    auto* pwdLayout = new QVBoxLayout(m_pwdGroup);
    pwdLayout->setContentsMargins(15, 30, 15, 12);
    pwdLayout->addWidget(m_pwdEdit);
    m_pwdGroup->hide();

    m_descGroup = new QGroupBox(tr("Archive comments"), this);
    m_descGroup->setObjectName(QStringLiteral("descGroup"));
    m_descGroup->setStyleSheet(PageStyle::groupStyle());
    m_descGroup->setGeometry(10, 145, 510, 192);
    m_descEdit = new QTextEdit(m_descGroup);
    m_descEdit->setObjectName(QStringLiteral("descEdit"));
    m_descEdit->setAccessibleName(tr("Archive comments"));
    m_descEdit->setReadOnly(true);
    m_descEdit->setStyleSheet(PageStyle::editStyle());
    auto* descLayout = new QVBoxLayout(m_descGroup);
    descLayout->setContentsMargins(15, 30, 15, 12);
    descLayout->addWidget(m_descEdit);

    // Reading the whole image first costs a little time and means that a
    // damaged or incomplete image is refused before the target is erased.
    m_checkImageBox = new QCheckBox(tr("Check the image before restoring"), this);
    m_checkImageBox->setObjectName(QStringLiteral("checkImageBox"));
    m_checkImageBox->setAccessibleName(tr("Check the image before restoring"));
    m_checkImageBox->setStyleSheet(PageStyle::checkBoxStyle());
    m_checkImageBox->setGeometry(14, 348, 506, 32);
    m_checkImageBox->setChecked(true);
}

bool RtWidget3::checkImageFirst() const
{
    return m_checkImageBox->isChecked();
}

QByteArray RtWidget3::passwordDigest() const
{
    // The backup stored the digest of the password's UTF-8 bytes, whatever
    // the locale's code page.
    const QString typed = m_pwdEdit->text();
    if (typed.isEmpty())
        return QByteArray();
    return BackupRules::passwordDigest(typed);
}

void RtWidget3::pwdSlot(const QByteArray& pwdDigest)
{
    // A password typed for one image is never offered for the next, and
    // every new choice of image is checked unless the user says otherwise.
    m_pwdEdit->clear();
    m_checkImageBox->setChecked(true);
    m_pwdGroup->setVisible(!pwdDigest.isEmpty());
}

void RtWidget3::descSlot(const QString& desc)
{
    if (desc.isEmpty())
        m_descEdit->clear();
    else
        m_descEdit->setPlainText(desc);
}
