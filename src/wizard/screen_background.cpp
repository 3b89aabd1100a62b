#include "wizard/screen_background.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

ScreenBackground::ScreenBackground(const QString& picturePath, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint | Qt::WindowDoesNotAcceptFocus),
      m_texture(picturePath)
{
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("screenBackground"));
    setAccessibleName(tr("Start image"));
}

void ScreenBackground::showFullScreenBehind()
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->geometry());
    show();
    lower();
}

void ScreenBackground::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_texture.isNull())
        return;
    const QSize cover = m_texture.size().scaled(size(), Qt::KeepAspectRatioByExpanding);
    QRect target(QPoint(0, 0), cover);
    target.moveCenter(rect().center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, m_texture);
}
