// The Linux engine behind the desktop worker's engine table, for tests on
// a simulated machine: Windows paths of image files become the machine's
// host files, a drive's partition is copied out of the disk file into a
// partition file ("sdz<N>" beside "sdz", a link to the disk file, so that
// the engine finds the disk of a partition) and, after a restore, copied
// back. The MBR source \\.\PhysicalDrive<N> becomes the disk file.
#ifndef DESK_LINUX_ENGINE_H
#define DESK_LINUX_ENGINE_H

#include "desk_machine.h"
#include "desk_worker.h"
#include "quarn.h"
#include "text.h"

#include <filesystem>
#include <string>

namespace desktest {

class LinuxEngineScope {
public:
    LinuxEngineScope(DeskMachine& machine, const std::string& workDir)
    {
        s_machine = &machine;
        s_work = workDir;
        std::filesystem::create_symlink(machine.diskFile(), workDir + "/sdz");
        m_previous = desk::Worker::setDefaultEngine(
            {&backupPartition, &backupPartition, &restorePartition, &restorePartition, &restoreDiskStart});
    }
    ~LinuxEngineScope()
    {
        desk::Worker::setDefaultEngine(m_previous);
        s_machine = nullptr;
    }

private:
    static std::string host(const std::string& windowsPath)
    {
        if (windowsPath.empty())
            return windowsPath;
        const std::string mapped = s_machine->platform->hostPath(winplat::utf16(windowsPath));
        return mapped.empty() ? windowsPath : mapped;
    }
    // The partition file of a drive ("c:\", "e"), filled from the disk.
    static std::string partitionFile(const std::string& drive, int* number)
    {
        *number = drive.empty() ? 0 : partitionOfLetter(drive[0]);
        if (*number == 0)
            return drive;
        const std::string file = s_work + "/sdz" + std::to_string(*number);
        s_machine->extractPartition(*number, file);
        return file;
    }
    static int backupPartition(tagBackupArgument arg, tagCallBackFunc cb, tagBackupImageHeadInfo* head, int length)
    {
        int number = 0;
        arg.srcPartition = partitionFile(arg.srcPartition, &number);
        arg.imagePath = host(arg.imagePath);
        arg.prevImage = host(arg.prevImage);
        if (arg.mbrSource == "\\\\.\\PhysicalDrive0")
            arg.mbrSource = s_work + "/sdz";
        return arg.fsType == FS_TYPE_FAT32 ? backup_fat32(arg, cb, head, length) : backup_ntfs(arg, cb, head, length);
    }
    static int restoreWith(int (*entry)(tagRestoreArgument, tagCallBackFunc), tagRestoreArgument arg,
                           tagCallBackFunc cb)
    {
        int number = 0;
        arg.targetPartition = partitionFile(arg.targetPartition, &number);
        arg.imagePath = host(arg.imagePath);
        const int result = entry(arg, cb);
        if (number != 0)
            s_machine->storePartition(number, arg.targetPartition);
        return result;
    }
    static int restorePartition(tagRestoreArgument arg, tagCallBackFunc cb)
    {
        return restoreWith(&restore_ntfs, arg, cb);
    }
    static int restoreDiskStart(tagRestoreArgument arg, tagCallBackFunc cb)
    {
        return restoreWith(&restore_mbr, arg, cb);
    }

    static inline DeskMachine* s_machine = nullptr;
    static inline std::string s_work;
    QuarnEngine m_previous;
};

}  // namespace desktest

#endif
