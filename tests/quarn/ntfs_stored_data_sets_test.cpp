// Which non-resident attributes carry a data set: the one rule the backup
// and the restore share, and a page file whose name stands in an extension
// record, backed up and restored through it, judged by ntfs-3g.
#include "ntfs/stored_data_sets.h"
#include "ntfs_attr_builder.h"
#include "ntfs_fixture.h"
#include "ntfs_image_reader.h"
#include "ntfs_jobs.h"
#include "ntfs_restore_fixture.h"
#include "quarn.h"
#include "test_support.h"

#include <QString>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

std::vector<uint8_t> Attribute(uint32_t type, uint64_t lowestVcn, uint64_t highestVcn, uint64_t allocated)
{
    std::vector<uint8_t> bytes = NonResidentAttribute(lowestVcn, highestVcn, {0x11, 0x01, 0x10});
    auto* attr = reinterpret_cast<tagRECORD_ATTR*>(bytes.data());
    attr->type = type;
    attr->nonRes.allocatedSize = allocated;
    return bytes;
}

}  // namespace

TEST(StoredDataSets, RuleTable)
{
    const auto data = Attribute(Ntfs::ATTR_DATA, 0, 3, 4 * 4096);
    const auto empty = Attribute(Ntfs::ATTR_DATA, 0, 0, 0);
    const auto extent = Attribute(Ntfs::ATTR_DATA, 4, 7, 0);
    const auto bitmap = Attribute(Ntfs::ATTR_BITMAP, 0, 0, 4096);
    struct Case {
        const char* what;
        bool extentsStored;
        std::vector<std::pair<uint32_t, const char*>> names;  // noted before the question
        uint32_t owner;
        const std::vector<uint8_t>* attr;
        bool carries;
        bool unstoredFileData;
    };
    const Case cases[] = {
        {"a file's data", true, {}, 70, &data, true, false},
        {"nothing allocated", true, {}, 70, &empty, false, false},
        {"a continuation extent, extents stored", true, {}, 70, &extent, true, false},
        {"a continuation extent, older image", false, {}, 70, &extent, false, false},
        {"the MFT's data and bitmap", true, {}, Ntfs::kMftRecord, &data, false, false},
        {"the MFT's bitmap", true, {}, Ntfs::kMftRecord, &bitmap, false, false},
        {"$Bitmap's data", true, {}, Ntfs::kBitmapRecord, &data, false, false},
        {"$BadClus, any attribute", true, {}, Ntfs::kBadClusRecord, &bitmap, false, false},
        {"a system file's bitmap", true, {}, Ntfs::kBitmapRecord, &bitmap, true, false},
        {"the page file, named before", true, {{70, "pagefile.sys"}}, 70, &data, false, true},
        {"the page file in any case", true, {{70, "PageFile.SYS"}}, 70, &data, false, true},
        {"the hibernation file", true, {{71, "hiberfil.sys"}}, 71, &data, false, true},
        {"the page file's later extent", true, {{70, "pagefile.sys"}}, 70, &extent, false, true},
        {"the page file's bitmap is stored", true, {{70, "pagefile.sys"}}, 70, &bitmap, true, false},
        {"only the first page file counts", true, {{70, "pagefile.sys"}, {80, "pagefile.sys"}}, 80, &data, true,
         false},
        {"another file than the page file", true, {{70, "pagefile.sys"}}, 72, &data, true, false},
        {"a name like it", true, {{70, "pagefile.sy"}}, 70, &data, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StoredDataSets rule(c.extentsStored);
        for (const auto& name : c.names)
            rule.NoteName(name.first, QString::fromUtf8(name.second));
        EXPECT_EQ(rule.CarriesDataSet(c.owner, AsAttr(*c.attr)), c.carries);
        EXPECT_EQ(rule.IsUnstoredFileData(c.owner, AsAttr(*c.attr)->type), c.unstoredFileData);
    }
}

TEST(StoredDataSets, ANewStreamForgetsTheNames)
{
    const auto data = Attribute(Ntfs::ATTR_DATA, 0, 3, 4 * 4096);
    StoredDataSets rule;
    rule.NoteName(70, QStringLiteral("pagefile.sys"));
    EXPECT_FALSE(rule.CarriesDataSet(70, AsAttr(data)));
    // An older image of a chain: its stream learns its own names.
    rule.Reset(true);
    EXPECT_TRUE(rule.CarriesDataSet(70, AsAttr(data)));
    rule.NoteName(90, QStringLiteral("pagefile.sys"));
    EXPECT_TRUE(rule.CarriesDataSet(70, AsAttr(data)));
    EXPECT_FALSE(rule.CarriesDataSet(90, AsAttr(data)));
}

// A page file with so many names that ntfs-3g moves them into extension
// records: "pagefile.sys" stands in an extension record behind the base
// record that holds the data. The backup met the data before the name, so
// it stored it, and the restore, which learns the names in the same order,
// reads the set back in step.
TEST(StoredDataSetsRoundTrip, PageFileNamedInAnExtensionRecord)
{
    if (!HaveNtfsTools() || !HaveProgram("ntfsresize") || !HaveProgram("ntfsfix"))
        SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: the names are made through one");
    TempDir dir;
    const std::string part = dir.file("sdz1");
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(part, 24 * kMiB, &log)) << log;
    const std::vector<uint8_t> pageBytes = PatternBytes(kMiB, 41);
    const std::vector<uint8_t> otherBytes = PatternBytes(300000, 42);
    {
        NtfsMount mount(part, dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        WriteFileBytes(mount.path() + "/first.bin", pageBytes);
        // Long names fill the base record; the later ones go to extension records.
        for (int i = 1; i <= 8; ++i)
            ASSERT_EQ(::link((mount.path() + "/first.bin").c_str(),
                             (mount.path() + "/" + std::string(200, 'L') + std::to_string(i)).c_str()),
                      0);
        ASSERT_EQ(::link((mount.path() + "/first.bin").c_str(), (mount.path() + "/pagefile.sys").c_str()), 0);
        ASSERT_EQ(::unlink((mount.path() + "/first.bin").c_str()), 0);
        WriteFileBytes(mount.path() + "/other.bin", otherBytes);
        ASSERT_TRUE(mount.Unmount());
    }
    // The fixture is what it claims: the name in another record than the data.
    const std::string info = testsupport::Run("ntfsinfo -v -F /pagefile.sys " + Quote(part)).output;
    const size_t name = info.find("'pagefile.sys'");
    ASSERT_NE(name, std::string::npos) << info;
    const size_t nameAttr = info.rfind("Dumping attribute $FILE_NAME", name);
    const size_t dataAttr = info.find("Dumping attribute $DATA");
    ASSERT_NE(nameAttr, std::string::npos);
    ASSERT_NE(dataAttr, std::string::npos);
    const std::string nameRecord = info.substr(info.find("mft record", nameAttr), 20);
    const std::string dataRecord = info.substr(info.find("mft record", dataAttr), 20);
    ASSERT_NE(nameRecord, dataRecord) << info;

    const std::string tree = NtfsTree(part);
    ASSERT_FALSE(tree.empty());
    for (int compress : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "compression " << compress);
        const std::string base = dir.file("img" + std::to_string(compress));
        ASSERT_EQ(BackupNtfsImage(part, base, compress), 0);
        // The independent reader finds every set where the stream says.
        NtfsImage image;
        std::string error;
        ASSERT_TRUE(ReadNtfsImage(base + "_0_0.bkp", &image, &error)) << error;

        const std::string target = dir.file("sdx1");
        MakeSparseFile(target, 24 * kMiB);
        ASSERT_EQ(RestoreNtfsImage(base + "_0_0.bkp", target), 0);
        EXPECT_EQ(NtfsCheckProblems(target), "");
        EXPECT_EQ(NtfsTree(target), tree);
        EXPECT_EQ(CompareNtfsFiles(target, {{"pagefile.sys", pageBytes}, {"other.bin", otherBytes}}), "");
    }
}
