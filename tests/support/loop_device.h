// A loop device attached to a file of the test's own folder, detached when
// it goes away (also when the test fails). Empty node: none could be made.
#ifndef TESTS_SUPPORT_LOOP_DEVICE_H
#define TESTS_SUPPORT_LOOP_DEVICE_H

#include "support/test_support.h"

#include <string>

namespace testsupport {

class LoopDevice {
public:
    explicit LoopDevice(const std::string& file)
    {
        const CommandResult result = Run("losetup --find --show " + Quote(file));
        if (result.exitCode == 0 && result.output.compare(0, 5, "/dev/") == 0)
            m_node = result.output.substr(0, result.output.find('\n'));
    }
    ~LoopDevice()
    {
        if (!m_node.empty())
            Run("losetup -d " + Quote(m_node));
    }
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    const std::string& node() const { return m_node; }

private:
    std::string m_node;
};

}  // namespace testsupport

#endif
