// Restores a FAT32 image onto a target partition of any sufficient size: the
// target gets a fresh FAT32 layout for its own size (38 reserved sectors, two
// FATs, root directory at cluster 2), then the image's directory stream is
// replayed with new clusters handed out in one rising sequence, so every
// file ends up contiguous.
#ifndef QUARN_FAT32_PART_FAT32_RESTORE_H
#define QUARN_FAT32_PART_FAT32_RESTORE_H

#include "fslayout/fat32_layout.h"
#include "quarn/image/data_set_reader.h"
#include "quarn/image/part_restore.h"

#include <cstdint>
#include <memory>
#include <vector>

// The layout a target of a given size gets.
struct Fat32NewLayout {
    static constexpr uint32_t kSectorBytes = 512;
    static constexpr uint32_t kReservedSectors = 38;
    static constexpr uint32_t kNumberOfFats = 2;
    static constexpr uint32_t kRootCluster = 2;
    static constexpr uint32_t kFsInfoSector = 1;
    static constexpr uint32_t kBackupBootSector = 6;

    uint32_t totalSectors = 0;
    uint32_t sectorsPerCluster = 0;
    uint32_t fatSectors = 0;
    uint32_t clusterCount = 0;

    uint64_t FatPos() const { return uint64_t(kReservedSectors) * kSectorBytes; }
    uint64_t FatBytes() const { return uint64_t(fatSectors) * kSectorBytes; }
    uint64_t DataPos() const { return FatPos() + kNumberOfFats * FatBytes(); }
    uint32_t ClusterBytes() const { return sectorsPerCluster * kSectorBytes; }
    uint32_t LastCluster() const { return clusterCount + 1; }
    uint64_t ClusterPos(uint32_t cluster) const
    {
        return DataPos() + uint64_t(cluster - Fat32::kFirstDataCluster) * ClusterBytes();
    }
};

// Sectors per cluster for a target of this many bytes.
uint32_t CalSectorsPerCluster(uint64_t targetBytes);
// Plans the layout of a target of `targetSectors` 512-byte sectors: 0, or
// ERR_PART_TOO_SMALL when it would hold fewer clusters than FAT32 allows,
// or ERR_PART_INFO when it is too large for FAT32's 32-bit sector count.
int PlanFat32Layout(uint64_t targetSectors, Fat32NewLayout& layout);

class CPartFatRestore : public CPartRestore {
public:
    CPartFatRestore(const tagRestoreArgument& arg, const tagCallBackFunc& cb);
    ~CPartFatRestore() override;

    int RestorePartition();

protected:
    int SetMFTBitmapBuf(unsigned int) override { return 0; }
    void SetPartInfo(tagPARTITION_INFO info) override;
    // A FAT32 restore never asks for a missing volume: it ends with
    // ERR_FILE_NOT_FOUND at once.
    bool AskForNextVolume(std::string&) override { return false; }

    // Lays the file system out and replays the directory stream, then the
    // boot sectors and the check, reporting `writingState` while the stream
    // is written. *streamWritten: the whole stream was.
    int WriteFileSystem(const QString& writingState, bool* streamWritten);
    // Where the directory stream comes from: the image's data section (a
    // clone gives its own stream). StartStream positions it; ReadStreamEntry
    // reads the next entry; CheckStreamEnd judges the end after the root's
    // end mark.
    virtual int StartStream();
    virtual int ReadStreamEntry(tagFatDirEntry& entry);
    virtual int CheckStreamEnd();

private:
    // A directory being written: where its next entry goes.
    struct DirCursor {
        uint32_t firstCluster;
        uint32_t cluster;
        uint32_t entriesInCluster;
        uint32_t parentCluster;  // 0 when the parent is the root
    };

    int SetFatInit();
    // The saved boot sector must describe the file system the partition
    // record describes: ERR_DAMAGED_IMAGE otherwise.
    int CheckStoredBootSector() const;
    int ResetBpb();
    // Before the first data write: the target's boot sector and its backup
    // copy are zeroed, so that a restore that stops half way never leaves
    // the old file system looking whole over new data.
    int HideOldFileSystem();
    int ZeroFat();
    int ProcDirEntry();
    // The count of stream entries the image's last volume records.
    int StoredRecordCount(uint32_t* count);
    // Hands out one cluster for a directory and clears it.
    int NewDirectoryCluster(uint32_t& cluster);
    int PlaceEntry(DirCursor& dir, const tagFatDirEntry& entry);
    int RestoreFile(tagFatDirEntry& entry);
    int AllocateClusters(uint64_t count, uint32_t& first);
    int ZeroCluster(uint32_t cluster);
    int WriteFatEntry(uint32_t cluster, uint32_t value);
    int SetFatTable(uint32_t first, uint32_t count);
    int ResBootCode();
    int MirrorFat();
    void DisplayName(const tagFatDirEntry& entry);
    int WritePart(uint64_t offset, const void* data, uint64_t length);

public:
    // Runs the system's checker on the target, read-only (dosfsck -n on
    // Linux, the disk check on Windows), its output and exit status going
    // to the trace: 0 when it finds the target whole, ERR_FS_CHECK when it
    // finds a fault, 2 when it cannot be run or dies by a signal.
    static int CheckPartition(const std::string& partition);

private:
    uint64_t m_dataSectionPos = 0;
    uint32_t m_recordCount = 0;  // of the first volume's partition record
    // What the stream held so far: the entries a backup counts, and those
    // it may have counted or not (the stream alone cannot tell).
    uint64_t m_countedEntries = 0;
    uint64_t m_mayBeCounted = 0;
    Fat32NewLayout m_layout;
    tagFat32BootSector m_newBoot{};
    uint32_t m_lastHandedOut = Fat32::kFirstDataCluster - 1;
    std::unique_ptr<CDataSetReader> m_reader;
    std::vector<unsigned char> m_zeros;
    Fat32::LongNameBuffer m_longName;
};

#endif
