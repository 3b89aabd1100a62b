// The NetBIOS name look-up through nmblookup: NetBIOS broadcasts cannot run
// on loopback, so a fake nmblookup first on PATH prints recorded answers.
#include "platform/linux/nmb_lookup.h"
#include "storage/parted_sanitizer_options.h"
#include "storage/smb_fixtures.h"

#include <gtest/gtest.h>

namespace {

using smbtest::FakePrograms;

struct AnswerCase {
    const char* output;   // what nmblookup prints
    const char* address;  // what the look-up gives
};

TEST(NmbLookupTest, TakesTheFirstLineThatStartsWithADigitUpToItsFirstBlank)
{
    const AnswerCase cases[] = {
        {"querying FILESRV on 192.168.1.255\n192.168.1.5 FILESRV<00>\n", "192.168.1.5"},
        {"querying X on 10.0.0.255\n10.0.0.7\tX<00>\n10.0.0.8 X<00>\n", "10.0.0.7"},
        {"10.1.2.3\r\n", "10.1.2.3"},
        {"querying X on 10.0.0.255\nname_query failed to find name X\n", ""},
        {"", ""},
        // An answer that is no address never reaches a mount source or a
        // directory name.
        {"1.2.3.4/../../etc x\n", ""},
        {"300.1.1.1 X<00>\n", ""},
        {"9/../x X<00>\n", ""},
    };
    smbtest::testApp();
    for (const AnswerCase& c : cases) {
        FakePrograms fake;
        std::ofstream(fake.file("answer")) << c.output;
        fake.add("nmblookup", "cat " + testsupport::Quote(fake.file("answer")) + "\n");
        EXPECT_EQ(nmbLookup("X").toStdString(), c.address) << c.output;
    }
}

TEST(NmbLookupTest, TheNameArrivesAsOneArgumentThatNoShellReads)
{
    smbtest::testApp();
    FakePrograms fake;
    const std::string record = fake.file("args");
    fake.add("nmblookup",
             "printf '%s\\n' \"$#\" \"$1\" > " + testsupport::Quote(record) + "\necho 10.0.0.1 X\n");
    const char* name = "A B;touch pwned $(id) `id`";
    EXPECT_EQ(nmbLookup(name), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(testsupport::Run("cat " + testsupport::Quote(record)).output, std::string("1\n") + name + "\n");
    EXPECT_FALSE(testsupport::FileExists("pwned"));
}

TEST(NmbLookupTest, NoProgramNoNameAndOptionLikeNamesGiveNoAddress)
{
    smbtest::testApp();
    {
        FakePrograms fake;  // an empty PATH folder, then nothing else
        const std::string oldPath = getenv("PATH");
        setenv("PATH", fake.bin().c_str(), 1);
        EXPECT_TRUE(nmbLookup("X").isEmpty());
        setenv("PATH", oldPath.c_str(), 1);
    }
    FakePrograms fake;
    fake.add("nmblookup", "echo 10.0.0.1 X\n");
    EXPECT_TRUE(nmbLookup(nullptr).isEmpty());
    EXPECT_TRUE(nmbLookup("").isEmpty());
    EXPECT_TRUE(nmbLookup("-B").isEmpty());
}

}  // namespace
