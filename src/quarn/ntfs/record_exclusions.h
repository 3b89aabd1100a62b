// Files an NTFS backup leaves without their data: each build of the engine
// brings its own list (the Linux build none, the Windows build the
// shadow-copy store files the system asks backup programs to leave out).
// An excluded file keeps a valid record, so that the directory entries that
// name it stay valid on a restored volume, but its data attributes are
// stored empty: the image holds none of its data.
#ifndef QUARN_NTFS_RECORD_EXCLUSIONS_H
#define QUARN_NTFS_RECORD_EXCLUSIONS_H

#include "quarn/io/device_io.h"

#include <cstdint>
#include <memory>

class CRecordExclusions {
public:
    virtual ~CRecordExclusions() = default;

    // Builds the list for the source volume, open in `part`, before the
    // record walk: 0, or the result code that ends the backup.
    virtual int Build(CDeviceIo& part) = 0;
    // Changes record `record`, as read from the source (`bytes`, update
    // sequence in place), into the record to store: an excluded file's
    // data attributes become empty. Other records are left as they are.
    virtual void Apply(uint32_t record, uint8_t* bytes, uint32_t size) const = 0;

    // The list of this build.
    static std::unique_ptr<CRecordExclusions> ForThisSystem();
};

#endif
