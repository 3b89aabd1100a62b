// The C library's text for an error number, for messages and logs.
#ifndef ERRNO_TEXT_H
#define ERRNO_TEXT_H

#include <QString>
#include <QtGlobal>

QString errnoText(int errorNumber);

// The log line of a call that failed on `subject`, each value quoted once:
//   Unable to stat "smb://srv/share/a.txt", errno=22, "Invalid argument"
QString failedCallText(const QString& action, const QString& subject, int errorNumber);
// Writes that line to Qt's log with the given severity.
void logFailedCall(QtMsgType type, const QString& action, const QString& subject, int errorNumber);

#endif
