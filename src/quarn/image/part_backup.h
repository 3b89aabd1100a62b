// The file-system-independent half of a backup: the source device, the image
// volume being written, progress, the previous image of a chain, volume
// changes and the records that end a volume. File-system jobs derive from it
// and supply the walk.
#ifndef QUARN_IMAGE_PART_BACKUP_H
#define QUARN_IMAGE_PART_BACKUP_H

#include "quarn/image/compressed_file_types.h"
#include "quarn/image/part_progress.h"
#include "quarn/image/volume_writer.h"
#include "quarn/api/image_format.h"
#include "quarn/io/device_io.h"
#include "quarn/api/quarn.h"

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CCompressData;
class CCompressionProbe;
class CParallelCompressor;

// Where a backup's record stream goes instead of image volumes: a clone
// hands it to the restore's writer in memory (CStreamPipe).
class StreamSink {
public:
    virtual ~StreamSink() = default;
    // 0, or the code that ends the walk.
    virtual int Put(const void* data, uint64_t length) = 0;
};

class CPartBackup {
public:
    static constexpr uint32_t kBufferBytes = ImageFormat::kChunkBytes;
    // A stream that goes to no image is read in larger chunks: fewer and
    // longer reads of the source, fewer parts.
    static constexpr uint32_t kStreamChunkBytes = 0x100000;

    CPartBackup(const tagBackupArgument& arg, const tagCallBackFunc& cb, tagBackupImageHeadInfo* head,
                int headLength);
    virtual ~CPartBackup();
    CPartBackup(const CPartBackup&) = delete;
    CPartBackup& operator=(const CPartBackup&) = delete;

    // BackupInit, BackupFiles, state "Finish", WriteBackupFileEndInfo.
    int BackupPartition();
    int BackupInit();
    int GetPrevFileInfo();
    int WriteBlkStart();
    int WritePartInfo();
    int WriteBlkEnd();
    int WriteBackupFileEndInfo();
    static int IsCompressFile(const char* name) { return ::IsCompressFile(name); }

    // A walk whose record stream goes to `sink` rather than to an image
    // (no volume, no head block, no end records, no compression): opens the
    // source and reads its geometry and used size, with a progress
    // reporter that tells the caller nothing (the writer reports).
    int StreamInit(StreamSink& sink);
    // What StreamInit learnt of the source.
    uint64_t UsedBytes() const { return m_totalBytes; }
    uint64_t PartitionBytes() const { return m_partitionBytes; }
    uint32_t ClusterBytes() const { return m_clusterBytes; }
    uint32_t SectorBytes() const { return m_sectorBytes; }
    // The stream's data-set rule, as the trailer of an image says it: every
    // extent of an attribute carries its set; only the root folder's page
    // and hibernation files stay out.
    bool ExtentsStored() const { return m_extentLayout == ImageFormat::kExtentLayoutEveryExtent; }
    bool RootSystemFilesOnly() const
    {
        return (m_formatFlags & ImageFormat::kFormatFlagRootSystemFiles) != 0;
    }

protected:
    // The file-system walk, supplied by the derived job.
    virtual int BackupFiles() = 0;
    virtual int GetBootCodeInfo() = 0;
    virtual int GetPartNumOfUsedBytes() = 0;
    virtual uint64_t GetMftBitmapAllocSize() const = 0;
    virtual int WriteMFTBitmap() = 0;
    virtual void WritePartInfoDiff(tagPARTITION_INFO* info) = 0;

    // Data sets (one per NTFS non-resident attribute or FAT32 file), shared
    // by both walks: BeginDataSet writes the head, WriteDataChunk compresses
    // a plain chunk of at most kBufferBytes (unless stored raw), counts it
    // and changes volume when the split size is reached, EndDataSet flushes
    // the compressor and patches the head. Progress is the caller's job.
    int BeginDataSet(bool storedRaw);
    int WriteDataChunk(const unsigned char* data, uint32_t length);
    int EndDataSet();

    // Writes bytes of the image between data sets (records, entries) in
    // their place in the image, after the sets before them, and counts
    // `counted` of them for the volume; a stream's go to its sink. After
    // DeferRecords they may be written later, while the walk goes on; every
    // write before the image's end records has happened once BackupFiles
    // returns to BackupPartition.
    int WriteInOrder(const void* data, uint32_t length, uint64_t counted);
    // Writes bytes at once where the current volume stands and counts
    // `counted` of them for it: for WriteMFTBitmap, whose bytes a volume
    // change writes in the middle of a data set, and for a walk without
    // DeferRecords, whose data sets are on the volume when they end.
    int WriteToVolume(const void* data, uint64_t length, uint64_t counted);
    // Where the next byte of the current volume goes, for a walk that
    // points its records at it while nothing waits to be written:
    // ERR_SEEK_FILE when it cannot be told.
    int ImagePosition(uint64_t* pos) const;
    // Runs `walk` with its stream going nowhere: a walk that only proves
    // the source can be read.
    int WithoutOutput(const std::function<int()>& walk);

    // Settings of the derived job, made in its constructor.
    // Every volume ends with its own block start and partition info (FAT32),
    // so the first needs no reserve for them.
    void EndEveryVolumeWithRecords();
    // Every extent of an attribute gets its own data set, continuation
    // extents included; the trailer tells readers to expect them.
    void StoreEveryExtent() { m_extentLayout = ImageFormat::kExtentLayoutEveryExtent; }
    // Bits the trailer's spare1 carries (ImageFormat::kFormatFlag...).
    void SetFormatFlags(uint8_t flags) { m_formatFlags = flags; }
    // The walk writes everything between data sets with WriteInOrder, so a
    // data set need not be written out before the walk goes on to the next.
    // Otherwise each set is on the volume when EndDataSet returns.
    void DeferRecords() { m_deferRecords = true; }

    // What GetBootCodeInfo learns: the boot sector's geometry, and the
    // partition's size measured (ERR_SEEK_PART when it cannot be; the source
    // is left at its start).
    int TakeGeometry(uint32_t sectorBytes, uint32_t clusterBytes);
    // What GetPartNumOfUsedBytes learns: the progress total and the used
    // size the image states.
    void SetUsedBytes(uint64_t bytes) { m_totalBytes = bytes; }
    // Bytes that the first volume's end records will hold (the MFT bitmap)
    // count against its split size from the start.
    void ReserveForEndRecords(uint64_t bytes) { m_volumeBytes += bytes; }

    // The source partition, open once BackupInit or StreamInit has opened it.
    CDeviceIo& Source() { return *m_part; }
    const std::string& SourcePath() const { return m_srcPartition; }
    // The walk's read buffer: ChunkBytes() bytes, the data it reads at once
    // (an image's chunk size, or a stream's larger one).
    unsigned char* ChunkBuffer() { return m_buffer.data(); }
    uint32_t ChunkBytes() const { return m_chunkBytes; }
    CPartProgress& Progress() { return *m_progress; }
    bool Incremental() const { return m_incremental; }
    // The previous image's trailer flags (incremental backups).
    uint8_t PreviousFormatFlags() const { return m_prevFormatFlags; }
    // False when the request's compression has no coder.
    bool CompressorReady() const { return m_compressType == 0 || m_compressor != nullptr; }
    // The bytes counted for the current volume so far.
    uint64_t VolumeBytesCounted() const { return m_volumeBytes; }

    // Opens the previous image for reading, asking the caller for another
    // path while it cannot be opened: ERR_OPEN_FILE when the caller gives
    // up. The path given stands for the rest of the job (the trailer names
    // it).
    int OpenPreviousImage(CDeviceIo& prev);
    // Asks the caller whether to cancel, without moving the progress:
    // ERR_CANCELLED when it does.
    int AskCancel();

private:
    // Ends the current volume (its records and trailer) and opens the next.
    int IntoNewVolume();
    // Creates the volume whose final path is `path` under its unfinished
    // name (UnfinishedVolumeName) and makes it the current one.
    int OpenVolume(const std::string& path);
    // Puts the current volume on its device and closes it: ERR_WRITE_FILE
    // when any of its bytes could not be written.
    int CloseVolume();
    // Path of volume `index` of this image.
    std::string VolumePath(unsigned index) const;
    // What a volume's split size keeps free for its check record.
    uint64_t CheckRecordReserve() const;
    // The source partition's size; leaves it at its start. ERR_SEEK_PART
    // when it cannot be measured.
    int MeasurePartition(uint64_t* bytes);
    // Opens the source and reads its geometry and its used bytes (the
    // progress total), before any volume is opened.
    int OpenSource();
    // The trailer that ends every image volume: ERR_SEEK_FILE,
    // ERR_READ_FILE or ERR_BAD_MAGIC when it cannot be read.
    static int ReadVolumeTrailer(CDeviceIo& volume, tagBLOCK_END* end);
    // The checks of the request and the source that come before any volume
    // is created: the previous image, the description, the source.
    int CheckRequest();
    // Gives every volume written its final name, the last first and volume
    // 0 last, then puts the folder's names on its device.
    int PublishVolumes();
    // Closes and removes the unfinished volumes of a job that did not end
    // well; an image written earlier under the same names stays as it was.
    void DiscardVolumes();
    int WriteDataSetHead();
    int PatchDataSetHead();
    // One part of a data set on its way to m_streamSink.
    int PutStreamPart(const unsigned char* data, uint32_t length, bool continued);
    int WriteStoredBytes(const unsigned char* data, uint64_t length);
    int WriteCompressorOutput(unsigned char* data, uint32_t length, bool final);
    int FailCompress();
    // Runs `write` now, or after what the workers still hold.
    int InOrder(std::function<int()> write);
    // The code of a parallel step; a coder's failure is traced.
    int ParallelResult(int result);

    // The stream's records and data sets go here instead of the image.
    StreamSink* m_streamSink = nullptr;

    // Devices and buffer.
    std::unique_ptr<CDeviceIo> m_part;       // source partition
    std::unique_ptr<CVolumeWriter> m_image;  // current image volume
    std::vector<unsigned char> m_buffer;
    // The data a walk reads at once into m_buffer (an image's chunk size).
    uint32_t m_chunkBytes = kBufferBytes;

    // Request settings.
    bool m_incremental;
    std::string m_srcPartition;
    std::string m_prevImage;
    int m_fsType;
    int m_mbrSize;
    int m_compressType;
    std::string m_password;
    std::string m_description;
    uint64_t m_totalBytes;  // progress total

    tagCallBackFunc m_cb;
    tagBackupImageHeadInfo* m_head;
    std::unique_ptr<CPartProgress> m_progress;

    std::string m_imagePath;  // base path

    // Geometry, filled by GetBootCodeInfo (TakeGeometry).
    uint64_t m_partitionBytes = 0;
    uint32_t m_sectorBytes = 0;
    uint32_t m_clusterBytes = 0;

    bool m_recordsInEveryVolume = false;
    uint64_t m_volumeBytes;  // bytes counted for the current volume
    uint8_t m_volumeIndex = 0;
    uint8_t m_generation = 0;
    uint32_t m_chainId = 0;
    // Random, in every volume's check record.
    uint64_t m_imageId = 0;
    uint64_t m_blkStartPos = 0;
    std::unique_ptr<CCompressData> m_compressor;  // null for compression type 0
    bool m_deferRecords = false;
    // Set when the trailer should say that every extent's data set is stored.
    uint8_t m_extentLayout = 0;
    // Bits the trailer's spare1 carries (ImageFormat::kSpare1...).
    uint8_t m_formatFlags = 0;
    // Those of the previous image's trailer (incremental backups).
    uint8_t m_prevFormatFlags = 0;

    std::string m_volumePath;  // current volume's path
    std::string m_mbrSource;
    int m_reserved;
    bool m_saveMbr;
    uint64_t m_volumeSize;
    int m_headLength;
    std::string m_nextVolumeName;  // name 2, only while a volume is ended
    bool m_firstVolume = true;
    uint8_t m_singleVolume = 1;
    // The base's image id, named by an incremental (0 when the base carries
    // no check records).
    uint64_t m_baseImageId = 0;
    struct tm m_startTime {};
    // Compresses data sets on worker threads; null for type 0 and for a
    // job on one thread, which uses m_compressor alone. Reset first when
    // the job ends: its workers write to m_image.
    std::unique_ptr<CParallelCompressor> m_parallel;

    // Final paths of the volumes created so far, in order; they lie under
    // their unfinished names until PublishVolumes.
    std::vector<std::string> m_unfinishedVolumes;

    // The data set being written: its head in the current volume and the
    // stored bytes that follow that head.
    bool m_dataSetOpen = false;
    bool m_dataSetRaw = false;  // as the walk sees it; m_dataSetHead is the writer's
    // The set's first chunk is still to come: it decides whether
    // compressing the set pays (m_probe; the extension decided first).
    bool m_dataSetUnjudged = false;
    std::unique_ptr<CCompressionProbe> m_probe;
    tagDATA_SET_HEAD m_dataSetHead{};
    uint64_t m_dataSetHeadPos = 0;
};

#endif
