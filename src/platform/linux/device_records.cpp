#include "platform/linux/device_records.h"

#include <QMetaType>
#include <cstdlib>
#include <cstring>

DiskRecord::~DiskRecord()
{
    freeText(path);
    freeText(model);
    freePartitionList(partitions);
}

PartitionRecord::~PartitionRecord()
{
    freeText(path);
    freeText(fsName);
    freeText(label);
    freeText(uuid);
    if (ownsDisk)
        delete disk;
}

char* duplicateText(const char* text)
{
    return text ? strdup(text) : nullptr;
}

void freeText(char* text)
{
    free(text);
}

void assignText(char** field, const char* text)
{
    char* copy = duplicateText(text);
    freeText(*field);
    *field = copy;
}

static DiskRecord* detachedDiskCopy(const DiskRecord* disk)
{
    if (!disk)
        return nullptr;
    DiskRecord* copy = new DiskRecord;
    copy->sectorSize = disk->sectorSize;
    copy->length = disk->length;
    copy->path = duplicateText(disk->path);
    copy->model = duplicateText(disk->model);
    copy->rdev = disk->rdev;
    copy->usb = disk->usb;
    copy->removable = disk->removable;
    copy->kind = disk->kind;
    copy->driveStatus = disk->driveStatus;
    return copy;
}

DiskRecord* copyDiskList(const DiskRecord* head)
{
    DiskRecord* copies = nullptr;
    for (const DiskRecord* disk = head; disk; disk = disk->next) {
        DiskRecord* copy = detachedDiskCopy(disk);
        for (const PartitionRecord* part = disk->partitions; part; part = part->next) {
            PartitionRecord* partCopy = copyPartitionRecord(part);
            // The copy belongs to the copied disk, not to a detached one.
            delete partCopy->disk;
            partCopy->ownsDisk = false;
            partCopy->disk = copy;
            partCopy->uuid = duplicateText(part->uuid);
            appendPartition(&copy->partitions, partCopy);
        }
        appendDisk(&copies, copy);
    }
    return copies;
}

DiskList& DiskList::operator=(DiskList&& other) noexcept
{
    if (this != &other) {
        freeDiskList(m_head);
        m_head = other.m_head;
        other.m_head = nullptr;
    }
    return *this;
}

const PartitionRecord* DiskList::partitionByPath(const char* path) const
{
    for (DiskRecord* disk = m_head; disk; disk = disk->next) {
        if (const PartitionRecord* part = findPartitionByPath(disk->partitions, path))
            return part;
    }
    return nullptr;
}

PartitionRecord* copyPartitionRecord(const PartitionRecord* record)
{
    if (!record)
        return nullptr;
    PartitionRecord* copy = new PartitionRecord;
    copy->disk = detachedDiskCopy(record->disk);
    copy->ownsDisk = copy->disk != nullptr;
    copy->start = record->start;
    copy->end = record->end;
    copy->length = record->length;
    copy->rdev = record->rdev;
    copy->path = duplicateText(record->path);
    copy->fsName = duplicateText(record->fsName);
    copy->label = duplicateText(record->label);
    copy->active = record->active;
    copy->usedSectors = record->usedSectors;
    copy->letter = record->letter;
    copy->kind = record->kind;
    copy->wholeDisk = record->wholeDisk;
    copy->unfinishedRestore = record->unfinishedRestore;
    return copy;
}

void freePartitionRecord(PartitionRecord* record)
{
    delete record;
}

// Disk and partition lists are alike: singly linked through `next`, each
// record with its `rdev`.
template <typename Record>
static void freeRecordList(Record* head)
{
    while (head) {
        Record* next = head->next;
        delete head;
        head = next;
    }
}

template <typename Record>
static Record* findRecordByDev(Record* head, dev_t rdev)
{
    for (Record* record = head; record; record = record->next) {
        if (record->rdev == rdev)
            return record;
    }
    return nullptr;
}

template <typename Record>
static void appendRecord(Record** head, Record* record)
{
    if (!record)
        return;
    record->next = nullptr;
    Record** link = head;
    while (*link)
        link = &(*link)->next;
    *link = record;
}

template <typename Record>
static bool unlinkRecord(Record** head, Record* record)
{
    for (Record** link = head; *link; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            record->next = nullptr;
            return true;
        }
    }
    return false;
}

void freeDiskList(DiskRecord* head)
{
    freeRecordList(head);
}

void freePartitionList(PartitionRecord* head)
{
    freeRecordList(head);
}

DiskRecord* findDiskByDev(DiskRecord* head, dev_t rdev)
{
    return findRecordByDev(head, rdev);
}

PartitionRecord* findPartitionInList(PartitionRecord* head, dev_t rdev)
{
    return findRecordByDev(head, rdev);
}

PartitionRecord* findPartitionByDev(DiskRecord* head, dev_t rdev)
{
    for (DiskRecord* disk = head; disk; disk = disk->next) {
        if (PartitionRecord* part = findPartitionInList(disk->partitions, rdev))
            return part;
    }
    return nullptr;
}

PartitionRecord* findPartitionByPath(PartitionRecord* head, const char* path)
{
    if (!path)
        return nullptr;
    for (PartitionRecord* part = head; part; part = part->next) {
        if (part->path && strcmp(part->path, path) == 0)
            return part;
    }
    return nullptr;
}

void appendDisk(DiskRecord** head, DiskRecord* disk)
{
    appendRecord(head, disk);
}

void appendPartition(PartitionRecord** head, PartitionRecord* partition)
{
    appendRecord(head, partition);
}

bool unlinkDisk(DiskRecord** head, DiskRecord* disk)
{
    return unlinkRecord(head, disk);
}

bool unlinkPartition(PartitionRecord** head, PartitionRecord* partition)
{
    return unlinkRecord(head, partition);
}

int countPartitions(const PartitionRecord* head)
{
    int count = 0;
    for (; head; head = head->next)
        ++count;
    return count;
}

void registerDevMetaType()
{
    qRegisterMetaType<dev_t>("dev_t");
}
