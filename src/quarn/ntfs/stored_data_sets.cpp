#include "quarn/ntfs/stored_data_sets.h"

#include <QString>

void StoredDataSets::Reset(bool extentsStored, bool rootSystemFilesOnly)
{
    m_pagefile = kNone;
    m_hiberfile = kNone;
    m_extentsStored = extentsStored;
    m_rootSystemFilesOnly = rootSystemFilesOnly;
}

void StoredDataSets::NoteName(uint32_t owner, uint32_t parent, const QString& name)
{
    if (m_rootSystemFilesOnly && parent != Ntfs::kRootRecord)
        return;
    const Ntfs::SpecialFile special = Ntfs::SpecialFileNamed(name);
    if (m_leaveOutPagefile && m_pagefile == kNone && special == Ntfs::SpecialFile::Pagefile)
        m_pagefile = owner;
    if (m_leaveOutHiberfile && m_hiberfile == kNone && special == Ntfs::SpecialFile::Hiberfile)
        m_hiberfile = owner;
}

bool StoredDataSets::IsUnstoredFileData(uint32_t owner, uint32_t type) const
{
    return type == Ntfs::ATTR_DATA && owner != kNone && (owner == m_pagefile || owner == m_hiberfile);
}

bool StoredDataSets::CarriesDataSet(uint32_t owner, const tagRECORD_ATTR* attr) const
{
    if (Ntfs::IsUnstoredSystemAttribute(owner, attr->type) || IsUnstoredFileData(owner, attr->type))
        return false;
    // Continuation extents carry no allocated size; their data is stored
    // only by backups that mark their images so.
    if (attr->nonRes.lowestVcn != 0)
        return m_extentsStored && Ntfs::ExtentClusters(attr) != 0;
    return attr->nonRes.allocatedSize != 0;
}
