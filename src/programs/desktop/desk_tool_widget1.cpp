#include "programs/desktop/desk_tool_widget1.h"

#include "wizard/base_msg_dlg.h"
#include "programs/desktop/desk_boot_entry.h"
#include "programs/desktop/desk_settings.h"
#include "programs/desktop/desk_startup.h"
#include "platform/windows/disk_helpers.h"
#include "product_version.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace desk {

namespace {
const char kGrey[] = "color: rgb(173, 173, 173)";
const char kWhite[] = "color: rgb(255, 255, 255)";
const QLatin1String kVersion(QUARN_PRODUCT_VERSION);
}  // namespace

ToolWidget1::ToolWidget1(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("toolwidget1"));
    // The page ends above the dialog's divider line.
    resize(530, 380);
    auto* layout = new QVBoxLayout(this);
    auto* facts = new QGridLayout;
    facts->addWidget(new QLabel(tr("Operating System Type:"), this), 0, 0);
    m_osLabel = new QLabel(tr("Unknown"), this);
    m_osLabel->setObjectName(QStringLiteral("osLabel"));
    facts->addWidget(m_osLabel, 0, 1);
    facts->addWidget(new QLabel(tr("Install Sorvik Tavimo Recover %1:").arg(kVersion), this), 1, 0);
    m_installLabel = new QLabel(this);
    m_installLabel->setObjectName(QStringLiteral("installLabel"));
    facts->addWidget(m_installLabel, 1, 1);
    layout->addLayout(facts);

    auto* group = new QGroupBox(this);
    auto* choices = new QVBoxLayout(group);
    m_installRdBtn = new QRadioButton(tr("Install Sorvik Tavimo Recover %1").arg(kVersion), group);
    m_installRdBtn->setObjectName(QStringLiteral("installRdBtn"));
    m_inLabel =
        new QLabel(tr("Install Sorvik Tavimo Recover %1 in your system partition, you can restore your "
                      "operating system when you boot your computer and choose Sorvik Tavimo Recover to "
                      "restore it.")
                       .arg(kVersion),
                   group);
    m_uninstallRdBtn = new QRadioButton(tr("Uninstall Sorvik Tavimo Recover %1").arg(kVersion), group);
    m_uninstallRdBtn->setObjectName(QStringLiteral("uninstallRdBtn"));
    m_unLabel =
        new QLabel(tr("Uninstall Sorvik Tavimo Recover %1 in your system partition. It will remove the "
                      "boot information in your system.")
                       .arg(kVersion),
                   group);
    for (QLabel* label : {m_inLabel, m_unLabel})
        label->setWordWrap(true);
    choices->addWidget(m_installRdBtn);
    choices->addWidget(m_inLabel);
    choices->addWidget(m_uninstallRdBtn);
    choices->addWidget(m_unLabel);
    layout->addWidget(group);

    m_makeBtn = new QPushButton(this);
    m_makeBtn->setObjectName(QStringLiteral("makeBtn"));
    m_makeBtn->setFixedSize(140, 34);
    layout->addWidget(m_makeBtn, 0, Qt::AlignRight);

    const int code = windowsVersion();
    if (code != -1)
        m_osLabel->setText(QString::fromStdString(windowsVersionName(unsigned(code))));
    updateInstallState(readSetting(kInstallKey).toInt());
    connect(m_makeBtn, &QPushButton::clicked, this, &ToolWidget1::makeClicked);
}

void ToolWidget1::updateInstallState(int installed)
{
    const bool on = installed != 0;
    m_makeBtn->setText(on ? tr("Uninstall") : tr("Install"));
    m_installLabel->setText(on ? tr("Yes") : tr("No"));
    m_installRdBtn->setEnabled(!on);
    m_uninstallRdBtn->setEnabled(on);
    (on ? m_uninstallRdBtn : m_installRdBtn)->setChecked(true);
    const QString active = QLatin1String(kWhite);
    const QString inactive = QLatin1String(kGrey);
    m_installRdBtn->setStyleSheet(on ? inactive : active);
    m_inLabel->setStyleSheet(on ? inactive : active);
    m_uninstallRdBtn->setStyleSheet(on ? active : inactive);
    m_unLabel->setStyleSheet(on ? active : inactive);
}

void ToolWidget1::makeClicked()
{
    const int route = bootRouteFor(windowsVersion());
    if (route == 0)
        return;
    BootEntryInstaller installer([this](const QString& message) {
        BaseMsgDlg(tr("Error"), message, QStringLiteral(":images/MsgIcon_Info.png"), this).exec();
    });
    const bool installed = readSetting(kInstallKey).toInt() != 0;
    m_makeBtn->setText(installed ? tr("Uninstalling") : tr("Installing"));
    bool done = false;
    if (installed)
        done = route == 1 ? installer.uninstallBootIni() : installer.uninstallBcd();
    else
        done = route == 1 ? installer.installBootIni() : installer.installBcd();
    // The state follows what is on the system, not what was tried.
    const bool nowInstalled = installed != done;
    if (done)
        writeSetting(kInstallKey, nowInstalled ? QStringLiteral("1") : QStringLiteral("0"));
    updateInstallState(nowInstalled ? 1 : 0);
}

}  // namespace desk
