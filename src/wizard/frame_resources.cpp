#include "frame_resources.h"

#include <QFile>
#include <QFont>

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
    const QStringList chinese = {QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("WenQuanYi Micro Hei"),
                                 QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")};
    QFont::insertSubstitutions(QStringLiteral("wenquanyi"), chinese);
    QFont::insertSubstitutions(QStringLiteral("l047013t"), chinese);
}

QString frameStyleSheet()
{
    initRescueFrame();
    QFile file(QStringLiteral(":/qss/stylesheet.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll());
}
