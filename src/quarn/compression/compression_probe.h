// Whether compressing a data set pays, judged from its first chunk.
// QuickLZ keeps a block it cannot shrink as a raw packet with its own header,
// so an incompressible set (media, archives the file-name list does not
// know, encrypted files) gains nothing from it and costs a pass on backup and
// on restore: such a set is stored raw (storedRaw 1), which the format
// allows for any set and every reader reads.
#ifndef QUARN_COMPRESSION_COMPRESSION_PROBE_H
#define QUARN_COMPRESSION_COMPRESSION_PROBE_H

#include <cstdint>
#include <memory>

class CCompressionProbe {
public:
    // A set must shrink by at least 1/kWorthFraction of its first chunk.
    static constexpr uint32_t kWorthFraction = 32;

    explicit CCompressionProbe(int compressType);
    ~CCompressionProbe();
    CCompressionProbe(const CCompressionProbe&) = delete;
    CCompressionProbe& operator=(const CCompressionProbe&) = delete;

    bool IsReady() const { return m_type != 1 || (m_scratch != nullptr && m_packet != nullptr); }

    // False when `chunk`, a set's first chunk, says the set is better stored
    // raw: QuickLZ sets whose first chunk is a whole one (0x20000 bytes)
    // that shrinks by less than 1/kWorthFraction. Shorter sets and the
    // deflate types are always compressed, as before.
    bool Pays(const unsigned char* chunk, uint32_t length);

private:
    int m_type;
    std::unique_ptr<char[]> m_scratch;
    std::unique_ptr<char[]> m_packet;
};

#endif
