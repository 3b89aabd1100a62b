// A partition file made once for a whole test suite, in SetUpTestSuite, and
// removed with the suite in TearDownTestSuite.
#ifndef TEST_SUPPORT_SUITE_PARTITION_H
#define TEST_SUPPORT_SUITE_PARTITION_H

#include "test_support.h"

#include <functional>
#include <memory>
#include <string>

namespace testsupport {

class SuitePartition {
public:
    // Builds the partition (named like a partition device) in a fresh
    // folder. A failed build is a test failure and leaves path() empty.
    using Builder = std::function<bool(const std::string& partition, const std::string& workDir, std::string* log)>;
    void Make(const Builder& build);
    void Release();
    const std::string& path() const { return m_path; }
    std::string workDir() const { return m_dir ? m_dir->path() : std::string(); }

private:
    std::unique_ptr<TempDir> m_dir;
    std::string m_path;
};

}  // namespace testsupport

#endif
