// The restore wizard's reading of an image's end records: real images made
// by the engine from an ntfs-3g partition, and the same images damaged so
// that every stored size points somewhere the file does not reach.
#include "quarn/api/image_format.h"
#include "jobs/image_trailer.h"
#include "support/ntfs_fixture.h"
#include "storage/parted_sanitizer_options.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <QCryptographicHash>
#include <QTextCodec>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>

namespace {

using testsupport::FileExists;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

const char kPassword[] = "secret1";
const char kDescription[] = "Weekly image of the office disk";

class ImageTrailerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!testsupport::HaveNtfsTools())
            return;
        s_dir = new TempDir;
        const std::string part = s_dir->file("sdz1");
        const std::string disk = s_dir->file("sdz");
        std::string log;
        if (!testsupport::MakeNtfsPartition(part, 8 << 20, &log)) {
            ADD_FAILURE() << log;
            return;
        }
        std::vector<uint8_t> diskStart = testsupport::PatternBytes(1 << 20, 7);
        WriteFileBytes(disk, diskStart);

        tagBackupArgument arg;
        arg.srcPartition = part;
        arg.fsType = FS_TYPE_NTFS;
        arg.imagePath = s_dir->file("protected");
        arg.mbrSource = disk;
        arg.mbrSize = 512;
        arg.password = kPassword;
        arg.description = kDescription;
        EXPECT_EQ(backup_ntfs(arg, tagCallBackFunc(), nullptr, 0), 0);

        tagBackupArgument plain;
        plain.srcPartition = part;
        plain.fsType = FS_TYPE_NTFS;
        plain.imagePath = s_dir->file("split");
        plain.volumeSize = 1 << 20;
        EXPECT_EQ(backup_ntfs(plain, tagCallBackFunc(), nullptr, 0), 0);
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override
    {
        if (!testsupport::HaveNtfsTools())
            SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
        ASSERT_TRUE(FileExists(protectedImage()));
    }

    static std::string protectedImage() { return s_dir->file("protected_0_0.bkp"); }

    // A copy of the protected image changed by `damage`, which gets the
    // bytes and the offsets of its records.
    std::string
    damagedCopy(const std::function<void(std::vector<uint8_t>&, size_t start, size_t info)>& damage)
    {
        std::vector<uint8_t> bytes = ReadFileBytes(protectedImage());
        tagBLOCK_END end{};
        std::memcpy(&end, bytes.data() + bytes.size() - sizeof(end), sizeof(end));
        const size_t start = end.blkStartLow;
        tagBLOCK_START blockStart{};
        std::memcpy(&blockStart, bytes.data() + start, sizeof(blockStart));
        const size_t info = start + sizeof(tagBLOCK_START) + blockStart.mftBitmapSize;
        damage(bytes, start, info);
        const std::string path = m_dir.file("damaged_0_0.bkp");
        WriteFileBytes(path, bytes);
        return path;
    }

    static TempDir* s_dir;
    TempDir m_dir;
};

TempDir* ImageTrailerTest::s_dir = nullptr;

template <typename T>
void Put(std::vector<uint8_t>& bytes, size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof(value));
}

size_t EndOffset(const std::vector<uint8_t>& bytes)
{
    return bytes.size() - sizeof(tagBLOCK_END);
}

TEST_F(ImageTrailerTest, ReadsTheDigestDescriptionAndDiskStartOfAnEngineImage)
{
    const ImageTrailer trailer = readImageTrailerRecords(QString::fromStdString(protectedImage()));
    ASSERT_EQ(trailer.status, ImageTrailer::Ok);
    EXPECT_EQ(trailer.passwordDigest, QCryptographicHash::hash(kPassword, QCryptographicHash::Md5));
    EXPECT_EQ(trailer.passwordDigest.size(), ImageFormat::kPasswordDigestBytes);
    EXPECT_EQ(trailer.description, QString::fromUtf8(kDescription));
    EXPECT_EQ(trailer.mbrBytes, 512u);
    EXPECT_EQ(trailer.fsType, FS_TYPE_NTFS);
}

TEST_F(ImageTrailerTest, AUtf8DescriptionReadsTheSameWhateverTheLocalesCodec)
{
    // The engine stores the request's UTF-8 bytes; the desktop's locale
    // codec is gb18030, which would read them as other characters.
    const char description[] = "\xe5\xa4\x87\xe4\xbb\xbd\xe5\x88\x86\xe5\x8c\xba: C  caf\xc3\xa9";
    tagBackupArgument arg;
    arg.srcPartition = s_dir->file("sdz1");
    arg.fsType = FS_TYPE_NTFS;
    arg.imagePath = m_dir.file("utf8");
    arg.description = description;
    ASSERT_EQ(backup_ntfs(arg, tagCallBackFunc(), nullptr, 0), 0);
    const QString image = QString::fromStdString(m_dir.file("utf8_0_0.bkp"));

    // Put back even when a check fails.
    struct LocaleCodec {
        QTextCodec* const before = QTextCodec::codecForLocale();
        ~LocaleCodec() { QTextCodec::setCodecForLocale(before); }
    } keep;
    for (const char* codec : {"GB18030", "ISO-8859-1", "UTF-8"}) {
        SCOPED_TRACE(codec);
        QTextCodec::setCodecForLocale(QTextCodec::codecForName(codec));
        const ImageTrailer trailer = readImageTrailerRecords(image);
        ASSERT_EQ(trailer.status, ImageTrailer::Ok);
        EXPECT_EQ(trailer.description, QString::fromUtf8(description));
        EXPECT_GT(trailer.usedBytes, 0u);
    }
}

TEST_F(ImageTrailerTest, AnImageWithoutPasswordOrDescriptionReadsEmpty)
{
    const ImageTrailer trailer =
        readImageTrailerRecords(QString::fromStdString(s_dir->file("split_0_0.bkp")));
    ASSERT_EQ(trailer.status, ImageTrailer::Ok);
    EXPECT_TRUE(trailer.passwordDigest.isEmpty());
    EXPECT_TRUE(trailer.description.isEmpty());
    EXPECT_EQ(trailer.mbrBytes, 0u);
}

TEST_F(ImageTrailerTest, ALaterVolumeIsNotTheFirst)
{
    ASSERT_TRUE(FileExists(s_dir->file("split_1_0.bkp")));
    EXPECT_EQ(readImageTrailerRecords(QString::fromStdString(s_dir->file("split_1_0.bkp"))).status,
              ImageTrailer::NotFirstVolume);
}

TEST_F(ImageTrailerTest, AMissingFileFailsSilently)
{
    EXPECT_EQ(readImageTrailerRecords(QString::fromStdString(m_dir.file("none_0_0.bkp"))).status,
              ImageTrailer::OpenFailed);
}

TEST_F(ImageTrailerTest, DamagedAndForeignFilesAreCorrupted)
{
    using Damage = std::function<void(std::vector<uint8_t>&, size_t, size_t)>;
    const size_t endMagic = 0;
    const struct {
        const char* what;
        Damage damage;
    } cases[] = {
        {"shorter than a trailer", [](std::vector<uint8_t>& b, size_t, size_t) { b.resize(20); }},
        {"foreign text",
         [](std::vector<uint8_t>& b, size_t, size_t) {
             const std::string text(300, 'x');
             b.assign(text.begin(), text.end());
         }},
        {"trailer magic", [&](std::vector<uint8_t>& b, size_t, size_t) { b[EndOffset(b) + endMagic] ^= 1; }},
        {"block start past the end",
         [](std::vector<uint8_t>& b, size_t, size_t) {
             Put<uint32_t>(b, EndOffset(b) + offsetof(tagBLOCK_END, blkStartHigh), 7);
         }},
        {"block start inside the trailer",
         [](std::vector<uint8_t>& b, size_t, size_t) {
             Put<uint32_t>(b, EndOffset(b) + offsetof(tagBLOCK_END, blkStartLow), uint32_t(EndOffset(b) - 4));
         }},
        {"names longer than the file",
         [](std::vector<uint8_t>& b, size_t, size_t) {
             Put<uint16_t>(b, EndOffset(b) + offsetof(tagBLOCK_END, prevNameSize), 0xFFFF);
         }},
        {"block start magic", [](std::vector<uint8_t>& b, size_t start, size_t) { b[start] ^= 1; }},
        {"MFT bitmap past the end",
         [](std::vector<uint8_t>& b, size_t start, size_t) {
             Put<uint32_t>(b, start + offsetof(tagBLOCK_START, mftBitmapSize), 0x7FFFFFFF);
         }},
        {"partition information magic",
         [](std::vector<uint8_t>& b, size_t, size_t info) { b[info + 1] ^= 1; }},
        {"disk start past the end",
         [](std::vector<uint8_t>& b, size_t, size_t info) {
             Put<uint32_t>(b, info + offsetof(tagPARTITION_INFO, mbrSize), 0xFFFFFF00);
         }},
        {"digest of 65535 bytes",
         [](std::vector<uint8_t>& b, size_t, size_t info) {
             Put<uint16_t>(b, info + offsetof(tagPARTITION_INFO, passwordHashSize), 0xFFFF);
         }},
        {"digest of 8 bytes",
         [](std::vector<uint8_t>& b, size_t, size_t info) {
             Put<uint16_t>(b, info + offsetof(tagPARTITION_INFO, passwordHashSize), 8);
         }},
        {"description past the end",
         [](std::vector<uint8_t>& b, size_t, size_t info) {
             Put<uint16_t>(b, info + offsetof(tagPARTITION_INFO, descriptionSize), 0xFFFF);
         }},
        {"description claiming 4 GiB",
         [](std::vector<uint8_t>& b, size_t, size_t info) {
             tagPARTITION_INFO record{};
             std::memcpy(&record, b.data() + info, sizeof(record));
             const size_t blob =
                 info + sizeof(record) + record.mbrSize + record.bootAreaSize + record.passwordHashSize;
             b[blob] = b[blob + 1] = b[blob + 2] = b[blob + 3] = 0xFF;
         }},
        {"description stream",
         [](std::vector<uint8_t>& b, size_t, size_t info) {
             tagPARTITION_INFO record{};
             std::memcpy(&record, b.data() + info, sizeof(record));
             const size_t blob =
                 info + sizeof(record) + record.mbrSize + record.bootAreaSize + record.passwordHashSize;
             b[blob + 4] ^= 0xFF;
             b[blob + 5] ^= 0xFF;
         }},
    };
    for (const auto& c : cases) {
        const std::string path = damagedCopy(c.damage);
        const ImageTrailer trailer = readImageTrailerRecords(QString::fromStdString(path));
        EXPECT_EQ(trailer.status, ImageTrailer::Corrupted) << c.what;
        EXPECT_TRUE(trailer.passwordDigest.isEmpty()) << c.what;
        EXPECT_TRUE(trailer.description.isEmpty()) << c.what;
    }
}

}  // namespace
