// Backs up an NTFS partition by walking its master file table: every MFT
// record, a 25-byte summary of each (the record section), the MFT bitmap,
// and the contents of the non-resident attributes of the records in use, so
// that free clusters are never read. An incremental job stores only the
// records whose summaries changed since the previous image of its chain,
// and reads the data of those records only.
#ifndef QUARN_NTFS_PART_NTFS_BACKUP_H
#define QUARN_NTFS_PART_NTFS_BACKUP_H

#include "quarn/image/part_backup.h"
#include "quarn/ntfs/ntfs_attr_reader.h"
#include "quarn/ntfs/record_exclusions.h"
#include "quarn/ntfs/stored_data_sets.h"
#include "fslayout/ntfs_layout.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

class CPartNtfsBackup;

// Writes the data set of one non-resident attribute extent through the
// job's data-set writer, which also changes volumes.
class CNtfsBackupData {
public:
    explicit CNtfsBackupData(CPartNtfsBackup& job);
    virtual ~CNtfsBackupData() = default;

    int Init();
    // The set of every cluster from the extent's lowest to its highest VCN.
    int BackupData(const tagRECORD_ATTR* attribute, unsigned record);
    int WriteDataSet();
    int WriteData(unsigned char* bytes, unsigned length);

private:
    CPartNtfsBackup& m_job;
};

class CPartNtfsBackup : public CPartBackup {
public:
    CPartNtfsBackup(const tagBackupArgument& arg, const tagCallBackFunc& cb, tagBackupImageHeadInfo* head,
                    int headLength);
    ~CPartNtfsBackup() override;

    // Summary of a record whose update sequence has been undone: it changes
    // with any byte of the record, so the MFT alone tells an incremental
    // job what to store. False when its attributes are damaged.
    static bool GetFileRecordInfo(const uint8_t* record, uint32_t size, tagFileRecordInfo* info);
    static bool CompareFileRecordInfo(const tagFileRecordInfo* a, const tagFileRecordInfo* b);

    // Reads record 0: the MFT's bitmap, its record count and the run list
    // of all its extents. Needs the source opened (BackupInit).
    int ProcMFT();
    // Looks `name` up in the index of directory `directoryRecord` (after
    // ProcMFT): 0 with the entry's record number in *out, -1 when no entry
    // (or, with directoriesOnly, no directory) has that exact name,
    // ERR_PART_INFO for a damaged record or index, ERR_READ_PART for a
    // short read. A name other than "BCD" is followed by a search for
    // "BCD" inside the directory found, whose result then stands.
    int GetFileRecordNo(unsigned directoryRecord, std::string name, unsigned* out, bool directoriesOnly);

    // A clone's walk, after StreamInit: PrepareStream reads the MFT (and
    // builds the exclusions) before anything is written anywhere;
    // WriteStream then puts the full record stream, from its count to its
    // end mark, into the sink. leaveOutPagefile / leaveOutHiberfile: the
    // root's page / hibernation file gets no data set.
    int PrepareStream(bool leaveOutPagefile, bool leaveOutHiberfile);
    int WriteStream() { return WriteRecordStream(); }
    const std::vector<unsigned char>& MftBitmap() const { return m_mftBitmap; }
    uint32_t RecordCount() const { return m_recordCount; }

protected:
    int BackupFiles() override;
    int GetBootCodeInfo() override;
    int GetPartNumOfUsedBytes() override;
    uint64_t GetMftBitmapAllocSize() const override { return m_mftBitmap.size(); }
    int WriteMFTBitmap() override;
    void WritePartInfoDiff(tagPARTITION_INFO* info) override;

private:
    friend class CNtfsBackupData;

    int ReadAttributeList(const tagRECORD_ATTR* attr, std::vector<unsigned char>* value);
    int AddMftExtents(const std::vector<unsigned char>& attributeList);
    int BackupFilesInfo();
    int BackupFilesInfoFull();
    int BackupFilesInfoInc();
    int WriteRecordStream();
    // Every record in use (update sequence, attributes, run lists) proved
    // readable: ERR_PART_INFO or a read's code for the first that is not.
    int ProveRecordsInUse();
    int ProcFileRecord(unsigned record);
    int ProcNonResident(unsigned record, const tagRECORD_ATTR* attribute);
    void DisplayName(unsigned record, const tagATTR_FILE_NAME* name, uint32_t valueLength,
                     bool evenDirectories);
    bool IsFileRecordFree(unsigned record) const;
    bool IsRecordInUse(unsigned record) const;
    int WriteFileRecord(unsigned record, const unsigned char* bytes, unsigned size);
    bool TurnOffFixup();

    // Reads MFT record `record` into m_record, as it is on the partition.
    int ReadFileRecord(unsigned record);
    // The summary entry of the record in m_record, zero unless it is in use
    // (or, with evenWhenFree, whatever it holds). ERR_PART_INFO when a
    // record to summarise is damaged.
    int SummarizeRecord(unsigned record, bool evenWhenFree, tagFileRecordInfo* info);
    // Tells `sets` a name the record walk shows of file `owner` (the page
    // file and the hibernation file are known by name).
    static void NoteStoredName(StoredDataSets& sets, unsigned owner, const tagATTR_FILE_NAME* name,
                               uint32_t valueLength);
    // The record whose rules an attribute follows: an extension record's
    // attributes belong to its base record.
    unsigned OwnerRecord(unsigned record) const;
    unsigned OwnerOf(const uint8_t* bytes, unsigned record) const;
    int SearchIndexNode(const uint8_t* node, uint32_t nodeBytes, const std::string& name,
                        bool directoriesOnly, unsigned* out);
    int SearchIndexBlocks(const tagRECORD_ATTR* allocation, const std::vector<uint8_t>& inUse,
                          const std::string& name, bool directoriesOnly, unsigned* out);
    int WriteSummaries(std::vector<tagFileRecordInfo>& entries);
    int AddSummary(std::vector<tagFileRecordInfo>& batch, const tagFileRecordInfo& info);

    tagNTFS_BOOT_SECTOR m_boot{};
    std::vector<unsigned char> m_record;           // the record being processed
    std::vector<unsigned char> m_fixed;            // a copy with its fixup undone
    std::vector<unsigned char> m_mftBitmap;        // the whole $MFT $BITMAP attribute
    std::vector<unsigned char> m_mftDataAttr;      // copy of the $MFT $DATA attribute
    std::unique_ptr<CAttrReadData> m_mftReader;    // reads records through it
    std::unique_ptr<CAttrReadWindow> m_mftWindow;  // records walked in order come from here
    std::unique_ptr<CNtfsBackupData> m_backupData;
    // Files whose data this build leaves out; built before the walk.
    std::unique_ptr<CRecordExclusions> m_exclusions;
    uint64_t m_clusterCount = 0;  // the volume's, which every run must lie within
    uint32_t m_fileRecordSize = 1024;
    uint32_t m_indexRecordSize = 0;
    uint64_t m_mftLcn = 0;
    uint64_t m_mftMirrLcn = 0;
    uint32_t m_recordCount = 0;
    // Which attributes get a data set; it stores continuation extents.
    StoredDataSets m_storedSets{true};
    int64_t m_reservedFs = -1;
    uint64_t m_recordSectionPos = 0;
    uint64_t m_dataSectionPos = 0;
    uint32_t m_recordCountWritten = 0;
    std::vector<uint32_t> m_changeList;
    bool m_storedRaw = false;  // the file being processed is stored raw
};

#endif
