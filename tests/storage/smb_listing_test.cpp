// Listing SMB servers, shares and folders through libsmbclient against a
// real smbd on 127.0.0.1: guest and user shares, refused logins and their
// bounded prompts, hidden shares, name filters and percent-encoded names.
#include "platform/linux/filesystem_item.h"
#include "support/samba_server.h"
#include "platform/linux/smb_auth_requests.h"
#include "platform/linux/smb_context.h"
#include "platform/linux/smb_credential_store.h"
#include "platform/linux/smb_filesystem_item.h"
#include "storage/parted_sanitizer_options.h"
#include "storage/smb_fixtures.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <memory>

namespace {

using smbtest::processEvents;
using testsupport::Quote;
using testsupport::Run;
using testsupport::SambaServer;

const QString kServer = QStringLiteral("127.0.0.1");
const QString kPrivateKey = QStringLiteral("//127.0.0.1/private");

QStringList childNames(IFilesystemItem* node)
{
    QStringList names;
    for (int row = 0; row < node->childCount(); ++row)
        names << node->child(row)->name();
    return names;
}

// The node of a child by name, or null.
IFilesystemItem* childNamed(IFilesystemItem* node, const QString& name)
{
    for (int row = 0; row < node->childCount(); ++row) {
        if (node->child(row)->name() == name)
            return node->child(row);
    }
    return nullptr;
}

class SmbListingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        smbtest::testApp();
        server = smbtest::startSuiteServer(&whyNot);
        if (!server)
            return;
        const std::string pub = server->publicDir();
        for (const char* dir : {"sub", "a b%41#&"})
            testsupport::Run("mkdir -p " + Quote(pub + "/" + dir));
        std::ofstream(pub + "/a.txt") << "text";
        std::ofstream(pub + "/DISK.BKP") << "12345";
        std::ofstream(pub + "/img_0_0.bkp") << std::string(3000, 'x');
        std::ofstream(pub + "/sub/inner_0_0.bkp") << "in";
        std::ofstream(pub + "/a b%41#&/x.bkp") << "x";
        std::ofstream(server->privateDir() + "/secret_0_0.bkp") << "secret";
        std::ofstream(server->hiddenDir() + "/h.bkp") << "h";
        testsupport::Run("chmod -R a+rX " + Quote(pub) + " " + Quote(server->privateDir()) + " " +
                         Quote(server->hiddenDir()));
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    void SetUp() override
    {
        if (!server)
            SKIP_OR_FAIL_IN_CI("no local Samba server: " << whyNot);
        ASSERT_NE(smbContext(), nullptr);
        smbtest::freshSmbClient();
        filters << QRegularExpression(QRegularExpression::wildcardToRegularExpression("*.bkp"),
                                      QRegularExpression::CaseInsensitiveOption);
    }

    static SmbCredentialStore* store() { return SmbCredentialStore::instance(); }

    // A server node and one of its shares, without listing the server.
    std::unique_ptr<SMBFilesystemItem> serverNode(const WildcardFilters* with = nullptr)
    {
        return std::make_unique<SMBFilesystemItem>(IFilesystemItem::ServerType, kServer, 0, with, nullptr);
    }
    static SMBFilesystemItem* addShare(SMBFilesystemItem* server, const QString& name)
    {
        // Only populate() adds children; a test that needs a share the
        // listing hides makes it with the server as parent and owns it.
        return new SMBFilesystemItem(IFilesystemItem::ShareType, name, 0, nullptr, server);
    }

    static SambaServer* server;
    static std::string whyNot;
    WildcardFilters filters;
};

SambaServer* SmbListingTest::server = nullptr;
std::string SmbListingTest::whyNot;

TEST_F(SmbListingTest, TheServerListsItsSharesButNotHiddenOnesAndAGuestShareListsWithoutPrompt)
{
    QSignalSpy asked(SmbAuthRequests::instance(), &SmbAuthRequests::credentialsNeeded);
    auto srv = serverNode(&filters);
    srv->populate();
    EXPECT_EQ(childNames(srv.get()), (QStringList{"public", "private"}));

    IFilesystemItem* pub = childNamed(srv.get(), "public");
    ASSERT_NE(pub, nullptr);
    pub->populate();
    // Folders first in the server's order, then the files that match *.bkp
    // in any case.
    QStringList names = childNames(pub);
    ASSERT_EQ(names.size(), 4);
    QStringList folders = names.mid(0, 2), files = names.mid(2);
    folders.sort();
    files.sort();
    EXPECT_EQ(folders, (QStringList{"a b%41#&", "sub"}));
    EXPECT_EQ(files, (QStringList{"DISK.BKP", "img_0_0.bkp"}));
    IFilesystemItem* image = childNamed(pub, "img_0_0.bkp");
    EXPECT_EQ(image->attribute(IFilesystemItem::TypeKey), IFilesystemItem::SmbFileType);
    EXPECT_EQ(image->size(), 3000);
    EXPECT_FALSE(image->hasChildren());
    EXPECT_EQ(image->path(IFilesystemItem::WindowsPath),
              QStringLiteral("\\\\127.0.0.1\\public\\img_0_0.bkp"));

    // A folder whose name holds "%41", "#", "&" and a blank is reached by its
    // own name, not by what the URL syntax would make of it.
    IFilesystemItem* odd = childNamed(pub, "a b%41#&");
    ASSERT_NE(odd, nullptr);
    odd->populate();
    EXPECT_EQ(childNames(odd), QStringList{"x.bkp"});

    processEvents();
    EXPECT_EQ(asked.count(), 0);
}

TEST_F(SmbListingTest, AUserShareAsksThenAWrongPasswordIsRefusedAndTheRightOneLists)
{
    // The library itself: a wrong password is refused with EACCES and
    // never falls back to a guest listing.
    store()->setCredentials(kPrivateKey, QString::fromStdString(server->userName()), "wrong");
    errno = 0;
    EXPECT_LT(smbc_opendir("smb://127.0.0.1/private/"), 0);
    EXPECT_EQ(errno, EACCES);
    store()->clear();

    QSignalSpy asked(SmbAuthRequests::instance(), &SmbAuthRequests::credentialsNeeded);
    auto srv = serverNode();
    SMBFilesystemItem* share = addShare(srv.get(), "private");
    std::unique_ptr<SMBFilesystemItem> owned(share);

    share->populate();  // the guest is refused: a request, no listing
    EXPECT_EQ(share->childCount(), 0);
    EXPECT_TRUE(share->hasChildren());
    EXPECT_EQ(asked.count(), 0) << "requests arrive queued, after the model call";
    processEvents();
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(asked.at(0).at(0).toString(), kPrivateKey);
    EXPECT_EQ(asked.at(0).at(1).toInt(), 1);
    EXPECT_EQ(store()->state(kPrivateKey), SmbCredentialStore::AuthAsk);

    store()->setCredentials(kPrivateKey, QString::fromStdString(server->userName()), "wrong");
    share->populate();
    processEvents();
    ASSERT_EQ(asked.count(), 2);
    EXPECT_EQ(asked.at(1).at(1).toInt(), 2);

    store()->setCredentials(kPrivateKey, QString::fromStdString(server->userName()), SambaServer::kPassword);
    share->populate();
    EXPECT_EQ(childNames(share), QStringList{"secret_0_0.bkp"});
    EXPECT_EQ(store()->state(kPrivateKey), SmbCredentialStore::AuthConfirmed);
    EXPECT_EQ(store()->refusals(kPrivateKey), 0);
    processEvents();
    EXPECT_EQ(asked.count(), 2);
}

TEST_F(SmbListingTest, APasswordThatKeepsFailingEndsTheAttemptAfterTheLimit)
{
    QSignalSpy asked(SmbAuthRequests::instance(), &SmbAuthRequests::credentialsNeeded);
    QSignalSpy denied(SmbAuthRequests::instance(), &SmbAuthRequests::accessDenied);
    auto srv = serverNode();
    std::unique_ptr<SMBFilesystemItem> share(addShare(srv.get(), "private"));
    // Answer every prompt with a wrong password, as a user would who keeps
    // mistyping; each expansion opens the share once.
    for (int expansion = 0; expansion < 10 && denied.isEmpty(); ++expansion) {
        share->populate();
        processEvents();
        store()->setCredentials(kPrivateKey, QString::fromStdString(server->userName()),
                                QStringLiteral("wrong%1").arg(expansion));
    }
    EXPECT_EQ(asked.count(), SmbAuthRequests::kMaxPrompts);
    ASSERT_EQ(denied.count(), 1);
    EXPECT_EQ(denied.at(0).at(0).toString(), kPrivateKey);
    EXPECT_EQ(share->childCount(), 0);
    EXPECT_EQ(store()->state(kPrivateKey), SmbCredentialStore::AuthNone);
    EXPECT_EQ(store()->refusals(kPrivateKey), 0);
}

// "public" admits guests: a session that fell back to anonymous after the
// wrong password was refused would list it. A wrong password must be
// refused there too, and the user asked again, up to the limit.
TEST_F(SmbListingTest, AWrongPasswordIsRefusedOnAShareThatAdmitsGuests)
{
    const QString publicKey = QStringLiteral("//127.0.0.1/public");
    const QString user = QString::fromStdString(server->userName());
    store()->setCredentials(publicKey, user, "wrong");
    errno = 0;
    const int dir = smbc_opendir("smb://127.0.0.1/public/");
    const int error = errno;
    if (dir >= 0)
        smbc_closedir(dir);
    EXPECT_LT(dir, 0) << "listed as the guest after the password was refused";
    EXPECT_EQ(error, EACCES);
    smbtest::freshSmbClient();

    QSignalSpy asked(SmbAuthRequests::instance(), &SmbAuthRequests::credentialsNeeded);
    QSignalSpy denied(SmbAuthRequests::instance(), &SmbAuthRequests::accessDenied);
    auto srv = serverNode();
    std::unique_ptr<SMBFilesystemItem> share(addShare(srv.get(), "public"));
    for (int expansion = 0; expansion < 10 && denied.isEmpty(); ++expansion) {
        store()->setCredentials(publicKey, user, QStringLiteral("wrong%1").arg(expansion));
        share->populate();
        EXPECT_EQ(share->childCount(), 0) << "expansion " << expansion;
        processEvents();
    }
    ASSERT_EQ(asked.count(), SmbAuthRequests::kMaxPrompts);
    EXPECT_EQ(asked.at(0).at(0).toString(), publicKey);
    ASSERT_EQ(denied.count(), 1);
    EXPECT_EQ(denied.at(0).at(0).toString(), publicKey);

    // The right password lists the share as that user.
    store()->setCredentials(publicKey, user, SambaServer::kPassword);
    share->populate();
    QStringList names = childNames(share.get());
    names.sort();
    EXPECT_EQ(names, (QStringList{"DISK.BKP", "a b%41#&", "a.txt", "img_0_0.bkp", "sub"}));
}

TEST_F(SmbListingTest, CredentialsTypedOnceAreUsedByTheCallbackWithoutAsking)
{
    const QByteArray user = QByteArray::fromStdString(server->userName());
    store()->setState(kPrivateKey, SmbCredentialStore::AuthAsk);
    store()->setCredentials(kPrivateKey, user, SambaServer::kPassword);
    auto srv = serverNode();
    std::unique_ptr<SMBFilesystemItem> share(addShare(srv.get(), "private"));
    store()->noteRefusal(kPrivateKey);
    share->populate();
    ASSERT_EQ(childNames(share.get()), QStringList{"secret_0_0.bkp"});
    ASSERT_EQ(store()->state(kPrivateKey), SmbCredentialStore::AuthConfirmed);

    // What the library is told for the share from now on, and for a hidden
    // share, which never consults a share key.
    char workgroup[32] = "WG", name[64] = "", password[64] = "";
    smbAuthCallback(smbContext(), "127.0.0.1", "private", workgroup, sizeof workgroup, name, sizeof name,
                    password, sizeof password);
    EXPECT_EQ(QByteArray(name), user);
    EXPECT_STREQ(password, SambaServer::kPassword);
    EXPECT_STREQ(workgroup, "WG");

    store()->setState("//127.0.0.1/c$", SmbCredentialStore::AuthConfirmed);
    store()->setCredentials("//127.0.0.1/c$", "admin", "x");
    char other[64] = "", otherPassword[64] = "";
    smbAuthCallback(smbContext(), "127.0.0.1", "c$", workgroup, sizeof workgroup, other, sizeof other,
                    otherPassword, sizeof otherPassword);
    EXPECT_STREQ(other, "") << "anonymous";

    // Buffers are never overrun and always end.
    store()->setState("//127.0.0.1", SmbCredentialStore::AuthStored);
    store()->setCredentials("//127.0.0.1", "administrator", "pw");
    char tiny[4] = {'x', 'x', 'x', 'x'};
    smbAuthCallback(smbContext(), "127.0.0.1", "", workgroup, sizeof workgroup, tiny, sizeof tiny, password,
                    sizeof password);
    EXPECT_STREQ(tiny, "adm");
}

TEST_F(SmbListingTest, AMissingShareOrAFileInPlaceOfAFolderStaysUnlistedWithoutPrompt)
{
    QSignalSpy asked(SmbAuthRequests::instance(), &SmbAuthRequests::credentialsNeeded);
    auto srv = serverNode();
    std::unique_ptr<SMBFilesystemItem> missing(addShare(srv.get(), "nosuch"));
    missing->populate();
    EXPECT_EQ(missing->childCount(), 0);
    EXPECT_TRUE(missing->hasChildren()) << "a later expansion tries again";

    std::unique_ptr<SMBFilesystemItem> pub(addShare(srv.get(), "public"));
    SMBFilesystemItem notAFolder(IFilesystemItem::ShareType, "DISK.BKP", 0, nullptr, pub.get());
    notAFolder.populate();
    EXPECT_EQ(notAFolder.childCount(), 0);

    processEvents();
    EXPECT_EQ(asked.count(), 0);
}

TEST_F(SmbListingTest, ACancelledPromptLeavesTheShareUnlistedAndTheNextExpansionAsksAgain)
{
    QSignalSpy asked(SmbAuthRequests::instance(), &SmbAuthRequests::credentialsNeeded);
    auto srv = serverNode();
    std::unique_ptr<SMBFilesystemItem> share(addShare(srv.get(), "private"));
    share->populate();
    processEvents();
    ASSERT_EQ(asked.count(), 1);
    // What the file dialog does when the user cancels.
    store()->setState(kPrivateKey, SmbCredentialStore::AuthCancelled);
    store()->clearRefusals(kPrivateKey);
    EXPECT_EQ(share->childCount(), 0);

    share->populate();
    processEvents();
    ASSERT_EQ(asked.count(), 2);
    EXPECT_EQ(asked.at(1).at(1).toInt(), 1) << "a fresh start: the first prompt again";
}

}  // namespace

namespace {

TEST(SambaServerTest, StoppingEndsEveryProcessTheServerStarted)
{
    std::vector<pid_t> started;
    {
        testsupport::SambaServer server;
        START_SAMBA_OR_SKIP(server);
        started = server.processes();
        EXPECT_GE(started.size(), 2u) << "samba-dcerpcd and smbd";
    }
    // Gone, or at most a zombie that init has not reaped yet.
    for (pid_t pid : started) {
        const std::string stat = testsupport::ProcessStat(pid);
        EXPECT_TRUE(stat.empty() || stat.find(") Z ") != std::string::npos)
            << "process " << pid << " still runs: " << stat;
    }
}

}  // namespace
