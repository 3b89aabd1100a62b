// Shared pieces of the SMB tests: the Qt application, fake helper programs
// put first on PATH, and a clean credential store per test.
#ifndef TESTS_STORAGE_SMB_FIXTURES_H
#define TESTS_STORAGE_SMB_FIXTURES_H

#include "support/qt_test_app.h"
#include "support/samba_server.h"
#include "platform/linux/smb_context.h"
#include "platform/linux/smb_credential_store.h"
#include "support/test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <fstream>
#include <string>

namespace smbtest {

using testsupport::Quote;
using testsupport::Run;

inline QApplication& testApp()
{
    return testsupport::qtTestApp("smb_test");
}

// Runs queued calls (the login requests arrive queued).
inline void processEvents()
{
    testApp();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The Samba server of a test suite, with the client pointed at its port;
// null (and the reason in `whyNot`) where it cannot run.
inline testsupport::SambaServer* startSuiteServer(std::string* whyNot)
{
    auto* server = new testsupport::SambaServer;
    if (!server->start(whyNot)) {
        delete server;
        return nullptr;
    }
    setSmbPort(server->port());
    return server;
}

// Each test logs in afresh: no stored logins, and none of the sessions the
// library keeps per user from earlier listings.
inline void freshSmbClient()
{
    SmbCredentialStore::instance()->clear();
    smbc_getFunctionPurgeCachedServers(smbContext())(smbContext());
}

// A folder of shell scripts first on PATH while the object lives.
class FakePrograms {
public:
    FakePrograms()
    {
        Run("mkdir -p " + Quote(bin()));
        if (const char* path = getenv("PATH"))
            m_oldPath = path;
        setenv("PATH", (bin() + ":" + m_oldPath).c_str(), 1);
    }
    ~FakePrograms() { setenv("PATH", m_oldPath.c_str(), 1); }
    FakePrograms(const FakePrograms&) = delete;
    FakePrograms& operator=(const FakePrograms&) = delete;

    void add(const std::string& name, const std::string& body)
    {
        const std::string path = bin() + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        Run("chmod +x " + Quote(path));
    }
    std::string bin() const { return m_dir.file("bin"); }
    std::string file(const std::string& name) const { return m_dir.file(name); }

private:
    testsupport::TempDir m_dir;
    std::string m_oldPath;
};

}  // namespace smbtest

#endif
