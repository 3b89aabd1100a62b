// The reads through an attribute's runs that the engine's backup and the
// used-space count share: the checks the runs pass, the run of a VCN, and a
// byte range read piece by piece, with one read per allocated run touched.
#include "fslayout/ntfs/ntfs_runs.h"
#include "fslayout/ntfs/ntfs_used_clusters.h"
#include "support/ntfs_record_builder.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kCluster = 8;

tagDataRunList MakeRun(int64_t lcn, uint64_t firstVcn, uint64_t clusters)
{
    return {lcn, clusters, firstVcn, firstVcn + clusters - 1};
}

// VCNs 0-1 at LCN 10, 2-4 sparse, 5 at LCN 3.
const std::vector<tagDataRunList> kRuns = {MakeRun(10, 0, 2), MakeRun(-1, 2, 3), MakeRun(3, 5, 1)};

TEST(NtfsRuns, CheckRunsNamesWhatKeepsThemFromBeingRead)
{
    const uint64_t longest = UINT64_MAX / 2 / 4096;
    struct Case {
        const char* what;
        std::vector<tagDataRunList> runs;
        uint64_t span;
        uint32_t clusterBytes;
        uint64_t clusterCount;
        Ntfs::RunsCheck expected;
    } cases[] = {
        {"runs up to the volume's last cluster", kRuns, 6, 4096, 12, Ntfs::RunsCheck::Ok},
        {"no run", {}, 6, 4096, 100, Ntfs::RunsCheck::NoRuns},
        {"an empty span", kRuns, 0, 4096, 100, Ntfs::RunsCheck::NoRuns},
        {"a run one cluster too long", {MakeRun(10, 0, 2)}, 2, 4096, 11, Ntfs::RunsCheck::PastVolume},
        {"a run starting past the volume", {MakeRun(12, 0, 1)}, 1, 4096, 12, Ntfs::RunsCheck::PastVolume},
        {"a huge sparse run", {MakeRun(-1, 0, longest)}, longest, 4096, 1, Ntfs::RunsCheck::Ok},
        {"a span whose bytes do not fit",
         {MakeRun(-1, 0, 1)},
         longest + 1,
         4096,
         1,
         Ntfs::RunsCheck::TooLong},
        {"no cluster size", kRuns, 6, 0, 100, Ntfs::RunsCheck::TooLong},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Ntfs::CheckRuns(c.runs, c.span, c.clusterBytes, c.clusterCount), c.expected) << c.what;
}

TEST(NtfsRuns, FindRunGivesTheRunHoldingEachVcn)
{
    const int expected[] = {0, 0, 1, 1, 1, 2, -1, -1};
    for (uint64_t vcn = 0; vcn < 8; ++vcn) {
        const tagDataRunList* run = Ntfs::FindRun(kRuns, vcn);
        if (expected[vcn] < 0)
            EXPECT_EQ(run, nullptr) << vcn;
        else
            EXPECT_EQ(run, &kRuns[size_t(expected[vcn])]) << vcn;
    }
    EXPECT_EQ(Ntfs::FindRun({}, 0), nullptr);
    EXPECT_EQ(Ntfs::FindRun(kRuns, UINT64_MAX), nullptr);
}

// A volume of 16 clusters whose byte n holds n, read through kRuns.
struct Reads {
    std::vector<uint8_t> volume = std::vector<uint8_t>(16 * kCluster);
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    bool fail = false;
    Reads() { std::iota(volume.begin(), volume.end(), uint8_t(0)); }

    bool operator()(uint64_t at, uint8_t* into, uint64_t length)
    {
        calls.push_back({at, length});
        if (fail || at + length > volume.size())
            return false;
        std::copy(volume.begin() + ptrdiff_t(at), volume.begin() + ptrdiff_t(at + length), into);
        return true;
    }
};

// What kRuns holds at byte `offset` of the attribute.
uint8_t Expected(const std::vector<uint8_t>& volume, uint64_t offset)
{
    const uint64_t vcn = offset / kCluster;
    if (vcn >= 2 && vcn <= 4)
        return 0;
    const uint64_t lcn = vcn < 2 ? 10 + vcn : 3;
    return volume[lcn * kCluster + offset % kCluster];
}

TEST(NtfsRuns, ReadRunsReadsEachAllocatedRunOnceAndZerosTheSparseOnes)
{
    struct Case {
        const char* what;
        uint64_t offset;
        uint64_t length;
        std::vector<std::pair<uint64_t, uint64_t>> calls;
    } cases[] = {
        {"every cluster", 0, 6 * kCluster, {{10 * kCluster, 2 * kCluster}, {3 * kCluster, kCluster}}},
        {"unaligned, across all runs",
         3,
         5 * kCluster,
         {{10 * kCluster + 3, 2 * kCluster - 3}, {3 * kCluster, 3}}},
        {"within one cluster", kCluster + 2, 4, {{11 * kCluster + 2, 4}}},
        {"sparse only", 2 * kCluster + 1, 2 * kCluster, {}},
        {"nothing", 5, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reads reads;
        std::vector<uint8_t> out(c.length, 0xEE);
        ASSERT_TRUE(Ntfs::ReadRuns(kRuns, kCluster, c.offset, out.data(), c.length, reads));
        EXPECT_EQ(reads.calls, c.calls);
        for (uint64_t i = 0; i < c.length; ++i)
            ASSERT_EQ(out[i], Expected(reads.volume, c.offset + i)) << "byte " << c.offset + i;
    }
}

TEST(NtfsRuns, ReadRunsRefusesBytesItCannotReach)
{
    std::vector<uint8_t> out(8 * kCluster);
    Reads past;
    EXPECT_FALSE(Ntfs::ReadRuns(kRuns, kCluster, 5 * kCluster, out.data(), kCluster + 1, past))
        << "a byte past the last run";
    Reads failing;
    failing.fail = true;
    EXPECT_FALSE(Ntfs::ReadRuns(kRuns, kCluster, 0, out.data(), kCluster, failing)) << "a read that fails";
    // An LCN whose byte offset does not fit in 64 bits is refused before
    // anything reads at a wrapped offset.
    const std::vector<tagDataRunList> far = {MakeRun(INT64_MAX, 0, 1)};
    Reads wrapped;
    EXPECT_FALSE(Ntfs::ReadRuns(far, kCluster, 0, out.data(), kCluster, wrapped));
    EXPECT_TRUE(wrapped.calls.empty());
}

// The used-space reader takes the engine's rule on a span's size too.
TEST(NtfsRuns, StreamReaderRefusesASpanWhoseBytesDoNotFit)
{
    class NoVolume : public Ntfs::VolumeSource {
    public:
        bool ReadAt(uint64_t, void*, uint64_t) const override { return false; }
    } volume;
    Ntfs::BootGeometry geometry;
    geometry.clusterBytes = 4096;
    geometry.clusterCount = 100;
    const uint64_t longest = UINT64_MAX / 2 / 4096;
    for (uint64_t highest : {longest - 1, longest}) {
        testsupport::NtfsRecordBuilder record;
        const uint32_t at = record.End();
        record.NonResident(Ntfs::ATTR_DATA, 0, highest, {0x11, 0x01, 0x02}, 4096);
        Ntfs::StreamReader reader(volume, geometry);
        EXPECT_EQ(reader.Load(reinterpret_cast<const tagRECORD_ATTR*>(record.Plain().data() + at)),
                  highest + 1 <= longest)
            << "highest VCN " << highest;
    }
}

}  // namespace
