#include "support/shared_fixture.h"

#include "support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace testsupport {

namespace {

// Written last into a made fixture; holds the maker's result, so that the
// cases see the same reason as the setup test when there is none.
const char kStampName[] = "/.fixture-made";

std::string sharedFolder()
{
    const char* folder = std::getenv("QUARN_FIXTURE_DIR");
    return folder ? std::string(folder) : std::string();
}

std::string makeInto(const std::string& folder, FixtureMaker make)
{
    Run("rm -rf " + Quote(folder));
    if (Run("mkdir -p " + Quote(folder)).exitCode != 0)
        return "cannot create " + folder;
    const std::string error = make(folder);
    std::ofstream stamp(folder + kStampName, std::ios::trunc);
    stamp << error;
    stamp.close();
    if (!stamp)
        return "cannot write " + folder + kStampName;
    return error;
}

}  // namespace

const SharedFixtureFolder& SharedFixture(FixtureMaker make)
{
    static SharedFixtureFolder fixture;
    static std::unique_ptr<TempDir> own;
    if (!fixture.path.empty() || !fixture.error.empty())
        return fixture;
    const std::string shared = sharedFolder();
    if (!shared.empty()) {
        std::ifstream stamp(shared + kStampName);
        if (!stamp) {
            fixture.error =
                "no fixture in " + shared + " (its setup test, <program>/make_fixture, did not run)";
            return fixture;
        }
        fixture.error.assign(std::istreambuf_iterator<char>(stamp), std::istreambuf_iterator<char>());
        fixture.path = shared;
        return fixture;
    }
    own = std::make_unique<TempDir>();
    fixture.path = own->file("fixture");
    fixture.error = makeInto(fixture.path, make);
    return fixture;
}

std::string MakeSharedFixture(FixtureMaker make)
{
    const std::string shared = sharedFolder();
    return shared.empty() ? SharedFixture(make).error : makeInto(shared, make);
}

}  // namespace testsupport
