// The file-system-independent half of a restore: the image volume being
// read, the target partition, the records that end the image, the target's
// size, progress and volume changes. It is the source both file-system
// restores read their data sets from (CDataSetReader). CPartNtfsRestore and
// CPartFatRestore derive from it.
#ifndef QUARN_IMAGE_PART_RESTORE_H
#define QUARN_IMAGE_PART_RESTORE_H

#include "quarn/image/data_set_reader.h"
#include "quarn/image/image_survey.h"
#include "quarn/image/part_progress.h"
#include "quarn/image/volume_check.h"
#include "quarn/image/volume_reader.h"
#include "quarn/api/image_format.h"
#include "quarn/io/device_io.h"
#include "quarn/api/quarn.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CPartRestore : public DataSetSource {
public:
    static constexpr uint32_t kBufferBytes = 0x4000;
    // Used bytes may exceed the target's size by less than this.
    static constexpr uint64_t kSizeSlack = ImageFormat::kTargetSizeSlack;

    CPartRestore(const tagRestoreArgument& arg, const tagCallBackFunc& cb);
    virtual ~CPartRestore();
    CPartRestore(const CPartRestore&) = delete;
    CPartRestore& operator=(const CPartRestore&) = delete;

    // Reads the end records of the image's first volume and checks the
    // target's size. A restore of a file system (fsType 4 or 3) then finds
    // and checks every volume of the image and of its chain (CImageSurvey)
    // before anything is written; fsType 0 (the disk start alone) needs
    // only the first volume.
    int RestoreInit(uint8_t fsType = 0);
    // The three records that end the image volume now open.
    int ReadBlkEnd();
    int ReadBlkStart();
    int ReadPartInfo();
    void GetDestPartSize();
    // restore_mbr: the saved boot code (up to ImageFormat::kBootCodeBytes) onto the disk
    // that holds the target; nothing when the image saved no disk start.
    int OnlyRestoreMbr();
    // Before a restore writes the target partition: makes it the restore's
    // own (on Windows, locks the volume); a result code refuses the
    // restore. A restore of the disk start alone writes no partition and
    // needs no claim.
    int ClaimTarget();
    // Waits until every byte written to the target partition is on its
    // device: a restore must not say it succeeded before. ERR_WRITE_PART
    // when that fails.
    int SyncTarget();
    // Called once all of the image has been read, before the restore writes
    // what makes the target a file system again (its real boot sectors):
    // 0 when every volume read proved whole, else the code that refuses it.
    int ConfirmImageWhole();
    // The code a failed restore reports: a damaged image explains a failure
    // of the reading, so the volume checks' verdict goes first.
    int ExplainFailure(int result);

    // Closes the image, opens the volume named by the last trailer read,
    // checks its trailer (ReadBlkEnd) and seeks to its start. A missing
    // volume is asked for through AskForNextVolume.
    int OpenNextVolume() override;
    uint64_t ImageBytesLeft() const override;
    // Where the data of the volume now open ends: at its check record, or
    // at its end records when it carries none.
    uint64_t DataEndPos() const { return m_dataEndPos; }

    // The name of the disk a partition's name suggests: trailing digits
    // removed, and a 'p' that then follows a digit too (nvme0n1p1 ->
    // nvme0n1). Only a guess: the disk written is one known to hold the
    // target (DeviceSystem::DiskHoldingPartition).
    static std::string DiskOfPartition(const std::string& partition);

    // The disk known to hold the target, once RestoreInit opened it; "".
    const std::string& DiskPath() const { return m_diskPath; }
    uint64_t TargetBytes() const { return m_targetBytes; }
    uint64_t TargetSectors() const { return m_targetSectors; }
    uint64_t TargetClusters() const { return m_targetClusters; }
    uint64_t FreeBytes() const { return m_freeBytes; }
    // The volume now open.
    CVolumeReader* Image() const { return m_image.get(); }
    int64_t ReadImage(void* into, int64_t length) override { return m_image->Read(into, length); }
    int SkipImage(uint64_t length) override
    {
        return m_image->Seek(static_cast<int64_t>(length), SEEK_CUR) == 0 ? 0 : ERR_SEEK_FILE;
    }
    CDeviceIo* PartIo() const { return m_part.get(); }
    CPartProgress* Progress() const { return m_progress; }
    uint8_t CompressType() const override { return m_compressType; }
    uint32_t ClusterBytes() const { return m_clusterBytes; }
    uint32_t SectorBytes() const { return m_sectorBytes; }
    const unsigned char* BootArea() const { return m_bootArea.empty() ? nullptr : m_bootArea.data(); }
    uint16_t BootAreaSize() const { return m_bootAreaSize; }

protected:
    // Reads the MFT bitmap that follows tagBLOCK_START (NTFS images only).
    virtual int SetMFTBitmapBuf(unsigned int size) = 0;
    virtual void SetPartInfo(tagPARTITION_INFO info) = 0;
    // A volume the restore needs does not exist. True: try path (which the
    // callee may have changed) again; false: give up (ERR_FILE_NOT_FOUND).
    virtual bool AskForNextVolume(std::string& path);

    // Takes up the check record of the volume now open, whose trailer
    // `end` was just read: it must carry this image's id (the first volume
    // of an image sets it, and must be the image the newer one builds on),
    // and its data is read ahead, each block compared with its digest
    // before the restore gets it. The previous volume's verdict must have
    // been 0.
    int CheckVolume(const tagBLOCK_END& end, bool firstOfImage);
    // Ends the comparison of the volume now open (reading what the restore
    // did not): the first fault any volume's comparison found, else 0.
    int AwaitVolumeCheck();
    // Where the survey found the volume expected at `path`.
    std::string LocatedVolume(const std::string& path) const;
    // Whether the image now read carries check records.
    bool ImageChecked() const { return m_imageChecked; }

    // Reads the trailer of the volume now open and the names before it
    // (the previous image's and the next volume's paths), without the
    // volume checks of ReadBlkEnd.
    int ReadTrailer(tagBLOCK_END* end);
    // Takes the block start's position, the volume index and the spare
    // bytes from a trailer that passed its checks.
    void KeepTrailer(const tagBLOCK_END& end);
    // The tagBLOCK_START the trailer of the volume now open names, which
    // leaves the image at its MFT bitmap; with needsMftBitmap, one that
    // announces no MFT bitmap is refused (ERR_BAD_MAGIC).
    int ReadBlockStartRecord(tagBLOCK_START* start, bool needsMftBitmap);
    // The tagPARTITION_INFO after that block start and its bitmap, which
    // leaves the image at the blobs that follow it.
    int ReadPartitionInfoRecord(tagPARTITION_INFO* info);
    // The last step of a partition restore: when the request asks for it
    // and the image saved a whole first sector, the saved disk start goes
    // back to the disk that holds the target. RestoreInit has refused a
    // target that no disk is known to hold (ERR_NO_DISK).
    int RestoreDiskBootCode();
    // ERR_NO_DISK when the job would write boot code (fsType 0: the disk
    // start alone; else as the request asks) but no disk is known to hold
    // the target.
    int CheckDiskForBootCode(uint8_t fsType) const;
    // Writes the first `bootCodeBytes` of the saved disk start (one sector
    // at most: ReadPartInfo takes no other size) at the disk's byte 0.
    // ERR_OPEN_DISK when the disk cannot be opened, ERR_WRITE_MBR when the
    // write falls short or the disk does not close cleanly.
    int WriteDiskStart(uint32_t bootCodeBytes);

    std::unique_ptr<CVolumeReader> m_image;
    std::unique_ptr<CDeviceIo> m_part;
    std::vector<unsigned char> m_buffer;
    uint32_t m_bufferSize = kBufferBytes;
    // The restore's own progress (RestoreInit), or one a clone job lends.
    CPartProgress* m_progress = nullptr;

    tagCallBackFunc m_cb;

    std::string m_imagePath;
    std::string m_targetPartition;
    std::string m_diskPath;
    std::string m_nextVolumePath;  // empty in the last volume
    std::string m_prevImagePath;   // empty in a full image

    uint8_t m_volumeIndex = 0;

    uint32_t m_clusterBytes = 0;
    uint32_t m_sectorBytes = 0;
    uint8_t m_compressType = 0;
    uint64_t m_usedBytes = 0;

    uint64_t m_targetSectors = 0;   // 512-byte sectors
    uint64_t m_targetClusters = 0;  // clusters of the image's cluster size

    std::vector<unsigned char> m_bootArea;
    uint16_t m_bootAreaSize = 0;

    uint32_t m_chainId = 0xFFFFFFFF;
    uint8_t m_fsType = 0;
    uint8_t m_extentLayout = 0;  // trailer byte 18 of the first volume
    uint8_t m_formatFlags = 0;   // trailer byte 15, likewise

    uint64_t m_targetBytes = 0;
    uint64_t m_freeBytes = 0;  // 0 when the used bytes exceed the target

    uint8_t m_generation = 0;

private:
    // Only the restore's own records and disk start use these.
    std::unique_ptr<CPartProgress> m_ownProgress;
    uint8_t m_hasMbr = 0;
    std::string m_imageDir;
    bool m_expectFirstVolume = true;
    std::vector<unsigned char> m_mbr;  // empty when the image saved no disk start
    uint32_t m_mbrSize = 0;
    uint64_t m_blkStartPos = 0;
    uint64_t m_dataEndPos = 0;
    std::unique_ptr<CImageSurvey> m_survey;
    int m_checkVerdict = 0;       // the first fault the volume checks found
    bool m_imageChecked = false;  // the image now read carries check records
    uint64_t m_imageId = 0;
    uint64_t m_expectedBaseId = 0;           // the id the newer image gives the one it builds on
    VolumeCheck::Record m_firstVolumeCheck;  // the newest image's first volume
    bool m_firstVolumeChecked = false;
};

#endif
