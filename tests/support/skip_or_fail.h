// The one rule for a test that lacks something the machine should have (a
// program such as smbd or ntfs-3g, FUSE, root, Wine's mapped volume): it is
// skipped on a developer's machine, and fails in CI (CI=true), where a
// silent skip would hide that the behaviour was never tested. Header only,
// so that the Windows side's tests use the same rule.
#ifndef TESTS_SUPPORT_SKIP_OR_FAIL_H
#define TESTS_SUPPORT_SKIP_OR_FAIL_H

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

namespace testsupport {

// True in CI (CI=true).
inline bool RunningInCi()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

}  // namespace testsupport

// Skips the current test for want of something this machine lacks; in CI
// the test fails instead. The argument is streamed like a message.
#define SKIP_OR_FAIL_IN_CI(...)                                                                              \
    do {                                                                                                     \
        if (testsupport::RunningInCi()) {                                                                    \
            GTEST_FAIL() << __VA_ARGS__ << " (CI=true: this test must run)";                                 \
        } else {                                                                                             \
            GTEST_SKIP() << __VA_ARGS__;                                                                     \
        }                                                                                                    \
    } while (0)

#endif
