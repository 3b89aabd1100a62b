// The clone plan's rules as tables: which partitions step 1 takes as the
// source, which step 2 takes as the destination, and the request Start
// hands the engine.
#include "jobs/clone_plan.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using ClonePlan::Partition;
using ClonePlan::Reason;

const quint64 kMiB = 1 << 20;

Partition ntfs(const char* path, quint64 bytes, quint64 used)
{
    Partition p;
    p.path = QString::fromLatin1(path);
    p.fsCode = FS_TYPE_NTFS;
    p.bytes = bytes;
    p.usedBytes = used;
    return p;
}

TEST(ClonePlan, TheSourceIsAnNtfsOrFat32PartitionWithAFileSystem)
{
    const struct {
        const char* what;
        std::function<void(Partition&)> change;
        Reason reason;
    } cases[] = {
        {"an NTFS partition", [](Partition&) {}, Reason::None},
        {"a FAT32 partition", [](Partition& p) { p.fsCode = FS_TYPE_FAT32; }, Reason::None},
        {"a FAT16 partition", [](Partition& p) { p.fsCode = 2; }, Reason::NotCloneable},
        {"a file system the engine does not know", [](Partition& p) { p.fsCode = 0; }, Reason::NotCloneable},
        {"a stopped restore's partition",
         [](Partition& p) {
             p.fsCode = 0;
             p.unfinishedRestore = true;
         },
         Reason::UnfinishedRestore},
        {"nothing chosen", [](Partition& p) { p.path.clear(); }, Reason::NoPartition},
        {"used space not measured", [](Partition& p) { p.usedBytes = 0; }, Reason::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Partition source = ntfs("/dev/sdz1", 100 * kMiB, 40 * kMiB);
        c.change(source);
        const ClonePlan::Verdict verdict = ClonePlan::sourceVerdict(source);
        EXPECT_EQ(verdict.reason, c.reason);
        EXPECT_EQ(verdict.selectable(), c.reason == Reason::None);
    }
}

TEST(ClonePlan, TheDestinationIsAnyOtherPartitionThatHoldsTheSourcesData)
{
    const Partition source = ntfs("/dev/sdz1", 100 * kMiB, 40 * kMiB);
    const struct {
        const char* what;
        std::function<void(Partition&)> change;
        Reason reason;
    } cases[] = {
        {"a larger NTFS partition", [](Partition&) {}, Reason::None},
        {"the source itself", [](Partition& p) { p.path = QStringLiteral("/dev/sdz1"); },
         Reason::SameAsSource},
        {"smaller than the source but holding its data", [](Partition& p) { p.bytes = 41 * kMiB; },
         Reason::None},
        {"exactly the source's used size", [](Partition& p) { p.bytes = 40 * kMiB; }, Reason::None},
        {"one byte short of the source's data", [](Partition& p) { p.bytes = 40 * kMiB - 1; },
         Reason::TooSmall},
        {"a partition without a file system", [](Partition& p) { p.fsCode = 0; }, Reason::None},
        {"a FAT32 partition (laid out afresh)", [](Partition& p) { p.fsCode = FS_TYPE_FAT32; }, Reason::None},
        {"a stopped restore's partition (written again)",
         [](Partition& p) {
             p.fsCode = 0;
             p.unfinishedRestore = true;
         },
         Reason::None},
        {"its size not known (the engine checks)", [](Partition& p) { p.bytes = 0; }, Reason::None},
        {"nothing chosen", [](Partition& p) { p.path.clear(); }, Reason::NoPartition},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Partition destination = ntfs("/dev/sdz2", 200 * kMiB, 1 * kMiB);
        c.change(destination);
        const ClonePlan::Verdict verdict = ClonePlan::destinationVerdict(source, destination);
        EXPECT_EQ(verdict.reason, c.reason);
        if (c.reason == Reason::TooSmall) {
            EXPECT_EQ(verdict.neededBytes, source.usedBytes);
            EXPECT_EQ(verdict.availableBytes, destination.bytes);
        }
    }
    // A source whose used space was not measured: every size passes here.
    Partition unmeasured = source;
    unmeasured.usedBytes = 0;
    EXPECT_TRUE(ClonePlan::destinationVerdict(unmeasured, ntfs("/dev/sdz2", kMiB, 0)).selectable());
}

TEST(ClonePlan, StartRefusesTheSourceFirstAndOtherwiseBuildsTheEnginesRequest)
{
    const Partition source = ntfs("/dev/sdz1", 100 * kMiB, 40 * kMiB);
    Partition fat = source;
    fat.fsCode = FS_TYPE_FAT32;
    Partition fat16 = source;
    fat16.fsCode = 2;
    const Partition destination = ntfs("/dev/sdz5", 60 * kMiB, 0);
    const Partition tiny = ntfs("/dev/sdz6", 10 * kMiB, 0);
    const struct {
        const char* what;
        Partition source;
        Partition destination;
        Reason reason;
        bool sourceRefused;
        int fsCode;
    } cases[] = {
        {"NTFS", source, destination, Reason::None, false, FS_TYPE_NTFS},
        {"FAT32", fat, destination, Reason::None, false, FS_TYPE_FAT32},
        {"no source, no destination", Partition(), Partition(), Reason::NoPartition, true, 0},
        {"no destination", source, Partition(), Reason::NoPartition, false, 0},
        {"a FAT16 source and a tiny destination", fat16, tiny, Reason::NotCloneable, true, 0},
        {"a tiny destination", source, tiny, Reason::TooSmall, false, 0},
        {"onto itself", source, source, Reason::SameAsSource, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool page : {false, true}) {
            const ClonePlan::Result result = ClonePlan::plan(c.source, c.destination, page, !page);
            EXPECT_EQ(result.verdict.reason, c.reason);
            EXPECT_EQ(result.refused(), c.reason != Reason::None);
            EXPECT_EQ(result.sourceRefused, c.sourceRefused);
            if (result.refused())
                continue;
            EXPECT_EQ(result.fsCode, c.fsCode);
            EXPECT_EQ(result.request.srcPartition, c.source.path.toStdString());
            EXPECT_EQ(result.request.destPartition, c.destination.path.toStdString());
            EXPECT_EQ(result.request.filterPageFile, page);
            EXPECT_EQ(result.request.filterHibernateFile, !page);
        }
    }
}

}  // namespace
