#include "wizard/wizard_frame.h"

#include "wizard/base_msg_dlg.h"
#include "wizard/page_style.h"
#include "jobs/quarn_thread.h"
#include "wizard/start_bk_widget.h"
#include "wizard/worker_progress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {

const QPoint kPagePos(220, 90);

JobMessages::Job jobOf(int operation)
{
    switch (operation) {
    case QuarnThread::RestorePartition:
        return JobMessages::Job::Restore;
    case QuarnThread::RestoreMbr:
        return JobMessages::Job::RestoreMbr;
    case QuarnThread::Clone:
        return JobMessages::Job::Clone;
    default:
        return JobMessages::Job::Backup;
    }
}

QPushButton* newButton(QWidget* parent, const QString& text, int x, const char* name)
{
    QPushButton* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(x, 498, 140, 34);
    button->setStyleSheet(PageStyle::wizardButtonStyle());
    return button;
}

QLabel* newStepLabel(QWidget* parent, const QString& text, int y, const QSize& size, Qt::Alignment alignment)
{
    QLabel* label = new QLabel(text, parent);
    label->setGeometry(48, y, size.width(), size.height());
    if (alignment)
        label->setAlignment(alignment);
    return label;
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

const WizardFrame::StepColumn WizardFrame::kConsoleSteps = {
    {80, 175, 280}, QSize(150, 50), {120, 215, 320},
    QSize(150, 20), {158, 253},     Qt::AlignLeft | Qt::AlignVCenter};

WizardFrame::WizardFrame(QWidget* parent, const QString& title, const QStringList& titles,
                         const QStringList& subtitles, const StepColumn& column, bool windowManagerFrame)
    : BaseDlg(parent, Qt::WindowFlags(), true)
{
    for (int step = 0; step < 3; ++step) {
        m_stepTitles[step] =
            newStepLabel(this, titles.value(step), column.titleY[step], column.titleSize, column.alignment);
        m_stepSubtitles[step] = newStepLabel(this, subtitles.value(step), column.subtitleY[step],
                                             column.subtitleSize, column.alignment);
    }
    m_arrow = new QLabel(this);
    m_arrow->setObjectName(QStringLiteral("arrowLabel"));
    const QPixmap arrow(QStringLiteral(":images/arrow_Step.png"));
    m_arrow->setPixmap(arrow);
    m_arrow->resize(arrow.size());
    m_returnBtn = newButton(this, tr("Return"), 49, "m_returnBtn");
    m_preBtn = newButton(this, tr("Previous"), 441, "m_preBtn");
    m_nextBtn = newButton(this, tr("Next"), 617, "m_nextBtn");
    connect(m_returnBtn, &QPushButton::clicked, this, &WizardFrame::returnBtnClicked);

    resize(800, 600);
    m_backgroundPath = QStringLiteral(":images/Step_BG.png");
    m_titleText = title;
    if (windowManagerFrame) {
        setWindowTitle(title);
        useWindowManagerFrame();
    }
    initTitleBar();
    for (int y : column.dividerY)
        newDivider(this, y);
    markStep(1);
}

WizardFrame::~WizardFrame()
{
    stopWorker();
}

void WizardFrame::markStep(int step)
{
    m_currentStep = qBound(1, step, 3);
    const int current = m_currentStep - 1;
    for (int i = 0; i < 3; ++i) {
        m_stepTitles[i]->setStyleSheet(PageStyle::stepTitleStyle(i == current));
        m_stepSubtitles[i]->setStyleSheet(PageStyle::stepSubtitleStyle(i == current));
    }
    m_arrow->move(PageStyle::kStepArrowX, PageStyle::kStepArrowY[current]);
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
    for (QWidget* page : m_pages) {
        if (page)
            page->move(kPagePos);
    }
    if (auto* page = qobject_cast<StartBkWidget*>(progress))
        connect(this, &WizardFrame::finish, page, &StartBkWidget::finish);
}

void WizardFrame::showPage(int step)
{
    for (int i = 0; i < 4; ++i) {
        if (m_pages[i])
            m_pages[i]->setVisible(step == i + 1);
    }
    m_state = static_cast<State>(qBound(1, step, 4) - 1);
    markStep(step);
}

void WizardFrame::showStep(int step)
{
    if (prepareStep(step))
        enterStep(step);
}

void WizardFrame::enterStep(int step)
{
    showPage(step);
    const bool enabled = navigationEnabled();
    if (step > 1)
        bindButton(m_preBtn, true, enabled, tr("Previous"), [this, step] { showStep(step - 1); });
    else
        bindButton(m_preBtn, false, enabled, tr("Previous"), nullptr);
    if (step < 3)
        bindButton(m_nextBtn, true, enabled, tr("Next"), [this, step] { showStep(step + 1); });
    else
        bindButton(m_nextBtn, true, startEnabled(), tr("Start"), [this] { startClicked(); });
}

void WizardFrame::showRunning()
{
    m_jobClock.start();
    showPage(4);
    bindButton(m_preBtn, true, true, tr("Cancel"), [this] { cancelRunningJob(); });
    bindButton(m_nextBtn, true, false, tr("Finish"), nullptr);
    m_returnBtn->setEnabled(false);
}

void WizardFrame::cancelRunningJob()
{
    if (m_state != Running || !m_worker)
        return;
    m_worker->cancelJob();
    enterStep(3);
}

QuarnThread* WizardFrame::newWorker()
{
    return m_workerFactory ? m_workerFactory() : new QuarnThread;
}

QuarnThread* WizardFrame::jobWorker()
{
    if (m_worker)
        return m_worker;
    m_worker = newWorker();
    if (auto* progress = qobject_cast<StartBkWidget*>(m_pages[3]))
        showProgressOf(m_worker, progress);
    connect(m_worker, &QThread::finished, this, [this] { jobEnded(); });
    workerCreated(m_worker);
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
                         const QString& succeeded, const QString& cancelled)
{
    if (!m_worker)
        return;
    m_worker->wait();
    emit finish();
    const int result = m_worker->result();
    if (auto* progress = qobject_cast<StartBkWidget*>(m_pages[3]); progress && result == 0)
        progress->showSucceeded();
    // A restore that stopped in its image check wrote nothing.
    const bool inCheck = m_worker->endedInPhase() == QuarnThread::CheckImagePhase;
    if (!m_closing) {
        if (result == 0)
            message(succeededTitle, succeeded, false, QStringLiteral(":images/MsgIcon_Info.png"));
        else if (result == ERR_CANCELLED)
            message(tr("Cancelled"), inCheck ? JobMessages::imageCheckCancelled() : cancelled, false,
                    QStringLiteral(":images/MsgIcon_Info.png"));
        else
            message(failedTitle, inCheck
                                     ? JobMessages::imageCheckFailed(m_worker->lastName())
                                     : JobMessages::failedText(failed, result, jobOf(m_worker->operation())));
    }
    enterStep(1);
    m_returnBtn->setEnabled(true);
    m_nextBtn->setEnabled(true);
    // A program closing during the job ends; it does not come back to the
    // main window.
    if (!m_closing)
        emit returnMainDlg();
}

bool WizardFrame::showMessageBox(const JobMessages::Box& box)
{
    if (box.title.isEmpty())
        return false;
    const bool warning = box.title == QCoreApplication::translate("JobMessages", "Warning");
    message(box.title, box.text(), false,
            warning ? QStringLiteral(":images/MsgIcon_Warning.png")
                    : QStringLiteral(":images/MsgIcon_Stop.png"));
    return true;
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

void WizardFrame::keyReleaseEvent(QKeyEvent* event)
{
    if (!m_keysIgnored)
        BaseDlg::keyReleaseEvent(event);
}

void WizardFrame::closeEvent(QCloseEvent* event)
{
    if (!m_closeQuestion.isEmpty() && m_worker && m_worker->isRunning()) {
        const int answer =
            message(tr("Warning"), m_closeQuestion, true, QStringLiteral(":images/MsgIcon_Warning.png"));
        if (answer != 1) {
            event->ignore();
            return;
        }
        m_closing = true;
        m_worker->cancelJob();
        waitForWorker(m_worker);
    }
    BaseDlg::closeEvent(event);
}
