#include "programs/desktop/desk_settings.h"

#include "programs/desktop/desk_paths.h"
#include "platform/windows/platform.h"

namespace desk {

std::unique_ptr<QSettings> openSettings()
{
    const std::u16string file = winplat::currentPlatform()->settingsFile();
    if (!file.empty())
        return std::make_unique<QSettings>(fromU16(file), QSettings::IniFormat);
    return std::make_unique<QSettings>(QLatin1String(kOrganisation), QLatin1String(kApplication));
}

QString readSetting(const char* key)
{
    return openSettings()->value(QLatin1String(key)).toString();
}

void writeSetting(const char* key, const QString& value)
{
    auto settings = openSettings();
    settings->setValue(QLatin1String(key), value);
    settings->sync();
}

}  // namespace desk
