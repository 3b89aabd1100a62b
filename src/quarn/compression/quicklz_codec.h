// QuickLZ 1.4.1 packets at compression level 1 without a streaming buffer.
// Images written by earlier versions of this system hold such packets, so
// the encoder makes the same bytes and the decoder reads every one of them.
// Each packet stands alone: a 3- or 9-byte header with the packet size and
// the plain size, then the stored or compressed body.
#ifndef QUARN_COMPRESSION_QUICKLZ_CODEC_H
#define QUARN_COMPRESSION_QUICKLZ_CODEC_H

#include <cstddef>

// Scratch bytes the coders need (settings 1 and 2).
constexpr size_t QLZ_SCRATCH_COMPRESS = 36880;
constexpr size_t QLZ_SCRATCH_DECOMPRESS = 20496;
// Largest plain size one packet can hold.
constexpr size_t QLZ_MAX_PLAIN = 4294966895u;

// Packet size and plain size from a packet's header (its first 9 bytes,
// or 3 for a short header). They trust the header; see qlz_read_header.
size_t qlz_size_compressed(const char* source);
size_t qlz_size_decompressed(const char* source);

// Compresses size bytes into one packet at destination and returns the
// packet size; 0 for a size of 0 or above QLZ_MAX_PLAIN. The destination
// must hold qlz_max_packet(size) bytes; scratch QLZ_SCRATCH_COMPRESS bytes.
size_t qlz_compress(const void* source, char* destination, size_t size, char* scratch_compress);

// Decodes one packet whose header is trusted: the source holds the whole
// packet and the destination its plain size. Returns the plain size, 0 when
// the packet is malformed.
size_t qlz_decompress(const char* source, void* destination, char* scratch_decompress);

// Settings 0 to 9: level, the two scratch sizes, streaming buffer, two
// unassigned, memory-safe mode, version major, minor, revision.
int qlz_get_setting(int setting);

// Our additions for untrusted input.

// The largest packet qlz_compress can make from size bytes.
size_t qlz_max_packet(size_t size);

// Checks the header of a packet that starts at source with available bytes
// behind it. Returns 1 with both sizes filled when the header is sound,
// 0 when the header is not complete yet, -1 when it cannot belong to a
// level-1 packet without streaming buffer.
int qlz_read_header(const char* source, size_t available, size_t* compressed, size_t* decompressed);

// Decodes the packet at source, reading no further than available bytes
// and writing no further than capacity bytes. Returns the plain size, or 0
// when the packet is malformed, truncated or does not fit.
size_t qlz_decompress_bounded(const char* source, size_t available, void* destination, size_t capacity,
                              char* scratch_decompress);

#endif
