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
    // Blocks in flight per worker thread.
    static constexpr unsigned kBlocksPerThread = 2;

    // Receives stored bytes in stream order; a non-zero answer ends the set
    // with that code.
    using Sink = std::function<int(const unsigned char* data, uint64_t length)>;

    // compressType 1, 2 or 3; threads: worker threads (at least 1).
    CParallelCompressor(int compressType, unsigned threads);
    // Drops what is still queued and joins every worker.
    ~CParallelCompressor();
    CParallelCompressor(const CParallelCompressor&) = delete;
    CParallelCompressor& operator=(const CParallelCompressor&) = delete;

    // False when the type is unknown or a worker or coder could not be set up.
    bool IsReady() const { return m_ready; }

    // Adds plain bytes of the set being written; blocks that are finished
    // go to sink. 0, or the first failure: ERR_COMPRESS or ERR_NO_MEMORY
    // from a worker, or the sink's code. After a failure the set is dropped.
    int Append(const unsigned char* data, uint32_t length, const Sink& sink);
    // Ends the set: its last block is compressed and every stored byte has
    // gone to sink when it returns. The next Append starts a new set.
    int Finish(const Sink& sink);

    // The job's thread count: QUARN_THREADS when it holds a positive
    // number, else one per core. 1 keeps the single coder.
    static unsigned ThreadsFromEnvironment();
    // Test seam: the worker that compresses the block after `blocks` more
    // blocks fails it with `code` (0 turns it off).
    static void FailBlockForTests(unsigned blocks, int code);

private:
    struct Block;

    std::unique_ptr<Block> TakeBlock();
    void Recycle(std::unique_ptr<Block> block);
    int Submit(bool final, const Sink& sink);
    // Waits for the oldest block in flight and hands its bytes to sink.
    int WriteOldest(const Sink& sink);
    // Hands over every oldest block that is already done, without waiting.
    int WriteDone(const Sink& sink);
    // After a failure: forgets the set, waiting for blocks a worker holds.
    int Drop(int result);
    void WorkerLoop();

    bool m_ready = false;
    int m_type;
    size_t m_maxInFlight;
    std::unique_ptr<CBlockCoder> m_ownCoder;  // for sets of one block

    std::mutex m_mutex;
    std::condition_variable m_workReady;
    std::condition_variable m_blockDone;
    std::deque<Block*> m_queue;                   // submitted, not yet taken
    bool m_stopping = false;

    // The job's thread only.
    std::deque<std::unique_ptr<Block>> m_inFlight;  // in stream order
    std::vector<std::unique_ptr<Block>> m_spare;
    std::unique_ptr<Block> m_filling;
    std::vector<unsigned char> m_dictionary;      // last bytes of the previous block

    std::vector<std::thread> m_workers;
};

#endif
