// The used clusters from $Bitmap's record: resident and non-resident
// bitmaps, sparse runs, bits past the last cluster, and hostile run lists
// and failing reads named without a read outside the volume.
#include "fslayout/ntfs/ntfs_used_clusters.h"
#include "support/ntfs_record_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using testsupport::NtfsRecordBuilder;

namespace {

constexpr uint32_t kClusterBytes = 512;

// A volume in memory that notes every read and can fail one cluster.
class MemoryVolume : public Ntfs::VolumeSource {
public:
    explicit MemoryVolume(uint64_t clusters) : m_bytes(clusters * kClusterBytes, 0) {}

    bool ReadAt(uint64_t offset, void* buffer, uint64_t length) const override
    {
        ++m_reads;
        if (offset > m_bytes.size() || length > m_bytes.size() - offset) {
            m_outside = true;
            return false;
        }
        if (m_failing != UINT64_MAX && offset <= m_failing * kClusterBytes &&
            m_failing * kClusterBytes < offset + length)
            return false;
        std::memcpy(buffer, m_bytes.data() + offset, length);
        return true;
    }

    void Fill(uint64_t cluster, const std::vector<uint8_t>& bytes)
    {
        std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + ptrdiff_t(cluster * kClusterBytes));
    }
    void FailCluster(uint64_t cluster) { m_failing = cluster; }
    bool ReadOutside() const { return m_outside; }
    int Reads() const { return m_reads; }

private:
    std::vector<uint8_t> m_bytes;
    uint64_t m_failing = UINT64_MAX;
    mutable bool m_outside = false;
    mutable int m_reads = 0;
};

Ntfs::BootGeometry Geometry(uint64_t clusters)
{
    Ntfs::BootGeometry g;
    g.sectorBytes = 512;
    g.clusterBytes = kClusterBytes;
    g.clusterCount = clusters;
    g.fileRecordBytes = 1024;
    return g;
}

Ntfs::UsedStatus Count(const MemoryVolume& volume, uint64_t clusters, const NtfsRecordBuilder& record,
                       uint64_t* used)
{
    return Ntfs::CountUsedClusters(volume, Geometry(clusters), record.Plain().data(),
                                   NtfsRecordBuilder::kBytes, used);
}

TEST(NtfsUsedClusters, ResidentBitmapCountsOnlyBitsOfTheVolume)
{
    MemoryVolume volume(64);
    NtfsRecordBuilder record;
    // 20 clusters: the last byte's high nibble lies past the volume and is set,
    // as a volume's bitmap pads its last byte.
    record.Resident(Ntfs::ATTR_DATA, {0xFF, 0x01, 0xF3, 0xFF});
    uint64_t used = 0;
    ASSERT_EQ(Count(volume, 20, record, &used), Ntfs::UsedStatus::Ok);
    EXPECT_EQ(used, 8u + 1 + 2);
    EXPECT_EQ(volume.Reads(), 0);
}

TEST(NtfsUsedClusters, NonResidentBitmapIsReadThroughItsRuns)
{
    // A 4000-cluster volume: 500 bitmap bytes. The bitmap's first cluster
    // lies at LCN 100, its second is sparse (all clear).
    MemoryVolume volume(4000);
    std::vector<uint8_t> first(kClusterBytes, 0xFF);
    volume.Fill(100, first);
    NtfsRecordBuilder record;
    record.NonResident(Ntfs::ATTR_DATA, 0, 1, {0x11, 0x01, 100, 0x01, 0x01}, 500);
    uint64_t used = 0;
    ASSERT_EQ(Count(volume, 4000, record, &used), Ntfs::UsedStatus::Ok);
    EXPECT_EQ(used, 4000u);  // 500 bytes, all inside the first cluster
    EXPECT_FALSE(volume.ReadOutside());

    // The data size, not the runs, ends the bitmap.
    NtfsRecordBuilder shorter;
    shorter.NonResident(Ntfs::ATTR_DATA, 0, 1, {0x11, 0x01, 100, 0x01, 0x01}, 10);
    ASSERT_EQ(Count(volume, 4000, shorter, &used), Ntfs::UsedStatus::Ok);
    EXPECT_EQ(used, 80u);
}

TEST(NtfsUsedClusters, SparseRunReadsAsClear)
{
    MemoryVolume volume(8192);
    volume.Fill(200, std::vector<uint8_t>(kClusterBytes, 0xFF));
    NtfsRecordBuilder record;
    // VCN 0 sparse, VCN 1 at LCN 200: the bitmap's bytes 512-1023.
    record.NonResident(Ntfs::ATTR_DATA, 0, 1, {0x01, 0x01, 0x21, 0x01, 200, 0x00}, 1024);
    uint64_t used = 0;
    ASSERT_EQ(Count(volume, 8192, record, &used), Ntfs::UsedStatus::Ok);
    EXPECT_EQ(used, 512u * 8);
}

TEST(NtfsUsedClusters, FailuresAreNamed)
{
    struct Case {
        const char* what;
        std::function<void(NtfsRecordBuilder&)> build;
        uint64_t failingCluster;
        Ntfs::UsedStatus expected;
    };
    const std::vector<Case> cases = {
        {"no $DATA",
         [](NtfsRecordBuilder& r) { r.Resident(Ntfs::ATTR_STANDARD_INFORMATION, std::vector<uint8_t>(48)); },
         UINT64_MAX, Ntfs::UsedStatus::NoBitmapData},
        {"only a named $DATA", [](NtfsRecordBuilder& r) { r.Resident(Ntfs::ATTR_DATA, {0xFF}, u"other"); },
         UINT64_MAX, Ntfs::UsedStatus::NoBitmapData},
        {"only a later extent",
         [](NtfsRecordBuilder& r) {
             r.NonResident(Ntfs::ATTR_DATA, 1, 1, {0x11, 0x01, 100}, 512);
         },
         UINT64_MAX, Ntfs::UsedStatus::NoBitmapData},
        {"run past the volume",
         [](NtfsRecordBuilder& r) {
             r.NonResident(Ntfs::ATTR_DATA, 0, 0, {0x21, 0x01, 0x00, 0x40}, 512);
         },
         UINT64_MAX, Ntfs::UsedStatus::BadRunList},
        {"run at a negative LCN",
         [](NtfsRecordBuilder& r) {
             r.NonResident(Ntfs::ATTR_DATA, 0, 0, {0x11, 0x01, 0xF0}, 512);
         },
         UINT64_MAX, Ntfs::UsedStatus::BadRunList},
        {"runs past the extent's VCNs",
         [](NtfsRecordBuilder& r) {
             r.NonResident(Ntfs::ATTR_DATA, 0, 0, {0x11, 0x02, 100}, 512);
         },
         UINT64_MAX, Ntfs::UsedStatus::BadRunList},
        {"bad run header",
         [](NtfsRecordBuilder& r) {
             r.NonResident(Ntfs::ATTR_DATA, 0, 0, {0x90, 0x01, 100}, 512);
         },
         UINT64_MAX, Ntfs::UsedStatus::BadRunList},
        {"no runs", [](NtfsRecordBuilder& r) { r.NonResident(Ntfs::ATTR_DATA, 0, 0, {}, 512); }, UINT64_MAX,
         Ntfs::UsedStatus::BadRunList},
        {"data size past the runs",
         [](NtfsRecordBuilder& r) {
             r.NonResident(Ntfs::ATTR_DATA, 0, 0, {0x11, 0x01, 100}, 600);
         },
         UINT64_MAX, Ntfs::UsedStatus::ReadFailed},
        {"the device fails",
         [](NtfsRecordBuilder& r) {
             r.NonResident(Ntfs::ATTR_DATA, 0, 0, {0x11, 0x01, 100}, 512);
         },
         100, Ntfs::UsedStatus::ReadFailed},
    };
    for (const Case& c : cases) {
        MemoryVolume volume(8192);  // 1024 bitmap bytes
        volume.FailCluster(c.failingCluster);
        NtfsRecordBuilder record;
        c.build(record);
        uint64_t used = 12345;
        EXPECT_EQ(Count(volume, 8192, record, &used), c.expected) << c.what;
        EXPECT_EQ(used, 12345u) << c.what << ": the result stays untouched";
        EXPECT_FALSE(volume.ReadOutside()) << c.what;
    }
}

TEST(NtfsUsedClusters, StreamReaderRefusesWhatItCannotRead)
{
    MemoryVolume volume(16);
    const Ntfs::BootGeometry geometry = Geometry(16);
    NtfsRecordBuilder record;
    const uint32_t resident = record.End();
    record.Resident(Ntfs::ATTR_DATA, {1, 2});
    const uint32_t later = record.End();
    record.NonResident(Ntfs::ATTR_DATA, 4, 4, {0x11, 0x01, 0x02}, 512);
    const uint8_t* bytes = record.Plain().data();
    Ntfs::StreamReader reader(volume, geometry);
    EXPECT_FALSE(reader.Load(reinterpret_cast<const tagRECORD_ATTR*>(bytes + resident)));
    EXPECT_FALSE(reader.Load(reinterpret_cast<const tagRECORD_ATTR*>(bytes + later)));
    Ntfs::BootGeometry noClusters = geometry;
    noClusters.clusterBytes = 0;
    NtfsRecordBuilder first;
    const uint32_t at = first.End();
    first.NonResident(Ntfs::ATTR_DATA, 0, 0, {0x11, 0x01, 0x02}, 512);
    Ntfs::StreamReader zero(volume, noClusters);
    EXPECT_FALSE(zero.Load(reinterpret_cast<const tagRECORD_ATTR*>(first.Plain().data() + at)));

    Ntfs::StreamReader good(volume, geometry);
    ASSERT_TRUE(good.Load(reinterpret_cast<const tagRECORD_ATTR*>(first.Plain().data() + at)));
    std::vector<uint8_t> out(kClusterBytes + 1);
    EXPECT_TRUE(good.Read(0, out.data(), kClusterBytes));
    EXPECT_FALSE(good.Read(0, out.data(), kClusterBytes + 1));
    EXPECT_FALSE(good.Read(kClusterBytes, out.data(), 1));
    EXPECT_FALSE(volume.ReadOutside());
}

}  // namespace
