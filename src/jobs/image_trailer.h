// What the wizards need from the records that end an image's first volume
// (the stored password digest, the description and the size of the saved
// disk start), read through the engine's record reader (image_records.h),
// which checks every stored offset and size against the file first.
#ifndef JOBS_IMAGE_TRAILER_H
#define JOBS_IMAGE_TRAILER_H

#include <QByteArray>
#include <QString>
#include <cstdint>

struct ImageTrailer {
    enum Status {
        Ok,
        OpenFailed,      // the file cannot be opened (nothing shown)
        StreamFailed,    // a read of the file failed (standard error only)
        Corrupted,       // a record lacks its magic, or a size does not fit the file
        NotFirstVolume,  // a later volume of a split image
    };

    Status status = OpenFailed;
    QByteArray passwordDigest;  // all stored bytes; empty without a password
    QString description;        // empty without one (stored as UTF-8)
    uint64_t usedBytes = 0;     // bytes of the source the image holds
    uint32_t mbrBytes = 0;      // saved disk start; 0 when the image holds none
    uint8_t fsType = 0;         // file-system code of the trailer
};

ImageTrailer readImageTrailerRecords(const QString& path);

// The end record of any volume: which volume of which generation it is and
// whether the image goes on in a further volume.
struct ImageVolumeEnd {
    bool ok = false;  // the record was read and carries its magic
    uint8_t volumeIndex = 0;
    uint8_t generation = 0;
    bool nextFollows = false;  // it names the next volume
};

ImageVolumeEnd readImageVolumeEnd(const QString& path);

#endif
