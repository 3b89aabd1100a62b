// The index walk: the entries of a node in order up to its last entry, and
// every kind of damage (an entry length that is not a multiple of 8, one
// past the node, a key past its entry, a name past its key, a node without
// its last entry) named as damage without a read past the node.
#include "fslayout/ntfs/ntfs_index.h"
#include "support/ntfs_record_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using testsupport::NtfsIndexNodeBuilder;

namespace {

std::u16string NameOf(const Ntfs::IndexEntry& entry)
{
    const auto* units = reinterpret_cast<const char16_t*>(reinterpret_cast<const uint8_t*>(entry.key) +
                                                          offsetof(tagATTR_FILE_NAME, name));
    return std::u16string(units, entry.key->nameLength);
}

struct Walked {
    std::vector<std::u16string> names;
    std::vector<Ntfs::IndexEntry> entries;
    bool damaged = false;
};

Walked Walk(const std::vector<uint8_t>& node)
{
    Walked walked;
    Ntfs::IndexNodeWalker walker(node.data(), uint32_t(node.size()));
    Ntfs::IndexEntry entry;
    while (walker.Next(&entry)) {
        walked.names.push_back(NameOf(entry));
        walked.entries.push_back(entry);
    }
    walked.damaged = walker.Damaged();
    return walked;
}

tagINDEX_ENTRY_HEADER* EntryAt(std::vector<uint8_t>& node, uint32_t offset)
{
    return reinterpret_cast<tagINDEX_ENTRY_HEADER*>(node.data() + offset);
}

tagINDEX_HEADER* HeaderOf(std::vector<uint8_t>& node)
{
    return reinterpret_cast<tagINDEX_HEADER*>(node.data());
}

TEST(NtfsIndex, EntriesComeInOrderUpToTheLastOne)
{
    NtfsIndexNodeBuilder builder;
    builder.Entry(0x0001000000000040ull, u"alpha.txt")
        .Entry(65, u"beta", true)
        .Entry(66, u"GAMMA~1", false, 2)
        .Last();
    // Entries after the last one are old ones: never listed.
    const std::vector<uint8_t> node = builder.Finish(64);
    const Walked walked = Walk(node);
    EXPECT_FALSE(walked.damaged);
    ASSERT_EQ(walked.names, (std::vector<std::u16string>{u"alpha.txt", u"beta", u"GAMMA~1"}));
    EXPECT_EQ(walked.entries[0].fileReference, 0x0001000000000040ull);
    EXPECT_EQ(walked.entries[0].fileReference & Ntfs::kRecordNumberMask, 64u);
    EXPECT_EQ(walked.entries[1].key->flags & Ntfs::kFileNameIsDirectory, Ntfs::kFileNameIsDirectory);
    EXPECT_EQ(walked.entries[2].key->nameSpace, Ntfs::kNameSpaceDos);
    EXPECT_FALSE(walked.entries[0].hasSubNode);
}

TEST(NtfsIndex, SubNodeVcnIsTheEntrysLastEightBytes)
{
    NtfsIndexNodeBuilder builder;
    std::vector<uint8_t> key(offsetof(tagATTR_FILE_NAME, name) + 2, 0);
    reinterpret_cast<tagATTR_FILE_NAME*>(key.data())->nameLength = 1;
    key[offsetof(tagATTR_FILE_NAME, name)] = 'k';
    builder.RawEntry(70, key, Ntfs::kIndexEntryHasSubNode, 3).Last(Ntfs::kIndexEntryHasSubNode, 9);
    const Walked walked = Walk(builder.Finish());
    EXPECT_FALSE(walked.damaged);
    ASSERT_EQ(walked.entries.size(), 1u);
    EXPECT_TRUE(walked.entries[0].hasSubNode);
    EXPECT_EQ(walked.entries[0].subNodeVcn, 3u);
}

TEST(NtfsIndex, EmptyNodeHoldsOnlyItsLastEntry)
{
    NtfsIndexNodeBuilder builder;
    builder.Last();
    const Walked walked = Walk(builder.Finish());
    EXPECT_FALSE(walked.damaged);
    EXPECT_TRUE(walked.names.empty());
}

TEST(NtfsIndex, DamagedNodesAreNamedAsDamage)
{
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&, const NtfsIndexNodeBuilder&)> damage;
        size_t entriesBefore;  // entries the walk yields before it meets the damage
    };
    const std::vector<Case> cases = {
        {"entry length not a multiple of 8",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             EntryAt(n, b.EntryOffset(1))->length -= 4;
         },
         1},
        {"entry length 4 past a multiple of 8, still inside the node",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             EntryAt(n, b.EntryOffset(0))->length += 4;
         },
         0},
        {"last entry's length not a multiple of 8",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             EntryAt(n, b.EntryOffset(2))->length = 20;
             HeaderOf(n)->indexLength += 4;
         },
         2},
        {"entry length past the bytes in use",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             EntryAt(n, b.EntryOffset(1))->length = 0x400;
         },
         1},
        {"entry length shorter than its header",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             EntryAt(n, b.EntryOffset(0))->length = 8;
         },
         0},
        {"entry length zero",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             EntryAt(n, b.EntryOffset(0))->length = 0;
         },
         0},
        {"key past its entry",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             EntryAt(n, b.EntryOffset(0))->keyLength += 64;
         },
         0},
        {"key too short for a file name",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             EntryAt(n, b.EntryOffset(1))->keyLength = 20;
         },
         1},
        {"name past its key",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             n[b.EntryOffset(0) + sizeof(tagINDEX_ENTRY_HEADER) + offsetof(tagATTR_FILE_NAME, nameLength)] =
                 200;
         },
         0},
        {"sub node VCN inside the key",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             EntryAt(n, b.EntryOffset(0))->flags |= Ntfs::kIndexEntryHasSubNode;
         },
         0},
        {"no last entry before the bytes in use end",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder& b) {
             HeaderOf(n)->indexLength = b.EntryOffset(2);
         },
         2},
        {"bytes in use past the node",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder&) { HeaderOf(n)->indexLength = 0x10000; }, 0},
        {"first entry inside the node header",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder&) { HeaderOf(n)->entriesOffset = 8; }, 0},
        {"first entry past the bytes in use",
         [](std::vector<uint8_t>& n, const NtfsIndexNodeBuilder&) {
             HeaderOf(n)->entriesOffset = 0xFFFFFFF0u;
         },
         0},
    };
    for (const Case& c : cases) {
        NtfsIndexNodeBuilder builder;
        // Names of a length whose entries need padding: 16 + 66 + 2 x 5 = 92, padded to 96.
        builder.Entry(64, u"first").Entry(65, u"secnd").Last();
        std::vector<uint8_t> node = builder.Finish(32);
        c.damage(node, builder);
        const Walked walked = Walk(node);
        EXPECT_TRUE(walked.damaged) << c.what;
        EXPECT_EQ(walked.names.size(), c.entriesBefore) << c.what;
    }
}

TEST(NtfsIndex, NodeTooShortForItsHeaderIsDamage)
{
    const std::vector<uint8_t> node(8, 0);
    Ntfs::IndexNodeWalker walker(node.data(), uint32_t(node.size()));
    Ntfs::IndexEntry entry;
    EXPECT_FALSE(walker.Next(&entry));
    EXPECT_TRUE(walker.Damaged());
    Ntfs::IndexNodeWalker none(nullptr, 64);
    EXPECT_FALSE(none.Next(&entry));
    EXPECT_TRUE(none.Damaged());
}

// An index block of 1024 bytes with one node, as it lies on disk.
std::vector<uint8_t> IndexBlock()
{
    std::vector<uint8_t> block(1024, 0);
    const uint32_t magic = Ntfs::kIndexBlockMagic;
    std::memcpy(block.data(), &magic, 4);
    const uint16_t usaOffset = 900;  // in the slack after the entries
    const uint16_t usaCount = 3;
    std::memcpy(block.data() + 4, &usaOffset, 2);
    std::memcpy(block.data() + 6, &usaCount, 2);
    NtfsIndexNodeBuilder builder;
    builder.Entry(64, u"in a block").Last();
    const std::vector<uint8_t> node = builder.Finish(1024 - Ntfs::kIndexBlockHeaderBytes - 160);
    std::memcpy(block.data() + Ntfs::kIndexBlockHeaderBytes, node.data(), node.size());
    const uint16_t number = 7;
    std::memcpy(block.data() + usaOffset, &number, 2);
    Ntfs::ApplyFixup(block.data(), 1024);
    return block;
}

TEST(NtfsIndex, IndexBlockIsCheckedAndItsFixupUndone)
{
    std::vector<uint8_t> block = IndexBlock();
    ASSERT_EQ(Ntfs::PrepareIndexBlock(block.data(), 1024), Ntfs::IndexBlockStatus::Ok);
    const Walked walked =
        Walk(std::vector<uint8_t>(block.begin() + Ntfs::kIndexBlockHeaderBytes, block.end()));
    EXPECT_FALSE(walked.damaged);
    EXPECT_EQ(walked.names, std::vector<std::u16string>{u"in a block"});

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        uint32_t bytes;
        Ntfs::IndexBlockStatus expected;
    };
    const std::vector<Case> cases = {
        {"a file record's magic", [](std::vector<uint8_t>& b) { std::memcpy(b.data(), "FILE", 4); }, 1024,
         Ntfs::IndexBlockStatus::NoIndexMagic},
        {"a stride without the number", [](std::vector<uint8_t>& b) { b[1023] ^= 0x80; }, 1024,
         Ntfs::IndexBlockStatus::BadFixup},
        {"sequence for the wrong block size", [](std::vector<uint8_t>&) {}, 512,
         Ntfs::IndexBlockStatus::BadFixup},
        {"shorter than its headers", [](std::vector<uint8_t>&) {}, 32, Ntfs::IndexBlockStatus::TooShort},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> damaged = IndexBlock();
        c.damage(damaged);
        const std::vector<uint8_t> before = damaged;
        EXPECT_EQ(Ntfs::PrepareIndexBlock(damaged.data(), c.bytes), c.expected) << c.what;
        EXPECT_EQ(damaged, before) << c.what;
    }
}

}  // namespace
