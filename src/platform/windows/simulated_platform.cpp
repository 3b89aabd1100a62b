#include "platform/windows/simulated_platform.h"

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/windows/mbr.h"
#include "platform/windows/text.h"

extern char** environ;

namespace winplat {

namespace {

// ---- Key=Value blocks ------------------------------------------------------

struct Block {
    std::vector<std::pair<std::string, std::string>> fields;

    bool has(const std::string& key) const
    {
        for (const auto& f : fields)
            if (f.first == key)
                return true;
        return false;
    }
    std::string get(const std::string& key, const std::string& fallback = std::string()) const
    {
        for (const auto& f : fields)
            if (f.first == key)
                return f.second;
        return fallback;
    }
    std::vector<std::string> all(const std::string& key) const
    {
        std::vector<std::string> values;
        for (const auto& f : fields)
            if (f.first == key)
                values.push_back(f.second);
        return values;
    }
};

std::vector<Block> readBlocks(const std::string& path)
{
    std::vector<Block> blocks;
    std::ifstream in(path);
    std::string line;
    bool open = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty()) {
            open = false;
            continue;
        }
        if (line[0] == '#')
            continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        if (!open) {
            blocks.emplace_back();
            open = true;
        }
        blocks.back().fields.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return blocks;
}

bool writeBlocks(const std::string& path, const std::vector<Block>& blocks)
{
    std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const Block& block : blocks) {
            for (const auto& f : block.fields)
                out << f.first << '=' << f.second << '\n';
            out << '\n';
        }
        if (!out)
            return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

unsigned long long toNumber(const std::string& text, unsigned long long fallback = 0)
{
    unsigned long long value = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        char* end = nullptr;
        value = std::strtoull(text.c_str() + 2, &end, 16);
        return *end == 0 ? value : fallback;
    }
    return parseUnsigned(utf16(text), value) ? value : fallback;
}

// ---- Windows paths ---------------------------------------------------------

// "\\.\C:" -> 'c'; 0 when the path is not a volume path.
char volumeLetter(const std::u16string& path)
{
    if (path.size() == 6 && path.compare(0, 4, u"\\\\.\\") == 0 && path[5] == u':') {
        char16_t c = asciiUpper(path.substr(4, 1))[0];
        if (c >= u'A' && c <= u'Z')
            return static_cast<char>(c - u'A' + 'a');
    }
    return 0;
}

// "\\.\PhysicalDrive3" -> 3; -1 when the path is not a disk path.
int diskNumber(const std::u16string& path)
{
    const std::u16string prefix = u"\\\\.\\PHYSICALDRIVE";
    if (path.size() <= prefix.size() || !equalsNoCase(path.substr(0, prefix.size()), prefix))
        return -1;
    unsigned long long n = 0;
    if (!parseUnsigned(path.substr(prefix.size()), n) || n > 255)
        return -1;
    return static_cast<int>(n);
}

// 'c' for "C:\..." or "c:"; 0 otherwise.
char rootLetter(const std::u16string& path)
{
    if (path.size() < 2 || path[1] != u':')
        return 0;
    if (path.size() > 2 && path[2] != u'\\' && path[2] != u'/')
        return 0;
    char16_t c = asciiUpper(path.substr(0, 1))[0];
    return c >= u'A' && c <= u'Z' ? static_cast<char>(c - u'A' + 'a') : 0;
}

Error errorFromErrno(int e)
{
    switch (e) {
    case ENOENT:
        return err::kFileNotFound;
    case ENOTDIR:
        return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return err::kAccessDenied;
    case EEXIST:
        return err::kAlreadyExists;
    case ENOMEM:
        return err::kNotEnoughMemory;
    case ENAMETOOLONG:
        return err::kInvalidName;
    case ENOTEMPTY:
        return 145;  // the folder is not empty
    default:
        return err::kInvalidFunction;
    }
}

bool parentExists(const std::string& host)
{
    std::size_t slash = host.rfind('/');
    if (slash == std::string::npos)
        return true;
    struct stat st;
    return ::stat(host.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---- Devices ---------------------------------------------------------------

class SimDevice : public Device {
public:
    enum Kind { File, Disk, Volume };

    SimDevice(int fd, Kind kind) : m_fd(fd), m_kind(kind) {}
    ~SimDevice() override { ::close(m_fd); }

    void bound(std::uint64_t base, std::uint64_t length)
    {
        m_base = base;
        m_length = length;
        m_bounded = true;
    }
    PartitionInfo partition;
    DeviceNumber number;
    DriveLayout layout;
    bool lockable = true;

    Error read(void* buffer, std::size_t count, std::size_t& done) override
    {
        Error e = readAt(m_pos, buffer, count, done);
        m_pos += done;
        return e;
    }
    Error write(const void* buffer, std::size_t count, std::size_t& done) override
    {
        Error e = writeAt(m_pos, buffer, count, done);
        m_pos += done;
        return e;
    }
    Error seek(std::int64_t offset, SeekFrom from, std::uint64_t& position) override
    {
        std::uint64_t base = 0;
        if (from == SeekFrom::Current)
            base = m_pos;
        if (from == SeekFrom::End) {
            Error e = size(base);
            if (e)
                return e;
        }
        if (offset < 0 && static_cast<std::uint64_t>(-(offset + 1)) + 1 > base)
            return err::kNegativeSeek;
        m_pos = base + offset;
        position = m_pos;
        return err::kSuccess;
    }
    Error readAt(std::uint64_t offset, void* buffer, std::size_t count, std::size_t& done) override
    {
        done = 0;
        if (m_bounded)
            count = offset >= m_length ? 0 : std::min<std::uint64_t>(count, m_length - offset);
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        while (done < count) {
            ssize_t n = ::pread(m_fd, bytes + done, count - done, m_base + offset + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errorFromErrno(errno);
            if (n == 0)
                break;
            done += n;
        }
        return err::kSuccess;
    }
    Error writeAt(std::uint64_t offset, const void* buffer, std::size_t count, std::size_t& done) override
    {
        done = 0;
        if (m_bounded) {
            if (offset >= m_length && count > 0)
                return err::kSectorNotFound;
            count = std::min<std::uint64_t>(count, m_length - offset);
        }
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        while (done < count) {
            ssize_t n = ::pwrite(m_fd, bytes + done, count - done, m_base + offset + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errorFromErrno(errno);
            done += n;
        }
        return err::kSuccess;
    }
    Error size(std::uint64_t& bytes) override
    {
        if (m_bounded) {
            bytes = m_length;
            return err::kSuccess;
        }
        struct stat st;
        if (::fstat(m_fd, &st) != 0)
            return errorFromErrno(errno);
        bytes = st.st_size;
        return err::kSuccess;
    }
    Error partitionInfo(PartitionInfo& info) override
    {
        if (m_kind == File)
            return err::kInvalidFunction;
        if (m_kind == Volume) {
            info = partition;
            return err::kSuccess;
        }
        info = PartitionInfo();
        return size(info.length);
    }
    Error deviceNumber(DeviceNumber& out) override
    {
        if (m_kind == File)
            return err::kInvalidFunction;
        out = number;
        return err::kSuccess;
    }
    Error driveLayout(DriveLayout& out) override
    {
        if (m_kind != Disk)
            return err::kInvalidFunction;
        out = layout;
        return err::kSuccess;
    }
    Error geometry(DiskGeometry& out) override
    {
        if (m_kind == File)
            return err::kInvalidFunction;
        std::uint64_t bytes = 0;
        Error e = size(bytes);
        if (e)
            return e;
        out.tracksPerCylinder = 255;
        out.sectorsPerTrack = 63;
        out.bytesPerSector = kSectorBytes;
        out.cylinders = bytes / (255ull * 63 * kSectorBytes);
        return err::kSuccess;
    }
    Error lockVolume() override
    {
        if (m_kind != Volume)
            return err::kInvalidFunction;
        return lockable ? err::kSuccess : err::kAccessDenied;
    }
    Error flush() override
    {
        // A host file that cannot be synchronised has nothing waiting.
        if (::fsync(m_fd) != 0 && errno != EINVAL)
            return errorFromErrno(errno);
        return err::kSuccess;
    }

private:
    int m_fd;
    Kind m_kind;
    std::uint64_t m_base = 0;
    std::uint64_t m_length = 0;
    bool m_bounded = false;
    std::uint64_t m_pos = 0;
};

DriveLayout layoutOfDiskFile(int fd)
{
    return readMbrLayout([fd](std::uint64_t offset, std::uint8_t* sector) {
        return ::pread(fd, sector, kSectorBytes, offset) == static_cast<ssize_t>(kSectorBytes);
    });
}

// ---- WMI -------------------------------------------------------------------

const char* const kWmiSteps[] = {"Ok", "ComInit", "Security", "Locator", "Connect", "ProxyBlanket", "Query"};

WmiStatus wmiFailure(const std::string& text)
{
    WmiStatus status;
    std::size_t colon = text.find(':');
    std::string step = text.substr(0, colon);
    for (int i = 1; i < 7; ++i)
        if (step == kWmiSteps[i])
            status.step = static_cast<WmiStatus::Step>(i);
    if (status.step != WmiStatus::Ok) {
        status.code = static_cast<std::int32_t>(
            colon == std::string::npos
                ? 0x80004005u
                : static_cast<std::uint32_t>(toNumber(text.substr(colon + 1), 0x80004005u)));
    }
    return status;
}

class SimWmiSession : public WmiSession {
public:
    SimWmiSession(std::string rowsFile, WmiStatus queryFailure)
        : m_rowsFile(std::move(rowsFile)), m_queryFailure(queryFailure)
    {}

    WmiStatus queryDiskDrives(std::vector<WmiDiskRow>& rows) override
    {
        rows.clear();
        if (!m_queryFailure.ok())
            return m_queryFailure;
        for (const Block& block : readBlocks(m_rowsFile)) {
            WmiDiskRow row;
            row.index = block.has("Index") ? static_cast<std::int32_t>(toNumber(block.get("Index"))) : -1;
            row.size = utf16(block.get("Size"));
            row.name = utf16(block.get("Name"));
            row.model = utf16(block.get("Model"));
            row.mediaType = utf16(block.get("MediaType"));
            row.partitions = static_cast<std::int32_t>(toNumber(block.get("Partitions")));
            rows.push_back(row);
        }
        return WmiStatus();
    }

private:
    std::string m_rowsFile;
    WmiStatus m_queryFailure;
};

// ---- Registry --------------------------------------------------------------

std::string hiveName(RegistryHive hive)
{
    switch (hive) {
    case RegistryHive::ClassesRoot:
        return "HKCR";
    case RegistryHive::CurrentUser:
        return "HKCU";
    case RegistryHive::LocalMachine:
        break;
    }
    return "HKLM";
}

std::u16string fullKey(RegistryHive hive, const std::u16string& key)
{
    std::u16string k = key;
    while (!k.empty() && k.back() == u'\\')
        k.pop_back();
    return utf16(hiveName(hive)) + u"\\" + k;
}

const std::pair<RegistryValue::Type, const char*> kRegistryTypes[] = {
    {RegistryValue::String, "REG_SZ"},
    {RegistryValue::ExpandString, "REG_EXPAND_SZ"},
    {RegistryValue::DWord, "REG_DWORD"},
    {RegistryValue::MultiString, "REG_MULTI_SZ"},
};

// ---- Processes -------------------------------------------------------------

// Splits a command line into words: blanks separate, double quotes group.
std::vector<std::string> splitCommandLine(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool endsWithNoCase(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() &&
           asciiUpper(text.substr(text.size() - tail.size())) == asciiUpper(tail);
}

constexpr std::uint32_t kCommandNotFound = 9009;

}  // namespace

SimulatedPlatform::SimulatedPlatform(std::string machineFolder) : m_folder(std::move(machineFolder))
{}

namespace {

// A slash-separated path without "." parts, empty parts and parts undone
// by "..", as Qt's cleanPath gives it.
std::string cleanHostPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::istringstream pieces(path);
    std::string piece;
    while (std::getline(pieces, piece, '/')) {
        if (piece.empty() || piece == ".")
            continue;
        if (piece == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
            continue;
        }
        parts.push_back(piece);
    }
    std::string clean = !path.empty() && path[0] == '/' ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i)
        clean += (i ? "/" : "") + parts[i];
    return clean.empty() ? "." : clean;
}

}  // namespace

std::u16string SimulatedPlatform::localFilePath(const std::u16string& windowsPath)
{
    const std::string host = hostPath(windowsPath);
    return host.empty() ? windowsPath : utf16(host);
}

std::u16string SimulatedPlatform::windowsPathOf(const std::u16string& localFile)
{
    if (m_folder.empty())
        return localFile;
    const std::string drives = cleanHostPath(m_folder + "/fs");
    const std::string clean = cleanHostPath(utf8(localFile));
    if (clean.compare(0, drives.size() + 1, drives + "/") != 0)
        return localFile;
    const std::string rest = clean.substr(drives.size() + 1);  // "d/Images/x.bkp"
    if (rest.empty() || !std::isalpha(static_cast<unsigned char>(rest[0])) ||
        (rest.size() > 1 && rest[1] != '/'))
        return localFile;
    std::string path(1, static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0]))));
    path += ":\\";
    if (rest.size() > 2)
        path += rest.substr(2);
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return utf16(path);
}

std::u16string SimulatedPlatform::settingsFile()
{
    return m_folder.empty() ? std::u16string() : utf16(m_folder + "/user-settings.ini");
}

std::string SimulatedPlatform::hostPath(const std::u16string& windowsPath) const
{
    char letter = rootLetter(windowsPath);
    if (!letter || m_folder.empty())
        return std::string();
    std::string host = m_folder + "/fs/" + letter;
    std::string rest = utf8(windowsPath.substr(2));
    std::string part;
    std::istringstream parts(rest);
    while (std::getline(parts, part, '\\')) {
        std::istringstream sub(part);
        std::string piece;
        while (std::getline(sub, piece, '/')) {
            if (piece.empty() || piece == ".")
                continue;
            if (piece == "..")
                return std::string();  // never leave the drive's folder
            host += "/" + piece;
        }
    }
    return host;
}

namespace {

struct DriveRecord {
    bool found = false;
    Block block;
};

DriveRecord findDrive(const std::string& folder, char letter)
{
    DriveRecord record;
    for (const Block& block : readBlocks(folder + "/drives.txt")) {
        std::string l = asciiUpper(block.get("Letter"));
        if (!l.empty() && l[0] == letter - 'a' + 'A') {
            record.found = true;
            record.block = block;
        }
    }
    return record;
}

Block systemBlock(const std::string& folder)
{
    std::vector<Block> blocks = readBlocks(folder + "/system.txt");
    return blocks.empty() ? Block() : blocks.front();
}

DriveType driveTypeOf(const std::string& text)
{
    std::string t = asciiUpper(text);
    if (t == "FIXED")
        return DriveType::Fixed;
    if (t == "REMOVABLE")
        return DriveType::Removable;
    if (t == "CDROM")
        return DriveType::CdRom;
    if (t == "REMOTE")
        return DriveType::Remote;
    if (t == "RAMDISK")
        return DriveType::RamDisk;
    return DriveType::Unknown;
}

}  // namespace

std::unique_ptr<Device> SimulatedPlatform::open(const std::u16string& path, OpenMode mode, Error& error)
{
    int flags = mode == OpenMode::Read ? O_RDONLY : O_RDWR;
    char letter = volumeLetter(path);
    int disk = diskNumber(path);
    std::unique_ptr<SimDevice> device;

    if (letter || disk >= 0) {
        if (mode == OpenMode::Create) {
            error = err::kInvalidParameter;
            return nullptr;
        }
        Block drive;
        if (letter) {
            DriveRecord record = findDrive(m_folder, letter);
            if (!record.found) {
                error = err::kFileNotFound;
                return nullptr;
            }
            if (!record.block.has("Disk")) {
                error = err::kNotReady;
                return nullptr;
            }
            drive = record.block;
            disk = static_cast<int>(toNumber(drive.get("Disk")));
        }
        std::string diskFile = m_folder + "/disks/PhysicalDrive" + std::to_string(disk);
        int fd = ::open(diskFile.c_str(), flags | O_CLOEXEC);
        if (fd < 0) {
            error = errorFromErrno(errno);
            return nullptr;
        }
        device.reset(new SimDevice(fd, letter ? SimDevice::Volume : SimDevice::Disk));
        device->layout = layoutOfDiskFile(fd);
        device->number.deviceType = 7;  // a disk device
        device->number.deviceNumber = static_cast<std::uint32_t>(disk);
        if (letter) {
            std::uint64_t offset = toNumber(drive.get("Offset"));
            auto entry =
                std::find_if(device->layout.entries.begin(), device->layout.entries.end(),
                             [offset](const PartitionInfo& p) { return p.number != 0 && p.start == offset; });
            if (entry == device->layout.entries.end()) {
                error = err::kNotReady;  // the map names no partition of this disk
                return nullptr;
            }
            device->partition = *entry;
            device->number.partitionNumber = entry->number;
            device->lockable = asciiUpper(drive.get("Lockable", "yes")) != "NO";
            device->bound(entry->start, entry->length);
        }
        error = err::kSuccess;
        return device;
    }

    std::string host = hostPath(path);
    if (host.empty()) {
        error = err::kPathNotFound;
        return nullptr;
    }
    if (!parentExists(host)) {
        error = err::kPathNotFound;
        return nullptr;
    }
    if (mode == OpenMode::Create)
        flags |= O_CREAT | O_TRUNC;
    int fd = ::open(host.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errorFromErrno(errno);
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error = err::kAccessDenied;
        return nullptr;
    }
    error = err::kSuccess;
    return std::unique_ptr<Device>(new SimDevice(fd, SimDevice::File));
}

Error SimulatedPlatform::removeFile(const std::u16string& path)
{
    std::string host = hostPath(path);
    if (host.empty())
        return err::kPathNotFound;
    struct stat st;
    if (::lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return err::kAccessDenied;
    return ::unlink(host.c_str()) == 0 ? err::kSuccess : errorFromErrno(errno);
}

Error SimulatedPlatform::replaceFile(const std::u16string& from, const std::u16string& to)
{
    std::string hostFrom = hostPath(from);
    std::string hostTo = hostPath(to);
    if (hostFrom.empty() || hostTo.empty())
        return err::kPathNotFound;
    return ::rename(hostFrom.c_str(), hostTo.c_str()) == 0 ? err::kSuccess : errorFromErrno(errno);
}

Error SimulatedPlatform::createFolder(const std::u16string& path)
{
    std::string host = hostPath(path);
    if (host.empty())
        return err::kPathNotFound;
    if (!parentExists(host))
        return err::kPathNotFound;
    return ::mkdir(host.c_str(), 0755) == 0 ? err::kSuccess : errorFromErrno(errno);
}

Error SimulatedPlatform::removeFolder(const std::u16string& path)
{
    std::string host = hostPath(path);
    if (host.empty())
        return err::kPathNotFound;
    return ::rmdir(host.c_str()) == 0 ? err::kSuccess : errorFromErrno(errno);
}

Error SimulatedPlatform::makeTempFolder(std::u16string& path)
{
    std::u16string temp = utf16(systemBlock(m_folder).get("TempDirectory", "C:\\Temp"));
    std::string host = hostPath(temp);
    if (host.empty())
        return err::kPathNotFound;
    std::string pattern = host + "/sorvik-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (!::mkdtemp(buffer.data()))
        return errorFromErrno(errno);
    std::string made(buffer.data());
    path = temp + u"\\" + utf16(made.substr(made.rfind('/') + 1));
    return err::kSuccess;
}

Error SimulatedPlatform::logicalDriveRoots(std::vector<std::u16string>& roots)
{
    roots.clear();
    std::string letters;
    for (const Block& block : readBlocks(m_folder + "/drives.txt")) {
        std::string l = asciiUpper(block.get("Letter"));
        if (!l.empty() && l[0] >= 'A' && l[0] <= 'Z' && letters.find(l[0]) == std::string::npos)
            letters += l[0];
    }
    std::sort(letters.begin(), letters.end());
    for (char l : letters)
        roots.push_back(std::u16string(1, static_cast<char16_t>(l)) + u":\\");
    return err::kSuccess;
}

DriveType SimulatedPlatform::driveType(const std::u16string& root)
{
    char letter = rootLetter(root);
    if (!letter)
        return DriveType::NoRootDir;
    DriveRecord record = findDrive(m_folder, letter);
    return record.found ? driveTypeOf(record.block.get("Type")) : DriveType::NoRootDir;
}

Error SimulatedPlatform::volumeInformation(const std::u16string& root, VolumeInformation& info)
{
    // Only a root with its backslash names a volume here.
    char letter = root.size() == 3 && root[2] == u'\\' ? rootLetter(root) : 0;
    DriveRecord record = letter ? findDrive(m_folder, letter) : DriveRecord();
    if (!record.found)
        return err::kPathNotFound;
    if (!record.block.has("Disk"))
        return err::kNotReady;
    info.label = utf16(record.block.get("Label"));
    info.fileSystem = utf16(record.block.get("FileSystem", "RAW"));
    info.serialNumber = static_cast<std::uint32_t>(toNumber(record.block.get("Serial")));
    return err::kSuccess;
}

Error SimulatedPlatform::freeSpace(const std::u16string& root, FreeSpace& space)
{
    char letter = rootLetter(root);
    DriveRecord record = letter ? findDrive(m_folder, letter) : DriveRecord();
    if (!record.found)
        return err::kPathNotFound;
    if (!record.block.has("Disk"))
        return err::kNotReady;
    std::uint64_t total = 0;
    if (record.block.has("TotalBytes")) {
        total = toNumber(record.block.get("TotalBytes"));
    } else {
        Error e = err::kSuccess;
        std::u16string volume = u"\\\\.\\" + std::u16string(1, static_cast<char16_t>(letter)) + u":";
        std::unique_ptr<Device> device = open(volume, OpenMode::Read, e);
        if (!device)
            return e;
        if ((e = device->size(total)))
            return e;
    }
    space.totalBytes = total;
    space.freeBytes = space.freeBytesToCaller =
        std::min<std::uint64_t>(total, toNumber(record.block.get("FreeBytes")));
    return err::kSuccess;
}

std::shared_ptr<WmiSession> SimulatedPlatform::openWmi(WmiStatus& status)
{
    WmiStatus failure = wmiFailure(systemBlock(m_folder).get("WmiFailure"));
    if (!failure.ok() && failure.step != WmiStatus::Query) {
        status = failure;
        return nullptr;
    }
    status = WmiStatus();
    return std::make_shared<SimWmiSession>(m_folder + "/wmi-disks.txt", failure);
}

Error SimulatedPlatform::readRegistryValue(RegistryHive hive, const std::u16string& key,
                                           const std::u16string& name, RegistryValue& value)
{
    std::u16string wanted = fullKey(hive, key);
    for (const Block& block : readBlocks(m_folder + "/registry.txt")) {
        if (!equalsNoCase(utf16(block.get("Key")), wanted) || !equalsNoCase(utf16(block.get("Name")), name))
            continue;
        value = RegistryValue();
        std::string type = block.get("Type", "REG_SZ");
        for (const auto& t : kRegistryTypes)
            if (type == t.second)
                value.type = t.first;
        for (const std::string& data : block.all("Data"))
            value.strings.push_back(utf16(data));
        if (value.type == RegistryValue::DWord) {
            value.number = static_cast<std::uint32_t>(toNumber(block.get("Data")));
            value.strings.clear();
        } else if (value.type != RegistryValue::MultiString && value.strings.size() != 1) {
            value.strings.resize(1);
        }
        return err::kSuccess;
    }
    return err::kFileNotFound;
}

Error SimulatedPlatform::writeRegistryValue(RegistryHive hive, const std::u16string& key,
                                            const std::u16string& name, const RegistryValue& value)
{
    if (m_folder.empty())
        return err::kAccessDenied;
    for (const std::u16string& s : value.strings)
        if (s.find(u'\n') != std::u16string::npos || s.find(u'\r') != std::u16string::npos)
            return err::kInvalidParameter;  // the file keeps one string a line
    if (name.find(u'\n') != std::u16string::npos || key.find(u'\n') != std::u16string::npos)
        return err::kInvalidParameter;
    std::string path = m_folder + "/registry.txt";
    std::vector<Block> blocks = readBlocks(path);
    std::u16string wanted = fullKey(hive, key);
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                [&](const Block& b) {
                                    return equalsNoCase(utf16(b.get("Key")), wanted) &&
                                           equalsNoCase(utf16(b.get("Name")), name);
                                }),
                 blocks.end());
    Block block;
    block.fields.emplace_back("Key", utf8(wanted));
    block.fields.emplace_back("Name", utf8(name));
    std::string type = "REG_SZ";
    for (const auto& t : kRegistryTypes)
        if (value.type == t.first)
            type = t.second;
    block.fields.emplace_back("Type", type);
    if (value.type == RegistryValue::DWord) {
        block.fields.emplace_back("Data", std::to_string(value.number));
    } else if (value.type == RegistryValue::MultiString) {
        for (const std::u16string& s : value.strings)
            block.fields.emplace_back("Data", utf8(s));
    } else {
        block.fields.emplace_back("Data",
                                  value.strings.empty() ? std::string() : utf8(value.strings.front()));
    }
    blocks.push_back(block);
    return writeBlocks(path, blocks) ? err::kSuccess : err::kAccessDenied;
}

Error SimulatedPlatform::deleteRegistryKey(RegistryHive hive, const std::u16string& key)
{
    std::string path = m_folder + "/registry.txt";
    std::vector<Block> blocks = readBlocks(path);
    std::u16string wanted = asciiUpper(fullKey(hive, key));
    std::size_t before = blocks.size();
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                [&](const Block& b) {
                                    std::u16string k = asciiUpper(utf16(b.get("Key")));
                                    return k == wanted ||
                                           k.compare(0, wanted.size() + 1, wanted + u"\\") == 0;
                                }),
                 blocks.end());
    if (blocks.size() == before)
        return err::kFileNotFound;
    return writeBlocks(path, blocks) ? err::kSuccess : err::kAccessDenied;
}

namespace {

// Runs one host program with optional input, collecting its standard output
// when asked; waits at most `timeoutMs`.
Error spawnAndWait(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                   std::uint32_t timeoutMs, std::uint32_t& exitCode, std::string* output)
{
    int pipeFds[2] = {-1, -1};
    if (output && ::pipe2(pipeFds, O_CLOEXEC) != 0)
        return errorFromErrno(errno);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!input.empty())
        posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    if (output)
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (output)
        ::close(pipeFds[1]);
    if (rc != 0) {
        if (output)
            ::close(pipeFds[0]);
        return errorFromErrno(rc);
    }

    const bool limited = timeoutMs != Platform::kWaitForever;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
    auto timedOut = [&] { return limited && std::chrono::steady_clock::now() >= deadline; };
    bool expired = false;
    if (output) {
        // Read until the program closes its output (or its time is up).
        for (;;) {
            pollfd ready = {pipeFds[0], POLLIN, 0};
            int n = ::poll(&ready, 1, 10);
            if (n > 0) {
                char buffer[4096];
                ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
                if (got > 0) {
                    output->append(buffer, got);
                    continue;
                }
                if (got == 0 || errno != EINTR)
                    break;
            }
            if (timedOut()) {
                expired = true;
                break;
            }
        }
        ::close(pipeFds[0]);
    }

    int status = 0;
    for (;;) {
        pid_t done = expired ? 0 : ::waitpid(pid, &status, limited ? WNOHANG : 0);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return errorFromErrno(errno);
        if (expired || timedOut()) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return err::kWaitTimeout;
        }
        if (done == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 0xC0000000u | WTERMSIG(status);
    return err::kSuccess;
}

bool isRunnable(const std::string& host)
{
    struct stat st;
    return !host.empty() && ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(host.c_str(), X_OK) == 0;
}

}  // namespace

Error SimulatedPlatform::runProcess(const std::u16string& commandLine, std::uint32_t timeoutMs,
                                    std::uint32_t& exitCode, std::string* output)
{
    if (output)
        output->clear();
    std::vector<std::string> words = splitCommandLine(utf8(commandLine));
    if (words.empty())
        return err::kFileNotFound;
    std::string program = hostPath(utf16(words.front()));
    struct stat st;
    if (program.empty() || ::stat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return err::kFileNotFound;

    if (!endsWithNoCase(words.front(), ".bat") && !endsWithNoCase(words.front(), ".cmd")) {
        if (!isRunnable(program))
            return err::kAccessDenied;
        return spawnAndWait(program, std::vector<std::string>(words.begin() + 1, words.end()), std::string(),
                            timeoutMs, exitCode, output);
    }

    std::ifstream batch(program, std::ios::binary);
    std::string line;
    std::uint32_t status = 0;
    const std::string& batchPath = words.front();
    const std::string batchFolder = batchPath.substr(0, batchPath.find_last_of('\\') + 1);
    while (std::getline(batch, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // %~dp0 is the batch's own folder, with its backslash.
        for (std::size_t at = line.find("%~dp0"); at != std::string::npos;
             at = line.find("%~dp0", at + batchFolder.size()))
            line.replace(at, 5, batchFolder);
        // "< file" outside quotes is the command's input.
        std::string input;
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '"')
                quoted = !quoted;
            if (line[i] == '<' && !quoted) {
                std::vector<std::string> target = splitCommandLine(line.substr(i + 1));
                input = target.empty() ? std::string() : hostPath(utf16(target.front()));
                if (input.empty())
                    return err::kFileNotFound;
                line.resize(i);
                break;
            }
        }
        std::vector<std::string> command = splitCommandLine(line);
        if (command.empty())
            continue;
        std::string host = hostPath(utf16(command.front()));
        if (!isRunnable(host)) {
            status = kCommandNotFound;
            continue;
        }
        Error e = spawnAndWait(host, std::vector<std::string>(command.begin() + 1, command.end()), input,
                               timeoutMs, status, output);
        if (e)
            return e;
    }
    exitCode = status;
    return err::kSuccess;
}

Error SimulatedPlatform::windowsDirectory(std::u16string& path)
{
    path = utf16(systemBlock(m_folder).get("WindowsDirectory", "C:\\Windows"));
    return err::kSuccess;
}

Error SimulatedPlatform::systemDirectory(std::u16string& path)
{
    windowsDirectory(path);
    path += u"\\System32";
    return err::kSuccess;
}

Error SimulatedPlatform::programPath(std::u16string& path)
{
    path = utf16(systemBlock(m_folder).get("ProgramPath", "C:\\Program Files\\Sorvik\\deskrestore.exe"));
    return err::kSuccess;
}

Error SimulatedPlatform::versionInfo(VersionInfo& info)
{
    Block system = systemBlock(m_folder);
    std::string version = system.get("Version", "6.1");
    std::size_t dot = version.find('.');
    info.major = static_cast<std::uint32_t>(toNumber(version.substr(0, dot)));
    info.minor = dot == std::string::npos ? 0 : static_cast<std::uint32_t>(toNumber(version.substr(dot + 1)));
    info.build = static_cast<std::uint32_t>(toNumber(system.get("Build", "7601")));
    info.productType = static_cast<std::uint8_t>(toNumber(system.get("ProductType", "1")));
    info.serverR2 = toNumber(system.get("ServerR2", "0")) != 0;
    return err::kSuccess;
}

Error SimulatedPlatform::localTimeOf(std::uint64_t fileTime, LocalTime& time)
{
    if (fileTime >= 0x8000000000000000ull)
        return err::kInvalidParameter;
    std::string offsetText = systemBlock(m_folder).get("UtcOffsetMinutes", "0");
    long long offset = std::strtoll(offsetText.c_str(), nullptr, 10);
    long long seconds = static_cast<long long>(fileTime / 10000000ull) - 11644473600ll + offset * 60;
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!::gmtime_r(&t, &tm))
        return err::kInvalidParameter;
    time.year = tm.tm_year + 1900;
    time.month = tm.tm_mon + 1;
    time.day = tm.tm_mday;
    time.hour = tm.tm_hour;
    time.minute = tm.tm_min;
    time.second = tm.tm_sec;
    return err::kSuccess;
}

std::string SimulatedPlatform::toAnsiCodePage(const std::u16string& text)
{
    std::string codePage = systemBlock(m_folder).get("CodePage", "UTF-8");
    if (asciiUpper(codePage) == "UTF-8")
        return utf8(text);
    iconv_t cd = iconv_open(codePage.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return utf8(text);
    std::string out;
    // One character at a time, so that a character the code page lacks
    // becomes '?' as the system's conversion does.
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t n = (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size()) ? 2 : 1;
        std::string in = utf8(text.substr(i, n));
        i += n - 1;
        char buffer[16];
        char* inPtr = &in[0];
        std::size_t inLeft = in.size();
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
            out += '?';
        else
            out.append(buffer, outPtr - buffer);
    }
    iconv_close(cd);
    return out;
}

}  // namespace winplat
