// The front a job creates once per image, with the image's compression type:
// 1 QuickLZ, 2 fast raw deflate, 3 thorough raw deflate (the libraries and
// levels: compression/raw_deflate.cpp).
// Type 0 means no compression, for which no CCompressData is created.
#ifndef QUARN_COMPRESSION_COMPRESS_DATA_H
#define QUARN_COMPRESSION_COMPRESS_DATA_H

#include <memory>

class CQuick_LZ;
class CLibz;

class CCompressData {
public:
    CCompressData(unsigned char type, bool unused = false);
    virtual ~CCompressData();
    CCompressData(const CCompressData&) = delete;
    CCompressData& operator=(const CCompressData&) = delete;

    // False when the coder could not be set up; writers then fail with 64.
    bool IsReady() const { return m_ready; }

    // 0 on success; a type without a coder returns 1. out/outLength receive
    // this call's output (null and 0 when there is none), valid until the
    // next call. more: call again with no input to receive further output.
    // Calling order for one data set: each chunk with final=false (then
    // drain while more), then one call with no input and final=true
    // (again draining while more).
    int Compress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                 unsigned long* outLength, bool& more);
    int Decompress(unsigned char* data, unsigned length, bool final, unsigned char** out,
                   unsigned long* outLength, bool& more);

private:
    // Clears the outputs, runs `step` on the coder of this type (1 without
    // one) and clears them again when it fails.
    template <typename Step>
    int RunCoder(Step step, unsigned char** out, unsigned long* outLength, bool& more);

    bool m_ready = false;
    unsigned char m_type;
    std::unique_ptr<CQuick_LZ> m_quickLz;
    std::unique_ptr<CLibz> m_libz;
};

#endif
