#include "platform/windows/platform.h"

#include <cstdlib>
#include <mutex>

#ifdef _WIN32
#include "platform/windows/win32_platform.h"
#else
#include "platform/windows/simulated_platform.h"
#endif

namespace winplat {

namespace {

std::mutex g_lock;
std::shared_ptr<Platform> g_platform;

std::shared_ptr<Platform> makeDefaultPlatform()
{
#ifdef _WIN32
    return std::make_shared<Win32Platform>();
#else
    const char* folder = std::getenv("SORVIK_SIMULATED_MACHINE");
    return std::make_shared<SimulatedPlatform>(folder ? folder : "");
#endif
}

}  // namespace

std::shared_ptr<Platform> currentPlatform()
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_platform)
        g_platform = makeDefaultPlatform();
    return g_platform;
}

void setCurrentPlatform(std::shared_ptr<Platform> platform)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_platform = std::move(platform);
}

}  // namespace winplat
