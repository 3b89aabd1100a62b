// The kernel's list of optical drives and the two requests the storage
// layer sends to a drive.
#include "platform/linux/system_paths.h"
#include "platform/linux/system_probes.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>  // CDSL_CURRENT
#include <fstream>
#include <sstream>
#include <string>

namespace {

const char kDriveNamePrefix[] = "drive name:";

int openDriveNode(const char* path)
{
    if (!path)
        return -1;
    return open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// Closes without letting close() overwrite the errno of the request.
void closeKeepingErrno(int fd)
{
    int saved = errno;
    close(fd);
    errno = saved;
}

}  // namespace

int forEachOpticalDrive(OpticalDriveCallback callback, void* context)
{
    if (!callback) {
        errno = EINVAL;
        return -1;
    }
    std::ifstream info(systemPaths().proc + "/sys/dev/cdrom/info");
    if (!info)
        return -1;
    std::string line;
    while (std::getline(info, line)) {
        if (line.compare(0, sizeof kDriveNamePrefix - 1, kDriveNamePrefix) != 0)
            continue;
        std::istringstream words(line.substr(sizeof kDriveNamePrefix - 1));
        std::string name;
        while (words >> name) {
            std::string node = systemPaths().dev + "/" + name;
            NodeInfo nodeInfo;
            if (!lookupNode(node.c_str(), &nodeInfo) || nodeInfo.kind != NodeKind::Block)
                continue;
            if (callback(nodeInfo.rdev, node.c_str(), context) < 0) {
                errno = ECANCELED;
                return -1;
            }
        }
    }
    errno = 0;
    return 0;
}

bool isOpticalDrive(dev_t dev)
{
    struct Search {
        dev_t wanted;
        bool found;
    } search{dev, false};
    forEachOpticalDrive(
        [](dev_t drive, const char*, void* context) {
            auto* s = static_cast<Search*>(context);
            if (drive != s->wanted)
                return 0;
            s->found = true;
            return -1;
        },
        &search);
    return search.found;
}

std::vector<OpticalDrive> listOpticalDrives()
{
    std::vector<OpticalDrive> drives;
    forEachOpticalDrive(
        [](dev_t drive, const char* path, void* context) {
            static_cast<std::vector<OpticalDrive>*>(context)->push_back({drive, path});
            return 0;
        },
        &drives);
    return drives;
}

int opticalDriveStatus(const char* path)
{
    int fd = openDriveNode(path);
    if (fd < 0)
        return -1;
    int status = ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
    closeKeepingErrno(fd);
    return status;
}

int ejectMedia(const char* path)
{
    int fd = openDriveNode(path);
    if (fd < 0)
        return -1;
    int result = ioctl(fd, CDROMEJECT, 0);
    closeKeepingErrno(fd);
    return result;
}
