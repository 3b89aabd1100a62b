// The NTFS layout writer on its own, without a restore job: its plain input
// is checked before anything is written, and the finishing steps refuse to
// run before the records that feed them.
#include "quarn/image/data_set_reader.h"
#include "quarn/image/part_progress.h"
#include "quarn/io/device_io.h"
#include "quarn/ntfs/ntfs_layout_writer.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

// An image that holds no data sets: any attempt to read one fails.
class EmptyImage : public DataSetSource {
public:
    explicit EmptyImage(const std::string& path)
    {
        WriteFileBytes(path, {});
        m_io.Open(path, CDeviceIo::ModeRead);
    }
    int64_t ReadImage(void* into, int64_t length) override { return m_io.Read(into, length); }
    int SkipImage(uint64_t length) override
    {
        return m_io.Seek(int64_t(length), SEEK_CUR) == 0 ? 0 : ERR_SEEK_FILE;
    }
    uint64_t ImageBytesLeft() const override { return 0; }
    int OpenNextVolume() override { return ERR_FILE_NOT_FOUND; }
    uint8_t CompressType() const override { return 0; }

private:
    CDeviceIo m_io;
};

NtfsLayoutInput SoundInput()
{
    NtfsLayoutInput input;
    input.clusterBytes = 4096;
    input.sectorBytes = 512;
    input.recordBytes = 1024;
    input.recordCount = 64;
    input.targetBytes = 4 * kMiB;
    input.freeBytes = 2 * kMiB;
    return input;
}

struct Writer {
    TempDir dir;
    std::string target = dir.file("sdx1");
    EmptyImage image{dir.file("img_0_0.bkp")};
    CDeviceIo part;
    CPartProgress progress{kMiB, nullptr, nullptr};

    explicit Writer(uint64_t targetBytes)
    {
        MakeSparseFile(target, targetBytes);
        part.Open(target, CDeviceIo::ModeUpdate);
    }
};

}  // namespace

TEST(NtfsLayoutWriter, InputIsCheckedBeforeAnythingIsWritten)
{
    struct Case {
        const char* what;
        void (*change)(NtfsLayoutInput&);
        int result;
    };
    const Case cases[] = {
        {"sound", [](NtfsLayoutInput&) {}, 0},
        {"clusters of 64 KiB", [](NtfsLayoutInput& in) { in.clusterBytes = 65536; }, 0},
        {"clusters not a power of two", [](NtfsLayoutInput& in) { in.clusterBytes = 3000; }, ERR_PART_INFO},
        {"clusters below a sector", [](NtfsLayoutInput& in) { in.clusterBytes = 256; }, ERR_PART_INFO},
        {"clusters of 128 KiB", [](NtfsLayoutInput& in) { in.clusterBytes = 131072; }, ERR_PART_INFO},
        {"records of 4 KiB", [](NtfsLayoutInput& in) { in.recordBytes = 4096; }, ERR_PART_INFO},
        {"sectors larger than clusters",
         [](NtfsLayoutInput& in) {
             in.clusterBytes = 1024;
             in.sectorBytes = 2048;
         },
         ERR_PART_INFO},
        {"sectors of 100 bytes", [](NtfsLayoutInput& in) { in.sectorBytes = 100; }, ERR_PART_INFO},
        {"a target of one sector", [](NtfsLayoutInput& in) { in.targetBytes = 512; }, ERR_PART_TOO_SMALL},
        {"a target too small for the mirror", [](NtfsLayoutInput& in) { in.targetBytes = 16384; },
         ERR_PART_TOO_SMALL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NtfsLayoutInput input = SoundInput();
        c.change(input);
        Writer w(input.targetBytes);
        CResFileRecord writer(input, w.part, w.progress, w.image);
        testing::internal::CaptureStderr();
        EXPECT_EQ(writer.Initialize(), c.result);
        testing::internal::GetCapturedStderr();
        w.part.Close();
        // Nothing reached the target.
        const std::vector<uint8_t> bytes = ReadFileBytes(w.target);
        EXPECT_EQ(bytes.size(), input.targetBytes);
        EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST(NtfsLayoutWriter, NothingIsFinishedBeforeTheMftIsPlaced)
{
    const NtfsLayoutInput input = SoundInput();
    Writer w(input.targetBytes);
    CResFileRecord writer(input, w.part, w.progress, w.image);
    ASSERT_EQ(writer.Initialize(), 0);
    ASSERT_EQ(writer.BeginImage(true, true), 0);
    // Record 0 places the MFT; a stream that starts elsewhere is damaged.
    std::vector<uint8_t> record(1024, 0);
    std::memcpy(record.data(), "FILE", 4);
    EXPECT_EQ(writer.ProcFileRecord(5, reinterpret_cast<tagFILE_RECORD_HEADER*>(record.data()), true, true),
              ERR_PART_INFO);
    EXPECT_EQ(writer.ResMFTBitmap(), ERR_PART_INFO);
    EXPECT_EQ(writer.ResBitmap(), ERR_PART_INFO);
    // Without a saved boot area there is no boot sector to write.
    EXPECT_EQ(writer.ResBootCode(), ERR_NO_BOOT_AREA);
}
