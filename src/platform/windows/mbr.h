// Reading MBR partition tables: the four entries of one table, and a whole
// disk's drive layout with the chain of extended boot records, in the shape
// the disk driver reports it (see DriveLayout).
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "platform/windows/platform.h"

namespace winplat {

constexpr std::uint32_t kSectorBytes = 512;

struct MbrEntry {
    std::uint8_t bootIndicator = 0;  // 0x80 = active
    std::uint8_t type = 0;
    std::uint32_t startSector = 0;  // relative to the table's own base
    std::uint32_t sectorCount = 0;

    bool active() const { return (bootIndicator & 0x80) != 0; }
    bool used() const { return type != 0 && sectorCount != 0; }
};

bool isExtendedType(std::uint8_t type);                               // 0x05, 0x0F, 0x85
bool hasBootSignature(const std::uint8_t* sector);                    // 0x55 0xAA at 510
std::array<MbrEntry, 4> parseMbrEntries(const std::uint8_t* sector);  // sector: 512 bytes

// Reads one 512-byte sector at a byte offset; false when it cannot.
using SectorReader = std::function<bool(std::uint64_t offset, std::uint8_t* sector)>;

// The drive layout of an MBR disk: the MBR's four entries, then four per
// extended boot record (its logical partition, its link, two empties).
// Partition numbers count the non-container entries in order, from 1.
// A disk without the boot signature is Raw with no entries; a broken or
// looping chain ends the layout where it breaks.
DriveLayout readMbrLayout(const SectorReader& read);

}  // namespace winplat
