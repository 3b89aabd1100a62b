// Hand-made non-resident NTFS attributes for the run-list and attribute
// reader tests, including hostile run lists.
#ifndef TEST_SUPPORT_NTFS_ATTR_BUILDER_H
#define TEST_SUPPORT_NTFS_ATTR_BUILDER_H

#include "fslayout/ntfs_layout.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace testsupport {

// A non-resident $DATA attribute covering VCNs lowest..highest whose run
// list holds `runs` as given (the bytes after it are zero, ending the list).
inline std::vector<uint8_t> NonResidentAttribute(uint64_t lowest, uint64_t highest,
                                                 const std::vector<uint8_t>& runs)
{
    std::vector<uint8_t> bytes(64 + ((runs.size() + 8) & ~size_t(7)), 0);
    auto* attr = reinterpret_cast<tagRECORD_ATTR*>(bytes.data());
    attr->type = Ntfs::ATTR_DATA;
    attr->length = uint32_t(bytes.size());
    attr->nonResident = 1;
    attr->nonRes.lowestVcn = lowest;
    attr->nonRes.highestVcn = highest;
    attr->nonRes.runListOffset = 64;
    std::memcpy(bytes.data() + 64, runs.data(), runs.size());
    return bytes;
}

inline const tagRECORD_ATTR* AsAttr(const std::vector<uint8_t>& bytes)
{
    return reinterpret_cast<const tagRECORD_ATTR*>(bytes.data());
}

}  // namespace testsupport

#endif
