#include "quarn/image/verify_source.h"

#include "quarn/api/quarn.h"

#include <algorithm>
#include <cstdio>
#include <vector>

CVerifySource::CVerifySource(const std::vector<VerifyVolume>& volumes, uint8_t compressType)
    : m_volumes(volumes), m_compressType(compressType)
{}

uint64_t CVerifySource::Position() const
{
    const int64_t pos = m_io.GetCurrentPos();
    return pos > 0 ? uint64_t(pos) : 0;
}

int DamagedAt(const std::string& path, const char* what, uint64_t offset)
{
    DEBUG_TRACE("Damaged image: %s in %s at offset %llu\n", what, path.c_str(),
                static_cast<unsigned long long>(offset));
    return ERR_DAMAGED_IMAGE;
}

int64_t CVerifySource::ReadImage(void* into, int64_t length)
{
    return m_io.Read(into, length);
}

int CVerifySource::SkipImage(uint64_t length)
{
    return m_io.Seek(static_cast<int64_t>(length), SEEK_CUR) == 0 ? 0 : ERR_SEEK_FILE;
}

int CVerifySource::Damaged(const char* what) const
{
    return DamagedAt(m_index < m_volumes.size() ? m_volumes[m_index].path : std::string(), what, Position());
}

int CVerifySource::Start(uint64_t offset)
{
    m_index = 0;
    m_io.Close();
    if (m_volumes.empty() || m_io.Open(m_volumes[0].path, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    if (m_entered) {
        const int result = m_entered(0);
        if (result != 0)
            return result;
    }
    if (offset > m_volumes[0].dataEnd)
        return Damaged("the data section starts past the volume's data");
    return m_io.Seek(int64_t(offset), SEEK_SET) == 0 ? 0 : ERR_SEEK_FILE;
}

uint64_t CVerifySource::ImageBytesLeft() const
{
    const uint64_t end = m_volumes[m_index].dataEnd;
    const uint64_t pos = Position();
    return pos < end ? end - pos : 0;
}

int CVerifySource::ReadData(void* out, uint32_t length, const char* what)
{
    if (ImageBytesLeft() < length)
        return Damaged(what);
    return m_io.Read(out, length) == int64_t(length) ? 0 : ERR_READ_FILE;
}

int CVerifySource::OpenNextVolume()
{
    if (ImageBytesLeft() != 0)
        return Damaged("a data set goes on to the next volume before this one's data ends");
    if (m_index + 1 >= m_volumes.size()) {
        DEBUG_TRACE("A data set goes on after the image's last volume!\n");
        return ERR_SET_PAST_LAST_VOLUME;
    }
    if (m_done) {
        const int result = m_done(m_index);
        if (result != 0)
            return result;
    }
    m_io.Close();
    ++m_index;
    if (m_io.Open(m_volumes[m_index].path, CDeviceIo::ModeRead) != 0)
        return ERR_OPEN_FILE;
    if (m_entered) {
        const int result = m_entered(m_index);
        if (result != 0)
            return result;
    }
    return m_io.Seek(0, SEEK_SET) == 0 ? 0 : ERR_SEEK_FILE;
}

int CVerifySource::Finish()
{
    if (m_index + 1 != m_volumes.size())
        return Damaged("the data section ends before the image's last volume");
    if (ImageBytesLeft() != 0)
        return Damaged("bytes after the end of the data section");
    return m_done ? m_done(m_index) : 0;
}

int ReadDataSet(CDataSetReader& reader, uint64_t plainBytes, const std::function<bool()>& cancelled)
{
    constexpr uint32_t kPiece = 1u << 20;
    // Decoded bytes between two questions whether the caller cancels.
    constexpr uint64_t kCancelCheckBytes = 64u << 20;
    int result = reader.Begin();
    if (result != 0)
        return result;
    std::vector<unsigned char> scratch(kPiece);
    for (uint64_t left = plainBytes, since = 0; left > 0;) {
        const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(left, kPiece));
        uint32_t got = 0;
        result = reader.Read(scratch.data(), want, &got);
        if (result != 0)
            return result;
        if (got != want)
            return reader.MismatchCode();
        left -= want;
        since += want;
        if (since >= kCancelCheckBytes) {
            since = 0;
            if (cancelled && cancelled())
                return ERR_CANCELLED;
        }
    }
    uint64_t extra = 0;
    result = reader.Finish(&extra);
    return result != 0 ? result : (extra != 0 ? reader.MismatchCode() : 0);
}
