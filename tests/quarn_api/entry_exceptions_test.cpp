// No exception crosses an entry point of the engine: whatever a job throws
// (here a caller's callback that throws at the job's first state report)
// ends the job with a named result code and a trace line, handed to the
// trace sink the caller installed.
#include "support/backup_argument.h"
#include "support/fat_fixture.h"
#include "quarn/api/quarn.h"
#include "support/skip_or_fail.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

using namespace testsupport;

namespace {

constexpr uint64_t kMiB = 1 << 20;

// Collects the engine's trace while it lives; standard error again after.
class TraceCapture {
public:
    TraceCapture() { SetTraceSink(&TraceCapture::Collect, this); }
    ~TraceCapture() { SetTraceSink(nullptr, nullptr); }
    const std::string& text() const { return m_text; }

private:
    static void Collect(const char* text, void* context)
    {
        static_cast<TraceCapture*>(context)->m_text += text;
    }
    std::string m_text;
};

enum class Throw { RuntimeError, NoMemory, NotAnException };

void ThrowAsTold(void* context)
{
    switch (*static_cast<const Throw*>(context)) {
    case Throw::RuntimeError:
        throw std::runtime_error("a callback gave up");
    case Throw::NoMemory:
        throw std::bad_alloc();
    case Throw::NotAnException:
        throw 42;
    }
}

void ThrowingState(QString, void* context)
{
    ThrowAsTold(context);
}

struct Entry {
    const char* name;
    std::function<int(const std::string& dir, const tagCallBackFunc& cb)> run;
};

tagRestoreArgument RestoreOf(const std::string& dir)
{
    tagRestoreArgument arg;
    arg.imagePath = dir + "/img_0_0.bkp";
    arg.targetPartition = dir + "/sdx1";
    return arg;
}

const Entry kEntries[] = {
    {"backup_fat32",
     [](const std::string& dir, const tagCallBackFunc& cb) {
         const tagBackupArgument arg =
             BackupArgumentFor(FS_TYPE_FAT32, dir + "/sdz1", dir + "/again", 1, ~0ull, std::string());
         return backup_fat32(arg, cb, nullptr, 0);
     }},
    {"restore_fat32",
     [](const std::string& dir, const tagCallBackFunc& cb) { return restore_fat32(RestoreOf(dir), cb); }},
    {"restore_mbr",
     [](const std::string& dir, const tagCallBackFunc& cb) { return restore_mbr(RestoreOf(dir), cb); }},
    {"verify_image",
     [](const std::string& dir, const tagCallBackFunc& cb) { return verify_image(RestoreOf(dir), cb); }},
};

struct Case {
    Throw what;
    int expected;
    const char* traced;
};

const Case kCases[] = {
    {Throw::RuntimeError, ERR_INTERNAL, "stopped on an unexpected error: a callback gave up"},
    {Throw::NotAnException, ERR_INTERNAL, "stopped on an unexpected error"},
    {Throw::NoMemory, ERR_NO_MEMORY, "Allocate memory failed!"},
};

}  // namespace

TEST(EntryExceptions, WhateverAJobThrowsEndsItWithANamedCode)
{
    if (!HaveProgram("mkfs.fat") || !HaveProgram("mcopy"))
        SKIP_OR_FAIL_IN_CI("dosfstools or mtools are not installed");
    TempDir dir;
    FatImage fat(dir.file("sdz1"), 40 * kMiB, 1, "THROWS", dir.file("scratch"));
    fat.AddFile("/DATA.BIN", PatternBytes(20000, 5));
    MakeSparseFile(dir.file("sdx1"), 40 * kMiB);
    const tagBackupArgument made =
        BackupArgumentFor(FS_TYPE_FAT32, dir.file("sdz1"), dir.file("img"), 1, ~0ull, std::string());
    ASSERT_EQ(backup_fat32(made, tagCallBackFunc{}, nullptr, 0), 0);

    for (const Entry& entry : kEntries) {
        for (const Case& c : kCases) {
            Throw what = c.what;
            tagCallBackFunc cb;
            cb.onState = ThrowingState;
            cb.context = &what;
            TraceCapture trace;
            int result = -1;
            EXPECT_NO_THROW(result = entry.run(dir.path(), cb)) << entry.name;
            EXPECT_EQ(result, c.expected) << entry.name << " " << c.traced;
            EXPECT_NE(trace.text().find(c.traced), std::string::npos) << entry.name << ":\n" << trace.text();
        }
    }
}

// A clone copies on two threads; a throw on the writer's side while the
// walk of the source still runs must neither end the program nor leave the
// walk behind.
void ThrowingBytesDone(uint64_t, void* context)
{
    ThrowAsTold(context);
}

TEST(EntryExceptions, AThrowWhileACloneCopiesEndsItWithANamedCode)
{
    if (!HaveProgram("mkfs.fat") || !HaveProgram("mcopy"))
        SKIP_OR_FAIL_IN_CI("dosfstools or mtools are not installed");
    TempDir dir;
    FatImage fat(dir.file("sdz1"), 40 * kMiB, 1, "THROWS", dir.file("scratch"));
    fat.AddFile("/DATA.BIN", PatternBytes(3 * kMiB, 5));
    MakeSparseFile(dir.file("sdx1"), 40 * kMiB);
    for (const Case& c : kCases) {
        Throw what = c.what;
        tagCallBackFunc cb;
        cb.onBytesDone = ThrowingBytesDone;
        cb.context = &what;
        tagCloneArgument arg;
        arg.srcPartition = dir.file("sdz1");
        arg.destPartition = dir.file("sdx1");
        TraceCapture trace;
        int result = -1;
        EXPECT_NO_THROW(result = clone_fat32(arg, cb));
        EXPECT_EQ(result, c.expected) << c.traced;
        EXPECT_NE(trace.text().find(c.traced), std::string::npos) << trace.text();
    }
}

TEST(EntryExceptions, WithoutASinkTheTraceGoesToStandardError)
{
    testing::internal::CaptureStderr();
    DEBUG_TRACE("a line for standard error %d\n", 7);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "a line for standard error 7\n");

    TraceCapture trace;
    testing::internal::CaptureStderr();
    DEBUG_TRACE("a line for the sink\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(trace.text(), "a line for the sink\n");
}

TEST(EntryExceptions, ALongTraceLineReachesTheSinkWhole)
{
    TraceCapture trace;
    const std::string longName(5000, 'n');
    DEBUG_TRACE("open %s failed!\n", longName.c_str());
    EXPECT_EQ(trace.text(), "open " + longName + " failed!\n");
}
