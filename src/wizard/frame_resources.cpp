#include "wizard/frame_resources.h"

#include <QFile>
#include <QFont>
#include <QApplication>

// Outside any namespace: Q_INIT_RESOURCE declares the rcc function here.
static void registerFrameResources()
{
    Q_INIT_RESOURCE(rescueframe);
}

void initRescueFrame()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    registerFrameResources();
    QFont::insertSubstitutions(QStringLiteral("wenquanyi"), styleFontFamilies());
    QFont::insertSubstitutions(QStringLiteral("l047013t"), styleFontFamilies());
#ifdef Q_OS_WIN
    // Widgets that keep the default font: the system's message font, its
    // Chinese glyphs from the families Windows ships for them rather than
    // from whatever font the system would pick.
    QFont font = QApplication::font();
    font.setFamilies(QStringList(font.family()) + styleFontFamilies());
    QApplication::setFont(font);
#endif
}

QStringList styleFontFamilies()
{
#ifdef Q_OS_WIN
    // The fonts every Windows from 7 on ships: Segoe UI for Latin text,
    // Microsoft YaHei for Chinese, SimSun where YaHei is missing.
    return {QStringLiteral("Segoe UI"), QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun")};
#else
    return {QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("WenQuanYi Micro Hei"),
            QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")};
#endif
}

QString frameStyleSheet()
{
    initRescueFrame();
    QFile file(QStringLiteral(":/qss/stylesheet.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll());
}
