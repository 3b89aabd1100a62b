// The Windows platform on Windows: the real Win32, COM and WMI calls.
// Built only for Windows (cross-compiled with mingw-w64 here).
#pragma once

#include "platform/windows/platform.h"

namespace winplat {

class Win32Platform : public Platform {
public:
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
    // The session belongs to the thread that opened it: COM is initialised
    // for that thread, and released there when the last owner lets go.
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
};

}  // namespace winplat
