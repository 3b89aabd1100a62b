#include "programs/desktop/desk_lang_dlg.h"

#include "programs/desktop/desk_file_dialogs.h"
#include "programs/desktop/desk_paths.h"
#include "programs/desktop/desk_settings.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace desk {

QString languageOfIndex(int index)
{
    switch (index) {
    case 1:
        return QStringLiteral("zh_TW");
    case 2:
        return QStringLiteral("en");
    default:
        return QStringLiteral("zh_CN");
    }
}

langDlg::langDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("setDlg"));
    setWindowTitle(tr("Set your preferences"));
    setWindowIcon(QIcon(QStringLiteral(":/images/f.png")));
    setFixedSize(321, 180);
    QLabel* langLabel = new QLabel(tr("Select your language"), this);
    langLabel->setGeometry(15, 10, 290, 20);
    m_langCombo = new QComboBox(this);
    m_langCombo->setGeometry(15, 32, 290, 26);
    m_langCombo->addItems(
        {QStringLiteral("简体中文"), QStringLiteral("繁体中文"), QStringLiteral("English")});
    QLabel* placeLabel = new QLabel(tr("Select the backup place"), this);
    placeLabel->setGeometry(15, 66, 290, 20);
    m_pathEdit = new QLineEdit(this);
    m_pathEdit->setReadOnly(true);
    placeLabel->setBuddy(m_pathEdit);
    m_pathEdit->clear();
    m_pathEdit->setGeometry(15, 88, 200, 26);
    m_browseBtn = new QPushButton(tr("Browse"), this);
    m_browseBtn->setGeometry(225, 88, 80, 26);
    m_okBtn = new QPushButton(tr("OK"), this);
    m_okBtn->setGeometry(225, 140, 80, 28);
    connect(m_langCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &langDlg::changLangSlot);
    connect(m_browseBtn, &QPushButton::clicked, this, &langDlg::browsePlace);
    connect(m_okBtn, &QPushButton::clicked, this, &QDialog::accept);
    writeSetting(kLangKey, languageOfIndex(0));
}

void langDlg::changLangSlot(int index)
{
    writeSetting(kLangKey, languageOfIndex(index));
}

void langDlg::browsePlace()
{
    FileRequest request;
    request.kind = FileRequest::ExistingFolder;
    request.caption = tr("Select a destination folder");
    request.startFolder = QStringLiteral(".");
    const QString folder = chooseFile(this, request);
    if (folder.isEmpty())
        return;
    m_pathEdit->setText(folder);
    writeSetting(kDstPathKey, nativeSeparators(folder));
}

}  // namespace desk
