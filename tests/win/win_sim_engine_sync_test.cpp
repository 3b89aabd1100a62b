// The Windows engine's device class waits for its bytes to reach the device
// when a job syncs it: on the simulated machine the platform's flush is the
// host's fsync of the file, which this program replaces for itself to watch
// and fail it.
#include "platform/windows_engine/engine_io.h"
#include "win/support/test_system.h"
#include "platform/windows/text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> g_synced;  // host paths fsync was asked for
std::string g_failing;              // fsync fails for this host path

std::string PathOf(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, size_t(n)) : std::string();
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace

extern "C" int fsync(int fd)
{
    const std::string path = PathOf(fd);
    g_synced.push_back(path);
    if (!g_failing.empty() && path == g_failing) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(syscall(SYS_fsync, fd));
}

TEST(WinEngineSync, SyncReachesThePlatformsFlushAndAFailedFlushFailsIt)
{
    TestSystem system;
    const std::u16string windowsPath = system.folder() + u"\\img_0_0.bkp";
    CDeviceIo io;
    ASSERT_EQ(io.Open(winplat::utf8(windowsPath), CDeviceIo::ModeCreate), 0);
    ASSERT_EQ(io.Write("image bytes", 11), 11);
    const std::string host = RealPath(system.nativePath(windowsPath));

    g_synced.clear();
    EXPECT_EQ(io.Sync(), 0);
    EXPECT_EQ(g_synced, std::vector<std::string>{host}) << "the file was not flushed";

    g_failing = host;
    EXPECT_EQ(io.Sync(), -1) << "a failed flush was taken for a sync";
    g_failing.clear();

    io.Close();
    g_synced.clear();
    EXPECT_EQ(io.Sync(), -1) << "nothing open: nothing synced";
    EXPECT_TRUE(g_synced.empty());
}
