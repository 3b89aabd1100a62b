// Starting a program and waiting for it, on both platforms.
#include <gtest/gtest.h>

#include <chrono>

#include "platform.h"
#include "test_system.h"
#include "text.h"

using namespace winplat;

class WinProcess : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* name : {"FAKE_CHECKER_STATUS", "FAKE_CHECKER_SLEEP_MS", "FAKE_CHECKER_RECORD",
                             "FAKE_CHECKER_READS_INPUT", "FAKE_CHECKER_PRINT", "FAKE_CHECKER_PRINT_TIMES"})
      TestSystem::unsetEnv(name);
  }
  std::u16string quotedChecker() { return u"\"" + system.checkerPath() + u"\""; }

  TestSystem system;
  Platform& platform = system.platform();
};

TEST_F(WinProcess, ExitStatusAndArgumentsArriveWhole) {
  const std::u16string record = system.folder() + u"\\record.txt";
  TestSystem::setEnv("FAKE_CHECKER_RECORD", system.nativePath(record));
  TestSystem::setEnv("FAKE_CHECKER_STATUS", "7");
  std::uint32_t exitCode = 0;
  ASSERT_EQ(platform.runProcess(quotedChecker() + u" first \"two words\"", Platform::kWaitForever, exitCode),
            err::kSuccess);
  EXPECT_EQ(exitCode, 7u);
  EXPECT_EQ(system.readFile(record), "args: first two words\ninput: ");
}

TEST_F(WinProcess, OutputIsCollectedWhole) {
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

TEST_F(WinProcess, AProgramPastItsTimeIsEndedWhileItsOutputIsRead) {
  TestSystem::setEnv("FAKE_CHECKER_PRINT", "partial");
  TestSystem::setEnv("FAKE_CHECKER_SLEEP_MS", "20000");
  auto start = std::chrono::steady_clock::now();
  std::uint32_t exitCode = 0;
  std::string output;
  EXPECT_EQ(platform.runProcess(quotedChecker(), 300, exitCode, &output), err::kWaitTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(output, "partial");
}

TEST_F(WinProcess, AMissingProgramIsNotStarted) {
  std::uint32_t exitCode = 12345;
  EXPECT_NE(platform.runProcess(u"\"" + system.folder() + u"\\missing.exe\" x", 5000, exitCode), err::kSuccess);
  EXPECT_EQ(exitCode, 12345u);
}

TEST_F(WinProcess, AProgramPastItsTimeIsEnded) {
  TestSystem::setEnv("FAKE_CHECKER_SLEEP_MS", "20000");
  auto start = std::chrono::steady_clock::now();
  std::uint32_t exitCode = 0;
  EXPECT_EQ(platform.runProcess(quotedChecker(), 300, exitCode), err::kWaitTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}
