// Restores an NTFS image, full or the newest of an incremental chain, onto a
// target partition of any sufficient size: the file system is laid out
// afresh (see CResFileRecord) rather than copied cluster by cluster.
#ifndef QUARN_NTFS_PART_NTFS_RESTORE_H
#define QUARN_NTFS_PART_NTFS_RESTORE_H

#include "quarn/image/part_restore.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CResFileRecord;
struct NtfsLayoutInput;

class CPartNtfsRestore : public CPartRestore {
public:
    CPartNtfsRestore(const tagRestoreArgument& arg, const tagCallBackFunc& cb);
    ~CPartNtfsRestore() override;

    int RestorePartition();

protected:
    int SetMFTBitmapBuf(unsigned int size) override;
    void SetPartInfo(tagPARTITION_INFO info) override;
    bool AskForNextVolume(std::string& path) override;

private:
    // Record n is in use in the newest image's MFT bitmap (false beyond it).
    bool RecordInUse(unsigned int n) const;
    // The same on the bitmap of the older image now being read, when one is.
    bool RecordInUseInHolder(unsigned int n) const;
    // Takes up the older image just opened: its trailer, MFT bitmap and
    // partition info.
    int ReadPrevFileInfo();
    int ReadBitmap(unsigned int size, std::unique_ptr<unsigned char[]>* bitmap, uint64_t* bitmapSize);
    int OpenPrevImage();
    int RestoreImageRecords(CResFileRecord& records, uint32_t entries);
    // Reads the record section of the image now open (its first volume):
    // the summary of each MFT record, which every stored record must match.
    int ReadSummaries(uint32_t sectionPos, uint32_t recordCount, uint64_t dataSectionPos);
    // Record n, as the stream of the image now read holds it, is the one
    // that image's backup summarised.
    bool RecordMatchesSummary(unsigned int n, const unsigned char* record) const;
    // The saved boot sector is the one of the volume the image describes:
    // an NTFS boot sector whose geometry is the partition info's.
    int CheckBootArea() const;
    // What the layout writer is told of the volume and the newest image.
    NtfsLayoutInput LayoutInput() const;

    std::vector<unsigned char> m_record;
    // Null until the image announces a bitmap (which may be empty).
    std::unique_ptr<unsigned char[]> m_mftBitmap;
    uint64_t m_mftBitmapSize = 0;
    std::unique_ptr<unsigned char[]> m_curMftBitmap;
    uint64_t m_curMftBitmapSize = 0;
    uint64_t m_dataSectionPos = 0;
    uint32_t m_recordSectionPos = 0;
    // The record section of the image now read.
    std::vector<tagFileRecordInfo> m_summaries;
    uint32_t m_recordCount = 0;
    uint32_t m_fileRecordSize = 0;
    // Per record number: restored already, from the newest image that
    // holds it.
    std::vector<bool> m_restored;
};

#endif
