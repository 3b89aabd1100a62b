// Reading a head block back: every stored length is checked against the
// block and the file, on blocks from the one builder both programs use.
#include "jobs/image_head_builder.h"
#include "jobs/image_head_reader.h"
#include "support/test_support.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using testsupport::TempDir;

// Partition 1 (NTFS "Data", C:, active) and partition 5 of one disk.
QByteArray validBlock()
{
    HeadSource source;
    source.diskName = "Disk model";
    source.diskBytes = 100000ull * 512;
    HeadSourceEntry first;
    first.number = 1;
    first.startSector = 2048;
    first.sectorCount = 4096;
    HeadSourceEntry logical;
    logical.number = 5;
    logical.startSector = 8192;
    logical.sectorCount = 4096;
    logical.primary = false;
    source.entries = {first, logical};
    source.letter = 'C';
    source.label = "Data";
    source.partitionNumber = 1;
    source.fsCode = 4;
    source.active = true;
    source.startSector = 2048;
    source.sectorCount = 4096;
    source.usedBytes = 100 * 512;
    return buildImageHeadBlock(source).bytes;
}

class ImageHeadReader : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(ImageHeadReader, SignatureIsMatchedInAnyCaseOnSixBytes)
{
    const QByteArray good = validBlock();
    const struct {
        const char* signature;
        bool accepted;
    } cases[] = {{"Sorvik ", true},  {"sorvik ", true},  {"SORVIK ", true},        {"SORVIKX", true},
                 {"SORVIQ ", false}, {"       ", false}, {"\0\0\0\0\0\0\0", false}};
    for (const auto& c : cases) {
        QByteArray block = good;
        memcpy(block.data() + 4, c.signature, 7);
        ImageHeadView view;
        const HeadReadResult result = parseHeadBlock(block, &view);
        EXPECT_EQ(c.accepted ? HeadReadResult::Ok : HeadReadResult::NotAnImage, result) << c.signature;
    }
}

// Hand-damaged blocks: each gives its result and a message, never a read
// past the bytes (AddressSanitizer watches) or a huge allocation.
TEST_F(ImageHeadReader, DamagedBlocksAreRefusedWithAMessage)
{
    const QByteArray good = validBlock();
    auto withU32 = [&](int offset, quint32 value) {
        QByteArray b = good;
        qToLittleEndian(value, b.data() + offset);
        return b;
    };
    auto withU8 = [&](int offset, quint8 value) {
        QByteArray b = good;
        b[offset] = static_cast<char>(value);
        return b;
    };
    const struct {
        const char* what;
        QByteArray block;
        HeadReadResult expected;
    } cases[] = {
        {"empty", QByteArray(), HeadReadResult::TooShort},
        {"shorter than the fixed part", good.left(98), HeadReadResult::TooShort},
        {"block size below the fixed part", withU32(0, 98), HeadReadResult::Damaged},
        {"block size zero", withU32(0, 0), HeadReadResult::Damaged},
        {"huge block size", withU32(0, 0xFFFFFFFFu), HeadReadResult::Damaged},
        {"block size past the bytes", withU32(0, good.size() + 1), HeadReadResult::TooShort},
        {"block cut short", good.left(good.size() - 1), HeadReadResult::TooShort},
        {"huge label length", withU32(60, 0xFFFFFFF0u), HeadReadResult::Damaged},
        {"label past the block", withU32(60, 5), HeadReadResult::Damaged},
        {"disk name past the block", withU8(46, 255), HeadReadResult::Damaged},
        {"too many entries", withU8(56, 255), HeadReadResult::Damaged},
    };
    for (const auto& c : cases) {
        ImageHeadView view;
        view.blockSize = 77;  // a failed parse leaves the view alone
        EXPECT_EQ(c.expected, parseHeadBlock(c.block, &view)) << c.what;
        EXPECT_EQ(77u, view.blockSize) << c.what;
        EXPECT_FALSE(headReadMessage(c.expected).isEmpty()) << c.what;

        // The same bytes as an image file.
        const QString path = QString::fromStdString(dir.file("damaged_0_0.bkp"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.block);
        file.close();
        EXPECT_EQ(c.expected, readHeadBlock(path, &view)) << c.what << " (file)";
    }
    ImageHeadView view;
    EXPECT_EQ(HeadReadResult::CannotOpen, readHeadBlock(QString::fromStdString(dir.file("none")), &view));
    EXPECT_FALSE(headReadMessage(HeadReadResult::CannotOpen).isEmpty());
}

TEST_F(ImageHeadReader, RandomlyDamagedBlocksNeverReadPastTheirBytes)
{
    const QByteArray good = validBlock();
    std::mt19937 random(13);
    for (int round = 0; round < 20000; ++round) {
        QByteArray block = good;
        const int flips = 1 + random() % 6;
        for (int i = 0; i < flips; ++i)
            block[static_cast<int>(random() % block.size())] = static_cast<char>(random());
        if (random() % 4 == 0)
            block.truncate(static_cast<int>(random() % (block.size() + 1)));
        ImageHeadView view;
        if (parseHeadBlock(block, &view) != HeadReadResult::Ok)
            continue;
        // Whatever was accepted fits inside its block and its bytes.
        const qint64 used = 99 + 18LL * view.entries.size() + view.diskName.size() + view.partName.size();
        ASSERT_LE(used, static_cast<qint64>(view.blockSize));
        ASSERT_LE(static_cast<qint64>(view.blockSize), block.size());
    }
}

TEST_F(ImageHeadReader, FixedPartAloneServesTheIncrementalCheck)
{
    const QByteArray good = validBlock();
    ImageHeadView view;
    ASSERT_EQ(HeadReadResult::Ok, parseHeadFixedPart(good.left(99), &view));
    EXPECT_EQ(1, view.partitionNumber);
    EXPECT_EQ(4, view.fsCode);
    EXPECT_TRUE(view.active);
    EXPECT_EQ(2048u, view.partStartSector);
    EXPECT_EQ(4096u, view.partSectorCount);
    EXPECT_TRUE(view.entries.isEmpty());
}

}  // namespace
