#include "clone_dlg.h"

#include "base_msg_dlg.h"
#include "clone_widgets.h"
#include "page_style.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

CloneDlg::CloneDlg(const QString& title, QWidget* parent) : BaseDlg(parent, Qt::WindowFlags(), true), m_mainDlg(parent)
{
    m_titleText = title;
    setAccessibleName(tr("Clone wizard"));
    m_backgroundPath = QStringLiteral(":images/Step_BG.png");
    setObjectName(QStringLiteral("CloneDlg"));
    resize(800, 600);
    initTitleBar();

    const QString titles[] = {tr("Step 1"), tr("Step 2"), tr("Step 3")};
    const QString subtitles[] = {tr("choose partition"), tr("choose destination"), tr("start clone")};
    const int titleY[] = {80, 175, 280};
    const int subtitleY[] = {120, 215, 320};
    for (int i = 0; i < 3; ++i) {
        m_titles[i] = new QLabel(titles[i], this);
        m_titles[i]->setGeometry(48, titleY[i], 100, 50);
        m_subtitles[i] = new QLabel(subtitles[i], this);
        m_subtitles[i]->setGeometry(48, subtitleY[i], 150, 20);
    }
    const QPixmap divider = QPixmap(QStringLiteral(":images/divider.png")).scaledToWidth(175);
    for (int y : {158, 253}) {
        auto* line = new QLabel(this);
        line->setPixmap(divider);
        line->setGeometry(23, y, divider.width(), divider.height());
    }

    const QPixmap arrow(QStringLiteral(":images/arrow_Step.png"));
    m_arrowWidth = arrow.width();
    m_arrowHeight = arrow.height();
    m_arrow = new QLabel(this);
    m_arrow->setObjectName(QStringLiteral("arrowLabel"));
    m_arrow->setPixmap(arrow);
    m_arrow->setGeometry(PageStyle::kStepArrowX, PageStyle::kStepArrowY[0], m_arrowWidth, m_arrowHeight);

    const QString buttonStyle = PageStyle::wizardButtonStyle();
    auto newButton = [&](const char* name, const QString& text, int x) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(QString::fromLatin1(name));
        button->setStyleSheet(buttonStyle);
        button->setGeometry(x, 498, 140, 34);
        return button;
    };
    m_returnBtn = newButton("m_returnBtn", tr("Return"), 49);
    m_preBtn = newButton("m_preBtn", tr("Previous"), 441);
    m_nextBtn = newButton("m_nextBtn", tr("Next"), 617);
    connect(m_returnBtn, &QPushButton::clicked, this, &CloneDlg::returnBtnClicked);

    m_page1 = new CloneWidget1(this);
    m_page2 = new CloneWidget2(this);
    m_page3 = new CloneWidget3(this);
    for (QWidget* page : {static_cast<QWidget*>(m_page1), static_cast<QWidget*>(m_page2),
                          static_cast<QWidget*>(m_page3)})
        page->move(220, 90);

    showStep1();
}

CloneDlg::~CloneDlg() = default;

void CloneDlg::setNavButton(QPushButton* button, bool visible, const QString& text, void (CloneDlg::*slot)())
{
    disconnect(button, &QPushButton::clicked, nullptr, nullptr);
    button->setVisible(visible);
    button->setEnabled(true);
    button->setText(text);
    if (slot)
        connect(button, &QPushButton::clicked, this, slot);
}

void CloneDlg::enterStep(State state)
{
    m_state = state;
    const int current = static_cast<int>(state);
    QWidget* pages[] = {m_page1, m_page2, m_page3};
    for (int i = 0; i < 3; ++i) {
        pages[i]->setVisible(i == current);
        m_titles[i]->setStyleSheet(PageStyle::stepTitleStyle(i == current));
        m_subtitles[i]->setStyleSheet(PageStyle::stepSubtitleStyle(i == current));
    }
    m_arrow->move(PageStyle::kStepArrowX, PageStyle::kStepArrowY[current]);
}

void CloneDlg::showStep1()
{
    enterStep(Step1);
    setNavButton(m_preBtn, false, tr("Previous"), nullptr);
    setNavButton(m_nextBtn, true, tr("Next"), &CloneDlg::showStep2);
}

void CloneDlg::showStep2()
{
    enterStep(Step2);
    setNavButton(m_preBtn, true, tr("Previous"), &CloneDlg::showStep1);
    setNavButton(m_nextBtn, true, tr("Next"), &CloneDlg::showStep3);
}

void CloneDlg::showStep3()
{
    enterStep(Step3);
    setNavButton(m_preBtn, true, tr("Previous"), &CloneDlg::showStep2);
    setNavButton(m_nextBtn, true, tr("Start"), &CloneDlg::startRestore);
}

void CloneDlg::returnBtnClicked()
{
    emit returnMainDlg();
}

void CloneDlg::startRestore()
{
    BaseMsgDlg box(tr("Information"),
                   tr("Cloning is not available. Use Backup and then Restore instead."),
                   QStringLiteral(":images/MsgIcon_Info.png"), this, true, false);
    box.exec();
    emit returnMainDlg();
}

void CloneDlg::cancelRestore()
{
    showStep3();
}

void CloneDlg::finishRestore() {}
