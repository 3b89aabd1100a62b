// Reads the data sets of an image one after another: the head, the stored
// bytes across volume boundaries, decompressed when the image is compressed
// and the set is not stored raw. Hands out plain bytes.
#ifndef QUARN_IMAGE_DATA_SET_READER_H
#define QUARN_IMAGE_DATA_SET_READER_H

#include "quarn/api/image_format.h"

#include <cstdint>
#include <memory>
#include <vector>

class CCompressData;
class CDecodeAhead;
class CDeviceIo;

// Where a reader takes stored bytes from: the image volume now open, the
// way on to the next volume of the image, and the image's compression.
// CPartRestore is one; a clone's in-memory stream (CStreamPipe) another; a
// test can give any other.
class DataSetSource {
public:
    virtual ~DataSetSource() = default;
    // Bytes left in the volume now open from its current position.
    virtual uint64_t ImageBytesLeft() const = 0;
    // Opens the next volume and positions it at its start (0 or a code).
    virtual int OpenNextVolume() = 0;
    virtual uint8_t CompressType() const = 0;
    // The next bytes of the stream (as CDeviceIo::Read) and a step over
    // `length` of them (0 or ERR_SEEK_FILE).
    virtual int64_t ReadImage(void* into, int64_t length) = 0;
    virtual int SkipImage(uint64_t length) = 0;
};

class CDataSetReader {
public:
    static constexpr uint32_t kPieceBytes = 0x8000;

    explicit CDataSetReader(DataSetSource& source);
    virtual ~CDataSetReader();
    CDataSetReader(const CDataSetReader&) = delete;
    CDataSetReader& operator=(const CDataSetReader&) = delete;

    // Creates the decompressor when the image is compressed: ERR_NO_MEMORY
    // when it cannot be made or is not ready. Called again, it takes up the
    // source's compression type anew (an older image of a chain).
    int Init();
    // Reads the head of the next set at the image's current position
    // (ERR_READ_FILE when short).
    int Begin();
    // Up to `want` plain bytes of the set into out; *got < want only at the
    // set's end. ERR_READ_FILE, ERR_SEEK_FILE, ERR_COMPRESS or a volume
    // change's code on failure.
    int Read(unsigned char* out, uint32_t want, uint32_t* got);
    // Reads and drops plain bytes up to the set's end; *extra receives
    // their count. Keeps the decompressor ready for the next set.
    int Finish(uint64_t* extra);
    // Steps over the stored bytes of a set just begun without decompressing
    // them (the set's volume parts are followed).
    int Skip();
    // Read exactly `length` plain bytes then Finish, failing with
    // MismatchCode() when the set holds more or fewer.
    int ReadExactly(unsigned char* out, uint32_t length);
    // The code for a set whose plain size is not what its owner expects.
    int MismatchCode() const;

    const tagDATA_SET_HEAD& Head() const { return m_head; }
    bool StoredRaw() const { return m_raw; }

private:
    // Where the reader stands in the set now being read.
    enum class State {
        Idle,           // no set begun, or the last one finished
        Begun,          // head read, no plain bytes asked for yet
        Feeding,        // stored bytes go to the coder (or straight out)
        Draining,       // the coder holds more output for what it was given
        DrainingFinal,  // likewise after its final call
        Ended,          // the coder's final call is done: the set is over
    };

    int NextPart();
    int ReadHead();
    // A compressed set decoded on the worker thread: the next plain bytes
    // into m_out (none at the set's end, state Ended).
    int TakeAhead();
    // Hands the worker the next stored piece, or the end of the set.
    int FeedAhead();
    // One call of the coder; the state follows from its answer.
    int Decompress(unsigned char* data, unsigned length, bool final);
    // One step of a compressed set when no decoded bytes wait: false at
    // the set's end.
    bool StepCompressed(int* result);
    bool PartContinues() const { return m_head.continued != 0; }

    DataSetSource& m_source;
    std::unique_ptr<CCompressData> m_decompressor;
    std::vector<unsigned char> m_piece;    // stored bytes on their way in
    std::vector<unsigned char> m_scratch;  // plain bytes that Finish drops
    tagDATA_SET_HEAD m_head{};             // the head of the part now read
    bool m_raw = true;                     // the set is read without the coder
    State m_state = State::Idle;
    uint64_t m_storedLeft = 0;             // stored bytes of this part not yet read
    const unsigned char* m_out = nullptr;  // decompressed bytes not yet handed out
    unsigned long m_outLeft = 0;
    // Compressed sets are decoded ahead on a worker thread unless the job
    // runs on one thread (QUARN_THREADS=1); then m_decompressor does it here.
    std::unique_ptr<CDecodeAhead> m_ahead;
    bool m_fedEnd = false;         // the worker has every stored byte of the set
    bool m_decodingAhead = false;  // the set now read is decoded by m_ahead
};

#endif
