#include "support/suite_partition.h"

#include <gtest/gtest.h>

namespace testsupport {

void SuitePartition::Copy(const std::string& made)
{
    m_dir.reset(new TempDir);
    m_path = m_dir->file("sdz1");
    const std::string error = CopyKeepingHoles(made, m_path);
    if (!error.empty()) {
        ADD_FAILURE() << error;
        m_path.clear();
    }
}

void SuitePartition::Release()
{
    m_dir.reset();
    m_path.clear();
}

}  // namespace testsupport
