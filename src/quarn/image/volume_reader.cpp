#include "quarn/image/volume_reader.h"

#include "quarn/api/image_format.h"
#include "quarn/api/quarn.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace {

// Pieces of one check block: a piece is handed out only once its block
// proved itself.
constexpr uint64_t kPieceBytes = ImageFormat::kCheckBlockBytes;

}  // namespace

CVolumeReader::~CVolumeReader()
{
    StopReadAhead();
}

int CVolumeReader::Open(const std::string& path, int mode)
{
    StopReadAhead();
    m_verdict = 0;
    m_pos = 0;
    return m_io.Open(path, mode);
}

int CVolumeReader::Close()
{
    StopReadAhead();
    m_verdict = 0;
    return m_io.Close();
}

int CVolumeReader::Seek(int64_t offset, int whence)
{
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = m_pos;
    } else if (whence == SEEK_END) {
        if (m_io.Seek(0, SEEK_END) != 0)
            return -1;
        base = m_io.GetCurrentPos();
    } else if (whence != SEEK_SET) {
        return -1;
    }
    if (!m_io.IsOpen() || base < 0 || base + offset < 0)
        return -1;
    m_pos = base + offset;
    return 0;
}

int64_t CVolumeReader::Read(void* buffer, int64_t length)
{
    if (m_verdict != 0 || length <= 0 || !m_io.IsOpen())
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    int64_t done = 0;
    while (done < length) {
        int64_t n = TakeAhead(out + done, uint64_t(length - done));
        if (n < 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_verdict = m_aheadResult;
            return 0;
        }
        if (n == 0) {
            // Behind the read-ahead (bytes it proved already) or after the
            // data: straight from the device, within the one piece, so
            // that no byte the read-ahead has not reached comes this way.
            uint64_t want = uint64_t(length - done);
            if (m_reading && uint64_t(m_pos) < m_dataEnd)
                want = std::min(want, (uint64_t(m_pos) / kPieceBytes + 1) * kPieceBytes - uint64_t(m_pos));
            n = m_io.ReadAt(m_pos, out + done, int64_t(want));
            if (n < 0)
                return 0;
            if (n == 0)
                break;
        }
        done += n;
        m_pos += n;
    }
    return done;
}

int64_t CVolumeReader::TakeAhead(unsigned char* out, uint64_t length)
{
    if (!m_reading || uint64_t(m_pos) >= m_dataEnd)
        return 0;
    const uint64_t at = uint64_t(m_pos);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        // Pieces wholly behind the restore are not wanted again.
        bool dropped = false;
        while (!m_ready.empty() && m_ready.front().offset + m_ready.front().length <= at) {
            Recycle(m_ready.front());
            m_ready.pop_front();
            dropped = true;
        }
        if (dropped)
            m_changed.notify_all();
        if (!m_ready.empty()) {
            const Piece& piece = m_ready.front();
            if (piece.offset > at)
                return 0;
            const uint64_t n = std::min(length, piece.offset + piece.length - at);
            std::memcpy(out, piece.bytes.data() + (at - piece.offset), size_t(n));
            return int64_t(n);
        }
        if (m_readTo > at)
            return 0;  // its piece was taken and dropped already
        if (m_done)
            return m_aheadResult != 0 ? -1 : 0;
        m_changed.wait(lock);
    }
}

void CVolumeReader::Recycle(Piece& piece)
{
    m_spare.push_back(std::move(piece.bytes));
}

int CVolumeReader::BeginReadAhead(uint64_t dataEnd, const VolumeCheck::Record* record)
{
    StopReadAhead();
    m_checked = record != nullptr;
    m_record = m_checked ? *record : VolumeCheck::Record{};
    m_dataEnd = m_checked ? m_record.head.coveredBytes : dataEnd;
    m_ready.clear();
    m_readTo = 0;
    m_stop = false;
    m_drain = false;
    m_done = false;
    m_aheadResult = 0;
    m_faultOffset = 0;
    try {
        m_thread = std::thread([this, path = Path()] { ReadAhead(path); });
    } catch (const std::system_error&) {
        DEBUG_TRACE("No thread to read %s!\n", Path().c_str());
        return ERR_NO_MEMORY;
    }
    m_reading = true;
    return 0;
}

void CVolumeReader::ReadAhead(std::string path)
{
    // A handle of its own: the restore's stays where the restore put it.
    CDeviceIo io;
    const int result = io.Open(path, CDeviceIo::ModeRead) == 0 ? ReadPieces(io) : ERR_OPEN_FILE;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_aheadResult = result == ERR_CANCELLED ? 0 : result;
    if (result != 0 && result != ERR_CANCELLED)
        m_faultOffset = m_readTo;
    m_done = true;
    m_changed.notify_all();
}

int CVolumeReader::ReadPieces(CDeviceIo& io)
{
    std::unique_ptr<VolumeCheck::BlockChecker> checker;
    if (m_checked)
        checker = std::make_unique<VolumeCheck::BlockChecker>(m_record);
    for (uint64_t offset = 0; offset < m_dataEnd;) {
        Piece piece;
        piece.offset = offset;
        piece.length = std::min(kPieceBytes, m_dataEnd - offset);
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_drain || m_ready.size() < kPiecesAhead; });
            if (m_stop)
                return ERR_CANCELLED;
            if (!m_spare.empty()) {
                piece.bytes = std::move(m_spare.back());
                m_spare.pop_back();
            }
        }
        try {
            piece.bytes.resize(size_t(kPieceBytes));
        } catch (const std::bad_alloc&) {
            return ERR_NO_MEMORY;
        }
        if (io.ReadAt(int64_t(offset), piece.bytes.data(), int64_t(piece.length)) != int64_t(piece.length)) {
            DEBUG_TRACE("%s cannot be read at offset %llu\n", io.Path().c_str(),
                        static_cast<unsigned long long>(offset));
            return ERR_READ_FILE;
        }
        if (checker && !checker->Feed(piece.bytes.data(), piece.length)) {
            DEBUG_TRACE("Damaged image: a block's checksum in %s at offset %llu\n", io.Path().c_str(),
                        static_cast<unsigned long long>(checker->BadOffset()));
            return ERR_DAMAGED_IMAGE;
        }
        offset += piece.length;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_readTo = offset;
        if (m_drain)
            Recycle(piece);
        else
            m_ready.push_back(std::move(piece));
        m_changed.notify_all();
    }
    return 0;
}

void CVolumeReader::StopReadAhead()
{
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    m_reading = false;
    m_ready.clear();
}

int CVolumeReader::FinishCheck()
{
    if (!m_reading)
        return m_verdict;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_drain = true;
        for (Piece& piece : m_ready)
            Recycle(piece);
        m_ready.clear();
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_done; });
    }
    m_thread.join();
    m_reading = false;
    int result = m_aheadResult;
    if (result == 0 && m_checked)
        result = VolumeCheck::VerifyEndRecords(m_io, m_record);
    if (m_verdict == 0)
        m_verdict = result;
    return m_verdict;
}
