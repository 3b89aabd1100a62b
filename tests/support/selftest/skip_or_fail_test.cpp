// The rule for a test that lacks a tool: skipped on a developer's machine,
// failed in CI. The inner tests (disabled, so that they never run on their
// own) are run in a child copy of this program with CI set or not; the
// failure is also caught in this process.
#include "support/samba_server.h"
#include "support/test_support.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

using testsupport::Quote;
using testsupport::Run;

const char kMissing[] = "no-such-program-for-this-test";

TEST(SkipOrFailInner, DISABLED_LacksATool)
{
    SKIP_OR_FAIL_IN_CI("the tool is missing");
    ADD_FAILURE() << "went on after the missing tool";
}

TEST(SkipOrFailInner, DISABLED_LacksAProgram)
{
    REQUIRE_PROGRAM(kMissing);
    ADD_FAILURE() << "went on after the missing program";
}

// Runs one inner test in a child copy of this program with the given
// environment assignments in front.
testsupport::CommandResult RunInner(const std::string& environment, const std::string& test)
{
    return Run(
        "env " + environment + " " + Quote("/proc/" + std::to_string(getpid()) + "/exe") +
        " --gtest_also_run_disabled_tests --gtest_filter=" + Quote("SkipOrFailInner.DISABLED_" + test));
}

// Keeps the test's own CI setting out of the way and puts it back.
class ScopedCi {
public:
    explicit ScopedCi(const char* value)
    {
        if (const char* old = std::getenv("CI"))
            m_old = old, m_had = true;
        if (value)
            setenv("CI", value, 1);
        else
            unsetenv("CI");
    }
    ~ScopedCi()
    {
        if (m_had)
            setenv("CI", m_old.c_str(), 1);
        else
            unsetenv("CI");
    }

private:
    std::string m_old;
    bool m_had = false;
};

TEST(SkipOrFailInCi, OutsideCiAMissingToolSkips)
{
    for (const char* environment : {"-u CI", "CI=false", "CI=1"}) {
        for (const char* test : {"LacksATool", "LacksAProgram"}) {
            SCOPED_TRACE(std::string(environment) + " " + test);
            const testsupport::CommandResult result = RunInner(environment, test);
            EXPECT_EQ(result.exitCode, 0) << result.output;
            EXPECT_NE(result.output.find("[  SKIPPED ] 1 test"), std::string::npos) << result.output;
            EXPECT_EQ(result.output.find("went on after"), std::string::npos) << result.output;
        }
    }
}

TEST(SkipOrFailInCi, InCiAMissingToolFails)
{
    const struct {
        const char* test;
        const char* message;
    } cases[] = {
        {"LacksATool", "the tool is missing (CI=true: this test must run)"},
        {"LacksAProgram", "no-such-program-for-this-test is not installed (CI=true: this test must run)"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.test);
        const testsupport::CommandResult result = RunInner("CI=true", c.test);
        EXPECT_NE(result.exitCode, 0) << result.output;
        EXPECT_NE(result.output.find("[  FAILED  ] 1 test"), std::string::npos) << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
        EXPECT_EQ(result.output.find("went on after"), std::string::npos) << result.output;
    }
}

void LackATool()
{
    SKIP_OR_FAIL_IN_CI("the tool is missing");
}

void StartASambaThatCannotRun()
{
    // No smbd on an empty PATH: the server cannot start.
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", "/nonexistent", 1);
    testsupport::SambaServer server;
    struct RestorePath {
        std::string path;
        ~RestorePath() { setenv("PATH", path.c_str(), 1); }
    } restore{path};
    START_SAMBA_OR_SKIP(server);
}

TEST(SkipOrFailInCi, InCiTheFailureIsFatalToTheTest)
{
    ScopedCi ci("true");
    EXPECT_FATAL_FAILURE(LackATool(), "the tool is missing (CI=true: this test must run)");
    EXPECT_FATAL_FAILURE(StartASambaThatCannotRun(), "no local Samba server: ");
}

}  // namespace
