// Readers of the kernel's sysfs files about block and character devices.
#include "platform/linux/system_paths.h"
#include "platform/linux/system_probes.h"

#include <sys/sysmacros.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

namespace {

std::string deviceNumberText(dev_t dev)
{
    return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

std::string sysfsDevicePath(const char* kind, dev_t dev)
{
    return systemPaths().sys + "/dev/" + kind + "/" + deviceNumberText(dev);
}

bool readLink(const std::string& path, std::string* target)
{
    char buffer[PATH_MAX];
    ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer)
        return false;
    target->assign(buffer, static_cast<size_t>(n));
    return true;
}

const char* sysfsKind(NodeKind kind)
{
    switch (kind) {
    case NodeKind::Block:
        return "block";
    case NodeKind::Character:
        return "char";
    default:
        return nullptr;
    }
}

// The sysfs folder of the device behind a node, or "" for any other file.
std::string sysfsPathOfNode(const char* path)
{
    NodeInfo info;
    if (!lookupNode(path, &info))
        return std::string();
    const char* kind = sysfsKind(info.kind);
    return kind ? sysfsDevicePath(kind, info.rdev) : std::string();
}

// The signed decimal number at the start of text.
bool parseNumber(const char* text, long long* value)
{
    char* end = nullptr;
    errno = 0;
    long long parsed = strtoll(text, &end, 10);
    if (end == text || errno != 0)
        return false;
    *value = parsed;
    return true;
}

// A major or minor number: a decimal number that makedev() can take whole.
bool parseDeviceNumber(const std::string& text, long long* value)
{
    return parseNumber(text.c_str(), value) && *value >= 0 &&
           *value <= static_cast<long long>(std::numeric_limits<unsigned int>::max());
}

}  // namespace

int64_t readSysfsBlockValue(dev_t dev, const char* name)
{
    if (!name)
        return -1;
    std::string path = sysfsDevicePath("block", dev) + "/" + name;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[513];
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0)
        return -1;
    text[n] = '\0';
    long long value = 0;
    return parseNumber(text, &value) ? value : -1;
}

int devNodePath(dev_t dev, char* out)
{
    if (!out)
        return -1;
    std::string byNumber = systemPaths().dev + "/block/" + deviceNumberText(dev);
    char resolved[PATH_MAX];
    if (realpath(byNumber.c_str(), resolved)) {
        if (strlen(resolved) >= DEV_NODE_PATH_SIZE)
            return -1;
        strcpy(out, resolved);
        return 0;
    }
    std::string target;
    if (!readLink(sysfsDevicePath("block", dev), &target))
        return -1;
    size_t slash = target.find_last_of('/');
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty())
        return -1;
    std::string node = systemPaths().dev + "/" + name;
    if (node.size() >= DEV_NODE_PATH_SIZE)
        return -1;
    strcpy(out, node.c_str());
    return 0;
}

char* devNodePathDup(dev_t dev)
{
    char path[DEV_NODE_PATH_SIZE];
    if (devNodePath(dev, path) != 0)
        return nullptr;
    return strdup(path);
}

int readUevent(const char* fileName, dev_t* dev, char* type, size_t typeSize)
{
    if (type && typeSize > 0)
        type[0] = '\0';
    if (!fileName)
        return -1;
    std::ifstream file(fileName);
    if (!file)
        return -1;
    bool haveMajor = false, haveMinor = false, haveType = false;
    long long majorNumber = 0, minorNumber = 0;
    std::string line;
    while (std::getline(file, line)) {
        if (!haveMajor && line.compare(0, 6, "MAJOR=") == 0)
            haveMajor = parseDeviceNumber(line.substr(6), &majorNumber);
        else if (!haveMinor && line.compare(0, 6, "MINOR=") == 0)
            haveMinor = parseDeviceNumber(line.substr(6), &minorNumber);
        else if (!haveType && line.compare(0, 8, "DEVTYPE=") == 0) {
            haveType = true;
            if (type && typeSize > 0) {
                std::string value = line.substr(8, typeSize - 1);
                memcpy(type, value.c_str(), value.size() + 1);
            }
        }
    }
    if (!haveMajor || !haveMinor)
        return -1;
    if (dev)
        *dev = makedev(majorNumber, minorNumber);
    return 0;
}

int isUsbDevice(const char* path)
{
    std::string device = sysfsPathOfNode(path);
    std::string target;
    if (device.empty() || !readLink(device, &target))
        return 0;
    return target.find("usb") != std::string::npos ? 1 : 0;
}

int isRemovableDevice(const char* path)
{
    std::string device = sysfsPathOfNode(path);
    if (device.empty())
        return 0;
    std::ifstream file(device + "/removable");
    char first = 0;
    if (!file || !file.get(first))
        return 0;
    return first == '1' ? 1 : 0;
}
