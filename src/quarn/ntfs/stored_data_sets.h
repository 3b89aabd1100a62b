// Which non-resident attributes of an NTFS image's records carry a data set.
// The backup that writes an image's record stream and the restore that
// reads it each keep one of these and feed it the same file names in the
// same order, the stream's: so at every attribute they know the same and
// agree on where the data sets stand. A name therefore counts only from
// the point in the stream where it is met, also when it stands in an
// extension record or an extension record comes before its base record.
//
// The page and hibernation files are the system's own, which live in the
// root folder: a file of that name in any other folder keeps its data.
// Older images left out the first file met under such a name in any
// folder; their trailers lack kFormatFlagRootSystemFiles and are read by that
// rule.
#ifndef QUARN_NTFS_STORED_DATA_SETS_H
#define QUARN_NTFS_STORED_DATA_SETS_H

#include "fslayout/ntfs_layout.h"

#include <cstdint>

class QString;

class StoredDataSets {
public:
    explicit StoredDataSets(bool extentsStored = true, bool rootSystemFilesOnly = true)
    {
        Reset(extentsStored, rootSystemFilesOnly);
    }

    // A new record stream begins (each image of a chain has its own):
    // nothing is known of its names. extentsStored: the image stores the
    // data of continuation extents too (tagBLOCK_END::spare3).
    // rootSystemFilesOnly: the image's tagBLOCK_END::spare1 holds
    // kFormatFlagRootSystemFiles, as every backup now writes.
    void Reset(bool extentsStored, bool rootSystemFilesOnly = true);
    // Whether the page and the hibernation file keep their data out (both,
    // as every image does, unless told otherwise; a clone may copy them).
    // Reset leaves this as it is.
    void LeaveOut(bool pagefile, bool hiberfile)
    {
        m_leaveOutPagefile = pagefile;
        m_leaveOutHiberfile = hiberfile;
    }
    // A name the walk showed of a file whose base record is `owner`, in the
    // folder whose record is `parent`: the first files met named
    // "pagefile.sys" and "hiberfil.sys" (any case) keep their data out of
    // the image from here on, if they stand in the root folder (in any
    // folder by the older rule).
    void NoteName(uint32_t owner, uint32_t parent, const QString& name);
    // The data of the page or hibernation file: no data set, though its
    // allocation still moves the progress.
    bool IsUnstoredFileData(uint32_t owner, uint32_t type) const;
    // The one rule: true when the attribute, in a record of file `owner`,
    // is followed by a data set in the stream.
    bool CarriesDataSet(uint32_t owner, const tagRECORD_ATTR* attr) const;

private:
    static constexpr uint32_t kNone = 0xFFFFFFFF;
    uint32_t m_pagefile = kNone;
    uint32_t m_hiberfile = kNone;
    bool m_extentsStored = true;
    bool m_rootSystemFilesOnly = true;
    bool m_leaveOutPagefile = true;
    bool m_leaveOutHiberfile = true;
};

#endif
