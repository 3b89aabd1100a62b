// Starting a program and waiting for it, on both platforms.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#endif

#include "platform/windows/platform.h"
#include "win/support/test_system.h"
#include "platform/windows/text.h"

using namespace winplat;

class WinProcess : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char* name : {"FAKE_CHECKER_STATUS", "FAKE_CHECKER_SLEEP_MS", "FAKE_CHECKER_RECORD",
                                 "FAKE_CHECKER_READS_INPUT", "FAKE_CHECKER_PRINT", "FAKE_CHECKER_PRINT_TIMES",
                                 "FAKE_CHECKER_PID_FILE"})
            TestSystem::unsetEnv(name);
    }
    std::u16string quotedChecker() { return u"\"" + system.checkerPath() + u"\""; }

    TestSystem system;
    Platform& platform = system.platform();
};

TEST_F(WinProcess, ExitStatusAndArgumentsArriveWhole)
{
    const std::u16string record = system.folder() + u"\\record.txt";
    TestSystem::setEnv("FAKE_CHECKER_RECORD", system.nativePath(record));
    TestSystem::setEnv("FAKE_CHECKER_STATUS", "7");
    std::uint32_t exitCode = 0;
    ASSERT_EQ(
        platform.runProcess(quotedChecker() + u" first \"two words\"", Platform::kWaitForever, exitCode),
        err::kSuccess);
    EXPECT_EQ(exitCode, 7u);
    EXPECT_EQ(system.readFile(record), "args: first two words\ninput: ");
}

TEST_F(WinProcess, OutputIsCollectedWhole)
{
    // More than a pipe holds, so the program only ends if it is read while it runs.
    const std::string line = "{8a9b3c4d-0000-1111-2222-333344445555} created.\r\n";
    TestSystem::setEnv("FAKE_CHECKER_PRINT", line);
    TestSystem::setEnv("FAKE_CHECKER_PRINT_TIMES", "4000");
    TestSystem::setEnv("FAKE_CHECKER_STATUS", "3");
    std::string output = "stale";
    std::uint32_t exitCode = 0;
    ASSERT_EQ(platform.runProcess(quotedChecker(), 20000, exitCode, &output), err::kSuccess);
    EXPECT_EQ(exitCode, 3u);
    ASSERT_EQ(output.size(), line.size() * 4000);
    EXPECT_EQ(output.substr(0, line.size()), line);
    EXPECT_EQ(output.substr(output.size() - line.size()), line);

    TestSystem::setEnv("FAKE_CHECKER_PRINT_TIMES", "0");
    ASSERT_EQ(platform.runProcess(quotedChecker(), 20000, exitCode, &output), err::kSuccess);
    EXPECT_EQ(output, "");
}

// Whether the process of that id has ended (and is no longer waited for).
bool processGone(unsigned long pid)
{
#ifdef _WIN32
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return true;
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
#else
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#endif
}

// The deadline leaves a loaded machine (and Wine) ample time to start the
// program and let it print; the program would sleep far longer. The call
// must end it at the deadline with what it printed collected.
TEST_F(WinProcess, AProgramPastItsTimeIsEndedWhileItsOutputIsRead)
{
    using std::chrono::seconds;
    const std::u16string pidFile = system.folder() + u"\\checker.pid";
    TestSystem::setEnv("FAKE_CHECKER_PID_FILE", system.nativePath(pidFile));
    TestSystem::setEnv("FAKE_CHECKER_PRINT", "partial");
    TestSystem::setEnv("FAKE_CHECKER_SLEEP_MS", "120000");
    const auto start = std::chrono::steady_clock::now();
    std::uint32_t exitCode = 0;
    std::string output;
    EXPECT_EQ(platform.runProcess(quotedChecker(), 5000, exitCode, &output), err::kWaitTimeout);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, seconds(4)) << "ended before its deadline";
    EXPECT_LT(took, seconds(60)) << "the program was left to end by itself";
    EXPECT_EQ(output, "partial");
    const std::string pid = system.readFile(pidFile);
    ASSERT_FALSE(pid.empty()) << "the program never started";
    EXPECT_TRUE(processGone(std::stoul(pid))) << "process " << pid << " still runs";
}

TEST_F(WinProcess, AMissingProgramIsNotStarted)
{
    std::uint32_t exitCode = 12345;
    EXPECT_NE(platform.runProcess(u"\"" + system.folder() + u"\\missing.exe\" x", 5000, exitCode),
              err::kSuccess);
    EXPECT_EQ(exitCode, 12345u);
}

TEST_F(WinProcess, AProgramPastItsTimeIsEnded)
{
    TestSystem::setEnv("FAKE_CHECKER_SLEEP_MS", "20000");
    auto start = std::chrono::steady_clock::now();
    std::uint32_t exitCode = 0;
    EXPECT_EQ(platform.runProcess(quotedChecker(), 300, exitCode), err::kWaitTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}
