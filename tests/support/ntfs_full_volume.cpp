#include "support/ntfs_full_volume.h"

#include "support/test_support.h"

#include <cstdlib>

namespace testsupport {

namespace {

int64_t NumberAfter(const std::string& text, const std::string& key)
{
    size_t at = text.find(key);
    if (at == std::string::npos)
        return -1;
    at = text.find(':', at);
    return at == std::string::npos ? -1 : std::strtoll(text.c_str() + at + 1, nullptr, 10);
}

}  // namespace

int64_t NtfsVolumeClusters(const std::string& partition)
{
    CommandResult info = Run("ntfsinfo -m " + Quote(partition));
    return info.exitCode == 0 ? NumberAfter(info.output, "Volume Size in Clusters") : -1;
}

int64_t NtfsFreeClusters(const std::string& partition)
{
    CommandResult result = Run("ntfscluster " + Quote(partition));
    return result.exitCode == 0 ? NumberAfter(result.output, "clusters of free space") : -1;
}

bool FillNtfsToFreeClusters(const std::string& partition, const std::string& workDir, uint64_t leaveClusters,
                            std::vector<NtfsFileSpec>* files, std::string* log)
{
    CommandResult geometry = Run("ntfscluster " + Quote(partition));
    int64_t clusterBytes = NumberAfter(geometry.output, "bytes per cluster");
    if (clusterBytes <= 0) {
        *log += geometry.output;
        return false;
    }
    int64_t free = NtfsFreeClusters(partition);
    if (free <= 0) {
        *log += "no free clusters to fill\n";
        return false;
    }
    // Together the files take about half the free room (0 + 1 + ... + 11 = 66 steps).
    const size_t step = size_t(uint64_t(free) * uint64_t(clusterBytes) / 2 / 66);
    std::vector<NtfsFileSpec> written;
    for (uint32_t i = 0; i < 12; ++i) {
        NtfsFileSpec file{"fill" + std::to_string(i) + ".bin", PatternBytes(100 + i * step, 700 + i)};
        if (!NtfsCopyIn(partition, workDir, "/" + file.path, file.data, log))
            return false;
        written.push_back(file);
    }
    free = NtfsFreeClusters(partition);
    if (free < 0 || uint64_t(free) <= leaveClusters) {
        *log += "the partition is too small for its fill: " + std::to_string(free) + " clusters free\n";
        return false;
    }
    written[0].data = PatternBytes(size_t((uint64_t(free) - leaveClusters) * uint64_t(clusterBytes)), 699);
    if (!NtfsCopyIn(partition, workDir, "/" + written[0].path, written[0].data, log))
        return false;
    free = NtfsFreeClusters(partition);
    if (free != int64_t(leaveClusters)) {
        *log += "filled to " + std::to_string(free) + " free clusters, not " + std::to_string(leaveClusters) +
                "\n";
        return false;
    }
    files->insert(files->end(), written.begin(), written.end());
    return true;
}

}  // namespace testsupport
