#include "platform/vetra/disk_info.h"

#include <memory>

void freeDiskList(_DiskInfo* list)
{
    while (list) {
        _PartInfo* part = list->PartList;
        while (part) {
            _PartInfo* next = part->Next;
            delete part;
            part = next;
        }
        _DiskInfo* next = list->Next;
        delete list;
        list = next;
    }
}

_DiskInfo* copyDiskList(const _DiskInfo* list)
{
    _DiskInfo* head = nullptr;
    _DiskInfo** diskTail = &head;
    for (; list; list = list->Next) {
        std::unique_ptr<_DiskInfo> disk(new _DiskInfo(*list));
        disk->PartList = nullptr;
        disk->Next = nullptr;
        _PartInfo** partTail = &disk->PartList;
        for (const _PartInfo* part = list->PartList; part; part = part->Next) {
            *partTail = new _PartInfo(*part);
            (*partTail)->Disk = disk.get();
            (*partTail)->Next = nullptr;
            partTail = &(*partTail)->Next;
        }
        *diskTail = disk.release();
        diskTail = &(*diskTail)->Next;
    }
    return head;
}
