#include "support/ntfs_restore_fixture.h"

#include <sys/xattr.h>

namespace testsupport {

std::string NtfsCheckProblems(const std::string& partition)
{
    std::string problems;
    CommandResult check = Run("ntfsresize --check --no-action " + Quote(partition));
    if (check.exitCode != 0)
        problems += "ntfsresize --check:\n" + check.output;
    // --check alone does not account clusters; --info does (bitmap against
    // every run list) and writes nothing.
    CommandResult info = Run("ntfsresize --info --force --no-action " + Quote(partition));
    if (info.exitCode != 0)
        problems += "ntfsresize --info:\n" + info.output;
    CommandResult fix = Run("ntfsfix -n " + Quote(partition));
    if (fix.exitCode != 0 || fix.output.find("FAILED") != std::string::npos)
        problems += "ntfsfix -n:\n" + fix.output;
    return problems;
}

std::string NtfsTree(const std::string& partition)
{
    CommandResult result = Run("ntfsls -R -l " + Quote(partition));
    return result.exitCode == 0 ? result.output : std::string();
}

std::string CompareNtfsFiles(const std::string& partition, const std::vector<NtfsFileSpec>& files)
{
    for (const auto& file : files) {
        if (file.directory)
            continue;
        std::vector<uint8_t> got;
        if (!NtfsCat(partition, "/" + file.path, &got))
            return "ntfscat failed for " + file.path;
        std::vector<uint8_t> want = file.data;
        if (file.sparseSize > want.size())
            want.resize(file.sparseSize, 0);
        if (got != want)
            return file.path + " differs: " + std::to_string(got.size()) + " bytes read, " +
                   std::to_string(want.size()) + " expected";
    }
    return std::string();
}

bool SetNtfsAttributes(const std::string& path, uint32_t flags)
{
    unsigned char value[4] = {static_cast<unsigned char>(flags >> 24),
                              static_cast<unsigned char>(flags >> 16), static_cast<unsigned char>(flags >> 8),
                              static_cast<unsigned char>(flags)};
    return ::setxattr(path.c_str(), "system.ntfs_attrib_be", value, sizeof(value), 0) == 0;
}

}  // namespace testsupport
