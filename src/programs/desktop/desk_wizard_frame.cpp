#include "desk_wizard_frame.h"

#include "base_msg_dlg.h"
#include "desk_worker.h"
#include "quarn_thread.h"
#include "start_bk_widget.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace desk {

namespace {

const char kButtonStyle[] = "font: 10pt \"l047013t\";\ncolor: rgb(255, 255, 255);";
const char kCurrentTitle[] = "font: 90 18pt \"l047013t\";\ncolor: rgb(152, 72, 0);";
const char kCurrentSubtitle[] = "font: 75 10pt \"l047013t\";\ncolor: rgb(152, 72, 0);";
const char kOtherTitle[] = "font: 90 18pt \"l047013t\";\ncolor: rgb(66, 66, 66);";
const char kOtherSubtitle[] = "font: 75 10pt \"l047013t\";\ncolor: rgb(66, 66, 66);";
const int kTitleY[3] = {80, 175, 270};
const int kSubtitleY[3] = {120, 215, 310};
const int kArrowY[3] = {108, 198, 288};

QPushButton* newButton(QWidget* parent, const QString& text, int x, const char* name)
{
    QPushButton* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(x, 498, 140, 34);
    button->setStyleSheet(QLatin1String(kButtonStyle));
    return button;
}

void newDivider(QWidget* parent, int y)
{
    QLabel* label = new QLabel(parent);
    const QPixmap picture(QStringLiteral(":images/divider.png"));
    const QPixmap scaled = picture.isNull() ? picture : picture.scaledToWidth(175);
    label->setPixmap(scaled);
    label->setGeometry(23, y, 175, qMax(1, scaled.height()));
}

}  // namespace

const QPoint WizardFrame::kPagePos(220, 90);

void useDesktopHelpBox(BaseDlg* window, QPushButton* helpButton)
{
    if (!helpButton)
        return;
    QObject::disconnect(helpButton, &QPushButton::clicked, nullptr, nullptr);
    QObject::connect(helpButton, &QPushButton::clicked, window, [window] {
        BaseMsgDlg box(WizardFrame::tr("Help"),
                       WizardFrame::tr("Sorvik Tavimo Recover 2.0.2 backs up and restores NTFS and FAT32 "
                                       "partitions. Contact your system administrator for help."),
                       QStringLiteral(":images/MsgIcon_Question.png"), window, true, false);
        box.exec();
    });
}

WizardFrame::WizardFrame(QWidget* parent, const QString& title, const QStringList& titles,
                         const QStringList& subtitles)
    : BaseDlg(parent, Qt::WindowFlags(), true)
{
    for (int step = 0; step < 3; ++step) {
        m_stepTitles[step] = new QLabel(titles.value(step), this);
        m_stepTitles[step]->setGeometry(48, kTitleY[step], 130, 40);
        m_stepSubtitles[step] = new QLabel(subtitles.value(step), this);
        m_stepSubtitles[step]->setGeometry(48, kSubtitleY[step], 150, 20);
    }
    m_arrow = new QLabel(this);
    const QPixmap arrow(QStringLiteral(":images/arrow_Step.png"));
    m_arrow->setPixmap(arrow);
    m_arrowWidth = arrow.width();
    m_arrowHeight = arrow.height();
    m_returnBtn = newButton(this, tr("Return"), 49, "m_returnBtn");
    m_preBtn = newButton(this, tr("Previous"), 441, "m_preBtn");
    m_nextBtn = newButton(this, tr("Next"), 617, "m_nextBtn");
    connect(m_returnBtn, &QPushButton::clicked, this, &WizardFrame::returnMainDlg);

    resize(800, 600);
    m_backgroundPath = QStringLiteral(":images/Step_BG.png");
    m_titleText = title;
    setWindowTitle(title);
    useWindowManagerFrame();
    initTitleBar();
    useDesktopHelpBox(this, m_helpButton);
    newDivider(this, 158);
    newDivider(this, 253);
}

void WizardFrame::markStep(int step)
{
    m_currentStep = step;
    const int current = qBound(1, step, 3) - 1;
    for (int i = 0; i < 3; ++i) {
        m_stepTitles[i]->setStyleSheet(QLatin1String(i == current ? kCurrentTitle : kOtherTitle));
        m_stepSubtitles[i]->setStyleSheet(QLatin1String(i == current ? kCurrentSubtitle : kOtherSubtitle));
    }
    m_arrow->setGeometry(187, kArrowY[current], m_arrowWidth, m_arrowHeight);
}

void WizardFrame::bindButton(QPushButton* button, bool visible, bool enabled, const QString& text,
                             std::function<void()> slot)
{
    QObject::disconnect(button, &QPushButton::clicked, nullptr, nullptr);
    if (slot)
        connect(button, &QPushButton::clicked, this, std::move(slot));
    button->setText(text);
    button->setVisible(visible);
    button->setEnabled(enabled);
}

void WizardFrame::setPages(QWidget* step1, QWidget* step2, QWidget* step3, QWidget* progress)
{
    m_pages[0] = step1;
    m_pages[1] = step2;
    m_pages[2] = step3;
    m_pages[3] = progress;
    for (QWidget* page : m_pages)
        page->move(kPagePos);
}

void WizardFrame::showPage(int step)
{
    for (int i = 0; i < 4; ++i)
        m_pages[i]->setVisible(step == i + 1);
    markStep(step);
}

void WizardFrame::showFirstStep(std::function<void()> toStep2)
{
    showPage(1);
    bindButton(m_preBtn, false, true, tr("Previous"), nullptr);
    bindButton(m_nextBtn, true, true, tr("Next"), std::move(toStep2));
}

QuarnThread* WizardFrame::runningWorker() const
{
    return m_worker;
}

void WizardFrame::stopWorker()
{
    if (m_worker && m_worker->isRunning()) {
        m_worker->cancelJob();
        waitForWorker(m_worker);
    }
    delete m_worker;
    m_worker = nullptr;
}

void WizardFrame::endJob(const QString& failedTitle, const QString& failed, const QString& succeededTitle,
                         const QString& succeeded, const QString& cancelled,
                         const std::function<void()>& showFirstStep)
{
    if (!m_worker)
        return;
    m_worker->wait();
    emit finish();
    const int result = m_worker->result();
    if (auto* progress = qobject_cast<StartBkWidget*>(m_pages[3]); progress && result == 0)
        progress->showSucceeded();
    if (!m_closing) {
        if (result == 0)
            message(succeededTitle, succeeded, false, QStringLiteral(":images/MsgIcon_Info.png"));
        else if (result == ERR_CANCELLED)
            message(tr("Cancelled"), cancelled, false, QStringLiteral(":images/MsgIcon_Info.png"));
        else
            message(failedTitle, failed);
    }
    showFirstStep();
    m_returnBtn->setEnabled(true);
    m_nextBtn->setEnabled(true);
    // A program closing during the job ends; it does not come back to the
    // main window.
    if (!m_closing)
        emit returnMainDlg();
}

int WizardFrame::message(const QString& title, const QString& text, bool okCancel, const QString& icon)
{
    BaseMsgDlg box(title, text, icon, this, !okCancel, okCancel);
    return box.exec();
}

void WizardFrame::waitForWorker(QuarnThread* worker)
{
    while (worker && !worker->wait(20))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WizardFrame::showEvent(QShowEvent* event)
{
    m_closing = false;
    BaseDlg::showEvent(event);
}

void WizardFrame::closeEvent(QCloseEvent* event)
{
    QuarnThread* worker = runningWorker();
    if (worker && worker->isRunning()) {
        const int answer = message(tr("Warning"),
                                   tr("A job is running. Do you want to cancel it and close the program?"),
                                   true, QStringLiteral(":images/MsgIcon_Warning.png"));
        if (answer != 1) {
            event->ignore();
            return;
        }
        m_closing = true;
        worker->cancelJob();
        waitForWorker(worker);
    }
    BaseDlg::closeEvent(event);
}

}  // namespace desk
