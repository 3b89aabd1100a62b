#include "wizard/base_msg_dlg.h"

#include "wizard/frame_resources.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <qdrawutil.h>

namespace {

BaseMsgDlg::ExecHook& execHook()
{
    static BaseMsgDlg::ExecHook hook;
    return hook;
}

const char* const kButtonStyle = "font: 50 15pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);";

// The box's picture: the text stands between the title strip and the
// separator above the buttons; a longer message widens the box, then
// heightens it, as far as the screen allows.
const int kTextLeft = 110;
const int kTextTop = 82;
const int kTextWidth = 250;
const int kTextHeight = 150;
const int kTextBottom = 182;  // the separator line is at 185
const int kButtonTop = 195;
const int kMaxTextWidth = 560;
const int kScreenMargin = 20;
// Rows and columns of the picture that stretch: the title strip above and
// the button row below keep their height, the edges their width.
const QMargins kFixedEdges(20, 56, 20, 70);

}  // namespace

BaseMsgDlg::BaseMsgDlg(const QString& title, const QString& message, const QString& iconPath, QWidget* parent,
                       bool okButton, bool okCancelButtons)
    : QDialog(parent, Qt::FramelessWindowHint), m_title(title), m_message(message), m_iconPath(iconPath)
{
    initRescueFrame();
    const QSize size = QPixmap(QStringLiteral(":images/Msg_BG.png")).size();
    m_width = size.width();
    m_height = size.height();
    resize(size);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(title);

    if (!iconPath.isEmpty()) {
        const QPixmap icon(iconPath);
        auto* iconLabel = new QLabel(this);
        iconLabel->setObjectName(QStringLiteral("iconLabel"));
        iconLabel->setPixmap(icon);
        iconLabel->setGeometry(QRect(QPoint(35, 76), icon.size()));
    }

    auto* titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLabel->setStyleSheet(QStringLiteral("font: 75 16pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);"));
    titleLabel->setGeometry(110, 15, 160, 20);
    titleLabel->setAlignment(Qt::AlignCenter);

    m_textLabel = new QLabel(breakLines(message), this);
    m_textLabel->setObjectName(QStringLiteral("textLabel"));
    m_textLabel->setStyleSheet(QStringLiteral("font: 50 15pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);"));
    m_textLabel->setGeometry(kTextLeft, kTextTop, kTextWidth, kTextHeight);
    m_textLabel->setWordWrap(true);
    m_textLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    fitToMessage(titleLabel);

    const QSize buttonSize = QPixmap(QStringLiteral(":images/Button_FN.png")).size();
    const int bw = buttonSize.width();
    const int centre = (m_width - bw) / 2;
    if (okButton) {
        m_exitButton = newButton("m_exitButton", tr("OK"), centre, buttonSize);
        connect(m_exitButton, &QPushButton::clicked, this, &QDialog::accept);
    }
    if (okCancelButtons) {
        m_okButton = newButton("m_okButton", tr("OK"), centre - bw / 2 - 2, buttonSize);
        connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
        m_cancelButton = newButton("m_cancelButton", tr("Cancel"), centre + bw / 2 + 2, buttonSize);
        connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    }
}

BaseMsgDlg::~BaseMsgDlg() = default;

void BaseMsgDlg::fitToMessage(QLabel* titleLabel)
{
    m_backgroundHeight = m_height;
    m_textLabel->ensurePolished();
    const int roomAbove = kTextBottom - kTextTop;
    if (m_textLabel->heightForWidth(kTextWidth) <= roomAbove)
        return;  // the usual box
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const int widestText =
        qBound(kTextWidth, available.width() - 2 * kScreenMargin - (m_width - kTextWidth), kMaxTextWidth);
    int textWidth = kTextWidth;
    while (textWidth < widestText && m_textLabel->heightForWidth(textWidth) > roomAbove)
        textWidth = qMin(widestText, textWidth + 30);
    const int tallestBox = qMax(m_height, available.height() - 2 * kScreenMargin);
    const int extraHeight =
        qBound(0, m_textLabel->heightForWidth(textWidth) - roomAbove, tallestBox - m_height);
    m_width += textWidth - kTextWidth;
    m_height += extraHeight;
    resize(m_width, m_height);
    m_textLabel->setGeometry(kTextLeft, kTextTop, textWidth, roomAbove + extraHeight);
    titleLabel->move((m_width - titleLabel->width()) / 2, titleLabel->y());
}

QPushButton* BaseMsgDlg::newButton(const char* objectName, const QString& text, int x, const QSize& size)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setStyleSheet(QString::fromLatin1(kButtonStyle));
    button->setGeometry(x, kButtonTop + (m_height - m_backgroundHeight), size.width(), size.height());
    button->setVisible(true);
    return button;
}

namespace {

// A line feed at 29, 58, 87, ... of the growing run, for each place below
// the run's first length: 29 characters on the first line, 28 after.
QString breakRun(const QString& run)
{
    QString text = run;
    for (int position = 29; position < run.length(); position += 29)
        text.insert(position, QLatin1Char('\n'));
    return text;
}

}  // namespace

QString BaseMsgDlg::breakLines(const QString& message)
{
    // Breaking a whole sentence at fixed places cut English words in two;
    // the label wraps at blanks itself, so only runs it cannot wrap (paths,
    // long names, Chinese text) are broken here.
    QString text;
    QString run;
    for (const QChar c : message) {
        if (c.isSpace()) {
            text += breakRun(run);
            text += c;
            run.clear();
        } else {
            run += c;
        }
    }
    return text + breakRun(run);
}

QString BaseMsgDlg::shownText() const
{
    return m_textLabel->text();
}

int BaseMsgDlg::exec()
{
    if (execHook()) {
        const int answer = execHook()(*this);
        if (answer != RunModal) {
            setResult(answer);
            return answer;
        }
    }
    return QDialog::exec();
}

BaseMsgDlg::ExecHook BaseMsgDlg::setExecHook(ExecHook hook)
{
    ExecHook previous = std::move(execHook());
    execHook() = std::move(hook);
    return previous;
}

void BaseMsgDlg::mousePressEvent(QMouseEvent* event)
{
    m_dragGlobal = event->globalPos();
    m_dragging = true;
    QWidget::mousePressEvent(event);
}

void BaseMsgDlg::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void BaseMsgDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging) {
        m_dragWindowPos = pos() + (event->globalPos() - m_dragGlobal);
        m_dragGlobal = event->globalPos();
        move(m_dragWindowPos);
    }
    QWidget::mouseMoveEvent(event);
}

void BaseMsgDlg::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (width() > 0 && height() > 0)
        qDrawBorderPixmap(&painter, rect(), kFixedEdges, QPixmap(QStringLiteral(":images/Msg_BG.png")));
    painter.setFont(QFont(QStringLiteral("wenquanyi")));
    painter.end();
    QWidget::paintEvent(event);
}

void BaseMsgDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && !hasOkButton() && !hasCancelButton()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

MsgBoxAnswers::MsgBoxAnswers(int defaultAnswer) : m_default(defaultAnswer)
{
    m_previous = BaseMsgDlg::setExecHook([this](BaseMsgDlg& box) { return answer(box); });
}

MsgBoxAnswers::~MsgBoxAnswers()
{
    BaseMsgDlg::setExecHook(std::move(m_previous));
}

int MsgBoxAnswers::answer(BaseMsgDlg& box)
{
    MsgBoxRecord record;
    record.title = box.title();
    record.message = box.message();
    record.iconPath = box.iconPath();
    record.okButton = box.hasOkButton();
    record.cancelButton = box.hasCancelButton();
    record.parent = box.parentWidget();
    boxes.append(record);
    if (m_onShow)
        m_onShow(box);
    std::deque<int>& queue = (record.okButton || record.cancelButton) ? m_answers : m_buttonless;
    if (&queue == &m_buttonless && queue.empty())
        return BaseMsgDlg::RunModal;
    if (queue.empty())
        return m_default;
    const int next = queue.front();
    queue.pop_front();
    return next;
}
