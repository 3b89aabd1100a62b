#include "support/samba_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

const char* const kDcerpcd = "/usr/libexec/samba/samba-dcerpcd";

int freeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

// The session id of a process, or -1 when it is gone.
pid_t sessionOf(pid_t pid)
{
    const std::string text = ProcessStat(pid);
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string state;
    long ppid = 0, pgrp = 0, session = -1;
    fields >> state >> ppid >> pgrp >> session;
    return state == "Z" ? -1 : static_cast<pid_t>(session);
}

std::vector<pid_t> processesOfSessions(const std::vector<pid_t>& leaders)
{
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    if (!proc)
        return found;
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end)
            continue;
        const pid_t session = sessionOf(static_cast<pid_t>(pid));
        for (pid_t leader : leaders) {
            if (session == leader)
                found.push_back(static_cast<pid_t>(pid));
        }
    }
    closedir(proc);
    return found;
}

// An unprivileged account that exists on every Debian system.
std::string shareUser()
{
    for (const char* name : {"daemon", "bin", "sys"}) {
        if (getpwnam(name))
            return name;
    }
    return std::string();
}

}  // namespace

std::string ProcessStat(pid_t pid)
{
    // Read with read(2): a process that ends between the open and the read
    // makes the read fail with ESRCH, which a file stream turns into an
    // exception that ends the test program.
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::string();
    std::string text;
    char buffer[1024];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(got));
    close(fd);
    return got < 0 ? std::string() : text;
}

SambaServer::SambaServer() = default;

SambaServer::~SambaServer()
{
    stop();
}

bool SambaServer::start(std::string* why)
{
    if (geteuid() != 0) {
        *why = "smbd needs root";
        return false;
    }
    if (!HaveProgram("smbd") || !HaveProgram("pdbedit") || access(kDcerpcd, X_OK) != 0) {
        *why = "samba is not installed";
        return false;
    }
    // The servers' own children outlive their parents when stopped; as
    // their subreaper this process gets them and reaps them (init may not).
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    m_user = shareUser();
    m_port = freeLoopbackPort();
    if (m_user.empty() || m_port == 0) {
        *why = "no share user or no free port";
        return false;
    }
    // The share folders must be reachable for the users smbd serves.
    chmod(m_dir.path().c_str(), 0755);
    for (const char* sub : {"public", "private", "hidden", "state", "state/lock", "state/run", "state/cache",
                            "state/pid", "state/private", "state/ncalrpc", "state/bind", "state/log"})
        mkdir(m_dir.file(sub).c_str(), 0755);
    chmod(m_dir.file("state/private").c_str(), 0700);
    chmod(publicDir().c_str(), 0777);
    chmod(privateDir().c_str(), 0777);

    const std::string state = m_dir.file("state");
    std::ofstream conf(m_dir.file("smb.conf"));
    conf << "[global]\n"
         << "  workgroup = TESTGROUP\n"
         << "  netbios name = TESTSERVER\n"
         << "  server role = standalone server\n"
         << "  interfaces = 127.0.0.1\n"
         << "  bind interfaces only = yes\n"
         << "  smb ports = " << m_port << "\n"
         << "  disable netbios = yes\n"
         << "  rpc start on demand helpers = no\n"
         << "  lock directory = " << state << "/lock\n"
         << "  state directory = " << state << "/run\n"
         << "  cache directory = " << state << "/cache\n"
         << "  pid directory = " << state << "/pid\n"
         << "  private dir = " << state << "/private\n"
         << "  ncalrpc dir = " << state << "/ncalrpc\n"
         << "  binddns dir = " << state << "/bind\n"
         << "  log file = " << state << "/log/log.%m\n"
         << "  passdb backend = tdbsam:" << state << "/private/passdb.tdb\n"
         << "  map to guest = Bad User\n"
         << "  guest account = nobody\n"
         << "  load printers = no\n"
         << "  printcap name = /dev/null\n"
         << "  disable spoolss = yes\n"
         << "[public]\n  path = " << publicDir() << "\n  guest ok = yes\n  read only = no\n"
         << "[private]\n  path = " << privateDir() << "\n  valid users = " << m_user << "\n"
         << "[hidden$]\n  path = " << hiddenDir() << "\n  guest ok = yes\n";
    conf.close();
    const std::string config = m_dir.file("smb.conf");

    const CommandResult added = Run("printf '%s\\n%s\\n' " + Quote(kPassword) + " " + Quote(kPassword) +
                                    " | pdbedit -s " + Quote(config) + " -a -t -u " + Quote(m_user));
    if (added.exitCode != 0) {
        *why = "pdbedit failed: " + added.output;
        return false;
    }
    pid_t pid = 0;
    if (!spawn({kDcerpcd, "-s", config, "-F", "--libexec-rpcds", "--debug-stdout"},
               m_dir.file("state/log/dcerpcd.out"), &pid)) {
        *why = "samba-dcerpcd did not start";
        return false;
    }
    // smbd hands share listings to samba-dcerpcd through its named pipes.
    const std::string pipe = m_dir.file("state/ncalrpc/np/srvsvc");
    for (int i = 0; i < 100 && access(pipe.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The free port may be taken by someone else before smbd binds it:
    // then smbd goes, and another port is tried.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0)
            m_port = freeLoopbackPort();
        if (!spawn({"smbd", "-s", config, "-F", "--no-process-group", "--debug-stdout",
                    "--option=smb ports=" + std::to_string(m_port)},
                   m_dir.file("state/log/smbd.out"), &pid))
            break;
        if (waitForPort(10000))
            return true;
        for (pid_t member : processesOfSessions({pid}))
            kill(member, SIGKILL);
        waitpid(pid, nullptr, 0);
        m_leaders.pop_back();
    }
    *why = "smbd did not start";
    stop();
    return false;
}

bool SambaServer::spawn(const std::vector<std::string>& argv, const std::string& log, pid_t* pid)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        setsid();
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        if (in >= 0)
            dup2(in, 0);
        execvp(args[0], args.data());
        _exit(127);
    }
    m_leaders.push_back(child);
    *pid = child;
    return true;
}

bool SambaServer::waitForPort(int timeoutMs) const
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(m_port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (up)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::vector<pid_t> SambaServer::processes() const
{
    return processesOfSessions(m_leaders);
}

void SambaServer::stop()
{
    if (m_leaders.empty())
        return;
    std::vector<pid_t> all = processes();
    for (pid_t pid : all)
        kill(pid, SIGTERM);
    for (int i = 0; i < 60 && !processes().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (pid_t pid : processes()) {
        kill(pid, SIGKILL);
        all.push_back(pid);
    }
    all.insert(all.end(), m_leaders.begin(), m_leaders.end());
    // Reap the leaders and every orphan that came to this process.
    for (pid_t pid : all) {
        for (int i = 0; i < 100; ++i) {
            const pid_t done = waitpid(pid, nullptr, WNOHANG);
            if (done == pid || (done < 0 && errno == ECHILD))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    m_leaders.clear();
}

}  // namespace testsupport
