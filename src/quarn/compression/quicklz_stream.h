// The QuickLZ coder behind CCompressData (compression type 1). A data set's
// stream is a row of independent packets, each holding one block of at most
// 0x8000 plain bytes. Input that does not make a whole block (compressing)
// or a whole packet (decompressing) waits in the pending buffer for the
// next call.
#ifndef QUARN_COMPRESSION_QUICKLZ_STREAM_H
#define QUARN_COMPRESSION_QUICKLZ_STREAM_H

#include <cstdint>
#include <vector>

class CQuick_LZ {
public:
    static constexpr unsigned long kBlockBytes = 0x8000;
    static constexpr unsigned long kOutputBytes = 0x80000;
    static constexpr unsigned long kPendingBytes = 0x40000;
    static constexpr unsigned long kWorkBytes = 0x80000;

    // Pull decoding: read returns the bytes it put into buffer (at most
    // length), or 0 or less on failure; write returns 0 to go on.
    typedef long (*ReadFunc)(void* user, unsigned char* buffer, unsigned long length);
    typedef int (*WriteFunc)(void* writeArg, unsigned char* data, unsigned long length);

    CQuick_LZ() = default;
    virtual ~CQuick_LZ();
    CQuick_LZ(const CQuick_LZ&) = delete;
    CQuick_LZ& operator=(const CQuick_LZ&) = delete;

    // All return 0 on success and -1 on failure.
    int init(bool unused = false);
    int reset(bool unused = false);
    int deinit();

    // Same contract as CCompressData::Compress and Decompress.
    int compress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                 unsigned long* outLength, bool& more);
    int decompress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                   unsigned long* outLength, bool& more);

    // Reads *compressedBytes stored bytes through read, in pieces of at most
    // kPendingBytes, and hands all plain output to write. final: the stream
    // ends with these bytes. *compressedBytes counts down what was consumed.
    int decompres(ReadFunc read, WriteFunc write, void* user, uint64_t* compressedBytes, bool final,
                  void* writeArg);

    int error() const { return m_error; }

private:
    int Fail();
    // Puts the pending bytes before data; returns where the whole input lies.
    unsigned char* JoinPending(unsigned char* data, unsigned long length);
    bool KeepPending(const unsigned char* rest, unsigned long length);
    // The start of a compress or decompress call: clears its outputs, makes
    // `final` stick while a final call drains, and joins the pending bytes
    // with the new ones (*input, *total). False when the call must fail.
    bool BeginCall(unsigned char* data, unsigned length, bool& final, unsigned char** input,
                   unsigned long* total, unsigned char** out, unsigned long* outLength, bool& more);
    // The end of a call: keeps the unused rest pending and hands out what
    // was produced.
    int EndCall(const unsigned char* rest, unsigned long restLength, unsigned long produced, bool final,
                bool more, unsigned char** out, unsigned long* outLength);
    void FreeBuffers();

    bool m_initialised = false;
    bool m_pending = false;
    unsigned long m_pendingLength = 0;
    // A final call returned with more set: the calls that drain it finish too.
    bool m_finishing = false;
    int m_error = 0;
    std::vector<unsigned char> m_output;
    std::vector<char> m_compressState;
    std::vector<char> m_decompressState;
    std::vector<unsigned char> m_pendingInput;
    std::vector<unsigned char> m_work;
};

#endif
