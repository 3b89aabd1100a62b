// What callers of the engine library rely on beyond behaviour: the shared
// object's name, the order of the request and callback records' fields, the
// result codes' values and the entry points' signatures.
#include "quarn/api/quarn.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <type_traits>

namespace {

template <class T>
const char* Address(const T& member)
{
    return reinterpret_cast<const char*>(&member);
}

}  // namespace

TEST(PublicApi, TheLibraryIsLoadedByItsSoname)
{
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&backup_ntfs), &info), 0);
    ASSERT_NE(info.dli_fname, nullptr);
    const std::string loaded = SplitFileName(info.dli_fname);
    EXPECT_EQ(loaded, "libquarn.so.1") << info.dli_fname;
}

TEST(PublicApi, BackupRequestFieldsKeepTheirOrder)
{
    tagBackupArgument a;
    const char* fields[] = {Address(a.incremental), Address(a.srcPartition),  Address(a.imagePath),
                            Address(a.mbrSource),   Address(a.prevImage),     Address(a.fsType),
                            Address(a.reserved),    Address(a.compressType),  Address(a.saveMbr),
                            Address(a.mbrSize),     Address(a.password),      Address(a.description),
                            Address(a.volumeSize),  Address(a.bytesToProcess)};
    for (size_t i = 1; i < sizeof fields / sizeof fields[0]; ++i)
        EXPECT_LT(fields[i - 1], fields[i]) << "field " << i + 1;
    EXPECT_TRUE((std::is_same<decltype(a.incremental), bool>::value));
    EXPECT_TRUE((std::is_same<decltype(a.saveMbr), bool>::value));
    EXPECT_TRUE((std::is_same<decltype(a.volumeSize), uint64_t>::value));
    EXPECT_TRUE((std::is_same<decltype(a.bytesToProcess), uint64_t>::value));
    EXPECT_EQ(a.volumeSize, ~0ULL) << "a default request never splits";

    tagRestoreArgument r;
    EXPECT_LT(Address(r.imagePath), Address(r.targetPartition));
    EXPECT_LT(Address(r.targetPartition), Address(r.hasMbr));
}

TEST(PublicApi, CallbackRecordIsEightWordsInOrder)
{
    tagCallBackFunc cb;
    EXPECT_EQ(sizeof cb, 8 * sizeof(void*));
    const char* slots[] = {Address(cb.onProgress),  Address(cb.onTotalBytes), Address(cb.onNextFile),
                           Address(cb.onBytesDone), Address(cb.onName),       Address(cb.onMessage),
                           Address(cb.onState),     Address(cb.context)};
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(slots[i], Address(cb) + i * sizeof(void*)) << "slot " << i;
}

TEST(PublicApi, ResultCodeValues)
{
    struct Code {
        int value;
        int expected;
    } codes[] = {
        {ERR_SUCCESS, 0},
        {ERR_NO_BOOT_AREA, 1},
        {ERR_OPEN_FILE, 16},
        {ERR_READ_FILE, 17},
        {ERR_WRITE_FILE, 18},
        {ERR_FILE_NOT_FOUND, 20},
        {ERR_SEEK_FILE, 21},
        {ERR_BAD_MAGIC, 31},
        {ERR_OPEN_PART, 32},
        {ERR_READ_PART, 33},
        {ERR_WRITE_PART, 34},
        {ERR_SEEK_PART, 37},
        {ERR_PART_INFO, 47},
        {ERR_PART_TOO_SMALL, 48},
        {ERR_NO_MEMORY, 64},
        {ERR_OPEN_DISK, 80},
        {ERR_READ_MBR, 81},
        {ERR_WRITE_MBR, 82},
        {ERR_CANCELLED, 97},
        {ERR_COMPRESS, 99},
        {ERR_NOT_FIRST_VOLUME, 0x10000},
        {ERR_VOLUME_ORDER, 0x10001},
        {ERR_VOLUME_CHAIN, 0x10002},
    };
    for (const auto& c : codes)
        EXPECT_EQ(c.value, c.expected);
    EXPECT_EQ(FS_TYPE_NTFS, 4);
    EXPECT_EQ(FS_TYPE_FAT32, 3);
}

TEST(PublicApi, EntryPointSignatures)
{
    using Backup = int (*)(tagBackupArgument, tagCallBackFunc, tagBackupImageHeadInfo*, int);
    using Restore = int (*)(tagRestoreArgument, tagCallBackFunc);
    using Clone = int (*)(tagCloneArgument, tagCallBackFunc);
    using Trace = void (*)(const char*, ...);
    // A function's address is never null; what can break is its type.
    static_assert(std::is_same<decltype(&backup_ntfs), Backup>::value, "backup_ntfs");
    static_assert(std::is_same<decltype(&backup_fat32), Backup>::value, "backup_fat32");
    static_assert(std::is_same<decltype(&restore_ntfs), Restore>::value, "restore_ntfs");
    static_assert(std::is_same<decltype(&restore_fat32), Restore>::value, "restore_fat32");
    static_assert(std::is_same<decltype(&restore_mbr), Restore>::value, "restore_mbr");
    static_assert(std::is_same<decltype(&verify_image), Restore>::value, "verify_image");
    static_assert(std::is_same<decltype(&clone_ntfs), Clone>::value, "clone_ntfs");
    static_assert(std::is_same<decltype(&clone_fat32), Clone>::value, "clone_fat32");
    // decltype would carry the printf-format attribute into a template
    // argument; a function pointer takes only a function of its exact type.
    Trace trace = &DEBUG_TRACE;
    (void)trace;
}

TEST(PublicApi, EntryPointsReportTheirNameOnStandardErrorOnly)
{
    struct Call {
        const char* name;
        int (*run)();
    } calls[] = {
        {"backup_ntfs\n", [] { return backup_ntfs(tagBackupArgument{}, tagCallBackFunc{}, nullptr, 0); }},
        {"backup_fat32\n", [] { return backup_fat32(tagBackupArgument{}, tagCallBackFunc{}, nullptr, 0); }},
        {"restore_ntfs\n", [] { return restore_ntfs(tagRestoreArgument{}, tagCallBackFunc{}); }},
        {"restore_fat32\n", [] { return restore_fat32(tagRestoreArgument{}, tagCallBackFunc{}); }},
        {"restore_mbr\n", [] { return restore_mbr(tagRestoreArgument{}, tagCallBackFunc{}); }},
        {"verify_image\n", [] { return verify_image(tagRestoreArgument{}, tagCallBackFunc{}); }},
        {"clone_ntfs\n", [] { return clone_ntfs(tagCloneArgument{}, tagCallBackFunc{}); }},
        {"clone_fat32\n", [] { return clone_fat32(tagCloneArgument{}, tagCallBackFunc{}); }},
    };
    for (const auto& c : calls) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int result = c.run();
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(result, 0) << c.name << "an empty request cannot succeed";
        EXPECT_EQ(out, "") << c.name;
        EXPECT_EQ(err.rfind(c.name, 0), 0u) << err;
    }
}
