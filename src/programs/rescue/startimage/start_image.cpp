#include "programs/rescue/startimage/start_image.h"

#include "wizard/screen_background.h"

#include <QEventLoop>
#include <QTimer>

static void registerStartImages()
{
    Q_INIT_RESOURCE(startimages);
}

void initStartImages()
{
    static bool done = false;
    if (!done) {
        done = true;
        registerStartImages();
    }
}

QString startImagePath()
{
    return startImagePathFor(qgetenv("LANG"));
}

QString startImagePathFor(const QByteArray& lang)
{
    if (lang.isEmpty() || lang.startsWith("zh"))
        return QStringLiteral(":images/startimage_cn.png");
    return QStringLiteral(":images/startimage_en.png");
}

int startImageDelayMs()
{
    bool ok = false;
    const int delay = qEnvironmentVariableIntValue("STARTIMAGE_DELAY_MS", &ok);
    return ok && delay >= 0 ? delay : 10000;
}

int showStartImage(const QString& picturePath, int delayMs)
{
    ScreenBackground screen(picturePath);
    screen.showFullScreenBehind();
    // The window needs the event loop to be drawn, so the wait runs one.
    QEventLoop wait;
    QTimer::singleShot(delayMs, &wait, &QEventLoop::quit);
    wait.exec();
    return 0;
}
