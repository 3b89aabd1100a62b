// Lays an NTFS volume out afresh on the target, one MFT record at a time:
// the MFT near the start (after $Boot and the MFT bitmap), its mirror in
// the middle, every attribute's allocated clusters contiguously behind one
// of two cursors (before the mirror while there is room, then behind it;
// once both run short, in the room the layout left unused), new run lists,
// and at the end the MFT bitmap, the volume bitmap, the mirror and the boot
// sectors.
//
// It knows nothing of the restore job: it gets the sizes, the newest MFT
// bitmap and the boot area as a plain NtfsLayoutInput, writes through the
// target's I/O object, reports through the progress object and reads the
// data sets from a DataSetSource, so that it can be driven on its own.
#ifndef QUARN_NTFS_NTFS_LAYOUT_WRITER_H
#define QUARN_NTFS_NTFS_LAYOUT_WRITER_H

#include "quarn/image/data_set_reader.h"
#include "quarn/image/part_progress.h"
#include "quarn/io/device_io.h"
#include "quarn/ntfs/run_list_encoder.h"
#include "quarn/ntfs/stored_data_sets.h"
#include "quarn/ntfs/volume_bitmap.h"
#include "fslayout/ntfs_layout.h"

#include <cstdint>
#include <vector>

// What the layout writer is told of the volume and the images it restores.
struct NtfsLayoutInput {
    uint32_t clusterBytes = 0;
    uint32_t sectorBytes = 0;
    uint32_t recordBytes = 0;  // of the image's MFT records
    uint32_t recordCount = 0;  // records of the newest image's MFT
    uint64_t targetBytes = 0;  // the target partition's size
    uint64_t freeBytes = 0;    // target bytes the used bytes leave free
    // The newest image's MFT bitmap, written out at the end.
    const unsigned char* mftBitmap = nullptr;
    uint64_t mftBitmapBytes = 0;
    // The saved boot area ($Boot's first bytes).
    const unsigned char* bootArea = nullptr;
    uint32_t bootAreaBytes = 0;
    // The target partition's first sector on its disk (0 for a whole disk):
    // the boot sector's hidden sectors, which the system starts by.
    uint32_t hiddenSectors = 0;
};

class CResFileRecord {
public:
    static constexpr uint32_t kTransferBytes = 0x40000;
    // A file that would reach the mirror is split there only at a boundary
    // of this many bytes, and only when at least that much room is left.
    static constexpr uint32_t kSplitUnit = 0x8000;
    static constexpr uint32_t kGatherBytes = 0x100000;

    // part, progress and images must outlive the writer.
    CResFileRecord(const NtfsLayoutInput& input, CDeviceIo& part, CPartProgress& progress,
                   DataSetSource& images);
    virtual ~CResFileRecord();
    CResFileRecord(const CResFileRecord&) = delete;
    CResFileRecord& operator=(const CResFileRecord&) = delete;

    int Initialize();
    // After Initialize (which writes nothing): the clusters of the volume
    // laid out on the target.
    uint64_t VolumeClusters() const { return m_clusters; }
    // The record stream of an image begins (the newest first, then each
    // older one of a chain): the data sets are read with that image's
    // compression type, and which attributes carry one is learnt anew.
    // extentsStored: the image's tagBLOCK_END::spare3 says so;
    // rootSystemFilesOnly: its spare1 holds kFormatFlagRootSystemFiles.
    int BeginImage(bool extentsStored, bool rootSystemFilesOnly);
    // Whether the stream leaves out the data of the root's page and
    // hibernation files (every image does; a clone may not): as the walk
    // that wrote the stream was told.
    void LeaveOut(bool pagefile, bool hiberfile) { m_stored.LeaveOut(pagefile, hiberfile); }
    // Restores record n from the image now being read: places its
    // non-resident attributes and writes their data, then the record.
    // holderInUse: n is in use in that image's MFT bitmap; newestInUse: in
    // the newest image's.
    int ProcFileRecord(unsigned int n, tagFILE_RECORD_HEADER* record, bool holderInUse, bool newestInUse);
    // Steps over the data sets of a record that a newer image restored.
    int SeekFileRecord(unsigned int n, tagFILE_RECORD_HEADER* record, bool holderInUse);
    int ResMFTBitmap();
    int ResBitmap();
    int ResMFTMirr();
    int ResBootCode();

private:
    struct Piece {
        uint64_t lcn;
        uint64_t clusters;
    };
    enum class Area { First, Second };

    uint64_t MirrorBytes() const;
    int WalkAttributes(unsigned int n, uint8_t* record, bool restore);
    int ProcNonResident(unsigned int n, uint8_t* record, uint32_t offset);
    int SkipNonResident(unsigned int owner, const tagRECORD_ATTR* attr);
    unsigned int OwnerRecord(unsigned int n, const uint8_t* record) const;
    void DisplayName(unsigned int owner, const tagRECORD_ATTR* attr);

    int PlaceMft(uint8_t* record, uint32_t offset);
    int PlaceMirrorBehindMft(uint64_t mftClusters);
    int PlaceMftExtent(uint8_t* record, uint32_t offset, bool stored);
    int PlaceMftBitmap(uint8_t* record, uint32_t offset);
    int PlaceMirror(uint8_t* record, uint32_t offset);
    int PlaceVolumeBitmap(uint8_t* record, uint32_t offset);
    int MarkBoot(uint8_t* record, uint32_t offset);
    int PlaceBadClusters(uint8_t* record, uint32_t offset);
    // Any other attribute: new clusters in the given area (first area:
    // split at the mirror when the attribute may be split), sparse runs kept
    // sparse, data written from its set when one is stored.
    int PlaceData(unsigned int n, uint8_t* record, uint32_t offset, Area area, bool stored, bool writeData);

    // The allocators mark the clusters they hand out in the volume bitmap
    // at once, so that the bitmap always tells which clusters are taken.
    int Allocate(uint64_t clusters, Area area, bool splittable, std::vector<Piece>* pieces);
    int AllocateSecond(uint64_t clusters, std::vector<Piece>* pieces, bool contiguous = false);
    int AllocateFromGaps(uint64_t clusters, bool contiguous, std::vector<Piece>* pieces);
    bool NextGap(uint64_t from, Piece* gap) const;
    uint64_t SkipKeptClusters(uint64_t lcn) const;
    int TakePiece(const Piece& piece, std::vector<Piece>* pieces);
    int WriteDataSet(const std::vector<tagNewRun>& runs, uint64_t clusters);
    int WriteRecord(unsigned int n, const uint8_t* record);
    // ERR_SEEK_PART or ERR_WRITE_PART when the bytes do not all land at
    // offset. Every write to the target goes through ReadyToWrite first.
    int WriteAt(uint64_t offset, const void* data, uint64_t length);
    // Writes what is gathered first, so that the target gets every byte in
    // the order the layout wrote them wherever two writes could meet.
    int RawWriteAt(uint64_t offset, const void* data, uint64_t length);
    int PutAt(uint64_t offset, const void* data, uint64_t length);
    // Data sets of small files lie cluster after cluster: their bytes are
    // gathered while each follows the one before and written in one piece,
    // not with a seek and a write each. Pieces of kGatherBytes / 4 or more
    // go straight to the target.
    int GatherWrite(uint64_t offset, const uint8_t* data, uint32_t length);
    int FlushGathered();
    // Before the first byte of the new volume is written: zeroes the
    // target's first sector and its last, where an old NTFS keeps its boot
    // sector and the backup of it, and puts that on the device, so that a
    // restore stopped half way never leaves a file system that looks whole.
    // ResBootCode writes the real ones last.
    int ReadyToWrite();
    int FlushRecords();
    int ClearUnwrittenRecords();
    int ProgressBytes(uint64_t bytes);

    const NtfsLayoutInput m_input;
    CDeviceIo* m_part;
    CPartProgress* m_progress;
    CDataSetReader m_reader;
    StoredDataSets m_stored;
    uint32_t m_clusterBytes;
    uint32_t m_recordBytes;
    uint32_t m_sectorBytes = 512;
    CResBitmap m_bitmap;
    std::vector<uint8_t> m_transfer;

    uint64_t m_targetBytes;
    // The bytes the new volume is laid out on: the target, or less when the
    // target would need more clusters than NTFS allows.
    uint64_t m_layoutBytes = 0;
    uint64_t m_freeBytes;
    uint64_t m_volumeSectors = 0;  // boot sector's total sectors: layout - 1
    uint64_t m_clusters = 0;       // clusters of the new volume
    uint64_t m_bootClusters = 0;
    uint64_t m_mftLcn = 0;
    uint64_t m_mftBitmapLcn = 0;
    uint64_t m_mftBitmapClusters = 0;
    uint64_t m_mirrorLcn = 0;
    uint64_t m_mirrorReserve = 0;  // clusters kept for the mirror at m_mirrorLcn
    uint64_t m_firstCursor = 0;
    uint64_t m_secondCursor = 0;
    bool m_firstOpen = true;
    bool m_mirrorPlaced = false;
    // Where the search for clusters left unused resumes: every cluster
    // below it is taken or kept by the layout.
    uint64_t m_gapScan = 0;
    bool m_mftPlaced = false;
    uint64_t m_mftClusters = 0;
    uint64_t m_mftCapacity = 0;  // records the MFT's clusters hold

    // MFT records are gathered while they follow one another and written
    // in one go.
    std::vector<uint8_t> m_recordBatch;
    uint64_t m_batchFirst = 0;
    uint32_t m_batchCount = 0;
    std::vector<bool> m_written;      // per MFT record: written
    std::vector<uint8_t> m_gathered;  // data bytes not yet written, from m_gatheredAt on
    uint64_t m_gatheredAt = 0;
    bool m_oldBootHidden = false;
};

#endif
