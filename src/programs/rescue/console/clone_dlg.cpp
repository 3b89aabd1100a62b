#include "clone_dlg.h"

#include "base_msg_dlg.h"
#include "clone_widgets.h"

#include <QPushButton>

CloneDlg::CloneDlg(const QString& title, QWidget* parent)
    : WizardFrame(parent, title, {tr("Step 1"), tr("Step 2"), tr("Step 3")},
                  {tr("choose partition"), tr("choose destination"), tr("start clone")}, kConsoleSteps)
{
    setAccessibleName(tr("Clone wizard"));
    setObjectName(QStringLiteral("CloneDlg"));
    m_page1 = new CloneWidget1(this);
    m_page2 = new CloneWidget2(this);
    m_page3 = new CloneWidget3(this);
    setPages(m_page1, m_page2, m_page3, nullptr);
    showStep1();
}

CloneDlg::~CloneDlg() = default;

void CloneDlg::startRestore()
{
    BaseMsgDlg box(tr("Information"), tr("Cloning is not available. Use Backup and then Restore instead."),
                   QStringLiteral(":images/MsgIcon_Info.png"), this, true, false);
    box.exec();
    emit returnMainDlg();
}
