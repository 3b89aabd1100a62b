// Raw reads of the head of a file or device and of a boot sector's serial.
#include "platform/linux/system_probes.h"
#include "fslayout/unfinished_restore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Reads exactly size bytes at offset, retrying short reads; false when the
// file ends first or a read fails.
bool readExactly(int fd, void* buffer, size_t size, off_t offset)
{
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = pread(fd, out + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

struct SerialField {
    int fsCode;
    off_t offset;
    size_t size;
};

const SerialField kSerialFields[] = {
    {4, 72, 8},  // NTFS
    {3, 67, 4},  // FAT32
    {2, 39, 4},  // FAT16
};

uint64_t littleEndian(const unsigned char* bytes, size_t size)
{
    uint64_t value = 0;
    for (size_t i = size; i > 0; --i)
        value = (value << 8) | bytes[i - 1];
    return value;
}

}  // namespace

int readFileHead(const char* path, char* buffer)
{
    if (!path || !buffer)
        return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    bool ok = readExactly(fd, buffer, FILE_HEAD_SIZE, 0);
    close(fd);
    return ok ? 0 : -1;
}

bool holdsUnfinishedRestore(const char* path)
{
    if (!path)
        return false;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint8_t sector[UnfinishedRestore::kSectorBytes];
    const bool read = readExactly(fd, sector, sizeof sector, 0);
    close(fd);
    return read && UnfinishedRestore::IsMarked(sector, sizeof sector);
}

int readVolumeSerial(const char* path, int fsCode, uint64_t* serial)
{
    if (!path || !serial)
        return -1;
    const SerialField* field = nullptr;
    for (const SerialField& candidate : kSerialFields) {
        if (candidate.fsCode == fsCode)
            field = &candidate;
    }
    if (!field)
        return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    unsigned char bytes[8];
    bool ok = readExactly(fd, bytes, field->size, field->offset);
    close(fd);
    if (!ok)
        return -1;
    *serial = littleEndian(bytes, field->size);
    return 0;
}
