// The deflate coder behind CCompressData (compression types 2 and 3): each
// data set is one raw deflate stream (no zlib or gzip wrapper). The library
// behind it is chosen in compression/raw_deflate.h; the codes it returns are
// zlib's, whichever library runs.
#ifndef QUARN_COMPRESSION_DEFLATE_STREAM_H
#define QUARN_COMPRESSION_DEFLATE_STREAM_H

#include <cstdint>
#include <memory>
#include <vector>

class CRawDeflater;
class CRawInflater;

class CLibz {
public:
    static constexpr unsigned long kOutputBytes = 0x40000;
    static constexpr unsigned long kInflateWindowBytes = 0x8000;

    CLibz();
    virtual ~CLibz();
    CLibz(const CLibz&) = delete;
    CLibz& operator=(const CLibz&) = delete;

    // defaultLevel: type 3's thorough level, else type 2's fast one. 0 or -1.
    int init(bool defaultLevel);
    // Starts the stream of the current direction afresh.
    int reset();
    // Ends the stream; the next call sets it up again.
    int com_end();
    int deinit();

    // Same contract as CCompressData::Compress and Decompress; failures
    // return zlib's code for the fault or -1.
    int compress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                 unsigned long* outLength, bool& more);
    int decompress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                   unsigned long* outLength, bool& more);

    int error() const { return m_error; }

private:
    enum Direction { kNone = 0, kDeflate = 1, kInflate = 2 };

    void Report(const char* text, int error, int line);
    void ReportStream();
    bool SetUp(Direction direction);
    void ClearStreamState();
    int Fail(const char* text, int error, int line);
    int TakeInflated(unsigned char** out, unsigned long* outLength);
    // The start of a compress or decompress call: clears its outputs; false
    // (reported) when the coder was never set up.
    bool BeginCall(unsigned char** out, unsigned long* outLength, bool& more);
    // Gives the stream new input; false for a length without bytes.
    bool TakeInput(unsigned char* data, unsigned length);
    // The stream of the current direction afresh; false when it failed.
    bool RestartStream();
    // The data set's stream ended: the next bytes start a new one.
    void RestartInflate();

    int m_error = 0;
    std::vector<unsigned char> m_output;
    std::unique_ptr<CRawDeflater> m_deflater;
    std::unique_ptr<CRawInflater> m_inflater;
    uint64_t m_totalIn = 0;  // stored or plain bytes taken since the stream began
    int m_lastResult = 0;
    bool m_defaultLevel = false;
    bool m_initialised = false;
    bool m_streamUnset = true;
    bool m_continuation = false;
    int m_direction = kNone;

    // Inflating: bytes gathered in the 0x8000-byte window, whether they were
    // handed out (so the next call starts the window afresh), whether the
    // stream reached its end and whether any input arrived since the reset.
    unsigned long m_inflated = 0;
    bool m_windowTaken = false;
    bool m_streamEnded = false;
    bool m_inputSeen = false;
};

#endif
