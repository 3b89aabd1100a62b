// A bounded queue of bytes between two threads: one job walks a source and
// puts its record stream in, another takes it out and writes a target, so
// that reading and writing overlap and no image file stands between them.
// At most kCapacity bytes wait; the side that runs ahead waits for the
// other. Either side may end the stream: the writer when it is done (the
// reader then gets what is left and then short reads), the reader when it
// stops early (the writer's puts then fail, so its walk ends).
#ifndef QUARN_IMAGE_STREAM_PIPE_H
#define QUARN_IMAGE_STREAM_PIPE_H

#include "quarn/image/part_backup.h"
#include "quarn/image/data_set_reader.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class CStreamPipe final : public StreamSink, public DataSetSource {
public:
    static constexpr size_t kCapacity = 4u << 20;

    CStreamPipe();
    CStreamPipe(const CStreamPipe&) = delete;
    CStreamPipe& operator=(const CStreamPipe&) = delete;

    // Writer side: waits for room. ERR_CANCELLED once the reader stopped.
    int Put(const void* data, uint64_t length) override;
    // Writer side: no more bytes come.
    void CloseWriting();

    // Reader side: waits for `length` bytes; fewer only once the writer
    // closed the stream (or the reader stopped it).
    int64_t Take(void* into, int64_t length);
    // Reader side: no more bytes are wanted; a writer waiting wakes up.
    void StopReading();

    // The stream as a data-set source: one endless volume, never
    // compressed, whose data sets continue in the same stream.
    uint64_t ImageBytesLeft() const override { return ~0ULL; }
    int OpenNextVolume() override { return 0; }
    uint8_t CompressType() const override { return 0; }
    int64_t ReadImage(void* into, int64_t length) override { return Take(into, length); }
    int SkipImage(uint64_t length) override;

private:
    std::mutex m_mutex;
    // Each side is woken only while it waits: the other side's every step
    // would otherwise cost a system call.
    std::condition_variable m_roomFreed;
    std::condition_variable m_bytesAdded;
    bool m_writerWaits = false;
    bool m_readerWaits = false;
    std::vector<unsigned char> m_ring;
    size_t m_head = 0;  // next byte taken
    size_t m_size = 0;  // bytes waiting
    bool m_writerDone = false;
    bool m_readerDone = false;
};

#endif
