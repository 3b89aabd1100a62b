// A small Windows program on quarn.dll, for the checks under Wine:
//   quarn_dll_tool backup <partition> <image base> <compression>
//       backs the NTFS partition up (e.g. "D:") into <image base>_*.bkp;
//   quarn_dll_tool scan <partition>
//       lists the deleted files NTFSRecover finds on it;
//   quarn_dll_tool recover <partition> <name> <output file>
//       scans it and copies the deleted file of that name out.
// Prints the engine's result code and exits with 0 only on success.
#include "platform/windows_engine/ntfs_recover.h"
#include "platform/windows_engine/quarn_windows.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Progress {
    int steps = 0;
    uint64_t total = 0;
    uint64_t done = 0;
};

int onProgress(int, void* context)
{
    static_cast<Progress*>(context)->steps++;
    return 0;
}

void onTotalBytes(uint64_t total, void* context)
{
    static_cast<Progress*>(context)->total = total;
}

void onBytesDone(uint64_t bytes, void* context)
{
    static_cast<Progress*>(context)->done += bytes;
}

int backup(const std::string& partition, const std::string& base, int compression)
{
    tagBackupArgument arg;
    arg.srcPartition = partition;
    arg.imagePath = base;
    arg.fsType = 4;
    arg.compressType = compression;
    arg.description = "Backed up by quarn.dll under Wine";
    Progress progress;
    tagCallBackFunc cb;
    cb.onProgress = onProgress;
    cb.onTotalBytes = onTotalBytes;
    cb.onBytesDone = onBytesDone;
    cb.context = &progress;
    const int result = quarn::backup_ntfs(arg, cb, nullptr, 0);
    std::printf("backup_ntfs %s: result %d, %d progress steps, %llu of %llu bytes\n", partition.c_str(),
                result, progress.steps, static_cast<unsigned long long>(progress.done),
                static_cast<unsigned long long>(progress.total));
    return result;
}

struct Found {
    QString wanted;
    long record = -1;
};

void onFoundFile(QStringList row, void* user)
{
    std::printf("found: %s\n", row.join(QStringLiteral(" | ")).toLocal8Bit().constData());
    auto* found = static_cast<Found*>(user);
    if (found != nullptr && row.value(FoundFileRow::Name) == found->wanted)
        found->record = row.value(FoundFileRow::Record).toLong();
}

int onScanProgress(int, void*)
{
    return 0;
}

int scan(const std::string& partition)
{
    NTFSRecover recover;
    tagCallBackFuncForRecover callbacks{onFoundFile, onScanProgress, nullptr};
    const unsigned long result = recover.ScanPartition(partition, callbacks);
    std::printf("ScanPartition %s: result %lu\n", partition.c_str(), result);
    return static_cast<int>(result);
}

int recoverFile(const std::string& partition, const char* name, const std::string& outPath)
{
    NTFSRecover recover;
    Found found;
    found.wanted = QString::fromLocal8Bit(name);
    tagCallBackFuncForRecover callbacks{onFoundFile, onScanProgress, &found};
    const unsigned long scanned = recover.ScanPartition(partition, callbacks);
    if (scanned != 0 || found.record < 0) {
        std::printf("ScanPartition %s: result %lu, %s not found\n", partition.c_str(), scanned, name);
        return 1;
    }
    const unsigned long result =
        recover.RecoverFile(static_cast<unsigned long>(found.record), outPath, nullptr);
    std::printf("RecoverFile %ld (%s): result %lu\n", found.record, name, result);
    return static_cast<int>(result);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "backup" && argc == 5)
        return backup(argv[2], argv[3], std::atoi(argv[4])) == 0 ? 0 : 1;
    if (mode == "scan" && argc == 3)
        return scan(argv[2]) == 0 ? 0 : 1;
    if (mode == "recover" && argc == 5)
        return recoverFile(argv[2], argv[3], argv[4]) == 0 ? 0 : 1;
    std::fprintf(stderr, "usage: quarn_dll_tool backup PARTITION IMAGE_BASE COMPRESSION | scan PARTITION"
                         " | recover PARTITION NAME OUTPUT\n");
    return 2;
}
