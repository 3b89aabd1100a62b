#include "jobs/image_trailer.h"

#include "quarn/api/image_format.h"
#include "quarn/records/image_records.h"
#include "jobs/log_sink.h"

#include <QFile>

namespace {

// Through QFile, so that the same reader serves the Linux console and the
// Windows desktop program.
class ImageFile : public ImageRecords::RecordFile {
public:
    explicit ImageFile(const QString& path) : m_file(path) { m_file.open(QIODevice::ReadOnly); }

    bool isOpen() const { return m_file.isOpen(); }

    bool Bytes(uint64_t* bytes) override
    {
        const qint64 length = m_file.size();
        if (length < 0 || m_file.error() != QFileDevice::NoError) {
            LogSink::write(QStringLiteral("seek error: %1\n").arg(m_file.errorString()));
            return false;
        }
        *bytes = static_cast<uint64_t>(length);
        return true;
    }

    // A failure is reported to the log sink.
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override
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

private:
    QFile m_file;
};

ImageTrailer failed(ImageTrailer::Status status)
{
    ImageTrailer result;
    result.status = status;
    return result;
}

ImageTrailer::Status statusOf(ImageRecords::Result result)
{
    switch (result) {
    case ImageRecords::Result::Ok:
        return ImageTrailer::Ok;
    case ImageRecords::Result::Unreadable:
        return ImageTrailer::StreamFailed;
    default:
        return ImageTrailer::Corrupted;
    }
}

QByteArray bytesOf(const std::vector<unsigned char>& blob)
{
    return QByteArray(reinterpret_cast<const char*>(blob.data()), static_cast<int>(blob.size()));
}

}  // namespace

ImageVolumeEnd readImageVolumeEnd(const QString& path)
{
    ImageVolumeEnd result;
    ImageFile file(path);
    ImageRecords::Trailer trailer;
    if (!file.isOpen() || ImageRecords::ReadTrailer(file, &trailer) != ImageRecords::Result::Ok)
        return result;
    result.ok = true;
    result.volumeIndex = trailer.end.volumeIndex;
    result.generation = trailer.end.generation;
    result.nextFollows = trailer.end.nextNameSize != 0;
    return result;
}

ImageTrailer readImageTrailerRecords(const QString& path)
{
    ImageFile file(path);
    if (!file.isOpen())
        return failed(ImageTrailer::OpenFailed);
    ImageRecords::Trailer trailer;
    ImageRecords::Result read = ImageRecords::ReadTrailer(file, &trailer);
    if (read != ImageRecords::Result::Ok)
        return failed(statusOf(read));
    if (trailer.end.volumeIndex != 0)
        return failed(ImageTrailer::NotFirstVolume);
    ImageRecords::EndRecords records;
    ImageRecords::Blobs blobs;
    read = ImageRecords::ReadEndRecords(file, trailer, &records);
    if (read == ImageRecords::Result::Ok)
        read = ImageRecords::ReadBlobs(file, trailer, records, &blobs);
    std::string description;
    if (read == ImageRecords::Result::Ok)
        read = ImageRecords::DecodeDescription(blobs.description, &description);
    if (read != ImageRecords::Result::Ok)
        return failed(statusOf(read));

    ImageTrailer result;
    result.status = ImageTrailer::Ok;
    result.mbrBytes = records.info.mbrSize;
    result.usedBytes = records.info.usedBytes;
    result.fsType = trailer.end.fsType;
    result.passwordDigest = bytesOf(blobs.passwordDigest);
    // The engine stores the request's bytes, which both programs give as
    // UTF-8, whatever the reading machine's locale.
    result.description = QString::fromUtf8(description.data(), static_cast<int>(description.size()));
    return result;
}
