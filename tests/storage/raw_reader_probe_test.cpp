// readFileHead and readVolumeSerial; the serials are judged by blkid, which
// shows them as the volumes' UUIDs.
#include "storage/probe_fixtures.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

using namespace probetest;
using testsupport::TempDir;

namespace {

std::string hex(uint64_t value, int digits)
{
    char text[32];
    snprintf(text, sizeof text, "%0*" PRIX64, digits, value);
    return text;
}

TEST(ReadFileHeadTest, ReadsTheFirst99Bytes)
{
    TempDir dir;
    std::vector<uint8_t> bytes = testsupport::PatternBytes(4096, 5);
    testsupport::WriteFileBytes(dir.file("image"), bytes);
    char buffer[128];
    memset(buffer, 0x5A, sizeof buffer);
    ASSERT_EQ(readFileHead(dir.file("image").c_str(), buffer), 0);
    EXPECT_EQ(memcmp(buffer, bytes.data(), 99), 0);
    EXPECT_EQ(buffer[99], 0x5A) << "wrote past the head";

    bytes.resize(99);
    testsupport::WriteFileBytes(dir.file("exact"), bytes);
    EXPECT_EQ(readFileHead(dir.file("exact").c_str(), buffer), 0);
}

TEST(ReadFileHeadTest, ShortFilesAndBadArgumentsFail)
{
    TempDir dir;
    testsupport::WriteFileBytes(dir.file("short"), testsupport::PatternBytes(98, 5));
    WriteText(dir.file("empty"), "");
    char buffer[99];
    EXPECT_EQ(readFileHead(dir.file("short").c_str(), buffer), -1);
    EXPECT_EQ(readFileHead(dir.file("empty").c_str(), buffer), -1);
    EXPECT_EQ(readFileHead(dir.file("missing").c_str(), buffer), -1);
    EXPECT_EQ(readFileHead(dir.path().c_str(), buffer), -1);  // a folder
    EXPECT_EQ(readFileHead(dir.file("short").c_str(), nullptr), -1);
    EXPECT_EQ(readFileHead(nullptr, buffer), -1);
}

TEST(ReadVolumeSerialTest, SerialsAgreeWithBlkid)
{
    REQUIRE_PROGRAM("mkfs.fat");
    REQUIRE_PROGRAM("mkntfs");
    REQUIRE_PROGRAM("blkid");
    TempDir dir;
    std::string fat32 = MakeFatImage(dir.file("fat32"), 32, 40, "S32", "89ABCDEF");
    std::string fat16 = MakeFatImage(dir.file("fat16"), 16, 16, "S16", "01234567");
    std::string ntfs = MakeNtfsImage(dir.file("ntfs"), 8, "SNTFS");

    uint64_t serial = 0;
    ASSERT_EQ(readVolumeSerial(fat32.c_str(), 3, &serial), 0);
    EXPECT_EQ(serial, 0x89ABCDEFu);  // the low half only
    EXPECT_EQ(hex(serial >> 16, 4) + "-" + hex(serial & 0xFFFF, 4), BlkidValue(fat32, "UUID"));

    ASSERT_EQ(readVolumeSerial(fat16.c_str(), 2, &serial), 0);
    EXPECT_EQ(serial, 0x01234567u);
    EXPECT_EQ(hex(serial >> 16, 4) + "-" + hex(serial & 0xFFFF, 4), BlkidValue(fat16, "UUID"));

    ASSERT_EQ(readVolumeSerial(ntfs.c_str(), 4, &serial), 0);
    EXPECT_EQ(hex(serial, 16), BlkidValue(ntfs, "UUID"));
}

TEST(ReadVolumeSerialTest, FieldsAtTheirOffsets)
{
    TempDir dir;
    std::vector<uint8_t> sector(512, 0xEE);
    for (int i = 0; i < 8; ++i) {
        sector[72 + i] = uint8_t(0x10 + i);
        sector[39 + i % 4] = uint8_t(0x20 + i % 4);
    }
    for (int i = 0; i < 4; ++i)
        sector[67 + i] = uint8_t(0x30 + i);
    testsupport::WriteFileBytes(dir.file("boot"), sector);

    struct Case {
        int fsCode;
        uint64_t serial;
    } cases[] = {{4, 0x1716151413121110ull}, {3, 0x33323130ull}, {2, 0x23222120ull}};
    for (const Case& c : cases) {
        uint64_t serial = 0;
        ASSERT_EQ(readVolumeSerial(dir.file("boot").c_str(), c.fsCode, &serial), 0) << c.fsCode;
        EXPECT_EQ(serial, c.serial) << c.fsCode;
    }
}

TEST(ReadVolumeSerialTest, FailuresStoreNothing)
{
    TempDir dir;
    testsupport::WriteFileBytes(dir.file("boot"), std::vector<uint8_t>(512, 0x11));
    testsupport::WriteFileBytes(dir.file("short"), std::vector<uint8_t>(70, 0x11));
    const uint64_t untouched = 0xABCDABCDABCDABCDull;
    uint64_t serial = untouched;
    for (int code : {0, 1, 5, -1})
        EXPECT_EQ(readVolumeSerial(dir.file("boot").c_str(), code, &serial), -1) << code;
    EXPECT_EQ(readVolumeSerial(dir.file("missing").c_str(), 4, &serial), -1);
    // Too short for the NTFS and FAT32 fields, long enough for FAT16's.
    EXPECT_EQ(readVolumeSerial(dir.file("short").c_str(), 4, &serial), -1);
    EXPECT_EQ(readVolumeSerial(dir.file("short").c_str(), 3, &serial), -1);
    EXPECT_EQ(serial, untouched);
    EXPECT_EQ(readVolumeSerial(dir.file("short").c_str(), 2, &serial), 0);
    EXPECT_EQ(serial, 0x11111111u);
    EXPECT_EQ(readVolumeSerial(dir.file("boot").c_str(), 4, nullptr), -1);
    EXPECT_EQ(readVolumeSerial(nullptr, 4, &serial), -1);
}

}  // namespace
