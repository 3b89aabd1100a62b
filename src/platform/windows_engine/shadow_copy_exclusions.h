// The Windows build's backup exclusions: the shadow-copy store files that
// the system asks backup programs to leave out (registry value "VSS Default
// Provider" under FilesNotToBackup), found in the root's "System Volume
// Information" through the volume's own directory indexes. Excluded files
// keep valid records with empty data, so that a restored volume's
// directories name only valid files.
#pragma once

#include "quarn/ntfs/record_exclusions.h"
#include "platform/windows_engine/ntfs_index_reader.h"

#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CShadowCopyExclusions : public CRecordExclusions {
public:
    static constexpr int kIdentifierLength = 38;  // "{...}" of a GUID

    int Build(CDeviceIo& part) override;
    void Apply(uint32_t record, uint8_t* bytes, uint32_t size) const override;

    // The identifier now in use: empty when the registry names none.
    const QString& ShadowCopyId() const { return m_shadowCopyId; }
    // Excluded files: record number to sequence number.
    const std::map<uint64_t, uint16_t>& Excluded() const { return m_excluded; }

    // The identifier in the registry value's strings: the 38 characters
    // from the "{" of the first "*{"; empty when none holds one.
    static QString IdentifierIn(const std::vector<std::u16string>& strings);
    // Lists the root and its "System Volume Information" and notes the
    // files whose names hold `identifier` (any case). 0, or the failure of
    // a listing.
    int CollectExcluded(CNtfsVolumeReader& volume, const QString& identifier);
    // Turns every $DATA attribute of a record (update sequence in place)
    // into an empty resident one; false when the record is damaged.
    static bool EmptyDataAttributes(uint8_t* bytes, uint32_t size);

private:
    bool IsExcluded(const uint8_t* bytes, uint32_t record) const;

    QString m_shadowCopyId;
    std::map<uint64_t, uint16_t> m_excluded;
};
