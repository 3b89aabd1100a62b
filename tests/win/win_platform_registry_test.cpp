// The registry through the Windows layer, on both platforms.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/windows/platform.h"
#include "win/support/test_system.h"
#include "platform/windows/text.h"

using namespace winplat;

class WinRegistry : public ::testing::Test {
protected:
    void TearDown() override { platform.deleteRegistryKey(RegistryHive::CurrentUser, key); }

    TestSystem system;
    Platform& platform = system.platform();
    std::u16string key = u"Software\\SorvikTest\\" +
                         utf16(std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
};

TEST_F(WinRegistry, ValuesOfEveryTypeRoundTrip)
{
    RegistryValue text;
    text.strings = {u"D:\\备份\\images"};
    RegistryValue number;
    number.type = RegistryValue::DWord;
    number.number = 0xFEEDBEEF;
    RegistryValue list;
    list.type = RegistryValue::MultiString;
    list.strings = {u"\\System Volume Information\\*{3808876B-C176-4e48-B7AE-04046E6CC752} /s", u"第二",
                    u"c"};
    RegistryValue byDefault;
    byDefault.strings = {u"C:\\Program Files\\deskrestore.exe \"%1\""};

    ASSERT_EQ(platform.writeRegistryValue(RegistryHive::CurrentUser, key, u"dstPath", text), err::kSuccess);
    ASSERT_EQ(platform.writeRegistryValue(RegistryHive::CurrentUser, key, u"Install", number), err::kSuccess);
    ASSERT_EQ(platform.writeRegistryValue(RegistryHive::CurrentUser, key + u"\\Deep\\Er", u"List", list),
              err::kSuccess);
    ASSERT_EQ(platform.writeRegistryValue(RegistryHive::CurrentUser, key, u"", byDefault), err::kSuccess);

    RegistryValue read;
    ASSERT_EQ(platform.readRegistryValue(RegistryHive::CurrentUser, key, u"DSTPATH", read), err::kSuccess);
    EXPECT_EQ(read.type, RegistryValue::String);
    EXPECT_EQ(read.strings, text.strings);
    ASSERT_EQ(platform.readRegistryValue(RegistryHive::CurrentUser, key, u"Install", read), err::kSuccess);
    EXPECT_EQ(read.type, RegistryValue::DWord);
    EXPECT_EQ(read.number, 0xFEEDBEEFu);
    ASSERT_EQ(platform.readRegistryValue(RegistryHive::CurrentUser, key + u"\\Deep\\Er", u"List", read),
              err::kSuccess);
    EXPECT_EQ(read.type, RegistryValue::MultiString);
    EXPECT_EQ(read.strings, list.strings);
    ASSERT_EQ(platform.readRegistryValue(RegistryHive::CurrentUser, key, u"", read), err::kSuccess);
    EXPECT_EQ(read.strings, byDefault.strings);

    text.strings = {u"replaced"};
    ASSERT_EQ(platform.writeRegistryValue(RegistryHive::CurrentUser, key, u"dstPath", text), err::kSuccess);
    ASSERT_EQ(platform.readRegistryValue(RegistryHive::CurrentUser, key, u"dstPath", read), err::kSuccess);
    EXPECT_EQ(read.strings, text.strings);
}

TEST_F(WinRegistry, MissingValuesAndKeysAreNotFound)
{
    RegistryValue read;
    EXPECT_EQ(platform.readRegistryValue(RegistryHive::CurrentUser, key, u"Lang", read), err::kFileNotFound);
    RegistryValue text;
    text.strings = {u"zh_CN"};
    ASSERT_EQ(platform.writeRegistryValue(RegistryHive::CurrentUser, key, u"Lang", text), err::kSuccess);
    EXPECT_EQ(platform.readRegistryValue(RegistryHive::CurrentUser, key, u"Other", read), err::kFileNotFound);
    EXPECT_EQ(platform.readRegistryValue(RegistryHive::LocalMachine, key, u"Lang", read), err::kFileNotFound);
}

TEST_F(WinRegistry, DeletingAKeyTakesItsSubkeys)
{
    RegistryValue text;
    text.strings = {u"x"};
    ASSERT_EQ(platform.writeRegistryValue(RegistryHive::CurrentUser, key + u"\\A\\B", u"v", text),
              err::kSuccess);
    ASSERT_EQ(platform.writeRegistryValue(RegistryHive::CurrentUser, key, u"w", text), err::kSuccess);
    ASSERT_EQ(platform.deleteRegistryKey(RegistryHive::CurrentUser, key), err::kSuccess);
    RegistryValue read;
    EXPECT_EQ(platform.readRegistryValue(RegistryHive::CurrentUser, key + u"\\A\\B", u"v", read),
              err::kFileNotFound);
    EXPECT_EQ(platform.readRegistryValue(RegistryHive::CurrentUser, key, u"w", read), err::kFileNotFound);
    EXPECT_EQ(platform.deleteRegistryKey(RegistryHive::CurrentUser, key), err::kFileNotFound);
}
