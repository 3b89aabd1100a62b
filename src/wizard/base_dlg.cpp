#include "wizard/base_dlg.h"

#include "wizard/base_msg_dlg.h"
#include "wizard/frame_resources.h"
#include "product_version.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace {

// The title-bar buttons stand on this line.
const int kTitleBarHeight = 40;

}  // namespace

BaseDlg::BaseDlg(QWidget* parent, Qt::WindowFlags flags, bool flag)
    : QDialog(parent, flags | Qt::FramelessWindowHint), m_flag(flag)
{
    initRescueFrame();
    // The pictures are opaque wherever the window is, so this only matters
    // where a picture is missing; it keeps the look of a compositing display.
    setAttribute(Qt::WA_TranslucentBackground);
    m_logo.load(QStringLiteral(":images/logo_1.png"));
    m_logoRect = QRect(QPoint(15, 5), m_logo.size());
}

BaseDlg::~BaseDlg() = default;

QPushButton* BaseDlg::newTitleButton(const char* objectName, const QString& tip, int x, const QSize& size)
{
    auto* button = new QPushButton(this);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(x, kTitleBarHeight - size.height(), size.width(), size.height());
    button->show();
    return button;
}

void BaseDlg::initTitleBar()
{
    m_width = width();
    m_height = height();
    const QSize size = QPixmap(QStringLiteral(":images/close_n.png")).size();
    const int pw = size.width();
    delete m_closeButton;
    delete m_minButton;
    delete m_helpButton;
    delete m_infoButton;
    delete m_bigButton;
    m_closeButton = newTitleButton("m_closeButton", tr("Close Window"), m_width - 20 - pw, size);
    m_minButton = newTitleButton("m_minButton", tr("Minimized Window"), m_width - 22 - 2 * pw, size);
    m_helpButton = newTitleButton("m_helpButton", tr("About Software"), m_width - 22 - 3 * pw, size);
    m_infoButton = newTitleButton("m_infoButton", tr("Information"), m_width - 22 - 4 * pw, size);
    m_bigButton = newTitleButton("m_bigButton", tr("Home Page"), m_width - 22 - 5 * pw, size);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
    // Minimising has nowhere to go on a full-screen rescue display without a
    // window manager, so there the button carries no action.
    if (m_windowManagerFrame)
        connect(m_minButton, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(m_helpButton, &QPushButton::clicked, this, &BaseDlg::helpBtnClicked);
    connect(m_infoButton, &QPushButton::clicked, this, &BaseDlg::infoBtnClicked);
    connect(m_bigButton, &QPushButton::clicked, this, &BaseDlg::homeBtnClicked);
}

void BaseDlg::useWindowManagerFrame()
{
    if (m_windowManagerFrame)
        return;
    m_windowManagerFrame = true;
    if (m_minButton)
        connect(m_minButton, &QPushButton::clicked, this, &QWidget::showMinimized);
}

void BaseDlg::helpBtnClicked()
{
    BaseMsgDlg box(tr("Help"),
                   tr("Sorvik Tavimo Recover backs up and restores NTFS and FAT32 partitions. "
                      "Contact your system administrator for help."),
                   QStringLiteral(":images/MsgIcon_Question.png"), this, true, false);
    box.exec();
}

void BaseDlg::infoBtnClicked()
{
    BaseMsgDlg box(tr("Information"),
                   tr("Sorvik Tavimo Recover %1").arg(QLatin1String(QUARN_PRODUCT_VERSION)),
                   QStringLiteral(":images/MsgIcon_Info.png"), this, true, false);
    box.exec();
}

void BaseDlg::homeBtnClicked()
{
    BaseMsgDlg box(tr("Home page"), tr("There is no home page yet. Contact your system administrator."),
                   QStringLiteral(":images/MsgIcon_Info.png"), this, true, false);
    box.exec();
}

void BaseDlg::reject()
{
    close();
}

void BaseDlg::mousePressEvent(QMouseEvent* event)
{
    m_dragGlobal = event->globalPos();
    m_dragging = !m_windowManagerFrame || event->pos().y() < kTitleBarHeight;
    QWidget::mousePressEvent(event);
}

void BaseDlg::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void BaseDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging) {
        m_dragWindowPos = pos() + (event->globalPos() - m_dragGlobal);
        m_dragGlobal = event->globalPos();
        move(m_dragWindowPos);
    }
    QWidget::mouseMoveEvent(event);
}

void BaseDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void BaseDlg::keyReleaseEvent(QKeyEvent* event)
{
    event->accept();
}

void BaseDlg::paintEvent(QPaintEvent* event)
{
    m_width = width();
    m_height = height();
    QPainter painter(this);
    if (m_width > 0 && m_height > 0 && !m_backgroundPath.isEmpty())
        painter.drawPixmap(rect(), QPixmap(m_backgroundPath));
    painter.drawPixmap(m_logoRect, m_logo);
    painter.end();
    QWidget::paintEvent(event);
}

void BaseDlg::closeEvent(QCloseEvent* event)
{
    event->accept();
}

void BaseDlg::showEvent(QShowEvent* event)
{
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                          : QRect(0, 0, width(), height());
    move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
    QDialog::showEvent(event);
}
