// Restores a FAT32 image onto a target partition of any sufficient size: the
// target gets a fresh FAT32 layout for its own size (38 reserved sectors, two
// FATs, root directory at cluster 2), then the image's directory stream is
// replayed with new clusters handed out in one rising sequence, so every
// file ends up contiguous.
#ifndef QUARN_FAT32_PART_FAT32_RESTORE_H
#define QUARN_FAT32_PART_FAT32_RESTORE_H

#include "fat32_layout.h"
#include "image/data_set_reader.h"
#include "image/part_restore.h"

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

private:
    // A directory being written: where its next entry goes.
    struct DirCursor {
        uint32_t firstCluster;
        uint32_t cluster;
        uint32_t entriesInCluster;
        uint32_t parentCluster;  // 0 when the parent is the root
    };

    int SetFatInit();
    int ResetBpb();
    int ZeroFat();
    int ProcDirEntry();
    int ReadStreamEntry(tagFatDirEntry& entry);
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
    // Runs the system's checker on the target (dosfsck -aV on Linux, the
    // disk check on Windows), its output and exit status going to the
    // trace; 2 when it cannot be run or dies by a signal, else 0 whatever
    // its verdict (the check is advisory).
    static int CheckPartition(const std::string& partition);

private:
    uint64_t m_dataSectionPos = 0;
    Fat32NewLayout m_layout;
    tagFat32BootSector m_newBoot{};
    uint32_t m_lastHandedOut = Fat32::kFirstDataCluster - 1;
    std::unique_ptr<CDataSetReader> m_reader;
    std::vector<unsigned char> m_zeros;
    Fat32::LongNameBuffer m_longName;
};

#endif
