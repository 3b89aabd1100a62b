#include "programs/desktop/desk_tool_dlg.h"

#include "programs/desktop/desk_just_backup_dlg.h"
#include "programs/desktop/desk_main_dlg.h"
#include "programs/desktop/desk_startup.h"
#include "programs/desktop/desk_tool_widget1.h"
#include "programs/desktop/desk_tool_widget2.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace desk {

namespace {
const QPoint kPagePos(220, 90);
const int kArrowX = 187;
}  // namespace

ToolDlg::ToolDlg(QWidget* parent) : BaseDlg(parent)
{
    resize(800, 600);
    m_backgroundPath = QStringLiteral(":images/Step_BG.png");
    m_titleText = tr("Tools");
    setAccessibleName(tr("Tools"));
    useWindowManagerFrame();
    initTitleBar();

    auto* divider = new QLabel(this);
    divider->setPixmap(QPixmap(QStringLiteral(":images/divider.png")).scaledToWidth(175));
    divider->move(23, 158);
    m_step1 = new QLabel(tr("Install Boot"), this);
    m_step1->setGeometry(48, 100, 200, 50);
    m_step2 = new QLabel(tr("Recover File"), this);
    m_step2->setGeometry(48, 185, 200, 50);
    m_arrow = new QLabel(this);
    m_arrow->setPixmap(QPixmap(QStringLiteral(":images/arrow_Step.png")));
    m_arrow->adjustSize();
    m_returnBtn = new QPushButton(tr("Return"), this);
    m_returnBtn->setObjectName(QStringLiteral("m_returnBtn"));
    m_returnBtn->setGeometry(49, 498, 140, 34);
    connect(m_returnBtn, &QPushButton::clicked, this, &ToolDlg::returnBtnClicked);

    m_page1 = new ToolWidget1(this);
    m_page1->move(kPagePos);
    m_page2 = new ToolWidget2(this);
    m_page2->move(kPagePos);
    showStep1();
}

void ToolDlg::markStep(int step)
{
    const QString current = QStringLiteral("font: 14pt; font-weight: 90; color: rgb(152, 72, 0);");
    const QString other = QStringLiteral("font: 14pt; font-weight: 90; color: rgb(66, 66, 66);");
    m_step1->setStyleSheet(step == 1 ? current : other);
    m_step2->setStyleSheet(step == 2 ? current : other);
    m_arrow->move(kArrowX, step == 1 ? 108 : step == 2 ? 198 : 288);
}

void ToolDlg::returnBtnClicked()
{
    emit returnMainDlg();
}

void ToolDlg::showStep1()
{
    m_page1->show();
    m_page2->hide();
    markStep(1);
}

void ToolDlg::showStep2()
{
    m_page1->hide();
    m_page2->show();
    markStep(2);
}

void ToolDlg::showStep3()
{
    m_page1->hide();
    m_page2->hide();
    markStep(3);
}

void ToolDlg::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->pos();
    if (p.x() > 42 && p.x() <= 173) {
        if (p.y() > 112 && p.y() <= 140)
            showStep1();
        else if (p.y() > 192 && p.y() <= 222)
            showStep2();
    }
    BaseDlg::mousePressEvent(event);
}

void installTools()
{
    MainDlg::setToolsMaker([](QWidget* parent) -> QWidget* { return new ToolDlg(parent); });
    setOneDriveBackup(runOneDriveBackup);
}

}  // namespace desk
