#include "support/ntfs_image_reader.h"

#include "quarn/compression/compress_data.h"
#include "fslayout/ntfs_layout.h"
#include "support/test_support.h"

#include <cstring>
#include <memory>

namespace testsupport {

namespace {

std::string DirectoryOf(const std::string& path)
{
    size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// A cursor over the data sections of all volumes.
class StreamCursor {
public:
    StreamCursor(const std::vector<std::vector<uint8_t>>& volumes, uint64_t start)
        : m_volumes(volumes), m_pos(start)
    {}

    bool Take(void* out, uint64_t length)
    {
        const auto& bytes = m_volumes[m_volume];
        if (m_pos > bytes.size() || length > bytes.size() - m_pos)
            return false;
        if (length != 0)
            std::memcpy(out, bytes.data() + m_pos, length);
        m_pos += length;
        return true;
    }
    bool TakeInto(std::vector<uint8_t>& out, uint64_t length)
    {
        size_t old = out.size();
        out.resize(old + length);
        return Take(out.data() + old, length);
    }
    size_t Volume() const { return m_volume; }
    uint64_t Position() const { return m_pos; }
    // The set continues at the start of the next volume.
    bool NextVolume()
    {
        if (m_volume + 1 >= m_volumes.size())
            return false;
        ++m_volume;
        m_pos = 0;
        return true;
    }

private:
    const std::vector<std::vector<uint8_t>>& m_volumes;
    size_t m_volume = 0;
    uint64_t m_pos;
};

bool ReadDataSet(StreamCursor& cursor, int type, bool decode, ImageDataSet* set, std::string* error)
{
    std::vector<uint8_t> stored;
    set->firstVolume = cursor.Volume();
    set->firstOffset = cursor.Position();
    for (;;) {
        tagDATA_SET_HEAD head{};
        if (!cursor.Take(&head, sizeof head)) {
            *error = "data-set head cut short";
            return false;
        }
        if (set->parts == 0)
            set->storedRaw = head.storedRaw;
        else if (head.storedRaw != set->storedRaw) {
            *error = "storedRaw changes inside a set";
            return false;
        }
        ++set->parts;
        if (!cursor.TakeInto(stored, head.dataBytes)) {
            *error = "data set cut short";
            return false;
        }
        if (!head.continued) {
            set->lastVolume = cursor.Volume();
            set->endOffset = cursor.Position();
            break;
        }
        if (!cursor.NextVolume()) {
            *error = "set continues past the last volume";
            return false;
        }
    }
    if (!decode)
        return true;
    if (type == 0 || set->storedRaw) {
        set->plain = std::move(stored);
        return true;
    }
    if (!DecodeDataSet(type, stored, &set->plain)) {
        *error = "data set does not decompress";
        return false;
    }
    return true;
}

}  // namespace

bool DecodeDataSet(int type, const std::vector<uint8_t>& stored, std::vector<uint8_t>* plain)
{
    plain->clear();
    CCompressData coder(static_cast<unsigned char>(type));
    if (!coder.IsReady())
        return false;
    auto drain = [&](unsigned char* data, unsigned length, bool final) {
        bool more = false;
        do {
            unsigned char* out = nullptr;
            unsigned long outLength = 0;
            if (coder.Decompress(more ? nullptr : data, more ? 0 : length, final, &out, &outLength, more) !=
                0)
                return false;
            if (outLength != 0)
                plain->insert(plain->end(), out, out + outLength);
        } while (more);
        return true;
    };
    std::vector<uint8_t> copy(stored);
    for (size_t at = 0; at < copy.size(); at += 0x20000) {
        unsigned length = unsigned(std::min<size_t>(0x20000, copy.size() - at));
        if (!drain(copy.data() + at, length, false))
            return false;
    }
    return drain(nullptr, 0, true);
}

bool ReadVolumeTrailer(const std::string& path, ImageVolumeInfo* volume)
{
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    volume->path = path;
    volume->bytes = bytes.size();
    if (bytes.size() < sizeof(tagBLOCK_END))
        return false;
    std::memcpy(&volume->end, bytes.data() + bytes.size() - sizeof(tagBLOCK_END), sizeof(tagBLOCK_END));
    if (volume->end.magic != ImageFormat::kBlockEndMagic)
        return false;
    size_t names = size_t(volume->end.prevNameSize) + volume->end.nextNameSize;
    if (names + sizeof(tagBLOCK_END) > bytes.size())
        return false;
    const char* at =
        reinterpret_cast<const char*>(bytes.data()) + bytes.size() - sizeof(tagBLOCK_END) - names;
    volume->prevName.assign(at, volume->end.prevNameSize);
    volume->nextName.assign(at + volume->end.prevNameSize, volume->end.nextNameSize);
    return true;
}

const ImageRecordEntry* NtfsImage::Record(uint32_t number) const
{
    for (const auto& record : records) {
        if (record.number == number)
            return &record;
    }
    return nullptr;
}

bool NtfsImage::InUse(uint32_t number) const
{
    size_t byte = number / 8;
    return byte < mftBitmap.size() && ((mftBitmap[byte] >> (number % 8)) & 1) != 0;
}

bool ReadNtfsImage(const std::string& firstVolume, NtfsImage* image, std::string* error,
                   const NtfsImageOptions& options)
{
    *image = NtfsImage();
    std::vector<std::vector<uint8_t>> volumes;
    std::string path = firstVolume;
    for (;;) {
        ImageVolumeInfo volume;
        if (!ReadVolumeTrailer(path, &volume)) {
            *error = "no trailer in " + path;
            return false;
        }
        image->volumes.push_back(volume);
        volumes.push_back(ReadFileBytes(path));
        if (volume.nextName.empty())
            break;
        if (volumes.size() > 256) {
            *error = "too many volumes";
            return false;
        }
        path = DirectoryOf(firstVolume) + volume.nextName;
    }

    // The first volume's end records.
    const std::vector<uint8_t>& first = volumes[0];
    const tagBLOCK_END& end = image->volumes[0].end;
    uint64_t at = end.blkStartLow | (uint64_t(end.blkStartHigh) << 32);
    auto take = [&](void* out, uint64_t length) {
        if (at > first.size() || length > first.size() - at)
            return false;
        if (length != 0)
            std::memcpy(out, first.data() + at, length);
        at += length;
        return true;
    };
    auto takeBlob = [&](std::vector<uint8_t>& out, uint64_t length) {
        out.resize(length);
        return take(out.data(), length);
    };
    if (!take(&image->start, sizeof image->start) || image->start.magic != ImageFormat::kBlockStartMagic ||
        !takeBlob(image->mftBitmap, image->start.mftBitmapSize) || !take(&image->info, sizeof image->info) ||
        image->info.magic != ImageFormat::kPartitionInfoMagic) {
        *error = "bad block start or partition information";
        return false;
    }
    std::vector<uint8_t> name;
    if (!takeBlob(image->mbr, image->info.mbrSize) || !takeBlob(image->bootArea, image->info.bootAreaSize) ||
        !takeBlob(image->passwordHash, image->info.passwordHashSize) ||
        !takeBlob(image->description, image->info.descriptionSize) ||
        !takeBlob(name, image->info.fileNameSize)) {
        *error = "partition information blobs cut short";
        return false;
    }
    image->fileName.assign(name.begin(), name.end());

    // The record section.
    at = image->info.recordSectionPos;
    image->headBytes = at;
    uint32_t count = 0;
    if (!take(&count, 4) || uint64_t(count) * sizeof(tagFileRecordInfo) > first.size()) {
        *error = "record section cut short";
        return false;
    }
    image->summaries.resize(count);
    if (!take(image->summaries.data(), uint64_t(count) * sizeof(tagFileRecordInfo))) {
        *error = "record section cut short";
        return false;
    }
    if (at != image->info.dataSectionPos) {
        *error = "the data section does not follow the record section";
        return false;
    }

    // The record stream.
    StreamCursor cursor(volumes, image->info.dataSectionPos);
    uint32_t entries = 0;
    if (!cursor.Take(&entries, 4) || entries > image->info.recordCount) {
        *error = "bad record stream count";
        return false;
    }
    std::set<uint32_t> unstored = options.unstoredDataRecords;
    bool findSpecial = unstored.empty();
    bool foundPage = false, foundHiber = false;
    const bool extentsStored = end.spare3 == ImageFormat::kExtentLayoutEveryExtent;
    const bool rootSystemFilesOnly = (end.spare1 & ImageFormat::kFormatFlagRootSystemFiles) != 0;
    for (uint32_t i = 0; i < entries; ++i) {
        ImageRecordEntry entry;
        entry.raw.resize(1024);
        if (!cursor.Take(&entry.number, 4) || !cursor.Take(entry.raw.data(), 1024)) {
            *error = "record cut short";
            return false;
        }
        std::vector<uint8_t> fixed = entry.raw;
        if (Ntfs::HasFileMagic(fixed.data()) && image->InUse(entry.number)) {
            if (!Ntfs::RemoveFixup(fixed.data(), 1024)) {
                *error = "stored in-use record with a broken update sequence";
                return false;
            }
            const auto* header = reinterpret_cast<const tagFILE_RECORD_HEADER*>(fixed.data());
            uint32_t owner = Ntfs::OwnerRecord(fixed.data(), entry.number, image->info.recordCount);
            Ntfs::AttributeWalker walker(fixed.data(), std::min<uint32_t>(1024, header->bytesInUse));
            while (const tagRECORD_ATTR* attr = walker.Next()) {
                if (!attr->nonResident) {
                    if (findSpecial && attr->type == Ntfs::ATTR_FILE_NAME) {
                        const auto* fn =
                            reinterpret_cast<const tagATTR_FILE_NAME*>(Ntfs::ResidentValue(attr));
                        std::string ascii;
                        if (rootSystemFilesOnly && (fn->parentReference & 0xFFFFFFFFFFFFull) != 5)
                            continue;
                        for (unsigned k = 0; k < fn->nameLength && fn->nameSpace != 2; ++k)
                            ascii += char(std::tolower(fn->name[k] & 0x7F));
                        if (!foundPage && ascii == "pagefile.sys") {
                            unstored.insert(owner);
                            foundPage = true;
                        }
                        if (!foundHiber && ascii == "hiberfil.sys") {
                            unstored.insert(owner);
                            foundHiber = true;
                        }
                    }
                    continue;
                }
                bool isData = attr->type == Ntfs::ATTR_DATA;
                if ((owner == 0 && (isData || attr->type == Ntfs::ATTR_BITMAP)) || owner == 8 ||
                    (isData && (owner == 1 || owner == 6 || owner == 7)) || (isData && unstored.count(owner)))
                    continue;
                bool stored = attr->nonRes.lowestVcn == 0 ? attr->nonRes.allocatedSize != 0
                                                          : extentsStored && Ntfs::ExtentClusters(attr) != 0;
                if (!stored)
                    continue;
                ImageDataSet set;
                set.attrType = attr->type;
                set.lowestVcn = attr->nonRes.lowestVcn;
                set.highestVcn = attr->nonRes.highestVcn;
                if (!ReadDataSet(cursor, image->info.compressType, !options.skipDecompress, &set, error))
                    return false;
                entry.sets.push_back(std::move(set));
            }
            if (walker.Damaged()) {
                *error = "stored in-use record with damaged attributes";
                return false;
            }
        }
        image->records.push_back(std::move(entry));
    }
    uint32_t endMark = 0;
    if (!cursor.Take(&endMark, 4) || endMark != ImageFormat::kRecordStreamEnd) {
        *error = "record stream does not end with 0xFFFFFFFF";
        return false;
    }
    return true;
}

}  // namespace testsupport
