// A fake machine for the device prober's tests: a private /dev, /sys and
// /proc, disk files with real partition tables (sfdisk) whose partitions are
// real file systems (mkfs.fat, mkntfs, mkswap, mke2fs), the same file
// systems as partition files beside the disk, and device numbers for them.
#ifndef TESTS_STORAGE_PROBER_FIXTURES_H
#define TESTS_STORAGE_PROBER_FIXTURES_H

#include "storage/probe_fixtures.h"
#include "support/qt_test_app.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

namespace probertest {

// The Qt application every test program needs for signals, timers and
// icons; it lives until the program ends.
inline QApplication& testApp()
{
    return testsupport::qtTestApp("storage_test");
}

using probetest::AddSysfsDevice;
using probetest::FakeNodes;
using probetest::MakeDirs;
using probetest::MakeSymlink;
using probetest::NumberText;
using probetest::ScopedSystemPaths;
using testsupport::Quote;
using testsupport::Run;

struct PartSpec {
    std::string fs;        // "fat16", "fat32", "ntfs", "swap", "ext4" or "" (left empty)
    uint64_t sectors = 0;  // 512-byte sectors
    std::string label;
    bool bootable = false;
    bool logical = false;  // placed in one extended partition after the primaries
};

class FakeMachine {
public:
    FakeMachine()
    {
        for (const char* folder : {"dev", "sys", "proc/sys/dev/cdrom", "parts"})
            Run("mkdir -p " + Quote(m_root.file(folder)));
        systemPaths().dev = m_root.file("dev");
        systemPaths().sys = m_root.file("sys");
        systemPaths().proc = m_root.file("proc");
    }
    FakeMachine(const FakeMachine&) = delete;
    FakeMachine& operator=(const FakeMachine&) = delete;

    std::string dev(const std::string& name) const { return m_root.file("dev/" + name); }
    std::string root() const { return m_root.path(); }

    void addNode(const std::string& name, dev_t number) { m_nodes.add(dev(name), NodeKind::Block, number); }

    // Formats a file of the given size; false when the tool failed.
    static bool format(const std::string& file, const PartSpec& layout, uint64_t startSector)
    {
        testsupport::MakeSparseFile(file, layout.sectors * 512);
        const std::string label = layout.label;
        std::string command;
        if (layout.fs == "fat16" || layout.fs == "fat32" || layout.fs == "fat12") {
            command = "mkfs.fat -F " + layout.fs.substr(3) + " -s 1" +
                      (label.empty() ? "" : " -n " + Quote(label)) + " " + Quote(file);
        } else if (layout.fs == "ntfs") {
            command = "mkntfs -F -Q -q -s 512 -p " + std::to_string(startSector) + " -H 255 -S 63" +
                      (label.empty() ? "" : " -L " + Quote(label)) + " " + Quote(file);
        } else if (layout.fs == "swap") {
            command = "mkswap" + (label.empty() ? std::string() : " -L " + Quote(label)) + " " + Quote(file);
        } else if (layout.fs == "ext4") {
            command = "mke2fs -q -F -t ext4" + (label.empty() ? std::string() : " -L " + Quote(label)) + " " +
                      Quote(file);
        } else {
            return true;
        }
        const testsupport::CommandResult result = Run(command + " 2>&1");
        if (result.exitCode != 0)
            ADD_FAILURE() << command << ": " << result.output;
        return result.exitCode == 0;
    }

    // A disk file with an MBR table and its partition files. Primaries are
    // numbered from 1, logical ones from 5. Device numbers: the disk gets
    // `number`, partition i gets `number` + i.
    bool makeDisk(const std::string& name, dev_t number, const std::vector<PartSpec>& parts)
    {
        uint64_t next = 2048;
        std::string script = "label: dos\n";
        std::vector<std::pair<int, uint64_t>> placed;  // partition number, start
        int primary = 0;
        int logical = 4;
        bool extendedOpen = false;
        uint64_t logicalTotal = 0;
        for (const PartSpec& layout : parts) {
            if (layout.logical)
                logicalTotal += layout.sectors + 2048;
        }
        for (const PartSpec& layout : parts) {
            if (layout.logical && !extendedOpen) {
                script +=
                    "start=" + std::to_string(next) + ", size=" + std::to_string(logicalTotal) + ", type=5\n";
                ++primary;
                extendedOpen = true;
            }
            if (layout.logical) {
                next += 2048;  // room for the extended boot record
                placed.push_back({++logical, next});
            } else {
                placed.push_back({++primary, next});
            }
            script += "start=" + std::to_string(next) + ", size=" + std::to_string(layout.sectors) +
                      ", type=" + typeCode(layout.fs) + (layout.bootable ? ", bootable" : "") + "\n";
            next += layout.sectors;
        }
        const std::string disk = dev(name);
        testsupport::MakeSparseFile(disk, (next + 2048) * 512);
        std::ofstream(m_root.file("parts/" + name + ".sfdisk")) << script;
        auto table = Run("sfdisk -q --no-reread --no-tell-kernel " + Quote(disk) + " < " +
                         Quote(m_root.file("parts/" + name + ".sfdisk")) + " 2>&1");
        if (table.exitCode != 0) {
            ADD_FAILURE() << "sfdisk: " << table.output;
            return false;
        }
        addNode(name, number);
        for (size_t i = 0; i < parts.size(); ++i) {
            const int partNumber = placed[i].first;
            const uint64_t start = placed[i].second;
            const std::string partName = partitionName(name, partNumber);
            const std::string file = dev(partName);
            if (!format(file, parts[i], start))
                return false;
            // The disk holds the same bytes, so that libparted sees the file system.
            auto copy = Run("dd if=" + Quote(file) + " of=" + Quote(disk) +
                            " bs=1M seek=" + std::to_string(start * 512) +
                            " oflag=seek_bytes conv=notrunc,sparse status=none 2>&1");
            if (copy.exitCode != 0) {
                ADD_FAILURE() << "dd: " << copy.output;
                return false;
            }
            addNode(partName, number + partNumber);
        }
        return true;
    }

    // The disk `name` and its partition files as another machine's dev
    // folder holds them (one that makeDisk filled), copied so that writes
    // stay in this machine, with the device numbers makeDisk gives them.
    bool copyDisk(const std::string& fromDev, const std::string& name, dev_t number)
    {
        std::string error = testsupport::CopyKeepingHoles(fromDev + "/" + name, dev(name));
        addNode(name, number);
        for (int partNumber = 1; error.empty() && partNumber < 16; ++partNumber) {
            const std::string partName = partitionName(name, partNumber);
            if (!testsupport::FileExists(fromDev + "/" + partName))
                continue;
            error = testsupport::CopyKeepingHoles(fromDev + "/" + partName, dev(partName));
            addNode(partName, number + partNumber);
        }
        if (!error.empty())
            ADD_FAILURE() << error;
        return error.empty();
    }

    // A stick formatted without a partition table.
    bool makeWholeDiskVolume(const std::string& name, dev_t number, const PartSpec& layout)
    {
        addNode(name, number);
        return format(dev(name), layout, 0);
    }

    // An optical drive the kernel lists; its node is an empty file.
    void addOpticalDrive(const std::string& name, dev_t number)
    {
        testsupport::MakeSparseFile(dev(name), 0);
        addNode(name, number);
        m_opticalNames.push_back(name);
        std::string line = "drive name:";
        for (const std::string& drive : m_opticalNames)
            line += "\t\t" + drive;
        std::ofstream(m_root.file("proc/sys/dev/cdrom/info"))
            << "CD-ROM information, Id: cdrom.c 3.20 2003/12/17\n\n"
            << line << "\n";
    }

    // A block device's sysfs folder with its uevent file, as udev names it in
    // its events, and the kernel's link to it by number.
    std::string addSysfsDevice(const std::string& relativePath, dev_t number, const std::string& type)
    {
        const std::string folder = AddSysfsDevice("block", number, relativePath);
        std::ofstream(folder + "/uevent") << "MAJOR=" << major(number) << "\nMINOR=" << minor(number)
                                          << "\nDEVNAME=x\nDEVTYPE=" << type << "\n";
        return folder;
    }

    // udev's link <dev>/block/<major>:<minor> to the node of that name.
    void linkDevBlock(dev_t number, const std::string& name)
    {
        MakeDirs(dev("block"));
        MakeSymlink(dev(name), dev("block/" + NumberText(number)));
    }

    // sdz + 1 gives sdz1; nvme0n1 + 1 gives nvme0n1p1, as libparted names them.
    static std::string partitionName(const std::string& disk, int number)
    {
        const bool digitLast = !disk.empty() && isdigit(static_cast<unsigned char>(disk.back()));
        return disk + (digitLast ? "p" : "") + std::to_string(number);
    }

private:
    static std::string typeCode(const std::string& fs)
    {
        if (fs == "ntfs")
            return "7";
        if (fs == "fat32")
            return "c";
        if (fs == "fat16")
            return "6";
        if (fs == "swap")
            return "82";
        return "83";
    }

    testsupport::TempDir m_root;
    ScopedSystemPaths m_restorePaths;
    FakeNodes m_nodes;
    std::vector<std::string> m_opticalNames;
};

}  // namespace probertest

#endif
