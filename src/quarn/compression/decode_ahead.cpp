#include "quarn/compression/decode_ahead.h"

#include "quarn/api/entry_guard.h"
#include "quarn/compression/compress_data.h"
#include "quarn/api/quarn.h"

#include <algorithm>
#include <new>

CDecodeAhead::CDecodeAhead(uint8_t compressType) : m_type(compressType)
{
    m_coder = std::make_unique<CCompressData>(compressType);
    if (!m_coder->IsReady())
        return;
    try {
        m_worker = std::thread(&CDecodeAhead::WorkerLoop, this);
    } catch (const std::exception&) {
        return;
    }
    m_ready = true;
}

CDecodeAhead::~CDecodeAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void CDecodeAhead::Start()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_set;
        m_pieces.clear();
        m_outputs.clear();
    }
    m_changed.notify_all();
}

bool CDecodeAhead::CanFeed()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pieces.size() < kPiecesWaiting;
}

int CDecodeAhead::Feed(uint32_t length, const std::function<bool(unsigned char*)>& read)
{
    Piece piece;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_sparePieces.empty()) {
            piece.bytes = std::move(m_sparePieces.back());
            m_sparePieces.pop_back();
        }
    }
    try {
        piece.bytes.resize(length);
    } catch (const std::bad_alloc&) {
        return ERR_NO_MEMORY;
    }
    if (!read(piece.bytes.data()))
        return ERR_READ_FILE;
    Push(std::move(piece));
    return 0;
}

void CDecodeAhead::FeedEnd()
{
    Piece piece;
    piece.end = true;
    Push(std::move(piece));
}

void CDecodeAhead::Push(Piece piece)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_pieces.size() < kPiecesWaiting; });
    m_pieces.push_back(std::move(piece));
    lock.unlock();
    m_changed.notify_all();
}

int CDecodeAhead::Take(const unsigned char** out, uint32_t* length, bool* hungry)
{
    *out = nullptr;
    *length = 0;
    *hungry = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] {
            return !m_outputs.empty() || m_outOfMemory || (m_pieces.empty() && !m_workerBusy);
        });
        if (m_outputs.empty() && m_outOfMemory)
            return ERR_NO_MEMORY;
        if (m_outputs.empty()) {
            *hungry = true;
            return 0;
        }
        if (m_taken.bytes.capacity() != 0 && m_spareOutputs.size() < kOutputsWaiting + 2)
            m_spareOutputs.push_back(std::move(m_taken.bytes));
        m_taken = std::move(m_outputs.front());
        m_outputs.pop_front();
    }
    m_changed.notify_all();
    if (m_taken.result != 0)
        return m_taken.result;
    *out = m_taken.bytes.data();
    *length = static_cast<uint32_t>(m_taken.bytes.size());
    return 0;
}

bool CDecodeAhead::Put(Output output)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(
        lock, [this] { return m_stopping || m_set != m_workerSet || m_outputs.size() < kOutputsWaiting; });
    if (m_stopping || m_set != m_workerSet)
        return false;
    // No exception may leave the worker; an output that cannot be queued
    // fails the job once the job has taken what came before it.
    try {
        m_outputs.push_back(std::move(output));
    } catch (const std::bad_alloc&) {
        m_outOfMemory = true;
    }
    lock.unlock();
    m_changed.notify_all();
    return true;
}

bool CDecodeAhead::PutGathered()
{
    if (m_gathered.bytes.empty())
        return true;
    Output output = std::move(m_gathered);
    m_gathered = Output();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_spareOutputs.empty()) {
            m_gathered.bytes = std::move(m_spareOutputs.back());
            m_spareOutputs.pop_back();
            m_gathered.bytes.clear();
        }
    }
    return Put(std::move(output));
}

bool CDecodeAhead::Decode(const unsigned char* data, unsigned length, bool final)
{
    bool more = false;
    do {
        unsigned char* out = nullptr;
        unsigned long outLength = 0;
        const bool drain = more;
        // This runs on the worker, which no exception may leave: a coder
        // that cannot get its memory fails the set.
        const int decoded = GuardedEntry("the decoding worker", [&] {
            return m_coder->Decompress(drain ? nullptr : const_cast<unsigned char*>(data), drain ? 0 : length,
                                       final, &out, &outLength, more);
        });
        if (decoded != 0)
            return false;
        // A coder that asks to be called again without giving anything
        // would never end.
        if (more && outLength == 0 && (drain || data == nullptr))
            return false;
        if (out != nullptr && outLength != 0) {
            try {
                m_gathered.bytes.insert(m_gathered.bytes.end(), out, out + outLength);
            } catch (const std::bad_alloc&) {
                return false;
            }
            if (m_gathered.bytes.size() >= kGatherBytes && !PutGathered())
                return true;  // the set was given up: nothing more to do for it
        }
    } while (more);
    return true;
}

void CDecodeAhead::WorkerLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    uint64_t failedSet = 0;
    bool failed = false;
    while (true) {
        m_changed.wait(lock, [this] { return m_stopping || !m_pieces.empty(); });
        if (m_stopping)
            return;
        Piece piece = std::move(m_pieces.front());
        m_pieces.pop_front();
        if (m_workerSet != m_set)
            m_gathered = Output();  // bytes of a set given up
        m_workerSet = m_set;
        m_workerBusy = true;
        lock.unlock();
        m_changed.notify_all();

        if (!(failed && failedSet == m_workerSet)) {
            failed = false;
            bool ok = true;
            if (!m_coderMidSet) {
                m_coderMidSet = true;
                m_coderSet = m_workerSet;
            } else if (m_coderSet != m_workerSet) {
                // The last set was given up before its end: its coder state
                // must not leak into this one.
                // Nothing may leave the worker: a coder that cannot be
                // made fails the set like one that cannot decode it.
                ok = GuardedEntry("the decoding worker", [this] {
                         m_coder = std::make_unique<CCompressData>(m_type);
                         return m_coder->IsReady() ? 0 : ERR_COMPRESS;
                     }) == 0;
                m_coderSet = m_workerSet;
            }
            if (ok && piece.end)
                ok = Decode(nullptr, 0, true);
            for (size_t done = 0; ok && !piece.end && done < piece.bytes.size(); done += kCoderPieceBytes) {
                const size_t n = std::min<size_t>(kCoderPieceBytes, piece.bytes.size() - done);
                ok = Decode(piece.bytes.data() + done, static_cast<unsigned>(n), false);
            }
            if (ok && piece.end) {
                m_coderMidSet = false;
                Output end;
                end.end = true;
                if (PutGathered())
                    Put(std::move(end));
            }
            if (!ok) {
                m_gathered = Output();
                failed = true;
                failedSet = m_workerSet;
                m_coderMidSet = true;  // the coder's state is unknown: the next set gets a new one
                m_coderSet = 0;
                Output error;
                error.result = ERR_COMPRESS;
                Put(std::move(error));
            }
        }
        // Nothing more to decode for now: what was gathered goes out before
        // the worker waits, so the job never waits for bytes held here.
        bool idle = false;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            idle = m_pieces.empty();
            if (piece.bytes.capacity() != 0 && m_sparePieces.size() < kPiecesWaiting + 2) {
                try {
                    m_sparePieces.push_back(std::move(piece.bytes));
                } catch (const std::bad_alloc&) {
                    // A spare is only kept to be used again.
                }
            }
        }
        if (idle && !(failed && failedSet == m_workerSet))
            PutGathered();
        lock.lock();
        m_workerBusy = false;
        m_changed.notify_all();
    }
}
