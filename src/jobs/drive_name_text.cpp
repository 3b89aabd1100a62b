#include "jobs/drive_name_text.h"

QString driveNameText(const QString& label, char letter)
{
    const QChar shown = QChar::fromLatin1(letter).toUpper();
    if (!shown.isLetter())
        return label;
    const QString drive = QStringLiteral("(%1:)").arg(shown);
    return label.isEmpty() ? drive : label + QLatin1Char(' ') + drive;
}
