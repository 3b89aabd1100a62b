// The window that serves MFT records gives exactly what reading each record
// through the attribute reader gives: the same bytes, and the same results
// where the device cannot be read. The reader refuses a run it cannot
// address.
#include "quarn/ntfs/ntfs_attr_reader.h"
#include "support/ntfs_attr_builder.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace {

using testsupport::AsAttr;
using testsupport::NonResidentAttribute;
using Bytes = std::vector<uint8_t>;

constexpr unsigned kCluster = 4096;
constexpr uint64_t kDeviceClusters = 1000;
constexpr uint64_t kAttrClusters = 640;  // 2.5 windows

// 200 clusters at 600, 40 sparse, 300 at 100, 100 at 900: out of order, so
// windows straddle runs.
const Bytes kWholeRuns = {0x22, 0xC8, 0x00, 0x58, 0x02, 0x01, 0x28, 0x22, 0x2C,
                          0x01, 0x0C, 0xFE, 0x22, 0x64, 0x00, 0x20, 0x03, 0x00};
// The same attribute as two extents: VCNs 0-199, then 200-639.
const Bytes kFirstRuns = {0x22, 0xC8, 0x00, 0x58, 0x02, 0x00};
const Bytes kLaterRuns = {0x01, 0x28, 0x22, 0x2C, 0x01, 0x64, 0x00, 0x22, 0x64, 0x00, 0x20, 0x03, 0x00};

struct Result {
    int code;
    unsigned got;
    Bytes bytes;
    bool operator==(const Result& o) const { return code == o.code && got == o.got && bytes == o.bytes; }
};

template <typename Reader>
Result ReadThrough(Reader& reader, uint64_t offset, unsigned length)
{
    Result r{0, 0, Bytes(length, 0xEE)};
    r.code = reader.AttrReadData(offset, r.bytes.data(), length, &r.got);
    return r;
}

class AttrReadWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        device = dir.file("sdz1");
        testsupport::WriteFileBytes(device, testsupport::PatternBytes(kDeviceClusters * kCluster, 5));
        ASSERT_EQ(io.Open(device, CDeviceIo::ModeRead), 0);
    }

    // Every read of `reads` through a window and straight through a second
    // reader of the same attribute gives the same result.
    void ExpectSameAsDirect(CAttrReadData& windowed, const Bytes& attr,
                            const std::vector<std::pair<uint64_t, unsigned>>& reads)
    {
        CAttrReadData direct(&io, AsAttr(attr), kCluster, kDeviceClusters);
        ASSERT_EQ(direct.ParseDataRunList(), 0);
        CAttrReadWindow window(windowed);
        for (const auto& read : reads) {
            SCOPED_TRACE(testing::Message() << "offset " << read.first << " length " << read.second);
            Result viaWindow = ReadThrough(window, read.first, read.second);
            Result straight = ReadThrough(direct, read.first, read.second);
            EXPECT_TRUE(viaWindow == straight) << "codes " << viaWindow.code << "/" << straight.code;
        }
    }

    testsupport::TempDir dir;
    std::string device;
    CDeviceIo io;
};

std::vector<std::pair<uint64_t, unsigned>> EveryRecordAndSomeOddReads()
{
    std::vector<std::pair<uint64_t, unsigned>> reads;
    for (uint64_t at = 0; at < kAttrClusters * kCluster; at += 1024)
        reads.push_back({at, 1024});
    const uint64_t window = CAttrReadWindow::kWindowBytes;
    reads.insert(reads.end(), {
                                  {window - 100, 300},                   // across a window's end
                                  {3, 5000},                             // unaligned, within a window
                                  {0, unsigned(window) + 4096},          // more than a window
                                  {kAttrClusters * kCluster - 10, 100},  // cut at the attribute's end
                                  {kAttrClusters * kCluster + 1, 10},    // past it
                                  {0, 0},
                              });
    return reads;
}

TEST_F(AttrReadWindowTest, ServesTheSameBytesAsReadingEachRecord)
{
    const Bytes attr = NonResidentAttribute(0, kAttrClusters - 1, kWholeRuns);
    CAttrReadData reader(&io, AsAttr(attr), kCluster, kDeviceClusters);
    ASSERT_EQ(reader.ParseDataRunList(), 0);
    ASSERT_EQ(reader.ExtentBytes(), kAttrClusters * kCluster);
    ExpectSameAsDirect(reader, attr, EveryRecordAndSomeOddReads());
}

TEST_F(AttrReadWindowTest, ExtentsAddedLaterAreReadToo)
{
    const Bytes whole = NonResidentAttribute(0, kAttrClusters - 1, kWholeRuns);
    const Bytes first = NonResidentAttribute(0, 199, kFirstRuns);
    const Bytes later = NonResidentAttribute(200, kAttrClusters - 1, kLaterRuns);
    CAttrReadData reader(&io, AsAttr(first), kCluster, kDeviceClusters);
    ASSERT_EQ(reader.ParseDataRunList(), 0);
    CAttrReadWindow window(reader);
    // The window that holds the first extent's end is read before the
    // later extent is known.
    Result early = ReadThrough(window, 199 * kCluster, 1024);
    EXPECT_EQ(early.code, 0);
    EXPECT_EQ(ReadThrough(window, 201 * kCluster, 1024).code, 1) << "past the extent known so far";
    ASSERT_EQ(reader.AppendExtent(AsAttr(later)), 0);

    CAttrReadData direct(&io, AsAttr(whole), kCluster, kDeviceClusters);
    ASSERT_EQ(direct.ParseDataRunList(), 0);
    for (uint64_t at = 150 * kCluster; at < kAttrClusters * kCluster; at += 1024) {
        SCOPED_TRACE(at);
        EXPECT_TRUE(ReadThrough(window, at, 1024) == ReadThrough(direct, at, 1024));
    }
}

TEST_F(AttrReadWindowTest, ATruncatedDeviceFailsOnlyTheRecordsItLacks)
{
    // The device ends inside the last run (clusters 900-999): the window
    // over it cannot be read whole, yet the records before the end still
    // come out and those after it fail as they would one by one.
    ASSERT_EQ(truncate(device.c_str(), 950 * kCluster + 512), 0);
    const Bytes attr = NonResidentAttribute(0, kAttrClusters - 1, kWholeRuns);
    CAttrReadData reader(&io, AsAttr(attr), kCluster, kDeviceClusters);
    ASSERT_EQ(reader.ParseDataRunList(), 0);
    testing::internal::CaptureStderr();
    ExpectSameAsDirect(reader, attr, EveryRecordAndSomeOddReads());
    testing::internal::GetCapturedStderr();

    CAttrReadWindow window(reader);
    EXPECT_EQ(ReadThrough(window, (540 + 49) * kCluster, 1024).code, 0) << "before the device's end";
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadThrough(window, (540 + 51) * kCluster, 1024).code, ERR_READ_PART) << "after it";
    testing::internal::GetCapturedStderr();
}

TEST_F(AttrReadWindowTest, ARunWhoseByteOffsetDoesNotFitIsAReadError)
{
    // One cluster at LCN 2^61 of a volume said to have every cluster: its
    // byte offset wraps, so nothing may be read there, whole or in part.
    const Bytes runs = {0x81, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x20, 0x00};
    const Bytes attr = NonResidentAttribute(0, 0, runs);
    CAttrReadData reader(&io, AsAttr(attr), kCluster, UINT64_MAX);
    ASSERT_EQ(reader.ParseDataRunList(), 0);
    EXPECT_EQ(ReadThrough(reader, 0, kCluster).code, ERR_READ_PART);
    EXPECT_EQ(ReadThrough(reader, 10, 20).code, ERR_READ_PART);
}

}  // namespace
