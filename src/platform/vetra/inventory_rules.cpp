#include "platform/vetra/inventory_rules.h"

#include "platform/windows/text.h"

namespace vetra {

using winplat::asciiUpper;

int mediaTypeCode(const std::u16string& mediaType)
{
    std::u16string first = asciiUpper(mediaType.substr(0, mediaType.find(u' ')));
    if (first == u"REMOVABLE")
        return kMediaRemovable;
    if (first == u"EXTERNAL")
        return kMediaExternal;
    if (first == u"FIXED")
        return kMediaFixed;
    return kMediaOther;
}

unsigned long long sizeFromText(const std::u16string& size)
{
    unsigned long long value = 0;
    return winplat::parseUnsigned(size, value) ? value : 0;
}

std::string listedFileSystem(const std::u16string& fileSystem)
{
    std::u16string name = asciiUpper(fileSystem);
    if (name == u"NTFS")
        return "NTFS";
    if (name == u"FAT32")
        return "FAT32";
    if (name == u"FAT16" || name == u"FAT")
        return "FAT16";
    return "UNKNOWN";
}

std::u16string listedLabel(bool known, const std::u16string& label)
{
    return known ? label : std::u16string(u" ");
}

void describePartition(_PartInfo& part, std::uint64_t length, const winplat::FreeSpace* space,
                       const winplat::VolumeInformation* volume)
{
    part.Capacity = part.Used = length;
    if (space) {
        part.Capacity = space->totalBytes;
        part.Used = space->totalBytes >= space->freeBytes ? space->totalBytes - space->freeBytes : 0;
    }
    bool known = volume && part.LetterIndex >= 3;
    part.FsName = listedFileSystem(known ? volume->fileSystem : std::u16string());
    part.Label = listedLabel(known, known ? volume->label : std::u16string());
}

std::vector<winplat::MbrEntry> usedMbrEntries(const std::uint8_t* sector)
{
    std::vector<winplat::MbrEntry> used;
    for (const winplat::MbrEntry& entry : winplat::parseMbrEntries(sector))
        if (entry.used())
            used.push_back(entry);
    return used;
}

bool isListedEntry(const winplat::DriveLayout& layout, const winplat::PartitionInfo& entry)
{
    if (layout.style == winplat::DriveLayout::Gpt)
        return entry.length != 0;
    return entry.type != 0 && entry.type != 0x05 && entry.type != 0x0F;
}

int partitionKind(const winplat::DriveLayout& layout, std::size_t layoutIndex,
                  const std::vector<winplat::MbrEntry>& mbrEntries, bool mbrRead)
{
    if (layout.style != winplat::DriveLayout::Mbr)
        return kPartitionPrimary;
    if (!mbrRead)
        return layoutIndex < 4 ? kPartitionPrimary : kPartitionLogical;
    std::uint64_t startSector = layout.entries[layoutIndex].start / winplat::kSectorBytes;
    for (const winplat::MbrEntry& entry : mbrEntries)
        if (entry.startSector == startSector)
            return kPartitionPrimary;
    return kPartitionLogical;
}

char letterAt(const std::vector<LetterRecord>& letters, std::uint32_t disk, std::uint64_t start)
{
    for (const LetterRecord& record : letters)
        if (record.disk == disk && record.partition.start == start)
            return record.letter;
    return 0;
}

int letterIndex(char letter)
{
    return letter >= 'a' && letter <= 'z' ? letter - 'a' + 1 : 0;
}

}  // namespace vetra
