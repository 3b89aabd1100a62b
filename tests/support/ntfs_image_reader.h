// Reads an NTFS image back for tests: follows its volumes by their trailers,
// parses the end records, the MFT record section and the record stream, and
// decodes every data set (joining the parts a split left in several volumes,
// decompressing with the image's type). Which records carry data sets is
// told by the same rules the restore follows: a record in use in the MFT
// bitmap, one set per stored non-resident attribute extent.
#ifndef TEST_SUPPORT_NTFS_IMAGE_READER_H
#define TEST_SUPPORT_NTFS_IMAGE_READER_H

#include "quarn/api/image_format.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

struct ImageVolumeInfo {
    std::string path;
    uint64_t bytes = 0;
    tagBLOCK_END end{};
    std::string prevName;  // name 1
    std::string nextName;  // name 2
};

struct ImageDataSet {
    uint32_t attrType = 0;
    uint64_t lowestVcn = 0;
    uint64_t highestVcn = 0;
    uint8_t storedRaw = 0;
    unsigned parts = 0;          // heads met (more than 1 when split)
    std::vector<uint8_t> plain;  // decoded contents
    // Where its stored bytes lie: from its first head in volume firstVolume
    // to endOffset in volume lastVolume.
    size_t firstVolume = 0;
    uint64_t firstOffset = 0;
    size_t lastVolume = 0;
    uint64_t endOffset = 0;
};

struct ImageRecordEntry {
    uint32_t number = 0;
    std::vector<uint8_t> raw;  // 1024 bytes, update sequence applied
    std::vector<ImageDataSet> sets;
};

struct NtfsImage {
    std::vector<ImageVolumeInfo> volumes;
    tagBLOCK_START start{};
    std::vector<uint8_t> mftBitmap;
    tagPARTITION_INFO info{};
    std::vector<uint8_t> mbr, bootArea, passwordHash, description;
    std::string fileName;
    std::vector<tagFileRecordInfo> summaries;  // the record section
    std::vector<ImageRecordEntry> records;     // the record stream
    uint64_t headBytes = 0;                    // bytes before the record section

    const ImageRecordEntry* Record(uint32_t number) const;
    bool InUse(uint32_t number) const;
};

struct NtfsImageOptions {
    // Records whose $DATA is not stored (page and hibernation files); when
    // empty, found by name as the stream is read (first one met).
    std::set<uint32_t> unstoredDataRecords;
    bool skipDecompress = false;
};

// False with the reason in *error.
bool ReadNtfsImage(const std::string& firstVolume, NtfsImage* image, std::string* error,
                   const NtfsImageOptions& options = NtfsImageOptions());

// Reads one volume's trailer (and names); false when it has none.
bool ReadVolumeTrailer(const std::string& path, ImageVolumeInfo* volume);

// Decodes the stored bytes of one data set with compression type `type`.
bool DecodeDataSet(int type, const std::vector<uint8_t>& stored, std::vector<uint8_t>* plain);

}  // namespace testsupport

#endif
