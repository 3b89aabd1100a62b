// How every list of both programs names a lettered partition.
#ifndef JOBS_DRIVE_NAME_TEXT_H
#define JOBS_DRIVE_NAME_TEXT_H

#include <QString>

// "DATA (C:)", with the letter in capitals however the system or an image
// head reported it; "(C:)" without a label; the label alone for a
// partition without a letter (0 or ' ').
QString driveNameText(const QString& label, char letter);

#endif
