#include "quarn/image/compressed_file_types.h"
#include "quarn/api/image_format.h"
#include "quarn/api/quarn.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <strings.h>
#include <vector>

TEST(VolumeFileName, IndexAndGeneration)
{
    EXPECT_EQ(VolumeFileName("/mnt/img/sys", 0, 0), "/mnt/img/sys_0_0.bkp");
    EXPECT_EQ(VolumeFileName("/mnt/img/sys", 1, 0), "/mnt/img/sys_1_0.bkp");
    EXPECT_EQ(VolumeFileName("/mnt/img/sys", 0, 4), "/mnt/img/sys_0_4.bkp");
    EXPECT_EQ(VolumeFileName("x", 255, 255), "x_255_255.bkp");
}

TEST(IsCompressFile, ExtensionTable)
{
    struct Case {
        const char* name;
        int stored;
    } cases[] = {
        {"MOVIE.MKV", 1}, {"archive.tar.gz", 1}, {"a.7Z", 1},      {"song.mp3", 1}, {"README", 0},
        {"", 0},          {nullptr, 0},          {"notes.txt", 0}, {"gz", 0},       {"dir.zip/file", 0},
        {"trailing.", 0}, {"x.rmvb", 1},         {"x.rm", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsCompressFile(c.name), c.stored) << (c.name ? c.name : "(null)");
}

// The look-up agrees with comparing the text after the last "." with every
// entry, ignoring case, for each entry in many case mixes and for near
// misses: prefixes, one character more, non-ASCII and punctuation.
TEST(IsCompressFile, AgreesWithCaseBlindComparison)
{
    auto reference = [](const std::string& name) {
        const size_t dot = name.rfind('.');
        if (dot == std::string::npos)
            return 0;
        for (const char* ext : FileExtList)
            if (strcasecmp(name.c_str() + dot + 1, ext) == 0)
                return 1;
        return 0;
    };
    std::vector<std::string> exts;
    for (const char* listed : FileExtList) {
        const std::string e = listed;
        for (unsigned mask = 0; mask < (1u << e.size()); ++mask) {
            std::string mixed = e;
            for (size_t i = 0; i < e.size(); ++i)
                if (mask & (1u << i))
                    mixed[i] = char(std::toupper(static_cast<unsigned char>(mixed[i])));
            exts.push_back(mixed);
        }
        exts.push_back(e.substr(0, e.size() - 1));
        exts.push_back(e + "x");
        exts.push_back("x" + e);
        exts.push_back(e + "\xc3\xa9");
        exts.push_back(e + " ");
    }
    for (const char* odd : {"", "\xc3\x89", "MP4\x80", "m@v", "[ip", "7z\x01", "z!p", "MPEG4", "RMVBS"})
        exts.push_back(odd);
    int stored = 0;
    for (const auto& ext : exts) {
        for (const std::string& name : {"file." + ext, "a.b." + ext, ".x." + ext, ext}) {
            EXPECT_EQ(IsCompressFile(name.c_str()), reference(name)) << name;
            stored += reference(name);
        }
    }
    EXPECT_GT(stored, 24 * 4) << "the cases hit the list";
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
