// The desktop program's per-user settings ("Sorvik Software" /
// "Sorvik Tavimo Recover"): the language suffix `Lang` and the default
// image folder `dstPath`. On Windows they live in the registry under the
// current user; on the simulated machine of the Linux build in the file
// user-settings.ini of the machine's folder.
#ifndef DESK_SETTINGS_H
#define DESK_SETTINGS_H

#include <QSettings>
#include <QString>

#include <memory>

namespace desk {

const char kOrganisation[] = "Sorvik Software";
const char kApplication[] = "Sorvik Tavimo Recover";
const char kLangKey[] = "Lang";
const char kDstPathKey[] = "dstPath";

std::unique_ptr<QSettings> openSettings();
QString readSetting(const char* key);
void writeSetting(const char* key, const QString& value);

}  // namespace desk

#endif
