// Bitmap bits: the edges of a byte and of the bitmap, and counts that stop
// at the volume's last cluster.
#include "fslayout/ntfs/ntfs_bits.h"

#include <gtest/gtest.h>

namespace {

TEST(NtfsBits, BitNIsBitNMod8OfByteNDiv8)
{
    const std::vector<uint8_t> bits = {0x81, 0x01};
    EXPECT_TRUE(Ntfs::BitSet(bits, 0));
    EXPECT_FALSE(Ntfs::BitSet(bits, 1));
    EXPECT_FALSE(Ntfs::BitSet(bits, 6));
    EXPECT_TRUE(Ntfs::BitSet(bits, 7));
    EXPECT_TRUE(Ntfs::BitSet(bits, 8));
    EXPECT_FALSE(Ntfs::BitSet(bits, 15));
}

TEST(NtfsBits, BitsPastTheBitmapAreClear)
{
    const std::vector<uint8_t> bits = {0xFF, 0xFF};
    EXPECT_TRUE(Ntfs::BitSet(bits, 15));
    EXPECT_FALSE(Ntfs::BitSet(bits, 16));
    EXPECT_FALSE(Ntfs::BitSet(bits, UINT64_MAX));
    EXPECT_FALSE(Ntfs::BitSet(std::vector<uint8_t>(), 0));
    EXPECT_FALSE(Ntfs::BitSet(nullptr, 100, 3));
    EXPECT_TRUE(Ntfs::BitSet(bits.data(), 1, 7));
    EXPECT_FALSE(Ntfs::BitSet(bits.data(), 1, 8));
}

TEST(NtfsBits, CountStopsAtTheLimit)
{
    const std::vector<uint8_t> bits = {0xFF, 0xFF, 0x0F, 0xF0};
    struct Case {
        uint64_t byteCount;
        uint64_t limit;
        uint64_t expected;
    };
    const std::vector<Case> cases = {
        {4, 32, 24},  // every byte
        {4, 1000, 24}, {4, 0, 0},   {4, 1, 1},
        {4, 8, 8},     {4, 9, 9},   {4, 19, 19},  // three of 0x0F's four set bits
        {4, 20, 20},   {4, 28, 20},               // 0xF0's low nibble is clear
        {4, 29, 21},   {2, 32, 16},               // only the bytes given
        {0, 32, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Ntfs::CountSetBits(bits.data(), c.byteCount, 0, c.limit), c.expected)
            << c.byteCount << " bytes, limit " << c.limit;
}

TEST(NtfsBits, CountOfALaterPieceNumbersItsBitsFromFirstBit)
{
    const std::vector<uint8_t> piece = {0xFF, 0xFF};
    EXPECT_EQ(Ntfs::CountSetBits(piece.data(), 2, 80, 100), 16u);
    EXPECT_EQ(Ntfs::CountSetBits(piece.data(), 2, 80, 90), 10u);
    EXPECT_EQ(Ntfs::CountSetBits(piece.data(), 2, 80, 80), 0u);
    EXPECT_EQ(Ntfs::CountSetBits(piece.data(), 2, 80, 3), 0u);
}

}  // namespace
