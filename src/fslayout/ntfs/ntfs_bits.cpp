#include "fslayout/ntfs/ntfs_bits.h"

uint64_t Ntfs::CountSetBits(const uint8_t* bytes, uint64_t byteCount, uint64_t firstBit, uint64_t bitLimit)
{
    uint64_t count = 0;
    for (uint64_t i = 0; i < byteCount; ++i) {
        const uint64_t bit = firstBit + i * 8;
        if (bit >= bitLimit)
            break;
        uint8_t value = bytes[i];
        if (bitLimit - bit < 8)
            value &= uint8_t((1u << (bitLimit - bit)) - 1);
        count += unsigned(__builtin_popcount(value));
    }
    return count;
}
