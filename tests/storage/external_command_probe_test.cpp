// ExternalCommand against fake programs that print, crash, hang or read
// their input.
#include "platform/linux/external_command.h"
#include "storage/probe_fixtures.h"

#include <QCoreApplication>

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

using namespace probetest;
using testsupport::Quote;
using testsupport::TempDir;

namespace {

class ExternalCommandTest : public ::testing::Test {
protected:
    std::string script(const std::string& name, const std::string& body)
    {
        WriteScript(m_dir.file(name), body);
        return m_dir.file(name);
    }

    // Runs a script and returns what it printed on our standard output.
    bool run(ExternalCommand& command, int timeoutMs, std::string* ourOutput)
    {
        ::testing::internal::CaptureStdout();
        bool ok = command.execute(timeoutMs);
        *ourOutput = ::testing::internal::GetCapturedStdout();
        return ok;
    }

    TempDir m_dir;
};

TEST_F(ExternalCommandTest, CollectsOutputAndErrorsAndTheExitCode)
{
    ExternalCommand command(
        QString::fromStdString(script("tool", "echo \"out $1 $2\"\necho err >&2\nexit 3\n")),
        {QStringLiteral("first"), QStringLiteral("two words")});
    EXPECT_EQ(command.exitCode(), -1);
    std::string ours;
    EXPECT_TRUE(run(command, 10000, &ours));
    EXPECT_EQ(command.exitCode(), 3);
    EXPECT_EQ(command.output(), QStringLiteral("out first two words\nerr\n"));
    EXPECT_EQ(ours, "");
}

TEST_F(ExternalCommandTest, RunsInTheCLocaleWithTheCallersPathOnly)
{
    ScopedEnv lang("LANG", "zh_CN.UTF-8");
    ScopedEnv secret("PROBE_TEST_SECRET", "visible?");
    ScopedPathPrefix path(m_dir.path());
    std::string callersPath = getenv("PATH");
    script("showenv", "echo \"LC_ALL=$LC_ALL\"\necho \"LANG=$LANG\"\necho \"SECRET=$PROBE_TEST_SECRET\"\n"
                      "echo \"PATH=$PATH\"\n");
    // Found through the caller's PATH.
    ExternalCommand command(QStringLiteral("showenv"), {});
    std::string ours;
    ASSERT_TRUE(run(command, 10000, &ours));
    EXPECT_EQ(command.output().toStdString(), "LC_ALL=C\nLANG=\nSECRET=\nPATH=" + callersPath + "\n");
}

TEST_F(ExternalCommandTest, InputIsClosedSoReadersFinish)
{
    ExternalCommand command(QString::fromStdString(script("reader", "cat\necho done\n")), {});
    std::string ours;
    EXPECT_TRUE(run(command, 10000, &ours));
    EXPECT_EQ(command.output(), QStringLiteral("done\n"));
}

TEST_F(ExternalCommandTest, OutputStopsAtTheFirstNul)
{
    ExternalCommand command(QString::fromStdString(script("nul", "printf 'abc\\000def\\n'\n")), {});
    std::string ours;
    EXPECT_TRUE(run(command, 10000, &ours));
    EXPECT_EQ(command.output(), QStringLiteral("abc"));
}

TEST_F(ExternalCommandTest, CollectsLargeOutputWhole)
{
    ExternalCommand command(
        QString::fromStdString(script("chatty", "i=0\nwhile [ $i -lt 20000 ]; do echo \"line $i of output\"; "
                                                "i=$((i+1)); done\n")),
        {});
    std::string ours;
    ASSERT_TRUE(run(command, 30000, &ours));
    QStringList lines = command.output().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 20000);
    EXPECT_EQ(lines.first(), QStringLiteral("line 0 of output"));
    EXPECT_EQ(lines.last(), QStringLiteral("line 19999 of output"));
}

TEST_F(ExternalCommandTest, ACrashIsAFailure)
{
    ExternalCommand command(QString::fromStdString(script("crash", "echo partial\nkill -SEGV $$\n")), {});
    std::string ours;
    EXPECT_FALSE(run(command, 10000, &ours));
    EXPECT_EQ(command.exitCode(), -1);
    EXPECT_EQ(ours, "");
}

TEST_F(ExternalCommandTest, AMissingProgramIsAFailureWithoutTimeoutLine)
{
    ScopedEnv path("PATH", m_dir.path().c_str());
    ExternalCommand command(QStringLiteral("no-such-program-here"), {});
    std::string ours;
    EXPECT_FALSE(run(command, 10000, &ours));
    EXPECT_EQ(command.exitCode(), -1);
    EXPECT_EQ(ours, "");
}

TEST_F(ExternalCommandTest, ATimeoutIsReportedAndTheProgramStopped)
{
    std::string pidFile = m_dir.file("pid");
    ExternalCommand command(
        QString::fromStdString(script("hang", "echo $$ > " + Quote(pidFile) + "\nexec sleep 30\n")), {});
    std::string ours;
    EXPECT_FALSE(run(command, 300, &ours));
    EXPECT_EQ(ours, "(Command timeout while starting)\n");
    EXPECT_EQ(command.exitCode(), -1);
    std::string pidText = ReadText(pidFile);
    ASSERT_FALSE(pidText.empty());
    pid_t pid = std::stoi(pidText);
    errno = 0;
    EXPECT_EQ(kill(pid, 0), -1) << "the timed-out program still runs";
    EXPECT_EQ(errno, ESRCH);
}

TEST_F(ExternalCommandTest, WorksInsideAQtApplication)
{
    int argc = 1;
    char name[] = "probe-test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    ExternalCommand command(QString::fromStdString(script("tool", "echo inside\n")), {});
    std::string ours;
    EXPECT_TRUE(run(command, 10000, &ours));
    EXPECT_EQ(command.output(), QStringLiteral("inside\n"));
}

}  // namespace
