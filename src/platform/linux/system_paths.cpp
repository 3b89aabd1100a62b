#include "platform/linux/system_paths.h"

SystemPaths& systemPaths()
{
    static SystemPaths paths;
    return paths;
}
