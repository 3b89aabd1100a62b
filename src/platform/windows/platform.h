// The Windows platform layer: every system call the Windows side makes goes
// through this one interface, so that its logic builds and runs both on
// Windows (Win32Platform, the real calls) and on Linux (SimulatedPlatform, a
// machine described by a folder; see simulated_platform.h).
//
// Conventions:
// - Texts are UTF-16 (std::u16string) throughout; paths are Windows paths
//   ("C:\\Windows", "\\\\.\\C:", "\\\\.\\PhysicalDrive0").
// - Calls that can fail return an Error: 0 for success, else a Win32 error
//   number (the constants below); outputs are only meaningful on success.
// - The layer is Qt-free and holds no global state except the current
//   platform (currentPlatform / setCurrentPlatform).
//
// The engine's image-file and partition classes sit on Device: their open
// modes 0, 1, 2 are OpenMode::Read, ReadWrite, Create; Seek, Read, Write,
// pRead, pWrite and the current position map to seek/read/write/readAt/
// writeAt; the volume lock is lockVolume(), a sync flush(); what the engine asked of the
// system handle (the drive geometry) is geometry(); removing an image file
// is Platform::removeFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace winplat {

using Error = std::uint32_t;

// Win32 error numbers the callers look at.
namespace err {
constexpr Error kSuccess = 0;
constexpr Error kInvalidFunction = 1;
constexpr Error kFileNotFound = 2;
constexpr Error kPathNotFound = 3;
constexpr Error kAccessDenied = 5;
constexpr Error kInvalidHandle = 6;
constexpr Error kNotEnoughMemory = 8;
constexpr Error kInvalidData = 13;
constexpr Error kNotReady = 21;
constexpr Error kSectorNotFound = 27;
constexpr Error kHandleEof = 38;
constexpr Error kNotSupported = 50;
constexpr Error kFileExists = 80;
constexpr Error kInvalidParameter = 87;
constexpr Error kInsufficientBuffer = 122;
constexpr Error kInvalidName = 123;
constexpr Error kNegativeSeek = 131;
constexpr Error kAlreadyExists = 183;
constexpr Error kWaitTimeout = 258;
constexpr Error kMoreData = 234;
}  // namespace err

// How a file or device is opened. Files and devices are always shared for
// reading and writing with other openers, as the disk tools need.
enum class OpenMode {
    Read,       // existing, read only
    ReadWrite,  // existing, read and write
    Create,     // created or truncated, read and write
};

enum class SeekFrom { Begin, Current, End };

// One partition as the disk driver describes it (MBR or GPT style).
struct PartitionInfo {
    std::uint64_t start = 0;   // byte offset on the disk
    std::uint64_t length = 0;  // bytes
    std::uint32_t number = 0;  // 1-based partition number; 0 for container/empty entries
    std::uint8_t type = 0;     // MBR partition type (0 empty, 5/15 extended); 0 for GPT
    bool boot = false;         // MBR boot indicator
};

// A disk's drive layout. For MBR disks the entries come in groups of four,
// one group per partition table: the MBR's own four, then four for each
// extended boot record, as the disk driver reports them.
struct DriveLayout {
    enum Style { Mbr = 0, Gpt = 1, Raw = 2 } style = Raw;
    std::uint32_t signature = 0;  // MBR disk signature
    std::vector<PartitionInfo> entries;
};

// The storage device number of a volume or disk.
struct DeviceNumber {
    std::uint32_t deviceType = 0;
    std::uint32_t deviceNumber = 0;  // N of \\.\PhysicalDriveN
    std::uint32_t partitionNumber = 0;
};

struct DiskGeometry {
    std::uint64_t cylinders = 0;
    std::uint32_t tracksPerCylinder = 0;
    std::uint32_t sectorsPerTrack = 0;
    std::uint32_t bytesPerSector = 0;
};

// An open file, volume or physical disk. Closed when destroyed.
class Device {
public:
    virtual ~Device() = default;
    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Sequential I/O at the current position; `done` is the count moved (a
    // short read at the end of a file is not an error).
    virtual Error read(void* buffer, std::size_t count, std::size_t& done) = 0;
    virtual Error write(const void* buffer, std::size_t count, std::size_t& done) = 0;
    virtual Error seek(std::int64_t offset, SeekFrom from, std::uint64_t& position) = 0;
    // Positioned I/O; the current position afterwards is unspecified.
    virtual Error readAt(std::uint64_t offset, void* buffer, std::size_t count, std::size_t& done) = 0;
    virtual Error writeAt(std::uint64_t offset, const void* buffer, std::size_t count, std::size_t& done) = 0;

    // Size in bytes: the disk driver's length for volumes and disks, the file
    // size for files. Never found by seeking to the end, which gives 0 on
    // volume handles.
    virtual Error size(std::uint64_t& bytes) = 0;
    // Device queries; files answer kInvalidFunction, and a system that
    // cannot answer one (Wine) kNotSupported.
    virtual Error partitionInfo(PartitionInfo& info) = 0;
    virtual Error deviceNumber(DeviceNumber& number) = 0;
    virtual Error driveLayout(DriveLayout& layout) = 0;
    virtual Error geometry(DiskGeometry& geometry) = 0;
    // Locks a volume for exclusive use until the device is closed.
    virtual Error lockVolume() = 0;
    // Waits until everything written through this device is on it
    // (FlushFileBuffers).
    virtual Error flush() = 0;
};

enum class DriveType { Unknown, NoRootDir, Removable, Fixed, Remote, CdRom, RamDisk };

struct VolumeInformation {
    std::u16string label;
    std::u16string fileSystem;  // "NTFS", "FAT32", "FAT", ...
    std::uint32_t serialNumber = 0;
};

// Totals of a volume in bytes, 64-bit throughout.
struct FreeSpace {
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;          // free on the volume
    std::uint64_t freeBytesToCaller = 0;  // free to this user (quotas)
};

// One row of WMI's Win32_DiskDrive, the properties the inventory reads.
struct WmiDiskRow {
    std::int32_t index = -1;
    std::u16string size;  // WMI gives the 64-bit Size as text
    std::u16string name;  // "\\.\PHYSICALDRIVE0"
    std::u16string model;
    std::u16string mediaType;  // "Fixed hard disk media", "Removable Media", ...
    std::int32_t partitions = 0;
};

// Which WMI step failed, with its HRESULT.
struct WmiStatus {
    enum Step { Ok, ComInit, Security, Locator, Connect, ProxyBlanket, Query } step = Ok;
    std::int32_t code = 0;
    bool ok() const { return step == Ok; }
};

// A connection to the WMI namespace ROOT\CIMV2. Shared by everyone who
// holds it; the last owner releases the COM interfaces (and COM itself,
// when the connection initialised it).
class WmiSession {
public:
    virtual ~WmiSession() = default;
    // "SELECT * FROM Win32_DiskDrive", rows in WMI's order.
    virtual WmiStatus queryDiskDrives(std::vector<WmiDiskRow>& rows) = 0;
};

enum class RegistryHive { ClassesRoot, CurrentUser, LocalMachine };

struct RegistryValue {
    enum Type { String = 1, ExpandString = 2, DWord = 4, MultiString = 7 } type = String;
    std::vector<std::u16string> strings;  // one for String/ExpandString, any number for MultiString
    std::uint32_t number = 0;             // DWord
};

struct VersionInfo {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint8_t productType = 0;  // 1 workstation, 2 domain controller, 3 server
    bool serverR2 = false;         // the server-R2 system metric
};

// A local civil time, as the system converts a file time.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Files and devices: "C:\\x.bkp", "\\\\.\\C:", "\\\\.\\PhysicalDrive0".
    virtual std::unique_ptr<Device> open(const std::u16string& path, OpenMode mode, Error& error) = 0;
    virtual Error removeFile(const std::u16string& path) = 0;
    // Renames a closed file, replacing a file of the new name, and returns
    // once the new name is on the disk.
    virtual Error replaceFile(const std::u16string& from, const std::u16string& to) = 0;
    virtual Error createFolder(const std::u16string& path) = 0;
    virtual Error removeFolder(const std::u16string& path) = 0;  // an empty folder
    // Creates a new, private folder in the user's temporary folder.
    virtual Error makeTempFolder(std::u16string& path) = 0;

    // Drives and volumes. Roots are "C:\\". Queries never show a system error
    // box for an empty drive.
    virtual Error logicalDriveRoots(std::vector<std::u16string>& roots) = 0;
    virtual DriveType driveType(const std::u16string& root) = 0;
    virtual Error volumeInformation(const std::u16string& root, VolumeInformation& info) = 0;
    virtual Error freeSpace(const std::u16string& root, FreeSpace& space) = 0;

    // WMI: null with the failed step in `status` when COM or WMI is unusable.
    virtual std::shared_ptr<WmiSession> openWmi(WmiStatus& status) = 0;

    // The registry. Writing creates the key with its parents.
    virtual Error readRegistryValue(RegistryHive hive, const std::u16string& key, const std::u16string& name,
                                    RegistryValue& value) = 0;
    virtual Error writeRegistryValue(RegistryHive hive, const std::u16string& key, const std::u16string& name,
                                     const RegistryValue& value) = 0;
    // Removes a key with its values and subkeys.
    virtual Error deleteRegistryKey(RegistryHive hive, const std::u16string& key) = 0;

    // Starts a command line without a window and waits for it; `timeoutMs`
    // of kWaitForever waits without a limit. On kWaitTimeout the process is
    // ended. `exitCode` is its exit status. With `output`, what the program
    // writes to its standard output is collected there (its bytes as they
    // come); without, the program shares this process's standard output.
    static constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;
    virtual Error runProcess(const std::u16string& commandLine, std::uint32_t timeoutMs,
                             std::uint32_t& exitCode, std::string* output = nullptr) = 0;

    // System information.
    virtual Error windowsDirectory(std::u16string& path) = 0;
    virtual Error systemDirectory(std::u16string& path) = 0;
    virtual Error programPath(std::u16string& path) = 0;  // this program's executable
    virtual Error versionInfo(VersionInfo& info) = 0;
    // A file time (100 ns since 1601, UTC) as local civil time.
    virtual Error localTimeOf(std::uint64_t fileTime, LocalTime& time) = 0;
    // UTF-16 text in the system's ANSI code page (names the engine reports).
    virtual std::string toAnsiCodePage(const std::u16string& text) = 0;

    // Where the program's own file reads (outside this layer) find the file
    // of a Windows path, and the Windows path of such a file: on Windows the
    // path itself. Empty when the path has none.
    virtual std::u16string localFilePath(const std::u16string& windowsPath) { return windowsPath; }
    virtual std::u16string windowsPathOf(const std::u16string& localFile) { return localFile; }
    // The file that holds the program's settings; empty: the system's own
    // store.
    virtual std::u16string settingsFile() { return std::u16string(); }
};

// The platform of this process: Win32Platform on Windows; on Linux a
// SimulatedPlatform over the folder named by SORVIK_SIMULATED_MACHINE (an
// empty machine when unset). Tests replace it with setCurrentPlatform.
std::shared_ptr<Platform> currentPlatform();
void setCurrentPlatform(std::shared_ptr<Platform> platform);

}  // namespace winplat
