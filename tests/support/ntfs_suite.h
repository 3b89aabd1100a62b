// A test suite over one NTFS partition that ntfs-3g made through a mount:
// Suite::Build(partition, workDir, log) makes it once for the test program
// when the program declares QUARN_SHARED_FIXTURE(NtfsSuiteTest<Suite>::MakeFixture)
// (otherwise once per process), and each process works on its own copy.
// Every test skips where the tools or the mount are missing.
#ifndef TEST_SUPPORT_NTFS_SUITE_H
#define TEST_SUPPORT_NTFS_SUITE_H

#include "support/ntfs_fixture.h"
#include "support/shared_fixture.h"
#include "support/suite_partition.h"

#include <gtest/gtest.h>

namespace testsupport {

template <typename Suite>
class NtfsSuiteTest : public ::testing::Test {
public:
    // The shared fixture: the partition as "sdz1" in the folder.
    static std::string MakeFixture(const std::string& folder)
    {
        if (!HaveNtfsTools() || !Suite::ToolsInstalled())
            return "missing ntfs-3g tools";
        if (!NtfsMountUsable())
            return "missing an ntfs-3g mount: the suite's partition is made through one";
        std::string log;
        if (!Suite::Build(folder + "/sdz1", folder, &log))
            return "the suite's partition: " + (log.empty() ? std::string("not made") : log);
        return std::string();
    }

protected:
    static void SetUpTestSuite()
    {
        if (!HaveNtfsTools() || !NtfsMountUsable() || !Suite::ToolsInstalled())
            return;
        const SharedFixtureFolder& fixture = SharedFixture(&MakeFixture);
        if (fixture.error.empty())
            s_partition.Copy(fixture.path + "/sdz1");
        else
            ADD_FAILURE() << fixture.error;
    }
    static void TearDownTestSuite() { s_partition.Release(); }
    void SetUp() override
    {
        if (!HaveNtfsTools() || !Suite::ToolsInstalled())
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
        if (!NtfsMountUsable())
            SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: the suite's partition is made through one");
        ASSERT_FALSE(s_partition.path().empty());
    }
    // A suite that needs more than mkntfs, ntfscp, ntfscat and ntfsinfo says so.
    static bool ToolsInstalled() { return true; }
    static const std::string& Partition() { return s_partition.path(); }

private:
    static SuitePartition s_partition;
};

template <typename Suite>
SuitePartition NtfsSuiteTest<Suite>::s_partition;

}  // namespace testsupport

#endif
