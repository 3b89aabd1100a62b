// The Windows platform on Linux: a machine described by a folder, so that
// the Windows side's logic runs end to end without Windows.
//
// The folder (every file optional; texts are UTF-8; "blocks" are groups of
// Key=Value lines separated by blank lines, '#' starts a comment line):
//   disks/PhysicalDrive<N>   disk N: a disk file with a real partition table
//   wmi-disks.txt            Win32_DiskDrive rows, one block each:
//                            Index, Size, Name, Model, MediaType, Partitions
//   drives.txt               drive letters, one block each: Letter (C),
//                            Type (fixed, removable, cdrom, remote, ramdisk),
//                            Disk and Offset (the partition of disk N that
//                            starts at that byte; without them the drive has
//                            no volume, like an empty optical drive), Label,
//                            FileSystem, Serial, FreeBytes, TotalBytes (the
//                            partition's length when absent), Lockable (no)
//   registry.txt             registry values, one block each: Key
//                            (HKLM\..., HKCU\..., HKCR\...), Name (empty for
//                            the default value), Type (REG_SZ, REG_EXPAND_SZ,
//                            REG_DWORD, REG_MULTI_SZ), Data (one line per
//                            string of a REG_MULTI_SZ); rewritten on writes
//   system.txt               one block: Version (6.1), Build, ProductType
//                            (1), ServerR2 (0), WindowsDirectory
//                            (C:\Windows), TempDirectory (C:\Temp),
//                            ProgramPath, CodePage (an iconv name, UTF-8),
//                            UtcOffsetMinutes (0), WmiFailure (Step:0xCODE,
//                            Step one of ComInit, Security, Locator, Connect,
//                            ProxyBlanket, Query)
//   fs/<letter>/...          the files of drive <letter>: C:\A\b is fs/c/A/b
//
// Processes: a command line names its program by a Windows path, which runs
// the host file it maps to. A program ending in .bat or .cmd is read as a
// batch: each line is one command, with "< file" as its input and %~dp0 as
// the batch's folder; the batch's status is that of its last command (9009
// for a program that is missing).
#pragma once

#include <string>

#include "platform/windows/platform.h"

namespace winplat {

class SimulatedPlatform : public Platform {
public:
    explicit SimulatedPlatform(std::string machineFolder);

    const std::string& machineFolder() const { return m_folder; }
    // The host path of a Windows path on a drive ("C:\\x" -> <machine>/fs/c/x);
    // empty when the path is not on a drive.
    std::string hostPath(const std::u16string& windowsPath) const;

    // Host paths under <machine>/fs/<letter>/ for the program's file reads,
    // and settings in <machine>/user-settings.ini.
    std::u16string localFilePath(const std::u16string& windowsPath) override;
    std::u16string windowsPathOf(const std::u16string& localFile) override;
    std::u16string settingsFile() override;

    std::unique_ptr<Device> open(const std::u16string& path, OpenMode mode, Error& error) override;
    Error removeFile(const std::u16string& path) override;
    Error replaceFile(const std::u16string& from, const std::u16string& to) override;
    Error createFolder(const std::u16string& path) override;
    Error removeFolder(const std::u16string& path) override;
    Error makeTempFolder(std::u16string& path) override;
    Error logicalDriveRoots(std::vector<std::u16string>& roots) override;
    DriveType driveType(const std::u16string& root) override;
    Error volumeInformation(const std::u16string& root, VolumeInformation& info) override;
    Error freeSpace(const std::u16string& root, FreeSpace& space) override;
    std::shared_ptr<WmiSession> openWmi(WmiStatus& status) override;
    Error readRegistryValue(RegistryHive hive, const std::u16string& key, const std::u16string& name,
                            RegistryValue& value) override;
    Error writeRegistryValue(RegistryHive hive, const std::u16string& key, const std::u16string& name,
                             const RegistryValue& value) override;
    Error deleteRegistryKey(RegistryHive hive, const std::u16string& key) override;
    Error runProcess(const std::u16string& commandLine, std::uint32_t timeoutMs, std::uint32_t& exitCode,
                     std::string* output = nullptr) override;
    Error windowsDirectory(std::u16string& path) override;
    Error systemDirectory(std::u16string& path) override;
    Error programPath(std::u16string& path) override;
    Error versionInfo(VersionInfo& info) override;
    Error localTimeOf(std::uint64_t fileTime, LocalTime& time) override;
    std::string toAnsiCodePage(const std::u16string& text) override;

private:
    std::string m_folder;
};

}  // namespace winplat
