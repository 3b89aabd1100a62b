#include "quarn/compression/parallel_compressor.h"

#include "quarn/api/entry_guard.h"
#include "quarn/compression/quicklz_codec.h"
#include "quarn/compression/raw_deflate.h"
#include "quarn/api/quarn.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t kQuickLzBlockBytes = 0x8000;
static_assert(CParallelCompressor::kBlockBytes % kQuickLzBlockBytes == 0,
              "a block must end where the single coder ends a packet");

std::atomic<unsigned> g_failAfterBlocks{0};
std::atomic<int> g_failCode{0};

// The test seam: true (once) for the block that is to fail.
int InjectedFailure()
{
    if (g_failCode.load() == 0)
        return 0;
    unsigned left = g_failAfterBlocks.load();
    while (true) {
        if (left == 0) {
            int code = g_failCode.exchange(0);
            return code;
        }
        if (g_failAfterBlocks.compare_exchange_weak(left, left - 1))
            return 0;
    }
}

}  // namespace

struct CParallelCompressor::Block {
    Action action;  // set: an action item, done from the start
    std::vector<unsigned char> input;
    std::vector<unsigned char> dictionary;
    bool final = false;
    std::vector<unsigned char> output;
    int result = 0;
    bool taken = false;  // a worker holds it
    bool done = false;
};

// One block at a time, with buffers kept between blocks. Each worker owns one.
class CBlockCoder {
public:
    explicit CBlockCoder(int type) : m_type(type) {}
    CBlockCoder(const CBlockCoder&) = delete;
    CBlockCoder& operator=(const CBlockCoder&) = delete;

    bool Init()
    {
        if (m_type == 1) {
            m_scratch = std::make_unique<char[]>(QLZ_SCRATCH_COMPRESS);
            return true;
        }
        if (m_type != 2 && m_type != 3)
            return false;
        m_deflater = std::make_unique<CRawDeflater>(m_type);
        return m_deflater->IsReady();
    }

    // 0, ERR_COMPRESS or ERR_NO_MEMORY; the stored bytes in block.output.
    int Compress(const unsigned char* input, size_t length, const std::vector<unsigned char>& dictionary,
                 bool final, std::vector<unsigned char>& output)
    {
        output.clear();
        try {
            return m_type == 1 ? QuickLz(input, length, output)
                               : Deflate(input, length, dictionary, final, output);
        } catch (const std::bad_alloc&) {
            output.clear();
            return ERR_NO_MEMORY;
        }
    }

private:
    int QuickLz(const unsigned char* input, size_t length, std::vector<unsigned char>& output)
    {
        output.resize(length / kQuickLzBlockBytes * qlz_max_packet(kQuickLzBlockBytes) +
                      qlz_max_packet(kQuickLzBlockBytes));
        size_t produced = 0;
        for (size_t done = 0; done < length; done += kQuickLzBlockBytes) {
            const size_t piece = std::min(kQuickLzBlockBytes, length - done);
            const size_t packet = qlz_compress(
                input + done, reinterpret_cast<char*>(output.data() + produced), piece, m_scratch.get());
            if (packet == 0)
                return ERR_COMPRESS;
            produced += packet;
        }
        output.resize(produced);
        return 0;
    }

    int Deflate(const unsigned char* input, size_t length, const std::vector<unsigned char>& dictionary,
                bool final, std::vector<unsigned char>& output)
    {
        if (!m_deflater->Reset())
            return ERR_COMPRESS;
        if (!dictionary.empty() &&
            !m_deflater->SetDictionary(dictionary.data(), static_cast<uint32_t>(dictionary.size())))
            return ERR_COMPRESS;
        // Room for the block, its flush marker and the stream's end.
        output.resize(CRawDeflater::OutputBound(length));
        m_deflater->SetInput(input, static_cast<uint32_t>(length));
        // The input first, then the flush or the end without input: the very
        // calls the single coder makes for a set of one chunk, so that such a
        // set is stored the same by both.
        size_t produced = 0;
        if (!Run(CRawDeflater::Flush::kNone, length, output, produced) ||
            !Run(final ? CRawDeflater::Flush::kFinish : CRawDeflater::Flush::kSync, length, output, produced))
            return ERR_COMPRESS;
        output.resize(produced);
        return 0;
    }

    // Deflates with `flush` until it is done, growing the output.
    bool Run(CRawDeflater::Flush flush, size_t length, std::vector<unsigned char>& output, size_t& produced)
    {
        while (true) {
            m_deflater->SetOutput(output.data() + produced, static_cast<uint32_t>(output.size() - produced));
            const CRawDeflater::Step step = m_deflater->Deflate(flush);
            produced = output.size() - m_deflater->OutputLeft();
            if (step == CRawDeflater::Step::kDone)
                return true;
            if (step == CRawDeflater::Step::kError || output.size() > 4 * CRawDeflater::OutputBound(length))
                return false;  // a block never grows that much
            output.resize(output.size() * 2);
        }
    }

    int m_type;
    std::unique_ptr<char[]> m_scratch;
    std::unique_ptr<CRawDeflater> m_deflater;
};

CParallelCompressor::CParallelCompressor(int compressType, unsigned threads, Sink sink)
    : m_type(compressType), m_sink(std::move(sink)), m_maxBlocks(std::max(1u, threads) * kBlocksPerThread),
      m_maxItems(m_maxBlocks + kActionsInFlight)
{
    m_ownCoder = std::make_unique<CBlockCoder>(compressType);
    if (!m_ownCoder->Init())
        return;
    try {
        for (unsigned i = 0; i < std::max(1u, threads); ++i)
            m_workers.emplace_back(&CParallelCompressor::WorkerLoop, this);
    } catch (const std::exception&) {
        return;  // the destructor joins the ones that started
    }
    m_ready = true;
}

CParallelCompressor::~CParallelCompressor()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_workReady.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

unsigned CParallelCompressor::ThreadsFromEnvironment()
{
    const char* text = std::getenv("QUARN_THREADS");
    if (text != nullptr) {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && value > 0)
            return static_cast<unsigned>(std::min(value, 256L));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

void CParallelCompressor::FailBlockForTests(unsigned blocks, int code)
{
    g_failAfterBlocks = blocks;
    g_failCode = code;
}

void CParallelCompressor::WorkerLoop()
{
    // Nothing may leave a worker: an exception there would end the whole
    // program. A coder that cannot be made fails every block it is given
    // (its compression catches a failed allocation itself).
    CBlockCoder coder(m_type);
    const bool coderReady =
        GuardedEntry("a compression worker", [&coder] { return coder.Init() ? 0 : ERR_NO_MEMORY; }) == 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (true) {
        m_workReady.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        Block* block = m_queue.front();
        m_queue.pop_front();
        block->taken = true;
        lock.unlock();
        int result = coderReady ? InjectedFailure() : ERR_NO_MEMORY;
        if (result == 0)
            result = coder.Compress(block->input.data(), block->input.size(), block->dictionary, block->final,
                                    block->output);
        lock.lock();
        block->result = result;
        block->done = true;
        m_blockDone.notify_all();
    }
}

std::unique_ptr<CParallelCompressor::Block> CParallelCompressor::TakeBlock(bool forData)
{
    std::unique_ptr<Block> block;
    if (!m_spare.empty()) {
        block = std::move(m_spare.back());
        m_spare.pop_back();
    } else {
        block.reset(new Block);
        block->input.reserve(kBlockBytes);
    }
    block->action = nullptr;
    block->input.clear();
    if (forData)
        block->dictionary = m_dictionary;
    else
        block->dictionary.clear();
    block->final = false;
    block->result = 0;
    block->taken = false;
    block->done = false;
    return block;
}

void CParallelCompressor::Recycle(std::unique_ptr<Block> block)
{
    m_spare.push_back(std::move(block));
}

int CParallelCompressor::Append(const unsigned char* data, uint32_t length)
{
    try {
        while (length > 0) {
            if (m_filling == nullptr)
                m_filling = TakeBlock(true);
            if (m_filling->input.size() == kBlockBytes) {
                // More bytes follow, so this block is not the set's last.
                const int result = Submit(false);
                if (result != 0)
                    return result;
                continue;
            }
            const uint32_t take =
                std::min<uint32_t>(length, kBlockBytes - static_cast<uint32_t>(m_filling->input.size()));
            m_filling->input.insert(m_filling->input.end(), data, data + take);
            data += take;
            length -= take;
        }
    } catch (const std::bad_alloc&) {
        return Drop(ERR_NO_MEMORY);
    }
    return WriteDone();
}

int CParallelCompressor::Finish(bool wait)
{
    try {
        if (m_filling == nullptr)
            m_filling = TakeBlock(true);  // an empty set still ends its stream
        if (wait && m_inFlight.empty()) {
            // A set of one block that is waited for: no worker could
            // overlap with anything.
            std::unique_ptr<Block> block = std::move(m_filling);
            m_dictionary.clear();
            int result = m_ownCoder->Compress(block->input.data(), block->input.size(), block->dictionary,
                                              true, block->output);
            if (result == 0 && !block->output.empty())
                result = m_sink(block->output.data(), block->output.size());
            Recycle(std::move(block));
            return result == 0 ? 0 : Drop(result);
        }
        int result = Submit(true);
        m_dictionary.clear();
        if (result == 0)
            result = wait ? Drain() : WriteDone();
        return result;
    } catch (const std::bad_alloc&) {
        return Drop(ERR_NO_MEMORY);
    }
}

int CParallelCompressor::Later(Action action)
{
    if (Idle())
        return action();
    try {
        int result = MakeRoom(false);
        if (result != 0)
            return result;
        if (Idle())
            return action();
        std::unique_ptr<Block> item = TakeBlock(false);
        item->action = std::move(action);
        item->done = true;
        m_inFlight.push_back(std::move(item));
    } catch (const std::bad_alloc&) {
        return Drop(ERR_NO_MEMORY);
    }
    return WriteDone();
}

int CParallelCompressor::Drain()
{
    while (!m_inFlight.empty()) {
        const int result = WriteOldest();
        if (result != 0)
            return result;
    }
    return 0;
}

int CParallelCompressor::MakeRoom(bool forBlock)
{
    while (m_inFlight.size() >= m_maxItems || (forBlock && m_blocksInFlight >= m_maxBlocks)) {
        const int result = WriteOldest();
        if (result != 0)
            return result;
    }
    return 0;
}

int CParallelCompressor::Submit(bool final)
{
    std::unique_ptr<Block> block = std::move(m_filling);
    block->final = final;
    if (m_type != 1 && !final) {
        const size_t keep = std::min<size_t>(kDictionaryBytes, block->input.size());
        m_dictionary.assign(block->input.end() - static_cast<long>(keep), block->input.end());
    }
    const int result = MakeRoom(true);
    if (result != 0) {
        Recycle(std::move(block));
        return result;
    }
    Block* raw = block.get();
    m_inFlight.push_back(std::move(block));
    ++m_blocksInFlight;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(raw);
    }
    m_workReady.notify_one();
    return 0;
}

int CParallelCompressor::WriteOldest()
{
    std::unique_ptr<Block> oldest = std::move(m_inFlight.front());
    m_inFlight.pop_front();
    int result = 0;
    if (oldest->action) {
        Action action = std::move(oldest->action);
        oldest->action = nullptr;
        result = action();
    } else {
        --m_blocksInFlight;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            Block* block = oldest.get();
            m_blockDone.wait(lock, [block] { return block->done; });
        }
        result = oldest->result;
        if (result == 0 && !oldest->output.empty())
            result = m_sink(oldest->output.data(), oldest->output.size());
    }
    Recycle(std::move(oldest));
    return result == 0 ? 0 : Drop(result);
}

int CParallelCompressor::WriteDone()
{
    while (!m_inFlight.empty()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_inFlight.front()->done)
                return 0;
        }
        const int result = WriteOldest();
        if (result != 0)
            return result;
    }
    return 0;
}

int CParallelCompressor::Drop(int result)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_queue.clear();
        m_blockDone.wait(lock, [this] {
            return std::all_of(m_inFlight.begin(), m_inFlight.end(), [](const std::unique_ptr<Block>& block) {
                return !block->taken || block->done;
            });
        });
    }
    m_inFlight.clear();
    m_blocksInFlight = 0;
    m_filling.reset();
    m_dictionary.clear();
    return result;
}
