// quarn.dll as a Windows program links it: the entry points and NTFSRecover
// answer through the DLL boundary with the engine's codes (strings, Qt
// types and callbacks cross it), and bad input is refused without a crash.
#include "platform/windows_engine/ntfs_recover.h"
#include "platform/windows_engine/quarn_windows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>

namespace {

// A drive letter Wine maps to nothing.
const char* const kNoDrive = "Q:";

std::string tempBase(const char* name)
{
    char folder[MAX_PATH];
    EXPECT_GT(GetTempPathA(MAX_PATH, folder), 0u);
    return std::string(folder) + name;
}

bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct Case {
    const char* name;
    int (*run)(const std::string& base);
    int expected;
};

int backupNtfsOfNoDrive(const std::string& base)
{
    tagBackupArgument arg;
    arg.srcPartition = kNoDrive;
    arg.imagePath = base;
    arg.fsType = 4;
    return quarn::backup_ntfs(arg, tagCallBackFunc(), nullptr, 0);
}

int backupFat32OfNoDrive(const std::string& base)
{
    tagBackupArgument arg;
    arg.srcPartition = kNoDrive;
    arg.imagePath = base;
    arg.fsType = 3;
    return quarn::backup_fat32(arg, tagCallBackFunc(), nullptr, 0);
}

int restoreNtfsOntoNoDrive(const std::string& base)
{
    tagRestoreArgument arg;
    arg.imagePath = base + "_0_0.bkp";
    arg.targetPartition = kNoDrive;
    return quarn::restore_ntfs(arg, tagCallBackFunc());
}

int restoreFat32OntoNoDrive(const std::string& base)
{
    tagRestoreArgument arg;
    arg.imagePath = base + "_0_0.bkp";
    arg.targetPartition = kNoDrive;
    return quarn::restore_fat32(arg, tagCallBackFunc());
}

int restoreMbrOntoNoDrive(const std::string& base)
{
    tagRestoreArgument arg;
    arg.imagePath = base + "_0_0.bkp";
    arg.targetPartition = kNoDrive;
    arg.hasMbr = 1;
    return quarn::restore_mbr(arg, tagCallBackFunc());
}

}  // namespace

TEST(QuarnDll, EntryPointsRefuseAMissingDriveWithTheirCode)
{
    const Case cases[] = {
        {"backup_ntfs", backupNtfsOfNoDrive, ERR_OPEN_PART},
        {"backup_fat32", backupFat32OfNoDrive, ERR_OPEN_PART},
        {"restore_ntfs", restoreNtfsOntoNoDrive, ERR_OPEN_PART},
        {"restore_fat32", restoreFat32OntoNoDrive, ERR_OPEN_PART},
    };
    for (const Case& c : cases) {
        const std::string base = tempBase(c.name);
        EXPECT_EQ(c.run(base), c.expected) << c.name;
        EXPECT_FALSE(exists(base + "_0_0.bkp")) << c.name << " left an image behind";
    }
}

TEST(QuarnDll, RestoreMbrOfAMissingImageFails)
{
    const std::string base = tempBase("restore_mbr");
    EXPECT_NE(restoreMbrOntoNoDrive(base), ERR_SUCCESS);
}

TEST(QuarnDll, VerifyImageOfAMissingImageIsNotFound)
{
    tagRestoreArgument arg;
    arg.imagePath = tempBase("verify_image") + "_0_0.bkp";
    EXPECT_EQ(quarn::verify_image(arg, tagCallBackFunc()), ERR_FILE_NOT_FOUND);
}

void collectTrace(const char* text, void* context)
{
    *static_cast<std::string*>(context) += text;
}

void throwingState(QString, void*)
{
    throw std::runtime_error("the caller gave up");
}

// The trace reaches the program's sink through the DLL, and an exception
// of the program's callback ends the job with a code instead of crossing
// the entry point.
TEST(QuarnDll, TraceGoesToTheSinkAndNoExceptionCrossesAnEntryPoint)
{
    std::string trace;
    quarn::set_trace_sink(collectTrace, &trace);
    tagRestoreArgument arg;
    arg.imagePath = tempBase("verify_image") + "_0_0.bkp";
    tagCallBackFunc cb;
    cb.onState = throwingState;
    int result = -1;
    EXPECT_NO_THROW(result = quarn::verify_image(arg, cb));
    quarn::set_trace_sink(nullptr, nullptr);
    EXPECT_EQ(result, ERR_INTERNAL);
    EXPECT_NE(trace.find("verify_image\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("stopped on an unexpected error: the caller gave up"), std::string::npos) << trace;
}

TEST(QuarnDll, NtfsRecoverRefusesAMissingVolumeAndARecoveryWithoutScan)
{
    NTFSRecover recover;
    tagCallBackFuncForRecover callbacks{[](QStringList, void*) {}, [](int, void*) { return 0; }, nullptr};
    EXPECT_EQ(recover.ScanPartition(kNoDrive, callbacks), 32ul);
    const std::string out = tempBase("recovered.bin");
    const unsigned long failed = NTFSRecover::kFailed;  // a value: the DLL exports no constants
    EXPECT_EQ(recover.RecoverFile(0, out, nullptr), failed);
    EXPECT_FALSE(exists(out));
}
