// The records of the machine's disks, partitions and optical drives as the
// device prober lists them. Texts are heap C strings owned by their record.
#ifndef DEVICE_RECORDS_H
#define DEVICE_RECORDS_H

#include <sys/types.h>
#include <cstdint>

struct PartitionRecord;

enum DiskKind { DiskKindDisk = 0, DiskKindOptical = 2 };
enum PartitionKind { PartitionKindPrimary = 0, PartitionKindLogical = 1 };

// One disk or optical drive. Destroying it frees its texts and its whole
// partition list.
struct DiskRecord {
    uint64_t sectorSize = 0;  // bytes per sector; 0 for an optical drive
    uint64_t length = 0;      // sectors; 0 for an optical drive
    char* path = nullptr;     // device node, for instance /dev/sdb
    char* model = nullptr;    // null for an optical drive
    dev_t rdev = 0;           // 0 when the node could not be examined
    int32_t usb = 0;
    int32_t removable = 0;
    int32_t kind = DiskKindDisk;
    int32_t driveStatus = 0;  // optical drive only: last drive status read
    PartitionRecord* partitions = nullptr;
    DiskRecord* next = nullptr;

    DiskRecord() = default;
    ~DiskRecord();
    DiskRecord(const DiskRecord&) = delete;
    DiskRecord& operator=(const DiskRecord&) = delete;
};

// One partition, whole-disk volume or optical medium. Destroying it frees
// its texts (and, for a detached copy, its copy of the disk).
struct PartitionRecord {
    DiskRecord* disk = nullptr;
    uint64_t start = 0;   // first sector
    uint64_t end = 0;     // last sector
    uint64_t length = 0;  // sectors
    dev_t rdev = 0;
    char* path = nullptr;
    char* fsName = nullptr;  // "ntfs", "fat32", "linux-swap", "FAT32"...
    char* label = nullptr;   // UTF-8
    char* uuid = nullptr;    // without '-'
    int32_t active = 0;
    uint64_t usedSectors = 0;  // 512-byte sectors; 0 when not measured
    char letter = 0;           // 'C'..'Z'; ' ' hidden system partition; 0 none
    int32_t kind = PartitionKindPrimary;
    // 1 when the volume fills the disk's own node (no partition table). Such
    // a volume has no boot record of its own that could be rewritten apart
    // from its data: writing boot code "to its disk" would overwrite the
    // volume itself.
    int32_t wholeDisk = 0;
    // 1 when a restore began on the partition and never finished: its old
    // file system is gone and no new one was made (UnfinishedRestore).
    int32_t unfinishedRestore = 0;
    PartitionRecord* next = nullptr;

    PartitionRecord() = default;
    ~PartitionRecord();
    PartitionRecord(const PartitionRecord&) = delete;
    PartitionRecord& operator=(const PartitionRecord&) = delete;

private:
    friend PartitionRecord* copyPartitionRecord(const PartitionRecord*);
    friend DiskRecord* copyDiskList(const DiskRecord*);
    bool ownsDisk = false;
};

// Heap copy of a text (null stays null); free with freeText.
char* duplicateText(const char* text);
void freeText(char* text);
// Replaces *field with a copy of text, freeing what it held.
void assignText(char** field, const char* text);

// A copy the caller owns and frees with freePartitionRecord. It points into
// no list: `next` is null and `disk` is a detached copy of the disk's own
// fields (without its partition list), so it stays valid after the list is
// rebuilt. `uuid` is not copied.
PartitionRecord* copyPartitionRecord(const PartitionRecord* record);
void freePartitionRecord(PartitionRecord* record);

// Frees the record and every record after it.
void freeDiskList(DiskRecord* head);
void freePartitionList(PartitionRecord* head);

DiskRecord* findDiskByDev(DiskRecord* head, dev_t rdev);
// Searches the partitions of every disk of the list.
PartitionRecord* findPartitionByDev(DiskRecord* head, dev_t rdev);
PartitionRecord* findPartitionInList(PartitionRecord* head, dev_t rdev);
// Searches the partitions of one disk by node path.
PartitionRecord* findPartitionByPath(PartitionRecord* head, const char* path);

// Append at the tail; `head` may point to a null list.
void appendDisk(DiskRecord** head, DiskRecord* disk);
void appendPartition(PartitionRecord** head, PartitionRecord* partition);

// Unlink without freeing; they return whether the record was in the list.
bool unlinkDisk(DiskRecord** head, DiskRecord* disk);
bool unlinkPartition(PartitionRecord** head, PartitionRecord* partition);

int countPartitions(const PartitionRecord* head);

// A deep copy of a whole list: every disk with its texts and partitions,
// each copied partition's `disk` pointing at its copied disk. The caller
// owns it (DiskList).
DiskRecord* copyDiskList(const DiskRecord* head);

// Owns a disk list and frees it when it goes: what the prober's snapshot
// hands out, walked without any lock.
class DiskList {
public:
    DiskList() = default;
    explicit DiskList(DiskRecord* head) : m_head(head) {}
    ~DiskList() { freeDiskList(m_head); }
    DiskList(DiskList&& other) noexcept : m_head(other.m_head) { other.m_head = nullptr; }
    DiskList& operator=(DiskList&& other) noexcept;
    DiskList(const DiskList&) = delete;
    DiskList& operator=(const DiskList&) = delete;

    const DiskRecord* first() const { return m_head; }
    const DiskRecord* diskByDev(dev_t rdev) const { return findDiskByDev(m_head, rdev); }
    const PartitionRecord* partitionByDev(dev_t rdev) const { return findPartitionByDev(m_head, rdev); }
    // Searches the partitions of every disk by node path.
    const PartitionRecord* partitionByPath(const char* path) const;

private:
    DiskRecord* m_head = nullptr;
};

// Registers dev_t with Qt's meta-types under "dev_t", so that device numbers
// can travel in queued signals. Safe to call more than once.
void registerDevMetaType();

#endif
