#include "platform/vetra/vetra.h"

#include <cstdio>
#include <string>
#include <utility>

#include "platform/windows/paths.h"
#include "platform/windows/text.h"

using namespace winplat;

namespace {

void printWmiFailure(const WmiStatus& status)
{
    const char* what = "";
    switch (status.step) {
    case WmiStatus::ComInit:
        what = "Failed to initialize COM library. ";
        break;
    case WmiStatus::Security:
        what = "Failed to initialize security. ";
        break;
    case WmiStatus::Locator:
        what = "Failed to create IWbemLocator object. ";
        break;
    case WmiStatus::Connect:
        what = "Could not connect. ";
        break;
    case WmiStatus::ProxyBlanket:
        what = "Could not set proxy blanket. ";
        break;
    case WmiStatus::Query:
        what = "Query for processes failed. ";
        break;
    case WmiStatus::Ok:
        return;
    }
    std::printf("%sError code = 0x%X\n", what, static_cast<unsigned>(status.code));
    std::fflush(stdout);
}

char lowerLetter(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return static_cast<char>(c - u'A' + 'a');
    if (c >= u'a' && c <= u'z')
        return static_cast<char>(c);
    return 0;
}

}  // namespace

CVetra::CVetra() : CVetra(currentPlatform())
{}

CVetra::CVetra(std::shared_ptr<Platform> platform) : m_platform(std::move(platform))
{
    m_wmi = m_platform->openWmi(m_status);
    if (!m_status.ok()) {
        printWmiFailure(m_status);
        return;
    }
    std::printf("Connected to ROOT\\CIMV2 WMI namespace\n");
    std::fflush(stdout);
}

CVetra::CVetra(const CVetra& other)
    : m_platform(other.m_platform), m_wmi(other.m_wmi), m_status(other.m_status),
      m_systemLetter(other.m_systemLetter), m_letters(other.m_letters), m_cache(copyDiskList(other.m_cache))
{}

CVetra& CVetra::operator=(const CVetra& other)
{
    if (this == &other)
        return *this;
    CVetra copy(other);
    std::swap(m_platform, copy.m_platform);
    std::swap(m_wmi, copy.m_wmi);
    std::swap(m_status, copy.m_status);
    std::swap(m_systemLetter, copy.m_systemLetter);
    std::swap(m_letters, copy.m_letters);
    std::swap(m_cache, copy.m_cache);
    return *this;
}

CVetra::~CVetra()
{
    RemoveDiskList();
}

CVetra* CVetra::instance()
{
    static CVetra vetra;
    return &vetra;
}

const _DiskInfo* CVetra::GetVetra()
{
    if (m_cache)
        return m_cache;
    _DiskInfo* list = nullptr;
    if (!query(list)) {
        freeDiskList(list);
        return nullptr;
    }
    m_cache = list;
    return m_cache;
}

void CVetra::RemoveDiskList()
{
    freeDiskList(m_cache);
    m_cache = nullptr;
}

bool CVetra::query(_DiskInfo*& list)
{
    list = nullptr;
    std::u16string systemFolder;
    m_systemLetter = m_platform->systemDirectory(systemFolder) == err::kSuccess && !systemFolder.empty()
                         ? lowerLetter(systemFolder[0])
                         : 0;
    scanDriveLetters();
    if (!m_wmi)
        return false;

    std::vector<WmiDiskRow> rows;
    m_status = m_wmi->queryDiskDrives(rows);
    if (!m_status.ok()) {
        printWmiFailure(m_status);
        return false;
    }
    _DiskInfo** tail = &list;
    for (const WmiDiskRow& row : rows) {
        _DiskInfo* disk = new _DiskInfo();
        *tail = disk;
        tail = &disk->Next;
        disk->Index = row.index;
        disk->Size = vetra::sizeFromText(row.size);
        disk->Name = row.name;
        disk->Model = row.model;
        disk->MediaType = vetra::mediaTypeCode(row.mediaType);
        disk->Partitions = row.partitions;
        addPartitions(disk);
    }
    return true;
}

void CVetra::scanDriveLetters()
{
    m_letters.clear();
    std::vector<std::u16string> roots;
    if (m_platform->logicalDriveRoots(roots) != err::kSuccess)
        return;
    for (const std::u16string& root : roots) {
        DriveType type = m_platform->driveType(root);
        if (type != DriveType::Fixed && type != DriveType::Removable)
            continue;
        char letter = root.empty() ? 0 : lowerLetter(root[0]);
        if (!letter)
            continue;
        Error error = err::kSuccess;
        std::unique_ptr<Device> volume = m_platform->open(volumeDevicePath(root[0]), OpenMode::Read, error);
        if (!volume)
            continue;
        vetra::LetterRecord record;
        record.letter = letter;
        DeviceNumber number;
        if (volume->partitionInfo(record.partition) == err::kSuccess &&
            volume->deviceNumber(number) == err::kSuccess) {
            record.disk = number.deviceNumber;
            m_letters.push_back(record);
        }
    }
}

void CVetra::addPartitions(_DiskInfo* disk)
{
    if (disk->Index < 0)
        return;
    Error error = err::kSuccess;
    std::unique_ptr<Device> device =
        m_platform->open(physicalDrivePath(static_cast<unsigned>(disk->Index)), OpenMode::Read, error);
    if (!device)
        return;

    std::uint8_t sector[kSectorBytes];
    std::size_t done = 0;
    bool mbrRead = device->readAt(0, sector, sizeof sector, done) == err::kSuccess && done == sizeof sector &&
                   hasBootSignature(sector);
    std::vector<MbrEntry> mbrEntries = mbrRead ? vetra::usedMbrEntries(sector) : std::vector<MbrEntry>();

    DriveLayout layout;
    if (device->driveLayout(layout) != err::kSuccess)
        return;

    _PartInfo** tail = &disk->PartList;
    for (std::size_t i = 0; i < layout.entries.size(); ++i) {
        const PartitionInfo& entry = layout.entries[i];
        if (!vetra::isListedEntry(layout, entry))
            continue;
        _PartInfo* part = new _PartInfo();
        *tail = part;
        tail = &part->Next;
        part->Disk = disk;
        part->Start = entry.start;
        part->Active = entry.boot ? 1 : 0;
        part->PartitionNumber = entry.number;
        part->Kind = vetra::partitionKind(layout, i, mbrEntries, mbrRead);
        part->Letter = vetra::letterAt(m_letters, static_cast<std::uint32_t>(disk->Index), entry.start);
        part->LetterIndex = vetra::letterIndex(part->Letter);
        part->System = part->Letter != 0 && part->Letter == m_systemLetter ? 1 : 0;
        describeVolume(part, entry.length);
    }
}

void CVetra::describeVolume(_PartInfo* part, std::uint64_t length)
{
    const std::u16string root = driveRoot(static_cast<char16_t>(part->Letter));
    FreeSpace space;
    VolumeInformation volume;
    bool spaceKnown = part->Letter && m_platform->freeSpace(root, space) == err::kSuccess;
    // Floppy drives are never asked about their volume: that would spin them up.
    bool volumeKnown = part->LetterIndex >= 3 && m_platform->volumeInformation(root, volume) == err::kSuccess;
    vetra::describePartition(*part, length, spaceKnown ? &space : nullptr, volumeKnown ? &volume : nullptr);
}
