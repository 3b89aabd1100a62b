#include "programs/rescue/console/lang_dlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>

langDlg::langDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("langDlg"));
    setWindowTitle(tr("Select language"));
    setWindowIcon(QIcon(QStringLiteral(":/images/f.png")));
    m_comboBox = new QComboBox(this);
    m_comboBox->setObjectName(QStringLiteral("comboBox"));
    m_comboBox->addItems(
        {QString::fromUtf8("简体中文"), QString::fromUtf8("繁体中文"), QStringLiteral("English")});
    m_pushButton = new QPushButton(tr("OK"), this);
    m_pushButton->setObjectName(QStringLiteral("pushButton"));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_comboBox, 1);
    layout->addWidget(m_pushButton);

    connect(m_comboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &langDlg::changLangSlot);
    connect(m_pushButton, &QPushButton::clicked, this, &QDialog::accept);
    qputenv("LANG", "zh_CN");
}

langDlg::~langDlg() = default;

void langDlg::changLangSlot(int index)
{
    switch (index) {
    case 1:
        qputenv("LANG", "zh_TW");
        break;
    case 2:
        qputenv("LANG", "en");
        break;
    default:
        qputenv("LANG", "zh_CN");
        break;
    }
}
