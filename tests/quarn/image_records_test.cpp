// The one reader of a volume's end records, on volumes built in memory:
// each stored size or offset that points where the file does not reach has
// its own result, and no read leaves the file.
#include "quarn/api/image_format.h"
#include "quarn/records/image_records.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using ImageRecords::Result;
using Buffer = std::vector<unsigned char>;

// A volume in memory that fails every read outside its bytes, and counts
// such reads.
class MemoryFile : public ImageRecords::RecordFile {
public:
    explicit MemoryFile(Buffer bytes) : m_bytes(std::move(bytes)) {}

    bool Bytes(uint64_t* bytes) override
    {
        *bytes = m_bytes.size();
        return true;
    }
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override
    {
        if (offset > m_bytes.size() || length > m_bytes.size() - offset) {
            ++outside;
            return false;
        }
        std::memcpy(buffer, m_bytes.data() + offset, length);
        return true;
    }

    int outside = 0;

private:
    Buffer m_bytes;
};

template <typename T>
void Append(Buffer& bytes, const T& value)
{
    const auto* p = reinterpret_cast<const unsigned char*>(&value);
    bytes.insert(bytes.end(), p, p + sizeof(T));
}

void AppendText(Buffer& bytes, const std::string& text)
{
    bytes.insert(bytes.end(), text.begin(), text.end());
}

const char kDescription[] = "Weekly image \xe5\xa4\x87\xe4\xbb\xbd caf\xc3\xa9";

// Offsets of the records in a built volume.
struct Layout {
    size_t blockStart = 0;
    size_t info = 0;
    size_t blobs = 0;
    size_t description = 0;
    size_t end = 0;
};

// A first NTFS volume of an incremental image with every blob: a head, some
// data, the end records and a trailer that names both neighbours.
Buffer FirstVolume(Layout* layout, const QByteArray& description = qCompress(QByteArray(kDescription)))
{
    Buffer bytes(64, 0xAB);
    layout->blockStart = bytes.size();
    tagBLOCK_START start{};
    start.magic = ImageFormat::kBlockStartMagic;
    start.year = 2026;
    start.mftBitmapSize = 8;
    Append(bytes, start);
    bytes.insert(bytes.end(), 8, 0xFF);
    layout->info = bytes.size();
    tagPARTITION_INFO info{};
    info.magic = ImageFormat::kPartitionInfoMagic;
    info.usedBytes = 4096;
    info.mbrSize = ImageFormat::kStoredMbrBytes;
    info.bootAreaSize = ImageFormat::kNtfsBootAreaBytes;
    info.passwordHashSize = ImageFormat::kPasswordDigestBytes;
    info.descriptionSize = static_cast<uint16_t>(description.size());
    info.fileNameSize = 10;
    Append(bytes, info);
    layout->blobs = bytes.size();
    bytes.insert(bytes.end(), info.mbrSize, 0x11);
    bytes.insert(bytes.end(), info.bootAreaSize, 0x22);
    bytes.insert(bytes.end(), info.passwordHashSize, 0x33);
    layout->description = bytes.size();
    bytes.insert(bytes.end(), description.begin(), description.end());
    AppendText(bytes, "sys_0_1.bk");
    AppendText(bytes, "sys_0_0.bkp");
    AppendText(bytes, std::string("sys_1_1.bkp\0x", 13));
    layout->end = bytes.size();
    tagBLOCK_END end{};
    end.magic = ImageFormat::kBlockEndMagic;
    end.blkStartLow = static_cast<uint32_t>(layout->blockStart);
    end.generation = 1;
    end.fsType = ImageFormat::kFsNtfs;
    end.prevNameSize = 11;
    end.nextNameSize = 13;
    Append(bytes, end);
    return bytes;
}

template <typename T>
void Put(Buffer& bytes, size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof(value));
}

TEST(ImageRecords, ReadsEveryRecordOfAFirstVolume)
{
    Layout at;
    MemoryFile file(FirstVolume(&at));
    ImageRecords::FirstVolume volume;
    ASSERT_EQ(ImageRecords::ReadFirstVolume(file, &volume), Result::Ok);
    EXPECT_EQ(volume.trailer.prevName, "sys_0_0.bkp");
    EXPECT_EQ(volume.trailer.nextName, "sys_1_1.bkp");  // cut at its zero byte
    EXPECT_EQ(volume.trailer.Start(), at.end - 24);
    EXPECT_EQ(int(volume.records.start.year), 2026);
    EXPECT_EQ(volume.records.mftBitmapAt, at.blockStart + sizeof(tagBLOCK_START));
    EXPECT_EQ(volume.records.blobsAt, at.blobs);
    EXPECT_EQ(uint64_t(volume.records.info.usedBytes), 4096u);
    EXPECT_EQ(volume.blobs.mbr, Buffer(512, 0x11));
    EXPECT_EQ(volume.blobs.bootArea, Buffer(ImageFormat::kNtfsBootAreaBytes, 0x22));
    EXPECT_EQ(volume.blobs.passwordDigest, Buffer(16, 0x33));
    EXPECT_EQ(volume.blobs.fileName, "sys_0_1.bk");
    std::string text;
    ASSERT_EQ(ImageRecords::DecodeDescription(volume.blobs.description, &text), Result::Ok);
    EXPECT_EQ(text, kDescription);
    EXPECT_EQ(file.outside, 0);
}

TEST(ImageRecords, EveryStoredSizeThatLiesHasItsOwnResult)
{
    const struct {
        const char* what;
        std::function<void(Buffer&, const Layout&)> damage;
        Result expected;
    } cases[] = {
        {"shorter than a trailer", [](Buffer& b, const Layout&) { b.resize(20); },
         Result::ShorterThanTrailer},
        {"empty", [](Buffer& b, const Layout&) { b.clear(); }, Result::ShorterThanTrailer},
        {"trailer magic", [](Buffer& b, const Layout& at) { b[at.end] ^= 1; }, Result::NoTrailer},
        {"a name longer than any",
         [](Buffer& b, const Layout& at) {
             Put<uint16_t>(b, at.end + offsetof(tagBLOCK_END, nextNameSize), ImageFormat::kMaxBlobBytes + 1);
         },
         Result::NameTooLong},
        {"names longer than the volume",
         [](Buffer& b, const Layout& at) {
             b.erase(b.begin(), b.begin() + long(at.end - 20));
             Put<uint16_t>(b, 20 + offsetof(tagBLOCK_END, prevNameSize), 11);
         },
         Result::NamesPastStart},
        {"a block start at 0 is read there",
         [](Buffer& b, const Layout& at) {
             Put<uint32_t>(b, at.end + offsetof(tagBLOCK_END, blkStartLow), 0);
         },
         Result::BadBlockStart},
        {"block start past the end",
         [](Buffer& b, const Layout& at) {
             Put<uint32_t>(b, at.end + offsetof(tagBLOCK_END, blkStartHigh), 7);
         },
         Result::BlockStartPastEnd},
        {"block start inside the names",
         [](Buffer& b, const Layout& at) {
             Put<uint32_t>(b, at.end + offsetof(tagBLOCK_END, blkStartLow), uint32_t(at.end - 10));
         },
         Result::BlockStartPastEnd},
        {"block start magic", [](Buffer& b, const Layout& at) { b[at.blockStart] ^= 1; },
         Result::BadBlockStart},
        {"MFT bitmap past the end",
         [](Buffer& b, const Layout& at) {
             Put<uint32_t>(b, at.blockStart + offsetof(tagBLOCK_START, mftBitmapSize), 0xFFFFFFFF);
         },
         Result::MftBitmapPastEnd},
        {"partition information cut by the names",
         [](Buffer& b, const Layout& at) {
             Put<uint32_t>(b, at.blockStart + offsetof(tagBLOCK_START, mftBitmapSize),
                           uint32_t(at.end - 24 - at.blockStart - sizeof(tagBLOCK_START) - 10));
         },
         Result::PartitionInfoPastEnd},
        {"partition information magic", [](Buffer& b, const Layout& at) { b[at.info + 2] ^= 1; },
         Result::BadPartitionInfo},

        {"a digest of 8 bytes",
         [](Buffer& b, const Layout& at) {
             Put<uint16_t>(b, at.info + offsetof(tagPARTITION_INFO, passwordHashSize), 8);
         },
         Result::BadBlobSize},
        {"a description longer than any",
         [](Buffer& b, const Layout& at) {
             Put<uint16_t>(b, at.info + offsetof(tagPARTITION_INFO, descriptionSize),
                           ImageFormat::kMaxBlobBytes + 1);
         },
         Result::BadBlobSize},
        {"a file name longer than any",
         [](Buffer& b, const Layout& at) {
             Put<uint16_t>(b, at.info + offsetof(tagPARTITION_INFO, fileNameSize), 0xFFFF);
         },
         Result::BadBlobSize},
        {"blobs that run into the names",
         [](Buffer& b, const Layout& at) {
             Put<uint16_t>(b, at.info + offsetof(tagPARTITION_INFO, fileNameSize), 30);
         },
         Result::BlobsPastEnd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Layout at;
        Buffer bytes = FirstVolume(&at);
        c.damage(bytes, at);
        MemoryFile file(bytes);
        ImageRecords::FirstVolume volume;
        EXPECT_EQ(ImageRecords::ReadFirstVolume(file, &volume), c.expected);
        EXPECT_TRUE(volume.blobs.passwordDigest.empty());
        EXPECT_EQ(file.outside, 0);
    }
}

TEST(ImageRecords, OnlyTheAreaSizesBackupsStoreGoToADisk)
{
    const struct {
        uint32_t mbr;
        uint16_t bootArea;
        uint8_t fsType;
        Result expected;
    } cases[] = {
        {0, ImageFormat::kNtfsBootAreaBytes, ImageFormat::kFsNtfs, Result::Ok},
        {512, ImageFormat::kNtfsBootAreaBytes, ImageFormat::kFsNtfs, Result::Ok},
        {512, ImageFormat::kFat32BootAreaBytes, ImageFormat::kFsFat32, Result::Ok},
        {1024, ImageFormat::kNtfsBootAreaBytes, ImageFormat::kFsNtfs, Result::BadAreaSize},
        {440, ImageFormat::kNtfsBootAreaBytes, ImageFormat::kFsNtfs, Result::BadAreaSize},
        {0, ImageFormat::kFat32BootAreaBytes, ImageFormat::kFsNtfs, Result::BadAreaSize},
        {0, ImageFormat::kNtfsBootAreaBytes, ImageFormat::kFsFat32, Result::BadAreaSize},
        {0, 0, ImageFormat::kFsNtfs, Result::BadAreaSize},
    };
    for (const auto& c : cases) {
        tagPARTITION_INFO info{};
        info.mbrSize = c.mbr;
        info.bootAreaSize = c.bootArea;
        EXPECT_EQ(ImageRecords::CheckAreaSizes(info, c.fsType), c.expected)
            << c.mbr << " " << c.bootArea << " " << int(c.fsType);
    }
}

TEST(ImageRecords, ADescriptionIsTextOrRefused)
{
    const auto blob = [](const QByteArray& stored) { return Buffer(stored.begin(), stored.end()); };
    QByteArray fourGiB = qCompress(QByteArray("x"));
    fourGiB[0] = fourGiB[1] = fourGiB[2] = fourGiB[3] = char(0xFF);
    QByteArray badStream = qCompress(QByteArray(kDescription));
    badStream[4] = char(badStream[4] ^ 0xFF);
    badStream[5] = char(badStream[5] ^ 0xFF);
    const struct {
        const char* what;
        Buffer stored;
        Result expected;
        std::string text;
    } cases[] = {
        {"none", Buffer(), Result::Ok, ""},
        {"UTF-8 text", blob(qCompress(QByteArray(kDescription))), Result::Ok, kDescription},
        {"text up to its zero byte", blob(qCompress(QByteArray("office\0disk", 11))), Result::Ok, "office"},
        {"a stated length of 0", Buffer(4, 0), Result::Ok, ""},
        {"shorter than its length", Buffer(3, 0), Result::BadDescription, ""},
        {"a stated length of 4 GiB", blob(fourGiB), Result::BadDescription, ""},
        {"a damaged stream", blob(badStream), Result::BadDescription, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = "left over";
        EXPECT_EQ(ImageRecords::DecodeDescription(c.stored, &text), c.expected);
        EXPECT_EQ(text, c.text);
    }
}

}  // namespace
