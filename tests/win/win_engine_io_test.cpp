// The Windows engine's I/O classes: CFerrin on image files, CGondrel on
// volumes by drive letter, and the engine's device class choosing between
// them. On Linux against the simulated machine, on Windows (Wine) against
// the real calls, with the raw volume that SORVIK_TEST_RAW_VOLUME names.
#include "platform/windows_engine/engine_io.h"
#include "support/skip_or_fail.h"
#include "win/support/test_system.h"
#include "platform/windows/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class WinEngineIo : public ::testing::Test {
protected:
    std::string path(const std::string& name) { return winplat::utf8(system.folder()) + "\\" + name; }
    TestSystem system;
};

TEST_F(WinEngineIo, ImageFileWriteSeekReadAndRemove)
{
    CFerrin file;
    ASSERT_EQ(file.Open(path("卷_1_0.bkp"), 2), 0);
    const char text[] = "0123456789abcdef";
    EXPECT_EQ(file.Write(text, 16), 16);
    EXPECT_EQ(file.GetCurrentPos(), 16);
    EXPECT_EQ(file.pWrite(4, "XY", 2), 2);
    ASSERT_EQ(file.Seek(-6, SEEK_END), 0);
    char back[16] = {};
    EXPECT_EQ(file.Read(back, 16), 6);  // a short read at the end
    EXPECT_EQ(std::string(back, 6), "abcdef");
    EXPECT_EQ(file.pRead(0, 8, back), 8);
    EXPECT_EQ(std::string(back, 8), "0123XY67");
    EXPECT_NE(file.Seek(-17, SEEK_END), 0);  // before the start
    EXPECT_EQ(file.RemoveFile(), 0);
    EXPECT_NE(file.Open(path("卷_1_0.bkp"), 0), 0);
    EXPECT_NE(file.Open(path("x.bkp"), 3), 0);  // no such mode
}

TEST_F(WinEngineIo, EngineDeviceClassOpensFilesAndVolumesApart)
{
    struct Case {
        const char* text;
        bool device;
    } cases[] = {{"E:", true},     {"e:\\", true},
                 {"E", true},      {"\\\\.\\PhysicalDrive0", true},
                 {"E:\\x", false}, {"C:\\img\\a_1_0.bkp", false},
                 {"", false},      {"1:", false}};
    for (const Case& c : cases)
        EXPECT_EQ(CGondrel::IsDeviceString(c.text), c.device) << c.text;
    EXPECT_EQ(CGondrel::DevicePath("e:\\"), u"\\\\.\\E:");

    CDeviceIo io;
    ASSERT_EQ(io.Open(path("image.bkp"), CDeviceIo::ModeCreate), 0);
    EXPECT_NE(io.File(), nullptr);
    EXPECT_EQ(io.Volume(), nullptr);
    EXPECT_EQ(io.Write("abc", 3), 3);
    EXPECT_EQ(io.WriteAt(1, "Z", 1), 1);
    EXPECT_EQ(io.GetCurrentPos(), 3);
    char back[3] = {};
    EXPECT_EQ(io.ReadAt(0, back, 3), 3);
    EXPECT_EQ(std::string(back, 3), "aZc");
    EXPECT_EQ(io.RemoveFile(), 0);
    EXPECT_FALSE(io.IsOpen());
}

TEST_F(WinEngineIo, VolumeByDriveLetterReadsWritesAndMeasures)
{
    std::string letter = "D";
    if (!TestSystem::simulated()) {
        const char* mapped = std::getenv("SORVIK_TEST_RAW_VOLUME");
        if (!mapped || !*mapped)
            SKIP_OR_FAIL_IN_CI("no raw volume mapped (SORVIK_TEST_RAW_VOLUME)");
        letter = mapped;
    }
    CGondrel volume;
    ASSERT_EQ(volume.Open(letter + ":", 1, false), 0);
    ASSERT_EQ(volume.Seek(0, SEEK_END), 0);
    const long long size = volume.GetCurrentPos();
    // The simulated D: is 16 MiB; Wine's mapped volume 1 MiB.
    EXPECT_EQ(size, TestSystem::simulated() ? 16ll << 20 : 1ll << 20);
    char sector[512];
    std::memset(sector, 0x5A, sizeof sector);
    EXPECT_EQ(volume.pWrite(size - 512, sector, 512), 512);
    char back[512] = {};
    EXPECT_EQ(volume.pRead(size - 512, 512, back), 512);
    EXPECT_EQ(std::memcmp(back, sector, 512), 0);
    EXPECT_EQ(volume.pRead(size, 512, back), 0);        // nothing past the end
    EXPECT_NE(volume.Open(letter + ":", 2, false), 0);  // volumes are never created
}

}  // namespace
