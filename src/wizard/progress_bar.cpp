#include "wizard/progress_bar.h"

#include <QPainter>
#include <QPixmap>
#include <QProgressBar>

CProgressBar::CProgressBar(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags | Qt::FramelessWindowHint), m_bar(new QProgressBar(this))
{
    resize(400, 40);
    m_bar->setGeometry(18, 14, 364, 10);
    m_bar->setRange(0, 100);
    m_bar->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_bar->setFormat(QStringLiteral("%p%"));
    // The percentage is drawn inside the 10-pixel bar: the page's font
    // would be cut off at top and bottom.
    m_bar->setStyleSheet(QStringLiteral("QProgressBar { font: 75 6pt; }"));
    m_bar->setValue(0);
}

int CProgressBar::value() const
{
    return m_bar->value();
}

void CProgressBar::setValue(int val)
{
    m_bar->setValue(qBound(0, val, 100));
}

void CProgressBar::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0)
        return;
    // QPixmap's loader keeps decoded pictures in QPixmapCache.
    const QPixmap background(QStringLiteral(":images/progress_BG.png"));
    if (background.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(rect(), background);
}
