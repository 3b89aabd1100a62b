// Decompresses the stored bytes of one data set on a worker thread, ahead
// of the job that writes the plain bytes out, so that reading the image,
// decoding and writing the target overlap. The worker calls its own
// CCompressData exactly as a reader on one thread would: each stored piece
// as given (draining while the coder has more), then the final call.
// A fixed number of pieces wait on each side.
#ifndef QUARN_COMPRESSION_DECODE_AHEAD_H
#define QUARN_COMPRESSION_DECODE_AHEAD_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CCompressData;

class CDecodeAhead {
public:
    static constexpr size_t kPiecesWaiting = 4;           // stored pieces given, not yet decoded
    static constexpr uint32_t kFeedBytes = 0x40000;       // stored bytes given at once
    static constexpr uint32_t kCoderPieceBytes = 0x8000;  // and handed to the coder at once
    // Sets of at most this many stored bytes are not worth a worker.
    static constexpr uint64_t kSmallSetBytes = 0x100000;
    static constexpr size_t kOutputsWaiting = 8;     // decoded pieces not yet taken
    static constexpr size_t kGatherBytes = 0x40000;  // decoded bytes handed over at once

    explicit CDecodeAhead(uint8_t compressType);
    // Stops the worker and joins it.
    ~CDecodeAhead();
    CDecodeAhead(const CDecodeAhead&) = delete;
    CDecodeAhead& operator=(const CDecodeAhead&) = delete;

    bool IsReady() const { return m_ready; }

    // Starts a new set: whatever the last one left is dropped.
    void Start();
    // Room for one more stored piece.
    bool CanFeed();
    // Gives the worker the next `length` stored bytes (at most kFeedBytes),
    // which `read` puts into the buffer it is given (false: ERR_READ_FILE).
    // Waits for room.
    int Feed(uint32_t length, const std::function<bool(unsigned char*)>& read);
    // Tells the worker that the set's stored bytes are all given.
    void FeedEnd();
    // Waits for the next decoded bytes: 0 with *out and *length (valid until
    // the next call; *length 0 at the set's end), or ERR_COMPRESS when the
    // coder failed. *hungry: nothing came, and the worker has decoded every
    // piece it was given; feed it more.
    int Take(const unsigned char** out, uint32_t* length, bool* hungry);

private:
    struct Piece {
        std::vector<unsigned char> bytes;
        bool end = false;
    };
    struct Output {
        std::vector<unsigned char> bytes;
        bool end = false;
        int result = 0;
    };

    void Push(Piece piece);
    void WorkerLoop();
    // One coder call and the calls that drain it; false when it failed.
    bool Decode(const unsigned char* data, unsigned length, bool final);
    bool Put(Output output);
    // Hands over the decoded bytes gathered so far (false: the set was given up).
    bool PutGathered();

    bool m_ready = false;
    uint8_t m_type;
    std::unique_ptr<CCompressData> m_coder;  // the worker's only
    bool m_coderMidSet = false;              // the worker's: a set began but did not end
    uint64_t m_coderSet = 0;                 // the worker's: the set the coder is in
    Output m_gathered;                       // the worker's: decoded bytes not yet handed over

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Piece> m_pieces;
    std::deque<Output> m_outputs;
    // Buffers handed back, so that pieces and outputs reuse their memory.
    std::vector<std::vector<unsigned char>> m_sparePieces;
    std::vector<std::vector<unsigned char>> m_spareOutputs;
    uint64_t m_set = 0;        // bumped by Start: the worker drops an older set's work
    uint64_t m_workerSet = 0;  // the set the worker is decoding
    bool m_workerBusy = false;
    bool m_stopping = false;
    // An output could not be queued: the job fails with ERR_NO_MEMORY.
    bool m_outOfMemory = false;

    Output m_taken;  // the job's; what Take handed out last

    std::thread m_worker;
};

#endif
