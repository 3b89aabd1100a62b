// Compresses the plain stream of one data set on a pool of worker threads
// while the job goes on reading, and hands the stored bytes back in stream
// order. The stream is cut into blocks of kBlockBytes; at most a fixed
// number of blocks are in flight, so memory stays bounded whatever the set's
// size.
//
// The stored set stays one stream that the single coder (CCompressData)
// decodes unchanged:
//  - QuickLZ: packets are independent and cut every 0x8000 bytes of the
//    set's stream; blocks are multiples of that, so the packets and their
//    bytes are the very ones the single coder makes.
//  - deflate: each block is deflated on its own, primed with the previous
//    32 KiB of the stream as preset dictionary, and ends on a byte boundary
//    (an empty stored block, as a sync flush makes); the set's last block
//    ends the stream. A set of one block is the single coder's stream.
#ifndef QUARN_COMPRESSION_PARALLEL_COMPRESSOR_H
#define QUARN_COMPRESSION_PARALLEL_COMPRESSOR_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CBlockCoder;

class CParallelCompressor {
public:
    static constexpr uint32_t kBlockBytes = 0x20000;
    static constexpr uint32_t kDictionaryBytes = 0x8000;
    // Blocks in flight per worker thread, and actions besides.
    static constexpr unsigned kBlocksPerThread = 8;
    static constexpr unsigned kActionsInFlight = 256;

    // Receives stored bytes in stream order, on the thread that calls the
    // methods below; a non-zero answer ends the job with that code.
    using Sink = std::function<int(const unsigned char* data, uint64_t length)>;
    // Work that must happen in stream order between stored bytes (a data
    // set's head, a record between sets); 0 or a code that ends the job.
    using Action = std::function<int()>;

    // compressType 1, 2 or 3; threads: worker threads (at least 1).
    CParallelCompressor(int compressType, unsigned threads, Sink sink);
    // Drops what is still queued and joins every worker.
    ~CParallelCompressor();
    CParallelCompressor(const CParallelCompressor&) = delete;
    CParallelCompressor& operator=(const CParallelCompressor&) = delete;

    // False when the type is unknown or a worker or coder could not be set up.
    bool IsReady() const { return m_ready; }

    // Every call below hands finished work to the sink and runs due actions
    // in stream order, and returns 0 or the first failure: ERR_COMPRESS or
    // ERR_NO_MEMORY from a worker, or the code of the sink or an action.
    // After a failure everything waiting is dropped.

    // Adds plain bytes of the set being compressed.
    int Append(const unsigned char* data, uint32_t length);
    // Ends the set: its last block is queued, and with `wait` every byte of
    // it has gone to the sink when it returns. The next Append starts a
    // new set.
    int Finish(bool wait);
    // Runs `action` after everything queued before it, at once when nothing
    // waits.
    int Later(Action action);
    // Writes out everything queued.
    int Drain();
    // Nothing waits to be written.
    bool Idle() const { return m_inFlight.empty() && m_filling == nullptr; }

    // The job's thread count: QUARN_THREADS when it holds a positive
    // number, else one per core. 1 keeps the single coder.
    static unsigned ThreadsFromEnvironment();
    // Test seam: the worker that compresses the block after `blocks` more
    // blocks fails it with `code` (0 turns it off).
    static void FailBlockForTests(unsigned blocks, int code);

private:
    struct Block;

    // A spare block; forData: it takes the set's dictionary.
    std::unique_ptr<Block> TakeBlock(bool forData);
    void Recycle(std::unique_ptr<Block> block);
    int Submit(bool final);
    // Makes room for one more item (and block) in flight.
    int MakeRoom(bool forBlock);
    // Waits for the oldest item in flight and writes it (or runs its action).
    int WriteOldest();
    // Writes every oldest item that is already done, without waiting.
    int WriteDone();
    // After a failure: forgets the set, waiting for blocks a worker holds.
    int Drop(int result);
    void WorkerLoop();

    bool m_ready = false;
    int m_type;
    Sink m_sink;
    size_t m_maxBlocks;  // blocks in flight
    size_t m_maxItems;   // blocks and actions in flight
    size_t m_blocksInFlight = 0;
    std::unique_ptr<CBlockCoder> m_ownCoder;  // for sets of one block

    std::mutex m_mutex;
    std::condition_variable m_workReady;
    std::condition_variable m_blockDone;
    std::deque<Block*> m_queue;  // submitted, not yet taken
    bool m_stopping = false;

    // The job's thread only.
    std::deque<std::unique_ptr<Block>> m_inFlight;  // blocks and actions, in stream order
    std::vector<std::unique_ptr<Block>> m_spare;
    std::unique_ptr<Block> m_filling;
    std::vector<unsigned char> m_dictionary;  // last bytes of the previous block

    std::vector<std::thread> m_workers;
};

#endif
