// Mounting an SMB share for a local path below it: the server's address
// from nmblookup, mount.cifs with a credentials file (never the password in
// its arguments), one mount per share, and names from the server that can
// never lead outside the share. The kernel has no cifs driver here:
// nmblookup, mount.cifs and umount are recording fakes on PATH.
#include "platform/linux/cifs_credentials.h"
#include "storage/mount_fixtures.h"
#include "storage/parted_sanitizer_options.h"
#include "platform/linux/smb_credential_store.h"
#include "platform/linux/smb_context.h"
#include "platform/linux/smb_filesystem_item.h"
#include "storage/smb_fixtures.h"
#include "platform/linux/smb_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>

namespace {

using mounttest::ScopedMountPaths;
using smbtest::FakePrograms;
using testsupport::Quote;

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SmbMountTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        smbtest::testApp();
        ASSERT_NE(smbContext(), nullptr);
        SmbCredentialStore::instance()->clear();
        std::ofstream(fake.file("mtab")) << "";
        testsupport::Run("mkdir -p " + Quote(base()));
        paths = std::make_unique<ScopedMountPaths>(base(), fake.file("mtab"));
        fake.add("nmblookup", "echo 'querying FILESRV on 127.255.255.255'\n"
                              "echo '127.0.0.1 FILESRV<00>'\n");
        // Records its arguments, and the mode and contents of a credentials
        // file while it exists.
        fake.add("mount.cifs", "echo \"$*\" >> " + Quote(runs()) +
                                   "\n"
                                   "case \"$4\" in credentials=*)\n"
                                   "  f=${4#credentials=}\n"
                                   "  stat -c %a \"$f\" >> " +
                                   Quote(creds()) +
                                   "\n"
                                   "  cat \"$f\" >> " +
                                   Quote(creds()) +
                                   "\n"
                                   "  echo \"$f\" >> " +
                                   Quote(fake.file("credpaths")) +
                                   ";;\n"
                                   "esac\n");
        fake.add("umount", "echo \"umount $*\" >> " + Quote(runs()) + "\n");
        server =
            std::make_unique<SMBFilesystemItem>(IFilesystemItem::ServerType, "FILESRV", 0, nullptr, nullptr);
    }
    void TearDown() override
    {
        server.reset();
        paths.reset();
    }

    std::string base() const { return fake.file("base"); }
    std::string runs() const { return fake.file("runs"); }
    std::string creds() const { return fake.file("creds"); }
    std::vector<std::string> runLines() const
    {
        std::vector<std::string> lines;
        std::ifstream in(runs());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    SMBFilesystemItem* add(IFilesystemItem* parent, int type, const QString& name)
    {
        owned.push_back(std::make_unique<SMBFilesystemItem>(type, name, 0, nullptr, parent));
        return owned.back().get();
    }

    FakePrograms fake;
    std::unique_ptr<ScopedMountPaths> paths;
    std::unique_ptr<SMBFilesystemItem> server;
    // Nodes in creation order; deleted last-made first.
    std::vector<std::unique_ptr<SMBFilesystemItem>> owned;

    ~SmbMountTest() override
    {
        while (!owned.empty())
            owned.pop_back();
    }
};

TEST_F(SmbMountTest, AShareIsMountedOnceWithACredentialsFileThatIsGoneAfterwards)
{
    const QString password = QStringLiteral("p,w%x=1 2;uid=0");
    SmbCredentialStore::instance()->setCredentials("//FILESRV", "anna", password);
    SMBFilesystemItem* share = add(server.get(), IFilesystemItem::ShareType, "data");
    SMBFilesystemItem* sub = add(share, IFilesystemItem::ShareType, "sub");
    SMBFilesystemItem* file = add(sub, IFilesystemItem::SmbFileType, "a_0_0.bkp");

    const QString shareDir = QString::fromStdString(base() + "/127.0.0.1_data");
    EXPECT_EQ(file->path(IFilesystemItem::LocalPath), shareDir + "/sub/a_0_0.bkp");
    EXPECT_EQ(file->path(IFilesystemItem::WindowsPath), QStringLiteral("\\\\FILESRV\\data\\sub\\a_0_0.bkp"));
    EXPECT_EQ(share->path(IFilesystemItem::LocalPath), shareDir);
    EXPECT_EQ(sub->path(IFilesystemItem::LocalPath), shareDir + "/sub");

    const std::vector<std::string> lines = runLines();
    ASSERT_EQ(lines.size(), 1u) << "one mount for every node of the share";
    EXPECT_EQ(lines[0].rfind("//127.0.0.1/data " + base() + "/127.0.0.1_data -o credentials=/", 0), 0u)
        << lines[0];
    EXPECT_EQ(lines[0].find("p,w"), std::string::npos) << "no password in the arguments";
    EXPECT_EQ(readFile(creds()), "600\nusername=anna\npassword=" + password.toStdString() + "\n");
    const std::string credentialsFile = readFile(fake.file("credpaths"));
    ASSERT_FALSE(credentialsFile.empty());
    EXPECT_FALSE(testsupport::FileExists(credentialsFile.substr(0, credentialsFile.size() - 1)))
        << "removed after the mount";

    // The last node that used the mount gives it back.
    owned.pop_back();
    owned.pop_back();
    EXPECT_EQ(runLines().size(), 1u);
    owned.pop_back();
    ASSERT_EQ(runLines().size(), 2u);
    EXPECT_EQ(runLines()[1], "umount " + base() + "/127.0.0.1_data");
}

TEST_F(SmbMountTest, WithoutCredentialsTheShareMountsAsGuestAndAnUnsafeUserNameIsRefused)
{
    SMBFilesystemItem* share = add(server.get(), IFilesystemItem::ShareType, "pub");
    EXPECT_FALSE(share->path(IFilesystemItem::LocalPath).isEmpty());
    ASSERT_EQ(runLines().size(), 1u);
    EXPECT_EQ(runLines()[0], "//127.0.0.1/pub " + base() + "/127.0.0.1_pub -o user=guest%");

    SmbCredentialStore::instance()->setCredentials("//FILESRV", "an,uid=0", "x");
    SMBFilesystemItem* other = add(server.get(), IFilesystemItem::ShareType, "other");
    EXPECT_TRUE(other->path(IFilesystemItem::LocalPath).isEmpty());
    EXPECT_EQ(runLines().size(), 1u) << "mount.cifs never ran for the unsafe name";
}

TEST_F(SmbMountTest, NamesFromTheServerNeverLeadOutsideTheShare)
{
    const QString hostile[] = {
        "..", ".", "../../etc", "a/b", "x\\..\\y", QString(300, QChar('n')), QString("a") + QChar(0),
    };
    for (const QString& name : hostile) {
        SMBFilesystemItem* share = add(server.get(), IFilesystemItem::ShareType, name);
        EXPECT_TRUE(share->path(IFilesystemItem::LocalPath).isEmpty()) << name.toStdString();
        SMBFilesystemItem* good = add(server.get(), IFilesystemItem::ShareType, "data");
        SMBFilesystemItem* dir = add(good, IFilesystemItem::ShareType, name);
        SMBFilesystemItem* file = add(dir, IFilesystemItem::SmbFileType, "a.bkp");
        EXPECT_TRUE(file->path(IFilesystemItem::LocalPath).isEmpty()) << name.toStdString();
        EXPECT_TRUE(dir->path(IFilesystemItem::LocalPath).isEmpty()) << name.toStdString();
        // Nor into a URL: such a node has none.
        EXPECT_TRUE(dir->url().isEmpty()) << name.toStdString();
        EXPECT_TRUE(share->url().isEmpty()) << name.toStdString();
    }
    for (const std::string& line : runLines())
        EXPECT_EQ(line.find(".."), std::string::npos) << line;
    // A safe name that only looks odd is one encoded segment.
    SMBFilesystemItem* good = add(server.get(), IFilesystemItem::ShareType, "data");
    SMBFilesystemItem* odd = add(good, IFilesystemItem::ShareType, "..x %2F#");
    EXPECT_EQ(odd->url(), QStringLiteral("smb://FILESRV/data/..x%20%252F%23/"));
}

struct NameCase {
    QString name;
    bool safe;
};

TEST(SmbNamesTest, OnlyNamesThatStayInTheirFolderAreSafeAndURLsEncodeEveryReservedByte)
{
    const NameCase cases[] = {
        {"data", true},
        {"DISK_0_0.BKP", true},
        {"a b%41#&", true},
        {"..x", true},
        {QString::fromUtf8("\xe5\xa4\x87\xe4\xbb\xbd"), true},
        {"", false},
        {".", false},
        {"..", false},
        {"a/b", false},
        {"a\\b", false},
        {QString("a") + QChar(0) + "b", false},
        {QString(255, 'n'), true},
        {QString(256, 'n'), false},
        {QString(128, QChar(0x5907)), false},  // 384 bytes in UTF-8
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(isSafeSmbName(c.name), c.safe) << c.name.toStdString();
    const char withNul[] = {'a', 0, 'b'};
    EXPECT_FALSE(isSafeSmbName(withNul, sizeof withNul));
    EXPECT_TRUE(isSafeSmbName("ab", 2));

    EXPECT_EQ(smbUrlSegment("a b%41#&/?"), QStringLiteral("a%20b%2541%23%26%2F%3F"));
    EXPECT_EQ(smbUrlSegment(QString::fromUtf8("\xe5\xa4\x87")), QStringLiteral("%E5%A4%87"));
}

TEST(CifsCredentialsTest, OnlyPairsMountCifsReadsBackUnchangedArePassable)
{
    EXPECT_TRUE(CifsCredentialsFile::isPassable("anna", "p,w%x= 1"));
    EXPECT_TRUE(CifsCredentialsFile::isPassable("anna", ""));
    for (const char* user : {"", "an,na", "an%na", " anna", "anna ", "an\nna"})
        EXPECT_FALSE(CifsCredentialsFile::isPassable(user, "x")) << user;
    EXPECT_FALSE(CifsCredentialsFile::isPassable("anna", "line\nusername=root"));
    EXPECT_FALSE(CifsCredentialsFile::isPassable("anna", "a\rb"));
    EXPECT_FALSE(CifsCredentialsFile::isPassable("anna", QByteArray("a\0b", 3)));

    std::string path;
    {
        testsupport::TempDir dir;
        CifsCredentialsFile file;
        ASSERT_TRUE(file.write("anna", "s,e=cret", QByteArray::fromStdString(dir.path())));
        path = file.path().toStdString();
        struct stat status;
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        EXPECT_EQ(readFile(path), "username=anna\npassword=s,e=cret\n");
        EXPECT_EQ(file.mountOption(), "credentials=" + file.path());
        CifsCredentialsFile refused;
        EXPECT_FALSE(refused.write("an,na", "x", QByteArray::fromStdString(dir.path())));
        EXPECT_TRUE(refused.path().isEmpty());
        EXPECT_FALSE(refused.write("anna", "x", "/tmp/a,b"));
    }
    EXPECT_FALSE(testsupport::FileExists(path));
}

}  // namespace
