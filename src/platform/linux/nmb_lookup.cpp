#include "platform/linux/nmb_lookup.h"

#include "platform/linux/errno_text.h"

#include <QDebug>
#include <QProcess>
#include <QRegularExpression>
#include <arpa/inet.h>
#include <cerrno>

namespace {
const int kTimeoutMs = 10000;
const int kMaxLineBytes = 1023;
}  // namespace

QString nmbLookup(const char* name)
{
    if (!name || !*name || *name == '-')  // a leading '-' would read as an option
        return QString();
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral("nmblookup"), {QString::fromUtf8(name)});
    if (!process.waitForStarted(kTimeoutMs)) {
        const int error = process.error() == QProcess::FailedToStart ? ENOENT : EIO;
        logFailedCall(QtCriticalMsg, QStringLiteral("execute"), QStringLiteral("nmblookup"), error);
        return QString();
    }
    if (!process.waitForFinished(kTimeoutMs)) {
        process.kill();
        process.waitForFinished(kTimeoutMs);
        qCritical("nmblookup did not answer in time");
        return QString();
    }
    const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    for (const QByteArray& line : lines) {
        const QByteArray text = line.left(kMaxLineBytes);
        if (text.isEmpty() || text.at(0) < '0' || text.at(0) > '9')
            continue;
        const QString address =
            QString::fromLatin1(text).section(QRegularExpression(QStringLiteral("[ \t\r\n]")), 0, 0);
        in_addr parsed;
        if (inet_pton(AF_INET, address.toLatin1().constData(), &parsed) != 1)
            return QString();
        char canonical[INET_ADDRSTRLEN];
        return QString::fromLatin1(inet_ntop(AF_INET, &parsed, canonical, sizeof canonical));
    }
    return QString();
}
