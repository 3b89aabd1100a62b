// The one place that picks the deflate library and level for compression
// types 2 and 3 (the choice and its figures: raw_deflate.cpp). Whatever
// writes them, every data set stays one standard raw deflate stream (no zlib
// or gzip wrapper), so any inflater reads any image.
//
// Linux builds have ISA-L's igzip (QUARN_WITH_ISAL) besides zlib; the
// Windows cross build has no ISA-L and keeps zlib behind the same classes.
#ifndef QUARN_COMPRESSION_RAW_DEFLATE_H
#define QUARN_COMPRESSION_RAW_DEFLATE_H

#include <cstddef>
#include <cstdint>
#include <memory>

// Shared by both directions: where the next input comes from and where the
// next output goes, moved on by every call.
class CRawDeflateBuffers {
public:
    void SetInput(const unsigned char* data, uint32_t length)
    {
        m_in = data;
        m_inLeft = length;
    }
    void SetOutput(unsigned char* data, uint32_t length)
    {
        m_out = data;
        m_outLeft = length;
    }
    uint32_t InputLeft() const { return m_inLeft; }
    uint32_t OutputLeft() const { return m_outLeft; }
    const unsigned char* NextInput() const { return m_in; }
    const unsigned char* NextOutput() const { return m_out; }

    // For the libraries' adapters: moves these fields into a stream and back.
    struct Access;

protected:
    const unsigned char* m_in = nullptr;
    uint32_t m_inLeft = 0;
    unsigned char* m_out = nullptr;
    uint32_t m_outLeft = 0;
};

class CRawDeflater : public CRawDeflateBuffers {
public:
    enum class Flush {
        kNone,    // take input; output may stay inside
        kSync,    // all input out, ending on a byte boundary (an empty stored block)
        kFinish,  // all input out and the stream ended
    };
    enum class Step {
        kDone,  // kNone: all input taken; kSync: flushed; kFinish: ended
        kMore,  // call again with the same flush once output has room
        kError,
    };

    // compressType 2 (the fast level) or 3 (the thorough one).
    explicit CRawDeflater(int compressType);
    ~CRawDeflater();
    CRawDeflater(const CRawDeflater&) = delete;
    CRawDeflater& operator=(const CRawDeflater&) = delete;

    bool IsReady() const { return m_state != nullptr; }
    // Starts a new stream.
    bool Reset();
    // The bytes before the stream's first byte (at most 32 KiB that matter);
    // only right after Reset.
    bool SetDictionary(const unsigned char* data, uint32_t length);
    Step Deflate(Flush flush);
    // Enough room for `length` input bytes and any flush or end.
    static size_t OutputBound(size_t length) { return length + length / 8 + 0x1000; }

    struct State;  // one library's stream

private:
    std::unique_ptr<State> m_state;
};

class CRawInflater : public CRawDeflateBuffers {
public:
    enum class Step {
        kProgress,    // bytes were taken or given, the stream goes on
        kNoProgress,  // no input left or no room for output
        kStreamEnd,   // the stream's last block ended; InputLeft() bytes follow it
        kError,       // not a valid raw deflate stream
    };

    CRawInflater();
    ~CRawInflater();
    CRawInflater(const CRawInflater&) = delete;
    CRawInflater& operator=(const CRawInflater&) = delete;

    bool IsReady() const { return m_state != nullptr; }
    // Starts a new stream.
    bool Reset();
    Step Inflate();

    struct State;  // one library's stream

private:
    std::unique_ptr<State> m_state;
};

#endif
