// Which non-resident attributes carry a data set: the one rule the backup
// and the restore share, and a page file whose name stands in an extension
// record, backed up and restored through it, judged by ntfs-3g.
#include "quarn/ntfs/stored_data_sets.h"
#include "support/ntfs_attr_builder.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_image_reader.h"
#include "support/ntfs_jobs.h"
#include "support/ntfs_restore_fixture.h"
#include "quarn/api/quarn.h"
#include "support/test_support.h"

#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
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

constexpr uint32_t kRecordBytes = 1024;

uint64_t Le(const std::vector<uint8_t>& bytes, size_t at, int size)
{
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes.at(at + i);
    return value;
}

// Swaps references to record a and record b in a file reference.
void SwapReference(uint64_t* reference, uint32_t a, uint32_t b)
{
    const uint64_t number = *reference & Ntfs::kRecordNumberMask;
    if (number == a || number == b)
        *reference = (*reference & ~Ntfs::kRecordNumberMask) | (number == a ? b : a);
}

// Swaps the references of every entry of one index node.
void SwapIndexEntries(uint8_t* node, uint32_t nodeBytes, uint32_t a, uint32_t b)
{
    const auto* header = reinterpret_cast<const tagINDEX_HEADER*>(node);
    uint32_t at = header->entriesOffset;
    const uint32_t end = std::min(header->indexLength, nodeBytes);
    while (at + sizeof(tagINDEX_ENTRY_HEADER) <= end) {
        auto* entry = reinterpret_cast<tagINDEX_ENTRY_HEADER*>(node + at);
        if ((entry->flags & Ntfs::kIndexEntryLast) != 0 || entry->length == 0)
            break;
        SwapReference(&entry->fileReference, a, b);
        at += entry->length;
    }
}

// Swaps MFT records a and b of an unmounted volume and mends what refers to
// them: the records' own numbers, an extension record's base reference,
// the attribute list and the root directory's index. Made for a file whose
// base and extension record are a and b and which is named only in the root.
bool SwapMftRecords(const std::string& part, uint32_t a, uint32_t b, std::string* why)
{
    std::vector<uint8_t> bytes = ReadFileBytes(part);
    const uint32_t cluster = uint32_t(Le(bytes, 11, 2) * bytes.at(13));
    const int8_t indexByte = int8_t(bytes.at(68));
    const uint32_t indexBlock = indexByte < 0 ? 1u << -indexByte : uint32_t(indexByte) * cluster;
    // Record 0 tells where the MFT's clusters lie.
    std::vector<uint8_t> mft0(bytes.begin() + Le(bytes, 48, 8) * cluster,
                              bytes.begin() + Le(bytes, 48, 8) * cluster + kRecordBytes);
    if (!Ntfs::RemoveFixup(mft0.data(), kRecordBytes)) {
        *why = "record 0 has a bad update sequence";
        return false;
    }
    std::vector<tagDataRunList> runs;
    Ntfs::AttributeWalker walker(mft0.data(), kRecordBytes);
    while (const tagRECORD_ATTR* attr = walker.Next()) {
        if (attr->type == Ntfs::ATTR_DATA && attr->nonResident)
            Ntfs::DecodeRunList(attr, &runs);
    }
    auto offsetOf = [&](uint32_t n) -> uint64_t {
        const uint64_t vcn = uint64_t(n) * kRecordBytes / cluster;
        for (const auto& run : runs) {
            if (vcn >= run.firstVcn && vcn <= run.lastVcn)
                return (uint64_t(run.lcn) + vcn - run.firstVcn) * cluster +
                       uint64_t(n) * kRecordBytes % cluster;
        }
        return 0;
    };
    std::vector<uint8_t> records[2];
    const uint32_t numbers[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        const uint64_t at = offsetOf(numbers[i]);
        if (at == 0) {
            *why = "record " + std::to_string(numbers[i]) + " lies outside the MFT's runs";
            return false;
        }
        records[i].assign(bytes.begin() + at, bytes.begin() + at + kRecordBytes);
        if (!Ntfs::RemoveFixup(records[i].data(), kRecordBytes)) {
            *why = "record " + std::to_string(numbers[i]) + " has a bad update sequence";
            return false;
        }
        auto* header = reinterpret_cast<tagFILE_RECORD_HEADER*>(records[i].data());
        header->recordNumber = numbers[1 - i];
        if (header->baseRecord != 0)
            SwapReference(&header->baseRecord, a, b);
        Ntfs::AttributeWalker attrs(records[i].data(), kRecordBytes);
        while (const tagRECORD_ATTR* attr = attrs.Next()) {
            if (attr->type != Ntfs::ATTR_ATTRIBUTE_LIST)
                continue;
            // ntfs-3g keeps the list in a cluster of its own.
            uint8_t* value = nullptr;
            uint64_t valueLength = 0;
            if (attr->nonResident) {
                std::vector<tagDataRunList> listRuns;
                if (Ntfs::DecodeRunList(attr, &listRuns) != Ntfs::RunListStatus::Ok || listRuns.size() != 1 ||
                    (uint64_t(listRuns[0].lcn) + 1) * cluster > bytes.size()) {
                    *why = "attribute list runs not understood";
                    return false;
                }
                value = bytes.data() + uint64_t(listRuns[0].lcn) * cluster;
                valueLength = std::min<uint64_t>(attr->nonRes.dataSize, cluster);
            } else {
                value = const_cast<uint8_t*>(Ntfs::ResidentValue(attr));
                valueLength = attr->resident.valueLength;
            }
            std::vector<std::vector<uint8_t>> entries;
            uint32_t at = 0;
            while (at + sizeof(tagATTR_LIST_ENTRY) <= valueLength) {
                auto* entry = reinterpret_cast<tagATTR_LIST_ENTRY*>(value + at);
                if (entry->length == 0 || at + entry->length > valueLength)
                    break;
                SwapReference(&entry->recordReference, a, b);
                entries.emplace_back(value + at, value + at + entry->length);
                at += entry->length;
            }
            // ntfs-3g keeps the entries of one attribute type in the order
            // of the records that hold them.
            auto key = [](const std::vector<uint8_t>& bytes) {
                const auto* entry = reinterpret_cast<const tagATTR_LIST_ENTRY*>(bytes.data());
                return std::make_tuple(entry->type, entry->lowestVcn,
                                       entry->recordReference & Ntfs::kRecordNumberMask);
            };
            std::stable_sort(entries.begin(), entries.end(),
                             [&](const std::vector<uint8_t>& x, const std::vector<uint8_t>& y) {
                                 return key(x) < key(y);
                             });
            at = 0;
            for (const auto& entry : entries) {
                std::copy(entry.begin(), entry.end(), value + at);
                at += uint32_t(entry.size());
            }
        }
    }
    // The root directory's index: its root in record 5, its blocks anywhere.
    {
        const uint64_t at = offsetOf(5);
        std::vector<uint8_t> root(bytes.begin() + at, bytes.begin() + at + kRecordBytes);
        Ntfs::RemoveFixup(root.data(), kRecordBytes);
        Ntfs::AttributeWalker attrs(root.data(), kRecordBytes);
        while (const tagRECORD_ATTR* attr = attrs.Next()) {
            if (attr->type == Ntfs::ATTR_INDEX_ROOT && !attr->nonResident)
                SwapIndexEntries(const_cast<uint8_t*>(Ntfs::ResidentValue(attr)) +
                                     Ntfs::kIndexRootHeaderBytes,
                                 attr->resident.valueLength - Ntfs::kIndexRootHeaderBytes, a, b);
        }
        Ntfs::ApplyFixup(root.data(), kRecordBytes);
        std::copy(root.begin(), root.end(), bytes.begin() + at);
    }
    for (size_t at = 0; at + indexBlock <= bytes.size(); at += 512) {
        if (std::memcmp(&bytes[at], "INDX", 4) != 0)
            continue;
        std::vector<uint8_t> block(bytes.begin() + at, bytes.begin() + at + indexBlock);
        if (!Ntfs::RemoveFixup(block.data(), indexBlock))
            continue;
        SwapIndexEntries(block.data() + Ntfs::kIndexBlockHeaderBytes,
                         indexBlock - Ntfs::kIndexBlockHeaderBytes, a, b);
        Ntfs::ApplyFixup(block.data(), indexBlock);
        std::copy(block.begin(), block.end(), bytes.begin() + at);
    }
    // Each record's bytes move to the other's place.
    for (int i = 0; i < 2; ++i) {
        Ntfs::ApplyFixup(records[i].data(), kRecordBytes);
        std::copy(records[i].begin(), records[i].end(), bytes.begin() + offsetOf(numbers[1 - i]));
    }
    WriteFileBytes(part, bytes);
    return true;
}

}  // namespace

TEST(StoredDataSets, RuleTable)
{
    const auto data = Attribute(Ntfs::ATTR_DATA, 0, 3, 4 * 4096);
    const auto empty = Attribute(Ntfs::ATTR_DATA, 0, 0, 0);
    const auto extent = Attribute(Ntfs::ATTR_DATA, 4, 7, 0);
    const auto bitmap = Attribute(Ntfs::ATTR_BITMAP, 0, 0, 4096);
    constexpr uint32_t kRoot = Ntfs::kRootRecord;
    constexpr uint32_t kSub = 64;  // a folder other than the root
    enum Rule : bool { kAnyFolder = false, kRootOnly = true };
    struct Name {
        uint32_t owner;
        uint32_t parent;
        const char* text;
    };
    struct Case {
        const char* what;
        bool extentsStored;
        Rule rule;
        std::vector<Name> names;  // noted before the question
        uint32_t owner;
        const std::vector<uint8_t>* attr;
        bool carries;
        bool unstoredFileData;
    };
    const Case cases[] = {
        {"a file's data", true, kRootOnly, {}, 70, &data, true, false},
        {"nothing allocated", true, kRootOnly, {}, 70, &empty, false, false},
        {"a continuation extent, extents stored", true, kRootOnly, {}, 70, &extent, true, false},
        {"a continuation extent, older image", false, kRootOnly, {}, 70, &extent, false, false},
        {"the MFT's data and bitmap", true, kRootOnly, {}, Ntfs::kMftRecord, &data, false, false},
        {"the MFT's bitmap", true, kRootOnly, {}, Ntfs::kMftRecord, &bitmap, false, false},
        {"$Bitmap's data", true, kRootOnly, {}, Ntfs::kBitmapRecord, &data, false, false},
        {"$BadClus, any attribute", true, kRootOnly, {}, Ntfs::kBadClusRecord, &bitmap, false, false},
        {"a system file's bitmap", true, kRootOnly, {}, Ntfs::kBitmapRecord, &bitmap, true, false},
        {"the page file, named before",
         true,
         kRootOnly,
         {{70, kRoot, "pagefile.sys"}},
         70,
         &data,
         false,
         true},
        {"the page file in any case", true, kRootOnly, {{70, kRoot, "PageFile.SYS"}}, 70, &data, false, true},
        {"the hibernation file", true, kRootOnly, {{71, kRoot, "hiberfil.sys"}}, 71, &data, false, true},
        {"the page file's later extent",
         true,
         kRootOnly,
         {{70, kRoot, "pagefile.sys"}},
         70,
         &extent,
         false,
         true},
        {"the page file's bitmap is stored",
         true,
         kRootOnly,
         {{70, kRoot, "pagefile.sys"}},
         70,
         &bitmap,
         true,
         false},
        {"only the first page file counts",
         true,
         kRootOnly,
         {{70, kRoot, "pagefile.sys"}, {80, kRoot, "pagefile.sys"}},
         80,
         &data,
         true,
         false},
        {"another file than the page file",
         true,
         kRootOnly,
         {{70, kRoot, "pagefile.sys"}},
         72,
         &data,
         true,
         false},
        {"a name like it", true, kRootOnly, {{70, kRoot, "pagefile.sy"}}, 70, &data, true, false},
        {"a page file in a subfolder keeps its data",
         true,
         kRootOnly,
         {{70, kSub, "pagefile.sys"}},
         70,
         &data,
         true,
         false},
        {"a hibernation file in a subfolder keeps its data",
         true,
         kRootOnly,
         {{71, kSub, "HIBERFIL.SYS"}},
         71,
         &data,
         true,
         false},
        {"a subfolder's page file does not hide the root's",
         true,
         kRootOnly,
         {{70, kSub, "pagefile.sys"}, {80, kRoot, "pagefile.sys"}},
         80,
         &data,
         false,
         true},
        {"older images: a page file in any folder",
         true,
         kAnyFolder,
         {{70, kSub, "pagefile.sys"}},
         70,
         &data,
         false,
         true},
        {"older images: the first one met, wherever",
         true,
         kAnyFolder,
         {{70, kSub, "pagefile.sys"}, {80, kRoot, "pagefile.sys"}},
         80,
         &data,
         true,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StoredDataSets rule(c.extentsStored, c.rule);
        for (const auto& name : c.names)
            rule.NoteName(name.owner, name.parent, QString::fromUtf8(name.text));
        EXPECT_EQ(rule.CarriesDataSet(c.owner, AsAttr(*c.attr)), c.carries);
        EXPECT_EQ(rule.IsUnstoredFileData(c.owner, AsAttr(*c.attr)->type), c.unstoredFileData);
    }
}

TEST(StoredDataSets, ANewStreamForgetsTheNames)
{
    const auto data = Attribute(Ntfs::ATTR_DATA, 0, 3, 4 * 4096);
    StoredDataSets rule;
    rule.NoteName(70, Ntfs::kRootRecord, QStringLiteral("pagefile.sys"));
    EXPECT_FALSE(rule.CarriesDataSet(70, AsAttr(data)));
    // An older image of a chain: its stream learns its own names.
    rule.Reset(true);
    EXPECT_TRUE(rule.CarriesDataSet(70, AsAttr(data)));
    rule.NoteName(90, Ntfs::kRootRecord, QStringLiteral("pagefile.sys"));
    EXPECT_TRUE(rule.CarriesDataSet(70, AsAttr(data)));
    EXPECT_FALSE(rule.CarriesDataSet(90, AsAttr(data)));
    // An older image of the older rule: a subfolder's page file counts.
    rule.Reset(true, false);
    rule.NoteName(95, 64, QStringLiteral("pagefile.sys"));
    EXPECT_FALSE(rule.CarriesDataSet(95, AsAttr(data)));
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

// ntfs-3g puts extension records behind their base record; the fixture
// swaps the two records of a page file whose name stands in its extension
// record, so that the stream meets "pagefile.sys" in record 64 before the
// data of its base record 65. Both sides then leave the data out, and the
// restore stays in step.
TEST(StoredDataSetsRoundTrip, ExtensionRecordStoredBeforeItsBase)
{
    if (!HaveNtfsTools() || !HaveProgram("ntfsresize") || !HaveProgram("ntfsfix"))
        SKIP_OR_FAIL_IN_CI("ntfs-3g tools are not installed");
    if (!NtfsMountUsable())
        SKIP_OR_FAIL_IN_CI("no ntfs-3g mount here: the names are made through one");
    TempDir dir;
    const std::string part = dir.file("sdz1");
    std::string log;
    ASSERT_TRUE(MakeNtfsPartition(part, 24 * kMiB, &log)) << log;
    const std::string longName(255, 'L');
    const std::vector<uint8_t> otherBytes = PatternBytes(300000, 43);
    {
        NtfsMount mount(part, dir.file("mnt"));
        ASSERT_TRUE(mount.ok()) << mount.log();
        // The long name fills the base record: the second name goes to an
        // extension record.
        WriteFileBytes(mount.path() + "/" + longName, PatternBytes(kMiB, 44));
        ASSERT_EQ(::link((mount.path() + "/" + longName).c_str(), (mount.path() + "/pagefile.sys").c_str()),
                  0);
        WriteFileBytes(mount.path() + "/other.bin", otherBytes);
        ASSERT_TRUE(mount.Unmount());
    }
    const int64_t base = NtfsInodeOf(part, "/pagefile.sys");
    ASSERT_GT(base, 0);
    const std::string before = testsupport::Run("ntfsinfo -v -F /pagefile.sys " + Quote(part)).output;
    const std::string extension = "$FILE_NAME (0x30) from mft record " + std::to_string(base + 1) + " ";
    ASSERT_NE(before.find(extension), std::string::npos) << "no name in record " << base + 1 << ":\n"
                                                         << before;

    std::string why;
    ASSERT_TRUE(SwapMftRecords(part, uint32_t(base), uint32_t(base + 1), &why)) << why;
    // ntfs-3g finds the swapped volume sound, and the file in its new place.
    ASSERT_EQ(NtfsCheckProblems(part), "");
    ASSERT_EQ(NtfsInodeOf(part, "/pagefile.sys"), base + 1);
    const std::string after = testsupport::Run("ntfsinfo -v -F /pagefile.sys " + Quote(part)).output;
    const std::string moved =
        "Dumping attribute $FILE_NAME (0x30) from mft record " + std::to_string(base) + " ";
    const size_t name = after.find("'pagefile.sys'");
    ASSERT_NE(name, std::string::npos) << after;
    ASSERT_EQ(after.rfind("Dumping attribute", name), after.rfind(moved, name)) << after;

    const std::string tree = NtfsTree(part);
    ASSERT_FALSE(tree.empty());
    for (int compress : {0, 2}) {
        SCOPED_TRACE(testing::Message() << "compression " << compress);
        const std::string image = dir.file("img" + std::to_string(compress));
        ASSERT_EQ(BackupNtfsImage(part, image, compress), 0);
        NtfsImage read;
        std::string error;
        ASSERT_TRUE(ReadNtfsImage(image + "_0_0.bkp", &read, &error)) << error;

        const std::string target = dir.file("sdx1");
        MakeSparseFile(target, 24 * kMiB);
        ASSERT_EQ(RestoreNtfsImage(image + "_0_0.bkp", target), 0);
        EXPECT_EQ(NtfsCheckProblems(target), "");
        EXPECT_EQ(NtfsTree(target), tree);
        // The page file keeps its size, not its data; everything else is whole.
        EXPECT_EQ(CompareNtfsFiles(target, {{"other.bin", otherBytes}}), "");
    }
}
