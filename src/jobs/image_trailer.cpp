#include "image_trailer.h"

#include "image_format.h"
#include "log_sink.h"

#include <QFile>

namespace {

// A stated plain length above this is a damaged description: qUncompress
// would allocate whatever the first four bytes claim.
constexpr uint32_t kMaxDescriptionBytes = 0x100000;

// Through QFile, so that the same reader serves the Linux console and the
// Windows desktop program.
class ImageFile {
public:
    explicit ImageFile(const QString& path) : m_file(path) { m_file.open(QIODevice::ReadOnly); }

    bool isOpen() const { return m_file.isOpen(); }

    // The file's length, or -1 when it cannot be measured.
    int64_t size() const
    {
        const qint64 length = m_file.size();
        if (length < 0 || m_file.error() != QFileDevice::NoError) {
            LogSink::write(QStringLiteral("seek error: %1\n").arg(m_file.errorString()));
            return -1;
        }
        return length;
    }

    // Reads exactly `length` bytes at `offset`; a failure is reported to
    // the log sink.
    bool readAt(uint64_t offset, void* buffer, size_t length)
    {
        if (!m_file.seek(static_cast<qint64>(offset))) {
            LogSink::write(QStringLiteral("read error: %1\n").arg(m_file.errorString()));
            return false;
        }
        auto* out = static_cast<char*>(buffer);
        size_t done = 0;
        while (done < length) {
            const qint64 got = m_file.read(out + done, static_cast<qint64>(length - done));
            if (got <= 0) {
                LogSink::write(QStringLiteral("read error: %1\n")
                                   .arg(got < 0 ? m_file.errorString() : QStringLiteral("short read")));
                return false;
            }
            done += static_cast<size_t>(got);
        }
        return true;
    }

    bool readAt(uint64_t offset, QByteArray* bytes, uint32_t length)
    {
        bytes->resize(static_cast<int>(length));
        return readAt(offset, bytes->data(), length);
    }

private:
    QFile m_file;
};

uint32_t bigEndian32(const QByteArray& bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

// The Qt-compressed description as text up to its first zero byte; false
// when the blob is damaged.
bool decodeDescription(const QByteArray& stored, QString* text)
{
    if (stored.size() < 4)
        return false;
    const uint32_t plainBytes = bigEndian32(stored);
    if (plainBytes == 0) {
        text->clear();
        return true;
    }
    if (plainBytes > kMaxDescriptionBytes)
        return false;
    QByteArray plain = qUncompress(stored);
    if (plain.isEmpty())
        return false;
    const int zero = plain.indexOf('\0');
    if (zero >= 0)
        plain.truncate(zero);
    // The engine stores the request's bytes, which both programs give as
    // UTF-8, whatever the reading machine's locale.
    *text = QString::fromUtf8(plain);
    return true;
}

ImageTrailer failed(ImageTrailer::Status status)
{
    ImageTrailer result;
    result.status = status;
    return result;
}

// The trailer that ends every volume, its magic checked; `fileSize` is the
// volume's length. Ok, or why it cannot be read.
ImageTrailer::Status readEndRecord(ImageFile& file, int64_t fileSize, tagBLOCK_END* end)
{
    if (fileSize < 0)
        return ImageTrailer::StreamFailed;
    if (uint64_t(fileSize) < sizeof(*end))
        return ImageTrailer::Corrupted;
    if (!file.readAt(uint64_t(fileSize) - sizeof(*end), end, sizeof(*end)))
        return ImageTrailer::StreamFailed;
    return end->magic == ImageFormat::kBlockEndMagic ? ImageTrailer::Ok : ImageTrailer::Corrupted;
}

}  // namespace

ImageVolumeEnd readImageVolumeEnd(const QString& path)
{
    ImageVolumeEnd result;
    ImageFile file(path);
    tagBLOCK_END end{};
    if (!file.isOpen() || readEndRecord(file, file.size(), &end) != ImageTrailer::Ok)
        return result;
    result.ok = true;
    result.volumeIndex = end.volumeIndex;
    result.generation = end.generation;
    result.nextFollows = end.nextNameSize != 0;
    return result;
}

ImageTrailer readImageTrailerRecords(const QString& path)
{
    ImageFile file(path);
    if (!file.isOpen())
        return failed(ImageTrailer::OpenFailed);
    const int64_t fileSize = file.size();
    tagBLOCK_END end{};
    const ImageTrailer::Status endStatus = readEndRecord(file, fileSize, &end);
    if (endStatus != ImageTrailer::Ok)
        return failed(endStatus);
    const uint64_t size = static_cast<uint64_t>(fileSize);
    if (end.volumeIndex != 0)
        return failed(ImageTrailer::NotFirstVolume);

    // Everything between the block start and the trailer's names must lie
    // inside the file, in front of those names.
    const uint64_t names = uint64_t(end.prevNameSize) + end.nextNameSize;
    if (names > size - sizeof(end))
        return failed(ImageTrailer::Corrupted);
    const uint64_t recordsEnd = size - sizeof(end) - names;
    const uint64_t blockStart = ImageFormat::BlockStartOf(end);
    if (blockStart > recordsEnd)
        return failed(ImageTrailer::Corrupted);
    uint64_t pos = blockStart;
    auto fits = [&](uint64_t length) { return length <= recordsEnd - pos; };

    tagBLOCK_START start{};
    if (!fits(sizeof(start)))
        return failed(ImageTrailer::Corrupted);
    if (!file.readAt(pos, &start, sizeof(start)))
        return failed(ImageTrailer::StreamFailed);
    if (start.magic != ImageFormat::kBlockStartMagic)
        return failed(ImageTrailer::Corrupted);
    pos += sizeof(start);
    if (!fits(start.mftBitmapSize))
        return failed(ImageTrailer::Corrupted);
    pos += start.mftBitmapSize;

    tagPARTITION_INFO info{};
    if (!fits(sizeof(info)))
        return failed(ImageTrailer::Corrupted);
    if (!file.readAt(pos, &info, sizeof(info)))
        return failed(ImageTrailer::StreamFailed);
    if (info.magic != ImageFormat::kPartitionInfoMagic)
        return failed(ImageTrailer::Corrupted);
    pos += sizeof(info);

    const uint64_t blobs = uint64_t(info.mbrSize) + info.bootAreaSize + info.passwordHashSize +
                           info.descriptionSize + info.fileNameSize;
    if (!fits(blobs))
        return failed(ImageTrailer::Corrupted);
    if (info.passwordHashSize != 0 && info.passwordHashSize != kPasswordDigestBytes)
        return failed(ImageTrailer::Corrupted);
    pos += uint64_t(info.mbrSize) + info.bootAreaSize;

    ImageTrailer result;
    result.mbrBytes = info.mbrSize;
    result.usedBytes = info.usedBytes;
    result.fsType = end.fsType;
    if (info.passwordHashSize > 0) {
        if (!file.readAt(pos, &result.passwordDigest, info.passwordHashSize))
            return failed(ImageTrailer::StreamFailed);
        pos += info.passwordHashSize;
    }
    if (info.descriptionSize > 0) {
        // The engine refuses a longer blob than any backup writes.
        if (info.descriptionSize > ImageFormat::kMaxBlobBytes)
            return failed(ImageTrailer::Corrupted);
        QByteArray stored;
        if (!file.readAt(pos, &stored, info.descriptionSize))
            return failed(ImageTrailer::StreamFailed);
        if (!decodeDescription(stored, &result.description))
            return failed(ImageTrailer::Corrupted);
    }
    result.status = ImageTrailer::Ok;
    return result;
}
