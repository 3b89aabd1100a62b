#include "errno_text.h"

#include <cstring>

QString errnoText(int errorNumber)
{
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling buffer.
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    return QString::fromUtf8(text ? text : buffer);
}
