#include "suite_partition.h"

#include <gtest/gtest.h>

namespace testsupport {

void SuitePartition::Make(const Builder& build)
{
    m_dir.reset(new TempDir);
    m_path = m_dir->file("sdz1");
    std::string log;
    if (!build(m_path, m_dir->path(), &log)) {
        ADD_FAILURE() << log;
        m_path.clear();
    }
}

void SuitePartition::Release()
{
    m_dir.reset();
    m_path.clear();
}

}  // namespace testsupport
