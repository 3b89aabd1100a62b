#include "platform/windows_engine/shadow_copy_exclusions.h"

#include "platform/windows/platform.h"
#include "quarn/api/quarn.h"

#include <cstring>
#include <memory>

namespace {

const char16_t kExclusionKey[] = u"SYSTEM\\CurrentControlSet\\Control\\BackupRestore\\FilesNotToBackup";
const char16_t kExclusionValue[] = u"VSS Default Provider";
const char kSystemVolumeInformation[] = "SYSTEM VOLUME INFORMATION";
constexpr uint64_t kRootRecord = 5;

const tagFILE_RECORD_HEADER* Header(const uint8_t* record)
{
    return reinterpret_cast<const tagFILE_RECORD_HEADER*>(record);
}

uint32_t Align8(uint32_t n)
{
    return (n + 7) & ~7u;
}

void TraceEntries(const std::vector<tagDirEntryInfo>& entries)
{
    for (const tagDirEntryInfo& entry : entries)
        DEBUG_TRACE(" %s   %s\n", entry.isDirectory ? "DIR" : "FILE", entry.name.toLocal8Bit().constData());
}

}  // namespace

QString CShadowCopyExclusions::IdentifierIn(const std::vector<std::u16string>& strings)
{
    for (const std::u16string& text : strings) {
        const size_t star = text.find(u"*{");
        if (star == std::u16string::npos || star + 1 + kIdentifierLength > text.size())
            continue;
        return QString::fromUtf16(reinterpret_cast<const ushort*>(text.data() + star + 1), kIdentifierLength);
    }
    return QString();
}

int CShadowCopyExclusions::Build(CDeviceIo& part)
{
    m_shadowCopyId.clear();
    m_excluded.clear();
    winplat::RegistryValue value;
    if (winplat::currentPlatform()->readRegistryValue(winplat::RegistryHive::LocalMachine, kExclusionKey,
                                                      kExclusionValue, value) != winplat::err::kSuccess)
        return 0;  // no value: nothing to leave out, no directory is read
    m_shadowCopyId = IdentifierIn(value.strings);
    if (m_shadowCopyId.isEmpty())
        return 0;
    CNtfsVolumeReader volume(part);
    int result = volume.Open();
    if (result == 0)
        result = CollectExcluded(volume, m_shadowCopyId);
    return result;
}

int CShadowCopyExclusions::CollectExcluded(CNtfsVolumeReader& volume, const QString& identifier)
{
    CNtfsIndexReader reader(volume);
    std::vector<tagDirEntryInfo> root;
    int result = reader.listDirectoryIndex(kRootRecord, root);
    if (result != 0)
        return result;
    TraceEntries(root);
    for (const tagDirEntryInfo& folder : root) {
        if (!folder.isDirectory || folder.name.toUpper() != QLatin1String(kSystemVolumeInformation))
            continue;
        std::vector<tagDirEntryInfo> entries;
        result = reader.listDirectoryIndex(folder.recordNumber, entries);
        if (result != 0)
            return result;
        TraceEntries(entries);
        for (const tagDirEntryInfo& entry : entries) {
            if (!entry.isDirectory && entry.name.contains(identifier, Qt::CaseInsensitive))
                m_excluded[entry.recordNumber] = entry.sequenceNumber;
        }
    }
    return 0;
}

bool CShadowCopyExclusions::IsExcluded(const uint8_t* bytes, uint32_t record) const
{
    // A record is the excluded file only while it holds that file: its
    // sequence number tells a reused record apart. Extension records follow
    // their base record.
    const tagFILE_RECORD_HEADER* header = Header(bytes);
    uint64_t number = record;
    uint16_t sequence = header->sequenceNumber;
    if (header->baseRecord != 0) {
        number = header->baseRecord & Ntfs::kRecordNumberMask;
        sequence = uint16_t(header->baseRecord >> 48);
    }
    const auto found = m_excluded.find(number);
    return found != m_excluded.end() && found->second == sequence;
}

void CShadowCopyExclusions::Apply(uint32_t record, uint8_t* bytes, uint32_t size) const
{
    if (m_excluded.empty() || size < sizeof(tagFILE_RECORD_HEADER) || !Ntfs::HasFileMagic(bytes) ||
        !IsExcluded(bytes, record))
        return;
    if (!EmptyDataAttributes(bytes, size)) {
        // A damaged record cannot be kept valid: its data still stays out.
        DEBUG_TRACE("File record %u: excluded, stored empty\n", record);
        std::memset(bytes, 0, size);
    }
}

bool CShadowCopyExclusions::EmptyDataAttributes(uint8_t* bytes, uint32_t size)
{
    std::vector<uint8_t> record(bytes, bytes + size);
    if (!Ntfs::RemoveFixup(record.data(), size))
        return false;
    const tagFILE_RECORD_HEADER* header = Header(record.data());
    const uint32_t bound = std::min<uint32_t>(size, header->bytesInUse);
    std::vector<uint8_t> attributes;
    Ntfs::AttributeWalker walker(record.data(), bound);
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        const auto* raw = reinterpret_cast<const uint8_t*>(attr);
        if (attr->type == Ntfs::ATTR_FILE_NAME && !attr->nonResident &&
            attr->resident.valueLength >= offsetof(tagATTR_FILE_NAME, name)) {
            // The file's own record says it is empty too.
            const size_t at = attributes.size();
            attributes.insert(attributes.end(), raw, raw + attr->length);
            auto* name =
                reinterpret_cast<tagATTR_FILE_NAME*>(attributes.data() + at + attr->resident.valueOffset);
            name->allocatedSize = 0;
            name->dataSize = 0;
            continue;
        }
        if (attr->type != Ntfs::ATTR_DATA) {
            attributes.insert(attributes.end(), raw, raw + attr->length);
            continue;
        }
        // An empty resident value under the same name and instance.
        const uint32_t nameBytes = 2u * attr->nameLength;
        const uint32_t length = Align8(Ntfs::kResidentHeaderBytes + nameBytes);
        std::vector<uint8_t> empty(length, 0);
        auto* out = reinterpret_cast<tagRECORD_ATTR*>(empty.data());
        out->type = Ntfs::ATTR_DATA;
        out->length = length;
        out->nonResident = 0;
        out->nameLength = attr->nameLength;
        out->nameOffset = attr->nameLength != 0 ? Ntfs::kResidentHeaderBytes : 0;
        out->flags = 0;
        out->instance = attr->instance;
        out->resident.valueLength = 0;
        out->resident.valueOffset = uint16_t(length);
        if (nameBytes != 0)
            std::memcpy(empty.data() + Ntfs::kResidentHeaderBytes, raw + attr->nameOffset, nameBytes);
        attributes.insert(attributes.end(), empty.begin(), empty.end());
    }
    if (walker.Damaged())
        return false;
    const uint32_t endMarker = 8;
    const uint32_t start = header->attrsOffset;
    if (start + attributes.size() + endMarker > size)
        return false;
    std::memset(record.data() + start, 0, size - start);
    std::memcpy(record.data() + start, attributes.data(), attributes.size());
    const uint32_t end = Ntfs::ATTR_END;
    std::memcpy(record.data() + start + attributes.size(), &end, 4);
    auto* writable = reinterpret_cast<tagFILE_RECORD_HEADER*>(record.data());
    writable->bytesInUse = uint32_t(start + attributes.size() + endMarker);
    if (!Ntfs::ApplyFixup(record.data(), size))
        return false;
    std::memcpy(bytes, record.data(), size);
    return true;
}

std::unique_ptr<CRecordExclusions> CRecordExclusions::ForThisSystem()
{
    return std::make_unique<CShadowCopyExclusions>();
}
