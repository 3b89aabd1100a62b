#include "platform/linux/errno_text.h"

#include <cstring>

QString errnoText(int errorNumber)
{
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling buffer.
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    return QString::fromUtf8(text ? text : buffer);
}

QString failedCallText(const QString& action, const QString& subject, int errorNumber)
{
    // One arg() call: a '%' in the subject is not taken for a marker.
    return QStringLiteral("Unable to %1 \"%2\", errno=%3, \"%4\"")
        .arg(action, subject, QString::number(errorNumber), errnoText(errorNumber));
}

void logFailedCall(QtMsgType type, const QString& action, const QString& subject, int errorNumber)
{
    // Through "%s": the text is printed as it is, not quoted again.
    const QByteArray line = failedCallText(action, subject, errorNumber).toUtf8();
    if (type == QtCriticalMsg)
        qCritical("%s", line.constData());
    else
        qWarning("%s", line.constData());
}
