// Run-list decoding and the update-sequence fixup on hand-made records,
// including hostile encodings.
#include "quarn/ntfs/run_list.h"
#include "support/ntfs_attr_builder.h"
#include "fslayout/ntfs_layout.h"

#include <gtest/gtest.h>

#include <cstring>

using testsupport::AsAttr;
using testsupport::NonResidentAttribute;

TEST(NtfsRunList, DecodesRunsSparseRunsAndBackwardOffsets)
{
    // 0x10 clusters at 0x100; 8 sparse; 4 clusters 0x80 back (at 0x80).
    std::vector<uint8_t> attr =
        NonResidentAttribute(0, 0x1B, {0x21, 0x10, 0x00, 0x01, 0x01, 0x08, 0x11, 0x04, 0x80, 0x00});
    CRunList list;
    ASSERT_TRUE(list.ParseDataRunList(AsAttr(attr)));
    const auto& runs = list.Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].lcn, 0x100);
    EXPECT_EQ(runs[0].clusters, 0x10u);
    EXPECT_EQ(runs[0].firstVcn, 0u);
    EXPECT_EQ(runs[0].lastVcn, 0xFu);
    EXPECT_EQ(runs[1].lcn, -1);
    EXPECT_EQ(runs[1].firstVcn, 0x10u);
    EXPECT_EQ(runs[2].lcn, 0x80);
    EXPECT_EQ(runs[2].lastVcn, 0x1Bu);
    EXPECT_TRUE(list.WithinVolume(0x110));
    EXPECT_FALSE(list.WithinVolume(0x10F));
}

TEST(NtfsRunList, ContinuationExtentsCountVcnsFromTheirLowestVcn)
{
    std::vector<uint8_t> attr = NonResidentAttribute(1000, 1009, {0x21, 0x0A, 0x00, 0x02, 0x00});
    CRunList list;
    ASSERT_TRUE(list.ParseDataRunList(AsAttr(attr)));
    ASSERT_EQ(list.Runs().size(), 1u);
    EXPECT_EQ(list.Runs()[0].firstVcn, 0u);
    EXPECT_EQ(list.Runs()[0].lastVcn, 9u);
}

TEST(NtfsRunList, RefusesHostileEncodings)
{
    struct Case {
        const char* name;
        uint64_t highest;
        std::vector<uint8_t> runs;
    } cases[] = {
        {"length field wider than 8 bytes", 100, {0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}},
        {"offset field wider than 8 bytes", 100, {0x91, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}},
        {"zero length field", 100, {0x10, 0x05, 0x00}},
        {"negative length", 100, {0x18, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x00}},
        {"LCN below zero", 100, {0x11, 0x04, 0xF0, 0x00}},
        {"more clusters than the VCN range", 3, {0x11, 0x05, 0x10, 0x00}},
        {"runs past the attribute's end", 100, {0x44, 0x01, 0x00}},
        {"LCN overflowing", 100, {0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x81,
                                  0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> attr = NonResidentAttribute(0, c.highest, c.runs);
        if (std::string(c.name) == "runs past the attribute's end") {
            // Every byte up to the attribute's end is a run header that
            // promises more bytes than are left.
            attr.resize(72);
            reinterpret_cast<tagRECORD_ATTR*>(attr.data())->length = 72;
            std::memset(attr.data() + 64, 0x44, 8);
        }
        CRunList list;
        EXPECT_FALSE(list.ParseDataRunList(AsAttr(attr))) << c.name;
    }
}

TEST(NtfsFixup, RoundTripAndMismatch)
{
    std::vector<uint8_t> record(1024, 0);
    auto* header = reinterpret_cast<tagFILE_RECORD_HEADER*>(record.data());
    header->magic = Ntfs::kFileMagic;
    header->usaOffset = 48;
    header->usaCount = 3;
    record[48] = 0x34;
    record[49] = 0x12;
    record[510] = 0xAA;
    record[511] = 0xBB;
    record[1022] = 0xCC;
    record[1023] = 0xDD;
    std::vector<uint8_t> original = record;
    ASSERT_TRUE(Ntfs::ApplyFixup(record.data(), 1024));
    EXPECT_EQ(record[510], 0x34);
    EXPECT_EQ(record[1023], 0x12);
    ASSERT_TRUE(Ntfs::RemoveFixup(record.data(), 1024));
    // The sequence array keeps the saved stride ends; all else is as before.
    original[50] = 0xAA;
    original[51] = 0xBB;
    original[52] = 0xCC;
    original[53] = 0xDD;
    EXPECT_EQ(record, original);

    ASSERT_TRUE(Ntfs::ApplyFixup(record.data(), 1024));
    record[1022] ^= 1;
    std::vector<uint8_t> damaged = record;
    EXPECT_FALSE(Ntfs::RemoveFixup(record.data(), 1024));
    EXPECT_EQ(record, damaged) << "a failed fixup must leave the record alone";

    header = reinterpret_cast<tagFILE_RECORD_HEADER*>(record.data());
    header->usaOffset = 1020;  // sequence past the record
    EXPECT_FALSE(Ntfs::RemoveFixup(record.data(), 1024));
    header->usaOffset = 48;
    header->usaCount = 9;  // not one per 512 bytes plus one
    EXPECT_FALSE(Ntfs::RemoveFixup(record.data(), 1024));
}

TEST(NtfsAttributeWalker, StopsAtDamage)
{
    std::vector<uint8_t> record(1024, 0);
    auto* header = reinterpret_cast<tagFILE_RECORD_HEADER*>(record.data());
    header->attrsOffset = 56;
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(record.data() + at, &v, 4); };
    put32(56, Ntfs::ATTR_STANDARD_INFORMATION);
    put32(60, 24);  // a resident header with an empty value
    put32(80, Ntfs::ATTR_END);
    {
        Ntfs::AttributeWalker walker(record.data(), 1024);
        ASSERT_NE(walker.Next(), nullptr);
        EXPECT_EQ(walker.Next(), nullptr);
        EXPECT_FALSE(walker.Damaged());
    }
    struct Case {
        const char* name;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"zero length", 60, 0},
        {"length past the record", 60, 2000},
        {"unaligned length", 60, 26},
        {"value past the attribute", 72, 100},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> copy = record;
        std::memcpy(copy.data() + c.at, &c.value, 4);
        Ntfs::AttributeWalker walker(copy.data(), 1024);
        EXPECT_EQ(walker.Next(), nullptr) << c.name;
        EXPECT_TRUE(walker.Damaged()) << c.name;
    }
}
