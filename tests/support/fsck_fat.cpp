#include "support/fsck_fat.h"

#include "support/test_support.h"

#include <regex>

namespace testsupport {

namespace {

uint64_t FirstCapture(const std::string& text, const char* pattern)
{
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(pattern)))
        return 0;
    return std::stoull(match[1].str());
}

}  // namespace

uint64_t FsckFatUsedBytes(const std::string& image)
{
    CommandResult result = Run("fsck.fat -n -v " + Quote(image));
    if (result.exitCode != 0)
        return 0;
    return FirstCapture(result.output, "files, (\\d+)/\\d+ clusters") *
           FirstCapture(result.output, "(\\d+) bytes per cluster");
}

}  // namespace testsupport
