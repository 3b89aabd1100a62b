// The file record reader: "FILE" and the update sequence checked and
// undone, a damaged record left as it was, and the look-up of unnamed
// attributes that never steps past the record.
#include "fslayout/ntfs/ntfs_record.h"
#include "support/ntfs_record_builder.h"

#include <gtest/gtest.h>

#include <functional>

using testsupport::NtfsRecordBuilder;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> list)
{
    return std::vector<uint8_t>(list);
}

TEST(NtfsRecord, PrepareUndoesTheUpdateSequence)
{
    NtfsRecordBuilder builder;
    builder.Resident(Ntfs::ATTR_DATA, Bytes({1, 2, 3}));
    std::vector<uint8_t> plain = builder.Plain();
    // Put known bytes where the fixup keeps its sequence number.
    plain[510] = 0x11;
    plain[511] = 0x22;
    plain[1022] = 0x33;
    plain[1023] = 0x44;
    std::vector<uint8_t> disk = plain;
    const uint16_t number = NtfsRecordBuilder::kSequenceNumber;
    std::memcpy(disk.data() + NtfsRecordBuilder::kUsaOffset, &number, 2);
    ASSERT_TRUE(Ntfs::ApplyFixup(disk.data(), NtfsRecordBuilder::kBytes));
    ASSERT_EQ(disk[510], 0x0B);

    ASSERT_EQ(Ntfs::PrepareRecord(disk.data(), NtfsRecordBuilder::kBytes), Ntfs::RecordStatus::Ok);
    EXPECT_EQ(disk[510], 0x11);
    EXPECT_EQ(disk[511], 0x22);
    EXPECT_EQ(disk[1022], 0x33);
    EXPECT_EQ(disk[1023], 0x44);
}

TEST(NtfsRecord, DamagedRecordsAreNamedAndLeftAsTheyWere)
{
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        uint32_t bytes;
        Ntfs::RecordStatus expected;
    };
    const std::vector<Case> cases = {
        {"no FILE magic", [](std::vector<uint8_t>& r) { r[0] = 'B'; }, 1024, Ntfs::RecordStatus::NoFileMagic},
        {"second stride without the number", [](std::vector<uint8_t>& r) { r[1022] ^= 0xFF; }, 1024,
         Ntfs::RecordStatus::BadFixup},
        {"first stride without the number", [](std::vector<uint8_t>& r) { r[511] ^= 0x01; }, 1024,
         Ntfs::RecordStatus::BadFixup},
        {"sequence counts one stride too many",
         [](std::vector<uint8_t>& r) { reinterpret_cast<tagFILE_RECORD_HEADER*>(r.data())->usaCount = 4; },
         1024, Ntfs::RecordStatus::BadFixup},
        {"sequence past the record",
         [](std::vector<uint8_t>& r) {
             reinterpret_cast<tagFILE_RECORD_HEADER*>(r.data())->usaOffset = 1020;
         },
         1024, Ntfs::RecordStatus::BadFixup},
        {"sequence at an odd offset",
         [](std::vector<uint8_t>& r) { reinterpret_cast<tagFILE_RECORD_HEADER*>(r.data())->usaOffset = 49; },
         1024, Ntfs::RecordStatus::BadFixup},
        {"record not a whole number of strides", [](std::vector<uint8_t>&) {}, 1000,
         Ntfs::RecordStatus::BadFixup},
        {"shorter than a record header", [](std::vector<uint8_t>&) {}, 40, Ntfs::RecordStatus::TooShort},
    };
    for (const Case& c : cases) {
        NtfsRecordBuilder builder;
        std::vector<uint8_t> disk = builder.Finish();
        c.damage(disk);
        const std::vector<uint8_t> before = disk;
        EXPECT_EQ(Ntfs::PrepareRecord(disk.data(), c.bytes), c.expected) << c.what;
        EXPECT_EQ(disk, before) << c.what << ": the bytes must stay as read";
    }
    EXPECT_EQ(Ntfs::PrepareRecord(nullptr, 1024), Ntfs::RecordStatus::TooShort);
}

TEST(NtfsRecord, FindUnnamedSkipsNamedStreamsAndLaterExtents)
{
    NtfsRecordBuilder builder;
    builder.Resident(Ntfs::ATTR_STANDARD_INFORMATION, std::vector<uint8_t>(48, 0))
        .Resident(Ntfs::ATTR_DATA, Bytes({9, 9}), u"Zone.Identifier")
        .NonResident(Ntfs::ATTR_DATA, 10, 19, Bytes({0x11, 10, 40}), 0)
        .NonResident(Ntfs::ATTR_DATA, 0, 9, Bytes({0x11, 10, 20}), 40960)
        .NonResident(Ntfs::ATTR_BITMAP, 0, 0, Bytes({0x11, 1, 5}), 8);
    const std::vector<uint8_t>& record = builder.Plain();

    const tagRECORD_ATTR* data = Ntfs::FindUnnamed(record.data(), NtfsRecordBuilder::kBytes, Ntfs::ATTR_DATA);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->nonResident);
    EXPECT_EQ(data->nonRes.lowestVcn, 0u);
    EXPECT_EQ(data->nonRes.dataSize, 40960u);

    const tagRECORD_ATTR* later =
        Ntfs::FindUnnamed(record.data(), NtfsRecordBuilder::kBytes, Ntfs::ATTR_DATA, 10);
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(later->nonRes.lowestVcn, 10u);
    EXPECT_EQ(Ntfs::FindUnnamed(record.data(), NtfsRecordBuilder::kBytes, Ntfs::ATTR_DATA, 5), nullptr);

    EXPECT_NE(Ntfs::FindUnnamed(record.data(), NtfsRecordBuilder::kBytes, Ntfs::ATTR_BITMAP), nullptr);
    EXPECT_EQ(Ntfs::FindUnnamed(record.data(), NtfsRecordBuilder::kBytes, Ntfs::ATTR_INDEX_ROOT), nullptr);
}

TEST(NtfsRecord, FindUnnamedTakesAResidentStreamAsItsFirstExtent)
{
    NtfsRecordBuilder builder;
    builder.Resident(Ntfs::ATTR_DATA, Bytes({'h', 'i'}));
    const tagRECORD_ATTR* data =
        Ntfs::FindUnnamed(builder.Plain().data(), NtfsRecordBuilder::kBytes, Ntfs::ATTR_DATA);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->resident.valueLength, 2u);
    EXPECT_EQ(Ntfs::FindUnnamed(builder.Plain().data(), NtfsRecordBuilder::kBytes, Ntfs::ATTR_DATA, 1),
              nullptr);
}

TEST(NtfsRecord, AttributesThatDoNotFitAreNeverReturned)
{
    struct Case {
        const char* what;
        std::function<void(tagRECORD_ATTR*)> damage;
    };
    const std::vector<Case> cases = {
        {"length past the record", [](tagRECORD_ATTR* a) { a->length = 4096; }},
        {"length not a multiple of 8", [](tagRECORD_ATTR* a) { a->length -= 4; }},
        {"length shorter than a resident header", [](tagRECORD_ATTR* a) { a->length = 16; }},
        {"value past the attribute", [](tagRECORD_ATTR* a) { a->resident.valueLength = 200; }},
        {"value offset past the attribute", [](tagRECORD_ATTR* a) { a->resident.valueOffset = 0xFFF0; }},
        {"name past the attribute",
         [](tagRECORD_ATTR* a) {
             a->nameLength = 40;
             a->nameOffset = 24;
         }},
    };
    for (const Case& c : cases) {
        NtfsRecordBuilder builder;
        const uint32_t at = builder.End();
        builder.Resident(Ntfs::ATTR_DATA, std::vector<uint8_t>(16, 7));
        std::vector<uint8_t> record = builder.Plain();
        c.damage(reinterpret_cast<tagRECORD_ATTR*>(record.data() + at));
        EXPECT_EQ(Ntfs::FindUnnamed(record.data(), NtfsRecordBuilder::kBytes, Ntfs::ATTR_DATA), nullptr)
            << c.what;
    }
    // A damaged attribute before it hides the stream too: the walk cannot
    // know where the next attribute starts.
    NtfsRecordBuilder builder;
    const uint32_t at = builder.End();
    builder.Resident(Ntfs::ATTR_FILE_NAME, std::vector<uint8_t>(66, 0)).Resident(Ntfs::ATTR_DATA, Bytes({1}));
    std::vector<uint8_t> record = builder.Plain();
    reinterpret_cast<tagRECORD_ATTR*>(record.data() + at)->length = 12;
    EXPECT_EQ(Ntfs::FindUnnamed(record.data(), NtfsRecordBuilder::kBytes, Ntfs::ATTR_DATA), nullptr);
    // The walk stops at the record's end even without an end marker.
    EXPECT_EQ(Ntfs::FindUnnamed(record.data(), 60, Ntfs::ATTR_DATA), nullptr);
}

TEST(NtfsRecord, FileNameIndexIsTheOneNamedI30)
{
    NtfsRecordBuilder builder;
    const uint32_t first = builder.End();
    builder.Resident(Ntfs::ATTR_INDEX_ROOT, std::vector<uint8_t>(32, 0), u"$I30");
    const uint32_t second = builder.End();
    builder.Resident(Ntfs::ATTR_INDEX_ROOT, std::vector<uint8_t>(32, 0), u"$SDH");
    const uint32_t third = builder.End();
    builder.Resident(Ntfs::ATTR_INDEX_ROOT, std::vector<uint8_t>(32, 0), u"$I3");
    const auto* record = builder.Plain().data();
    EXPECT_TRUE(Ntfs::IsFileNameIndex(reinterpret_cast<const tagRECORD_ATTR*>(record + first)));
    EXPECT_FALSE(Ntfs::IsFileNameIndex(reinterpret_cast<const tagRECORD_ATTR*>(record + second)));
    EXPECT_FALSE(Ntfs::IsFileNameIndex(reinterpret_cast<const tagRECORD_ATTR*>(record + third)));
}

}  // namespace
