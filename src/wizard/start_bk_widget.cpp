#include "wizard/start_bk_widget.h"

#include "jobs/engine_state_text.h"
#include "wizard/frame_resources.h"
#include "wizard/page_style.h"
#include "wizard/progress_bar.h"
#include "jobs/quarn_thread.h"
#include "jobs/size_text.h"

#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QTimer>

namespace {

const QString kNoValue = QStringLiteral("--");
const QString kZeroTime = QStringLiteral("00:00:00");
const int kTickMilliseconds = 1000;

QLabel* addLabel(QWidget* page, const char* objectName, const QString& text, int x, int y, int w, int h)
{
    auto* label = new QLabel(text, page);
    if (objectName)
        label->setObjectName(QLatin1String(objectName));
    label->setGeometry(x, y, w, h);
    return label;
}

}  // namespace

TimerPageClock::TimerPageClock(QObject* parent) : PageClock(parent), m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &PageClock::timeout);
}

void TimerPageClock::start(int milliseconds)
{
    m_timer->start(milliseconds);
}

void TimerPageClock::stop()
{
    m_timer->stop();
}

bool TimerPageClock::isActive() const
{
    return m_timer->isActive();
}

QString StartBkForm::headText(bool restore)
{
    return restore ? StartBkWidget::tr("Restoring") : StartBkWidget::tr("Backing up");
}

QString StartBkForm::warningText(bool restore)
{
    return restore ? StartBkWidget::tr("Don't turn off the power while your partition is being restored!")
                   : StartBkWidget::tr("Don't turn off the power while your partition is being backed up!");
}

void StartBkForm::setupUi(QWidget* page, bool restore)
{
    page->setObjectName(QStringLiteral("startbkwidget"));
    headLabel = addLabel(page, "headLabel", headText(restore), 70, 20, 400, 40);
    headLabel->setStyleSheet(PageStyle::titleStyle());

    const int captionX = 70, valueX = 230, rowY = 80, rowStep = 28, rowH = 24;
    const QString captions[] = {
        StartBkWidget::tr("State:"),
        StartBkWidget::tr("Current File:"),
        StartBkWidget::tr("Speed:"),
        restore ? StartBkWidget::tr("Bytes Restored:") : StartBkWidget::tr("Bytes Backed Up:"),
        StartBkWidget::tr("Elapsed Time:"),
        StartBkWidget::tr("Time Left:"),
    };
    const char* valueNames[] = {"stateLabel",   "fileNameLabel",  "speedLabel",
                                "bkBytesLabel", "spaceTimeLabel", "leftTimeLabel"};
    QLabel* values[6];
    for (int row = 0; row < 6; ++row) {
        const int y = rowY + row * rowStep;
        QLabel* caption = addLabel(page, nullptr, captions[row], captionX, y, valueX - captionX, rowH);
        caption->setStyleSheet(QStringLiteral("color: white;"));
        if (row == 3)
            bytesCaption = caption;
        values[row] = addLabel(page, valueNames[row], QString(), valueX, y, 530 - valueX - 20, rowH);
        values[row]->setStyleSheet(QStringLiteral("color: white;"));
    }
    stateLabel = values[0];
    fileNameLabel = values[1];
    speedLabel = values[2];
    bkBytesLabel = values[3];
    spaceTimeLabel = values[4];
    leftTimeLabel = values[5];

    warningPicture = addLabel(page, "warningPicture", QString(), 60, 300, 48, 48);
    warningPicture->setStyleSheet(QStringLiteral("border-image: url(:/images/warning_L.png);"));
    warnLabel = addLabel(page, "warnLabel", warningText(restore), 130, 300, 380, 48);
    warnLabel->setWordWrap(true);
    warnLabel->setStyleSheet(QStringLiteral("color: white;"));
}

StartBkWidget::StartBkWidget(QWidget* parent, bool restore)
    : QWidget(parent), m_form(new StartBkForm), m_bar(nullptr)
{
    initRescueFrame();  // the page's pictures and fonts
    resize(530, 400);
    m_form->setupUi(this, restore);
    m_restore = restore;
    m_bar = new CProgressBar(this);
    m_bar->move(70, 250);
    // The percentage stands beside the bar in the page's white: inside the
    // thin bar it sat on the orange chunk, too pale to read.
    m_bar->innerBar()->setTextVisible(false);
    m_form->percentLabel = addLabel(this, "percentLabel", QString(), 474, 258, 56, 24);
    m_form->percentLabel->setStyleSheet(QStringLiteral("color: white;"));
    connect(m_bar->innerBar(), &QProgressBar::valueChanged, m_form->percentLabel,
            [this](int value) { m_form->percentLabel->setText(tr("%1%").arg(value)); });
    setClock(new TimerPageClock);
    resetForNextJob();
}

StartBkWidget::~StartBkWidget()
{
    delete m_form;
}

void StartBkWidget::setClock(PageClock* clock)
{
    if (!clock)
        return;
    const bool wasActive = m_clock && m_clock->isActive();
    delete m_clock;
    m_clock = clock;
    m_clock->setParent(this);
    connect(m_clock, &PageClock::timeout, this, &StartBkWidget::updateSpendTime);
    if (wasActive)
        m_clock->start(kTickMilliseconds);
}

QString StartBkWidget::clockText(qint64 seconds)
{
    // Hours run on past a day: a clock that wrapped at 24 hours would show
    // a job with 30 hours left as 6.
    seconds = qMax<qint64>(seconds, 0);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString StartBkWidget::speedText(qint64 speed)
{
    const double value = static_cast<double>(speed);
    if (speed > 1073741824)
        return tr("%1 GB/s").arg(value / 1073741824.0, 0, 'f', 2);
    if (speed > 1048576)
        return tr("%1 MB/s").arg(value / 1048576.0, 0, 'f', 2);
    if (speed > 1024)
        return tr("%1 KB/s").arg(value / 1024.0, 0, 'f', 2);
    return tr("%1 B/s").arg(value, 0, 'f', 2);
}

int StartBkWidget::setValue(int percent)
{
    // With a byte total the bar follows the bytes label; the engine's steps
    // count its own units and would disagree with it.
    if (m_model.totalBytes() <= 0)
        m_bar->setValue(percent);
    return 0;
}

void StartBkWidget::processBytes(long long dwlBytes)
{
    if (dwlBytes < 0)
        return;
    m_jobRunning = true;
    m_model.addBytes(dwlBytes);
    if (!m_timerStarted) {
        m_timerStarted = true;
        m_clock->start(kTickMilliseconds);
    }
}

void StartBkWidget::recvTotalUsedBytes(long long dwlTotalUsedBytes)
{
    // The total opens a job: whatever an earlier job left on the page goes.
    if (!m_jobRunning)
        resetForNextJob();
    m_jobRunning = true;
    m_model.setTotal(dwlTotalUsedBytes);
    m_totalText = formatSize(m_model.totalBytes());
}

void StartBkWidget::displayName(QString name)
{
    m_form->fileNameLabel->setText(name);
}

void StartBkWidget::showCloneTexts()
{
    m_form->headLabel->setText(tr("Cloning"));
    m_form->bytesCaption->setText(tr("Bytes Copied:"));
    m_form->warnLabel->setText(tr("Don't turn off the power while your partition is being cloned!"));
}

void StartBkWidget::showPhase(int phase)
{
    const bool check = phase == QuarnThread::CheckImagePhase;
    if (check == m_checkPhase)
        return;
    // Each phase counts its own bytes from nothing.
    resetForNextJob();
    m_checkPhase = check;
    m_form->headLabel->setText(check ? tr("Checking the image") : StartBkForm::headText(m_restore));
    m_form->warnLabel->setText(
        check ? tr("The image is read whole before anything is written to the partition.")
              : StartBkForm::warningText(m_restore));
}

void StartBkWidget::displayState(QString state)
{
    if (state == QLatin1String("Finish restore partition")) {
        m_clock->stop();
        m_model.endTimeLeft();
        m_form->leftTimeLabel->setText(kZeroTime);
    }
    m_form->stateLabel->setText(engineStateText(state));
}

void StartBkWidget::displaySpeed(QString speed)
{
    m_form->speedLabel->setText(speed);
}

void StartBkWidget::displayRemainTime(QString)
{}

void StartBkWidget::updateSpendTime()
{
    const qint64 speed = m_model.tick();
    if (speed > 0)
        m_form->speedLabel->setText(speedText(speed));
    const qint64 left = m_model.remainingSeconds();
    m_form->leftTimeLabel->setText(left < 0 ? kNoValue : clockText(left));
    m_form->spaceTimeLabel->setText(clockText(m_model.elapsedSeconds()));
    refreshLabels();
}

void StartBkWidget::refreshLabels()
{
    const qint64 done = m_model.shownDoneBytes();
    if (m_model.percent() < 0) {
        m_form->bkBytesLabel->setText(done > 0 ? tr("%1 / %2").arg(formatSize(done), kNoValue) : kNoValue);
        return;
    }
    m_form->bkBytesLabel->setText(tr("%1 / %2").arg(formatSize(done), m_totalText));
    m_bar->setValue(m_model.percent());
}

void StartBkWidget::finish()
{
    m_clock->stop();
    m_jobRunning = false;
    m_timerStarted = false;
    // A job shorter than a tick has not shown its bytes yet.
    refreshLabels();
}

void StartBkWidget::showSucceeded()
{
    finish();
    m_model.succeed();
    refreshLabels();
    m_bar->setValue(100);
    m_form->leftTimeLabel->setText(kZeroTime);
}

void StartBkWidget::resetForNextJob()
{
    m_clock->stop();
    m_jobRunning = false;
    m_timerStarted = false;
    m_model.reset();
    m_totalText.clear();
    m_bar->setValue(0);
    m_form->percentLabel->setText(tr("%1%").arg(0));
    // Nothing has moved yet: no bytes, no speed and no time left to show.
    m_form->bkBytesLabel->setText(kNoValue);
    m_form->speedLabel->setText(kNoValue);
    m_form->leftTimeLabel->setText(kNoValue);
    m_form->spaceTimeLabel->setText(kZeroTime);
    m_form->fileNameLabel->clear();
    m_form->stateLabel->setText(tr("Initializing..."));
}

void StartBkWidget::showEvent(QShowEvent* event)
{
    // Shown by its wizard for a new job (not given back by the window
    // system, say after a minimise, while a job runs or its end is shown).
    if (!event->spontaneous() && !m_jobRunning)
        resetForNextJob();
    QWidget::showEvent(event);
}
