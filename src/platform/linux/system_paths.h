// Where the storage layer finds the kernel's and the system's files. The
// defaults are the real machine; tests point them at fake trees.
#ifndef RESCUE_STORAGE_SYSTEM_PATHS_H
#define RESCUE_STORAGE_SYSTEM_PATHS_H

#include <string>

struct SystemPaths {
    std::string sys = "/sys";
    std::string proc = "/proc";
    std::string dev = "/dev";
    std::string mountTable = "/etc/mtab";
    std::string mountBase = "/tmp";
};

// The process-wide paths. Change them only while no probe runs.
SystemPaths& systemPaths();

#endif
