// A partition file made (or copied from a shared fixture) once for a whole
// test suite, in SetUpTestSuite, and removed with the suite in
// TearDownTestSuite.
#ifndef TEST_SUPPORT_SUITE_PARTITION_H
#define TEST_SUPPORT_SUITE_PARTITION_H

#include "support/test_support.h"

#include <memory>
#include <string>

namespace testsupport {

class SuitePartition {
public:
    // Copies a partition file made before into a fresh folder, named like
    // a partition device. A failed copy is a test failure and leaves path()
    // empty.
    void Copy(const std::string& made);
    void Release();
    const std::string& path() const { return m_path; }
    std::string workDir() const { return m_dir ? m_dir->path() : std::string(); }

private:
    std::unique_ptr<TempDir> m_dir;
    std::string m_path;
};

}  // namespace testsupport

#endif
