// A fake machine for the backup wizard's end-to-end tests: one disk file
// with a real partition table whose partitions are real file systems
// (an NTFS source filled through ntfs-3g, an NTFS partition for images, an
// empty NTFS target for restores, a FAT32 source filled with mtools), the
// device prober pointed at it, and mounts made under the machine's own
// folder. Everything mounted there is unmounted when the machine goes. A
// machine saved once can be copied for each test that writes to it.
#ifndef TESTS_CONSOLE_BACKUP_MACHINE_H
#define TESTS_CONSOLE_BACKUP_MACHINE_H

#include "storage/prober_fixtures.h"
#include "platform/linux/device_prober.h"
#include "support/fat_fixture.h"
#include "support/ntfs_fixture.h"
#include "support/ntfs_restore_fixture.h"
#include "support/test_support.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace backuptest {

using probertest::FakeMachine;
using probertest::PartSpec;
using testsupport::Quote;
using testsupport::Run;

// The tools the machine is made and judged with; "" when all are there.
inline std::string missingTool()
{
    std::string missing = probetest::FirstMissingProgram(
        {"sfdisk", "mkfs.fat", "mkntfs", "ntfscp", "ntfscat", "ntfsls", "mcopy", "mount.ntfs", "umount"});
    if (missing.empty() && !testsupport::NtfsMountUsable())
        missing = "an ntfs-3g FUSE mount";
    return missing;
}

class BackupMachine {
public:
    // Partition numbers on the disk "sdb" (5 and 6 are logical).
    enum { NtfsSource = 1, Images = 2, Target = 3, FatSource = 5, Fat16 = 6 };
    static dev_t diskNumber() { return makedev(8, 16); }

    BackupMachine()
    {
        usePaths();
        m_ok = m_machine.makeDisk("sdb", diskNumber(),
                                  {{"ntfs", 98304, "SYSTEM", true, false},    // 48 MiB
                                   {"ntfs", 262144, "IMAGES", false, false},  // 128 MiB
                                   {"ntfs", 98304, "TARGET", false, false},   // 48 MiB
                                   {"fat32", 81920, "DATA", false, true},     // 40 MiB, logical
                                   {"fat16", 20480, "OLD", false, true}}) &&  // 10 MiB, logical
               fillSources();
    }
    // A copy of a machine that saveTo() saved, perhaps in another process:
    // the same disk, partitions and sources, in files of its own.
    explicit BackupMachine(const std::string& saved)
    {
        usePaths();
        m_ntfsFiles = sourceFiles();
        m_fatTree = scratch("fat-tree");
        m_ok = m_machine.copyDisk(saved + "/dev", "sdb", diskNumber());
        if (m_ok)
            m_log = testsupport::CopyKeepingHoles(saved + "/fat-tree", m_fatTree);
        m_ok = m_ok && m_log.empty();
    }
    ~BackupMachine() { unmountAll(); }
    BackupMachine(const BackupMachine&) = delete;
    BackupMachine& operator=(const BackupMachine&) = delete;

    bool ok() const { return m_ok; }
    const std::string& log() const { return m_log; }
    std::string root() const { return m_machine.root(); }
    std::string disk() const { return m_machine.dev("sdb"); }
    std::string partition(int number) const { return m_machine.dev("sdb" + std::to_string(number)); }
    QString partitionPath(int number) const { return QString::fromStdString(partition(number)); }
    std::string scratch(const std::string& name) const { return m_machine.root() + "/parts/" + name; }

    const std::vector<testsupport::NtfsFileSpec>& ntfsFiles() const { return m_ntfsFiles; }
    const std::string& fatTree() const { return m_fatTree; }

    // Points the process's prober at this machine and runs a full probe on
    // the prober's own thread, as the console does; true when it ended.
    bool probe()
    {
        DeviceProber* prober = DeviceProber::instance();
        stopProberAfterTheTests();
        const QString diskPath = QString::fromStdString(disk());
        prober->setDiskScanner([diskPath] { return QStringList{diskPath}; });
        prober->setDriveStatusReader([](const QString&) { return 1; });
        QSignalSpy finished(prober, &DeviceProber::probeFinished);
        prober->startProbe();
        return finished.wait(60000);
    }

    // Every mount below the machine's folder, from the kernel's table.
    std::vector<std::string> mounts() const
    {
        std::vector<std::string> found;
        std::ifstream table("/proc/self/mounts");
        std::string line;
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string source, directory;
            fields >> source >> directory;
            if (directory.compare(0, root().size() + 1, root() + "/") == 0)
                found.push_back(directory);
        }
        return found;
    }

    void unmountAll()
    {
        for (const std::string& directory : mounts())
            Run("umount " + Quote(directory) + " 2>&1 || umount -l " + Quote(directory) + " 2>&1");
    }

    // Saves the disk, its partitions and the FAT32 source's tree into an
    // empty folder, everything unmounted first; "" or what went wrong.
    std::string saveTo(const std::string& folder)
    {
        unmountAll();
        Run("mkdir -p " + Quote(folder));
        std::string error = testsupport::CopyKeepingHoles(m_machine.root() + "/dev", folder + "/dev");
        if (error.empty())
            error = testsupport::CopyKeepingHoles(m_fatTree, folder + "/fat-tree");
        return error;
    }

private:
    // The test application is never deleted, so neither is the prober: a
    // probe that a late mount or unmount set off would still run on its
    // thread while the process ends, and meet the libraries' statics already
    // gone (a crash, whose sanitizer report then hangs the exit). Its thread
    // stops once all tests have run, before the program returns.
    class StopProber : public ::testing::Environment {
    public:
        void TearDown() override
        {
            DeviceProber* prober = DeviceProber::instance();
            prober->quit();
            prober->wait();
        }
    };
    static void stopProberAfterTheTests()
    {
        static ::testing::Environment* const stopper = ::testing::AddGlobalTestEnvironment(new StopProber);
        (void)stopper;
    }

    void usePaths()
    {
        probertest::testApp();
        systemPaths().mountBase = m_machine.root() + "/mnt";
        // The kernel's own table, so that the mount table's checks see the
        // ntfs-3g mounts made here.
        systemPaths().mountTable = "/proc/self/mounts";
        Run("mkdir -p " + Quote(systemPaths().mountBase));
    }

    static std::vector<testsupport::NtfsFileSpec> sourceFiles()
    {
        return {
            {"Windows", {}, true},
            {"Windows/system.ini", testsupport::PatternBytes(3000, 1)},
            {"Windows/big.bin", testsupport::PatternBytes(3 << 20, 2)},
            {"Users/Ann/notes \xe4\xb8\xad.txt", testsupport::PatternBytes(70000, 3)},
            {"empty.txt", {}},
        };
    }

    bool fillSources()
    {
        m_ntfsFiles = sourceFiles();
        bool needsMount = false;
        if (!testsupport::FillNtfsPartition(partition(NtfsSource), scratch("ntfs-fill"), m_ntfsFiles, &m_log,
                                            &needsMount))
            return false;
        // FAT32: a folder tree copied in with mtools.
        m_fatTree = scratch("fat-tree");
        Run("mkdir -p " + Quote(m_fatTree + "/DOCS/OLD"));
        testsupport::WriteFileBytes(m_fatTree + "/README.TXT", testsupport::PatternBytes(1200, 4));
        testsupport::WriteFileBytes(m_fatTree + "/DOCS/report.doc", testsupport::PatternBytes(900000, 5));
        testsupport::WriteFileBytes(m_fatTree + "/DOCS/OLD/a.bin", testsupport::PatternBytes(65536, 6));
        const auto copy = Run(testsupport::MtoolsEnv() + " mcopy -s -i " + Quote(partition(FatSource)) + " " +
                              Quote(m_fatTree) + "/* ::/ 2>&1");
        if (copy.exitCode != 0) {
            m_log = "mcopy: " + copy.output;
            return false;
        }
        return true;
    }

    FakeMachine m_machine;
    bool m_ok = false;
    std::string m_log;
    std::vector<testsupport::NtfsFileSpec> m_ntfsFiles;
    std::string m_fatTree;
};

// A fresh machine saved into `folder`, for BackupMachine(folder) in each
// test (a shared fixture's maker): "" or what went wrong.
inline std::string saveFreshMachine(const std::string& folder)
{
    const std::string missing = missingTool();
    if (!missing.empty())
        return "missing " + missing;
    BackupMachine machine;
    if (!machine.ok())
        return "machine: " + machine.log();
    return machine.saveTo(folder);
}

}  // namespace backuptest

#endif
