// Hand-made image volumes for the restore tests and fuzz seeds: the records
// that end a volume (block start, partition information with its blobs,
// trailer) around a data section the test supplies.
#ifndef IMAGE_BUILDER_H
#define IMAGE_BUILDER_H

#include "quarn/api/image_format.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

class ByteSink {
public:
    std::vector<uint8_t> bytes;

    size_t size() const { return bytes.size(); }
    void Put(const void* data, size_t length)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + length);
    }
    void Put(const std::vector<uint8_t>& more) { Put(more.data(), more.size()); }
    void Put(const std::string& text) { Put(text.data(), text.size()); }
    template <typename T>
    void PutValue(T value)
    {
        Put(&value, sizeof(value));
    }
    void PutU32(uint32_t v) { PutValue(v); }
    // A data-set head followed by its stored bytes.
    void PutDataSet(const std::vector<uint8_t>& stored, uint8_t storedRaw = 0, uint8_t continued = 0)
    {
        tagDATA_SET_HEAD head{};
        head.storedRaw = storedRaw;
        head.dataBytes = stored.size();
        head.continued = continued;
        PutValue(head);
        Put(stored);
    }
};

// What ends a volume; defaults describe a single-volume full NTFS image.
struct VolumeEnd {
    bool withRecords = true;  // block start and partition info
    tagBLOCK_START start{};
    std::vector<uint8_t> mftBitmap;
    tagPARTITION_INFO info{};
    std::vector<uint8_t> mbr;
    // An NTFS boot area by default, the size every writer stores.
    std::vector<uint8_t> bootArea = std::vector<uint8_t>(ImageFormat::kNtfsBootAreaBytes);
    std::vector<uint8_t> passwordHash;
    std::vector<uint8_t> description;
    std::string fileName;
    tagBLOCK_END end{};
    std::string prevName;
    std::string nextName;

    VolumeEnd()
    {
        start.magic = ImageFormat::kBlockStartMagic;
        start.year = 2024;
        start.month = 5;
        start.day = 6;
        info.magic = ImageFormat::kPartitionInfoMagic;
        info.fileRecordSize = 1024;
        info.reservedFs = ImageFormat::kNtfsReservedFs;
        info.clusterBytes = 4096;
        info.sectorBytes = 512;
        end.magic = ImageFormat::kBlockEndMagic;
        end.chainId = 0x12345678;
        end.singleVolume = 1;
        end.fsType = 4;
        end.spare2 = ImageFormat::kEndRecordFixedByte;
    }

    // Appends the records to sink, filling the sizes and offsets.
    void AppendTo(ByteSink& sink)
    {
        uint64_t startPos = sink.size();
        if (withRecords) {
            start.mftBitmapSize = static_cast<uint32_t>(mftBitmap.size());
            sink.PutValue(start);
            sink.Put(mftBitmap);
            info.mbrSize = static_cast<uint32_t>(mbr.size());
            info.bootAreaSize = static_cast<uint16_t>(bootArea.size());
            info.passwordHashSize = static_cast<uint16_t>(passwordHash.size());
            info.descriptionSize = static_cast<uint16_t>(description.size());
            info.fileNameSize = static_cast<uint16_t>(fileName.size());
            sink.PutValue(info);
            sink.Put(mbr);
            sink.Put(bootArea);
            sink.Put(passwordHash);
            sink.Put(description);
            sink.Put(fileName);
            end.blkStartLow = static_cast<uint32_t>(startPos);
            end.blkStartHigh = static_cast<uint32_t>(startPos >> 32);
        }
        sink.Put(prevName);
        sink.Put(nextName);
        end.prevNameSize = static_cast<uint16_t>(prevName.size());
        end.nextNameSize = static_cast<uint16_t>(nextName.size());
        sink.PutValue(end);
    }
};

}  // namespace testsupport

#endif
