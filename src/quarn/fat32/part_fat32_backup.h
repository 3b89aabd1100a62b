// Backs up a FAT32 partition: a depth-first walk from the root directory that
// stores every directory entry and, right after each file's entry, the file's
// data as one data set. Free clusters and the FAT itself are never stored.
#ifndef QUARN_FAT32_PART_FAT32_BACKUP_H
#define QUARN_FAT32_PART_FAT32_BACKUP_H

#include "fslayout/fat32_layout.h"
#include "quarn/image/part_backup.h"

#include <string>
#include <unordered_set>
#include <vector>

class CPartFat32Backup : public CPartBackup {
public:
    CPartFat32Backup(const tagBackupArgument& arg, const tagCallBackFunc& cb, tagBackupImageHeadInfo* head,
                     int headLength);
    ~CPartFat32Backup() override = default;

    // A clone's walk, after StreamInit: WriteStream puts the directory
    // stream, from the root's first entry to its end mark, into the sink.
    // leaveOutPageFile: the root's page file is stored without its data,
    // as in every image; false copies it.
    int WriteStream(bool leaveOutPageFile);
    // The same walk once before, over directories and cluster chains only
    // (no file data read, nothing put anywhere): a damaged tree refuses a
    // clone while its destination is still whole, not when the walk meets
    // the damage. 0, or the code the walk would end with.
    int ProveStream(bool leaveOutPageFile);

protected:
    int BackupFiles() override;
    int GetBootCodeInfo() override;
    int GetPartNumOfUsedBytes() override;
    uint64_t GetMftBitmapAllocSize() const override { return 0; }
    int WriteMFTBitmap() override { return 0; }
    void WritePartInfoDiff(tagPARTITION_INFO* info) override;

private:
    // One directory of the walk: where its entries are being read.
    struct DirPosition {
        uint32_t cluster;
        uint32_t nextEntry;
    };

    int TraverDirEntry();
    // Handles one entry of the directory on top of `path`; may push a
    // subdirectory onto it or pop the directory when it ends.
    int ProcessEntry(std::vector<DirPosition>& path, const tagFatDirEntry& entry);
    int EndDirectory(std::vector<DirPosition>& path, bool counted);
    int EnterDirectory(std::vector<DirPosition>& path, uint32_t cluster);
    // inRoot: the entry stands in the root folder.
    int BackupFile(const tagFatDirEntry& entry, bool inRoot);
    int BackupFileData(uint32_t firstCluster, uint32_t size);
    int ReadFileChain(uint32_t firstCluster, uint32_t size);
    // Marks a cluster as one of the file being read: false when it is
    // already, that is when the file's chain loops.
    bool ClaimFileCluster(uint32_t cluster);
    void ReleaseFileClusters();
    int WriteDirEntry(const tagFatDirEntry& entry, bool counted);
    int ReadCluster(uint32_t cluster);
    // The FAT entry of `cluster`, masked to 28 bits.
    int ReadFatEntry(uint32_t cluster, uint32_t& next);
    bool IsDataCluster(uint32_t cluster) const;
    uint64_t ClusterOffset(uint32_t cluster) const;
    void DisplayName(const tagFatDirEntry& entry);

    tagFat32BootSector m_boot{};
    uint64_t m_firstFatPos = 0;
    uint64_t m_fatBytes = 0;
    uint64_t m_dataAreaPos = 0;
    uint32_t m_rootCluster = 0;
    uint32_t m_lastCluster = 0;  // highest cluster number the FAT describes
    uint64_t m_dataSectionPos = 0;
    uint32_t m_recordCount = 0;

    CDeviceIo m_fatDevice;              // second handle on the source, for the FAT
    std::vector<uint32_t> m_fatWindow;  // a cached run of FAT entries
    uint32_t m_fatWindowFirst = 0;
    std::vector<unsigned char> m_dirCluster;
    // Every directory cluster met so far: meeting one again means the
    // directory tree or a chain loops.
    std::unordered_set<uint32_t> m_dirClustersSeen;
    // The clusters of the file being read, by cluster number, and the runs
    // they were marked in (to unmark them quickly).
    struct ClusterRun {
        uint32_t first;
        uint32_t count;
    };
    std::vector<bool> m_fileClusters;
    std::vector<ClusterRun> m_fileRuns;
    Fat32::LongNameBuffer m_longName;
    bool m_leaveOutPageFile = true;
    bool m_proveOnly = false;  // ProveStream's walk: the files' bytes are not read
    std::string m_fileName;    // file being processed
    bool m_storedRaw = false;  // the file being processed is stored raw
};

#endif
