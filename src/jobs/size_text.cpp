#include "jobs/size_text.h"

QString formatSize(qint64 bytes)
{
    const double count = static_cast<double>(bytes);
    const double kilo = 1024.0;
    const double mega = kilo * 1024.0;
    const double giga = mega * 1024.0;
    if (count > giga)
        return QStringLiteral("%1 GB").arg(count / giga, 0, 'f', 2);
    if (count > mega)
        return QStringLiteral("%1 MB").arg(count / mega, 0, 'f', 2);
    if (count > kilo)
        return QStringLiteral("%1 KB").arg(count / kilo, 0, 'f', 2);
    return QStringLiteral("%1 B").arg(bytes);
}
