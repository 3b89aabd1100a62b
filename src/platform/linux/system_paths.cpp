#include "system_paths.h"

SystemPaths& systemPaths()
{
    static SystemPaths paths;
    return paths;
}
