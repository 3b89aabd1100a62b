#include "platform/windows/mbr.h"

#include <set>

namespace winplat {

namespace {

std::uint32_t le32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::size_t kTableOffset = 446;
constexpr std::size_t kEntryBytes = 16;
constexpr int kMaxLogicalPartitions = 256;

PartitionInfo toInfo(const MbrEntry& entry, std::uint64_t baseSector)
{
    PartitionInfo info;
    info.type = entry.type;
    info.boot = entry.active();
    if (entry.type != 0) {
        info.start = (baseSector + entry.startSector) * kSectorBytes;
        info.length = static_cast<std::uint64_t>(entry.sectorCount) * kSectorBytes;
    }
    return info;
}

}  // namespace

bool isExtendedType(std::uint8_t type)
{
    return type == 0x05 || type == 0x0F || type == 0x85;
}

bool hasBootSignature(const std::uint8_t* sector)
{
    return sector[510] == 0x55 && sector[511] == 0xAA;
}

std::array<MbrEntry, 4> parseMbrEntries(const std::uint8_t* sector)
{
    std::array<MbrEntry, 4> entries;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t* p = sector + kTableOffset + i * kEntryBytes;
        entries[i].bootIndicator = p[0];
        entries[i].type = p[4];
        entries[i].startSector = le32(p + 8);
        entries[i].sectorCount = le32(p + 12);
    }
    return entries;
}

DriveLayout readMbrLayout(const SectorReader& read)
{
    DriveLayout layout;
    std::uint8_t sector[kSectorBytes];
    if (!read(0, sector) || !hasBootSignature(sector))
        return layout;
    layout.style = DriveLayout::Mbr;
    layout.signature = le32(sector + 440);

    std::uint32_t number = 0;
    std::uint64_t extendedBase = 0;  // start sector of the primary extended partition
    std::uint64_t nextRecord = 0;    // next extended boot record, 0 for none
    for (const MbrEntry& entry : parseMbrEntries(sector)) {
        PartitionInfo info = toInfo(entry, 0);
        if (isExtendedType(entry.type)) {
            if (extendedBase == 0 && entry.startSector != 0)
                extendedBase = nextRecord = entry.startSector;
        } else if (entry.type != 0) {
            info.number = ++number;
        }
        layout.entries.push_back(info);
    }

    std::set<std::uint64_t> visited;
    while (nextRecord != 0 && visited.insert(nextRecord).second &&
           static_cast<int>(visited.size()) <= kMaxLogicalPartitions) {
        if (!read(nextRecord * kSectorBytes, sector) || !hasBootSignature(sector))
            break;
        std::uint64_t recordBase = nextRecord;
        nextRecord = 0;
        for (const MbrEntry& entry : parseMbrEntries(sector)) {
            PartitionInfo info;
            if (isExtendedType(entry.type)) {
                // Links are relative to the primary extended partition.
                info = toInfo(entry, extendedBase);
                if (nextRecord == 0 && entry.startSector != 0)
                    nextRecord = extendedBase + entry.startSector;
            } else {
                // A logical partition is relative to its own boot record.
                info = toInfo(entry, recordBase);
                if (entry.type != 0)
                    info.number = ++number;
            }
            layout.entries.push_back(info);
        }
    }
    return layout;
}

}  // namespace winplat
