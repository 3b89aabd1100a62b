// Clones a FAT32 partition: the backup's depth-first walk of the source's
// directories (CPartFat32Backup, used clusters only) feeds the restore's
// writer (CPartFatRestore), which formats the destination afresh for its
// own size and replays the stream, then checks it as a restore does.
#ifndef QUARN_FAT32_PART_FAT32_CLONE_H
#define QUARN_FAT32_PART_FAT32_CLONE_H

#include "quarn/fat32/part_fat32_backup.h"
#include "quarn/fat32/part_fat32_restore.h"
#include "quarn/image/part_clone.h"

#include <memory>
#include <vector>

// The restore's writer with the clone's stream in place of an image.
class CFat32CloneWriter : public CPartFatRestore {
public:
    CFat32CloneWriter(const std::string& destPartition, CStreamPipe& stream, CPartProgress& progress);
    ~CFat32CloneWriter() override;

    // The destination opened for the writer and the source's facts that a
    // restore reads from an image's partition record.
    int Open(uint32_t sectorBytes, uint32_t clusterBytes, uint64_t usedBytes,
             const std::vector<unsigned char>& bootArea);

    // DataSetSource: the stream, one endless part of no volume.
    uint64_t ImageBytesLeft() const override { return ~0ULL; }
    int OpenNextVolume() override { return 0; }
    uint8_t CompressType() const override { return 0; }
    int64_t ReadImage(void* into, int64_t length) override { return m_stream.Take(into, length); }
    int SkipImage(uint64_t length) override { return m_stream.SkipImage(length); }

    using CPartFatRestore::WriteFileSystem;

protected:
    int StartStream() override { return 0; }
    int ReadStreamEntry(tagFatDirEntry& entry) override;
    // The root's end mark must end the stream.
    int CheckStreamEnd() override;

private:
    // ERR_PART_TOO_SMALL (or the layout's own refusal) when the layout the
    // destination gets may not hold the source's used clusters.
    int RefuseTooFewClusters() const;

    CStreamPipe& m_stream;
};

class CPartFat32Clone : public CPartClone {
public:
    CPartFat32Clone(const tagCloneArgument& arg, const tagCallBackFunc& cb);
    ~CPartFat32Clone() override;

protected:
    int PrepareSource() override;
    uint64_t UsedBytes() const override { return m_source->UsedBytes(); }
    int PrepareWriter() override;
    int Walk() override { return m_source->WriteStream(m_filterPageFile); }
    int Write() override;
    int Finish() override { return 0; }

private:
    std::unique_ptr<CPartFat32Backup> m_source;
    std::unique_ptr<CFat32CloneWriter> m_writer;
    std::vector<unsigned char> m_bootArea;
};

#endif
