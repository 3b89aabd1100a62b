#include "quarn/ntfs/record_digest.h"

#include "fslayout/ntfs_layout.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Bytes of $STANDARD_INFORMATION the summary reads (times and attributes).
constexpr uint32_t kStandardInfoBytes = 36;
// Records up to this size are digested from a copy on the stack.
constexpr uint32_t kStackRecordBytes = 4096;

bool IsZero(const tagFileRecordInfo& entry)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&entry);
    return std::all_of(bytes, bytes + sizeof entry, [](uint8_t b) { return b == 0; });
}

// The times the oldest summaries held, read as they read them: those of the
// record's last resident $STANDARD_INFORMATION when it is long enough for
// them, else none (0, 0).
bool StandardTimes(const uint8_t* record, uint32_t size, uint64_t* created, uint64_t* modified)
{
    *created = 0;
    *modified = 0;
    const tagRECORD_ATTR* standard = nullptr;
    const auto* header = reinterpret_cast<const tagFILE_RECORD_HEADER*>(record);
    Ntfs::AttributeWalker walker(record, std::min(size, header->bytesInUse));
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (!attr->nonResident && attr->type == Ntfs::ATTR_STANDARD_INFORMATION)
            standard = attr;
    }
    if (walker.Damaged())
        return false;
    if (standard != nullptr && standard->resident.valueLength >= kStandardInfoBytes) {
        tagATTR_STANDARD_INFORMATION si;
        std::memcpy(&si, Ntfs::ResidentValue(standard), kStandardInfoBytes);
        *created = si.creationTime;
        *modified = si.modificationTime;
    }
    return true;
}

void ZeroAt(uint8_t* bytes, size_t size, size_t offset, size_t length)
{
    if (offset + length <= size)
        std::fill(bytes + offset, bytes + offset + length, 0);
}

}  // namespace

namespace RecordDigest {

uint64_t Of(const uint8_t* record, uint32_t size)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(reinterpret_cast<const char*>(record), int(size));
    const QByteArray digest = hash.result();
    uint64_t value = 0;
    std::memcpy(&value, digest.constData(), sizeof value);
    return value;
}

uint64_t OfContent(const uint8_t* record, uint32_t size)
{
    // Every record of a backup passes here: records of the usual sizes are
    // copied to the stack rather than to a new allocation each.
    uint8_t onStack[kStackRecordBytes];
    std::vector<uint8_t> onHeap;
    uint8_t* bytes = onStack;
    if (size > sizeof onStack) {
        onHeap.resize(size);
        bytes = onHeap.data();
    }
    std::memcpy(bytes, record, size);
    if (size >= sizeof(tagFILE_RECORD_HEADER)) {
        const auto* header = reinterpret_cast<const tagFILE_RECORD_HEADER*>(record);
        ZeroAt(bytes, size, offsetof(tagFILE_RECORD_HEADER, logSequence), sizeof header->logSequence);
        ZeroAt(bytes, size, header->usaOffset, sizeof(uint16_t));
        Ntfs::AttributeWalker walker(record, std::min(size, header->bytesInUse));
        while (const tagRECORD_ATTR* attr = walker.Next()) {
            if (attr->nonResident)
                continue;
            const size_t value = size_t(Ntfs::ResidentValue(attr) - record);
            const uint32_t valueBytes = attr->resident.valueLength;
            if (attr->type == Ntfs::ATTR_STANDARD_INFORMATION &&
                valueBytes >= offsetof(tagATTR_STANDARD_INFORMATION, fileAttributes))
                ZeroAt(bytes, size, value + offsetof(tagATTR_STANDARD_INFORMATION, accessTime),
                       sizeof(uint64_t));
            else if (attr->type == Ntfs::ATTR_FILE_NAME &&
                     valueBytes >= offsetof(tagATTR_FILE_NAME, allocatedSize))
                ZeroAt(bytes, size, value + offsetof(tagATTR_FILE_NAME, accessTime), sizeof(uint64_t));
        }
    }
    return Of(bytes, size);
}

bool Matches(const uint8_t* stored, uint32_t size, const tagFileRecordInfo& entry)
{
    if (IsZero(entry))
        return true;
    if (size < sizeof(tagFILE_RECORD_HEADER) || !Ntfs::HasFileMagic(stored))
        return false;
    std::vector<uint8_t> fixed(stored, stored + size);
    if (!Ntfs::RemoveFixup(fixed.data(), size))
        return false;
    const uint64_t first = entry.recordDigest;  // the packed fields are not aligned
    const uint64_t second = entry.formerDataDigest;
    if (Of(fixed.data(), size) == first || OfContent(fixed.data(), size) == first)
        return true;
    uint64_t created = 0;
    uint64_t modified = 0;
    return StandardTimes(fixed.data(), size, &created, &modified) && created == first && modified == second;
}

}  // namespace RecordDigest
