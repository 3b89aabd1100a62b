#include "quarn/records/image_records.h"

#include <QByteArray>

namespace ImageRecords {

namespace {

// A stored name or blob that holds a zero ends there, as it always did
// for the readers.
std::string CutAtZero(const std::vector<char>& bytes)
{
    std::string text(bytes.data(), bytes.size());
    return text.substr(0, text.find('\0'));
}

Result ReadName(RecordFile& file, uint64_t at, uint16_t length, std::string* name)
{
    name->clear();
    if (length == 0)
        return Result::Ok;
    std::vector<char> bytes(length);
    if (!file.ReadAt(at, bytes.data(), length))
        return Result::Unreadable;
    *name = CutAtZero(bytes);
    return Result::Ok;
}

Result ReadBlob(RecordFile& file, uint64_t* at, uint32_t length, std::vector<unsigned char>* blob)
{
    blob->assign(length, 0);
    if (length != 0 && !file.ReadAt(*at, blob->data(), length))
        return Result::Unreadable;
    *at += length;
    return Result::Ok;
}

uint32_t BigEndian32(const unsigned char* b)
{
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

}  // namespace

const char* ResultText(Result result)
{
    switch (result) {
    case Result::Ok:
        return "ok";
    case Result::Unreadable:
        return "the volume cannot be read where its records lie";
    case Result::ShorterThanTrailer:
        return "the volume is shorter than a trailer";
    case Result::NoTrailer:
        return "the volume ends without its trailer";
    case Result::NameTooLong:
        return "the trailer names files longer than any name";
    case Result::NamesPastStart:
        return "the trailer's names are longer than the volume";
    case Result::BlockStartPastEnd:
        return "the volume ends before the records its trailer names";
    case Result::BadBlockStart:
        return "the block start record lacks its magic";
    case Result::MftBitmapPastEnd:
        return "the MFT bitmap runs into the trailer";
    case Result::PartitionInfoPastEnd:
        return "the partition record runs into the trailer";
    case Result::BadPartitionInfo:
        return "the partition record lacks its magic";
    case Result::BadAreaSize:
        return "the partition record states an MBR or boot area of a size no backup stores";
    case Result::BadBlobSize:
        return "the partition record states a digest, description or file name of a size no backup stores";
    case Result::BlobsPastEnd:
        return "the partition record's blobs run into the trailer";
    case Result::BadDescription:
        return "the description does not decode";
    }
    return "unknown";
}

Result ReadTrailer(RecordFile& file, Trailer* trailer)
{
    *trailer = Trailer();
    uint64_t bytes = 0;
    if (!file.Bytes(&bytes))
        return Result::Unreadable;
    tagBLOCK_END end{};
    if (bytes < sizeof(end))
        return Result::ShorterThanTrailer;
    if (!file.ReadAt(bytes - sizeof(end), &end, sizeof(end)))
        return Result::Unreadable;
    if (end.magic != ImageFormat::kBlockEndMagic)
        return Result::NoTrailer;
    if (end.prevNameSize > ImageFormat::kMaxBlobBytes || end.nextNameSize > ImageFormat::kMaxBlobBytes)
        return Result::NameTooLong;
    const uint64_t names = uint64_t(end.prevNameSize) + end.nextNameSize;
    if (names > bytes - sizeof(end))
        return Result::NamesPastStart;
    Trailer read;
    read.end = end;
    read.volumeBytes = bytes;
    const uint64_t start = read.Start();
    Result result = ReadName(file, start, end.prevNameSize, &read.prevName);
    if (result == Result::Ok)
        result = ReadName(file, start + end.prevNameSize, end.nextNameSize, &read.nextName);
    if (result == Result::Ok)
        *trailer = read;
    return result;
}

Result ReadEndRecords(RecordFile& file, const Trailer& trailer, EndRecords* records)
{
    *records = EndRecords();
    EndRecords& read = *records;
    const uint64_t limit = trailer.Start();
    const uint64_t blockStart = ImageFormat::BlockStartOf(trailer.end);
    read.mftBitmapAt = blockStart + sizeof(read.start);
    if (blockStart > limit || sizeof(read.start) > limit - blockStart)
        return Result::BlockStartPastEnd;
    if (!file.ReadAt(blockStart, &read.start, sizeof(read.start)))
        return Result::Unreadable;
    if (read.start.magic != ImageFormat::kBlockStartMagic)
        return Result::BadBlockStart;
    if (read.start.mftBitmapSize > limit - read.mftBitmapAt)
        return Result::MftBitmapPastEnd;
    const uint64_t infoAt = read.InfoAt();
    if (sizeof(read.info) > limit - infoAt)
        return Result::PartitionInfoPastEnd;
    if (!file.ReadAt(infoAt, &read.info, sizeof(read.info)))
        return Result::Unreadable;
    if (read.info.magic != ImageFormat::kPartitionInfoMagic)
        return Result::BadPartitionInfo;
    read.blobsAt = infoAt + sizeof(read.info);
    return Result::Ok;
}

Result CheckAreaSizes(const tagPARTITION_INFO& info, uint8_t fsType)
{
    const uint16_t bootAreaBytes =
        fsType == ImageFormat::kFsNtfs ? ImageFormat::kNtfsBootAreaBytes : ImageFormat::kFat32BootAreaBytes;
    const bool sound = (info.mbrSize == 0 || info.mbrSize == ImageFormat::kStoredMbrBytes) &&
                       info.bootAreaSize == bootAreaBytes;
    return sound ? Result::Ok : Result::BadAreaSize;
}

Result CheckBlobSizes(const tagPARTITION_INFO& info)
{
    const bool sound =
        (info.passwordHashSize == 0 || info.passwordHashSize == ImageFormat::kPasswordDigestBytes) &&
        info.descriptionSize <= ImageFormat::kMaxBlobBytes && info.fileNameSize <= ImageFormat::kMaxBlobBytes;
    return sound ? Result::Ok : Result::BadBlobSize;
}

Result ReadBlobs(RecordFile& file, const Trailer& trailer, const EndRecords& records, Blobs* blobs)
{
    *blobs = Blobs();
    const tagPARTITION_INFO& info = records.info;
    Result result = CheckBlobSizes(info);
    if (result != Result::Ok)
        return result;
    const uint64_t total = uint64_t(info.mbrSize) + info.bootAreaSize + info.passwordHashSize +
                           info.descriptionSize + info.fileNameSize;
    const uint64_t limit = trailer.Start();
    if (records.blobsAt > limit || total > limit - records.blobsAt)
        return Result::BlobsPastEnd;
    Blobs read;
    uint64_t at = records.blobsAt;
    std::vector<unsigned char> fileName;
    result = ReadBlob(file, &at, info.mbrSize, &read.mbr);
    if (result == Result::Ok)
        result = ReadBlob(file, &at, info.bootAreaSize, &read.bootArea);
    if (result == Result::Ok)
        result = ReadBlob(file, &at, info.passwordHashSize, &read.passwordDigest);
    if (result == Result::Ok)
        result = ReadBlob(file, &at, info.descriptionSize, &read.description);
    if (result == Result::Ok)
        result = ReadBlob(file, &at, info.fileNameSize, &fileName);
    if (result != Result::Ok)
        return result;
    read.fileName = CutAtZero(std::vector<char>(fileName.begin(), fileName.end()));
    *blobs = std::move(read);
    return Result::Ok;
}

Result DecodeDescription(const std::vector<unsigned char>& blob, std::string* utf8)
{
    utf8->clear();
    if (blob.empty())
        return Result::Ok;
    // qCompress's format: the plain length, big-endian, then zlib.
    if (blob.size() < 4)
        return Result::BadDescription;
    const uint32_t plainBytes = BigEndian32(blob.data());
    if (plainBytes == 0)
        return Result::Ok;
    if (plainBytes > ImageFormat::kMaxDecodedDescriptionBytes)
        return Result::BadDescription;
    QByteArray plain = qUncompress(blob.data(), static_cast<int>(blob.size()));
    if (plain.isEmpty())
        return Result::BadDescription;
    const int zero = plain.indexOf('\0');
    if (zero >= 0)
        plain.truncate(zero);
    utf8->assign(plain.constData(), static_cast<size_t>(plain.size()));
    return Result::Ok;
}

Result ReadFirstVolume(RecordFile& file, FirstVolume* volume)
{
    *volume = FirstVolume();
    FirstVolume read;
    Result result = ReadTrailer(file, &read.trailer);
    if (result == Result::Ok)
        result = ReadEndRecords(file, read.trailer, &read.records);
    if (result == Result::Ok)
        result = ReadBlobs(file, read.trailer, read.records, &read.blobs);
    if (result == Result::Ok)
        *volume = std::move(read);
    return result;
}

}  // namespace ImageRecords
