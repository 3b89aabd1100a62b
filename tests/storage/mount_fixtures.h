// Helpers of the mounting tests: fake mount helpers that record how they were
// run, a sweeper that unmounts whatever a test left mounted under its folder
// (even when the test failed), and a catcher of the storage layer's log lines.
#ifndef TESTS_STORAGE_MOUNT_FIXTURES_H
#define TESTS_STORAGE_MOUNT_FIXTURES_H

#include "platform/linux/system_paths.h"
#include "support/test_support.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <gtest/gtest.h>
#include <mntent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mounttest {

using testsupport::Quote;
using testsupport::Run;

// The mount points listed in the system's mount table that lie under a folder,
// in mount order.
inline std::vector<std::string> MountsUnder(const std::string& folder)
{
    std::vector<std::string> found;
    FILE* table = setmntent("/proc/self/mounts", "r");
    if (!table)
        return found;
    while (mntent* entry = getmntent(table)) {
        const std::string dir = entry->mnt_dir;
        if (dir.compare(0, folder.size() + 1, folder + "/") == 0)
            found.push_back(dir);
    }
    endmntent(table);
    return found;
}

inline bool IsMountPoint(const std::string& dir)
{
    for (const std::string& mounted : MountsUnder(dir.substr(0, dir.rfind('/'))))
        if (mounted == dir)
            return true;
    return false;
}

// A private folder whose mounts are all undone when the object goes away,
// before the folder itself is removed.
class MountFolder {
public:
    MountFolder() = default;
    ~MountFolder() { Sweep(); }
    MountFolder(const MountFolder&) = delete;
    MountFolder& operator=(const MountFolder&) = delete;

    const std::string& path() const { return m_dir.path(); }
    std::string file(const std::string& name) const { return m_dir.file(name); }

    void Sweep()
    {
        std::vector<std::string> mounts = MountsUnder(m_dir.path());
        for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
            if (Run("umount " + Quote(*it)).exitCode != 0)
                Run("fusermount -u -z " + Quote(*it));
        }
    }

private:
    testsupport::TempDir m_dir;
};

// FUSE mounts need /dev/fuse and the right to use it.
inline bool FuseUsable()
{
    struct stat st;
    return ::stat("/dev/fuse", &st) == 0 && S_ISCHR(st.st_mode) && geteuid() == 0;
}

// Programs named like the mount helpers, first on PATH, that append one line
// per run to a log ("name arg arg ... PASSWD=value") and exit with 0 or with
// the status set by failWith.
class FakeHelpers {
public:
    explicit FakeHelpers(const std::vector<std::string>& names)
    {
        const std::string bin = m_dir.file("bin");
        Run("mkdir -p " + Quote(bin));
        const std::string script = m_dir.file("record.sh");
        std::ofstream(script) << "#!/bin/sh\n"
                              << "name=$(basename \"$0\")\n"
                              << "echo \"$name $* PASSWD=${PASSWD-unset}\" >> " << Quote(log()) << "\n"
                              << "status=" << Quote(m_dir.file("status.")) << "$name\n"
                              << "[ -f \"$status\" ] && exit $(cat \"$status\")\n"
                              << "exit 0\n";
        Run("chmod +x " + Quote(script));
        for (const std::string& name : names)
            Run("ln -s " + Quote(script) + " " + Quote(bin + "/" + name));
        if (const char* path = getenv("PATH"))
            m_oldPath = path;
        setenv("PATH", (bin + ":" + m_oldPath).c_str(), 1);
    }
    ~FakeHelpers() { setenv("PATH", m_oldPath.c_str(), 1); }
    FakeHelpers(const FakeHelpers&) = delete;
    FakeHelpers& operator=(const FakeHelpers&) = delete;

    std::string log() const { return m_dir.file("runs.log"); }
    void failWith(const std::string& name, int status)
    {
        std::ofstream(m_dir.file("status." + name)) << status << "\n";
    }
    void succeed(const std::string& name) { std::remove(m_dir.file("status." + name).c_str()); }
    std::vector<std::string> runs() const
    {
        std::vector<std::string> lines;
        std::ifstream in(log());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    testsupport::TempDir m_dir;
    std::string m_oldPath;
};

// Points the mount base (and, when given, the mount table file) somewhere
// else for the object's lifetime.
class ScopedMountPaths {
public:
    explicit ScopedMountPaths(const std::string& base, const std::string& table = std::string())
        : m_saved(systemPaths())
    {
        systemPaths().mountBase = base;
        if (!table.empty())
            systemPaths().mountTable = table;
    }
    ~ScopedMountPaths() { systemPaths() = m_saved; }
    ScopedMountPaths(const ScopedMountPaths&) = delete;
    ScopedMountPaths& operator=(const ScopedMountPaths&) = delete;

private:
    SystemPaths m_saved;
};

// Collects the Qt log lines written while it lives.
class MessageLog {
public:
    MessageLog() : m_previous(qInstallMessageHandler(&MessageLog::record)) { lines().clear(); }
    ~MessageLog() { qInstallMessageHandler(m_previous); }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    static QStringList& lines()
    {
        static QStringList recorded;
        return recorded;
    }
    QString joined() const { return lines().join(QLatin1Char('\n')); }

private:
    static void record(QtMsgType, const QMessageLogContext&, const QString& text) { lines() << text; }
    QtMessageHandler m_previous;
};

}  // namespace mounttest

#endif
