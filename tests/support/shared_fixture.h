// A fixture that the cases of one test program only read (a machine of
// disk files, a set of images), made once instead of once per case.
//
// ctest runs every case in a process of its own. A program that declares
// QUARN_SHARED_FIXTURE(maker) gets a setup test, "<program>/make_fixture",
// that runs the maker into the folder QUARN_FIXTURE_DIR names; its cases
// require that test and find the made fixture there, and a cleanup test
// removes the folder afterwards (tests/CMakeLists.txt). Run by hand without
// that variable, the program makes the fixture once, into a temporary
// folder of the process.
//
// A case that writes to what it takes from the fixture (restores onto a
// partition, mounts a file system read-write) works on its own copy.
#ifndef SHARED_FIXTURE_H
#define SHARED_FIXTURE_H

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// Fills the empty folder it is given; returns "" or what went wrong. A
// reason that starts with "missing " names a tool this machine lacks: the
// setup test passes and every case skips with that reason (in CI, where
// nothing may skip, the setup test fails).
using FixtureMaker = std::string (*)(const std::string& folder);

struct SharedFixtureFolder {
    std::string path;   // the made fixture
    std::string error;  // why there is none; "" when path holds it
};

// The program's fixture, made by `make` at the first call when no setup
// test made it.
const SharedFixtureFolder& SharedFixture(FixtureMaker make);

// The setup test's work: makes the fixture afresh into QUARN_FIXTURE_DIR
// (or, run by hand, into the process's folder); "" or what went wrong.
std::string MakeSharedFixture(FixtureMaker make);

}  // namespace testsupport

// The setup test of a program's shared fixture. ctest runs it alone as
// "<program>/make_fixture"; the discovered cases leave it out.
#define QUARN_SHARED_FIXTURE(maker)                                                                          \
    TEST(SharedFixture, Make)                                                                                \
    {                                                                                                        \
        const std::string error = testsupport::MakeSharedFixture(maker);                                     \
        if (error.rfind("missing ", 0) == 0 && !testsupport::RunningInCi())                                  \
            return;                                                                                          \
        ASSERT_EQ(error, "");                                                                                \
    }

#endif
