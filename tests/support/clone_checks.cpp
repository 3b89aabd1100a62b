#include "support/clone_checks.h"

#include "support/disk_table.h"
#include "fslayout/unfinished_restore.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

namespace testsupport {

int CloneUnderTest::Clone(const std::string& source, const std::string& dest,
                          const tagCallBackFunc& callbacks) const
{
    tagCloneArgument arg;
    arg.srcPartition = source;
    arg.destPartition = dest;
    return entry(arg, callbacks);
}

void ExpectProgressAndStates(const CloneUnderTest& clone, const std::string& source, uint64_t used,
                             const std::vector<QString>& states, RecordingCallbacks* kept)
{
    RecordingCallbacks own;
    RecordingCallbacks* calls = kept ? kept : &own;
    TempDir dir;
    const std::string dest = dir.file("sdx1");
    MakeSparseFile(dest, clone.destBytes);
    ASSERT_EQ(clone.Clone(source, dest, calls->Bind()), 0);
    ASSERT_EQ(calls->totals.size(), 1u);
    EXPECT_EQ(calls->totals[0], used);
    ASSERT_FALSE(calls->steps.empty());
    for (size_t i = 0; i < calls->steps.size(); ++i)
        EXPECT_EQ(calls->steps[i], int(i) + 1);
    EXPECT_EQ(calls->steps.back(), 95);
    EXPECT_EQ(calls->BytesDoneSum(), used);
    EXPECT_FALSE(calls->names.empty());
    EXPECT_EQ(calls->states, states);
}

void ExpectCancelLeavesNoFileSystem(const CloneUnderTest& clone, const std::string& source,
                                    const std::vector<int>& steps)
{
    for (int step : steps) {
        SCOPED_TRACE("cancelled at step " + std::to_string(step));
        TempDir dir;
        const std::string dest = dir.file("sdx1");
        MakeSparseFile(dest, clone.destBytes);
        // A sound file system at first, so that its loss shows.
        ASSERT_EQ(clone.Clone(source, dest), 0);
        RecordingCallbacks calls;
        calls.cancelAtStep = step;
        EXPECT_EQ(clone.Clone(source, dest, calls.Bind()), ERR_CANCELLED);
        ASSERT_FALSE(calls.steps.empty());
        EXPECT_EQ(calls.steps.back(), step);
        EXPECT_NE(clone.quickCheck(dest).exitCode, 0);
        const std::vector<uint8_t> bytes = ReadFileBytes(dest);
        EXPECT_TRUE(UnfinishedRestore::IsMarked(bytes.data(), bytes.size()));
    }
}

void MakeRefusalFiles(const CloneUnderTest& clone, const std::string& source, uint64_t smallBytes,
                      RefusalFiles* files)
{
    MakeSparseFile(files->dest, clone.destBytes);
    ASSERT_EQ(clone.Clone(source, files->dest), 0);
    ASSERT_EQ(::link(source.c_str(), files->link.c_str()), 0);
    MakeSparseFile(files->small, smallBytes);
    MakeSparseFile(files->zeros, FileSize(source));
    std::vector<uint8_t> bytes = ReadFileBytes(source);
    UnfinishedRestore::MarkSector(bytes.data(), UnfinishedRestore::kSectorBytes);
    WriteFileBytes(files->marked, bytes);
}

std::vector<CloneRefusal> RefusalsOfEveryClone(const std::string& source, const RefusalFiles& files)
{
    const std::string missing = files.dir.file("missing");
    return {
        {"the destination is the source", source, source, ERR_SAME_PARTITION},
        {"the destination is the source by another name", source, files.link, ERR_SAME_PARTITION},
        {"the destination is too small", source, files.small, ERR_PART_TOO_SMALL},
        {"the source holds no file system", files.zeros, files.dest, ERR_PART_INFO},
        {"the source holds a restore that did not finish", files.marked, files.dest, ERR_UNFINISHED_RESTORE},
        {"the source does not exist", missing, files.dest, ERR_OPEN_PART},
        {"the destination does not exist", source, missing, ERR_OPEN_PART},
    };
}

void ExpectRefusalsWriteNothing(const CloneUnderTest& clone, const std::vector<CloneRefusal>& refusals,
                                const std::vector<std::string>& untouched)
{
    for (const CloneRefusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        std::vector<std::vector<uint8_t>> before;
        for (const std::string& path : untouched)
            before.push_back(ReadFileBytes(path));
        EXPECT_EQ(clone.Clone(refusal.source, refusal.dest), refusal.expected);
        for (size_t i = 0; i < untouched.size(); ++i)
            EXPECT_EQ(ReadFileBytes(untouched[i]), before[i]) << untouched[i] << " changed";
    }
}

void ExpectBootSectorCarriesTheDestinationsHiddenSectors(const CloneUnderTest& clone,
                                                         const std::string& source)
{
    TempDir dir;
    const std::string dest = dir.file("sdz1");
    MakeSparseFile(dest, clone.destBytes);
    std::vector<uint8_t> disk;
    ListPartition(&disk, 1, 2048, clone.destBytes);
    WriteFileBytes(dir.file("sdz"), disk);
    ASSERT_EQ(clone.Clone(source, dest), 0);
    const std::vector<uint8_t> bytes = ReadFileBytes(dest);
    uint32_t hidden = 0;
    std::memcpy(&hidden, bytes.data() + 0x1C, sizeof hidden);
    EXPECT_EQ(hidden, 2048u);
    EXPECT_EQ(clone.problems(dest), "");
}

}  // namespace testsupport
