// probeVolume against images made by the formatting tools, with blkid as
// the judge of type, label and UUID, and iconv as the judge of converted
// FAT labels.
#include "platform/linux/fat_label.h"
#include "storage/probe_fixtures.h"
#include "fslayout/unfinished_restore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

using namespace probetest;
using testsupport::Quote;
using testsupport::TempDir;

namespace {

struct FreeText {
    void operator()(char* text) const { free(text); }
};
using Text = std::unique_ptr<char, FreeText>;

std::string textOf(const Text& text)
{
    return text ? std::string(text.get()) : std::string("(null)");
}

struct Probe {
    Text label, type, uuid;
};

Probe probe(const std::string& path)
{
    char* type = reinterpret_cast<char*>(1);
    char* uuid = reinterpret_cast<char*>(1);
    Probe result;
    result.label.reset(probeVolume(path.c_str(), testsupport::FileSize(path), &type, &uuid));
    result.type.reset(type);
    result.uuid.reset(uuid);
    return result;
}

std::string withoutDashes(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
    return text;
}

// The variables that choose the code page of FAT labels, all unset.
class CleanLanguage {
    ScopedEnv m_language{"LANGUAGE", nullptr};
    ScopedEnv m_lang{"LANG", nullptr};
    ScopedEnv m_all{"LC_ALL", nullptr};
};

// Converts with the iconv program, the judge of the expected UTF-8.
std::string iconvToUtf8(const std::string& raw, const std::string& codePage)
{
    TempDir dir;
    WriteText(dir.file("raw"), raw);
    return MustRun("iconv -f " + codePage + " -t UTF-8 " + Quote(dir.file("raw")));
}

class VolumeProbeTest : public ::testing::Test {
protected:
    TempDir m_dir;
    CleanLanguage m_cleanLanguage;
};

TEST_F(VolumeProbeTest, TypeLabelAndUuidAgreeWithBlkid)
{
    REQUIRE_PROGRAM("blkid");
    REQUIRE_PROGRAM("mkfs.fat");
    REQUIRE_PROGRAM("mkntfs");
    REQUIRE_PROGRAM("mkswap");
    REQUIRE_PROGRAM("mke2fs");

    struct Case {
        std::string image;
        std::string label;
        std::string type;
    } cases[] = {
        {MakeFatImage(m_dir.file("fat12"), 12, 2, "SMALL FAT", "0A1B2C3D"), "SMALL FAT", "FAT12"},
        {MakeFatImage(m_dir.file("fat16"), 16, 16, "MIDDLE", "DEADBEEF"), "MIDDLE", "FAT16"},
        {MakeFatImage(m_dir.file("fat32"), 32, 40, "BIG", "12345678"), "BIG", "FAT32"},
        {MakeNtfsImage(m_dir.file("ntfs"), 8, "Daten NTFS"), "Daten NTFS", "ntfs"},
        {m_dir.file("swap"), "swapspace", "swap"},
        {m_dir.file("ext2"), "linuxdata", "ext2"},
    };
    testsupport::MakeSparseFile(m_dir.file("swap"), 1 << 20);
    MustRun("mkswap -L swapspace " + Quote(m_dir.file("swap")));
    testsupport::MakeSparseFile(m_dir.file("ext2"), 2 << 20);
    MustRun("mke2fs -q -F -t ext2 -L linuxdata " + Quote(m_dir.file("ext2")));

    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        Probe found = probe(c.image);
        EXPECT_EQ(textOf(found.label), c.label);
        EXPECT_EQ(textOf(found.label), BlkidValue(c.image, "LABEL"));
        std::string blkidType = BlkidValue(c.image, "TYPE");
        if (blkidType == "vfat")
            blkidType = BlkidValue(c.image, "VERSION");
        EXPECT_EQ(textOf(found.type), c.type);
        EXPECT_EQ(textOf(found.type), blkidType);
        std::string blkidUuid = BlkidValue(c.image, "UUID");
        ASSERT_FALSE(blkidUuid.empty());
        EXPECT_EQ(textOf(found.uuid), withoutDashes(blkidUuid));
    }
    EXPECT_EQ(textOf(probe(m_dir.file("fat16")).uuid), "DEADBEEF");
}

TEST_F(VolumeProbeTest, OutParametersAreOptional)
{
    REQUIRE_PROGRAM("mkfs.fat");
    std::string image = MakeFatImage(m_dir.file("fat12"), 12, 2, "ONLYLABEL", "0A1B2C3D");
    Text label(probeVolume(image.c_str(), testsupport::FileSize(image), nullptr, nullptr));
    EXPECT_EQ(textOf(label), "ONLYLABEL");
}

TEST_F(VolumeProbeTest, NothingFoundGivesNullAndClearsTheOutParameters)
{
    std::string zeros = m_dir.file("zeros");
    testsupport::MakeSparseFile(zeros, 1 << 20);
    std::string random = m_dir.file("random");
    testsupport::WriteFileBytes(random, testsupport::PatternBytes(1 << 16, 7));
    std::string empty = m_dir.file("empty");
    WriteText(empty, "");

    for (const std::string& path : {zeros, random, empty, m_dir.file("missing")}) {
        SCOPED_TRACE(path);
        Probe found = probe(path);
        EXPECT_EQ(found.label, nullptr);
        EXPECT_EQ(found.type, nullptr);
        EXPECT_EQ(found.uuid, nullptr);
    }
    EXPECT_EQ(probeVolume(nullptr, 0, nullptr, nullptr), nullptr);
}

// The prober asks the whole disk first: a partition table with a file
// system inside a partition is not a whole-disk volume.
TEST_F(VolumeProbeTest, APartitionedDiskIsNoVolume)
{
    REQUIRE_PROGRAM("mkfs.fat");
    REQUIRE_PROGRAM("sfdisk");
    std::string disk = m_dir.file("sdz");
    std::string partition = MakeFatImage(m_dir.file("sdz1"), 12, 6, "INSIDE", "0A0B0C0D");
    testsupport::MakeSparseFile(disk, 8 << 20);
    MustRun("echo 'start=2048, type=1' | sfdisk -q " + Quote(disk));
    MustRun("dd if=" + Quote(partition) + " of=" + Quote(disk) +
            " bs=1M seek=1 conv=notrunc,sparse status=none");

    Probe whole = probe(disk);
    EXPECT_EQ(whole.label, nullptr);
    EXPECT_EQ(whole.type, nullptr);
    Probe inside = probe(partition);
    EXPECT_EQ(textOf(inside.label), "INSIDE");
    EXPECT_EQ(textOf(inside.type), "FAT12");
}

TEST_F(VolumeProbeTest, UnlabelledVolumesHaveNoLabelButATypeAndUuid)
{
    REQUIRE_PROGRAM("mkfs.fat");
    std::string image = m_dir.file("fat16");
    testsupport::MakeSparseFile(image, 16 << 20);
    MustRun("mkfs.fat -F 16 -i 00C0FFEE " + Quote(image));
    Probe found = probe(image);
    EXPECT_EQ(found.label, nullptr);
    EXPECT_EQ(textOf(found.type), "FAT16");
    EXPECT_EQ(textOf(found.uuid), "00C0FFEE");
}

// A FAT label stored in a DOS code page, under the language variables.
TEST_F(VolumeProbeTest, FatLabelsFollowTheCodePageOfTheLanguage)
{
    REQUIRE_PROGRAM("mkfs.fat");
    REQUIRE_PROGRAM("iconv");
    const std::string chinese = "\xC4\xE3\xBA\xC3"
                                "DATA";                                           // "ni hao" in cp936
    const std::string katakana = "\xB1\xB2\xB3\xB4\xB5\xB6\xB7\xB8\xB9\xBA\xBB";  // cp932

    std::string chineseImage = MakeFatImage(m_dir.file("zh"), 12, 2, "PROBELABEL1", "11111111");
    PatchFatLabel(chineseImage, "PROBELABEL1", chinese);
    std::string japaneseImage = MakeFatImage(m_dir.file("ja"), 12, 2, "PROBELABEL2", "22222222");
    PatchFatLabel(japaneseImage, "PROBELABEL2", katakana);
    ASSERT_EQ(BlkidValue(chineseImage, "LABEL"), chinese);

    struct Case {
        const char* language;
        const char* lang;
        const char* all;
        std::string image;
        std::string expected;
    } cases[] = {
        {nullptr, "zh_CN.UTF-8", nullptr, chineseImage, iconvToUtf8(chinese, "cp936")},
        {nullptr, nullptr, "zh_CN", chineseImage, iconvToUtf8(chinese, "cp936")},
        {"zh_CN:en", "C", nullptr, chineseImage, iconvToUtf8(chinese, "cp936")},
        {"zh_TW", nullptr, nullptr, chineseImage, iconvToUtf8(chinese, "cp950")},
        // LANGUAGE decides as soon as it is set, whatever LANG says.
        {"en_US", "zh_CN.UTF-8", nullptr, chineseImage, chinese},
        {nullptr, nullptr, nullptr, chineseImage, chinese},
        {nullptr, "zh", nullptr, chineseImage, chinese},
        // Eleven half-width katakana grow to 33 bytes of UTF-8.
        {nullptr, "ja_JP.UTF-8", nullptr, japaneseImage, iconvToUtf8(katakana, "cp932")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.language ? c.language : "-") + " " + (c.lang ? c.lang : "-") + " " +
                     (c.all ? c.all : "-"));
        ScopedEnv language("LANGUAGE", c.language);
        ScopedEnv lang("LANG", c.lang);
        ScopedEnv all("LC_ALL", c.all);
        Probe found = probe(c.image);
        EXPECT_EQ(textOf(found.label), c.expected);
    }
    EXPECT_EQ(iconvToUtf8(katakana, "cp932").size(), 33u);
}

TEST_F(VolumeProbeTest, LabelsOfOtherFileSystemsAreNeverConverted)
{
    REQUIRE_PROGRAM("mkntfs");
    std::string image = m_dir.file("ntfs");
    testsupport::MakeSparseFile(image, 8 << 20);
    // mkntfs reads the label in the locale's character set.
    MustRun("LC_ALL=C.UTF-8 mkntfs -q -F -f -L \xE4\xBD\xA0\xE5\xA5\xBD " + Quote(image));
    ScopedEnv lang("LANG", "zh_CN.UTF-8");
    EXPECT_EQ(textOf(probe(image).label), "\xE4\xBD\xA0\xE5\xA5\xBD");
}

TEST(FatLabelTest, ConversionErrorsKeepWhatWasConverted)
{
    // 0xFF never starts a cp936 character.
    EXPECT_EQ(fatLabelToUtf8("AB\xC4\xE3\xFF"
                             "CD",
                             "cp936"),
              "AB\xE4\xBD\xA0");
    EXPECT_EQ(fatLabelToUtf8("LABEL", "no-such-code-page"), "LABEL");
    EXPECT_EQ(fatLabelToUtf8("LABEL", ""), "LABEL");
    EXPECT_EQ(fatLabelToUtf8("", "cp936"), "");
}

TEST(FatLabelTest, CodePageOfTheFirstSetVariable)
{
    struct Case {
        const char* language;
        const char* lang;
        const char* all;
        const char* codePage;
    } cases[] = {
        {nullptr, nullptr, nullptr, ""},
        {"zh_CN", "ja_JP", "zh_TW", "cp936"},
        {nullptr, "ja_JP.eucJP", "zh_TW", "cp932"},
        {nullptr, nullptr, "zh_TW.Big5", "cp950"},
        {"de_DE", "zh_CN", nullptr, ""},
        {"", "zh_CN", nullptr, ""},
        {"zh_C", nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        ScopedEnv language("LANGUAGE", c.language);
        ScopedEnv lang("LANG", c.lang);
        ScopedEnv all("LC_ALL", c.all);
        EXPECT_EQ(fatLabelCodePage(), c.codePage)
            << (c.language ? c.language : "-") << " " << (c.lang ? c.lang : "-");
    }
}

}  // namespace

namespace {

// A restore that began on a volume and never finished leaves its mark in
// the first sector: neither blkid nor anything else then takes the volume
// for its old file system, and the prober's reader finds the mark.
TEST(UnfinishedRestoreProbe, TheMarkHidesTheOldFileSystemAndIsFound)
{
    REQUIRE_PROGRAM("mkfs.fat");
    REQUIRE_PROGRAM("mkntfs");
    TempDir dir;
    for (const std::string& volume : {MakeFatImage(dir.file("fat32"), 32, 40, "OLD32", "89ABCDEF"),
                                      MakeNtfsImage(dir.file("ntfs"), 8, "OLDNTFS")}) {
        SCOPED_TRACE(volume);
        ASSERT_TRUE(probe(volume).type) << "the fixture holds a file system";
        EXPECT_FALSE(holdsUnfinishedRestore(volume.c_str()));

        std::vector<uint8_t> bytes = testsupport::ReadFileBytes(volume);
        UnfinishedRestore::MarkSector(bytes.data(), UnfinishedRestore::kSectorBytes);
        testsupport::WriteFileBytes(volume, bytes);
        EXPECT_EQ(textOf(probe(volume).type), "(null)") << "the old file system still shows";
        EXPECT_TRUE(holdsUnfinishedRestore(volume.c_str()));
    }
    EXPECT_FALSE(holdsUnfinishedRestore(dir.file("missing").c_str()));
    EXPECT_FALSE(holdsUnfinishedRestore(nullptr));
}

}  // namespace
