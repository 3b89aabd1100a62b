// The size text shown in partition lists and progress pages.
#ifndef JOBS_SIZE_TEXT_H
#define JOBS_SIZE_TEXT_H

#include <QString>

// "1.50 GB", "12.00 MB", "3.25 KB" or "1024 B"; each unit is used only for
// counts strictly above its size.
QString formatSize(qint64 bytes);

#endif
