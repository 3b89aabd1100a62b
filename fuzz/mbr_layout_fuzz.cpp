// The MBR partition-table reader of the Windows layer over any disk start:
// broken, looping or overlapping extended boot records must end the layout,
// never crash or hang it.
#include <cstdint>
#include <cstring>

#include "platform/vetra/inventory_rules.h"
#include "platform/windows/mbr.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The input is the disk's first bytes; sectors past it cannot be read.
    winplat::DriveLayout layout = winplat::readMbrLayout([&](std::uint64_t offset, std::uint8_t* sector) {
        if (offset > size || size - offset < winplat::kSectorBytes)
            return false;
        std::memcpy(sector, data + offset, winplat::kSectorBytes);
        return true;
    });
    std::vector<winplat::MbrEntry> primary;
    if (size >= winplat::kSectorBytes)
        primary = vetra::usedMbrEntries(data);
    for (std::size_t i = 0; i < layout.entries.size(); ++i) {
        if (vetra::isListedEntry(layout, layout.entries[i]))
            vetra::partitionKind(layout, i, primary, !primary.empty());
    }
    return 0;
}
