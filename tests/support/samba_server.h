// A real Samba server for tests, on 127.0.0.1 only, on a free port, with
// every state folder and its user database in a private temporary folder:
//   "public"   a guest share, writable;
//   "private"  open to one user (userName(), password kPassword) only;
//   "hidden$"  a guest share whose name hides it from share lists.
// smbd and samba-dcerpcd each start in a session of their own (setsid); the
// destructor stops every process of those sessions by PID, also when a test
// failed. Needs root (smbd changes to the users it serves).
#ifndef SAMBA_SERVER_H
#define SAMBA_SERVER_H

#include "support/test_support.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

class SambaServer {
public:
    static constexpr const char* kPassword = "Right-Pass,1";

    SambaServer();
    ~SambaServer();
    SambaServer(const SambaServer&) = delete;
    SambaServer& operator=(const SambaServer&) = delete;

    // Starts the server; false with the reason when it cannot run here.
    bool start(std::string* why);
    void stop();

    int port() const { return m_port; }
    const std::string& userName() const { return m_user; }
    // The folders behind the shares.
    std::string publicDir() const { return m_dir.file("public"); }
    std::string privateDir() const { return m_dir.file("private"); }
    std::string hiddenDir() const { return m_dir.file("hidden"); }
    // Every process of the server's sessions (tests check the clean-up).
    std::vector<pid_t> processes() const;

private:
    bool spawn(const std::vector<std::string>& argv, const std::string& log, pid_t* pid);
    bool waitForPort(int timeoutMs) const;

    TempDir m_dir;
    std::string m_user;
    int m_port = 0;
    std::vector<pid_t> m_leaders;
};

// The text of /proc/PID/stat, empty when the process is gone (also when it
// ends while being read, which a file stream would throw for).
std::string ProcessStat(pid_t pid);

// Skips the test when the server cannot start (not root, Samba missing);
// fails it in CI.
#define START_SAMBA_OR_SKIP(server)                                                                          \
    do {                                                                                                     \
        std::string why_;                                                                                    \
        if (!(server).start(&why_))                                                                          \
            SKIP_OR_FAIL_IN_CI("no local Samba server: " << why_);                                           \
    } while (0)

}  // namespace testsupport

#endif
