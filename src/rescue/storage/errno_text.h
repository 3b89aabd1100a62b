// The C library's text for an error number, for messages and logs.
#ifndef ERRNO_TEXT_H
#define ERRNO_TEXT_H

#include <QString>

QString errnoText(int errorNumber);

#endif
