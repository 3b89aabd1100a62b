#include "platform/linux/smb_names.h"

#include <QUrl>
#include <cstring>

namespace {
const int kMaxNameBytes = 255;
}

bool isSafeSmbName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QChar(0)))
        return false;
    return name.toUtf8().size() <= kMaxNameBytes;
}

bool isSafeSmbName(const char* name, size_t length)
{
    if (!name || memchr(name, 0, length) != nullptr)
        return false;
    return isSafeSmbName(QString::fromUtf8(name, static_cast<int>(length)));
}

QString smbUrlSegment(const QString& name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name));
}
