// Bits of the NTFS bitmaps ($Bitmap, the MFT's $BITMAP, an index's
// $BITMAP): bit n is bit n % 8 of byte n / 8.
#ifndef FSLAYOUT_NTFS_NTFS_BITS_H
#define FSLAYOUT_NTFS_NTFS_BITS_H

#include <cstdint>
#include <vector>

namespace Ntfs {

// False for a bit past the bitmap's bytes (or without a bitmap): what a
// bitmap does not hold is not in use.
inline bool BitSet(const uint8_t* bits, uint64_t byteCount, uint64_t n)
{
    return bits != nullptr && n / 8 < byteCount && ((bits[n / 8] >> (n % 8)) & 1) != 0;
}

inline bool BitSet(const std::vector<uint8_t>& bits, uint64_t n)
{
    return BitSet(bits.data(), bits.size(), n);
}

// The set bits of byteCount bytes whose first bit is bit firstBit (a
// multiple of 8) of the bitmap, counting only bits below bitLimit: the bits
// past the last cluster say nothing about the volume.
uint64_t CountSetBits(const uint8_t* bytes, uint64_t byteCount, uint64_t firstBit, uint64_t bitLimit);

}  // namespace Ntfs

#endif
