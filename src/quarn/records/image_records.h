// The one reader of the records that end an image volume: the trailer and
// its two names, the block start, the partition information and its five
// blobs, and the description's text. The engine and the job layer read
// volumes through it, each over its own file class (RecordFile). Every
// stored length and offset is checked against the file before it drives a
// read or an allocation: a record never reaches past the trailer's start,
// the trailer never before the file's start.
#ifndef QUARN_RECORDS_IMAGE_RECORDS_H
#define QUARN_RECORDS_IMAGE_RECORDS_H

#include "quarn/api/image_format.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ImageRecords {

// Why records could not be read; each caller turns it into its own code.
enum class Result {
    Ok = 0,
    Unreadable,            // the file cannot be measured, or read where a record lies
    ShorterThanTrailer,    // fewer bytes than a trailer
    NoTrailer,             // its last bytes are no trailer
    NameTooLong,           // a trailer name longer than any stored name
    NamesPastStart,        // the trailer's names would begin before the file
    BlockStartPastEnd,     // the block start does not lie wholly before the trailer's names
    BadBlockStart,         // the block start lacks its magic
    MftBitmapPastEnd,      // the MFT bitmap runs into the trailer
    PartitionInfoPastEnd,  // the partition information does not fit before the trailer
    BadPartitionInfo,      // the partition information lacks its magic
    BadAreaSize,           // an MBR or boot area of a size no backup stores
    BadBlobSize,           // a digest of another size, a description or file name longer than any
    BlobsPastEnd,          // the blobs run into the trailer
    BadDescription,        // the description blob does not decode to text
};

// A short English text of a result, for traces.
const char* ResultText(Result result);

// A volume as the reader sees it: its length, and bytes at an offset.
class RecordFile {
public:
    virtual ~RecordFile() = default;
    // The file's length; false when it cannot be measured.
    virtual bool Bytes(uint64_t* bytes) = 0;
    // Exactly `length` bytes at `offset`; false when they cannot be read.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t length) = 0;
};

// The trailer and the names before it, each cut at a zero byte it holds
// (as every reader always did) and otherwise as stored; empty when absent.
struct Trailer {
    tagBLOCK_END end{};
    uint64_t volumeBytes = 0;
    std::string prevName;  // the first volume of the image this one builds on
    std::string nextName;  // the next volume of this image
    // Where the names begin: no other record reaches past it.
    uint64_t Start() const { return ImageFormat::TrailerStartOf(volumeBytes, end); }
};

Result ReadTrailer(RecordFile& file, Trailer* trailer);

// The block start the trailer names and the partition information after
// its MFT bitmap, with where the bitmap and the blobs lie.
struct EndRecords {
    tagBLOCK_START start{};
    tagPARTITION_INFO info{};
    uint64_t mftBitmapAt = 0;
    uint64_t blobsAt = 0;  // 0 until the partition information was read
    // Where the partition information lies, once the block start was read.
    uint64_t InfoAt() const { return mftBitmapAt + start.mftBitmapSize; }
};

// Checks what the records say of their own place: both magics, the bitmap
// and the partition information before the trailer. After a failure,
// `records` holds what was read before it. The sizes of the blobs
// are left to ReadBlobs. A block start at offset 0 is read there: whether a
// volume must have one (a later NTFS volume has none, and its trailer says
// 0) is the caller's to judge.
Result ReadEndRecords(RecordFile& file, const Trailer& trailer, EndRecords* records);

// The five blobs that follow the partition information. Refused: a digest
// other than none or kPasswordDigestBytes, a description or file name
// longer than kMaxBlobBytes (BadBlobSize), and blobs that run into the
// trailer.
struct Blobs {
    std::vector<unsigned char> mbr;
    std::vector<unsigned char> bootArea;
    std::vector<unsigned char> passwordDigest;
    std::vector<unsigned char> description;  // as stored (qCompress)
    std::string fileName;                    // cut at a zero byte, like the names
};

// The blob sizes ReadBlobs takes, checked without reading.
Result CheckBlobSizes(const tagPARTITION_INFO& info);
// Before the MBR and boot areas go to a disk: BadAreaSize unless the MBR
// area is none or one sector and the boot area the one backups of `fsType`
// store. The wizards, which never write them, do not ask.
Result CheckAreaSizes(const tagPARTITION_INFO& info, uint8_t fsType);
Result ReadBlobs(RecordFile& file, const Trailer& trailer, const EndRecords& records, Blobs* blobs);

// The description's text (UTF-8, as both programs hand it to the engine)
// up to its first zero byte; an empty blob or a stated length of 0 is no
// text. BadDescription when its stated plain length exceeds
// kMaxDecodedDescriptionBytes or its stream does not decode.
Result DecodeDescription(const std::vector<unsigned char>& blob, std::string* utf8);

// Everything of a first volume: its trailer, end records and blobs.
struct FirstVolume {
    Trailer trailer;
    EndRecords records;
    Blobs blobs;
};

Result ReadFirstVolume(RecordFile& file, FirstVolume* volume);

}  // namespace ImageRecords

#endif
