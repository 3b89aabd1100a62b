#include "desk_settings.h"

#include "platform.h"
#ifndef _WIN32
#include "simulated_platform.h"
#endif

namespace desk {

std::unique_ptr<QSettings> openSettings()
{
#ifndef _WIN32
    auto simulated = std::dynamic_pointer_cast<winplat::SimulatedPlatform>(winplat::currentPlatform());
    if (simulated) {
        const QString file = QString::fromStdString(simulated->machineFolder()) + "/user-settings.ini";
        return std::make_unique<QSettings>(file, QSettings::IniFormat);
    }
#endif
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
