#include "fslayout/ntfs/ntfs_record.h"

#include <cstring>

Ntfs::RecordStatus Ntfs::PrepareRecord(uint8_t* record, uint32_t recordBytes)
{
    if (record == nullptr || recordBytes < sizeof(tagFILE_RECORD_HEADER))
        return RecordStatus::TooShort;
    if (!HasFileMagic(record))
        return RecordStatus::NoFileMagic;
    if (!RemoveFixup(record, recordBytes))
        return RecordStatus::BadFixup;
    return RecordStatus::Ok;
}

const tagRECORD_ATTR* Ntfs::FindUnnamed(const uint8_t* record, uint32_t recordBytes, uint32_t type,
                                        uint64_t lowestVcn)
{
    AttributeWalker walker(record, recordBytes);
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type != type || attr->nameLength != 0)
            continue;
        const uint64_t start = attr->nonResident ? attr->nonRes.lowestVcn : 0;
        if (start == lowestVcn)
            return attr;
    }
    return nullptr;
}

bool Ntfs::IsFileNameIndex(const tagRECORD_ATTR* attr)
{
    static const uint16_t kName[] = {'$', 'I', '3', '0'};
    if (attr->nameLength != 4 || uint32_t(attr->nameOffset) + sizeof kName > attr->length)
        return false;
    return std::memcmp(reinterpret_cast<const uint8_t*>(attr) + attr->nameOffset, kName, sizeof kName) == 0;
}
