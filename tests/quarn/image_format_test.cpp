#include "image_format.h"
#include "quarn.h"

#include <gtest/gtest.h>

TEST(VolumeFileName, IndexAndGeneration)
{
    EXPECT_EQ(VolumeFileName("/mnt/img/sys", 0, 0), "/mnt/img/sys_0_0.bkp");
    EXPECT_EQ(VolumeFileName("/mnt/img/sys", 1, 0), "/mnt/img/sys_1_0.bkp");
    EXPECT_EQ(VolumeFileName("/mnt/img/sys", 0, 4), "/mnt/img/sys_0_4.bkp");
    EXPECT_EQ(VolumeFileName("x", 255, 255), "x_255_255.bkp");
}

TEST(IsCompressFile, ExtensionTable)
{
    struct Case { const char* name; int stored; } cases[] = {
        {"MOVIE.MKV", 1}, {"archive.tar.gz", 1}, {"a.7Z", 1}, {"song.mp3", 1},
        {"README", 0}, {"", 0}, {nullptr, 0}, {"notes.txt", 0}, {"gz", 0},
        {"dir.zip/file", 0}, {"trailing.", 0}, {"x.rmvb", 1}, {"x.rm", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsCompressFile(c.name), c.stored) << (c.name ? c.name : "(null)");
}

TEST(PathHelpers, SplitAndDirectory)
{
    EXPECT_EQ(SplitFileName("/mnt/img/sys_0_0.bkp"), "sys_0_0.bkp");
    EXPECT_EQ(SplitFileName("C:\\img\\sys_0_0.bkp"), "sys_0_0.bkp");
    EXPECT_EQ(SplitFileName("plain"), "plain");
    EXPECT_EQ(GetFileNamePath("/mnt/img/sys_0_0.bkp"), "/mnt/img/");
    EXPECT_EQ(GetFileNamePath("C:\\img\\x"), "C:\\img\\");
    EXPECT_EQ(GetFileNamePath("plain"), "");
}
