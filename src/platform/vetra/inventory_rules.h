// The disk inventory's rules, free of system calls so that they are the same
// wherever the inventory runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/vetra/disk_info.h"
#include "platform/windows/mbr.h"
#include "platform/windows/platform.h"

namespace vetra {

// VetraMediaType from WMI's MediaType: its first word, in any case.
int mediaTypeCode(const std::u16string& mediaType);
// WMI's Size text as bytes; 0 when it is not a number.
unsigned long long sizeFromText(const std::u16string& size);

// The file-system name listed for a volume: "NTFS", "FAT32", "FAT16" (also
// for volumes that call themselves "FAT"), else "UNKNOWN".
std::string listedFileSystem(const std::u16string& fileSystem);
// The label listed for a volume, a single blank when it is not known.
std::u16string listedLabel(bool known, const std::u16string& label);

// Fills the sizes, file system and label listed for a partition of
// `length` bytes: capacity and used from the volume's free space when that
// was asked and answered (`space` not null), else the length for both; the
// file system and label from the volume information when answered
// (`volume` not null) and the letter is c: or later, else "UNKNOWN" and a
// blank.
void describePartition(_PartInfo& part, std::uint64_t length, const winplat::FreeSpace* space,
                       const winplat::VolumeInformation* volume);

// The MBR entries that describe partitions (non-zero type and length).
std::vector<winplat::MbrEntry> usedMbrEntries(const std::uint8_t* sector);

// Whether a drive-layout entry is a partition to list (not an empty or
// extended entry of an MBR table).
bool isListedEntry(const winplat::DriveLayout& layout, const winplat::PartitionInfo& entry);

// Primary when the partition starts where one of the MBR's own entries
// starts; without a readable MBR, primary when the entry stands in the
// layout's first group of four (the MBR's table). GPT partitions are primary.
int partitionKind(const winplat::DriveLayout& layout, std::size_t layoutIndex,
                  const std::vector<winplat::MbrEntry>& mbrEntries, bool mbrRead);

// A drive letter found on a disk: the letter, the disk's number and where
// its partition starts.
struct LetterRecord {
    char letter = 0;  // lower case
    std::uint32_t disk = 0;
    winplat::PartitionInfo partition;
};
// The letter of the partition of `disk` that starts at `start`; 0 for none.
char letterAt(const std::vector<LetterRecord>& letters, std::uint32_t disk, std::uint64_t start);

// 'a' -> 1, 'c' -> 3; 0 for no letter.
int letterIndex(char letter);

}  // namespace vetra
